// The briskopack command line.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace brisko::pack {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitLintWarnings = 1;  // lint: warnings, no errors
constexpr int kExitLintErrors = 2;    // lint: errors; build: refused because of them
constexpr int kExitFailure = 3;       // bad input, unreadable or unwritable file
constexpr int kExitUsage = 4;         // unknown command or option

// The usage text: each command's synopsis, then the commands and the
// options with what they do.
std::string UsageText();

// Runs one command; `args` excludes the program name.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace brisko::pack
