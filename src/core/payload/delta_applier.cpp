#include <algorithm>
#include <cstring>

#include "core/format/byte_order.h"
#include "core/format/package_format.h"
#include "core/payload/delta.h"

namespace brisko {
namespace {

// One of a delta's streams, decoded as it is taken, in any amounts.
class Stream {
 public:
  Stream(std::string_view frame, int windowLog)
      : reader_(MakeZstdReader(frame, MakeMemorySource(frame), windowLog)) {}

  bool usable() const { return reader_ != nullptr; }

  // The next bytes, at most `most` of them; false at the stream's end or when
  // it is damaged.
  bool Take(std::size_t most, std::string_view& bytes) {
    if (piece_.empty() && (!reader_->Next(piece_) || piece_.empty())) return false;
    bytes = piece_.substr(0, most);
    piece_.remove_prefix(bytes.size());
    return true;
  }

  // An unsigned LEB128 number of at most 64 bits.
  bool Number(std::uint64_t& value) {
    return le::ReadLeb128(
        [this](unsigned char& byte) {
          std::string_view b;
          if (!Take(1, b)) return false;
          byte = static_cast<unsigned char>(b[0]);
          return true;
        },
        value);
  }

  // Every byte taken and the frame checked.
  bool AtEnd() { return piece_.empty() && reader_->Next(piece_) && piece_.empty(); }

 private:
  std::unique_ptr<PayloadReader> reader_;
  std::string_view piece_;
};

// Builds the result piece by piece: source bytes are read where the
// instructions point, literal bytes come from their stream.
class DeltaApplier final : public PayloadReader {
 public:
  DeltaApplier(const DeltaSource& source, std::uint64_t size, std::unique_ptr<RandomAccessFile> file)
      : file_(std::move(file)),
        sourceSize_(source.file.size),
        size_(size),
        control_(source.control, format::kDeltaControlWindowLog),
        diff_(source.diff, format::kDeltaDataWindowLog),
        literals_(source.literal, format::kDeltaDataWindowLog) {}

  bool usable() const { return control_.usable() && diff_.usable() && literals_.usable(); }

  std::uint64_t size() const override { return size_; }

  bool Next(std::string_view& piece) override {
    piece = {};
    if (failed_) return false;
    if (ended_) {
      buffer_.reset();
      return true;
    }
    if (!buffer_) buffer_.reset(new char[kPieceSize]);
    std::size_t filled = 0;
    while (filled < kPieceSize) {
      char* at = buffer_.get() + filled;
      const std::size_t room = kPieceSize - filled;
      std::size_t n = 0;
      if (copyLeft_ > 0) {
        n = static_cast<std::size_t>(std::min<std::uint64_t>(copyLeft_, room));
        if (!Copy(at, n)) return Fail();
        copyLeft_ -= n;
      } else if (literalLeft_ > 0) {
        n = static_cast<std::size_t>(std::min<std::uint64_t>(literalLeft_, room));
        if (!Literal(at, n)) return Fail();
        literalLeft_ -= n;
      } else if (done_ + filled == size_) {
        if (!Finish()) return Fail();
        break;
      } else if (!Instruction(size_ - done_ - filled)) {
        return Fail();
      }
      filled += n;
    }
    done_ += filled;
    piece = std::string_view(buffer_.get(), filled);
    return true;
  }

 private:
  // The next instruction, which may give at most `left` bytes of the result.
  // An instruction that gives nothing only moves the source position, which
  // the one before could have done but for the first: a result of n bytes
  // takes at most 2n + 1 instructions. More would let a tiny control stream
  // keep the applier busy without end.
  bool Instruction(std::uint64_t left) {
    if (++instructions_ > 2 * size_ + 1) return false;
    position_ = next_;
    std::uint64_t code = 0, move = 0;
    if (!control_.Number(code) || !control_.Number(literalLeft_) || !control_.Number(move)) return false;
    copyLeft_ = code >> 1;
    withDiff_ = (code & 1) != 0;
    if (copyLeft_ > sourceSize_ - position_ || copyLeft_ > left || literalLeft_ > left - copyLeft_) return false;
    // Zigzag: even numbers move forward, odd ones back.
    const std::uint64_t from = position_ + copyLeft_, distance = (move >> 1) + (move & 1);
    if ((move & 1) ? distance > from : distance > sourceSize_ - from) return false;
    next_ = (move & 1) ? from - distance : from + distance;
    return true;
  }

  bool Copy(char* at, std::size_t n) {
    for (std::size_t read = 0; read < n;) {
      std::size_t got = 0;
      if (!file_->ReadAt(position_ + read, at + read, n - read, got) || got == 0) return false;
      read += got;
    }
    position_ += n;
    for (std::string_view d; withDiff_ && n > 0; n -= d.size()) {
      if (!diff_.Take(n, d)) return false;
      for (char c : d) *at++ += c;
    }
    return true;
  }

  bool Literal(char* at, std::size_t n) {
    for (std::string_view bytes; n > 0; n -= bytes.size(), at += bytes.size()) {
      if (!literals_.Take(n, bytes)) return false;
      std::memcpy(at, bytes.data(), bytes.size());
    }
    return true;
  }

  // No instruction and no byte may follow the result; the source is let go
  // (the last piece stays valid until the next call).
  bool Finish() {
    if (!control_.AtEnd() || !diff_.AtEnd() || !literals_.AtEnd()) return false;
    ended_ = true;
    file_.reset();
    return true;
  }

  bool Fail() {
    failed_ = true;
    file_.reset();
    buffer_.reset();
    return false;
  }

  std::unique_ptr<RandomAccessFile> file_;
  std::uint64_t sourceSize_;
  std::uint64_t size_;
  Stream control_, diff_, literals_;
  std::unique_ptr<char[]> buffer_;
  std::uint64_t done_ = 0;
  std::uint64_t position_ = 0, next_ = 0;
  std::uint64_t copyLeft_ = 0, literalLeft_ = 0;
  std::uint64_t instructions_ = 0;
  bool withDiff_ = false;
  bool ended_ = false;
  bool failed_ = false;
};

}  // namespace

std::unique_ptr<PayloadReader> MakeDeltaApplier(const DeltaSource& source, std::uint64_t resultSize,
                                                std::unique_ptr<RandomAccessFile> file) {
  auto applier = std::make_unique<DeltaApplier>(source, resultSize, std::move(file));
  if (!applier->usable()) return nullptr;
  return applier;
}

}  // namespace brisko
