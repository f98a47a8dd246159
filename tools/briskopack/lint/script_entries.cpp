#include "lint/script_entries.h"

#include "core/format/package_format.h"
#include "core/script/script_lines.h"
#include "core/script/tiny_cnf.h"
#include "core/text/locale.h"

namespace brisko::pack {

std::optional<std::vector<ScriptEntry>> ListEntries(const TTinyCnf& reader, const char* key) {
  StringList items;
  if (!reader.GetList(key, items)) return std::nullopt;
  // The items follow the key line, which FindKey counts from 0.
  const int first = reader.FindKey(key) + 2;
  std::vector<ScriptEntry> entries;
  for (std::size_t j = 0; j < items.size(); ++j) entries.push_back({items[j], first + static_cast<int>(j)});
  return entries;
}

std::vector<ScriptEntry> OutFilesEntries(const std::string& script) {
  const TTinyCnf reader(SplitLines(script), TableLocale::ShiftJis());
  return ListEntries(reader, format::kOutFiles).value_or(std::vector<ScriptEntry>{});
}

}  // namespace brisko::pack
