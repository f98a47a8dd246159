#include "package/identify.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define BRISKO_SHA_INSTRUCTIONS 1
#endif

#include "core/payload/sha256.h"

namespace brisko::pack {
namespace {

#ifdef BRISKO_SHA_INSTRUCTIONS

bool Detect() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return ssse3 && sse41 && (b & (1u << 29));
}

// The blocks of `data` into `state` (a, b, ..., h), four rounds at a time,
// the message schedule four words at a time.
__attribute__((target("sha,sse4.1,ssse3"))) void Blocks(std::uint32_t state[8], const unsigned char* data,
                                                        std::size_t blocks) {
  const __m128i order = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);  // big-endian words
  __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
  __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
  for (; blocks > 0; --blocks, data += 64) {
    const __m128i savedAbef = abef, savedCdgh = cdgh;
    __m128i w[16];
    for (int i = 0; i < 16; ++i) {
      if (i < 4) {
        w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), order);
      } else {
        const __m128i partial =
            _mm_add_epi32(_mm_sha256msg1_epu32(w[i - 4], w[i - 3]), _mm_alignr_epi8(w[i - 1], w[i - 2], 4));
        w[i] = _mm_sha256msg2_epu32(partial, w[i - 1]);
      }
      __m128i message = _mm_add_epi32(w[i], _mm_load_si128(reinterpret_cast<const __m128i*>(kSha256Round + 4 * i)));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
      message = _mm_shuffle_epi32(message, 0x0E);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, message);
    }
    abef = _mm_add_epi32(abef, savedAbef);
    cdgh = _mm_add_epi32(cdgh, savedCdgh);
  }
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B), dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

FileIdentity Fast(std::string_view bytes) {
  std::array<std::uint32_t, 8> state = kSha256Initial;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t whole = bytes.size() / 64;
  Blocks(state.data(), data, whole);
  // The rest, the 0x80 byte, zeros and the length in bits: one or two blocks.
  unsigned char tail[128] = {};
  const std::size_t rest = bytes.size() % 64;
  if (rest) std::memcpy(tail, data + whole * 64, rest);
  tail[rest] = 0x80;
  const std::size_t end = rest < 56 ? 64 : 128;
  const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
  for (int i = 0; i < 8; ++i) tail[end - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
  Blocks(state.data(), tail, end / 64);
  FileIdentity identity{bytes.size(), {}};
  for (int i = 0; i < 32; ++i) identity.sha[i] = static_cast<std::uint8_t>(state[i / 4] >> (24 - 8 * (i % 4)));
  return identity;
}

#else

bool Detect() { return false; }
FileIdentity Fast(std::string_view bytes) { return IdentifyBytesPortably(bytes); }

#endif

}  // namespace

bool HasShaInstructions() {
  static const bool has = Detect();
  return has;
}

FileIdentity IdentifyBytesPortably(std::string_view bytes) {
  Sha256 sha;
  sha.Update(bytes);
  return {bytes.size(), sha.Finish()};
}

FileIdentity IdentifyBytes(std::string_view bytes) {
  return HasShaInstructions() ? Fast(bytes) : IdentifyBytesPortably(bytes);
}

}  // namespace brisko::pack
