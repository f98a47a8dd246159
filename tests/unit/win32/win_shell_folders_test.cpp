#include "win32/win_shell_folders.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/discovery/tvh_file.h"
#include "system_test_helpers.h"
#include "win32/win_environment.h"
#include "win32/win_file_system.h"
#include "win32/win_locale.h"
#include "win32/win_registry.h"
#include "win32/win_shell_link.h"

namespace brisko {
namespace {

bool IsFolder(const Text& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(WinShellFolders, NamesBothProgramsMenus) {
  test::RealSystem s;
  Text user, common;
  ASSERT_TRUE(s.file.GetSpecialFolder(TvhFile::kCsidlPrograms, user));
  ASSERT_TRUE(s.file.GetSpecialFolder(TvhFile::kCsidlCommonPrograms, common));
  EXPECT_TRUE(IsFolder(user)) << user;
  EXPECT_TRUE(IsFolder(common)) << common;
  EXPECT_NE(user, common);
}

TEST(WinShellFolders, UnknownFolderLeavesTheTextAlone) {
  test::RealSystem s;
  Text folder = "unchanged";
  EXPECT_FALSE(s.file.GetSpecialFolder(0xFE, folder));
  EXPECT_EQ(folder, "unchanged");
}

// A folder of the test's own in both Programs menus.
class ProgramsMenus : public ::testing::Test {
 protected:
  void SetUp() override {
    Text user, common;
    ASSERT_TRUE(s_.file.GetSpecialFolder(TvhFile::kCsidlPrograms, user));
    ASSERT_TRUE(s_.file.GetSpecialFolder(TvhFile::kCsidlCommonPrograms, common));
    user_.emplace(user + "\\" + name_);
    common_.emplace(common + "\\" + name_);
    ASSERT_TRUE(IsFolder(user_->path()));
    ASSERT_TRUE(IsFolder(common_->path()));
  }

  bool Find(const Text& relative, Text& fullPath, std::uint32_t& flags) {
    RaisedError error;
    return s_.file.FindInProgramsMenu(name_ + "\\" + relative, fullPath, flags, error);
  }

  test::RealSystem s_;
  const Text name_ = test::UniqueName("BriskoTest");
  std::optional<test::ScopedFolder> user_, common_;
};

// What a Programs menu holds under the shortcut's name, and where the search
// finds the shortcut file.
enum class Entry { None, File, Folder };
enum class Menu { Neither, User, AllUsers };

struct MenuCase {
  const char* name;
  Entry user, common;
  Menu found;
  std::uint32_t flags;
};

class ProgramsMenuEntries : public ProgramsMenus, public ::testing::WithParamInterface<MenuCase> {
 protected:
  static bool Make(Entry entry, const Text& path) {
    switch (entry) {
      case Entry::None: return true;
      case Entry::File: return test::WriteBytes(path, "x");
      case Entry::Folder: return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
    }
    return false;
  }
};

TEST_P(ProgramsMenuEntries, FindsTheShortcutFileInTheUsersMenuFirst) {
  const MenuCase& c = GetParam();
  ASSERT_TRUE(Make(c.user, *user_ / "t.lnk"));
  ASSERT_TRUE(Make(c.common, *common_ / "t.lnk"));
  Text fullPath = "unchanged";
  std::uint32_t flags = 0xFFFF;
  EXPECT_EQ(Find("t.lnk", fullPath, flags), c.found != Menu::Neither);
  const Text expected = c.found == Menu::User       ? *user_ / "t.lnk"
                        : c.found == Menu::AllUsers ? *common_ / "t.lnk"
                                                    : "unchanged";
  EXPECT_EQ(fullPath, expected);
  EXPECT_EQ(flags, c.flags);
}

INSTANTIATE_TEST_SUITE_P(
    Menus, ProgramsMenuEntries,
    ::testing::Values(MenuCase{"UserMenuWins", Entry::File, Entry::File, Menu::User, 0u},
                      MenuCase{"AllUsersMenuWhenTheUserHasNone", Entry::None, Entry::File, Menu::AllUsers, 0x100u},
                      MenuCase{"InNeither", Entry::None, Entry::None, Menu::Neither, 0x300u},
                      MenuCase{"FolderNamedLikeTheShortcutDoesNotCount", Entry::Folder, Entry::None, Menu::Neither,
                               0x300u}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ProgramsMenus, ShiftJisFolderName) {
  // 表示 (95 5C 8E A6): the folder's first character ends in 0x5C.
  const Text folder = "\x95\x5C\x8E\xA6";
  ASSERT_TRUE(CreateDirectoryA((*user_ / folder).c_str(), nullptr));
  ASSERT_TRUE(test::WriteBytes(*user_ / folder + "\\t.lnk", "x"));
  Text fullPath;
  std::uint32_t flags = 0;
  EXPECT_TRUE(Find(folder + "\\t.lnk", fullPath, flags));
  EXPECT_EQ(fullPath, *user_ / folder + "\\t.lnk");
  EXPECT_EQ(flags, 0u);
}

}  // namespace
}  // namespace brisko
