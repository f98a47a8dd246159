#include "core/text/locale.h"

#include <gtest/gtest.h>

#include <string>

#include "test_locale.h"

namespace brisko {
namespace {

struct ClassCase {
  const char* name;
  std::string text;
  std::size_t pos;
  ByteClass sjis;
  ByteClass single;
};

class ByteClassTest : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ByteClassTest, ClassifiesAsTheRunBeforeDecides) {
  const ClassCase& c = GetParam();
  EXPECT_EQ(ClassifyByte(test::ShiftJis(), c.text, c.pos), c.sjis);
  EXPECT_EQ(ClassifyByte(test::SingleByte(), c.text, c.pos), c.single);

  // The forward walker agrees with the positional rule.
  ByteWalker walker(test::ShiftJis());
  ByteClass last = ByteClass::Single;
  for (std::size_t i = 0; i <= c.pos; ++i) last = walker.Next(static_cast<unsigned char>(c.text[i]));
  EXPECT_EQ(last, c.sjis);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ByteClassTest,
    ::testing::Values(
        // 表 = 95 5C: the 5C is the second byte of a character.
        ClassCase{"HyouTrail5C", "\x95\x5C", 1, ByteClass::Trail, ByteClass::Single},
        ClassCase{"HyouLead", "\x95\x5C", 0, ByteClass::Lead, ByteClass::Single},
        // ソ = 83 5C after an ASCII prefix.
        ClassCase{"SoAfterAscii", "ab\x83\x5C", 3, ByteClass::Trail, ByteClass::Single},
        // Two lead-range bytes form one character; the 5C after them stands alone.
        ClassCase{"EvenRunThen5C", "\x81\x81\x5C", 2, ByteClass::Single, ByteClass::Single},
        ClassCase{"OddRunThen5C", "\x81\x81\x81\x5C", 3, ByteClass::Trail, ByteClass::Single},
        // A lead-range byte that is itself a trail byte.
        ClassCase{"LeadRangeTrail", "\x88\x9F", 1, ByteClass::Trail, ByteClass::Single},
        ClassCase{"PlainBackslash", "a\\", 1, ByteClass::Single, ByteClass::Single},
        ClassCase{"KatakanaHalfWidth", "\xB1\x5C", 1, ByteClass::Single, ByteClass::Single},
        ClassCase{"NulAfterLead", std::string("\x95\0", 2), 1, ByteClass::Single, ByteClass::Single}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ShiftJisLocale, LeadRangesAreThoseOfCodePage932) {
  const Locale& sjis = test::ShiftJis();
  for (unsigned b = 0; b < 256; ++b) {
    const bool expected = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    EXPECT_EQ(sjis.IsLeadByte(static_cast<unsigned char>(b)), expected) << "byte " << b;
    EXPECT_FALSE(test::SingleByte().IsLeadByte(static_cast<unsigned char>(b)));
  }
}

struct EqualCase {
  std::string a, b;
  bool equal;
};

class EqualsIgnoreCaseTest : public ::testing::TestWithParam<EqualCase> {};

TEST_P(EqualsIgnoreCaseTest, ComparesWholeTexts) {
  const EqualCase& c = GetParam();
  EXPECT_EQ(test::ShiftJis().EqualsIgnoreCase(c.a, c.b), c.equal) << c.a << " vs " << c.b;
  EXPECT_EQ(test::ShiftJis().EqualsIgnoreCase(c.b, c.a), c.equal);
}

INSTANTIATE_TEST_SUITE_P(Cases, EqualsIgnoreCaseTest,
                         ::testing::Values(EqualCase{"*Caption", "*caption", true},
                                           EqualCase{"%OUTFILES", "%OutFiles", true},
                                           EqualCase{"HKEY_CURRENT_USER", "hkey_current_user", true},
                                           EqualCase{"*Caption", "*Caption ", false},
                                           EqualCase{"*Caption", "\t*Caption", false},
                                           EqualCase{"%%", "%%%", false},
                                           EqualCase{"", "", true},
                                           EqualCase{"", "%%", false},
                                           EqualCase{"\x95\x5C", "\x95\x5C", true},
                                           EqualCase{"HKCU", "HKEY_CURRENT_USER", false}));

}  // namespace
}  // namespace brisko
