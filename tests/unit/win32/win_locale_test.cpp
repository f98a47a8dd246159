#include "win32/win_locale.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace brisko {
namespace {

// The tests run with the ANSI code page 932; everything Shift-JIS in the core
// tests goes through the system's own tables and comparison.
TEST(WinLocale, RunsUnderCodePage932) { EXPECT_EQ(GetACP(), 932u); }

TEST(WinLocale, ComparesFullWidthLettersThroughTheSystem) {
  // Ａ (82 60) and ａ (82 81) are the same letter to the locale-aware
  // comparison, which the ASCII table would never say.
  EXPECT_TRUE(WinLocale::System().EqualsIgnoreCase("\x82\x60", "\x82\x81"));
  EXPECT_FALSE(WinLocale::System().EqualsIgnoreCase("*Caption", "*Captio"));
}

}  // namespace
}  // namespace brisko
