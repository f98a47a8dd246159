// A payload as the installer writes it: its bytes in pieces, in order, taken
// from the resource as it is stored (raw, or compressed). Readers check what
// they read; the caller puts the result in place only after the last piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

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

// Bytes stored as they are, handed out from where they lie (no copy).
std::unique_ptr<PayloadReader> MakeRawReader(std::string_view bytes);

// One zstd frame that records its content size and its checksum, with a
// window no larger than the package format allows. Null when the header is
// none such; damage further on shows in Next.
std::unique_ptr<PayloadReader> MakeZstdReader(std::string_view frame);

// The content size that a compressed payload's frame header records, or
// nothing when the header is unusable (as for MakeZstdReader).
bool ZstdContentSize(std::string_view frame, std::uint64_t& size);

}  // namespace brisko
