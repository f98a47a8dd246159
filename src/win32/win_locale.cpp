#include "win_locale.h"

#include <windows.h>

#include <climits>

#include "wide_text.h"

namespace brisko {

bool WinLocale::EqualsIgnoreCase(std::string_view a, std::string_view b) const {
  if (a.size() > INT_MAX || b.size() > INT_MAX) return false;
  const std::wstring wideA = Widen(a);
  const std::wstring wideB = Widen(b);
  const LCID japanese = MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), SORT_DEFAULT);
  // Explicit lengths: embedded zero bytes take part, as they do in the
  // ANSI call given lengths.
  return CompareStringW(japanese, NORM_IGNORECASE, wideA.c_str(), static_cast<int>(wideA.size()), wideB.c_str(),
                        static_cast<int>(wideB.size())) == CSTR_EQUAL;
}

const WinLocale& WinLocale::System() {
  static const WinLocale locale;
  return locale;
}

}  // namespace brisko
