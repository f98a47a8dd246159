#include "package/payload_codec.h"

#include <gtest/gtest.h>

#include <string>

#include "pack_test_util.h"

namespace brisko::pack {
namespace {

using test::RandomBytes;

std::string Text(std::size_t size) {
  std::string text;
  for (int line = 0; text.size() < size; ++line)
    text += "line " + std::to_string(line) + " of a text that compresses\n";
  return text.substr(0, size);
}

// Words of five bytes out of 512, each followed by a random byte: repeats
// of five bytes only, which the quick level never takes and the slow one
// does (to under half the size).
std::string ShortRepeats(std::size_t size) {
  const std::string vocabulary = RandomBytes(512 * 5, 5), noise = RandomBytes(size, 6);
  std::string bytes;
  for (std::size_t i = 0; bytes.size() < size; i += 3) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(noise[at % size]); };
    bytes += vocabulary.substr((byte(i) * 2u + (byte(i + 1) & 1u)) * 5, 5) + noise[(i + 2) % size];
  }
  return bytes.substr(0, size);
}

constexpr std::size_t kMiB = std::size_t{1} << 20;

struct TrialCase {
  const char* name;
  std::string bytes;
  int level;
  bool worth;
};

class Trial : public ::testing::TestWithParam<TrialCase> {};

TEST_P(Trial, TellsWhatIsWorthCompressing) {
  CompressOptions options;
  options.level = GetParam().level;
  const std::string& bytes = GetParam().bytes;
  EXPECT_EQ(WorthCompressing(MemoryRanges(bytes), bytes.size(), options, "test"), GetParam().worth);
}

// The samples lie every (4 MiB - 32 KiB) / 15 bytes: text placed between
// two of them is found by the quick pass over the whole.
std::string TextBetweenSamples() {
  std::string bytes = RandomBytes(4 * kMiB, 1);
  return bytes.replace(100000, 64 << 10, Text(64 << 10));
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, Trial,
    ::testing::Values(TrialCase{"RandomBytes", RandomBytes(4 * kMiB, 1), kDefaultCompressionLevel, false},
                      TrialCase{"Text", Text(4 * kMiB), kDefaultCompressionLevel, true},
                      TrialCase{"RepeatsFarApart", RandomBytes(2 * kMiB, 2) + RandomBytes(2 * kMiB, 2), kDefaultCompressionLevel,
                                true},
                      TrialCase{"ShortRepeatsOnlyTheLevelTakes", ShortRepeats(4 * kMiB), kDefaultCompressionLevel, true},
                      TrialCase{"TextBetweenSamples", TextBetweenSamples(), kDefaultCompressionLevel, true},
                      TrialCase{"SmallerThanATrialIsWorth", RandomBytes(kTrialFrom - 1, 3), kDefaultCompressionLevel, true},
                      TrialCase{"QuickLevelIsWorth", RandomBytes(4 * kMiB, 4), kTrialLevel, true}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace brisko::pack
