#include "pe/pe_checksum.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace brisko::pack {

namespace {

bool LittleEndianHost() {
  const std::uint16_t one = 1;
  unsigned char first;
  std::memcpy(&first, &one, 1);
  return first == 1;
}

}  // namespace

void PeChecksum::Add(const void* data, std::size_t size) {
  auto p = static_cast<const unsigned char*>(data);
  length_ += size;
  if (size == 0) return;
  if (pending_ >= 0) {
    sum_ += static_cast<unsigned>(pending_) | static_cast<unsigned>(*p) << 8;
    pending_ = -1;
    ++p;
    --size;
  }
  std::uint64_t sum = 0;
  if (LittleEndianHost()) {
    // Eight bytes at a time: their four words summed in two 32-bit lanes,
    // each of which takes at most 2^15 steps before it could overflow.
    constexpr std::uint64_t kEvenWords = 0x0000FFFF0000FFFFull;
    while (size >= 8) {
      const std::size_t steps = std::min<std::size_t>(size / 8, std::size_t{1} << 15);
      std::uint64_t lanes = 0;
      for (std::size_t i = 0; i < steps; ++i, p += 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        lanes += (w & kEvenWords) + (w >> 16 & kEvenWords);
      }
      sum += (lanes & 0xFFFFFFFFu) + (lanes >> 32);
      size -= steps * 8;
    }
  }
  for (; size >= 2; p += 2, size -= 2) sum += static_cast<unsigned>(p[0]) | static_cast<unsigned>(p[1]) << 8;
  sum_ += sum;
  if (size == 1) pending_ = *p;
}

void PeChecksum::Add(const PeChecksum& later) {
  if (pending_ >= 0) throw std::logic_error("checksum parts must be joined at a word boundary");
  sum_ += later.sum_;
  length_ += later.length_;
  pending_ = later.pending_;
}

std::uint32_t PeChecksum::Finish() const {
  // The words are summed with their carries folded back in; folding once at
  // the end gives the same 16-bit value as folding after every word.
  std::uint64_t sum = sum_ + (pending_ >= 0 ? static_cast<unsigned>(pending_) : 0u);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + length_);
}

}  // namespace brisko::pack
