#include "core/text/locale.h"

namespace brisko {

TableLocale::TableLocale(const std::vector<Range>& leadRanges) {
  for (const auto& r : leadRanges)
    for (unsigned b = r.first; b <= r.second; ++b) lead_[b] = true;
  lead_[0] = false;
}

bool TableLocale::EqualsIgnoreCase(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

const TableLocale& TableLocale::ShiftJis() {
  static const TableLocale locale({{0x81, 0x9F}, {0xE0, 0xFC}});
  return locale;
}

const TableLocale& TableLocale::SingleByte() {
  static const TableLocale locale({});
  return locale;
}

ByteClass ClassifyByte(const Locale& locale, std::string_view text, std::size_t pos) {
  const unsigned char b = static_cast<unsigned char>(text[pos]);
  if (b == 0) return ByteClass::Single;
  std::size_t run = 0;
  for (std::size_t i = pos; i > 0 && locale.IsLeadByte(static_cast<unsigned char>(text[i - 1])); --i) ++run;
  if (run % 2 == 1) return ByteClass::Trail;
  return locale.IsLeadByte(b) ? ByteClass::Lead : ByteClass::Single;
}

}  // namespace brisko
