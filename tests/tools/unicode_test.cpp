#include "platform/unicode.h"

#include <gtest/gtest.h>

#include "platform/console.h"
#include "platform/native_names.h"

namespace brisko::pack {
namespace {

TEST(Utf8, DecodesValidSequencesAndReplacesEachBadByte) {
  const struct {
    std::string utf8;
    std::u32string code;
  } cases[] = {
      {"a\xE8\xA1\xA8", U"a\u8868"},
      {"\xF0\x9F\x98\x80", U"\U0001F600"},
      {"\xE8\xA1", U"\uFFFD\uFFFD"},                        // cut short
      {"\xC0\xAF", U"\uFFFD\uFFFD"},                        // overlong
      {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},              // a surrogate
      {"\xF4\x90\x80\x80x", U"\uFFFD\uFFFD\uFFFD\uFFFDx"},  // beyond U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeUtf8(c.utf8), c.code) << c.utf8;
}

TEST(Utf16, RoundTripsPairsAndReplacesLoneSurrogates) {
  EXPECT_EQ(Utf8ToUtf16("a\xE8\xA1\xA8\xF0\x9F\x98\x80"), u"a\u8868\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u"a\u8868\U0001F600"), "a\xE8\xA1\xA8\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xD800}) + u"x"), "\xEF\xBF\xBDx");
}

// What may be written at once: never a sequence cut apart at the end.
TEST(Utf8, WholeCharactersStopBeforeACutSequence) {
  const struct {
    std::string text;
    std::size_t whole;
  } cases[] = {
      {"abc", 3}, {"a\xE8\xA1", 1}, {"a\xE8\xA1\xA8", 4}, {"\xF0\x9F\x98", 0}, {"\x80\x80", 2}, {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(WholeCharacters(c.text), c.whole) << c.text;
}

// Shift-JIS names for messages: UTF-8, what does not convert as \xNN.
TEST(ForDisplay, ShiftJisBecomesUtf8) {
  EXPECT_EQ(ForDisplay("\x95\x5C\\x.txt"), "\xE8\xA1\xA8\\x.txt");
  EXPECT_EQ(ForDisplay("ok\x81\x20"), "ok\\x81 ");
}

}  // namespace
}  // namespace brisko::pack
