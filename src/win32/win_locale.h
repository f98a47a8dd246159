// Code page 932 and the Japanese locale, as the core sees them, whatever
// the system's own code page and locale.
#pragma once

#include "core/text/locale.h"

namespace brisko {

class WinLocale final : public Locale {
 public:
  // Lead bytes of code page 932: 0x81-0x9F and 0xE0-0xFC.
  bool IsLeadByte(unsigned char b) const override { return TableLocale::ShiftJis().IsLeadByte(b); }
  // The whole texts, converted from code page 932, compared by
  // CompareStringW(Japanese, NORM_IGNORECASE): what CompareStringA with the
  // ignore-case flag gives on a Japanese system.
  bool EqualsIgnoreCase(std::string_view a, std::string_view b) const override;

  // The one instance the program uses.
  static const WinLocale& System();
};

}  // namespace brisko
