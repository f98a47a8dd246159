#include "core/discovery/tvh_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/text/fixed_texts.h"
#include "fake_system_locations.h"
#include "fakes.h"
#include "test_locale.h"

namespace brisko {
namespace {

using test::FakeRegistry;

const FakeRegistry::KeyPath kExplorer = {"HKCU",    "Software",      "Microsoft",
                                         "Windows", "CurrentVersion", "Explorer"};

FakeRegistry::KeyPath ExplorerKey(const char* name) {
  FakeRegistry::KeyPath key = kExplorer;
  key.push_back(name);
  return key;
}

struct Fixture {
  test::FakeRegistry registry;
  test::FakeShellFolders shell;
  test::FakeEnvironment environment;
  test::FakeShortcuts shortcuts;
  test::FakeFileSystem files;
  TvhFile file{{registry, shell, environment, shortcuts, files, test::ShiftJis()}};

  void AddFile(const Text& path) { files.files[path] = "lnk"; }
};

const char kRelative[] = "Maker\\Title\\Title.lnk";
const char kInUser[] = "C:\\U\\Programs\\Maker\\Title\\Title.lnk";
const char kInCommon[] = "C:\\All\\Programs\\Maker\\Title\\Title.lnk";
const char kInReg1[] = "C:\\Users\\me\\Reg1\\Maker\\Title\\Title.lnk";
const char kInReg2[] = "C:\\Reg2\\Maker\\Title\\Title.lnk";

struct SearchCase {
  const char* name;
  bool userShell, userRegistry, commonShell, commonRegistry;
  std::vector<Text> files;
  std::optional<Text> found;  // nullopt: not found
  std::uint32_t flags;
  std::vector<int> shellAsked;
};

class ProgramsMenuSearchTest : public ::testing::TestWithParam<SearchCase> {};

TEST_P(ProgramsMenuSearchTest, FindsAndFlags) {
  const SearchCase& c = GetParam();
  Fixture f;
  if (c.userShell) f.shell.folders[TvhFile::kCsidlPrograms] = "C:\\U\\Programs";
  if (c.commonShell) f.shell.folders[TvhFile::kCsidlCommonPrograms] = "C:\\All\\Programs";
  if (c.userRegistry) f.registry.SetString(ExplorerKey("Shell Folders"), "Programs", "%USERPROFILE%\\Reg1");
  if (c.commonRegistry) f.registry.SetString(ExplorerKey("User Shell Folders"), "Programs", "C:\\Reg2");
  f.environment.variables["USERPROFILE"] = "C:\\Users\\me";
  for (const Text& path : c.files) f.AddFile(path);

  Text fullPath = "unchanged";
  std::uint32_t flags = 0xDEAD;
  RaisedError error;
  EXPECT_EQ(f.file.FindInProgramsMenu(kRelative, fullPath, flags, error), c.found.has_value());
  EXPECT_FALSE(error.raised());
  EXPECT_EQ(fullPath, c.found.value_or("unchanged"));
  EXPECT_EQ(flags, c.flags) << std::hex << flags;
  EXPECT_EQ(f.shell.asked, c.shellAsked);
  // The registry is a fallback only: a shell that names the folder is enough.
  const bool registryNeeded = !c.userShell || (!c.commonShell && (c.flags & 0x100));
  EXPECT_EQ(f.registry.openAttempts > 0, registryNeeded);
  EXPECT_EQ(f.registry.OpenNow(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, ProgramsMenuSearchTest,
    ::testing::Values(
        SearchCase{"UserMenu", true, true, true, true, {kInUser}, kInUser, 0, {2}},
        SearchCase{"UserMenuWinsOverAllUsers", true, true, true, true, {kInUser, kInCommon}, kInUser, 0, {2}},
        SearchCase{"AllUsersMenuOnly", true, true, true, true, {kInCommon}, kInCommon, 0x100, {2, 23}},
        SearchCase{"InNeither", true, true, true, true, {kInReg1, kInReg2}, std::nullopt, 0x300, {2, 23}},
        SearchCase{"UserFolderFromRegistryExpanded", false, true, true, true, {kInReg1}, kInReg1, 0x001, {2}},
        SearchCase{"RegistryFolderLacksItAllUsersHasIt", false, true, true, true, {kInCommon}, kInCommon, 0x101, {2, 23}},
        SearchCase{"BothUserLookupsFail", false, false, true, true, {kInCommon}, kInCommon, 0x003, {2, 23}},
        // The second fallback names the user's folder too, though the shell
        // was asked for the all-users one.
        SearchCase{"AllUsersFromRegistry", false, false, false, true, {kInReg2}, kInReg2, 0x007, {2, 23}},
        SearchCase{"NothingNamesAFolder", false, false, false, false, {kInUser, kInCommon, kInReg1, kInReg2}, std::nullopt, 0x00F, {2, 23}},
        SearchCase{"UserFolderLacksItNoSecondFolder", true, true, false, false, {}, std::nullopt, 0x10C, {2, 23}},
        SearchCase{"UserFolderLacksItSecondFromRegistryLacksIt", true, true, false, true, {}, std::nullopt, 0x304, {2, 23}},
        SearchCase{"RegistryFolderAndAllUsersLackIt", false, true, true, true, {}, std::nullopt, 0x301, {2, 23}}),
    [](const auto& row) { return std::string(row.param.name); });

struct JoinCase {
  const char* name;
  Text folder;
  Text relative;
  Text expected;
};

class ProgramsMenuJoinTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(ProgramsMenuJoinTest, JoinsWithOneDelimiter) {
  const JoinCase& c = GetParam();
  Fixture f;
  f.shell.folders[TvhFile::kCsidlPrograms] = c.folder;
  f.AddFile(c.expected);
  Text fullPath;
  std::uint32_t flags = 0;
  RaisedError error;
  EXPECT_TRUE(f.file.FindInProgramsMenu(c.relative, fullPath, flags, error));
  EXPECT_EQ(fullPath, c.expected);
  EXPECT_EQ(flags, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Joins, ProgramsMenuJoinTest,
    ::testing::Values(
        JoinCase{"FolderWithoutDelimiter", "C:\\P", "a.lnk", "C:\\P\\a.lnk"},
        JoinCase{"FolderEndingInDelimiter", "C:\\", "a.lnk", "C:\\a.lnk"},
        // 表 ends in 0x5C, which is no delimiter: one is still added.
        JoinCase{"FolderEndingInHyou", "C:\\\x95\x5C", "a.lnk", "C:\\\x95\x5C\\a.lnk"},
        // A leading backslash is neither joined nor tested: the folder itself.
        JoinCase{"RelativeWithLeadingBackslash", "C:\\P", "\\a.lnk", "C:\\P"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ProgramsMenuSearch, EmptyRelativePathRaisesOnceAFolderIsKnown) {
  Fixture f;
  f.shell.folders[TvhFile::kCsidlPrograms] = "C:\\U\\Programs";
  Text fullPath = "unchanged";
  std::uint32_t flags = 0;
  RaisedError error;
  EXPECT_FALSE(f.file.FindInProgramsMenu("", fullPath, flags, error));
  EXPECT_TRUE(error.raised());
  EXPECT_EQ(fullPath, "unchanged");
}

TEST(ProgramsMenuSearch, EmptyRelativePathWithoutAnyFolderIsNotFound) {
  Fixture f;
  Text fullPath = "unchanged";
  std::uint32_t flags = 0;
  RaisedError error;
  EXPECT_FALSE(f.file.FindInProgramsMenu("", fullPath, flags, error));
  EXPECT_FALSE(error.raised());
  EXPECT_EQ(flags, 0x00Fu);
}

TEST(ProgramsMenuSearch, RegistryErrorsPassThroughWithKeysClosed) {
  Fixture f;
  f.registry.SetValue(ExplorerKey("Shell Folders"), "Programs", FakeRegistry::kDword,
                      std::string("\x01\0\0\0", 4));
  Text fullPath;
  std::uint32_t flags = 0;
  RaisedError error;
  EXPECT_FALSE(f.file.FindInProgramsMenu(kRelative, fullPath, flags, error));
  EXPECT_EQ(error.message(), FormatText(texts::kErrRegistryBadTypeFmt, "Programs"));
  EXPECT_EQ(f.registry.OpenNow(), 0u);
}

// ---- ExpandEnvironment ----------------------------------------------------

struct ExpandCase {
  const char* name;
  std::size_t length;  // of the expansion, without its zero
  std::vector<std::uint32_t> offered;
};

class ExpandEnvironmentTest : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandEnvironmentTest, TakesASecondBufferOnlyWhenNeeded) {
  const ExpandCase& c = GetParam();
  Fixture f;
  const Text expansion = "C:\\" + std::string(c.length - 5, 'a') + "\\b";
  f.environment.variables["LONG"] = expansion.substr(0, expansion.size() - 2);
  Text text = "%LONG%\\b";
  EXPECT_TRUE(f.file.ExpandEnvironment(text));
  EXPECT_EQ(text, expansion);
  EXPECT_EQ(f.environment.offered, c.offered);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ExpandEnvironmentTest,
    ::testing::Values(ExpandCase{"Short", 10, {260}},
                      ExpandCase{"ExactlyFillsTheFirstBuffer", 259, {260}},
                      ExpandCase{"OneByteTooMany", 260, {260, 262}},
                      ExpandCase{"Long", 1000, {260, 1002}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ExpandEnvironment, FailureLeavesTheTextAlone) {
  Fixture f;
  f.environment.failing = true;
  Text text = "%X%";
  EXPECT_FALSE(f.file.ExpandEnvironment(text));
  EXPECT_EQ(text, "%X%");
}

TEST(ExpandEnvironment, GrowingBetweenTheCallsLeavesTheTextAlone) {
  Fixture f;
  f.environment.variables["LONG"] = std::string(400, 'a');
  f.environment.growBy = 3;
  Text text = "%LONG%";
  EXPECT_FALSE(f.file.ExpandEnvironment(text));
  EXPECT_EQ(text, "%LONG%");
}

TEST(ShortcutTarget, UnloadableLeavesTheTargetAlone) {
  Fixture f;
  f.shortcuts.Add("C:\\a.lnk", "");
  Text target = "unchanged";
  EXPECT_EQ(f.file.GetShortcutTarget("C:\\b.lnk", target), 0);
  EXPECT_EQ(target, "unchanged");
  EXPECT_EQ(f.file.GetShortcutTarget("C:\\a.lnk", target), 1);
  EXPECT_EQ(target, "");
}

}  // namespace
}  // namespace brisko
