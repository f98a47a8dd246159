#include "lint/version_info.h"

#include "platform/unicode.h"

namespace brisko::pack {

namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperCase(static_cast<unsigned char>(a[i])) != UpperCase(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace

VersionInfoFile ReadVersionInfo(std::string_view text) {
  VersionInfoFile file;
  if (text.substr(0, 3) == kUtf8Bom) text.remove_prefix(3);
  int number = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (ValidUtf8Length(line) != line.size()) {
      file.notUtf8Line = number;
      return file;
    }
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    const std::size_t colon = trimmed.find(':');
    const std::string_view key = colon == std::string_view::npos ? std::string_view() : Trim(trimmed.substr(0, colon));
    if (key.empty() || key.find_first_of(" \t") != std::string_view::npos) {
      file.malformed.push_back(number);
      continue;
    }
    file.entries.push_back({number, std::string(key), std::string(Trim(trimmed.substr(colon + 1)))});
  }
  return file;
}

const VersionInfoKey* FindVersionInfoKey(std::string_view key) {
  for (const VersionInfoKey& k : kVersionInfoKeys)
    if (SameAscii(key, k.key)) return &k;
  return nullptr;
}

std::optional<VersionNumber> ParseVersionNumber(std::string_view text) {
  VersionNumber version{};
  std::size_t part = 0;
  for (std::size_t at = 0; part < version.size(); ++part) {
    const std::size_t end = std::min(text.find('.', at), text.size());
    const std::string_view digits = text.substr(at, end - at);
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string_view::npos)
      return std::nullopt;
    const unsigned long value = std::stoul(std::string(digits));
    if (value > 0xFFFF) return std::nullopt;
    version[part] = static_cast<std::uint16_t>(value);
    if (end == text.size()) return part == version.size() - 1 ? std::optional<VersionNumber>(version) : std::nullopt;
    at = end + 1;
  }
  return std::nullopt;
}

std::optional<VersionRecord> VersionRecordOf(const VersionInfoFile& file) {
  if (file.entries.empty()) return std::nullopt;
  VersionRecord record;
  std::string version;
  for (const VersionInfoLine& entry : file.entries) {
    const VersionInfoKey* key = FindVersionInfoKey(entry.key);
    if (key && std::string_view(key->key) == kVersionKey) version = entry.value;
  }
  if (const std::optional<VersionNumber> number = ParseVersionNumber(version))
    record.fileVersion = record.productVersion = *number;
  // The strings in the order Explorer's properties list them.
  for (const VersionInfoKey& key : kVersionInfoKeys) {
    for (const VersionInfoLine& entry : file.entries) {
      if (FindVersionInfoKey(entry.key) != &key) continue;
      if (key.string) {
        record.strings.emplace_back(key.string, entry.value);
      } else if (!version.empty()) {
        record.strings.emplace_back("FileVersion", entry.value);
        record.strings.emplace_back("ProductVersion", entry.value);
      }
    }
  }
  return record;
}

std::string VersionInfoTemplate() {
  return "# The installer's version record, which Windows shows in the file's properties\n"
         "# (Details) and Task Manager shows as the program's description. One \"key: value\"\n"
         "# a line, in UTF-8; lines that begin with # are comments. Remove the # before the\n"
         "# lines you fill in; while every line is a comment, the installer keeps the\n"
         "# record of the installer program itself.\n"
         "#\n"
         "# product: the game's name\n"
         "# company: the maker's name\n"
         "# description: what the installer does, such as \"the game's patch to 1.1\"\n"
         "# version: 1.1.0.0 (four numbers from 0 to 65535)\n"
         "# copyright: (C) the year and the maker\n";
}

}  // namespace brisko::pack
