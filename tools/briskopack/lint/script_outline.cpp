#include "lint/script_outline.h"

#include "core/script/script_lines.h"

namespace brisko::pack {

bool IsKeyLine(const Text& line) { return !line.empty() && (line[0] == '*' || line[0] == '%') && line != "%%"; }

bool IsKeyShaped(const Text& line) {
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (line.size() < 2 || (line[0] != '*' && line[0] != '%') || !letter(line[1])) return false;
  for (std::size_t i = 2; i < line.size(); ++i)
    if (!letter(line[i]) && !digit(line[i]) && line[i] != '_') return false;
  return true;
}

ScriptOutline Outline(const StringList& lines) {
  ScriptOutline outline;
  const int count = static_cast<int>(lines.size());
  int i = 0;
  while (i < count) {
    const Text& line = lines[i];
    if (!IsKeyLine(line)) {
      if (!TrimControl(line).empty()) outline.strayLines.push_back(i + 1);
      ++i;
      continue;
    }
    OutlineSection section;
    section.key = line;
    section.keyLine = i + 1;
    section.firstLine = i + 2;
    int next = i + 1;
    if (line[0] == '*') {
      section.kind = OutlineSection::Kind::Value;
      // A key in the value's place starts the next section.
      if (next < count && !IsKeyShaped(lines[next])) ++next;
    } else {
      section.kind = OutlineSection::Kind::List;
      while (next < count && lines[next] != "%%" && !IsKeyShaped(lines[next])) ++next;
      if (next < count && lines[next] == "%%") section.terminatorLine = next + 1;
    }
    section.endLine = next + 1;
    outline.sections.push_back(section);
    i = section.terminatorLine ? section.terminatorLine : next;
  }
  return outline;
}

}  // namespace brisko::pack
