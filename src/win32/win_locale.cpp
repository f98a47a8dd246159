#include "win_locale.h"

#include <windows.h>

#include <climits>

namespace brisko {

WinLocale::WinLocale() {
  CPINFO info{};
  if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize < 2) return;
  // LeadByte holds pairs of range bounds, ended by a pair of zeros.
  for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2)
    for (unsigned b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) lead_[b] = true;
  lead_[0] = false;
}

bool WinLocale::EqualsIgnoreCase(std::string_view a, std::string_view b) const {
  if (a.size() > INT_MAX || b.size() > INT_MAX) return false;
  // CompareStringA with explicit lengths compares embedded bytes too, so the
  // whole of both texts takes part.
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                        b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

const WinLocale& WinLocale::System() {
  static const WinLocale locale;
  return locale;
}

}  // namespace brisko
