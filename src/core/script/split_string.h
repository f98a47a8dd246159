// Splitting a text into fields at separator bytes.
#pragma once

#include <string_view>

#include "core/text/locale.h"
#include "core/text/text.h"

namespace brisko {

// Clears `fields`, then fills it with the non-empty fields of `text` cut at
// any byte of `separators`. A double-quoted stretch is taken literally (the
// quotes dropped, the closing quote ending the field); bytes of double-byte
// characters are never separators.
void SplitString(std::string_view text, std::string_view separators, StringList& fields, const Locale& locale);

}  // namespace brisko
