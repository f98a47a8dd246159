// Little-endian fields in byte buffers.
#pragma once

#include <cstdint>
#include <string>

namespace brisko::pack {

inline std::uint16_t Get16(const std::string& b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

inline std::uint32_t Get32(const std::string& b, std::size_t at) {
  return Get16(b, at) | static_cast<std::uint32_t>(Get16(b, at + 2)) << 16;
}

inline void Put16(std::string& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}

inline void Put32(std::string& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, static_cast<std::uint16_t>(v & 0xFFFF));
  Put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

inline void Append16(std::string& b, std::uint16_t v) {
  b += static_cast<char>(v & 0xFF);
  b += static_cast<char>(v >> 8);
}

inline void Append32(std::string& b, std::uint32_t v) {
  Append16(b, static_cast<std::uint16_t>(v & 0xFFFF));
  Append16(b, static_cast<std::uint16_t>(v >> 16));
}

inline std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

}  // namespace brisko::pack
