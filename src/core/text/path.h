// Path helpers that honour double-byte characters: a 0x5C byte that is the
// second byte of a Shift-JIS character (as in 表 = 95 5C) is never a
// delimiter.
#pragma once

#include <string_view>

#include "core/text/locale.h"
#include "core/text/text.h"

namespace brisko {

// True when the text's last character is a backslash of its own.
bool EndsWithDelimiter(const Locale& locale, std::string_view text);

// Appends "\" unless the text already ends in a delimiter. An empty text
// becomes "\".
Text IncludeTrailingDelimiter(const Locale& locale, std::string_view text);

// The folder text, a delimiter where one is missing, and the name.
Text JoinPath(const Locale& locale, std::string_view folder, std::string_view name);

// Everything up to and including the last backslash or colon; empty when the
// path has neither.
Text ExtractFolder(const Locale& locale, std::string_view path);

}  // namespace brisko
