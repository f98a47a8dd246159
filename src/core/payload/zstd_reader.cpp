#define ZSTD_STATIC_LINKING_ONLY  // the frame header and the buffer-less decoding functions
#include <zstd.h>

#include <algorithm>
#include <new>

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

struct DCtxFree {
  void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
};

// Decodes the frame block by block (zstd's buffer-less decoding, the
// smallest part of the library that decodes a frame in pieces) into a ring
// of the window's size and a block or two beyond, and hands out what each
// call decodes, a piece of at most kPieceSize, straight from the ring. The
// decoder checks the frame's checksum when it reaches the frame's end; the
// count of bytes and the end of the input are checked here.
class ZstdReader final : public PayloadReader {
 public:
  ZstdReader(std::unique_ptr<ByteSource> source, const ZSTD_frameHeader& header)
      : source_(std::move(source)), size_(header.frameContentSize), blockSizeMax_(header.blockSizeMax) {
    const std::size_t ring = ZSTD_decodingBufferSize_min(header.windowSize, header.frameContentSize);
    if (ZSTD_isError(ring)) return;
    ringSize_ = ring;
  }

  // False when the decoder or its ring cannot be had (the ring may be up to
  // 2^maxWindowLog bytes: memory may run short).
  bool Open() {
    context_.reset(ZSTD_createDCtx());
    if (!context_ || ZSTD_isError(ZSTD_decompressBegin(context_.get()))) return false;
    ring_.reset(new (std::nothrow) char[ringSize_ != 0 ? ringSize_ : 1]);
    return ring_ != nullptr;
  }

  std::uint64_t size() const override { return size_; }

  bool Next(std::string_view& piece) override {
    piece = {};
    if (failed_) return false;
    if (ended_) return true;
    const std::size_t start = at_;
    for (;;) {
      const std::size_t need = ZSTD_nextSrcSizeToDecompress(context_.get());
      if (need == 0) {
        ended_ = true;
        if (done_ != size_ || !RestIsEmpty()) return Fail();
        break;
      }
      // A piece ends before a block that could take it beyond kPieceSize:
      // blocks come in any sizes, and the readers after this one hold a
      // piece in buffers of that size.
      if (at_ - start + blockSizeMax_ > kPieceSize) break;
      // A block that may not fit before the ring's end starts again at its
      // beginning, once what lies before it has been handed out.
      if (ringSize_ < size_ && at_ + blockSizeMax_ > ringSize_) {
        if (at_ > start) break;
        at_ = 0;
        return Next(piece);
      }
      const char* input = nullptr;
      if (!TakeInput(need, input)) return Fail();
      const std::size_t decoded =
          ZSTD_decompressContinue(context_.get(), ring_.get() + at_, ringSize_ - at_, input, need);
      pending_.clear();
      if (ZSTD_isError(decoded) || decoded > size_ - done_) return Fail();
      at_ += decoded;
      done_ += decoded;
    }
    piece = std::string_view(ring_.get() + start, at_ - start);
    return true;
  }

 private:
  // Exactly `size` stored bytes at `data`: where they lie, when the source
  // gave them in one piece, else gathered from its pieces.
  bool TakeInput(std::size_t size, const char*& data) {
    if (in_.size() >= size) {
      data = in_.data();
      in_.remove_prefix(size);
      return true;
    }
    while (pending_.size() < size) {
      if (in_.empty() && (!Refill() || in_.empty())) return false;
      const std::size_t take = std::min(size - pending_.size(), in_.size());
      pending_.append(in_.data(), take);
      in_.remove_prefix(take);
    }
    data = pending_.data();
    return true;
  }

  // The next stored bytes; at the source's end they stay empty.
  bool Refill() {
    if (!source_->Next(in_)) return false;
    sourceEnded_ = in_.empty();
    return true;
  }

  // Nothing may follow the frame.
  bool RestIsEmpty() {
    while (in_.empty() && !sourceEnded_)
      if (!Refill()) return false;
    return in_.empty();
  }

  bool Fail() {
    failed_ = true;
    ring_.reset();
    context_.reset();
    return false;
  }

  std::unique_ptr<ByteSource> source_;
  std::unique_ptr<ZSTD_DCtx, DCtxFree> context_;
  std::unique_ptr<char[]> ring_;
  std::size_t ringSize_ = 0;
  std::size_t at_ = 0;  // where the next block goes in the ring
  std::string_view in_;
  std::string pending_;
  bool sourceEnded_ = false;
  std::uint64_t size_;
  std::size_t blockSizeMax_;
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
  ZSTD_frameHeader header;
  if (!ReadHeader(head.substr(0, kZstdHeaderMax), maxWindowLog, header)) return nullptr;
  auto reader = std::make_unique<ZstdReader>(std::move(source), header);
  if (!reader->Open()) return nullptr;
  return reader;
}

}  // namespace brisko
