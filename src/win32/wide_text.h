// Conversions to UTF-16 for the wide API.
//
// The program's own fixed texts are Shift-JIS whatever the system's code
// page, so they are converted from code page 932 explicitly and read
// correctly on any system. Paths and the script's values are texts in the
// system's ANSI code page and are converted with CP_ACP.
#pragma once

#include <string>
#include <string_view>

namespace brisko {

std::wstring FixedTextToWide(std::string_view shiftJis);
std::wstring AnsiToWide(std::string_view ansi);

}  // namespace brisko
