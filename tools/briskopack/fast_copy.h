// Moving a range of one file into another with as few copies as the system
// allows. On Linux the kernel copies the bytes from file to file
// (copy_file_range: nothing passes through the packer's memory) while a
// second thread reads the same range of the input, from the page cache, for
// whoever has to see the bytes (the image checksum); the output is never
// read back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "file_io.h"

namespace brisko::pack {

struct FileRange {
  const std::filesystem::path& path;
  const std::string& name;  // for messages
  std::uint64_t offset;
  std::uint64_t size;
};

// Copies `from` to `to` (of the same size; `to` names a file that is open
// elsewhere for writing and already holds to.offset bytes) and shows every
// byte to `observer` in order. Returns false, having written nothing, for a
// small range or when the system offers no such copy for these files: the
// caller then streams the bytes itself. Throws PackError when a read or a write fails midway.
bool CopyFileRange(const FileRange& from, const FileRange& to, ByteSink& observer);

}  // namespace brisko::pack
