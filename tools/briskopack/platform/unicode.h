// UTF-8, UTF-16 and code points: the encodings the packer speaks besides
// the scripts' Shift-JIS. Texts inside the packer are UTF-8; Windows takes
// and gives UTF-16, resources name themselves in it.
#pragma once

#include <string>
#include <string_view>

namespace brisko::pack {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c);

// The code points of UTF-8 text; each byte that starts no valid sequence
// (cut short, overlong, a surrogate, beyond U+10FFFF) gives U+FFFD.
std::u32string DecodeUtf8(std::string_view utf8);

// The length of the longest start of `text` that is valid UTF-8: its whole
// length when it all is.
std::size_t ValidUtf8Length(std::string_view text);

// UTF-8 as UTF-16, invalid bytes as U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 as UTF-8, a lone surrogate as U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// `c` in upper case, as Windows compares names without regard to case, for
// the letters that Shift-JIS holds: ASCII, full-width Latin, Greek and
// Cyrillic letters, and Roman numerals; any other character as it is.
char32_t UpperCase(char32_t c);

}  // namespace brisko::pack
