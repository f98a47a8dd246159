#include "lint/lint.h"

#include <gtest/gtest.h>

#include <sstream>

#include "pack_test_util.h"

namespace brisko::pack {
namespace {

using test::Script;

struct Expected {
  Severity severity;
  int line;
  const char* fragment;
};

struct LintCase {
  const char* name;
  std::string script;
  std::vector<Expected> findings;
  // Linted for a patch made from one earlier release (which holds the
  // program t.exe and a folder d, and none of the entries).
  bool withFrom = false;
};

constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;

// The smallest script that passes: lines 1-15.
std::string Minimal(const char* patchType = "1") {
  return Script({"*PatchType", patchType, "*Caption", "c", "*GameTitle", "g", "%LinkPath", "a.lnk", "%%",
                 "%CheckTargetFilename", "t.exe", "%%", "%OutFiles", "f.dat", "%%"});
}

// Minimal() with line `line` (from 1) replaced by `text`, or removed when
// `text` is null.
std::string Change(int line, const char* text) {
  const std::string m = Minimal();
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < m.size();) {
    const std::size_t end = m.find("\r\n", at);
    lines.push_back(m.substr(at, end - at));
    at = end + 2;
  }
  if (text) {
    lines[line - 1] = text;
  } else {
    lines.erase(lines.begin() + (line - 1));
  }
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

std::string OutFiles(std::initializer_list<const char*> names) {
  std::string text = Script({"*PatchType", "1", "*Caption", "c", "*GameTitle", "g", "%LinkPath", "a.lnk", "%%",
                             "%CheckTargetFilename", "t.exe", "%%", "%OutFiles"});
  for (const char* n : names) text += std::string(n) + "\r\n";
  return text + "%%\r\n";
}

class LintScript : public ::testing::TestWithParam<LintCase> {};

TEST_P(LintScript, ReportsExactlyTheExpectedFindings) {
  LintInput input;
  input.scriptName = "script.txt";
  input.script = GetParam().script;
  test::TempDir release;
  if (GetParam().withFrom) {
    test::WriteFile(release / "t.exe", "program");
    std::filesystem::create_directories(release / "d");
    input.from = {release.path()};
  }
  const std::vector<Finding> found = Lint(input);
  std::string all;
  for (const Finding& f : found) all += FormatFinding(f) + "\n";
  ASSERT_EQ(found.size(), GetParam().findings.size()) << all;
  for (std::size_t i = 0; i < found.size(); ++i) {
    const Expected& want = GetParam().findings[i];
    EXPECT_EQ(found[i].severity, want.severity) << all;
    EXPECT_EQ(found[i].line, want.line) << all;
    EXPECT_NE(found[i].message.find(want.fragment), std::string::npos) << all;
    EXPECT_EQ(found[i].file, "script.txt");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Findings, LintScript,
    ::testing::Values(
        LintCase{"MinimalScriptIsClean", Minimal(), {}},
        LintCase{"ExampleShapeIsClean", test::CleanScript({"\tpatch.dat", "", "\tsub\\readme.txt"}), {}},
        LintCase{"LfLineEndsAreFine", "*PatchType\n1\n*Caption\nc\n*GameTitle\ng\n%LinkPath\na\n%%\n"
                                      "%CheckTargetFilename\nt\n%%\n%OutFiles\nf\n%%",
                 {}},
        LintCase{"ByteOrderMarkHidesFirstKey",
                 "\xEF\xBB\xBF" + Minimal(),
                 {{W, 0, "no *PatchType"}, {E, 1, "byte-order mark"}}},
        LintCase{"ByteOrderMarkBeforeBlankLine", "\xEF\xBB\xBF\r\n" + Minimal(), {{W, 1, "byte-order mark"}}},
        LintCase{"Utf16Script", std::string("\xFF\xFE*\0P\0", 6), {{E, 1, "UTF-16"}}},
        LintCase{"Utf8Script", Change(4, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"), {{E, 4, "UTF-8"}}},
        LintCase{"InvalidShiftJis", Change(4, "ok\x81\x20x"), {{E, 4, "byte 0x81 in column 3"}}},
        LintCase{"InvalidSingleByte", Change(6, "g\xFF"), {{E, 6, "0xFF"}}},
        LintCase{"NulByteEndsTheScript", Minimal() + std::string("\0*Version\r\n1\r\n", 14), {{E, 16, "NUL byte"}}},
        LintCase{"IndentedKey", Change(3, "\t*Caption"), {{W, 0, "no *Caption"}, {E, 3, "is indented"}}},
        LintCase{"IndentedUnknownKey", Minimal() + "  *Version\r\n1.0\r\n", {{W, 16, "is indented"}}},
        LintCase{"KeyWithTrailingBlank",
                 Change(7, "%LinkPath "),
                 {{E, 0, "no %LinkPath section"}, {E, 7, "trailing blanks"}}},
        LintCase{"IndentedTerminator",
                 Change(9, "\t%%"),
                 {{E, 7, "no \"%%\" before line 10"}, {E, 9, "is indented"}}},
        LintCase{"TerminatorMissingBeforeNextSection", Change(9, nullptr), {{E, 7, "no \"%%\" before line 9"}}},
        LintCase{"TerminatorMissingAtEnd", Change(15, nullptr), {{E, 13, "to the end of the script"}}},
        LintCase{"NoCheckTargetFilename",
                 Script({"*PatchType", "1", "*Caption", "c", "*GameTitle", "g", "%LinkPath", "a", "%%", "%OutFiles",
                         "f", "%%"}),
                 {{E, 0, "no %CheckTargetFilename"}}},
        LintCase{"NoLinkPath",
                 Script({"*PatchType", "1", "*Caption", "c", "*GameTitle", "g", "%CheckTargetFilename", "t", "%%",
                         "%OutFiles", "f", "%%"}),
                 {{E, 0, "no %LinkPath"}}},
        LintCase{"NoOutFilesWithPatchType1",
                 Script({"*PatchType", "1", "*Caption", "c", "*GameTitle", "g", "%LinkPath", "a", "%%",
                         "%CheckTargetFilename", "t", "%%"}),
                 {{E, 0, "no %OutFiles section while *PatchType is 1"}}},
        LintCase{"PatchTypeZeroWritesNothing", Minimal("0"), {{W, 2, "writes no files"}}},
        LintCase{"PatchTypeSignedIsANumber", Minimal("+1"), {}},
        LintCase{"PatchTypeNotANumber", Minimal("1.0"), {{E, 2, "not a whole number"}}},
        LintCase{"PatchTypeBlank", Minimal("\t"), {{E, 2, "not a whole number"}}},
        LintCase{"PatchTypeOutOfRange", Minimal("2147483648"), {{E, 2, "not a whole number"}}},
        // No line past the end of the script is named (found by fuzzing).
        LintCase{"PatchTypeAsLastLine",
                 Script({"*Caption", "c", "*GameTitle", "g", "%LinkPath", "a", "%%", "%CheckTargetFilename", "t",
                         "%%", "%OutFiles", "x", "%%", "*PatchType"}),
                 {{W, 14, "is the last line"}, {E, 14, "not a whole number"}}},
        LintCase{"DuplicateSection", Minimal() + "*Caption\r\nsecond\r\n", {{W, 16, "already used at line 3"}}},
        LintCase{"DuplicateSectionOtherCase", Minimal() + "%OUTFILES\r\nx\r\n%%\r\n",
                 {{W, 16, "already used at line 13"}}},
        LintCase{"ValueLineIsAKey",
                 Change(4, nullptr),
                 {{E, 3, "has no value line"}}},
        LintCase{"UnindentedValueWithAsterisks", Change(4, "*** c ***"), {}},
        LintCase{"UnindentedItemWithPercent", OutFiles({"%20name.dat", "%x%.dat"}), {}},
        LintCase{"KeyIsTheLastLine", Minimal() + "*Version\r\n", {{W, 16, "is the last line"}}},
        LintCase{"StrayLine", Minimal() + "leftover text\r\n", {{W, 16, "belongs to no section"}}},
        LintCase{"StrayTerminator", Minimal() + " %%\r\n", {{W, 16, "ends no list"}}},
        LintCase{"LowerCaseEscape", Change(4, "a&space;b&Tab;c&AMPERSAND;"),
                 {{W, 4, "\"&Tab;\""}, {W, 4, "\"&space;\""}}},
        LintCase{"BlankLinkPathEntry",
                 Script({"*PatchType", "1", "*Caption", "c", "*GameTitle", "g", "%LinkPath", "a", "", "%%",
                         "%CheckTargetFilename", "t", "%%", "%OutFiles", "f", "%%"}),
                 {{E, 9, "blank %LinkPath entry"}}},
        LintCase{"EmptyLinkPath", Change(8, nullptr), {{E, 7, "has no entries"}}},
        LintCase{"EmptyCheckTargetFilename", Change(11, nullptr), {{W, 10, "no folder can pass"}}},
        LintCase{"AbsoluteOutputNames", OutFiles({"C:\\x.dat", "\t\\x.dat", "/x.dat", "ok.dat"}),
                 {{E, 14, "is absolute"}, {E, 15, "is absolute"}, {E, 16, "is absolute"}}},
        LintCase{"ClimbingOutputNames", OutFiles({"..\\x.dat", "a/../../x.dat", "a..b\\x.dat"}),
                 {{E, 14, "climbs out"}, {E, 15, "climbs out"}}},
        // 表 ends in 0x5C: "表..\x" is the folder 表.. and the file x, no climbing.
        LintCase{"TrailByteBeforeDots", OutFiles({"\x95\x5C..\\x.dat"}), {}},
        LintCase{"DuplicateOutputName", OutFiles({"a.dat", "", "A.DAT"}), {{W, 16, "repeats line 14"}}},
        // Ａ and ａ, full-width: letters that differ only in case.
        LintCase{"DuplicateFullWidthName", OutFiles({"\x82\x60.dat", "\x82\x81.dat"}), {{W, 15, "repeats line 14"}}},
        // Cyrillic Ё and ё; ア and ヂ, whose second bytes are "A" and "a", differ.
        LintCase{"DuplicateCyrillicName", OutFiles({"\x84\x46", "\x84\x76", "\x83\x41", "\x83\x61"}),
                 {{W, 15, "repeats line 14"}}},
        LintCase{"DuplicateOutputNameWithFrom", OutFiles({"a.dat", "", "A.DAT"}), {{E, 16, "same file as line 14"}}, true},
        LintCase{"SameFileSpelledOtherwiseWithFrom", OutFiles({"d\\a.dat", "d/./A.dat.", "d\\\\a.dat "}),
                 {{E, 15, "same file as line 14"}, {E, 16, "same file as line 14"}}, true},
        LintCase{"DifferentNamesWithFrom", OutFiles({"a.dat", "b.dat", "\x83\x41", "\x83\x61"}), {}, true}),
    [](const auto& row) { return std::string(row.param.name); });

class LintFiles : public ::testing::Test {
 protected:
  std::vector<Finding> Run(const std::string& background, bool withPayload) {
    LintInput input;
    input.scriptName = "script.txt";
    input.script = OutFiles({"present.dat", "missing.dat", "folder"});
    input.background.emplace("bg.bmp", background);
    if (withPayload) {
      test::WriteFile(dir_ / "payload/present.dat", "x");
      std::filesystem::create_directories(dir_ / "payload/folder");
      input.payloadFolder = dir_ / "payload";
    }
    return Lint(input);
  }
  test::TempDir dir_;
};

TEST_F(LintFiles, BackgroundOfTheWindowSizeIsClean) { EXPECT_TRUE(Run(test::Bitmap(600, 300), false).empty()); }

TEST_F(LintFiles, BackgroundOfAnotherSizeIsAWarning) {
  const auto found = Run(test::Bitmap(640, 480), false);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(FormatFinding(found[0]), "bg.bmp: warning: the background is 640 x 480; the window shows 600 x 300 of it");
}

TEST_F(LintFiles, BackgroundThatIsNoBitmapIsAnError) {
  const auto found = Run("GIF89a....", false);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].severity, Severity::Error);
  EXPECT_EQ(found[0].file, "bg.bmp");
}

TEST_F(LintFiles, MissingPayloadFilesAreErrorsOnTheirLines) {
  const auto found = Run(test::Bitmap(600, 300), true);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].line, 15);
  EXPECT_NE(found[0].message.find("missing.dat is missing"), std::string::npos) << found[0].message;
  EXPECT_EQ(found[1].line, 16);
  EXPECT_NE(found[1].message.find("is a folder"), std::string::npos) << found[1].message;
}

// Two releases for a build --from: r1 has everything (a folder where an
// entry names a file), r2 only present.dat and not the program t.exe;
// neither has the folder of new\\added.dat.
TEST_F(LintFiles, ReleasesThatADeltaBuildCannotServe) {
  for (const char* file : {"r1/t.exe", "r1/present.dat", "r1/missing.dat", "r2/present.dat"})
    test::WriteFile(dir_ / file, "x");
  std::filesystem::create_directories(dir_ / "r1/folder");
  LintInput input;
  input.scriptName = "script.txt";
  input.script = OutFiles({"present.dat", "missing.dat", "folder", "new\\added.dat"});
  input.from = {dir_ / "r1", dir_ / "r2"};
  const std::vector<Finding> found = Lint(input);
  const std::vector<std::pair<std::string, int>> expected = {
      {"release-without-program", 10}, {"release-lacks-file", 15},   {"release-lacks-file", 16},
      {"release-has-folder", 16},      {"release-lacks-folder", 17}, {"release-lacks-folder", 17}};
  ASSERT_EQ(found.size(), expected.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(std::string(found[i].check), expected[i].first) << found[i].message;
    EXPECT_EQ(found[i].line, expected[i].second) << found[i].message;
  }
}

struct AuthorFileCase {
  const char* name;
  std::optional<std::string> icon, versionInfo;
  std::vector<std::pair<std::string, int>> findings;  // check and line, in order
};

class LintAuthorFiles : public ::testing::TestWithParam<AuthorFileCase> {};

// The icon and the version record, each with the findings on its file.
TEST_P(LintAuthorFiles, ReportsExactlyTheExpectedFindings) {
  LintInput input;
  input.scriptName = "script.txt";
  input.script = Minimal();
  if (GetParam().icon) input.icon.emplace("icon.ico", *GetParam().icon);
  if (GetParam().versionInfo) input.versionInfo.emplace("version.txt", *GetParam().versionInfo);
  std::vector<std::pair<std::string, int>> found;
  std::string all;
  for (const Finding& f : Lint(input)) {
    found.emplace_back(f.check, f.line);
    all += FormatFinding(f) + "\n";
    EXPECT_EQ(f.file, std::string(f.check).rfind("icon", 0) == 0 ? "icon.ico" : "version.txt") << all;
  }
  EXPECT_EQ(found, GetParam().findings) << all;
}

std::string IconFile(const std::string& image, int width, int height) {
  return test::IconFileOf({{image, width, height}});
}

INSTANTIATE_TEST_SUITE_P(
    Findings, LintAuthorFiles,
    ::testing::Values(
        AuthorFileCase{"UsualIconAndRecord", test::UsualIcon(), "# the record\r\nproduct: P\r\nversion: 1.2.3.4\r\n", {}},
        AuthorFileCase{"RecordOfCommentsAlone", std::nullopt, "\xEF\xBB\xBF# to do\n\n  # later\n", {}},
        AuthorFileCase{"IconLackingSizes", IconFile(test::IconDib(32, 32), 32, 32), std::nullopt,
                       {{"icon-missing-size", 0}}},
        AuthorFileCase{"IconOfAnotherKind", "GIF89a, a picture", std::nullopt, {{"icon-not-an-icon", 0}}},
        AuthorFileCase{"IconCutShort", test::UsualIcon().substr(0, 2000), std::nullopt, {{"icon-not-an-icon", 0}}},
        AuthorFileCase{"IconImageOfAnotherKind", IconFile(std::string(100, 'x'), 16, 16), std::nullopt,
                       {{"icon-not-an-icon", 0}}},
        AuthorFileCase{"IconEntryOfAnotherSize", IconFile(test::IconDib(16, 16), 32, 32), std::nullopt,
                       {{"icon-not-an-icon", 0}}},
        AuthorFileCase{"IconDibCutShort", IconFile(test::IconDib(32, 32).substr(0, 200), 32, 32), std::nullopt,
                       {{"icon-not-an-icon", 0}}},
        AuthorFileCase{"RecordKeysUnknownAndRepeated", std::nullopt,
                       "product: a\nProduct: b\nvendor: c\nversion: 1.0.0.0\n",
                       {{"version-record-repeated-key", 2}, {"version-record-unknown-key", 3}}},
        AuthorFileCase{"RecordVersionsOutOfShape", std::nullopt,
                       "version: 1.2.3\ncompany: c\nversion: 1.2.3.65536\nversion: 1.2.3.4.5\n",
                       {{"version-record-bad-version", 1},
                        {"version-record-repeated-key", 3},
                        {"version-record-bad-version", 3},
                        {"version-record-repeated-key", 4},
                        {"version-record-bad-version", 4}}},
        AuthorFileCase{"RecordWithoutVersion", std::nullopt, "product: a\n", {{"version-record-no-version", 0}}},
        AuthorFileCase{"RecordLineWithoutKey", std::nullopt, "version: 1.0.0.0\njust words\n: no key\n",
                       {{"version-record-malformed-line", 2}, {"version-record-malformed-line", 3}}},
        AuthorFileCase{"RecordNotUtf8", std::nullopt, "version: 1.0.0.0\nproduct: \x96\xBC\nvendor: x\n",
                       {{"version-record-not-utf8", 2}}},
        AuthorFileCase{"RecordInUtf16", std::nullopt, std::string("\xFF\xFEv\0", 4), {{"version-record-not-utf8", 1}}}),
    [](const auto& row) { return std::string(row.param.name); });

// The author's guide's table of findings: the rows "| `name` | error |" in order.
std::vector<std::pair<std::string, std::string>> GuideFindings() {
  std::vector<std::pair<std::string, std::string>> rows;
  std::istringstream guide(test::ReadFile(std::filesystem::path(BRISKO_SOURCE_DIR) / "docs" / "authoring.md"));
  bool inTable = false;
  for (std::string line; std::getline(guide, line);) {
    if (line.rfind("| finding | kind |", 0) == 0) inTable = true;
    else if (inTable && line.rfind("| `", 0) == 0) {
      const std::size_t nameEnd = line.find('`', 3);
      const std::size_t kindStart = line.find("| ", nameEnd) + 2;
      rows.emplace_back(line.substr(3, nameEnd - 3), line.substr(kindStart, line.find(' ', kindStart) - kindStart));
    } else if (inTable && line.rfind("|---", 0) != 0) {
      break;
    }
  }
  return rows;
}

TEST(LintTable, GuideListsEveryFindingWithItsKind) {
  std::vector<std::pair<std::string, std::string>> code;
  for (const FindingKind& kind : FindingKinds())
    code.emplace_back(kind.name, kind.severity == Severity::Error ? "error" : "warning");
  EXPECT_EQ(GuideFindings(), code);
}

TEST(PatchType, DerivedAsTheInstallerDoes) {
  EXPECT_EQ(InstallerPatchType(Script({"*Caption", "x"})), 0);
  EXPECT_EQ(InstallerPatchType(Script({"*PatchType", "\t2"})), 2);
  EXPECT_EQ(InstallerPatchType(Script({"*PatchType", "x"})), 1);
  EXPECT_EQ(InstallerPatchType(Script({"*PatchType"})), 1);
  EXPECT_EQ(InstallerPatchType(Script({"*PatchType", "-2147483648"})), -2147483648LL);
}

}  // namespace
}  // namespace brisko::pack
