// Moving a range of one file into another with as few copies as the system
// allows. On Linux, a range nobody needs to see is copied by the kernel from
// file to file (copy_file_range: nothing passes through the packer's memory).
// A range whose bytes go into the image checksum is read once: it is cut into
// one part per processor, and each part is read into a small buffer, summed
// while the buffer is still in the processor's cache and written from it, by
// a thread of its own. The output is never read back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/file_io.h"

namespace brisko::pack {

struct FileRange {
  const std::filesystem::path& path;
  const std::string& name;  // for messages
  std::uint64_t offset;
  std::uint64_t size;
};

// Copies `from` to `to` (of the same size; `to` names a file that is open
// elsewhere for writing and already holds to.offset bytes) and, when `sum` is
// given, adds every byte to it in order. Returns false, having written
// nothing, for a small range or when the system offers no such copy for these
// files: the caller then streams the bytes itself. Throws PackError when a
// read or a write fails midway.
bool CopyFileRange(const FileRange& from, const FileRange& to, PeChecksum* sum);

}  // namespace brisko::pack
