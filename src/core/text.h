// Basic text types shared by the whole installer.
//
// A Text is a byte string in the system's ANSI code page (Shift-JIS on the
// target systems): paths, script lines, captions and messages are all Texts.
#pragma once

#include <string>
#include <vector>

namespace brisko {

using Text = std::string;

// An ordered list of texts, duplicates allowed, never sorted.
using StringList = std::vector<Text>;

}  // namespace brisko
