#include "core/payload/sha256.h"

#include <algorithm>
#include <cstring>

#include "core/payload/sha256_blocks.h"

namespace brisko {

namespace sha256_blocks {

alignas(16) const std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};
const std::uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

}  // namespace sha256_blocks

namespace {

constexpr std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

}  // namespace

struct Sha256::State {
  // Adds whole 64-byte blocks.
  void Blocks(const std::uint8_t* data, std::size_t blocks) {
    if (instructions) {
      sha256_blocks::CompressWithInstructions(hash.data(), data, blocks);
      return;
    }
    for (; blocks > 0; --blocks, data += 64) Compress(data);
  }
  void Compress(const std::uint8_t* block);

  bool instructions = false;
  std::array<std::uint32_t, 8> hash{};
  std::array<std::uint8_t, 64> buffer{};
  std::size_t buffered = 0;
  std::uint64_t totalBytes = 0;
};

Sha256::Sha256(Engine engine) : state_(std::make_unique<State>()) {
  state_->instructions = engine == Engine::Best && HasInstructions();
  std::copy(std::begin(sha256_blocks::kInitial), std::end(sha256_blocks::kInitial), state_->hash.begin());
}

bool Sha256::HasInstructions() {
  static const bool has = sha256_blocks::ProcessorHasInstructions();
  return has;
}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(const void* data, std::size_t size) {
  State& s = *state_;
  auto p = static_cast<const std::uint8_t*>(data);
  s.totalBytes += size;
  if (s.buffered > 0) {
    const std::size_t take = std::min(size, s.buffer.size() - s.buffered);
    std::memcpy(s.buffer.data() + s.buffered, p, take);
    s.buffered += take;
    p += take;
    size -= take;
    if (s.buffered < s.buffer.size()) return;
    s.Blocks(s.buffer.data(), 1);
    s.buffered = 0;
  }
  s.Blocks(p, size / 64);
  p += size / 64 * 64;
  size %= 64;
  std::memcpy(s.buffer.data(), p, size);
  s.buffered = size;
}

Sha256::Digest Sha256::Finish() {
  const std::uint64_t bits = state_->totalBytes * 8;
  const std::uint8_t one = 0x80;
  Update(&one, 1);
  const std::uint8_t zero = 0;
  while (state_->buffered != 56) Update(&zero, 1);
  std::uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  Update(length, 8);

  Digest digest;
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<std::uint8_t>(state_->hash[i] >> (24 - 8 * j));
  return digest;
}

void Sha256::State::Compress(const std::uint8_t* block) {
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i)
    w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
           std::uint32_t{block[4 * i + 2]} << 8 | block[4 * i + 3];
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t a = hash[0], b = hash[1], c = hash[2], d = hash[3];
  std::uint32_t e = hash[4], f = hash[5], g = hash[6], h = hash[7];
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t t1 =
        h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + sha256_blocks::kRound[i] + w[i];
    const std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  hash[0] += a;
  hash[1] += b;
  hash[2] += c;
  hash[3] += d;
  hash[4] += e;
  hash[5] += f;
  hash[6] += g;
  hash[7] += h;
}

}  // namespace brisko
