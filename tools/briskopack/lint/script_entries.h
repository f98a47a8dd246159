// The entries of a list section ("%OutFiles", "%LinkPath") as the
// installer's reader returns them, each with the line it stands on, for
// messages that point at the entry. Build, lint and extract all read the
// payload list through this one function.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/text/text.h"

namespace brisko {
class TTinyCnf;
}

namespace brisko::pack {

struct ScriptEntry {
  Text text;     // trimmed and unescaped, as the installer takes it
  int line = 0;  // from 1
};

// The items of list `key`; nullopt when the reader finds no such list.
std::optional<std::vector<ScriptEntry>> ListEntries(const TTinyCnf& reader, const char* key);

// The %OutFiles entries of a script read as the installer reads it; empty
// when the section is missing.
std::vector<ScriptEntry> OutFilesEntries(const std::string& script);

}  // namespace brisko::pack
