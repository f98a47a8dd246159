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

  // The staged apply. Examine reads the attributes (GetFileAttributesW) and
  // probes an existing file with CreateFileW for writing and deleting,
  // sharing everything. Stage writes a temporary file beside the destination
  // as WriteWholeFile does; its Commit puts it in place with ReplaceFileW,
  // the former content going to the destination's backup name, or with
  // MoveFileExW for a new name; Restore moves the backup back
  // (MoveFileExW) or deletes the new file. FreeSpace asks
  // GetDiskFreeSpaceExW and GetVolumePathNameW. Recover moves a backup whose
  // destination is missing back into place, then deletes the files of the
  // installer's own names in the destination's folder (FindFirstFileW,
  // FindNextFileW, DeleteFileW).
  DestinationState Examine(const Text& path) override;
  bool FreeSpace(const Text& folder, std::uint64_t& bytes, Text& volume) override;
  bool Stage(const Text& path, PayloadReader& reader, Progress& progress, std::unique_ptr<StagedFile>& staged) override;
  void Recover(const Text& path) override;

 private:
  const Locale& locale_;
};

}  // namespace brisko
