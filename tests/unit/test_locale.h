// The locales the unit tests run under. Under Windows the Shift-JIS cases run
// against the system's own code page and comparison (the tests are started
// with the ANSI code page 932); natively against the fixed table.
#pragma once

#include "core/text/locale.h"

#ifdef _WIN32
#include "win32/win_locale.h"
#endif

namespace brisko::test {

inline const Locale& ShiftJis() {
#ifdef _WIN32
  return WinLocale::System();
#else
  return TableLocale::ShiftJis();
#endif
}

inline const Locale& SingleByte() { return TableLocale::SingleByte(); }

}  // namespace brisko::test
