#include <string>
#include <vector>

#include "core/payload/sha256.h"
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

}  // namespace

std::string DeltaInstruction(std::uint64_t copy, bool diff, std::uint64_t literal, std::int64_t move) {
  std::string out;
  for (std::uint64_t n :
       {copy * 2 + diff, literal, (static_cast<std::uint64_t>(move) << 1) ^ static_cast<std::uint64_t>(move >> 63)}) {
    for (; n >= 0x80; n >>= 7) out += static_cast<char>(0x80 | (n & 0x7F));
    out += static_cast<char>(n);
  }
  return out;
}

std::string DeltaPayloadBytes(std::string_view result, const std::vector<DeltaStreams>& deltas,
                              std::string_view whole) {
  std::string head = "BPD1" + Le(deltas.size(), 4) + Identity(result), body;
  for (const DeltaStreams& d : deltas) {
    head += Identity(d.source);
    for (const std::string* stream : {&d.control, &d.diff, &d.literal}) {
      const std::string frame = ZstdFrame(*stream);
      head += Le(frame.size(), 8);
      body += frame;
    }
  }
  return head + (deltas.empty() ? ZstdFrame(whole) : body);
}

}  // namespace brisko::test
