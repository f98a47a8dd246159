// Each way start-up can end, seen from outside: the messages shown before
// the window, and the state in which the window then opens.
#include "driver.h"
#include "expected_texts.h"
#include "win32/main_window_ids.h"

namespace brisko::e2e {
namespace {

using StartUp = InstallerTest;

std::vector<std::wstring> Texts(const std::vector<Dialog>& dialogs) {
  std::vector<std::wstring> texts;
  for (const Dialog& d : dialogs) texts.push_back(d.text);
  return texts;
}

// The ends before anything is read from the script: the exception report,
// with its error icon, and a window that knows nothing of the script.
struct BrokenPackage {
  const char* name;
  bool withBackground;
  const char* background;  // used when withBackground
  bool withScript;
  const wchar_t* report;
};

class StartUpBrokenPackage : public InstallerTest {};

const BrokenPackage kBrokenPackages[] = {
    {"NoBackground", false, nullptr, true, shown::kBackgroundMissing},
    {"BackgroundIsNoBitmap", true, "GIF89a not a bitmap at all", true, shown::kBadBitmap},
    {"BackgroundTruncated", true, nullptr, true, shown::kBadBitmap},
    {"NoScript", true, "", false, shown::kScriptMissing},
};

TEST_P(StartUpBrokenPackage, ShowsTheExceptionReportAndOpensWithNothingRead) {
  for (const BrokenPackage& broken : kBrokenPackages) {
    SCOPED_TRACE(broken.name);
    ScriptParts script;
    script.linkPath = {"brisko-e2e\\nowhere.lnk"};
    Package package = StandardPackage(script);
    if (!broken.withBackground)
      package.background.reset();
    else if (broken.background == nullptr)
      package.background = package.background->substr(0, 1000);  // a header promising more than there is
    else if (*broken.background != '\0')
      package.background = broken.background;
    if (!broken.withScript) package.script.reset();

    std::vector<Dialog> messages;
    auto installer = Launch(MakeInstaller(package, std::string(broken.name) + ".exe"), &messages);
    ASSERT_EQ(messages.size(), 1u) << Utf8(messages.empty() ? L"" : messages.back().text);
    EXPECT_EQ(messages[0].text, broken.report);
    EXPECT_EQ(messages[0].caption, shown::kAppTitle);
    EXPECT_TRUE(messages[0].hasIcon);
    EXPECT_EQ(installer->CaptionW(), shown::kDefaultCaption);
    EXPECT_EQ(installer->Field(), "");
    EXPECT_FALSE(installer->StartEnabled());
    EXPECT_TRUE(installer->CancelEnabled());
    // The window stays usable: a folder typed by hand is checked (against an
    // absent list, so Start stays off) and Cancel closes it.
    installer->SetField(target());
    EXPECT_FALSE(installer->StartEnabled());
    installer->Press(ids::kBtnCancel);
    EXPECT_EQ(installer->WaitExit(), std::optional<DWORD>(0));
  }
}

TEST_P(StartUp, MissingCheckTargetSectionEndsWithMessage1) {
  ScriptParts script;
  script.caption = "Patch for E2E";
  script.checkTargetFilename.reset();
  script.linkPath = {AddTargetShortcut()};
  script.outFiles = {"a.dat"};
  std::vector<Dialog> messages;
  auto installer = Launch(MakeInstaller(StandardPackage(script, {{0, "A"}})), &messages);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, shown::kNoCheckTargetSection);
  // Message boxes carry the application title, not the script's caption.
  EXPECT_EQ(messages[0].caption, shown::kAppTitle);
  EXPECT_FALSE(messages[0].hasIcon);
  EXPECT_EQ(installer->CaptionA(), "Patch for E2E");
  EXPECT_EQ(installer->Field(), "") << "discovery never ran";
  EXPECT_FALSE(installer->StartEnabled());
}

TEST_P(StartUp, CompleteStartUpShowsTheFoundFolderAndNoMessage) {
  ScriptParts script;
  script.linkPath = {AddTargetShortcut()};
  script.outFiles = {"a.dat"};
  std::vector<Dialog> messages;
  auto installer = Launch(MakeInstaller(StandardPackage(script, {{0, "A"}})), &messages);
  EXPECT_TRUE(messages.empty()) << Utf8(messages.empty() ? L"" : messages[0].text);
  EXPECT_EQ(installer->CaptionA(), "E2E patch");
  EXPECT_EQ(installer->Field(), target() + "\\");
  EXPECT_TRUE(installer->StartEnabled());
  EXPECT_TRUE(installer->CancelEnabled());
  EXPECT_EQ(installer->StartCaption(), shown::kStart);
  EXPECT_EQ(installer->CancelCaption(), shown::kCancel);
}

TEST_P(StartUp, CompleteStartUpLeavesStartOffWhenTheFoundFolderFailsTheCheck) {
  ScriptParts script;
  script.linkPath = {AddTargetShortcut()};
  script.checkTargetFilename = {"other.exe"};
  script.outFiles = {"a.dat"};
  std::vector<Dialog> messages;
  auto installer = Launch(MakeInstaller(StandardPackage(script, {{0, "A"}})), &messages);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(installer->Field(), target() + "\\");
  EXPECT_FALSE(installer->StartEnabled()) << "Start would write into a folder that is not the target";
}

TEST_P(StartUp, MissingOutFilesWithPatchType1ShowsMessage2AndStartFails) {
  ScriptParts script;
  script.linkPath = {AddTargetShortcut()};
  script.outFiles.reset();
  std::vector<Dialog> messages;
  auto installer = Launch(MakeInstaller(StandardPackage(script, {{0, "A"}})), &messages);
  ASSERT_EQ(Texts(messages), std::vector<std::wstring>{shown::kNoOutFilesSection});
  EXPECT_EQ(installer->Field(), target() + "\\");
  ASSERT_TRUE(installer->StartEnabled()) << "as the folder check left it";
  // Nothing can be written without the list: a failure, not a success.
  Dialog outcome = installer->StartAndWaitMessage();
  EXPECT_EQ(outcome.text, shown::kPatchFailed);
  installer->Answer(outcome);
  EXPECT_EQ(installer->CancelCaption(), shown::kCancel);
  EXPECT_EQ(ListFolder(target()), std::vector<std::string>{"target.exe"});
}

TEST_P(StartUp, MissingOutFilesWithPatchType0CompletesSilently) {
  ScriptParts script;
  script.patchType = "0";
  script.linkPath = {AddTargetShortcut()};
  script.outFiles.reset();
  std::vector<Dialog> messages;
  auto installer = Launch(MakeInstaller(StandardPackage(script)), &messages);
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(installer->StartEnabled());
}

BRISKO_INSTANTIATE_FOR_PACKAGERS(StartUp);
BRISKO_INSTANTIATE_FOR_PACKAGERS(StartUpBrokenPackage);

}  // namespace
}  // namespace brisko::e2e
