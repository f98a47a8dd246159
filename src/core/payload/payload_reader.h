// A payload as the installer writes it: its bytes in pieces, in order, taken
// from the resource as it is stored (raw, or compressed). Readers check what
// they read; the caller puts the result in place only after the last piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/format/package_format.h"

namespace brisko {

class PayloadReader {
 public:
  // The largest piece a reader hands out.
  static constexpr std::size_t kPieceSize = std::size_t{1} << 20;

  virtual ~PayloadReader() = default;
  // The number of bytes the payload gives, as its resource records it.
  virtual std::uint64_t size() const = 0;
  // Sets `piece` to the next bytes, at most kPieceSize, valid until the next
  // call; empty once every byte has been given and checked. False when the
  // stored bytes are damaged: corrupted, cut short, followed by more, or not
  // of the recorded size. A reader that has said false is done.
  virtual bool Next(std::string_view& piece) = 0;
};

// Stored bytes, in order: a resource in the installer's memory, or a range
// of a file that the packer reads.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Sets `bytes` to the next stored bytes, valid until the next call; empty
  // at the end. False when they cannot be read.
  virtual bool Next(std::string_view& bytes) = 0;
};

// `bytes` in pieces of `piece` bytes (the last one shorter); by default all
// in one.
std::unique_ptr<ByteSource> MakeMemorySource(std::string_view bytes, std::size_t piece = std::string_view::npos);

// Bytes stored as they are, handed out from where they lie (no copy).
std::unique_ptr<PayloadReader> MakeRawReader(std::string_view bytes);

// The most bytes a frame header takes: what ZstdContentSize needs to see.
inline constexpr std::size_t kZstdHeaderMax = 18;

// The content size that a compressed payload's frame header records, from
// the frame's first bytes (at most kZstdHeaderMax are looked at). False when
// the header is none that the installer accepts: one zstd frame that records
// its content size and carries a checksum, with a window of at most
// 2^maxWindowLog bytes.
bool ZstdContentSize(std::string_view head, std::uint64_t& size, int maxWindowLog = format::kMaxWindowLog);

// A reader of the zstd frame that `source` gives from its first byte, whose
// first bytes are `head`. Null when the header is unusable (as for
// ZstdContentSize); damage further on shows in Next.
std::unique_ptr<PayloadReader> MakeZstdReader(std::string_view head, std::unique_ptr<ByteSource> source,
                                              int maxWindowLog = format::kMaxWindowLog);

}  // namespace brisko
