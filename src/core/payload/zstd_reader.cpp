#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader, ZSTD_d_windowLogMax
#include <zstd.h>

#include <vector>

#include "core/format/package_format.h"
#include "core/payload/payload_reader.h"

namespace brisko {
namespace {

// The frame header, when it is one the installer accepts: a single zstd
// frame (no skippable frame) that records its content size and carries a
// checksum, whose window fits the limit of 2^maxWindowLog bytes.
bool ReadHeader(std::string_view head, int maxWindowLog, ZSTD_frameHeader& header) {
  if (ZSTD_getFrameHeader(&header, head.data(), head.size()) != 0) return false;
  return header.frameType == ZSTD_frame && header.frameContentSize != ZSTD_CONTENTSIZE_UNKNOWN &&
         header.checksumFlag != 0 && header.windowSize <= (std::uint64_t{1} << maxWindowLog);
}

struct DStreamFree {
  void operator()(ZSTD_DStream* stream) const { ZSTD_freeDStream(stream); }
};

// Decodes the frame into a buffer of one piece and hands that out. The
// decoder checks the frame's checksum when it reaches the frame's end; the
// count of bytes and the end of the input are checked here.
class ZstdReader final : public PayloadReader {
 public:
  ZstdReader(std::unique_ptr<ByteSource> source, std::uint64_t size) : source_(std::move(source)), size_(size) {}

  bool Open(int maxWindowLog) {
    stream_.reset(ZSTD_createDStream());
    return stream_ && !ZSTD_isError(ZSTD_DCtx_setParameter(stream_.get(), ZSTD_d_windowLogMax, maxWindowLog));
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
      if (in_.pos == in_.size && !Refill()) return Fail();
      const std::size_t status = ZSTD_decompressStream(stream_.get(), &out, &in_);
      if (ZSTD_isError(status)) return Fail();
      if (status == 0) {
        ended_ = true;
        break;
      }
      if (in_.pos == in_.size && sourceEnded_ && out.pos < out.size) return Fail();  // cut short
    }
    done_ += out.pos;
    if (done_ > size_) return Fail();
    if (ended_ && (done_ != size_ || !RestIsEmpty())) return Fail();
    piece = std::string_view(static_cast<const char*>(out.dst), out.pos);
    return true;
  }

 private:
  // The next stored bytes into the decoder's input; at the source's end the
  // input stays empty.
  bool Refill() {
    std::string_view bytes;
    if (!source_->Next(bytes)) return false;
    sourceEnded_ = bytes.empty();
    in_ = {bytes.data(), bytes.size(), 0};
    return true;
  }

  // Nothing may follow the frame.
  bool RestIsEmpty() {
    while (in_.pos == in_.size && !sourceEnded_)
      if (!Refill()) return false;
    return in_.pos == in_.size;
  }

  bool Fail() {
    failed_ = true;
    buffer_ = {};
    stream_.reset();
    return false;
  }

  std::unique_ptr<ByteSource> source_;
  std::unique_ptr<ZSTD_DStream, DStreamFree> stream_;
  std::vector<char> buffer_;
  ZSTD_inBuffer in_{nullptr, 0, 0};
  bool sourceEnded_ = false;
  std::uint64_t size_;
  std::uint64_t done_ = 0;
  bool ended_ = false;
  bool failed_ = false;
};

}  // namespace

bool ZstdContentSize(std::string_view head, std::uint64_t& size, int maxWindowLog) {
  ZSTD_frameHeader header;
  if (!ReadHeader(head.substr(0, kZstdHeaderMax), maxWindowLog, header)) return false;
  size = header.frameContentSize;
  return true;
}

std::unique_ptr<PayloadReader> MakeZstdReader(std::string_view head, std::unique_ptr<ByteSource> source,
                                              int maxWindowLog) {
  std::uint64_t size = 0;
  if (!ZstdContentSize(head, size, maxWindowLog)) return nullptr;
  auto reader = std::make_unique<ZstdReader>(std::move(source), size);
  if (!reader->Open(maxWindowLog)) return nullptr;
  return reader;
}

}  // namespace brisko
