#include "package/version_diff.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "core/format/package_format.h"
#include "core/script/script_lines.h"
#include "core/script/tiny_cnf.h"
#include "core/text/locale.h"
#include "lint/version_info.h"
#include "package/package.h"
#include "platform/mapped_file.h"
#include "platform/native_names.h"

namespace brisko::pack {
namespace {

// Files under `root` by the name a script gives them. A name Shift-JIS
// cannot hold is refused when `strict`, else kept in the system's form
// (it matches nothing of the other version then).
std::map<Text, fs::path> FilesUnder(const fs::path& root, bool strict) {
  std::map<Text, fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    Text name;
    for (const fs::path& part : it->path().lexically_relative(root)) {
      const std::optional<Text> converted = ScriptName(part);
      if (!converted && strict)
        throw PackError(DisplayName(it->path()), "has a name Shift-JIS cannot hold, so no script can name it");
      name += (name.empty() ? "" : "\\") + converted.value_or(part.generic_string());
    }
    files.emplace(std::move(name), it->path());
  }
  if (ec) throw PackError(DisplayName(root), "cannot list: " + ErrorText(ec));
  return files;
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  const MappedFile first(a), second(b);
  return first.bytes() == second.bytes();
}

std::vector<VersionChange> Compare(const std::map<Text, fs::path>& before, const std::map<Text, fs::path>& after) {
  std::vector<VersionChange> changes;
  for (const auto& [name, path] : after) {
    VersionChange c{VersionChange::Kind::Added, name, 0, fs::file_size(path)};
    const auto old = before.find(name);
    if (old != before.end()) {
      c.oldSize = fs::file_size(old->second);
      const bool same = c.oldSize == c.newSize && SameBytes(old->second, path);
      c.kind = same ? VersionChange::Kind::Unchanged : VersionChange::Kind::Changed;
    }
    changes.push_back(c);
  }
  for (const auto& [name, path] : before)
    if (after.count(name) == 0) changes.push_back({VersionChange::Kind::Removed, name, fs::file_size(path), 0});
  std::sort(changes.begin(), changes.end(),
            [](const VersionChange& a, const VersionChange& b) { return a.name < b.name; });
  return changes;
}

// Fills payload/ anew with the files named; the old folder is moved aside
// only once the new one is complete, and back when the new one cannot take
// its place.
void WritePayload(const fs::path& patchDir, const std::vector<Text>& names, const std::map<Text, fs::path>& files) {
  const fs::path payload = patchDir / kPayloadFolderName;
  const std::string tag = ".payload.briskopack-" + std::to_string(CurrentProcessId());
  const fs::path aside = patchDir / (tag + ".old"), fresh = patchDir / (tag + ".new");
  OutputFolder folder(fresh);
  for (const Text& name : names) {
    const fs::path to = NativePath(folder.path(), name);
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    if (!ec) fs::copy_file(files.at(name), to, fs::copy_options::overwrite_existing, ec);
    if (ec) throw PackError(DisplayName(to), "cannot write: " + ErrorText(ec));
  }
  folder.Commit();
  std::error_code ec;
  const bool had = fs::exists(payload, ec);
  if (had) fs::rename(payload, aside, ec);
  if (!ec) fs::rename(fresh, payload, ec);
  if (ec) {
    std::error_code ignored;
    if (had && !fs::exists(payload, ignored)) fs::rename(aside, payload, ignored);
    fs::remove_all(fresh, ignored);
    throw PackError(DisplayName(payload), "cannot replace: " + ErrorText(ec));
  }
  if (had) fs::remove_all(aside, ec);
}

void WriteNewFile(const fs::path& path, const std::string& bytes) {
  OutputFile out(path);
  out.Write(bytes.data(), bytes.size());
  out.Commit();
}

// The program the folder check looks for: a program at the top of both
// versions, else of the new one, else the first file named.
Text ProgramOf(const std::map<Text, fs::path>& before, const std::map<Text, fs::path>& after) {
  auto topProgram = [](const Text& name) {
    return name.find('\\') == Text::npos && name.size() > 4 &&
           TableLocale::ShiftJis().EqualsIgnoreCase(name.substr(name.size() - 4), ".exe");
  };
  for (const auto& [name, path] : after)
    if (topProgram(name) && before.count(name)) return name;
  for (const auto& [name, path] : after)
    if (topProgram(name)) return name;
  return after.empty() ? Text("game.exe") : after.begin()->first;
}

}  // namespace

VersionDiff DiffVersions(const fs::path& oldDir, const fs::path& newDir, const fs::path& patchDir) {
  for (const fs::path& dir : {oldDir, newDir}) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) throw PackError(DisplayName(dir), "is not a folder");
  }
  const std::map<Text, fs::path> before = FilesUnder(oldDir, false), after = FilesUnder(newDir, true);
  VersionDiff diff;
  diff.changes = Compare(before, after);
  std::vector<Text> entries;
  for (const VersionChange& c : diff.changes)
    if (c.kind == VersionChange::Kind::Added || c.kind == VersionChange::Kind::Changed) entries.push_back(c.name);

  std::error_code ec;
  fs::create_directories(patchDir, ec);
  if (ec) throw PackError(DisplayName(patchDir), "cannot create: " + ErrorText(ec));
  WritePayload(patchDir, entries, after);
  const fs::path script = patchDir / kScriptFileName, background = patchDir / kBackgroundFileName;
  diff.newScript = !fs::exists(script, ec);
  if (diff.newScript) {
    const fs::path whole = fs::absolute(newDir).lexically_normal();
    const fs::path folder = whole.has_filename() ? whole.filename() : whole.parent_path().filename();
    WriteNewFile(script, ScriptTemplate(ScriptName(folder).value_or("Application"), ProgramOf(before, after), entries));
  } else {
    WriteNewFile(script, ReplaceOutFiles(ReadWholeFile(script, kMaxScriptSize), entries));
  }
  diff.newBackground = !fs::exists(background, ec);
  if (diff.newBackground) WriteNewFile(background, PlainBackground());
  const fs::path versionInfo = patchDir / kVersionInfoFileName;
  diff.newVersionInfo = !fs::exists(versionInfo, ec);
  if (diff.newVersionInfo) WriteNewFile(versionInfo, VersionInfoTemplate());
  return diff;
}

std::string ReplaceOutFiles(const std::string& script, const std::vector<Text>& entries) {
  std::string items;
  for (const Text& entry : entries) items += "\t" + entry + "\r\n";
  // Where each line starts, and where the next one does, as the installer
  // cuts them.
  const StringList lines = SplitLines(script);
  std::vector<std::size_t> start, next;
  for (std::size_t at = 0; start.size() < lines.size();) {
    start.push_back(at);
    at += lines[start.size() - 1].size();
    if (at < script.size()) at += script.compare(at, 2, "\r\n") == 0 ? 2 : 1;
    next.push_back(at);
  }
  const int key = TTinyCnf(lines, TableLocale::ShiftJis()).FindKey(format::kOutFiles);
  if (key < 0) {
    std::string out = script;
    if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += "\r\n";
    return out + "\r\n" + format::kOutFiles + "\r\n" + items + format::kListEnd + "\r\n";
  }
  std::size_t end = static_cast<std::size_t>(key) + 1;
  while (end < lines.size() && lines[end] != format::kListEnd) ++end;
  const std::size_t from = next[key], to = end < lines.size() ? start[end] : script.size();
  const bool keyEnds = from > start[key] + lines[key].size();
  return script.substr(0, from) + (keyEnds ? "" : "\r\n") + items +
         (end < lines.size() ? "" : std::string(format::kListEnd) + "\r\n") + script.substr(to);
}

std::string ScriptTemplate(const Text& title, const Text& program, const std::vector<Text>& entries) {
  const Text patch = "\x8f\x43\x90\xb3\x83\x70\x83\x62\x83\x60";  // "patch" (a fix), in Shift-JIS
  std::string s;
  auto value = [&](const char* key, const Text& v) { s += std::string(key) + "\r\n\t" + v + "\r\n\r\n"; };
  auto list = [&](const char* key, const std::vector<Text>& items) {
    s += std::string(key) + "\r\n";
    for (const Text& item : items) s += "\t" + item + "\r\n";
    s += std::string(format::kListEnd) + "\r\n\r\n";
  };
  value(format::kPatchType, std::to_string(format::kWritesPayload));
  value(format::kCaption, title + " " + patch);
  value(format::kGameTitle, title);
  list(format::kLinkPath, {title + "\\" + title + ".lnk"});
  list(format::kCheckTargetFilename, {program});
  list(format::kOutFiles, entries);
  s.resize(s.size() - 2);
  return s;
}

std::string PlainBackground() {
  // One colour, run-length coded in 8 bits: a couple of kilobytes rather
  // than the half megabyte of 24 bits, which every player would download.
  std::string pixels;
  for (int y = 0; y < format::kBackgroundHeight; ++y) {
    for (int left = format::kBackgroundWidth; left > 0; left -= 255) {
      pixels += static_cast<char>(std::min(left, 255));
      pixels += '\0';  // palette entry 0
    }
    pixels += std::string("\0\0", 2);  // end of line
  }
  pixels += std::string("\0\1", 2);  // end of bitmap
  const std::uint32_t offset = 14 + 40 + 4, size = static_cast<std::uint32_t>(pixels.size());
  std::string bmp = "BM";
  for (std::uint32_t v : {offset + size, 0u, offset, 40u}) le::Append(bmp, v, 4);
  le::Append(bmp, format::kBackgroundWidth, 4);
  le::Append(bmp, format::kBackgroundHeight, 4);
  le::Append(bmp, 1, 2);
  le::Append(bmp, 8, 2);
  for (std::uint32_t v : {1u /* run-length coded, 8 bits */, size, 2835u, 2835u, 1u, 1u}) le::Append(bmp, v, 4);
  bmp += "\xe0\xd8\xd0";  // a light grey-blue, as blue, green, red
  bmp += '\0';
  return bmp + pixels;
}

}  // namespace brisko::pack
