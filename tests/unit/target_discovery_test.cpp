#include "core/discovery/target_discovery.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/form_main.h"
#include "core/text/fixed_texts.h"
#include "fake_system_locations.h"
#include "fakes.h"
#include "test_locale.h"

namespace brisko {
namespace {

const char kUserMenu[] = "C:\\Users\\me\\Programs";
const char kCommonMenu[] = "C:\\ProgramData\\Programs";

struct Fixture {
  test::FakeResources resources;
  test::FakeFileSystem files;
  test::FakeUi ui;
  test::FakeRegistry registry;
  test::FakeShellFolders shell;
  test::FakeEnvironment environment;
  test::FakeShortcuts shortcuts;
  StartMenuDiscovery discovery{{registry, shell, environment, shortcuts, files, test::ShiftJis()}};
  test::FakeWorker worker;
  TFormMain form{{resources, files, ui, test::ShiftJis(), discovery, worker}};

  Fixture() {
    shell.folders[2] = kUserMenu;
    shell.folders[23] = kCommonMenu;
    resources.Add("BMP", "RESOURCE_BACKGROUND", test::TinyBitmap());
  }

  // A shortcut file `relative` in `menu` pointing at `target`.
  void AddShortcut(const char* menu, const Text& relative, const Text& target) {
    const Text path = Text(menu) + "\\" + relative;
    files.files[path] = "lnk";
    shortcuts.Add(path, target);
  }

  // Runs start-up over a script whose %LinkPath section holds `entries`
  // (no section at all for nullopt).
  void Start(const std::optional<std::vector<Text>>& entries) {
    std::string script = "*PatchType\r\n1\r\n%CheckTargetFilename\r\ngame.exe\r\n%%\r\n";
    if (entries) {
      script += "%LinkPath\r\n";
      for (const Text& e : *entries) script += e + "\r\n";
      script += "%%\r\n";
    }
    script += "%OutFiles\r\npatch.dat\r\n%%\r\n";
    resources.Add("TEXT", "RESOURCE_SCRIPT", script);
    form.Create();
  }
};

struct Shortcut {
  const char* menu;
  Text relative;
  Text target;
};

struct DiscoveryCase {
  const char* name;
  std::optional<std::vector<Text>> entries;
  std::vector<Shortcut> shortcuts;
  Text field;                         // empty: nothing found
  std::optional<Text> message;        // the one message shown
  std::vector<Text> shortcutsRead;    // in the order read
};

class DiscoveryTest : public ::testing::TestWithParam<DiscoveryCase> {};

TEST_P(DiscoveryTest, FillsTheFieldOrTellsTheUser) {
  const DiscoveryCase& c = GetParam();
  Fixture f;
  for (const Shortcut& s : c.shortcuts) f.AddShortcut(s.menu, s.relative, s.target);
  f.Start(c.entries);

  EXPECT_EQ(f.form.targetDir(), c.field);
  EXPECT_TRUE(f.ui.errors.empty());
  if (c.message) {
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_EQ(f.ui.messages[0], *c.message);
    EXPECT_EQ(f.form.GetOutFiles(), nullptr);
    EXPECT_FALSE(f.form.enabled(Action::Start));
  } else {
    EXPECT_TRUE(f.ui.messages.empty());
    EXPECT_NE(f.form.GetOutFiles(), nullptr);
  }
  EXPECT_EQ(f.shortcuts.read, c.shortcutsRead);
}

const Text kA = "Maker\\Title\\Title.lnk";
const Text kB = "Maker\\Title 2\\Title 2.lnk";
const Text kUserA = Text(kUserMenu) + "\\" + kA;
const Text kUserB = Text(kUserMenu) + "\\" + kB;

INSTANTIATE_TEST_SUITE_P(
    Cases, DiscoveryTest,
    ::testing::Values(
        DiscoveryCase{"FirstOfTwoWins",
                      std::vector<Text>{kA, kB},
                      {{kUserMenu, kA, "D:\\Games\\Title\\target.exe"},
                       {kUserMenu, kB, "D:\\Games\\Title 2\\target.exe"}},
                      "D:\\Games\\Title\\", std::nullopt, {kUserA}},
        DiscoveryCase{"SecondWhenFirstMissing",
                      std::vector<Text>{kA, kB},
                      {{kUserMenu, kB, "D:\\Games\\Title 2\\target.exe"}},
                      "D:\\Games\\Title 2\\", std::nullopt, {kUserB}},
        DiscoveryCase{"UserMenuWins",
                      std::vector<Text>{kA},
                      {{kCommonMenu, kA, "E:\\Shared\\target.exe"},
                       {kUserMenu, kA, "D:\\Mine\\target.exe"}},
                      "D:\\Mine\\", std::nullopt, {kUserA}},
        DiscoveryCase{"AllUsersMenuWhenUserLacksIt",
                      std::vector<Text>{kA},
                      {{kCommonMenu, kA, "E:\\Shared\\target.exe"}},
                      "E:\\Shared\\", std::nullopt, {Text(kCommonMenu) + "\\" + kA}},
        // 表 (95 5C) in the target's folder: the folder is not cut at its 0x5C.
        DiscoveryCase{"ShiftJisFolderKeptWhole",
                      std::vector<Text>{kA},
                      {{kUserMenu, kA, "D:\\\x95\x5C\\target.exe"}},
                      "D:\\\x95\x5C\\", std::nullopt, {kUserA}},
        DiscoveryCase{"DriveRelativeTarget",
                      std::vector<Text>{kA},
                      {{kUserMenu, kA, "D:target.exe"}},
                      "D:\\", std::nullopt, {kUserA}},
        DiscoveryCase{"BlankEntryPassedOver",
                      std::vector<Text>{"", kB},
                      {{kUserMenu, kB, "D:\\Games\\Title 2\\target.exe"}},
                      "D:\\Games\\Title 2\\", std::nullopt, {kUserB}},
        DiscoveryCase{"EmptyTargetPassedOver",
                      std::vector<Text>{kA, kB},
                      {{kUserMenu, kA, ""}, {kUserMenu, kB, "D:\\Games\\Title 2\\target.exe"}},
                      "D:\\Games\\Title 2\\", std::nullopt, {kUserA, kUserB}},
        DiscoveryCase{"TargetWithoutFolderPassedOver",
                      std::vector<Text>{kA, kB},
                      {{kUserMenu, kA, "target.exe"}, {kUserMenu, kB, "D:\\Games\\Title 2\\target.exe"}},
                      "D:\\Games\\Title 2\\", std::nullopt, {kUserA, kUserB}},
        DiscoveryCase{"NoneFound",
                      std::vector<Text>{kA, kB},
                      {},
                      "", Text(texts::kMsgTargetNotFound), {}},
        DiscoveryCase{"OnlyUnusableShortcuts",
                      std::vector<Text>{kA, "", kB},
                      {{kUserMenu, kA, ""}, {kUserMenu, kB, "target.exe"}},
                      "", Text(texts::kMsgTargetNotFound), {kUserA, kUserB}},
        DiscoveryCase{"EmptySection", std::vector<Text>{}, {}, "", Text(texts::kMsgTargetNotFound), {}},
        DiscoveryCase{"NoSection", std::nullopt, {}, "", Text(texts::kMsgNoLinkPathSection), {}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Discovery, ShortcutFileThatDoesNotLoadIsPassedOver) {
  Fixture f;
  f.files.files[kUserA] = "not a shortcut";
  f.AddShortcut(kUserMenu, kB, "D:\\B\\target.exe");
  f.Start(std::vector<Text>{kA, kB});
  EXPECT_EQ(f.form.targetDir(), "D:\\B\\");
  EXPECT_EQ(f.shortcuts.read, (std::vector<Text>{kUserA, kUserB}));
}

TEST(Discovery, FieldRunsTheFolderCheck) {
  Fixture f;
  f.AddShortcut(kUserMenu, kA, "D:\\Game\\target.exe");
  f.files.files["D:\\Game\\game.exe"] = "";
  f.Start(std::vector<Text>{kA});
  EXPECT_EQ(f.form.targetDir(), "D:\\Game\\");
  EXPECT_TRUE(f.form.enabled(Action::Start));
}

TEST(Discovery, RefillsTheScriptLinesWithTheEntries) {
  Fixture f;
  const StringList script = {"%LinkPath", "  a.lnk\t", "", "b.lnk", "%%"};
  TTinyCnf reader(script, test::ShiftJis());
  StringList lines = script;
  EXPECT_FALSE(f.discovery.Run(reader, lines));
  EXPECT_EQ(lines, (StringList{"a.lnk", "", "b.lnk"}));
}

}  // namespace
}  // namespace brisko
