#include "core/script/split_string.h"

#include <gtest/gtest.h>

#include <string>

#include "test_locale.h"

namespace brisko {
namespace {

struct SplitCase {
  const char* name;
  std::string text;
  StringList sjis;    // fields under code page 932
  StringList single;  // fields under a single-byte code page
};

class SplitStringTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitStringTest, SplitsAtBackslash) {
  const SplitCase& c = GetParam();
  StringList fields = {"stale"};
  SplitString(c.text, "\\", fields, test::ShiftJis());
  EXPECT_EQ(fields, c.sjis);
  fields = {"stale"};
  SplitString(c.text, "\\", fields, test::SingleByte());
  EXPECT_EQ(fields, c.single);
}

const StringList kExplorer = {"HKEY_CURRENT_USER", "Software",       "Microsoft",     "Windows",
                              "CurrentVersion",    "Explorer",       "Shell Folders", "AppData"};

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitStringTest,
    ::testing::Values(
        SplitCase{"RegistryPath",
                  "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
                  "Folders\\AppData",
                  kExplorer, kExplorer},
        SplitCase{"OuterAndDoubledSeparators", "\\\\a\\\\b\\", {"a", "b"}, {"a", "b"}},
        SplitCase{"Empty", "", {}, {}},
        SplitCase{"OnlySeparators", "\\\\\\", {}, {}},
        SplitCase{"NoSeparator", "abc", {"abc"}, {"abc"}},
        SplitCase{"QuotedMidField", "a\"b\\c\"d", {"ab\\c", "d"}, {"ab\\c", "d"}},
        SplitCase{"QuotedKeepsSeparator", "\"\\b\"", {"\\b"}, {"\\b"}},
        SplitCase{"DoubledQuoteIsNoLiteral", "\"a\"\"b\"", {"a", "b"}, {"a", "b"}},
        SplitCase{"UnclosedQuoteTakesRest", "a\\\"b\\c", {"a", "b\\c"}, {"a", "b\\c"}},
        SplitCase{"BlankFieldStays", "a\\ \\b", {"a", " ", "b"}, {"a", " ", "b"}},
        // 表 (95 5C) is one character under 932 and two bytes cut apart otherwise.
        SplitCase{"HyouNotCut", "Soft\\\x95\x5Cx\\v", {"Soft", "\x95\x5Cx", "v"}, {"Soft", "\x95", "x", "v"}},
        SplitCase{"SoNotCut", "\x83\x5C\\v", {"\x83\x5C", "v"}, {"\x83", "v"}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(SplitString, EveryByteOfSeparatorsSeparates) {
  StringList fields;
  SplitString("a,b;c", ",;", fields, test::ShiftJis());
  EXPECT_EQ(fields, (StringList{"a", "b", "c"}));
}

TEST(SplitString, DoubleByteSeparatorNeverMatches) {
  StringList fields;
  // Separators 95 5C: the 5C of 表 in the text is a trail byte, the 95 a lead.
  SplitString("a\x95\x5C" "b", "\x95\x5C", fields, test::ShiftJis());
  EXPECT_EQ(fields, (StringList{"a\x95\x5C" "b"}));
}

}  // namespace
}  // namespace brisko
