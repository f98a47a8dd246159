#include "lint/lint.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>

#include "core/format/package_format.h"
#include "core/picture/bitmap.h"
#include "core/script/script_lines.h"
#include "core/script/tiny_cnf.h"
#include "core/script/whole_number.h"
#include "core/text/locale.h"
#include "lint/script_entries.h"
#include "lint/script_outline.h"
#include "lint/version_info.h"
#include "pe/icon_resources.h"
#include "platform/native_names.h"

namespace brisko::pack {

namespace {

const char kUtf8Bom[] = "\xEF\xBB\xBF";

const Locale& ScriptLocale() { return TableLocale::ShiftJis(); }

bool IsInstallerKey(const Text& key) {
  for (const char* k : format::kInstallerKeys)
    if (ScriptLocale().EqualsIgnoreCase(TrimControl(key), k)) return true;
  return false;
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return text;
}

std::string Quote(std::string_view text) { return "\"" + ForDisplay(text) + "\""; }

std::string HexByte(unsigned char b) {
  char s[8];
  std::snprintf(s, sizeof s, "0x%02X", b);
  return s;
}

bool StartsWithBom(const Text& line) { return line.rfind(kUtf8Bom, 0) == 0; }

// The column (from 1) of the first byte that is not valid Shift-JIS, or 0.
std::size_t InvalidShiftJisColumn(const Text& line, unsigned char& bad) {
  for (std::size_t i = 0; i < line.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(line[i]);
    if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) continue;
    if (ScriptLocale().IsLeadByte(b)) {
      const unsigned char t = i + 1 < line.size() ? static_cast<unsigned char>(line[i + 1]) : 0;
      if ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC)) {
        ++i;
        continue;
      }
    }
    bad = b;
    return i + 1;
  }
  return 0;
}

// True when the text is well-formed UTF-8 with at least one multi-byte
// sequence: a script saved in the wrong encoding.
bool LooksLikeUtf8(std::string_view text) {
  bool multiByte = false;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    std::size_t n = 0;
    if (b >= 0x80) {
      if ((b & 0xE0) == 0xC0)
        n = 1;
      else if ((b & 0xF0) == 0xE0)
        n = 2;
      else if ((b & 0xF8) == 0xF0)
        n = 3;
      else
        return false;
    }
    if (i + n >= text.size()) return false;
    for (std::size_t k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    multiByte = multiByte || n > 0;
    i += n + 1;
  }
  return multiByte;
}

// A line outside every section that is not blank, by what it looks like.
struct StrayLine {
  enum class Kind { Terminator, Key, Other };
  Kind kind;
  int line;
  Text trimmed;
};

// A %OutFiles or %LinkPath entry with its line.
using Entry = ScriptEntry;

// What the checks read: the script as the installer reads it, and as its
// author laid it out.
struct Script {
  explicit Script(const LintInput& in) : input(in), lines(SplitLines(in.script)), reader(lines, ScriptLocale()) {
    unmarked = lines;
    if (!unmarked.empty() && StartsWithBom(unmarked[0])) unmarked[0].erase(0, 3);
    outline = Outline(unmarked);
    ClassifyStrayLines();
    outFilesFound = ReadEntries(format::kOutFiles, outFiles);
    linkPathFound = ReadEntries(format::kLinkPath, linkPath);
  }

  // The line (from 1) at which the installer finds `key`, or 0.
  int KeyLine(const char* key) const { return reader.FindKey(key) + 1; }

  // The line of `key`'s value, or the key's own line when the key is the
  // last line and so has no value line.
  int ValueLine(const char* key) const {
    const int line = KeyLine(key);
    return line < static_cast<int>(lines.size()) ? line + 1 : line;
  }

  // What the installer's look-ups give; nullopt when they fail.
  std::optional<Text> Value(const char* key) const {
    Text value;
    if (!reader.GetValue(key, value)) return std::nullopt;
    return value;
  }
  std::optional<StringList> List(const char* key) const {
    StringList items;
    if (!reader.GetList(key, items)) return std::nullopt;
    return items;
  }

  // The lines of the first invalid byte of each line: {line, message}.
  std::vector<std::pair<int, std::string>> InvalidShiftJis() const {
    std::vector<std::pair<int, std::string>> invalid;
    for (std::size_t i = 0; i < unmarked.size(); ++i) {
      unsigned char bad = 0;
      if (const std::size_t column = InvalidShiftJisColumn(unmarked[i], bad))
        invalid.emplace_back(static_cast<int>(i) + 1, "byte " + HexByte(bad) + " in column " + std::to_string(column) +
                                                          " is not valid Shift-JIS");
    }
    return invalid;
  }

  const LintInput& input;
  StringList lines;     // as the installer cuts them
  StringList unmarked;  // the same without a UTF-8 byte-order mark on the first line
  TTinyCnf reader;
  ScriptOutline outline;
  std::vector<StrayLine> strays;
  bool outFilesFound = false;
  std::vector<Entry> outFiles;
  bool linkPathFound = false;
  std::vector<Entry> linkPath;

 private:
  void ClassifyStrayLines() {
    int misplacedUntil = 0;  // lines that follow an indented key belong to it
    for (int line : outline.strayLines) {
      const Text trimmed = TrimControl(unmarked[line - 1]);
      if (line == misplacedUntil + 1 && misplacedUntil != 0) {
        misplacedUntil = line;
      } else if (trimmed == format::kListEnd) {
        strays.push_back({StrayLine::Kind::Terminator, line, trimmed});
      } else if (IsKeyLine(trimmed)) {
        strays.push_back({StrayLine::Kind::Key, line, trimmed});
        misplacedUntil = line;
      } else {
        strays.push_back({StrayLine::Kind::Other, line, trimmed});
      }
    }
  }

  bool ReadEntries(const char* key, std::vector<Entry>& entries) {
    std::optional<std::vector<Entry>> read = ListEntries(reader, key);
    if (read) entries = std::move(*read);
    return read.has_value();
  }
};

// Where a check puts its findings: a line (0 for the whole file) and the
// message.
using Report = std::function<void(int line, std::string message)>;

// ---- the encoding -----------------------------------------------------------

void Utf16(const Script& s, const Report& report) {
  const std::string& bytes = s.input.script;
  if (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0)
    report(1, "the script is saved as UTF-16; the installer reads Shift-JIS: save it as Shift-JIS (code page 932)");
}

void BomHidesKey(const Script& s, const Report& report) {
  if (s.lines.empty() || !StartsWithBom(s.lines[0]) || !IsKeyLine(s.unmarked[0])) return;
  report(1, "the line begins with a UTF-8 byte-order mark, so the installer never finds the key " +
                Quote(s.unmarked[0]) + ": save the script without a byte-order mark");
}

void Bom(const Script& s, const Report& report) {
  if (s.lines.empty() || !StartsWithBom(s.lines[0]) || IsKeyLine(s.unmarked[0])) return;
  report(1, "the script begins with a UTF-8 byte-order mark: save it without one");
}

void NulByte(const Script& s, const Report& report) {
  const std::string& bytes = s.input.script;
  const std::size_t nul = bytes.find('\0');
  if (nul == std::string::npos) return;
  const std::string_view before(bytes.data(), nul);
  int line = static_cast<int>(SplitLines(before).size());
  if (before.empty() || before.back() == '\r' || before.back() == '\n') ++line;
  report(line, "a NUL byte: the installer stops reading the script here");
}

void Utf8(const Script& s, const Report& report) {
  const auto invalid = s.InvalidShiftJis();
  if (!invalid.empty() && LooksLikeUtf8(s.input.script))
    report(invalid.front().first,
           "the script is saved as UTF-8; the installer reads Shift-JIS: save it as Shift-JIS (code page 932)");
}

void InvalidShiftJis(const Script& s, const Report& report) {
  for (auto& [line, message] : s.InvalidShiftJis()) report(line, message);
}

// ---- the layout -------------------------------------------------------------

void StrayTerminator(const Script& s, const Report& report) {
  for (const StrayLine& stray : s.strays)
    if (stray.kind == StrayLine::Kind::Terminator)
      report(stray.line, "this \"%%\" has blanks around it and ends no list");
}

void IndentedKey(const Script& s, const Report& report, bool installerKeys) {
  for (const StrayLine& stray : s.strays)
    if (stray.kind == StrayLine::Kind::Key && IsInstallerKey(stray.trimmed) == installerKeys)
      report(stray.line, "the key line " + Quote(stray.trimmed) +
                             " is indented: the installer never finds it (keys start in the first column)");
}

void StrayText(const Script& s, const Report& report) {
  for (const StrayLine& stray : s.strays)
    if (stray.kind == StrayLine::Kind::Other) report(stray.line, "this line belongs to no section and is never read");
}

void TrailingBlanks(const Script& s, const Report& report, bool installerKeys) {
  for (const OutlineSection& section : s.outline.sections) {
    const Text trimmed = TrimControl(section.key);
    if (trimmed != section.key && IsInstallerKey(trimmed) == installerKeys)
      report(section.keyLine,
             "the key line " + Quote(trimmed) + " carries trailing blanks: the installer never finds it");
  }
}

void RepeatedSection(const Script& s, const Report& report) {
  std::map<std::string, int> firstUse;
  for (const OutlineSection& section : s.outline.sections) {
    auto [first, isNew] = firstUse.emplace(Upper(section.key), section.keyLine);
    if (!isNew)
      report(section.keyLine, "the key " + Quote(TrimControl(section.key)) + " is already used at line " +
                                  std::to_string(first->second) +
                                  ": the installer reads only that section, never this one");
  }
}

// Runs `check` for every section of `kind`.
template <typename Check>
void ForSections(const Script& s, OutlineSection::Kind kind, Check check) {
  for (const OutlineSection& section : s.outline.sections)
    if (section.kind == kind) check(section, TrimControl(section.key));
}

void KeyIsLastLine(const Script& s, const Report& report) {
  ForSections(s, OutlineSection::Kind::Value, [&](const OutlineSection& section, const Text& key) {
    if (section.keyLine == static_cast<int>(s.unmarked.size()))
      report(section.keyLine, "the key " + Quote(key) + " is the last line: its value is empty");
  });
}

void ValueLineMissing(const Script& s, const Report& report) {
  ForSections(s, OutlineSection::Kind::Value, [&](const OutlineSection& section, const Text& key) {
    if (section.keyLine != static_cast<int>(s.unmarked.size()) && section.endLine == section.firstLine)
      report(section.keyLine, "the key " + Quote(key) + " has no value line: the installer reads the next line, " +
                                  Quote(s.unmarked[section.keyLine]) + ", as its value");
  });
}

void IndentedTerminator(const Script& s, const Report& report) {
  ForSections(s, OutlineSection::Kind::List, [&](const OutlineSection& section, const Text& key) {
    for (int line = section.firstLine; line < section.endLine; ++line)
      if (TrimControl(s.unmarked[line - 1]) == format::kListEnd)
        report(line,
               "this \"%%\" is indented: it does not end the list " + Quote(key) + " but is read as one of its items");
  });
}

void ListRunsIntoNextSection(const Script& s, const Report& report) {
  ForSections(s, OutlineSection::Kind::List, [&](const OutlineSection& section, const Text& key) {
    if (section.terminatorLine == 0 && section.endLine - 1 < static_cast<int>(s.unmarked.size()))
      report(section.keyLine, "the list " + Quote(key) + " has no \"%%\" before line " +
                                  std::to_string(section.endLine) + ": the installer reads the section there, " +
                                  Quote(s.unmarked[section.endLine - 1]) +
                                  ", and the lines after it as items of this list");
  });
}

void ListRunsToTheEnd(const Script& s, const Report& report) {
  ForSections(s, OutlineSection::Kind::List, [&](const OutlineSection& section, const Text& key) {
    if (section.terminatorLine == 0 && section.endLine - 1 >= static_cast<int>(s.unmarked.size()))
      report(section.keyLine,
             "the list " + Quote(key) +
                 " has no \"%%\": the installer reads every line to the end of the script as its items");
  });
}

void LowerCaseEscape(const Script& s, const Report& report) {
  for (const OutlineSection& section : s.outline.sections) {
    for (int line = section.firstLine; line < section.endLine; ++line) {
      const Text& text = s.unmarked[line - 1];
      const std::string upper = Upper(text);
      for (const format::Escape& escape : format::kEscapes) {
        const std::string_view e = escape.sequence;
        for (std::size_t at = upper.find(e); at != std::string::npos; at = upper.find(e, at + 1))
          if (text.compare(at, e.size(), e) != 0)
            report(line, "the escape " + Quote(text.substr(at, e.size())) +
                             " is not written in upper case: the installer leaves it as it is (write " +
                             std::string(e) + ")");
      }
    }
  }
}

// ---- the sections the installer reads ---------------------------------------

void NoCaption(const Script& s, const Report& report) {
  if (!s.Value(format::kCaption)) report(0, "no *Caption: the window's caption stays \"FormMain\"");
}

void NoGameTitle(const Script& s, const Report& report) {
  if (!s.Value(format::kGameTitle)) report(0, "no *GameTitle: the folder chooser's prompt names no application");
}

void NoPatchType(const Script& s, const Report& report) {
  if (!s.Value(format::kPatchType))
    report(0, "no *PatchType: the installer writes no files (only *PatchType 1 writes them)");
}

void PatchTypeNotANumber(const Script& s, const Report& report) {
  const auto value = s.Value(format::kPatchType);
  int number = 0;
  if (value && !ParseWholeNumber(*value, number))
    report(s.ValueLine(format::kPatchType),
           "*PatchType " + Quote(*value) + " is not a whole number: the installer takes it as 1");
}

void PatchTypeWritesNothing(const Script& s, const Report& report) {
  const auto value = s.Value(format::kPatchType);
  int number = 0;
  if (value && ParseWholeNumber(*value, number) && number != format::kWritesPayload)
    report(s.ValueLine(format::kPatchType),
           "*PatchType is " + *value + ": the installer writes no files (only *PatchType 1 writes them)");
}

void NoCheckTargetFilename(const Script& s, const Report& report) {
  if (!s.List(format::kCheckTargetFilename))
    report(0, "no %CheckTargetFilename section: the installer stops at start-up");
}

void EmptyCheckTargetFilename(const Script& s, const Report& report) {
  const auto items = s.List(format::kCheckTargetFilename);
  if (items && items->empty())
    report(s.KeyLine(format::kCheckTargetFilename),
           "%CheckTargetFilename has no entries: no folder can pass the installer's folder check");
}

void NoLinkPath(const Script& s, const Report& report) {
  if (!s.linkPathFound) report(0, "no %LinkPath section: the installer stops at start-up");
}

void EmptyLinkPath(const Script& s, const Report& report) {
  if (s.linkPathFound && s.linkPath.empty())
    report(s.KeyLine(format::kLinkPath),
           "%LinkPath has no entries: the installer reports that the application is not installed");
}

void BlankLinkPathEntry(const Script& s, const Report& report) {
  for (const Entry& entry : s.linkPath)
    if (entry.text.empty())
      report(entry.line, "a blank %LinkPath entry: the installer's start-up fails with an error when it reaches it");
}

void NoOutFiles(const Script& s, const Report& report) {
  if (!s.outFilesFound && InstallerPatchType(s.input.script) == format::kWritesPayload)
    report(0, "no %OutFiles section while *PatchType is 1: the installer stops at start-up");
}

void AbsoluteOutputName(const Script& s, const Report& report) {
  for (const Entry& entry : s.outFiles)
    if (IsAbsoluteScriptPath(entry.text))
      report(entry.line,
             "the output name " + Quote(entry.text) + " is absolute: it must be relative to the target folder");
}

void ClimbingOutputName(const Script& s, const Report& report) {
  for (const Entry& entry : s.outFiles)
    if (!IsAbsoluteScriptPath(entry.text) && ClimbsOutOfFolder(entry.text))
      report(entry.line,
             "the output name " + Quote(entry.text) + " climbs out of the target folder (with \"..\" or a drive)");
}

// The non-blank %OutFiles entries that stay inside the target folder.
std::vector<Entry> SafeOutFiles(const Script& s) {
  std::vector<Entry> safe;
  for (const Entry& entry : s.outFiles)
    if (!entry.text.empty() && StaysInsideFolder(entry.text)) safe.push_back(entry);
  return safe;
}

// Runs `check` for each entry that names the same destination as an entry
// before it, with the first such entry.
template <typename Check>
void ForRepeatedOutputs(const Script& s, Check check) {
  std::map<std::u32string, Entry> first;
  for (const Entry& entry : SafeOutFiles(s)) {
    auto [earlier, isNew] = first.emplace(DestinationKey(entry.text), entry);
    if (!isNew) check(earlier->second, entry);
  }
}

void RepeatedOutputName(const Script& s, const Report& report) {
  if (!s.input.from.empty()) return;  // an error then, below
  ForRepeatedOutputs(s, [&](const Entry& earlier, const Entry& entry) {
    report(entry.line, "the output name " + Quote(entry.text) + " repeats line " + std::to_string(earlier.line) +
                           ": the later file replaces the earlier one");
  });
}

// A patch made from earlier versions checks every destination against them
// before it writes: a second entry for the same file is checked against the
// earlier version too, and fails once the first has replaced it.
void RepeatedOutputNameWithFrom(const Script& s, const Report& report) {
  if (s.input.from.empty()) return;
  ForRepeatedOutputs(s, [&](const Entry& earlier, const Entry& entry) {
    report(entry.line, "the output name " + Quote(entry.text) + " names the same file as line " +
                           std::to_string(earlier.line) +
                           ": the installer checks both against the earlier version, and the second fails once the "
                           "first has replaced it");
  });
}

// Runs `check` with the status of each payload file, when the payload folder
// is to be checked.
template <typename Check>
void ForPayloadFiles(const Script& s, Check check) {
  if (!s.input.payloadFolder) return;
  for (const Entry& entry : SafeOutFiles(s)) {
    const fs::path path = FindScriptFile(*s.input.payloadFolder, entry.text);
    std::error_code ec;
    check(entry, path, fs::status(path, ec));
  }
}

void MissingPayload(const Script& s, const Report& report) {
  ForPayloadFiles(s, [&](const Entry& entry, const fs::path& path, const fs::file_status& status) {
    if (!fs::exists(status)) report(entry.line, "the payload file " + DisplayName(path) + " is missing");
  });
}

void PayloadIsAFolder(const Script& s, const Report& report) {
  ForPayloadFiles(s, [&](const Entry& entry, const fs::path& path, const fs::file_status& status) {
    if (fs::is_directory(status)) report(entry.line, "the payload " + DisplayName(path) + " is a folder, not a file");
  });
}

// ---- the releases of --from --------------------------------------------------

// Runs `check` with each entry's file in each release folder.
template <typename Check>
void ForReleaseFiles(const Script& s, Check check) {
  for (const Entry& entry : SafeOutFiles(s))
    for (const fs::path& release : s.input.from) {
      const fs::path path = FindScriptFile(release, entry.text);
      std::error_code ec;
      check(entry, release, path, fs::status(path, ec));
    }
}

void ReleaseLacksSource(const Script& s, const Report& report) {
  for (const Entry& entry : SafeOutFiles(s)) {
    std::vector<std::string> lacking;
    for (const fs::path& release : s.input.from) {
      std::error_code ec;
      if (!fs::exists(FindScriptFile(release, entry.text), ec)) lacking.push_back(DisplayName(release));
    }
    if (!lacking.empty() && lacking.size() < s.input.from.size())
      report(entry.line, Quote(entry.text) + " is not in " + lacking[0] +
                             (lacking.size() > 1 ? " and " + std::to_string(lacking.size() - 1) + " more" : "") +
                             ": it is stored whole, not as a delta, so that those releases get it too");
  }
}

void ReleaseHasFolder(const Script& s, const Report& report) {
  ForReleaseFiles(s, [&](const Entry& entry, const fs::path&, const fs::path& path, const fs::file_status& status) {
    if (fs::is_directory(status))
      report(entry.line, DisplayName(path) + " is a folder: the installer cannot write " + Quote(entry.text) +
                             " over it in that release");
  });
}

// The installer makes no folder: an entry in a folder that a release lacks
// (a new folder of the new version, as diff finds it) fails there, after
// the entries before it have been written.
void ReleaseLacksFolder(const Script& s, const Report& report) {
  ForReleaseFiles(s, [&](const Entry& entry, const fs::path&, const fs::path& path, const fs::file_status&) {
    std::error_code ec;
    if (!fs::is_directory(path.parent_path(), ec))
      report(entry.line, DisplayName(path.parent_path()) + " does not exist: the installer makes no folder, so " +
                             Quote(entry.text) + " cannot be written in that release");
  });
}

void ReleaseWithoutProgram(const Script& s, const Report& report) {
  const auto programs = s.List(format::kCheckTargetFilename);
  if (!programs || programs->empty()) return;
  for (const fs::path& release : s.input.from) {
    std::error_code ec;
    const bool found = std::any_of(programs->begin(), programs->end(), [&](const Text& program) {
      return fs::is_regular_file(FindScriptFile(release, program), ec);
    });
    if (!found)
      report(s.KeyLine(format::kCheckTargetFilename),
             DisplayName(release) + " holds none of the %CheckTargetFilename files: is it the application's folder?");
  }
}

// ---- the background ---------------------------------------------------------

void BackgroundNotABitmap(const Script& s, const Report& report) {
  if (!s.input.backgroundProblem.empty()) return report(0, s.input.backgroundProblem);
  Bitmap bitmap;
  if (!DecodeBitmapFile(s.input.background->second, bitmap))
    report(0, "not a valid bitmap file: the installer's start-up fails on it");
}

void BackgroundSize(const Script& s, const Report& report) {
  if (!s.input.backgroundProblem.empty()) return;
  Bitmap bitmap;
  if (!DecodeBitmapFile(s.input.background->second, bitmap)) return;
  if (bitmap.width != format::kBackgroundWidth || bitmap.height != format::kBackgroundHeight)
    report(0, "the background is " + std::to_string(bitmap.width) + " x " + std::to_string(bitmap.height) +
                  "; the window shows " + std::to_string(format::kBackgroundWidth) + " x " +
                  std::to_string(format::kBackgroundHeight) + " of it");
}

// ---- the icon ---------------------------------------------------------------

// The sizes Windows shows a program's icon in: the window's title and the
// small icons (16), Alt+Tab and the desktop (32, 48), large views (256).
constexpr int kIconSizes[] = {16, 32, 48, 256};

void IconNotAnIcon(const Script& s, const Report& report) {
  const IconFile icon = ReadIconFile(s.input.icon->second);
  if (!icon.problem.empty()) report(0, "not a valid icon file (" + icon.problem + "): the installer would have none");
}

void IconMissingSize(const Script& s, const Report& report) {
  const IconFile icon = ReadIconFile(s.input.icon->second);
  if (!icon.problem.empty()) return;
  std::string missing;
  for (int side : kIconSizes) {
    const bool found = std::any_of(icon.images.begin(), icon.images.end(),
                                   [&](const IconImage& image) { return image.width == side && image.height == side; });
    if (!found) missing += (missing.empty() ? "" : ", ") + std::to_string(side) + " x " + std::to_string(side);
  }
  if (!missing.empty())
    report(0, "the icon has no image of " + missing + ": Windows scales another one to that size, blurred");
}

// ---- the version record -----------------------------------------------------

std::string QuoteUtf8(std::string_view text) { return "\"" + std::string(text) + "\""; }

VersionInfoFile VersionInfo(const Script& s) { return ReadVersionInfo(s.input.versionInfo->second); }

void VersionNotUtf8(const Script& s, const Report& report) {
  if (const int line = VersionInfo(s).notUtf8Line)
    report(line, "this line is not UTF-8: save the version record as UTF-8");
}

void VersionMalformedLine(const Script& s, const Report& report) {
  for (int line : VersionInfo(s).malformed)
    report(line, "this line is neither blank, a comment (#) nor \"key: value\"");
}

void VersionUnknownKey(const Script& s, const Report& report) {
  std::string known;
  for (const VersionInfoKey& key : kVersionInfoKeys) known += (known.empty() ? "" : ", ") + std::string(key.key);
  for (const VersionInfoLine& entry : VersionInfo(s).entries)
    if (!FindVersionInfoKey(entry.key)) report(entry.line, "the key " + QuoteUtf8(entry.key) + " is none of " + known);
}

void VersionRepeatedKey(const Script& s, const Report& report) {
  std::map<const VersionInfoKey*, int> first;
  for (const VersionInfoLine& entry : VersionInfo(s).entries) {
    const VersionInfoKey* key = FindVersionInfoKey(entry.key);
    if (!key) continue;
    const auto [earlier, isNew] = first.emplace(key, entry.line);
    if (!isNew)
      report(entry.line, "the key " + QuoteUtf8(entry.key) + " is already given at line " +
                             std::to_string(earlier->second) + ": a record holds each once");
  }
}

void VersionBadNumber(const Script& s, const Report& report) {
  for (const VersionInfoLine& entry : VersionInfo(s).entries) {
    const VersionInfoKey* key = FindVersionInfoKey(entry.key);
    if (key && std::string_view(key->key) == kVersionKey && !ParseVersionNumber(entry.value))
      report(entry.line, "the version " + QuoteUtf8(entry.value) +
                             " is not four whole numbers from 0 to 65535 with dots between them (1.2.0.0)");
  }
}

void VersionMissingNumber(const Script& s, const Report& report) {
  const VersionInfoFile file = VersionInfo(s);
  const bool has = std::any_of(file.entries.begin(), file.entries.end(), [](const VersionInfoLine& entry) {
    const VersionInfoKey* key = FindVersionInfoKey(entry.key);
    return key && std::string_view(key->key) == kVersionKey;
  });
  if (!file.entries.empty() && !has) report(0, "no version: the record says 0.0.0.0");
}

// ---- the table --------------------------------------------------------------

// What a check looks at. A check that stops the checks of its file finds it
// in another encoding, where the rest would only add noise.
enum class Subject { Script, ScriptStop, Background, Icon, VersionInfo, VersionInfoStop };

struct Check {
  FindingKind kind;
  Subject subject;
  void (*run)(const Script&, const Report&);
};

constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;

// In the order of their findings on one line.
const Check kChecks[] = {
    {{"utf16-script", E}, Subject::ScriptStop, Utf16},
    {{"bom-hides-key", E}, Subject::Script, BomHidesKey},
    {{"bom", W}, Subject::Script, Bom},
    {{"nul-byte", E}, Subject::Script, NulByte},
    {{"utf8-script", E}, Subject::ScriptStop, Utf8},
    {{"invalid-shift-jis", E}, Subject::Script, InvalidShiftJis},
    {{"stray-terminator", W}, Subject::Script, StrayTerminator},
    {{"indented-key", E}, Subject::Script, [](const Script& s, const Report& r) { IndentedKey(s, r, true); }},
    {{"indented-other-key", W}, Subject::Script, [](const Script& s, const Report& r) { IndentedKey(s, r, false); }},
    {{"stray-line", W}, Subject::Script, StrayText},
    {{"key-trailing-blanks", E}, Subject::Script, [](const Script& s, const Report& r) { TrailingBlanks(s, r, true); }},
    {{"other-key-trailing-blanks", W},
     Subject::Script,
     [](const Script& s, const Report& r) { TrailingBlanks(s, r, false); }},
    {{"repeated-section", W}, Subject::Script, RepeatedSection},
    {{"key-last-line", W}, Subject::Script, KeyIsLastLine},
    {{"value-line-missing", E}, Subject::Script, ValueLineMissing},
    {{"indented-terminator", E}, Subject::Script, IndentedTerminator},
    {{"list-runs-into-next-section", E}, Subject::Script, ListRunsIntoNextSection},
    {{"list-runs-to-end", E}, Subject::Script, ListRunsToTheEnd},
    {{"lower-case-escape", W}, Subject::Script, LowerCaseEscape},
    {{"no-caption", W}, Subject::Script, NoCaption},
    {{"no-game-title", W}, Subject::Script, NoGameTitle},
    {{"no-patch-type", W}, Subject::Script, NoPatchType},
    {{"patch-type-not-a-number", E}, Subject::Script, PatchTypeNotANumber},
    {{"patch-type-writes-nothing", W}, Subject::Script, PatchTypeWritesNothing},
    {{"no-check-target-filename", E}, Subject::Script, NoCheckTargetFilename},
    {{"empty-check-target-filename", W}, Subject::Script, EmptyCheckTargetFilename},
    {{"no-link-path", E}, Subject::Script, NoLinkPath},
    {{"empty-link-path", E}, Subject::Script, EmptyLinkPath},
    {{"blank-link-path-entry", E}, Subject::Script, BlankLinkPathEntry},
    {{"no-out-files", E}, Subject::Script, NoOutFiles},
    {{"absolute-output-name", E}, Subject::Script, AbsoluteOutputName},
    {{"climbing-output-name", E}, Subject::Script, ClimbingOutputName},
    {{"repeated-output-name", W}, Subject::Script, RepeatedOutputName},
    {{"repeated-output-name-with-from", E}, Subject::Script, RepeatedOutputNameWithFrom},
    {{"missing-payload", E}, Subject::Script, MissingPayload},
    {{"payload-is-a-folder", E}, Subject::Script, PayloadIsAFolder},
    {{"release-lacks-file", W}, Subject::Script, ReleaseLacksSource},
    {{"release-has-folder", E}, Subject::Script, ReleaseHasFolder},
    {{"release-lacks-folder", W}, Subject::Script, ReleaseLacksFolder},
    {{"release-without-program", W}, Subject::Script, ReleaseWithoutProgram},
    {{"background-not-a-bitmap", E}, Subject::Background, BackgroundNotABitmap},
    {{"background-size", W}, Subject::Background, BackgroundSize},
    {{"icon-not-an-icon", E}, Subject::Icon, IconNotAnIcon},
    {{"icon-missing-size", W}, Subject::Icon, IconMissingSize},
    {{"version-record-not-utf8", E}, Subject::VersionInfoStop, VersionNotUtf8},
    {{"version-record-malformed-line", E}, Subject::VersionInfo, VersionMalformedLine},
    {{"version-record-unknown-key", E}, Subject::VersionInfo, VersionUnknownKey},
    {{"version-record-repeated-key", E}, Subject::VersionInfo, VersionRepeatedKey},
    {{"version-record-bad-version", E}, Subject::VersionInfo, VersionBadNumber},
    {{"version-record-no-version", W}, Subject::VersionInfo, VersionMissingNumber},
};

// The file whose findings a check reports, in the order their findings are
// listed; nullptr when that file is not checked.
const std::string* FileOf(Subject subject, const LintInput& input) {
  switch (subject) {
    case Subject::Script:
    case Subject::ScriptStop: return &input.scriptName;
    case Subject::Background: return input.background ? &input.background->first : nullptr;
    case Subject::Icon: return input.icon ? &input.icon->first : nullptr;
    case Subject::VersionInfo:
    case Subject::VersionInfoStop: return input.versionInfo ? &input.versionInfo->first : nullptr;
  }
  return nullptr;
}

bool Stops(Subject subject) { return subject == Subject::ScriptStop || subject == Subject::VersionInfoStop; }

}  // namespace

std::string FormatFinding(const Finding& f) {
  std::string out = f.file;
  if (f.line > 0) out += ":" + std::to_string(f.line);
  out += f.severity == Severity::Error ? ": error: " : ": warning: ";
  return out + f.message;
}

std::vector<FindingKind> FindingKinds() {
  std::vector<FindingKind> kinds;
  for (const Check& check : kChecks) kinds.push_back(check.kind);
  return kinds;
}

std::vector<Finding> Lint(const LintInput& input) {
  const Script script(input);
  std::vector<Finding> findings;
  std::vector<const std::string*> files, stopped;  // in the order first checked
  for (const Check& check : kChecks) {
    const std::string* file = FileOf(check.subject, input);
    if (!file || std::find(stopped.begin(), stopped.end(), file) != stopped.end()) continue;
    if (std::find(files.begin(), files.end(), file) == files.end()) files.push_back(file);
    const std::size_t before = findings.size();
    check.run(script, [&](int line, std::string message) {
      findings.push_back({check.kind.severity, *file, line, std::move(message), check.kind.name});
    });
    if (Stops(check.subject) && findings.size() > before) stopped.push_back(file);
  }
  // File by file, each in the order of its lines.
  const auto rank = [&](const Finding& f) {
    return std::find_if(files.begin(), files.end(), [&](const std::string* file) { return *file == f.file; }) -
           files.begin();
  };
  std::stable_sort(findings.begin(), findings.end(), [&](const Finding& a, const Finding& b) {
    return rank(a) != rank(b) ? rank(a) < rank(b) : a.line < b.line;
  });
  return findings;
}

bool HasErrors(const std::vector<Finding>& findings) {
  return std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.severity == Severity::Error; });
}

int InstallerPatchType(const std::string& script) {
  const TTinyCnf reader(SplitLines(script), ScriptLocale());
  Text value;
  if (!reader.GetValue(format::kPatchType, value)) return format::kNoPatchType;
  return format::PatchTypeFromValue(value);
}

}  // namespace brisko::pack
