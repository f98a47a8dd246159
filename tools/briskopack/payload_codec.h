// Payloads as the packer stores them and reads them back: raw ("BIN"), or
// compressed into one zstd frame ("ZSTD") that the installer decodes with the
// same reader as this file's Unpack.
#pragma once

#include <cstdint>
#include <string>

#include "file_io.h"
#include "resource_tree.h"

namespace brisko::pack {

// Levels as zstd counts them: 1 is fastest, 22 smallest. The default, with
// the long window, gives at least the ratio of `zstd -19 --long=27`.
inline constexpr int kDefaultCompressionLevel = 19;
int MaxCompressionLevel();

struct CompressOptions {
  int level = kDefaultCompressionLevel;
  // Worker threads; 0 is one per processor. The frame is the same whatever
  // the number.
  unsigned threads = 0;
};

// Compresses `size` bytes of `in` from `offset` into `out` as one frame that
// records its content size and carries a checksum, matching over a window of
// at most 2^kMaxWindowLog bytes. Throws PackError when reading fails or zstd
// refuses.
void CompressRange(InputFile& in, std::uint64_t offset, std::uint64_t size, ByteSink& out,
                   const CompressOptions& options);

enum class PayloadKind { Raw, Compressed };

// The bytes a stored payload gives: its size, or the content size its frame
// records. Throws PackError naming `where` when the frame's header is one the
// installer would refuse.
std::uint64_t UnpackedSize(PayloadKind kind, const ResourceData& data, const std::string& where);

// Writes the payload's bytes to `sink`, a compressed one decoded and checked
// as the installer checks it (frame checksum, content size, nothing after
// the frame). Throws PackError naming `where` when it is damaged.
void Unpack(PayloadKind kind, const ResourceData& data, ByteSink& sink, const std::string& where);

}  // namespace brisko::pack
