// The program's texts and the wide API.
//
// Inside the program every text is Shift-JIS (code page 932), whatever the
// system's ANSI code page: the script, its paths, the fixed texts. The
// Windows layer meets the system only through the wide calls and converts
// at that edge, always with code page 932, so that a system whose ANSI code
// page is 1252 or 936 sees what a Japanese system sees.
//
// Characters that 932 cannot hold. A text coming from the system (a folder
// path, a shortcut's target, an environment expansion, a registry value)
// that holds one is not taken: the look-up fails, and the program goes on as
// when nothing was found, as the ANSI calls of a Japanese system fail to find
// the '?' they would put in its place. What the user types or picks is kept
// with '?' in place of such a character; no file name can hold '?', so such
// a folder never passes the folder check. No best-fit mapping is ever made:
// it could turn a character into a backslash (U+00A5 into 0x5C).
//
// Path limits keep the unit in which each buffer counts. A path that the
// system writes into a 260-byte buffer of the ANSI calls fits when its
// Shift-JIS form has at most 259 bytes; a longer one is not taken rather than
// cut. A path put into a 260-character wide buffer (shortcut files, the
// chooser's preselection) fits when it has at most 259 UTF-16 units. Every
// other path is converted whole and meets the wide call's own limits, which
// are those the ANSI call has behind its conversion.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/text/text.h"

namespace brisko {

// Shift-JIS.
inline constexpr unsigned kProgramCodePage = 932;

// The text of a MAX_PATH buffer without its terminating zero: 259 bytes of
// an ANSI buffer, 259 UTF-16 units of a wide one.
inline constexpr std::size_t kMaxPathBytes = 259;
inline constexpr std::size_t kMaxPathUnits = 259;

// UTF-16 of a Shift-JIS text. Never fails: a byte sequence that is no
// Shift-JIS character becomes the code page's default character, as the
// ANSI calls convert it.
std::wstring Widen(std::string_view text);

// Shift-JIS of a UTF-16 text; nullopt when a character has no Shift-JIS form.
std::optional<Text> Narrow(std::wstring_view text);

// Shift-JIS of a UTF-16 text with '?' for every character that has none.
Text NarrowReplacing(std::wstring_view text);

// A path read from a wide call into what a 260-byte ANSI buffer would hold:
// nullopt when a character has no Shift-JIS form or the text needs more than
// kMaxPathBytes bytes.
std::optional<Text> NarrowPath(std::wstring_view path);

// A path for a 260-character wide buffer: nullopt when it needs more than
// kMaxPathUnits UTF-16 units.
std::optional<std::wstring> WidenPath(std::string_view path);

}  // namespace brisko
