// Names and messages on POSIX systems: file names and the terminal are taken
// to be UTF-8.
#include <iconv.h>

#include "platform/native_names.h"

namespace brisko::pack {

namespace {

// Converts with iconv; nullopt when any byte does not convert.
std::optional<std::string> Convert(std::string_view text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
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

}  // namespace

std::optional<std::string> ShiftJisToUtf8(std::string_view text) { return Convert(text, "UTF-8", "CP932"); }

fs::path NativeName(const Text& name) {
  if (auto utf8 = ShiftJisToUtf8(name)) return fs::path(*utf8);
  return fs::path(name);
}

std::optional<Text> ScriptName(const fs::path& name) { return Convert(name.string(), "CP932", "UTF-8"); }

}  // namespace brisko::pack
