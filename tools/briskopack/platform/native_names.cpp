#include "platform/native_names.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/text/locale.h"
#include "platform/unicode.h"

namespace brisko::pack {

std::vector<Text> SplitScriptPath(std::string_view path) {
  std::vector<Text> parts(1);
  ByteWalker walker(TableLocale::ShiftJis());
  for (char c : path) {
    const ByteClass kind = walker.Next(static_cast<unsigned char>(c));
    if (kind == ByteClass::Single && (c == '\\' || c == '/'))
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

bool IsAbsoluteScriptPath(std::string_view path) {
  if (path.empty()) return false;
  if (path[0] == '\\' || path[0] == '/') return true;
  const unsigned char first = static_cast<unsigned char>(path[0]);
  return path.size() >= 2 && path[1] == ':' && first < 0x80;
}

// A part such as "C:" or "C:name" after the first: appended to a path on
// Windows, it starts again from that drive's current folder.
static bool NamesDrive(const Text& part) {
  const unsigned char first = part.empty() ? 0 : static_cast<unsigned char>(part[0]);
  return part.size() >= 2 && part[1] == ':' && first < 0x80 && std::isalpha(first);
}

bool ClimbsOutOfFolder(std::string_view path) {
  const std::vector<Text> parts = SplitScriptPath(path);
  for (std::size_t i = 0; i < parts.size(); ++i)
    if (parts[i] == ".." || (i > 0 && NamesDrive(parts[i]))) return true;
  return false;
}

bool StaysInsideFolder(std::string_view path) { return !IsAbsoluteScriptPath(path) && !ClimbsOutOfFolder(path); }

std::u32string DestinationKey(std::string_view scriptPath) {
  std::u32string key;
  for (const Text& part : SplitScriptPath(scriptPath)) {
    if (part.empty() || part == ".") continue;
    std::u32string name;
    if (const std::optional<std::string> utf8 = ShiftJisToUtf8(part)) {
      name = DecodeUtf8(*utf8);
    } else {
      // Bytes that are not Shift-JIS stand for themselves, apart from
      // every character.
      for (char c : part) {
        const unsigned char b = static_cast<unsigned char>(c);
        name += static_cast<char32_t>(b < 0x80 ? b : 0xDC00 + b);
      }
    }
    while (!name.empty() && (name.back() == U'.' || name.back() == U' ')) name.pop_back();
    if (!key.empty()) key += U'\\';
    for (char32_t c : name) key += UpperCase(c);
  }
  return key;
}

std::string ForDisplay(std::string_view text) {
  if (std::optional<std::string> utf8 = ShiftJisToUtf8(text)) return std::move(*utf8);
  std::string out;
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x80 && b >= 0x20) {
      out += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
      out += escaped;
    }
  }
  return out;
}

fs::path NativePath(const fs::path& folder, std::string_view scriptPath) {
  fs::path path = folder;
  for (const Text& part : SplitScriptPath(scriptPath))
    if (!part.empty()) path /= NativeName(part);
  return path;
}

fs::path FindScriptFile(const fs::path& folder, std::string_view scriptPath) {
  const fs::path converted = NativePath(folder, scriptPath);
  std::error_code ec;
  if (fs::exists(converted, ec)) return converted;
  fs::path raw = folder;
  for (const Text& part : SplitScriptPath(scriptPath))
    if (!part.empty()) raw /= fs::path(part);
  return fs::exists(raw, ec) ? raw : converted;
}

}  // namespace brisko::pack
