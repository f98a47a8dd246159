#include "win32/win_locale.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace brisko {
namespace {

// The lead bytes are those of code page 932 as the system's own table has
// them, whatever the system's ANSI code page.
TEST(WinLocale, LeadBytesAreThoseOfCodePage932) {
  for (int b = 0; b < 256; ++b)
    EXPECT_EQ(WinLocale::System().IsLeadByte(static_cast<unsigned char>(b)),
              IsDBCSLeadByteEx(932, static_cast<BYTE>(b)) != FALSE)
        << b;
}

TEST(WinLocale, ComparesWithoutRegardToCaseThroughTheSystem) {
  const struct {
    const char* why;
    std::string a, b;
    bool equal;
  } cases[] = {
      // Ａ (82 60) and ａ (82 81) are the same letter to the locale-aware
      // comparison, which the ASCII table would never say.
      {"full-width letters", "\x82\x60", "\x82\x81", true},
      {"a shorter text", "*Caption", "*Captio", false},
  };
  for (const auto& c : cases) EXPECT_EQ(WinLocale::System().EqualsIgnoreCase(c.a, c.b), c.equal) << c.why;
}

}  // namespace
}  // namespace brisko
