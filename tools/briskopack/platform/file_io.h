// Files as the packer uses them: random-access input that is never loaded
// whole, output written under a temporary name and moved into place only when
// complete, and one error type that names the file at fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace brisko::pack {

namespace fs = std::filesystem;

// A failure that concerns one file; shown as "<file>: <cause>".
class PackError : public std::runtime_error {
 public:
  PackError(std::string file, std::string cause);
  const std::string& file() const { return file_; }
  const std::string& cause() const { return cause_; }

 private:
  std::string file_;
  std::string cause_;
};

// The path as text for messages, in UTF-8.
std::string DisplayName(const fs::path& path);

// A path given as UTF-8 text (an argument of the command line).
inline fs::path PathFromUtf8(const std::string& utf8) { return fs::u8path(utf8); }

// The C library's text for errno `error`, and the system's for `ec`, in
// UTF-8.
std::string ErrorText(int error);
std::string ErrorText(const std::error_code& ec);

// The running process's identifier, for names no other run of the packer
// uses (process_posix.cpp, process_win.cpp).
long CurrentProcessId();

class InputFile;
class PeChecksum;

// Somewhere bytes can be written in order.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(const void* data, std::size_t size) = 0;
  // Appends `size` bytes of `in` from `offset`. This streams them through a
  // buffer into Write; a sink that ends in a file lets the system move them.
  virtual void Append(InputFile& in, std::uint64_t offset, std::uint64_t size);
  void WriteZeros(std::uint64_t count);
};

// Bytes kept in memory; for small amounts only.
class StringSink final : public ByteSink {
 public:
  void Write(const void* data, std::size_t size) override { bytes.append(static_cast<const char*>(data), size); }
  std::string bytes;
};

// A regular file opened for reading at any offset.
class InputFile {
 public:
  // Throws PackError when the file is missing, is a folder or cannot be read.
  explicit InputFile(const fs::path& path);

  const fs::path& path() const { return path_; }
  const std::string& name() const { return name_; }
  std::uint64_t size() const { return size_; }

  // Reads exactly `size` bytes at `offset`; throws PackError when the file
  // ends before them.
  void ReadAt(std::uint64_t offset, void* data, std::size_t size);
  std::string ReadAt(std::uint64_t offset, std::size_t size);

  // Streams `size` bytes from `offset` into `sink` through a fixed buffer.
  void CopyTo(std::uint64_t offset, std::uint64_t size, ByteSink& sink);

 private:
  fs::path path_;
  std::string name_;
  std::ifstream in_;
  std::uint64_t size_ = 0;
};

// The whole of a small file; throws PackError beyond `limit` bytes.
std::string ReadWholeFile(const fs::path& path, std::uint64_t limit);

// A file written beside `destination` under a temporary name. Commit moves it
// into place; an uncommitted file is removed when the object ends, so that a
// failure never leaves a partial destination behind.
class OutputFile final : public ByteSink {
 public:
  explicit OutputFile(fs::path destination);
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(const void* data, std::size_t size) override;
  void Append(InputFile& in, std::uint64_t offset, std::uint64_t size) override;
  // Appends as Append does and adds every byte appended to `sum` (the image
  // checksum is taken from the input this way, never by reading the output
  // back).
  void AppendSummed(InputFile& in, std::uint64_t offset, std::uint64_t size, PeChecksum& sum);
  // Overwrites bytes already written, then continues at the end.
  void WriteAt(std::uint64_t offset, const void* data, std::size_t size);
  std::uint64_t position() const { return position_; }
  const std::string& name() const { return name_; }

  // Gives the file the execute permissions that `model` has (POSIX only).
  void CopyExecutePermissions(const fs::path& model);
  void Commit();
  // Ends writing without putting the file in place, for bytes that are only
  // needed for a while: they can be read from temporaryPath() until the
  // object ends, which removes them.
  void CloseScratch();
  const fs::path& temporaryPath() const { return temporary_; }

 private:
  [[noreturn]] void Fail(const std::string& what) const;
  void AppendRange(InputFile& in, std::uint64_t offset, std::uint64_t size, PeChecksum* sum);

  fs::path destination_;
  fs::path temporary_;
  std::string name_;
  std::ofstream out_;
  std::uint64_t position_ = 0;
  bool committed_ = false;
};

// A folder filled under a temporary name beside `destination` and renamed to
// it by Commit; removed with everything in it when not committed. The
// destination must not exist, or be an empty folder.
class OutputFolder {
 public:
  explicit OutputFolder(fs::path destination);
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  const fs::path& path() const { return temporary_; }
  void Commit();

 private:
  fs::path destination_;
  fs::path temporary_;
  bool committed_ = false;
};

}  // namespace brisko::pack
