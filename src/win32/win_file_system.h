// Files on disk: the existence test of the folder check and the writing of
// payload files.
#pragma once

#include "core/platform.h"
#include "core/text/locale.h"

namespace brisko {

class WinFileSystem final : public FileSystem {
 public:
  // `locale` tells the double-byte characters of paths apart from their
  // delimiters when the destination's folder is taken.
  explicit WinFileSystem(const Locale& locale) : locale_(locale) {}

  // A file search (FindFirstFileW) that finds something which is no folder.
  bool FileExists(const Text& path) override;

  // Writes the reader's bytes to a new temporary file in the destination's
  // folder, flushes it, and only then puts it in place, once the reader has
  // checked all it read: ReplaceFileW over an
  // existing destination, which keeps that file's attributes, security,
  // streams and creation time; MoveFileExA for a new name. Other hard links
  // to a replaced file keep the old content. Refuses, before writing
  // anything, what a direct create-always write refuses: a folder, a
  // read-only, hidden or system file; and a file that another process holds
  // open. On failure the temporary file is removed and the destination is as
  // it was. Never creates a folder.
  // CreateFileW for reading, shared with readers and with deleting (the
  // replace that follows); ReadFile at offsets.
  bool OpenForReading(const Text& path, std::unique_ptr<RandomAccessFile>& file) override;

  using FileSystem::WriteWholeFile;
  bool WriteWholeFile(const Text& path, PayloadReader& reader, Progress& progress) override;

 private:
  const Locale& locale_;
};

}  // namespace brisko
