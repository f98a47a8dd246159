#include "core/script/script_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace brisko {
namespace {

struct LinesCase {
  const char* name;
  std::string bytes;
  StringList lines;
};

class SplitLinesTest : public ::testing::TestWithParam<LinesCase> {};

TEST_P(SplitLinesTest, CutsAtEveryLineEnd) { EXPECT_EQ(SplitLines(GetParam().bytes), GetParam().lines); }

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitLinesTest,
    ::testing::Values(
        LinesCase{"Empty", "", {}},
        LinesCase{"OnlyCrLf", "\r\n", {""}},
        LinesCase{"FinalCrLfAddsNoLine", "a\r\nb\r\n", {"a", "b"}},
        LinesCase{"NoFinalLineEnd", "a\r\nb", {"a", "b"}},
        LinesCase{"LoneCrAndLoneLf", "a\rb\nc", {"a", "b", "c"}},
        LinesCase{"LfCrIsTwoEnds", "a\n\rb", {"a", "", "b"}},
        LinesCase{"BlankLinesKept", "a\r\n\r\n\r\nb", {"a", "", "", "b"}},
        LinesCase{"NulEndsText", std::string("a\r\nb\0c\r\nd", 9), {"a", "b"}},
        LinesCase{"NulAtStart", std::string("\0a", 2), {}},
        LinesCase{"BomStaysInFirstLine", "\xEF\xBB\xBF*Caption\r\nx", {"\xEF\xBB\xBF*Caption", "x"}},
        LinesCase{"TabsAndBlanksKept", "\t a \t\r\n", {"\t a \t"}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(TrimControl, RemovesControlBytesButNotDoubleByteSpace) {
  EXPECT_EQ(TrimControl(std::string("\t\x01 a b\x1F \0", 9)), "a b");
  // A full-width space (81 40) at either end stays.
  EXPECT_EQ(TrimControl("\x81\x40x\x81\x40 "), "\x81\x40x\x81\x40");
  EXPECT_EQ(TrimControl(" \t "), "");
}

}  // namespace
}  // namespace brisko
