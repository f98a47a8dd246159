#include "lint.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "core/bitmap.h"
#include "core/errors.h"
#include "core/locale.h"
#include "core/script_lines.h"
#include "core/tiny_cnf.h"
#include "core/whole_number.h"
#include "native_names.h"
#include "script_outline.h"

namespace brisko::pack {

namespace {

constexpr int kWindowWidth = 600;
constexpr int kWindowHeight = 300;
const char kUtf8Bom[] = "\xEF\xBB\xBF";

// The keys the installer looks up.
const char* const kInstallerKeys[] = {"*Caption",  "*GameTitle", "*PatchType", "%CheckTargetFilename",
                                      "%LinkPath", "%OutFiles"};

const Locale& ScriptLocale() { return TableLocale::ShiftJis(); }

bool IsInstallerKey(const Text& key) {
  for (const char* k : kInstallerKeys)
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

// The column (from 1) of the first byte that is not valid Shift-JIS, or 0.
std::size_t InvalidShiftJisColumn(const Text& line, unsigned char& bad) {
  for (std::size_t i = 0; i < line.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(line[i]);
    if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) continue;
    if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
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
      if ((b & 0xE0) == 0xC0) n = 1;
      else if ((b & 0xF0) == 0xE0) n = 2;
      else if ((b & 0xF8) == 0xF0) n = 3;
      else return false;
    }
    if (i + n >= text.size()) return false;
    for (std::size_t k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    multiByte = multiByte || n > 0;
    i += n + 1;
  }
  return multiByte;
}

class Linter {
 public:
  explicit Linter(const LintInput& input)
      : input_(input), lines_(SplitLines(input.script)), reader_(lines_, ScriptLocale()) {}

  std::vector<Finding> Run() {
    if (CheckEncoding()) {
      CheckLayout();
      CheckSections();
    }
    CheckBackground();
    std::stable_sort(findings_.begin(), findings_.end(), [&](const Finding& a, const Finding& b) {
      const bool aScript = a.file == input_.scriptName, bScript = b.file == input_.scriptName;
      if (aScript != bScript) return aScript;
      return a.line < b.line;
    });
    return std::move(findings_);
  }

 private:
  void Add(Severity severity, int line, std::string message, const std::string* file = nullptr) {
    findings_.push_back({severity, file ? *file : input_.scriptName, line, std::move(message)});
  }
  void Error(int line, std::string message) { Add(Severity::Error, line, std::move(message)); }
  void Warning(int line, std::string message) { Add(Severity::Warning, line, std::move(message)); }
  void ErrorOrWarning(bool error, int line, std::string message) {
    Add(error ? Severity::Error : Severity::Warning, line, std::move(message));
  }

  // False when the script is not a Shift-JIS text at all and the other
  // checks would only add noise.
  bool CheckEncoding() {
    const std::string& bytes = input_.script;
    if (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0) {
      Error(1, "the script is saved as UTF-16; the installer reads Shift-JIS: save it as Shift-JIS (code page 932)");
      return false;
    }
    if (!lines_.empty() && lines_[0].rfind(kUtf8Bom, 0) == 0) {
      const Text rest = lines_[0].substr(3);
      if (IsKeyLine(rest))
        Error(1, "the line begins with a UTF-8 byte-order mark, so the installer never finds the key " +
                     Quote(rest) + ": save the script without a byte-order mark");
      else
        Warning(1, "the script begins with a UTF-8 byte-order mark: save it without one");
    }
    const std::size_t nul = bytes.find('\0');
    if (nul != std::string::npos) {
      const std::string_view before(bytes.data(), nul);
      int line = static_cast<int>(SplitLines(before).size());
      if (before.empty() || before.back() == '\r' || before.back() == '\n') ++line;
      Error(line, "a NUL byte: the installer stops reading the script here");
    }
    std::vector<std::pair<int, std::string>> invalid;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      unsigned char bad = 0;
      Text line = lines_[i];
      if (i == 0 && line.rfind(kUtf8Bom, 0) == 0) line.erase(0, 3);
      if (const std::size_t column = InvalidShiftJisColumn(line, bad))
        invalid.emplace_back(static_cast<int>(i) + 1, "byte " + HexByte(bad) + " in column " +
                                                          std::to_string(column) + " is not valid Shift-JIS");
    }
    if (!invalid.empty() && LooksLikeUtf8(bytes)) {
      Error(invalid.front().first,
            "the script is saved as UTF-8; the installer reads Shift-JIS: save it as Shift-JIS (code page 932)");
      return false;
    }
    for (auto& [line, message] : invalid) Error(line, message);
    return true;
  }

  void CheckLayout() {
    StringList lines = lines_;
    if (!lines.empty() && lines[0].rfind(kUtf8Bom, 0) == 0) lines[0].erase(0, 3);
    const ScriptOutline outline = Outline(lines);

    int misplacedUntil = 0;  // lines that follow an indented key belong to it
    for (int line : outline.strayLines) {
      const Text trimmed = TrimControl(lines[line - 1]);
      if (line == misplacedUntil + 1 && misplacedUntil != 0) {
        misplacedUntil = line;
      } else if (trimmed == "%%") {
        Warning(line, "this \"%%\" has blanks around it and ends no list");
      } else if (IsKeyLine(trimmed)) {
        ErrorOrWarning(IsInstallerKey(trimmed), line,
                       "the key line " + Quote(trimmed) +
                           " is indented: the installer never finds it (keys start in the first column)");
        misplacedUntil = line;
      } else {
        Warning(line, "this line belongs to no section and is never read");
      }
    }

    std::map<std::string, int> firstUse;
    for (const OutlineSection& s : outline.sections) {
      const Text trimmed = TrimControl(s.key);
      if (trimmed != s.key)
        ErrorOrWarning(IsInstallerKey(trimmed), s.keyLine,
                       "the key line " + Quote(trimmed) +
                           " carries trailing blanks: the installer never finds it");
      auto [first, isNew] = firstUse.emplace(Upper(s.key), s.keyLine);
      if (!isNew)
        Warning(s.keyLine, "the key " + Quote(trimmed) + " is already used at line " +
                               std::to_string(first->second) +
                               ": the installer reads only that section, never this one");

      const int count = static_cast<int>(lines.size());
      if (s.kind == OutlineSection::Kind::Value) {
        if (s.keyLine == count)
          Warning(s.keyLine, "the key " + Quote(trimmed) + " is the last line: its value is empty");
        else if (s.endLine == s.firstLine)
          Error(s.keyLine, "the key " + Quote(trimmed) + " has no value line: the installer reads the next line, " +
                               Quote(lines[s.keyLine]) + ", as its value");
      } else {
        for (int line = s.firstLine; line < s.endLine; ++line)
          if (TrimControl(lines[line - 1]) == "%%")
            Error(line, "this \"%%\" is indented: it does not end the list " + Quote(trimmed) +
                            " but is read as one of its items");
        if (s.terminatorLine == 0 && s.endLine - 1 < count)
          Error(s.keyLine, "the list " + Quote(trimmed) + " has no \"%%\" before line " +
                               std::to_string(s.endLine) + ": the installer reads the section there, " +
                               Quote(lines[s.endLine - 1]) + ", and the lines after it as items of this list");
        else if (s.terminatorLine == 0)
          Error(s.keyLine, "the list " + Quote(trimmed) +
                               " has no \"%%\": the installer reads every line to the end of the script as its items");
      }
      CheckEscapes(lines, s.firstLine, s.endLine);
    }
  }

  void CheckEscapes(const StringList& lines, int first, int end) {
    static const char* const kEscapes[] = {"&AMPERSAND;", "&TAB;", "&SPACE;", "&ASTERISK;", "&PERCENT;"};
    for (int line = first; line < end; ++line) {
      const Text& text = lines[line - 1];
      const std::string upper = Upper(text);
      for (const char* escape : kEscapes) {
        const std::string_view e(escape);
        for (std::size_t at = upper.find(e); at != std::string::npos; at = upper.find(e, at + 1))
          if (text.compare(at, e.size(), e) != 0)
            Warning(line, "the escape " + Quote(text.substr(at, e.size())) +
                              " is not written in upper case: the installer leaves it as it is (write " +
                              std::string(e) + ")");
      }
    }
  }

  // The line (from 1) at which the reader finds `key`, or 0.
  int KeyLine(const char* key) const {
    for (std::size_t i = 0; i < lines_.size(); ++i)
      if (ScriptLocale().EqualsIgnoreCase(lines_[i], key)) return static_cast<int>(i) + 1;
    return 0;
  }

  // The line of `key`'s value, or the key's own line when the key is the
  // last line and so has no value line.
  int ValueLine(const char* key) const {
    const int line = KeyLine(key);
    return line < static_cast<int>(lines_.size()) ? line + 1 : line;
  }

  void CheckSections() {
    Text value;
    if (!reader_.GetValue("*Caption", value)) Warning(0, "no *Caption: the window's caption stays \"FormMain\"");
    if (!reader_.GetValue("*GameTitle", value))
      Warning(0, "no *GameTitle: the folder chooser's prompt names no application");

    const int patchType = InstallerPatchType(input_.script);
    if (!reader_.GetValue("*PatchType", value)) {
      Warning(0, "no *PatchType: the installer writes no files (only *PatchType 1 writes them)");
    } else {
      int number = 0;
      if (!ParseWholeNumber(value, number))
        Error(ValueLine("*PatchType"),
              "*PatchType " + Quote(value) + " is not a whole number: the installer takes it as 1");
      else if (number != 1)
        Warning(ValueLine("*PatchType"),
                "*PatchType is " + value + ": the installer writes no files (only *PatchType 1 writes them)");
    }

    StringList items;
    if (!reader_.GetList("%CheckTargetFilename", items))
      Error(0, "no %CheckTargetFilename section: the installer stops at start-up");
    else if (items.empty())
      Warning(KeyLine("%CheckTargetFilename"),
              "%CheckTargetFilename has no entries: no folder can pass the installer's folder check");

    if (!reader_.GetList("%LinkPath", items)) {
      Error(0, "no %LinkPath section: the installer stops at start-up");
    } else if (items.empty()) {
      Error(KeyLine("%LinkPath"), "%LinkPath has no entries: the installer reports that the application is "
                                  "not installed");
    } else {
      const int key = KeyLine("%LinkPath");
      for (std::size_t j = 0; j < items.size(); ++j)
        if (items[j].empty())
          Error(key + 1 + static_cast<int>(j),
                "a blank %LinkPath entry: the installer's start-up fails with an error when it reaches it");
    }

    if (!reader_.GetList("%OutFiles", items)) {
      if (patchType == 1) Error(0, "no %OutFiles section while *PatchType is 1: the installer stops at start-up");
      return;
    }
    const int key = KeyLine("%OutFiles");
    std::vector<std::pair<Text, int>> seen;
    for (std::size_t j = 0; j < items.size(); ++j) {
      const Text& name = items[j];
      const int line = key + 1 + static_cast<int>(j);
      if (name.empty()) continue;
      if (IsAbsoluteScriptPath(name)) {
        Error(line, "the output name " + Quote(name) + " is absolute: it must be relative to the target folder");
        continue;
      }
      const auto parts = SplitScriptPath(name);
      if (std::find(parts.begin(), parts.end(), "..") != parts.end()) {
        Error(line, "the output name " + Quote(name) + " climbs out of the target folder with \"..\"");
        continue;
      }
      for (const auto& [other, otherLine] : seen)
        if (ScriptLocale().EqualsIgnoreCase(other, name))
          Warning(line, "the output name " + Quote(name) + " repeats line " + std::to_string(otherLine) +
                            ": the later file replaces the earlier one");
      seen.emplace_back(name, line);
      if (input_.payloadFolder) CheckPayloadFile(name, line);
    }
  }

  void CheckPayloadFile(const Text& name, int line) {
    const fs::path path = FindScriptFile(*input_.payloadFolder, name);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status))
      Error(line, "the payload file " + DisplayName(path) + " is missing");
    else if (fs::is_directory(status))
      Error(line, "the payload " + DisplayName(path) + " is a folder, not a file");
  }

  void CheckBackground() {
    if (!input_.background) return;
    const auto& [name, bytes] = *input_.background;
    try {
      const Bitmap bitmap = DecodeBitmapFile(bytes);
      if (bitmap.width != kWindowWidth || bitmap.height != kWindowHeight)
        Add(Severity::Warning, 0,
            "the background is " + std::to_string(bitmap.width) + " x " + std::to_string(bitmap.height) +
                "; the window shows 600 x 300 of it",
            &name);
    } catch (const brisko::Error&) {
      Add(Severity::Error, 0, "not a valid bitmap file: the installer's start-up fails on it", &name);
    }
  }

  const LintInput& input_;
  StringList lines_;
  TTinyCnf reader_;
  std::vector<Finding> findings_;
};

}  // namespace

std::string FormatFinding(const Finding& f) {
  std::string out = f.file;
  if (f.line > 0) out += ":" + std::to_string(f.line);
  out += f.severity == Severity::Error ? ": error: " : ": warning: ";
  return out + f.message;
}

std::vector<Finding> Lint(const LintInput& input) { return Linter(input).Run(); }

bool HasErrors(const std::vector<Finding>& findings) {
  return std::any_of(findings.begin(), findings.end(),
                     [](const Finding& f) { return f.severity == Severity::Error; });
}

int InstallerPatchType(const std::string& script) {
  const TTinyCnf reader(SplitLines(script), ScriptLocale());
  Text value;
  if (!reader.GetValue("*PatchType", value)) return 0;
  int number = 0;
  return ParseWholeNumber(value, number) ? number : 1;
}

}  // namespace brisko::pack
