#include "core/script/tiny_cnf.h"

#include <utility>

#include "core/format/package_format.h"
#include "core/script/script_lines.h"

namespace brisko {

namespace {

// Replaces every occurrence left to right; inserted text is not scanned again.
Text ReplaceAll(const Text& text, std::string_view from, std::string_view to) {
  Text out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = text.find(from, pos);
    if (hit == Text::npos) break;
    out.append(text, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text, pos, Text::npos);
  return out;
}

}  // namespace

TTinyCnf::TTinyCnf(const StringList& source, const Locale& locale) : lines(source), locale_(locale) {}

bool TTinyCnf::GetValue(std::string key, Text& value) const {
  const int i = FindSection(std::move(key), format::kValueKeyStart);
  if (i < 0) return false;
  const std::size_t next = static_cast<std::size_t>(i) + 1;
  value = next < lines.size() ? Unescape(TrimControl(lines[next])) : Text();
  return true;
}

bool TTinyCnf::GetList(std::string key, StringList& items) const {
  const int i = FindSection(std::move(key), format::kListKeyStart);
  if (i < 0) return false;
  const int end = FindSectionEnd(i);
  items.clear();
  for (int j = i + 1; j < end; ++j) items.push_back(Unescape(TrimControl(lines[j])));
  return true;
}

int TTinyCnf::FindSection(std::string key, char start) const {
  key = TrimControl(key);
  if (key.empty() || key[0] != start) return -1;
  return FindKey(key);
}

Text TTinyCnf::Unescape(Text text) {
  for (const format::Escape& escape : format::kEscapes) text = ReplaceAll(text, escape.sequence, escape.replacement);
  return text;
}

int TTinyCnf::FindKey(const std::string& key) const {
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (locale_.EqualsIgnoreCase(lines[i], key)) return static_cast<int>(i);
  return -1;
}

int TTinyCnf::FindSectionEnd(int start) const {
  for (std::size_t i = static_cast<std::size_t>(start < 0 ? 0 : start); i < lines.size(); ++i)
    if (locale_.EqualsIgnoreCase(lines[i], format::kListEnd)) return static_cast<int>(i);
  return static_cast<int>(lines.size());
}

}  // namespace brisko
