// Script texts are Shift-JIS; the file system and the terminal of the
// machine that runs the packer may not be. These helpers carry names and
// messages across.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/text/text.h"
#include "platform/file_io.h"

namespace brisko::pack {

// The parts of a script path, split at "\" and "/"; a 0x5C byte that is the
// second byte of a double-byte character is no separator.
std::vector<Text> SplitScriptPath(std::string_view path);

// True for an absolute path: one that begins with a separator or names a drive.
bool IsAbsoluteScriptPath(std::string_view path);

// True when one of the path's parts is "..", or names a drive after the first
// part ("data\C:x"), which on Windows leaves the folder as well.
bool ClimbsOutOfFolder(std::string_view path);

// True when a script path stays inside the folder it is joined to: neither
// absolute nor climbing out. Lint reports the others, build leaves them out
// when forced, and extract refuses to write them.
bool StaysInsideFolder(std::string_view path);

// The file a script path names inside a folder, as Windows finds it: the
// path's parts in Unicode (empty and "." parts left out, trailing dots and
// blanks cut off, as Windows cuts them) joined with "\", letters in upper
// case as the installer compares names (UpperCase in unicode.h). Two paths
// with the same key name the same destination.
std::u32string DestinationKey(std::string_view scriptPath);

// A Shift-JIS text in UTF-8; nothing when it is not valid Shift-JIS
// (native_names_posix.cpp, native_names_win.cpp).
std::optional<std::string> ShiftJisToUtf8(std::string_view text);

// A Shift-JIS name converted for the local file system: UTF-8 on POSIX
// systems, UTF-16 on Windows. Bytes that do not convert are kept as they are.
fs::path NativeName(const Text& name);

// A file name of the local file system (one part of a path) as a script
// names it, in Shift-JIS; nothing when it has characters Shift-JIS lacks.
std::optional<Text> ScriptName(const fs::path& name);

// `folder` joined with the parts of a script path, converted as above.
fs::path NativePath(const fs::path& folder, std::string_view scriptPath);

// The file that a script path names under `folder`: the converted name, or
// the path with the raw bytes when only that exists.
fs::path FindScriptFile(const fs::path& folder, std::string_view scriptPath);

// A Shift-JIS text for messages, in UTF-8; bytes that do not convert are
// shown as \xNN.
std::string ForDisplay(std::string_view text);

}  // namespace brisko::pack
