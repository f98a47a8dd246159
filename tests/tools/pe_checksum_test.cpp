#include "pe/pe_checksum.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>

#include "pack_test_util.h"

namespace brisko::pack {
namespace {

TEST(PeChecksum, MatchesWordByWordFoldingForAnySplit) {
  std::mt19937 random(5);
  std::string random_bytes(600001, '\0');
  for (char& c : random_bytes) c = static_cast<char>(random());
  // All ones: every word at its largest, the most carries to fold; longer
  // than the blocks that the eight-byte summing takes at a time.
  for (std::string file : {random_bytes, std::string(600001, '\xFF')}) {
    le::Put32(file, 0x100, 0);
    const std::uint32_t expected = test::ReferenceChecksum(file, 0x100);
    for (std::size_t piece : {1u, 2u, 3u, 7u, 8u, 9u, 4095u, 65536u, 600001u}) {
      PeChecksum sum;
      for (std::size_t at = 0; at < file.size(); at += piece) {
        const std::size_t n = std::min(piece, file.size() - at);
        sum.Add(file.data() + at, n);
      }
      EXPECT_EQ(sum.Finish(), expected) << "piece " << piece << (file[0] == '\xFF' ? ", all ones" : "");
    }
    // Summed in two parts joined at a word boundary, as the packer's copying
    // threads do; a join inside a word is refused.
    for (std::size_t split : {0u, 2u, 4096u, 600000u}) {
      PeChecksum first, rest;
      first.Add(file.data(), split);
      rest.Add(file.data() + split, file.size() - split);
      first.Add(rest);
      EXPECT_EQ(first.Finish(), expected) << "joined at " << split;
    }
    PeChecksum odd;
    odd.Add(file.data(), 3);
    EXPECT_THROW(odd.Add(PeChecksum()), std::logic_error);
  }
}

}  // namespace
}  // namespace brisko::pack
