#include "platform/fast_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "pe/pe_checksum.h"

namespace brisko::pack {
namespace {

// Read, summed and written at a time: small enough to stay in the
// processor's cache between the three.
constexpr std::size_t kChunk = 256u << 10;
// Below this a buffered copy costs less than the threads and two more open
// files.
constexpr std::uint64_t kSmallRange = 1u << 20;
// Taken by one thread at a time: long enough that taking it costs nothing,
// short enough that the threads finish together.
constexpr std::uint64_t kPart = 8u << 20;
// Threads beyond this gain nothing once the memory bus is busy.
constexpr std::uint64_t kMostThreads = 4;
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

bool RegularFile(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Errors that say this kernel or file system cannot copy these files.
bool Unsupported(int error) {
  return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP || error == EBADF;
}

// Copies bytes [begin, end) of the range through a buffer, adding them to
// `sum` when given. Stops early, without a message, once `stop` is set.
void CopyPart(int in, int out, const FileRange& from, const FileRange& to, std::uint64_t begin, std::uint64_t end,
              PeChecksum* sum, const std::atomic<bool>& stop) {
  std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end - begin)));
  for (std::uint64_t done = begin; done < end && !stop.load(std::memory_order_relaxed);) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - done));
    const ssize_t n = ::pread(in, buffer.data(), want, static_cast<off_t>(from.offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      throw PackError(from.name,
                      n < 0 ? "read failed: " + ErrorText(errno) : "changed while the installer was being written");
    if (sum) sum->Add(buffer.data(), static_cast<std::size_t>(n));
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

// The kernel copies the range from file to file. False, with nothing
// written, when it refuses these files; a refusal midway is finished through
// a buffer.
bool KernelCopy(int in, int out, const FileRange& from, const FileRange& to) {
  off_t inAt = static_cast<off_t>(from.offset);
  off_t outAt = static_cast<off_t>(to.offset);
  std::uint64_t done = 0;
  while (done < from.size) {
    const ssize_t n =
        ::copy_file_range(in, &inAt, out, &outAt, static_cast<std::size_t>(std::min(kCopyChunk, from.size - done)), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && Unsupported(errno)) {
      if (done == 0) return false;
      const std::atomic<bool> never{false};
      CopyPart(in, out, from, to, done, from.size, nullptr, never);
      return true;
    }
    if (n < 0) throw PackError(to.name, "write failed: " + ErrorText(errno));
    if (n == 0) throw PackError(from.name, "changed while the installer was being written");
    done += static_cast<std::uint64_t>(n);
  }
  return true;
}

// Copies the range in parts of kPart bytes taken in turn by one thread per
// processor, so that a thread the system holds back leaves its share to the
// others. Every part is summed on its own and the sums are joined in order.
// Parts after the first start at an even offset of the output, so that each
// begins a checksum word.
void SummedCopy(int in, int out, const FileRange& from, const FileRange& to, PeChecksum& sum) {
  const std::uint64_t shift = to.offset % 2;
  const std::uint64_t parts = (from.size - shift + kPart - 1) / kPart;
  auto bound = [&](std::uint64_t part) { return part == 0 ? 0 : std::min(from.size, part * kPart + shift); };

  std::vector<PeChecksum> sums(static_cast<std::size_t>(parts));
  std::atomic<std::uint64_t> next{0};
  std::atomic<bool> stop{false};
  std::exception_ptr failed;
  std::mutex failedLock;
  auto work = [&] {
    try {
      for (std::uint64_t part; !stop && (part = next++) < parts;)
        CopyPart(in, out, from, to, bound(part), bound(part + 1), part == 0 ? &sum : &sums[part], stop);
    } catch (...) {
      std::lock_guard<std::mutex> hold(failedLock);
      if (!failed) failed = std::current_exception();
      stop = true;
    }
  };
  const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
  const auto helpers = static_cast<unsigned>(std::min<std::uint64_t>({processors, kMostThreads, parts}) - 1);
  std::vector<std::thread> threads;
  threads.reserve(helpers);
  for (unsigned i = 0; i < helpers; ++i) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  if (failed) std::rethrow_exception(failed);
  for (std::size_t part = 1; part < sums.size(); ++part) sum.Add(sums[part]);
}

}  // namespace

bool CopyFileRange(const FileRange& from, const FileRange& to, PeChecksum* sum) {
  if (from.size < kSmallRange) return false;
  Descriptor in(::open(from.path.c_str(), O_RDONLY | O_CLOEXEC));
  Descriptor out(::open(to.path.c_str(), O_WRONLY | O_CLOEXEC));
  if (!in || !out || !RegularFile(in.get()) || !RegularFile(out.get())) return false;
  if (!sum) return KernelCopy(in.get(), out.get(), from, to);
  SummedCopy(in.get(), out.get(), from, to, *sum);
  return true;
}

}  // namespace brisko::pack
