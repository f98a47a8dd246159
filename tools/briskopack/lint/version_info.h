// A patch folder's version.txt: the installer's version record, as lines
// "key: value" in UTF-8 with "#" comments, read as build reads it and lint
// checks it. A file of comments alone gives no record: the stub's own stays.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pe/version_record.h"

namespace brisko::pack {

constexpr char kVersionInfoFileName[] = "version.txt";

// The keys, and the string of the record each gives ("version" gives the
// fixed part's versions and the FileVersion and ProductVersion strings).
struct VersionInfoKey {
  const char* key;
  const char* string;
};
inline constexpr char kVersionKey[] = "version";
inline constexpr VersionInfoKey kVersionInfoKeys[] = {
    {"product", "ProductName"}, {"company", "CompanyName"},      {"description", "FileDescription"},
    {kVersionKey, nullptr},     {"copyright", "LegalCopyright"},
};

struct VersionInfoLine {
  int line = 0;     // from 1
  std::string key;  // as written
  std::string value;
};

struct VersionInfoFile {
  // The first line that is not UTF-8 (0 when all are); nothing else is
  // read then.
  int notUtf8Line = 0;
  // Lines that are neither blank, a comment nor "key: value".
  std::vector<int> malformed;
  std::vector<VersionInfoLine> entries;
};

VersionInfoFile ReadVersionInfo(std::string_view text);

// A key of kVersionInfoKeys, without regard to ASCII case; nullptr for
// another.
const VersionInfoKey* FindVersionInfoKey(std::string_view key);

// Four whole numbers from 0 to 65535 with dots between them.
std::optional<VersionNumber> ParseVersionNumber(std::string_view text);

// The record of a file that lint passes (known keys, each once, a valid
// version); nullopt when it holds no entry. Without a version the record
// says 0.0.0.0.
std::optional<VersionRecord> VersionRecordOf(const VersionInfoFile& file);

// What diff writes when the patch folder has no version.txt: every key,
// commented out, with what it is for.
std::string VersionInfoTemplate();

}  // namespace brisko::pack
