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

  // CreateFileW for reading, shared with readers and with deleting (the
  // replace that follows); ReadFile at offsets.
  bool OpenForReading(const Text& path, std::unique_ptr<RandomAccessFile>& file) override;

  // Examine reads the attributes (GetFileAttributesW) and probes an existing
  // file with CreateFileW for writing and deleting, sharing everything.
  // Refused: a folder, a read-only, hidden or system file, a file that
  // another process holds so that it cannot be replaced. Stage writes the
  // reader's bytes to a new file in the destination's folder and flushes
  // it. Its Commit puts it in place, once the reader has checked all it
  // read, with ReplaceFileW over an existing destination, which keeps that
  // file's attributes, security, streams and creation time (the former
  // content going to the destination's backup name until the staged file
  // ends; other hard links to it keep the old content), or with MoveFileExW
  // for a new name; Restore moves the backup back
  // (MoveFileExW) or deletes the new file. FreeSpace asks
  // GetDiskFreeSpaceExW and GetVolumePathNameW. Recover moves every backup
  // whose destination is missing back into place, then deletes the files of
  // the installer's own names in the destinations' folders (FindFirstFileW,
  // FindNextFileW, DeleteFileW).
  DestinationState Examine(const Text& path) override;
  bool FreeSpace(const Text& folder, std::uint64_t& bytes, Text& volume) override;
  bool Stage(const Text& path, PayloadReader& reader, Progress& progress, std::unique_ptr<StagedFile>& staged) override;
  void Recover(const StringList& paths) override;

 private:
  const Locale& locale_;
};

}  // namespace brisko
