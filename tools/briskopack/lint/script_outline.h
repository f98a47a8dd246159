// The sections of a patch script as its author laid them out: between
// sections, every line that begins with "*" or "%" in the first column starts
// one; inside a section, a line shaped like a key does ("*Name" or "%Name",
// a letter and then letters, digits or "_"), so that a forgotten value or
// "%%" shows. The installer's reader knows no such structure (each look-up
// searches all lines), so comparing the two shows where they part ways.
#pragma once

#include <vector>

#include "core/text/text.h"

namespace brisko::pack {

struct OutlineSection {
  enum class Kind { Value, List };
  Kind kind = Kind::Value;
  int keyLine = 0;  // line numbers count from 1
  Text key;         // the key line as written
  // The value line or the item lines: [firstLine, endLine).
  int firstLine = 0;
  int endLine = 0;
  // A list: the line of its "%%", or 0 when the next section or the end of
  // the script came first.
  int terminatorLine = 0;
};

struct ScriptOutline {
  std::vector<OutlineSection> sections;
  // Lines outside every section that are not blank.
  std::vector<int> strayLines;
};

// True for a line that starts a section: "*" or "%" in the first column,
// other than the terminator "%%".
bool IsKeyLine(const Text& line);

// True for "*" or "%", a letter, then only letters, digits and "_".
bool IsKeyShaped(const Text& line);

ScriptOutline Outline(const StringList& lines);

}  // namespace brisko::pack
