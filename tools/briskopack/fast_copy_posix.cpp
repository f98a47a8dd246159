#include "fast_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <thread>
#include <vector>

namespace brisko::pack {
namespace {

// Read for the observer at a time: small enough to stay in the processor's
// cache while it is summed.
constexpr std::size_t kReadChunk = 256u << 10;
// Below this a buffered copy costs less than a second thread and two more
// open files.
constexpr std::uint64_t kSmallRange = 1u << 20;
// Asked of the kernel at a time.
constexpr std::uint64_t kCopyChunk = 64u << 20;

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Errors that say this kernel or file system cannot copy these files.
bool Unsupported(int error) {
  return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP || error == EBADF;
}

// Shows `from` to `observer` through a small buffer.
void Observe(int fd, const FileRange& from, ByteSink& observer) {
  std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(from.size, kReadChunk)));
  std::uint64_t done = 0;
  while (done < from.size) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), from.size - done));
    const ssize_t n = ::pread(fd, buffer.data(), want, static_cast<off_t>(from.offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw PackError(from.name, "read failed: " + ErrorText(errno));
    if (n == 0) throw PackError(from.name, "changed while the installer was being written");
    observer.Write(buffer.data(), static_cast<std::size_t>(n));
    done += static_cast<std::uint64_t>(n);
  }
}

// Copies through a buffer what the kernel would not, from `done` on.
void CopyRest(int in, int out, const FileRange& from, const FileRange& to, std::uint64_t done) {
  std::vector<char> buffer(kReadChunk);
  while (done < from.size) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), from.size - done));
    const ssize_t n = ::pread(in, buffer.data(), want, static_cast<off_t>(from.offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw PackError(from.name, n < 0 ? "read failed: " + ErrorText(errno) : "changed while the installer was being written");
    for (ssize_t put = 0; put < n;) {
      const ssize_t w = ::pwrite(out, buffer.data() + put, static_cast<std::size_t>(n - put),
                                 static_cast<off_t>(to.offset + done + static_cast<std::uint64_t>(put)));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) throw PackError(to.name, "write failed: " + ErrorText(w < 0 ? errno : EIO));
      put += w;
    }
    done += static_cast<std::uint64_t>(n);
  }
}

}  // namespace

bool CopyFileRange(const FileRange& from, const FileRange& to, ByteSink& observer) {
  if (from.size < kSmallRange) return false;
  Descriptor in(::open(from.path.c_str(), O_RDONLY | O_CLOEXEC));
  Descriptor out(::open(to.path.c_str(), O_WRONLY | O_CLOEXEC));
  if (!in || !out) return false;

  // The first piece tells whether the kernel copies these files at all.
  off_t inAt = static_cast<off_t>(from.offset);
  off_t outAt = static_cast<off_t>(to.offset);
  std::uint64_t done = 0;
  ssize_t n;
  do {
    n = ::copy_file_range(in.get(), &inAt, out.get(), &outAt,
                          static_cast<std::size_t>(std::min(kCopyChunk, from.size)), 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && Unsupported(errno)) return false;
  if (n < 0) throw PackError(to.name, "write failed: " + ErrorText(errno));
  done = static_cast<std::uint64_t>(n);

  // The observer reads the input on a thread of its own meanwhile.
  std::exception_ptr observerFailed;
  std::thread reader([&] {
    try {
      Observe(in.get(), from, observer);
    } catch (...) {
      observerFailed = std::current_exception();
    }
  });
  std::exception_ptr copyFailed;
  try {
    while (done < from.size) {
      n = ::copy_file_range(in.get(), &inAt, out.get(), &outAt,
                            static_cast<std::size_t>(std::min(kCopyChunk, from.size - done)), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && Unsupported(errno)) {
        CopyRest(in.get(), out.get(), from, to, done);
        break;
      }
      if (n < 0) throw PackError(to.name, "write failed: " + ErrorText(errno));
      if (n == 0) throw PackError(from.name, "changed while the installer was being written");
      done += static_cast<std::uint64_t>(n);
    }
  } catch (...) {
    copyFailed = std::current_exception();
  }
  reader.join();
  if (copyFailed) std::rethrow_exception(copyFailed);
  if (observerFailed) std::rethrow_exception(observerFailed);
  return true;
}

}  // namespace brisko::pack
