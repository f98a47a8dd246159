#include "platform/file_io.h"

#include "pe/pe_checksum.h"
#include "platform/console.h"
#include "platform/fast_copy.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

namespace brisko::pack {

namespace {

constexpr std::size_t kCopyBuffer = 1 << 20;

// A name beside `destination` that nothing uses yet: ".<name>.briskopack-<pid>-<n>.tmp".
// The count is the process's own, so that threads that make files at the
// same moment never pick the same name.
fs::path TemporaryBeside(const fs::path& destination) {
  static std::atomic<unsigned> next{0};
  const std::string tag = ".briskopack-" + std::to_string(CurrentProcessId()) + "-";
  std::error_code ec;
  for (unsigned n = next++;; n = next++) {
    fs::path name(".");
    name += destination.filename();
    name += tag + std::to_string(n) + ".tmp";
    fs::path candidate = destination.parent_path() / name;
    if (!fs::exists(fs::symlink_status(candidate, ec))) return candidate;
  }
}

}  // namespace

PackError::PackError(std::string file, std::string cause)
    : std::runtime_error(file + ": " + cause), file_(std::move(file)), cause_(std::move(cause)) {}

std::string DisplayName(const fs::path& path) {
  try {
    return path.u8string();
  } catch (const std::exception&) {
    return path.string();
  }
}

std::string ErrorText(int error) { return SystemText(std::strerror(error)); }

std::string ErrorText(const std::error_code& ec) { return SystemText(ec.message()); }

void ByteSink::WriteZeros(std::uint64_t count) {
  static const char kZeros[4096] = {};
  while (count > 0) {
    const std::size_t n = count < sizeof kZeros ? static_cast<std::size_t>(count) : sizeof kZeros;
    Write(kZeros, n);
    count -= n;
  }
}

void ByteSink::Append(InputFile& in, std::uint64_t offset, std::uint64_t size) { in.CopyTo(offset, size, *this); }

InputFile::InputFile(const fs::path& path) : path_(path), name_(DisplayName(path)) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) throw PackError(name_, "no such file");
  if (fs::is_directory(status)) throw PackError(name_, "is a folder, not a file");
  errno = 0;
  in_.open(path, std::ios::binary);
  if (!in_) throw PackError(name_, "cannot open: " + ErrorText(errno ? errno : EIO));
  in_.seekg(0, std::ios::end);
  const std::streamoff end = in_.tellg();
  if (end < 0) throw PackError(name_, "cannot read: not a regular file");
  size_ = static_cast<std::uint64_t>(end);
}

void InputFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
  if (offset > size_ || size > size_ - offset)
    throw PackError(name_, "truncated: the file ends before offset " + std::to_string(offset + size));
  in_.clear();
  in_.seekg(static_cast<std::streamoff>(offset));
  in_.read(static_cast<char*>(data), static_cast<std::streamsize>(size));
  if (static_cast<std::size_t>(in_.gcount()) != size)
    throw PackError(
        name_, "read failed at offset " + std::to_string(offset) + " (the file may have changed while it was read)");
}

std::string InputFile::ReadAt(std::uint64_t offset, std::size_t size) {
  std::string bytes(size, '\0');
  ReadAt(offset, bytes.data(), size);
  return bytes;
}

void InputFile::CopyTo(std::uint64_t offset, std::uint64_t size, ByteSink& sink) {
  std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(size, kCopyBuffer)));
  while (size > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size()));
    ReadAt(offset, buffer.data(), n);
    sink.Write(buffer.data(), n);
    offset += n;
    size -= n;
  }
}

std::string ReadWholeFile(const fs::path& path, std::uint64_t limit) {
  InputFile file(path);
  if (file.size() > limit)
    throw PackError(file.name(), "too large (" + std::to_string(file.size()) + " bytes, at most " +
                                     std::to_string(limit) + " expected)");
  return file.ReadAt(0, static_cast<std::size_t>(file.size()));
}

OutputFile::OutputFile(fs::path destination) : destination_(std::move(destination)), name_(DisplayName(destination_)) {
  std::error_code ec;
  if (fs::is_directory(destination_, ec)) throw PackError(name_, "cannot write: it is a folder");
  const fs::path folder = destination_.parent_path();
  if (!folder.empty() && !fs::is_directory(folder, ec))
    throw PackError(name_, "cannot write: folder " + DisplayName(folder) + " does not exist");
  temporary_ = TemporaryBeside(destination_);
  errno = 0;
  out_.open(temporary_, std::ios::binary | std::ios::trunc);
  if (!out_) throw PackError(name_, "cannot write: " + ErrorText(errno ? errno : EACCES));
}

OutputFile::~OutputFile() {
  if (committed_) return;
  out_.close();
  std::error_code ec;
  fs::remove(temporary_, ec);
}

void OutputFile::Fail(const std::string& what) const { throw PackError(name_, what); }

void OutputFile::Write(const void* data, std::size_t size) {
  errno = 0;
  out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out_) Fail("write failed: " + ErrorText(errno ? errno : EIO));
  position_ += size;
}

void OutputFile::Append(InputFile& in, std::uint64_t offset, std::uint64_t size) {
  AppendRange(in, offset, size, nullptr);
}

void OutputFile::AppendSummed(InputFile& in, std::uint64_t offset, std::uint64_t size, PeChecksum& sum) {
  AppendRange(in, offset, size, &sum);
}

void OutputFile::AppendRange(InputFile& in, std::uint64_t offset, std::uint64_t size, PeChecksum* sum) {
  if (offset > in.size() || size > in.size() - offset)
    throw PackError(in.name(), "truncated: the file ends before offset " + std::to_string(offset + size));
  // The stream's buffer goes to the file first; the system then writes the
  // range behind it, and the stream carries on after it.
  errno = 0;
  out_.flush();
  if (!out_) Fail("write failed: " + ErrorText(errno ? errno : EIO));
  const FileRange from{in.path(), in.name(), offset, size};
  const FileRange to{temporary_, name_, position_, size};
  if (CopyFileRange(from, to, sum)) {
    position_ += size;
    out_.seekp(static_cast<std::streamoff>(position_));
    if (!out_) Fail("write failed: cannot seek past the copied bytes");
    return;
  }
  struct Tee final : ByteSink {
    Tee(OutputFile& file, PeChecksum* checksum) : out(file), sum(checksum) {}
    void Write(const void* data, std::size_t n) override {
      if (sum) sum->Add(data, n);
      out.Write(data, n);
    }
    OutputFile& out;
    PeChecksum* sum;
  } tee(*this, sum);
  in.CopyTo(offset, size, tee);
}

void OutputFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  errno = 0;
  out_.seekp(static_cast<std::streamoff>(offset));
  out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  out_.seekp(static_cast<std::streamoff>(position_));
  if (!out_) Fail("write failed: " + ErrorText(errno ? errno : EIO));
}

void OutputFile::CopyExecutePermissions(const fs::path& model) {
  std::error_code ec;
  const fs::perms exec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  const fs::perms wanted = fs::status(model, ec).permissions() & exec;
  if (!ec && wanted != fs::perms::none) fs::permissions(temporary_, wanted, fs::perm_options::add, ec);
}

void OutputFile::Commit() {
  errno = 0;
  out_.close();
  if (out_.fail()) Fail("write failed: " + ErrorText(errno ? errno : EIO));
  std::error_code ec;
  fs::rename(temporary_, destination_, ec);
  if (ec) Fail("cannot replace: " + ErrorText(ec));
  committed_ = true;
}

void OutputFile::CloseScratch() {
  errno = 0;
  out_.close();
  if (out_.fail()) Fail("write failed: " + ErrorText(errno ? errno : EIO));
}

OutputFolder::OutputFolder(fs::path destination) : destination_(std::move(destination)) {
  const std::string name = DisplayName(destination_);
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(destination_, ec);
  if (fs::exists(status)) {
    if (!fs::is_directory(status)) throw PackError(name, "exists and is not a folder");
    if (!fs::is_empty(destination_, ec)) throw PackError(name, "folder is not empty");
  }
  const fs::path parent = destination_.parent_path();
  if (!parent.empty() && !fs::is_directory(parent, ec))
    throw PackError(name, "cannot create: folder " + DisplayName(parent) + " does not exist");
  temporary_ = TemporaryBeside(destination_);
  fs::create_directory(temporary_, ec);
  if (ec) throw PackError(name, "cannot create: " + ErrorText(ec));
}

OutputFolder::~OutputFolder() {
  if (committed_) return;
  std::error_code ec;
  fs::remove_all(temporary_, ec);
}

void OutputFolder::Commit() {
  std::error_code ec;
  // An empty destination folder is replaced; anything else was refused above.
  if (fs::is_directory(destination_, ec)) fs::remove(destination_, ec);
  fs::rename(temporary_, destination_, ec);
  if (ec) throw PackError(DisplayName(destination_), "cannot create: " + ErrorText(ec));
  committed_ = true;
}

}  // namespace brisko::pack
