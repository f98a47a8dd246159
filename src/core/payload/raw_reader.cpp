#include <algorithm>

#include "core/payload/payload_reader.h"

namespace brisko {
namespace {

class RawReader final : public PayloadReader {
 public:
  explicit RawReader(std::string_view bytes) : rest_(bytes), size_(bytes.size()) {}

  std::uint64_t size() const override { return size_; }

  bool Next(std::string_view& piece) override {
    piece = rest_.substr(0, std::min(rest_.size(), kPieceSize));
    rest_.remove_prefix(piece.size());
    return true;
  }

 private:
  std::string_view rest_;
  std::uint64_t size_;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : rest_(bytes) {}
  bool Next(std::string_view& bytes) override {
    bytes = rest_;
    rest_ = {};
    return true;
  }

 private:
  std::string_view rest_;
};

}  // namespace

std::unique_ptr<ByteSource> MakeMemorySource(std::string_view bytes) { return std::make_unique<MemorySource>(bytes); }

std::unique_ptr<PayloadReader> MakeRawReader(std::string_view bytes) { return std::make_unique<RawReader>(bytes); }

}  // namespace brisko
