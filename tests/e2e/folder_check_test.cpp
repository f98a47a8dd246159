// The folder check as the user meets it: typing into the field switches
// Start on and off; the folder chooser preselects and returns folders.
#include <shlobj.h>

#include "driver.h"
#include "expected_texts.h"
#include "win32/main_window_ids.h"

namespace brisko::e2e {
namespace {

// Start-up ends at discovery (no shortcut), which leaves the check list in
// place and the field empty for the user.
class FolderCheck : public InstallerTest {
 protected:
  std::unique_ptr<Installer> LaunchWithChecks(std::vector<std::string> checks,
                                              std::optional<std::string> gameTitle = std::string("E2E Game"),
                                              const std::string& exeName = "installer.exe") {
    ScriptParts script;
    script.linkPath = {"brisko-e2e\\nowhere\\Game.lnk"};
    script.checkTargetFilename = std::move(checks);
    script.gameTitle = std::move(gameTitle);
    script.outFiles = {"a.dat"};
    std::vector<Dialog> messages;
    auto installer = Launch(MakeInstaller(StandardPackage(script, {{0, "A"}}), exeName), &messages);
    EXPECT_EQ(messages.size(), 1u);
    if (!messages.empty()) {
      EXPECT_EQ(messages[0].text, shown::kTargetNotFound);
    }
    EXPECT_EQ(installer->Field(), "");
    EXPECT_FALSE(installer->StartEnabled());
    return installer;
  }
};

TEST_P(FolderCheck, FieldTextsAndTheirOutcome) {
  CreateDirectoryA((target() + "\\game.exe").c_str(), nullptr);  // a folder named like a check file
  auto installer = LaunchWithChecks({"missing.exe", "target.exe"});
  const struct {
    std::string field;
    bool start;
  } cases[] = {
      {target(), true},                  // only the second entry exists
      {"", false},                       // clearing the field
      {target() + "\\", true},           // a trailing delimiter is not doubled
      {target() + "\\nosuch", false},    // a folder that does not exist
      {target() + "\\target.exe", false},// a file, not a folder
      {root(), false},                   // the parent folder
      {target(), true},
  };
  for (const auto& c : cases) {
    installer->SetField(c.field);
    EXPECT_EQ(installer->StartEnabled(), c.start) << "field: " << c.field;
    EXPECT_EQ(installer->Field(), c.field);
  }
}

TEST_P(FolderCheck, AFolderNamedLikeTheCheckFileDoesNotCount) {
  CreateDirectoryA((target() + "\\game.exe").c_str(), nullptr);
  auto installer = LaunchWithChecks({"game.exe"});
  installer->SetField(target());
  EXPECT_FALSE(installer->StartEnabled());
}

TEST_P(FolderCheck, NoEntryPresentOrAnEmptyListKeepsStartOff) {
  auto installer = LaunchWithChecks({"a.exe", "b.exe"});
  installer->SetField(target());
  EXPECT_FALSE(installer->StartEnabled());
  auto empty = LaunchWithChecks({}, std::string("E2E Game"), "empty.exe");
  empty->SetField(target());
  EXPECT_FALSE(empty->StartEnabled());
}

TEST_P(FolderCheck, DriveRootGetsNoSecondDelimiter) {
  const std::string name = "brisko-e2e-root-check.exe";
  WriteFileBytes("C:\\" + name, "MZ");
  auto installer = LaunchWithChecks({name});
  installer->SetField("C:\\");
  EXPECT_TRUE(installer->StartEnabled());
  DeleteFileA(("C:\\" + name).c_str());
}

// ソ is 83 5C in Shift-JIS: its second byte is no delimiter, so the check
// must look at <folder>ソ\target.exe, not at <folder>ソtarget.exe.
TEST_P(FolderCheck, FolderNameEndingInTrailByte5CGetsADelimiter) {
  const std::string folder = root() + "\x83\x5C";
  ASSERT_TRUE(MakeFolder(folder));
  WriteFileBytes(folder + "\\target.exe", "MZ");
  WriteFileBytes(root() + "\x83\x5C" "target.exe", "MZ");  // where a byte-wise check would look instead
  auto installer = LaunchWithChecks({"target.exe"});
  installer->SetField(folder);
  EXPECT_TRUE(installer->StartEnabled());
  DeleteFileAt(folder + "\\target.exe");
  installer->SetField(target());
  installer->SetField(folder);
  EXPECT_FALSE(installer->StartEnabled()) << "the file beside the folder must not count";
}

TEST_P(FolderCheck, ChooserShowsThePromptAndCancelChangesNothing) {
  auto installer = LaunchWithChecks({"target.exe"});
  installer->SetField(target());
  installer->Press(ids::kLblChangePath);
  auto chooser = installer->WaitDialog();
  ASSERT_TRUE(chooser.has_value());
  EXPECT_TRUE(chooser->isFolderChooser);
  EXPECT_EQ(chooser->text, std::wstring(L"\"E2E Game\"") + shown::kChooserPromptTail);
  installer->Answer(*chooser, /*ok=*/false);
  EXPECT_EQ(installer->Field(), target());
  EXPECT_TRUE(installer->StartEnabled());
}

// OK in the chooser puts the selected folder into the field, which runs the
// check. (Wine's chooser does not find the preselected folder in its tree,
// so there the selection stays on the desktop folder, which gets the check
// file here; on Windows the field's own folder comes back.)
TEST_P(FolderCheck, ChooserPutsTheChosenFolderIntoTheField) {
  char desktop[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop);
  WriteFileBytes(std::string(desktop) + "\\target.exe", "MZ");
  auto installer = LaunchWithChecks({"target.exe"}, std::nullopt);
  installer->SetField(target() + "\\");
  ASSERT_TRUE(installer->StartEnabled());
  installer->Press(ids::kLblChangePath);
  auto chooser = installer->WaitDialog();
  ASSERT_TRUE(chooser.has_value());
  EXPECT_EQ(chooser->text, std::wstring(L"\"\"") + shown::kChooserPromptTail) << "no *GameTitle";
  installer->Answer(*chooser, /*ok=*/true);
  // A chosen folder comes back without a trailing delimiter, so the text
  // always changes here and the check runs.
  EXPECT_TRUE(WaitUntil([&] { return installer->Field() != target() + "\\"; }, 5s));
  const std::string chosen = installer->Field();
  EXPECT_TRUE(chosen == target() || chosen == desktop) << chosen;
  // Start follows the field's check, which may still be running when the
  // new text is first read.
  EXPECT_TRUE(WaitUntil([&] { return installer->StartEnabled(); }, 5s)) << chosen;
  DeleteFileA((std::string(desktop) + "\\target.exe").c_str());
}

TEST_P(FolderCheck, ClickingTheLabelsBesideTheLinkOpensNothing) {
  auto installer = LaunchWithChecks({"target.exe"});
  installer->Press(ids::kLabel1);
  installer->Press(ids::kLabel3);
  installer->Press(ids::kLblTargetDir);
  Sleep(300);  // nothing is to happen; give it the time to show if it did
  EXPECT_FALSE(installer->CurrentDialog().has_value());
}

BRISKO_INSTANTIATE_FOR_PACKAGERS(FolderCheck);

}  // namespace
}  // namespace brisko::e2e
