#include "package/identify.h"

#include <gtest/gtest.h>

#include <string>

namespace brisko::pack {
namespace {

// The processor's SHA instructions give the portable code's digests, at
// every length around the block and padding boundaries.
TEST(IdentifyBytes, MatchesThePortableDigest) {
  if (!HasShaInstructions()) GTEST_SKIP() << "this processor has no SHA instructions";
  std::string bytes;
  for (std::uint32_t x = 7; bytes.size() < 70000;) bytes += static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  for (std::size_t size : {0, 1, 3, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 1000, 65536, 70000}) {
    const std::string_view part(bytes.data(), size);
    EXPECT_EQ(IdentifyBytes(part), IdentifyBytesPortably(part)) << size << " bytes";
  }
  EXPECT_EQ(Sha256::Hex(IdentifyBytes("abc").sha), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
}  // namespace brisko::pack
