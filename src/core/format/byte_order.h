// Little-endian fields and unsigned LEB128 numbers: the byte order of every
// format the installer reads and the packer writes (PE images, bitmaps,
// delta payloads). The one home of these helpers for the core, the packer
// and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brisko::le {

// The `bytes`-byte little-endian number at `at` (1 to 8 bytes).
inline std::uint64_t Get(const char* at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(at[i]);
  return value;
}

inline std::uint16_t Get16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(Get(b.data() + at, 2));
}
inline std::uint32_t Get32(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(Get(b.data() + at, 4));
}
inline std::uint64_t Get64(std::string_view b, std::size_t at) { return Get(b.data() + at, 8); }

// Writes `value` as `bytes` little-endian bytes at `at`.
inline void Put(char* at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<char>(value >> (8 * i));
}

inline void Put16(std::string& b, std::size_t at, std::uint16_t v) { Put(&b[at], v, 2); }
inline void Put32(std::string& b, std::size_t at, std::uint32_t v) { Put(&b[at], v, 4); }
inline void Put64(std::string& b, std::size_t at, std::uint64_t v) { Put(&b[at], v, 8); }

// Appends `value` as `bytes` little-endian bytes.
inline void Append(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

inline void Append16(std::string& out, std::uint16_t v) { Append(out, v, 2); }
inline void Append32(std::string& out, std::uint32_t v) { Append(out, v, 4); }
inline void Append64(std::string& out, std::uint64_t v) { Append(out, v, 8); }

// Appends `value` as an unsigned LEB128 number: seven bits a byte, lowest
// first, the high bit set on every byte but the last.
inline void AppendLeb128(std::string& out, std::uint64_t value) {
  for (; value >= 0x80; value >>= 7) out += static_cast<char>(0x80 | (value & 0x7F));
  out += static_cast<char>(value);
}

// Reads an unsigned LEB128 number of at most 64 bits, taking its bytes one
// at a time from `next` (a callable `bool(unsigned char&)` that says false
// when there are no more). False when the bytes end early or the number
// does not fit 64 bits.
template <typename NextByte>
bool ReadLeb128(NextByte&& next, std::uint64_t& value) {
  value = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    unsigned char byte = 0;
    if (!next(byte)) return false;
    value |= std::uint64_t{byte & 0x7Fu} << shift;
    if (byte < 0x80) return shift < 63 || byte <= 1;
  }
  return false;
}

}  // namespace brisko::le
