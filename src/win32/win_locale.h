// The system's ANSI code page and user locale, as the core sees them.
#pragma once

#include <array>

#include "core/locale.h"

namespace brisko {

class WinLocale final : public Locale {
 public:
  // Reads the lead-byte ranges of the ANSI code page (GetCPInfo(CP_ACP)).
  WinLocale();

  bool IsLeadByte(unsigned char b) const override { return lead_[b]; }
  // CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE) on the whole texts.
  bool EqualsIgnoreCase(std::string_view a, std::string_view b) const override;

  // The one instance the program uses.
  static const WinLocale& System();

 private:
  std::array<bool, 256> lead_{};
};

}  // namespace brisko
