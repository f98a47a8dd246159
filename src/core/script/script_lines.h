// Cutting a script's bytes into lines.
#pragma once

#include <string_view>

#include "core/text/text.h"

namespace brisko {

// CR LF, a lone CR and a lone LF each end a line; a NUL byte ends the text; a
// line end at the very end adds no empty line. No byte-order mark is
// recognised: one stays at the start of the first line.
StringList SplitLines(std::string_view bytes);

// Removes every byte from 0x00 to 0x20 from both ends.
Text TrimControl(std::string_view text);

}  // namespace brisko
