// Names on Windows: file names are UTF-16.
#include <locale.h>
#include <stdlib.h>

#include "platform/native_names.h"
#include "platform/unicode.h"

namespace brisko::pack {

namespace {

_locale_t Japanese() {
  static const _locale_t japanese = _create_locale(LC_CTYPE, ".932");
  return japanese;
}

std::optional<std::wstring> ShiftJisToWide(std::string_view text) {
  const _locale_t japanese = Japanese();
  if (!japanese) return std::nullopt;
  const std::string zeroTerminated(text);
  const std::size_t n = _mbstowcs_l(nullptr, zeroTerminated.c_str(), 0, japanese);
  if (n == static_cast<std::size_t>(-1)) return std::nullopt;
  std::wstring wide(n, L'\0');
  _mbstowcs_l(wide.data(), zeroTerminated.c_str(), n, japanese);
  return wide;
}

}  // namespace

std::optional<std::string> ShiftJisToUtf8(std::string_view text) {
  const std::optional<std::wstring> wide = ShiftJisToWide(text);
  if (!wide) return std::nullopt;
  return Utf16ToUtf8(std::u16string(wide->begin(), wide->end()));
}

fs::path NativeName(const Text& name) {
  if (auto wide = ShiftJisToWide(name)) return fs::path(*wide);
  return fs::path(name);
}

std::optional<Text> ScriptName(const fs::path& name) {
  const _locale_t japanese = Japanese();
  if (!japanese) return std::nullopt;
  const std::wstring wide = name.wstring();
  const std::size_t n = _wcstombs_l(nullptr, wide.c_str(), 0, japanese);
  if (n == static_cast<std::size_t>(-1)) return std::nullopt;
  std::string narrow(n, '\0');
  _wcstombs_l(narrow.data(), wide.c_str(), n, japanese);
  return narrow;
}

}  // namespace brisko::pack
