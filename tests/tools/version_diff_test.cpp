#include "package/version_diff.h"

#include <gtest/gtest.h>

#include "core/picture/bitmap.h"
#include "lint/lint.h"
#include "lint/version_info.h"
#include "pack_test_util.h"
#include "package/package.h"
#include "platform/native_names.h"

namespace brisko::pack {
namespace {

using test::ReadFile;
using test::Script;
using test::WriteFile;
using Kind = VersionChange::Kind;

const char kHyou[] = "\x95\x5C";  // a folder name whose second byte is 0x5C

class Diff : public testing::Test {
 protected:
  Diff() {
    for (const char* version : {"v1", "v2"}) {
      WriteFile(dir_ / version / "game.exe", std::string("MZ program ") + version);
      WriteFile(dir_ / version / "same.dat", "unchanged");
    }
    WriteFile(dir_ / "v1/gone.dat", "removed in v2");
    WriteFile(NativePath(dir_ / "v2", std::string(kHyou) + "\\new.dat"), "added");
  }
  VersionDiff Run() { return DiffVersions(dir_ / "v1", dir_ / "v2", dir_ / "patch"); }
  fs::path Payload(const std::string& name) const { return NativePath(dir_ / "patch/payload", name); }

  test::TempDir dir_;
};

TEST_F(Diff, NewPatchFolderNamesTheChangedFilesAndPassesLint) {
  const VersionDiff diff = Run();
  const std::vector<std::pair<Kind, Text>> expected = {{Kind::Changed, "game.exe"},
                                                       {Kind::Removed, "gone.dat"},
                                                       {Kind::Unchanged, "same.dat"},
                                                       {Kind::Added, std::string(kHyou) + "\\new.dat"}};
  ASSERT_EQ(diff.changes.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(diff.changes[i].kind, expected[i].first) << i;
    EXPECT_EQ(diff.changes[i].name, expected[i].second) << i;
  }
  EXPECT_TRUE(diff.newScript && diff.newBackground && diff.newVersionInfo);
  EXPECT_EQ(ReadFile(Payload("game.exe")), "MZ program v2");
  EXPECT_EQ(ReadFile(Payload(std::string(kHyou) + "\\new.dat")), "added");
  EXPECT_FALSE(fs::exists(Payload("same.dat")));

  LintInput lint;
  lint.scriptName = "script.txt";
  lint.script = ReadFile(dir_ / "patch" / kScriptFileName);
  lint.background.emplace("background.bmp", ReadFile(dir_ / "patch" / kBackgroundFileName));
  lint.payloadFolder = dir_ / "patch/payload";
  lint.versionInfo.emplace("version.txt", ReadFile(dir_ / "patch" / kVersionInfoFileName));
  lint.from = {dir_ / "v1"};
  // Only the warning that v1 lacks the new file's folder, which the
  // installer does not make.
  for (const Finding& f : Lint(lint))
    if (std::string(f.check) != "release-lacks-folder" || f.severity != Severity::Warning)
      ADD_FAILURE() << FormatFinding(f);
  Bitmap background;
  ASSERT_TRUE(DecodeBitmapFile(lint.background->second, background));
  EXPECT_EQ(background.width, 600);
  EXPECT_EQ(background.height, 300);
  EXPECT_LT(lint.background->second.size(), 4096u);
}

TEST_F(Diff, AgainKeepsTheAuthorsScriptAndPictureAndRenewsThePayload) {
  Run();
  const std::string script = Script({"*Caption", "\tmine", "%OutFiles", "\told.dat", "%%", "*GameTitle", "\tg"});
  WriteFile(dir_ / "patch" / kScriptFileName, script);
  WriteFile(dir_ / "patch" / kBackgroundFileName, "the author's picture");
  WriteFile(dir_ / "patch" / kVersionInfoFileName, "version: 1.1.0.0\n");
  WriteFile(dir_ / "v2/same.dat", "changed after all");
  const VersionDiff diff = Run();
  EXPECT_FALSE(diff.newScript || diff.newBackground || diff.newVersionInfo);
  EXPECT_EQ(ReadFile(dir_ / "patch" / kVersionInfoFileName), "version: 1.1.0.0\n");
  EXPECT_EQ(ReadFile(dir_ / "patch" / kScriptFileName),
            Script({"*Caption", "\tmine", "%OutFiles", "\tgame.exe", "\tsame.dat",
                    ("\t" + std::string(kHyou) + "\\new.dat").c_str(), "%%", "*GameTitle", "\tg"}));
  EXPECT_EQ(ReadFile(dir_ / "patch" / kBackgroundFileName), "the author's picture");
  EXPECT_EQ(ReadFile(Payload("same.dat")), "changed after all");
}

TEST_F(Diff, RefusesANameThatNoScriptCanHold) {
  WriteFile(dir_ / "v2" / "\xed\x95\x9c.dat", "Hangul");
  EXPECT_THROW(Run(), PackError);
  EXPECT_FALSE(fs::exists(dir_ / "patch"));
}

struct Rewrite {
  const char* name;
  std::string script, expected;
};

class OutFilesList : public testing::TestWithParam<Rewrite> {};

TEST_P(OutFilesList, IsReplacedAndNothingElse) {
  EXPECT_EQ(ReplaceOutFiles(GetParam().script, {"a.dat", "b\\c.dat"}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, OutFilesList,
    testing::Values(
        Rewrite{"InTheMiddle", "*A\r\n1\r\n%OutFiles\r\nx\r\n\r\n%%\r\n*B\n2",
                "*A\r\n1\r\n%OutFiles\r\n\ta.dat\r\n\tb\\c.dat\r\n%%\r\n*B\n2"},
        Rewrite{"KeyInOtherCase", "%outfiles\r\n%%\r\n", "%outfiles\r\n\ta.dat\r\n\tb\\c.dat\r\n%%\r\n"},
        Rewrite{"Missing", "*A\r\n1", "*A\r\n1\r\n\r\n%OutFiles\r\n\ta.dat\r\n\tb\\c.dat\r\n%%\r\n"},
        Rewrite{"RunsToTheEnd", "%OutFiles\r\nx\r\ny", "%OutFiles\r\n\ta.dat\r\n\tb\\c.dat\r\n%%\r\n"},
        Rewrite{"KeyIsTheLastLine", "*A\r\n%OutFiles", "*A\r\n%OutFiles\r\n\ta.dat\r\n\tb\\c.dat\r\n%%\r\n"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace brisko::pack
