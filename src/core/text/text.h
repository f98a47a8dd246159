// Basic text types shared by the whole installer.
//
// A Text is a byte string in Shift-JIS (code page 932), whatever the system's
// own code page: paths, script lines, captions and messages are all Texts.
#pragma once

#include <string>
#include <vector>

namespace brisko {

using Text = std::string;

// An ordered list of texts, duplicates allowed, never sorted.
using StringList = std::vector<Text>;

}  // namespace brisko
