#include "platform/unicode.h"

#include <utility>

namespace brisko::pack {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

namespace {

// The code point of the UTF-8 sequence at `at` and its length; a length of 0
// when no valid sequence starts there (cut short, overlong, a surrogate,
// beyond U+10FFFF).
std::pair<char32_t, std::size_t> NextCharacter(std::string_view utf8, std::size_t at) {
  const unsigned char b = static_cast<unsigned char>(utf8[at]);
  const std::size_t length = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
  static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (length <= 1) return {b, length};
  char32_t c = b & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if (at + k >= utf8.size()) return {0, 0};
    const unsigned char t = static_cast<unsigned char>(utf8[at + k]);
    if ((t & 0xC0) != 0x80) return {0, 0};
    c = c << 6 | (t & 0x3F);
  }
  if (c < kLeast[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return {0, 0};
  return {c, length};
}

}  // namespace

std::u32string DecodeUtf8(std::string_view utf8) {
  std::u32string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto [c, length] = NextCharacter(utf8, i);
    out += length > 0 ? c : kReplacementCharacter;
    i += length > 0 ? length : 1;
  }
  return out;
}

std::size_t ValidUtf8Length(std::string_view text) {
  std::size_t i = 0;
  for (std::size_t length; i < text.size() && (length = NextCharacter(text, i).second) > 0;) i += length;
  return i;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  for (char32_t c : DecodeUtf8(utf8)) {
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
      c = kReplacementCharacter;
    AppendUtf8(out, c);
  }
  return out;
}

char32_t UpperCase(char32_t c) {
  // Lower-case ranges, each with how far below them their capitals are.
  static const struct {
    char32_t first, last, down;
  } kLower[] = {
      {U'a', U'z', 0x20},      // ASCII
      {0x03B1, 0x03C1, 0x20},  // Greek alpha to rho
      {0x03C3, 0x03C9, 0x20},  // Greek sigma to omega
      {0x0430, 0x044F, 0x20},  // Cyrillic a to ya
      {0x0450, 0x045F, 0x50},  // Cyrillic io and the others of that row
      {0x2170, 0x217F, 0x10},  // small Roman numerals
      {0xFF41, 0xFF5A, 0x20},  // full-width Latin
  };
  for (const auto& range : kLower)
    if (c >= range.first && c <= range.last) return c - range.down;
  return c;
}

}  // namespace brisko::pack
