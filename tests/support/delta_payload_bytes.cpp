#include <string>
#include <vector>

#include "core/sha256.h"
#include "test_support.h"

namespace brisko::test {
namespace {

std::string Le(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
  return out;
}

// A file's record: its size and SHA-256.
std::string Identity(std::string_view bytes) {
  Sha256 sha;
  sha.Update(bytes);
  const Sha256::Digest digest = sha.Finish();
  return Le(bytes.size(), 8) + std::string(digest.begin(), digest.end());
}

std::string Leb128(std::uint64_t n) {
  std::string out;
  for (; n >= 0x80; n >>= 7) out += static_cast<char>(0x80 | (n & 0x7F));
  return out + static_cast<char>(n);
}

}  // namespace

std::string DeltaPayloadBytes(std::string_view result, const std::vector<std::string>& sources) {
  std::string head = "BPD1" + Le(sources.size(), 4) + Identity(result), body;
  for (const std::string& source : sources) {
    // One instruction: copy nothing, take the whole result from the literal
    // stream, stay where the source position is.
    const std::string streams[] = {Leb128(0) + Leb128(result.size()) + Leb128(0), "", std::string(result)};
    head += Identity(source);
    for (const std::string& stream : streams) {
      const std::string frame = ZstdFrame(stream);
      head += Le(frame.size(), 8);
      body += frame;
    }
  }
  return head + (sources.empty() ? ZstdFrame(result) : body);
}

}  // namespace brisko::test
