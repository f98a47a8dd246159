// The whole-number syntax of the script's numeric values.
#pragma once

#include "core/text/text.h"

namespace brisko {

// Reads an optional sign and decimal digits that fit a 32-bit signed integer.
// False, with `value` unchanged, for anything else (blanks, hex, fractions,
// an empty text).
bool ParseWholeNumber(const Text& text, int& value);

}  // namespace brisko
