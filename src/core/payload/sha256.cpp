#include "core/payload/sha256.h"

#include <algorithm>
#include <cstring>

namespace brisko {

namespace {

constexpr std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

}  // namespace

struct Sha256::State {
  void Compress(const std::uint8_t* block);

  std::array<std::uint32_t, 8> hash = kSha256Initial;
  std::array<std::uint8_t, 64> buffer{};
  std::size_t buffered = 0;
  std::uint64_t totalBytes = 0;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
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
    s.Compress(s.buffer.data());
    s.buffered = 0;
  }
  for (; size >= 64; p += 64, size -= 64) s.Compress(p);
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
        h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kSha256Round[i] + w[i];
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
