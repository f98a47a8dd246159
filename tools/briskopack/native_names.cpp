#include "native_names.h"

#include <cstdio>

#include "core/locale.h"

#ifdef _WIN32
#include <locale.h>
#include <stdlib.h>
#else
#include <iconv.h>
#endif

namespace brisko::pack {

namespace {

#ifndef _WIN32
// Converts with iconv; nullopt when any byte does not convert.
std::optional<std::string> ShiftJisToUtf8(std::string_view text) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(text.size() * 3 + 4, '\0');
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}
#else
std::optional<std::wstring> ShiftJisToWide(std::string_view text) {
  static const _locale_t japanese = _create_locale(LC_CTYPE, ".932");
  if (!japanese) return std::nullopt;
  const std::string zeroTerminated(text);
  const std::size_t n = _mbstowcs_l(nullptr, zeroTerminated.c_str(), 0, japanese);
  if (n == static_cast<std::size_t>(-1)) return std::nullopt;
  std::wstring wide(n, L'\0');
  _mbstowcs_l(wide.data(), zeroTerminated.c_str(), n, japanese);
  return wide;
}
#endif

}  // namespace

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

fs::path NativeName(const Text& name) {
#ifdef _WIN32
  if (auto wide = ShiftJisToWide(name)) return fs::path(*wide);
  return fs::path(name);
#else
  if (auto utf8 = ShiftJisToUtf8(name)) return fs::path(*utf8);
  return fs::path(name);
#endif
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

std::string ForDisplay(std::string_view text) {
#ifdef _WIN32
  return std::string(text);
#else
  if (auto utf8 = ShiftJisToUtf8(text)) return *utf8;
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
#endif
}

}  // namespace brisko::pack
