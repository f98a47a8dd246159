// The checksum of a PE image: its 16-bit words summed with the carries
// folded back in, plus the file's length. The packer sums the bytes as it
// writes them, in order or in parts that are joined afterwards, and never
// reads the output back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brisko::pack {

// The image checksum over a file that is fed in order, with its checksum
// field counted as zero.
class PeChecksum {
 public:
  void Add(const void* data, std::size_t size);
  // Adds the bytes that `later` summed, which followed those added here. They
  // must start a word: the bytes added here so far are of even length.
  void Add(const PeChecksum& later);
  std::uint32_t Finish() const;

 private:
  std::uint64_t sum_ = 0;
  std::uint64_t length_ = 0;
  int pending_ = -1;  // an odd byte waiting for its partner
};

}  // namespace brisko::pack
