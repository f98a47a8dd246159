#include "core/payload/sha256.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace brisko {
namespace {

struct Vector {
  const char* name;
  std::string message;
  const char* digest;
};

class Sha256Vectors : public ::testing::TestWithParam<Vector> {};

// FIPS 180-4 examples and NIST CAVP short messages.
INSTANTIATE_TEST_SUITE_P(
    Nist, Sha256Vectors,
    ::testing::Values(
        Vector{"Empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        Vector{"Abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        Vector{"TwoBlocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
               "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        Vector{"LongTwoBlocks",
               "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
               "mnopqrstnopqrstu",
               "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        Vector{"FiftyFiveBytes", std::string(55, 'a'),
               "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        Vector{"FiftySixBytes", std::string(56, 'a'),
               "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        Vector{"MillionA", std::string(1000000, 'a'),
               "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}),
    [](const auto& row) { return std::string(row.param.name); });

// Both engines: the processor's SHA instructions (where this machine has
// them; otherwise both runs are the portable code) and the portable code.
constexpr Sha256::Engine kEngines[] = {Sha256::Engine::Best, Sha256::Engine::Portable};

TEST_P(Sha256Vectors, WholeMessage) {
  for (const Sha256::Engine engine : kEngines) {
    Sha256 sha(engine);
    sha.Update(GetParam().message);
    EXPECT_EQ(Sha256::Hex(sha.Finish()), GetParam().digest) << (engine == Sha256::Engine::Best ? "best" : "portable");
  }
}

// Payloads arrive in buffer-sized pieces that never line up with the
// 64-byte blocks.
TEST_P(Sha256Vectors, PiecesOfEverySize) {
  const std::string& m = GetParam().message;
  for (const Sha256::Engine engine : kEngines) {
    for (std::size_t piece : {1u, 3u, 63u, 64u, 65u, 1000u}) {
      Sha256 sha(engine);
      for (std::size_t at = 0; at < m.size(); at += piece) sha.Update(m.substr(at, piece));
      EXPECT_EQ(Sha256::Hex(sha.Finish()), GetParam().digest) << "piece " << piece;
    }
  }
}

TEST(Sha256, SaysWhichEngineItHas) {
  std::printf("[ sha256   ] this processor %s the SHA instructions\n", Sha256::HasInstructions() ? "has" : "lacks");
  SUCCEED();
}

}  // namespace
}  // namespace brisko
