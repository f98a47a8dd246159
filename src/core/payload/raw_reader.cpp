#include <algorithm>

#include "core/payload/payload_reader.h"

namespace brisko {
namespace {

class MemorySource final : public ByteSource {
 public:
  MemorySource(std::string_view bytes, std::size_t piece) : rest_(bytes), piece_(piece) {}
  bool Next(std::string_view& bytes) override {
    bytes = rest_.substr(0, std::min(rest_.size(), piece_));
    rest_.remove_prefix(bytes.size());
    return true;
  }

 private:
  std::string_view rest_;
  std::size_t piece_;
};

// Raw bytes are their own content: handed out where they lie, a piece at a
// time.
class RawReader final : public PayloadReader {
 public:
  explicit RawReader(std::string_view bytes) : pieces_(bytes, kPieceSize), size_(bytes.size()) {}
  std::uint64_t size() const override { return size_; }
  bool Next(std::string_view& piece) override { return pieces_.Next(piece); }

 private:
  MemorySource pieces_;
  std::uint64_t size_;
};

}  // namespace

std::unique_ptr<ByteSource> MakeMemorySource(std::string_view bytes, std::size_t piece) {
  return std::make_unique<MemorySource>(bytes, piece);
}

std::unique_ptr<PayloadReader> MakeRawReader(std::string_view bytes) { return std::make_unique<RawReader>(bytes); }

}  // namespace brisko
