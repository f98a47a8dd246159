// Finding the target folder at start-up through the Start menu: real
// shortcuts in the user's and the all users' Programs menus, resolved by the
// installer itself.
#include <shlobj.h>

#include "driver.h"
#include "expected_texts.h"
#include "win32/main_window_ids.h"

namespace brisko::e2e {
namespace {

// ソフト表 and 表示: names whose characters end in the byte 0x5C, which must
// never be taken for a path delimiter.
const char kSoftHyou[] = "\x83\x5C\x83t\x83g\x95\x5C";
const char kHyouji[] = "\x95\x5C\x8E\xA6";

std::string CommonProgramsFolder() {
  char folder[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, folder);
  return folder;
}

class Discovery : public InstallerTest {
 protected:
  enum class Menu { User, AllUsers };

  void TearDown() override {
    RemoveTree(ProgramsFolder() + "\\" + menuFolder_);
    RemoveTree(CommonProgramsFolder() + "\\" + menuFolder_);
    InstallerTest::TearDown();
  }

  // Puts the shortcut `name` (relative to this test's own folder in the
  // menu) pointing to `target` into `menu`; returns the %LinkPath entry.
  std::string AddShortcut(const std::string& name, const std::string& target, Menu menu = Menu::User) {
    const std::string entry = menuFolder_ + "\\" + name;
    const std::string base = menu == Menu::User ? ProgramsFolder() : CommonProgramsFolder();
    SaveShortcut(base + "\\" + entry, target);
    return entry;
  }

  // A folder in the test's root holding the check file; its path.
  std::string MakeTargetFolder(const std::string& name) {
    const std::string folder = root() + name;
    EXPECT_TRUE(MakeFolder(folder)) << folder;
    WriteFileBytes(folder + "\\target.exe", "MZ");
    return folder;
  }

  std::unique_ptr<Installer> Start(const std::optional<std::vector<std::string>>& entries,
                                   std::vector<Dialog>& messages) {
    ScriptParts script;
    script.linkPath = entries;
    script.outFiles = {"patch.dat"};
    return Launch(MakeInstaller(StandardPackage(script, {{0, "PATCHED"}})), &messages);
  }

 private:
  static std::string OwnMenuFolder() {
    std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name)
      if (c == '/') c = '-';
    return "brisko-e2e-discovery\\" + name;
  }

  const std::string menuFolder_ = OwnMenuFolder();
};

TEST_P(Discovery, FillsTheFieldWithTheTargetFolderAndOneBackslash) {
  // The shortcut sits in a folder named 表示 and points into ソフト表.
  const std::string folder = MakeTargetFolder(kSoftHyou);
  const std::string entry = AddShortcut(std::string(kHyouji) + "\\Game.lnk", folder + "\\target.exe");
  std::vector<Dialog> messages;
  auto installer = Start(std::vector<std::string>{entry}, messages);
  EXPECT_TRUE(messages.empty()) << Utf8(messages.empty() ? L"" : messages[0].text);
  EXPECT_EQ(installer->Field(), folder + "\\");
  EXPECT_TRUE(installer->StartEnabled());
}

TEST_P(Discovery, SecondEntryWinsWhenTheFirstIsMissing) {
  const std::string second = AddShortcut("Game 2\\Game 2.lnk", target() + "\\target.exe");
  std::vector<Dialog> messages;
  auto installer = Start(std::vector<std::string>{"brisko-e2e-discovery\\nowhere\\Game.lnk", second}, messages);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(installer->Field(), target() + "\\");
}

TEST_P(Discovery, FirstOfTwoWins) {
  const std::string other = MakeTargetFolder("other");
  const std::string first = AddShortcut("Game\\Game.lnk", target() + "\\target.exe");
  const std::string second = AddShortcut("Game 2\\Game 2.lnk", other + "\\target.exe");
  std::vector<Dialog> messages;
  auto installer = Start(std::vector<std::string>{first, second}, messages);
  EXPECT_EQ(installer->Field(), target() + "\\");
}

TEST_P(Discovery, UserMenuWinsOverTheAllUsersMenu) {
  const std::string shared = MakeTargetFolder("shared");
  const std::string entry = AddShortcut("Game.lnk", shared + "\\target.exe", Menu::AllUsers);
  ASSERT_EQ(AddShortcut("Game.lnk", target() + "\\target.exe", Menu::User), entry);
  std::vector<Dialog> messages;
  auto installer = Start(std::vector<std::string>{entry}, messages);
  EXPECT_EQ(installer->Field(), target() + "\\");
}

TEST_P(Discovery, AllUsersMenuWhenTheUserHasNone) {
  const std::string entry = AddShortcut("Game.lnk", target() + "\\target.exe", Menu::AllUsers);
  std::vector<Dialog> messages;
  auto installer = Start(std::vector<std::string>{entry}, messages);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(installer->Field(), target() + "\\");
}

TEST_P(Discovery, DeletedTargetStillGivesItsFolder) {
  WriteFileBytes(target() + "\\game.exe", "MZ");
  const std::string entry = AddShortcut("Game.lnk", target() + "\\game.exe");
  ASSERT_TRUE(DeleteFileAt(target() + "\\game.exe"));
  std::vector<Dialog> messages;
  auto installer = Start(std::vector<std::string>{entry}, messages);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(installer->Field(), target() + "\\");
  EXPECT_TRUE(installer->StartEnabled());
}

TEST_P(Discovery, BlankEntriesAndShortcutsWithoutAFolderArePassedOver) {
  const std::string empty = AddShortcut("Empty.lnk", "");
  const std::string entry = AddShortcut("Game.lnk", target() + "\\target.exe");
  std::vector<Dialog> messages;
  auto installer = Start(std::vector<std::string>{"", empty, entry}, messages);
  EXPECT_TRUE(messages.empty()) << Utf8(messages.empty() ? L"" : messages[0].text);
  EXPECT_EQ(installer->Field(), target() + "\\");
}

struct Unfound {
  const char* name;
  std::optional<std::vector<std::string>> entries;
  const wchar_t* message;
};

TEST_P(Discovery, MissingOrFruitlessLinkPathShowsItsMessage) {
  const Unfound cases[] = {
      {"NoSection", std::nullopt, shown::kNoLinkPathSection},
      {"EmptySection", std::vector<std::string>{}, shown::kTargetNotFound},
      {"LeadsNowhere", std::vector<std::string>{"brisko-e2e-discovery\\nowhere.lnk", ""}, shown::kTargetNotFound},
  };
  for (const Unfound& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Dialog> messages;
    auto installer = Start(c.entries, messages);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, c.message);
    EXPECT_EQ(messages[0].caption, shown::kAppTitle);
    EXPECT_FALSE(messages[0].hasIcon);
    EXPECT_EQ(installer->Field(), "");
    EXPECT_FALSE(installer->StartEnabled());
    installer->Press(ids::kBtnCancel);
    EXPECT_EQ(installer->WaitExit(), std::optional<DWORD>(0));
  }
}

TEST_P(Discovery, StartAfterStartUpFollowsTheFolderCheck) {
  const std::string entry = AddShortcut("Game.lnk", target() + "\\target.exe");
  std::vector<Dialog> messages;
  auto installer = Start(std::vector<std::string>{entry}, messages);
  ASSERT_EQ(installer->Field(), target() + "\\");
  ASSERT_TRUE(installer->StartEnabled());
  installer->SetField(root());
  EXPECT_FALSE(installer->StartEnabled());
  installer->SetField(target() + "\\");
  ASSERT_TRUE(installer->StartEnabled());
  Dialog outcome = installer->StartAndWaitMessage();
  EXPECT_EQ(outcome.text, shown::kPatchSucceeded);
  installer->Answer(outcome);
  EXPECT_EQ(ReadFileBytes(target() + "\\patch.dat"), std::optional<std::string>("PATCHED"));
}

BRISKO_INSTANTIATE_FOR_PACKAGERS(Discovery);

}  // namespace
}  // namespace brisko::e2e
