#include "core/script/tiny_cnf.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/script/script_lines.h"
#include "test_locale.h"

namespace brisko {
namespace {

// The example script: tab-indented values, CR LF line ends.
const char kExample[] =
    "*PatchType\r\n\t1\r\n\r\n%LinkPath\r\n\tMaker\\Title\\Title.lnk\r\n\tMaker\\Title 2\\Title 2.lnk\r\n"
    "%%\r\n\r\n*Caption\r\n\tTitle patch 1.0\r\n\r\n*GameTitle\r\n\tTitle\r\n*Version\r\n1.0\r\n\r\n"
    "%CheckTargetFilename\r\n\ttarget.exe\r\n%%\r\n\r\n%OutFiles\r\n\ttarget_patch.dat\r\n%%\r\n";

TEST(TTinyCnf, ReadsTheExampleScript) {
  TTinyCnf cnf(SplitLines(kExample), test::ShiftJis());
  Text v;
  ASSERT_TRUE(cnf.GetValue("*PatchType", v));
  EXPECT_EQ(v, "1");
  ASSERT_TRUE(cnf.GetValue("*Caption", v));
  EXPECT_EQ(v, "Title patch 1.0");
  ASSERT_TRUE(cnf.GetValue("*Version", v));
  EXPECT_EQ(v, "1.0");
  StringList items;
  ASSERT_TRUE(cnf.GetList("%LinkPath", items));
  EXPECT_EQ(items, (StringList{"Maker\\Title\\Title.lnk", "Maker\\Title 2\\Title 2.lnk"}));
  ASSERT_TRUE(cnf.GetList("%OutFiles", items));
  EXPECT_EQ(items, StringList{"target_patch.dat"});
}

struct ValueCase {
  const char* name;
  StringList lines;
  std::string key;
  std::optional<std::string> value;  // nullopt: not found
};

class GetValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(GetValueTest, FindsOrLeavesValueUnchanged) {
  const ValueCase& c = GetParam();
  TTinyCnf cnf(c.lines, test::ShiftJis());
  Text value = "untouched";
  const bool found = cnf.GetValue(c.key, value);
  EXPECT_EQ(found, c.value.has_value());
  EXPECT_EQ(value, c.value.value_or("untouched"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GetValueTest,
    ::testing::Values(
        ValueCase{"OtherLetterCase", {"*CAPTION", "x"}, "*Caption", "x"},
        ValueCase{"LeadingTabOnKeyLine", {"\t*Caption", "x"}, "*Caption", std::nullopt},
        ValueCase{"TrailingBlankOnKeyLine", {"*Caption ", "x"}, "*Caption", std::nullopt},
        ValueCase{"KeyIsLastLine", {"a", "*Caption"}, "*Caption", ""},
        ValueCase{"FollowedByKeyLine", {"*Caption", "*GameTitle", "t"}, "*Caption", "*GameTitle"},
        ValueCase{"FollowedByBlankLine", {"*Caption", "", "x"}, "*Caption", ""},
        ValueCase{"FirstMatchWins", {"*Caption", "a", "*Caption", "b"}, "*Caption", "a"},
        ValueCase{"ItemLineAnswersAsKey", {"%List", "*Caption", "%%", "*Caption", "b"}, "*Caption", "%%"},
        ValueCase{"KeyTrimmed", {"*Caption", "x"}, " \t*Caption\t ", "x"},
        ValueCase{"PercentKeyRefused", {"%Caption", "x"}, "%Caption", std::nullopt},
        ValueCase{"EmptyKey", {"", "x"}, "", std::nullopt},
        ValueCase{"BlankKey", {"", "x"}, " \t", std::nullopt},
        ValueCase{"StarNeverFindsPercent", {"%Caption", "x"}, "*Caption", std::nullopt},
        ValueCase{"ValueTrimmed", {"*Caption", "\t  abc  "}, "*Caption", "abc"},
        ValueCase{"SpaceEscapesKeepBlanks", {"*Caption", "&SPACE;abc&SPACE;"}, "*Caption", " abc "},
        ValueCase{"FullWidthSpaceKept", {"*Caption", "\t\x81\x40x\x81\x40"}, "*Caption", "\x81\x40x\x81\x40"},
        ValueCase{"BomHidesFirstKey", {"\xEF\xBB\xBF*Caption", "x"}, "*Caption", std::nullopt}),
    [](const auto& row) { return std::string(row.param.name); });

struct ListCase {
  const char* name;
  StringList lines;
  std::string key;
  std::optional<StringList> items;
};

class GetListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(GetListTest, FindsOrLeavesListUnchanged) {
  const ListCase& c = GetParam();
  TTinyCnf cnf(c.lines, test::ShiftJis());
  StringList items = {"old"};
  const bool found = cnf.GetList(c.key, items);
  EXPECT_EQ(found, c.items.has_value());
  EXPECT_EQ(items, c.items.value_or(StringList{"old"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GetListTest,
    ::testing::Values(
        ListCase{"Empty", {"%OutFiles", "%%"}, "%OutFiles", StringList{}},
        ListCase{"IndentedTerminatorIsAnItem", {"%L", "\t%%", "a", "%%"}, "%L", StringList{"%%", "a"}},
        ListCase{"BlankLinesGiveEmptyItems", {"%L", "\ta", "", "\tb", "%%"}, "%L", StringList{"a", "", "b"}},
        ListCase{"NoTerminatorTakesTheRest",
                 {"%L", "\ta", "*Caption", "\tx"},
                 "%L",
                 StringList{"a", "*Caption", "x"}},
        ListCase{"TerminatorLetterCaseIrrelevant", {"%L", "a", "%%", "b"}, "%l", StringList{"a"}},
        ListCase{"SecondSectionNeverRead", {"%L", "a", "%%", "%L", "b", "%%"}, "%L", StringList{"a"}},
        ListCase{"StarKeyRefused", {"*L", "a", "%%"}, "*L", std::nullopt},
        ListCase{"Missing", {"%M", "a", "%%"}, "%L", std::nullopt},
        ListCase{"ItemsUnescaped", {"%L", "&PERCENT;&ASTERISK;", "%%"}, "%L", StringList{"%*"}}),
    [](const auto& row) { return std::string(row.param.name); });

struct EscapeCase {
  std::string in, out;
};

class UnescapeTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(UnescapeTest, ReplacesInOrder) { EXPECT_EQ(TTinyCnf::Unescape(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(Cases, UnescapeTest,
                         ::testing::Values(
                             // The "&" from step 1 starts a sequence for step 2.
                             EscapeCase{"&AMPERSAND;TAB;", "\t"},
                             // Step 1 does not rescan what it put in.
                             EscapeCase{"&AMPERSAND;AMPERSAND;", "&AMPERSAND;"},
                             EscapeCase{"&tab;&Space;", "&tab;&Space;"},
                             EscapeCase{"a&TAB;b&SPACE;c&ASTERISK;d&PERCENT;e", "a\tb c*d%e"},
                             EscapeCase{"&TAB&TAB;;", "&TAB\t;"},
                             EscapeCase{"", ""}));

TEST(TTinyCnf, AnswersFromItsOwnCopyAfterCallerClearsSource) {
  StringList source = {"*Caption", "x", "%L", "a", "%%"};
  TTinyCnf cnf(source, test::ShiftJis());
  source.clear();
  // The same list serves as the output of a look-up, as start-up does.
  ASSERT_TRUE(cnf.GetList("%L", source));
  EXPECT_EQ(source, StringList{"a"});
  Text v;
  ASSERT_TRUE(cnf.GetValue("*Caption", v));
  EXPECT_EQ(v, "x");
}

}  // namespace
}  // namespace brisko
