#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader, ZSTD_d_windowLogMax
#include <zstd.h>

#include <vector>

#include "core/package_format.h"
#include "payload_reader.h"

namespace brisko {
namespace {

// The frame header, when it is one the installer accepts: a single zstd
// frame (no skippable frame) that records its content size and carries a
// checksum, whose window fits the limit.
bool ReadHeader(std::string_view frame, ZSTD_frameHeader& header) {
  if (ZSTD_getFrameHeader(&header, frame.data(), frame.size()) != 0) return false;
  return header.frameType == ZSTD_frame && header.frameContentSize != ZSTD_CONTENTSIZE_UNKNOWN &&
         header.checksumFlag != 0 && header.windowSize <= (std::uint64_t{1} << format::kMaxWindowLog);
}

struct DStreamFree {
  void operator()(ZSTD_DStream* stream) const { ZSTD_freeDStream(stream); }
};

// Decodes the frame into a buffer of one piece and hands that out. The
// decoder checks the frame's checksum when it reaches the frame's end; the
// count of bytes and the end of the input are checked here.
class ZstdReader final : public PayloadReader {
 public:
  ZstdReader(std::string_view frame, std::uint64_t size) : in_{frame.data(), frame.size(), 0}, size_(size) {}

  bool Open() {
    stream_.reset(ZSTD_createDStream());
    return stream_ && !ZSTD_isError(ZSTD_DCtx_setParameter(stream_.get(), ZSTD_d_windowLogMax, format::kMaxWindowLog));
  }

  std::uint64_t size() const override { return size_; }

  bool Next(std::string_view& piece) override {
    piece = {};
    if (failed_) return false;
    if (ended_) return true;
    if (buffer_.empty()) buffer_.resize(kPieceSize);
    ZSTD_outBuffer out{buffer_.data(), buffer_.size(), 0};
    // Until the piece is full or the frame ends: a call may give nothing
    // while it reads a block header.
    while (out.pos < out.size) {
      const std::size_t status = ZSTD_decompressStream(stream_.get(), &out, &in_);
      if (ZSTD_isError(status)) return Fail();
      if (status == 0) {
        ended_ = true;
        break;
      }
      if (in_.pos == in_.size && out.pos < out.size) return Fail();  // cut short
    }
    done_ += out.pos;
    if (done_ > size_) return Fail();
    if (ended_ && (done_ != size_ || in_.pos != in_.size)) return Fail();
    piece = std::string_view(static_cast<const char*>(out.dst), out.pos);
    return true;
  }

 private:
  bool Fail() {
    failed_ = true;
    buffer_ = {};
    stream_.reset();
    return false;
  }

  std::unique_ptr<ZSTD_DStream, DStreamFree> stream_;
  std::vector<char> buffer_;
  ZSTD_inBuffer in_;
  std::uint64_t size_;
  std::uint64_t done_ = 0;
  bool ended_ = false;
  bool failed_ = false;
};

}  // namespace

bool ZstdContentSize(std::string_view frame, std::uint64_t& size) {
  ZSTD_frameHeader header;
  if (!ReadHeader(frame, header)) return false;
  size = header.frameContentSize;
  return true;
}

std::unique_ptr<PayloadReader> MakeZstdReader(std::string_view frame) {
  std::uint64_t size = 0;
  if (!ZstdContentSize(frame, size)) return nullptr;
  auto reader = std::make_unique<ZstdReader>(frame, size);
  if (!reader->Open()) return nullptr;
  return reader;
}

}  // namespace brisko
