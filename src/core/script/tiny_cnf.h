// TTinyCnf: the patch script reader.
//
// A script is made of sections found only by their key lines: "*Key" followed
// by one value line, or "%Key" followed by item lines up to a "%%" line. Each
// look-up searches the lines afresh; there is no parse of the whole script.
#pragma once

#include <string>

#include "core/text/locale.h"
#include "core/text/text.h"

namespace brisko {

class TTinyCnf {
 public:
  // Copies `source`; the caller may clear or refill it afterwards. `locale`
  // supplies the case-insensitive line comparison and must outlive the reader.
  TTinyCnf(const StringList& source, const Locale& locale);
  TTinyCnf(const TTinyCnf&) = delete;
  TTinyCnf& operator=(const TTinyCnf&) = delete;

  // Finds a "*" section. On true `value` holds its trimmed, unescaped value
  // (empty when the key line is the last line); on false it is unchanged.
  bool GetValue(std::string key, Text& value) const;

  // Finds a "%" section. On true `items` is cleared and filled with the
  // trimmed, unescaped item lines; on false it is unchanged.
  bool GetList(std::string key, StringList& items) const;

  // The five escape replacements, each over the result of the one before.
  static Text Unescape(Text text);

  // The index (from 0) of the first line that equals `key`, letter case
  // ignored, whatever kind of line it is; -1 when none does. This is the line
  // that GetValue and GetList answer from.
  int FindKey(const std::string& key) const;

 private:
  // The key line of section `key`, trimmed, when it begins with `start`; -1
  // for another key, an empty one or one that no line matches.
  int FindSection(std::string key, char start) const;
  int FindSectionEnd(int start) const;

  StringList lines;
  const Locale& locale_;
};

}  // namespace brisko
