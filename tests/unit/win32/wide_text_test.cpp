// Code page 932 at the system's edge. These tests also run under code pages
// 1252 and 936 (see tests/unit/CMakeLists.txt): nothing here may depend on
// the system's own code page.
#include "win32/wide_text.h"

#include <gtest/gtest.h>

#include <string>

#include "win32/win_locale.h"

namespace brisko {
namespace {

struct RoundTrip {
  const char* shiftJis;
  const wchar_t* wide;
};

TEST(CodePage932, ConvertsBothWaysWhateverTheSystemCodePage) {
  const RoundTrip cases[] = {
      {"", L""},
      {"C:\\Games\\a.dat", L"C:\\Games\\a.dat"},
      {"\x83\x5C", L"ソ"},  // trail byte 0x5C
      {"\x95\x5C", L"表"},
      {"\x83\x51\x81\x5B\x83\x80\\\x83\x5C", L"ゲーム\\ソ"},
      {"\xB1\xDD", L"ｱﾝ"},  // half-width katakana: single bytes
      {"\x87\x40", L"①"},   // NEC special characters
      {"\\", L"\\"},        // a backslash, never a yen sign
      {"?", L"?"},
  };
  for (const RoundTrip& c : cases) {
    EXPECT_EQ(Widen(c.shiftJis), c.wide) << c.shiftJis;
    EXPECT_EQ(Narrow(c.wide), std::optional<Text>(c.shiftJis)) << c.shiftJis;
    EXPECT_EQ(NarrowReplacing(c.wide), c.shiftJis) << c.shiftJis;
  }
}

TEST(CodePage932, CharactersItCannotHoldAreRefusedOrShownAsQuestionMarks) {
  const struct {
    const wchar_t* wide;
    const char* replaced;
  } cases[] = {
      {L"C:\\Users\\한국", "C:\\Users\\??"},  // Hangul
      {L"C:\\caf\u00E9", "C:\\caf?"},        // in 1252, not in 932
      {L"C:\\a\u00A5b", "C:\\a?b"},          // a best fit would give a backslash
      {L"\u30B2\u30FC\u30E0\u0410", "\x83\x51\x81\x5B\x83\x80\x84\x40"},  // Cyrillic А is in 932
  };
  for (const auto& c : cases) {
    const bool representable = std::string(c.replaced).find('?') == std::string::npos;
    EXPECT_EQ(Narrow(c.wide).has_value(), representable) << c.replaced;
    EXPECT_EQ(NarrowReplacing(c.wide), c.replaced);
  }
}

TEST(CodePage932, PathLimitsCountTheUnitOfTheirBuffer) {
  const std::string katakana = "\x83\x41";  // ア: two bytes, one character
  const auto repeat = [](const std::string& unit, std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += unit;
    return text;
  };
  // 260-byte buffers count Shift-JIS bytes.
  EXPECT_TRUE(NarrowPath(Widen(std::string(259, 'a'))));
  EXPECT_FALSE(NarrowPath(Widen(std::string(260, 'a'))));
  EXPECT_TRUE(NarrowPath(Widen(repeat(katakana, 129) + "a")));
  EXPECT_FALSE(NarrowPath(Widen(repeat(katakana, 130)))) << "130 characters, 260 bytes";
  EXPECT_FALSE(NarrowPath(L"C:\\한"));
  // 260-character wide buffers count UTF-16 units.
  EXPECT_TRUE(WidenPath(std::string(259, 'a')));
  EXPECT_FALSE(WidenPath(std::string(260, 'a')));
  EXPECT_EQ(WidenPath(repeat(katakana, 259)).value_or(L"").size(), 259u) << "518 bytes";
}

TEST(CodePage932, LeadBytesAndCaseAreThoseOfAJapaneseSystem) {
  const WinLocale& locale = WinLocale::System();
  for (unsigned b : {0x81u, 0x9Fu, 0xE0u, 0xFCu}) EXPECT_TRUE(locale.IsLeadByte(static_cast<unsigned char>(b))) << b;
  for (unsigned b : {0x00u, 0x5Cu, 0x80u, 0xA0u, 0xB1u, 0xDFu, 0xFDu, 0xFEu})
    EXPECT_FALSE(locale.IsLeadByte(static_cast<unsigned char>(b))) << b;

  const struct {
    std::string a, b;
    bool equal;
  } cases[] = {
      {"*Caption", "*CAPTION", true},
      {"\x82\x60", "\x82\x81", true},  // full-width Ａ and ａ
      {"HKEY_CURRENT_USER", "hkey_current_user", true},
      {"", "", true},
      {"*Caption", "*Captio", false},
      {"\x95\x5C", "\x95\x5D", false},
      {std::string("a\0b", 3), std::string("a\0c", 3), false},
  };
  for (const auto& c : cases) EXPECT_EQ(locale.EqualsIgnoreCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
}

}  // namespace
}  // namespace brisko
