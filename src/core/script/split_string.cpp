#include "core/script/split_string.h"

#include <algorithm>

namespace brisko {

void SplitString(std::string_view text, std::string_view separators, StringList& fields, const Locale& locale) {
  fields.clear();
  Text current;
  bool quoted = false;
  // The byte classes follow the whole text from its start, quoted or not.
  ByteWalker walker(locale);
  for (const char c : text) {
    const ByteClass cls = walker.Next(static_cast<unsigned char>(c));
    if (quoted) {
      if (c == '"') {
        fields.push_back(std::move(current));
        current.clear();
        quoted = false;
      } else {
        current += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (cls != ByteClass::Single) {
      current += c;
    } else if (separators.find(c) != std::string_view::npos) {
      fields.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  fields.push_back(std::move(current));
  fields.erase(std::remove_if(fields.begin(), fields.end(), [](const Text& f) { return f.empty(); }), fields.end());
}

}  // namespace brisko
