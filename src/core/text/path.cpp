#include "core/text/path.h"

namespace brisko {

bool EndsWithDelimiter(const Locale& locale, std::string_view text) {
  if (text.empty() || text.back() != '\\') return false;
  return ClassifyByte(locale, text, text.size() - 1) != ByteClass::Trail;
}

Text IncludeTrailingDelimiter(const Locale& locale, std::string_view text) {
  Text result(text);
  if (!EndsWithDelimiter(locale, text)) result += '\\';
  return result;
}

Text JoinPath(const Locale& locale, std::string_view folder, std::string_view name) {
  Text result = IncludeTrailingDelimiter(locale, folder);
  result.append(name);
  return result;
}

Text ExtractFolder(const Locale& locale, std::string_view path) {
  std::size_t cut = 0;  // length of the folder part
  ByteWalker walker(locale);
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    const ByteClass cls = walker.Next(static_cast<unsigned char>(c));
    if ((c == '\\' || c == ':') && cls != ByteClass::Trail) cut = i + 1;
  }
  return Text(path.substr(0, cut));
}

}  // namespace brisko
