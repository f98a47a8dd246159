// A patch whose texts and names are all Japanese, from start-up to the files
// written. CTest runs it under code pages 932, 1252 and 936: the outcome must
// be the same bytes under each.
#include <algorithm>

#include "driver.h"
#include "expected_texts.h"
#include "win32/main_window_ids.h"

namespace brisko::e2e {
namespace {

// Shift-JIS. ソ (83 5C) and 表 (95 5C) end in the byte of a backslash.
const std::string kGame = "\x83\x51\x81\x5B\x83\x80";                    // ゲーム
const std::string kSoftHyou = "\x83\x5C\x83\x74\x83\x67\x95\x5C";        // ソフト表
const std::string kTitle = "\x83\x5E\x83\x43\x83\x67\x83\x8B";           // タイトル
const std::string kData = "\x83\x66\x81\x5B\x83\x5E\x95\x5C.dat";        // データ表.dat
const std::string kSaveFolder = "\x83\x5A\x81\x5B\x83\x75\x83\x5C";      // セーブソ
const std::string kSave = "\x95\x5C.txt";                                // 表.txt
const std::string kPayloadData = std::string("\x95\x5C\\\r\n\0\xFF", 7) + std::string(5000, '\x5C');
const std::string kPayloadSave = "\x83\x5C\x83\x5C";

// For the shortcut written under code page 932 and read under another:
// C:\brisko-e2e-cp\ゲーム\ソフト表 holding ゲーム.exe, and the shortcut
// Programs\brisko-e2e-cp\タイトル.lnk to it.
const std::string kOtherCodePageFolder = "C:\\brisko-e2e-cp\\" + kGame + "\\" + kSoftHyou;
const std::string kOtherCodePageEntry = "brisko-e2e-cp\\" + kTitle + ".lnk";

class JapaneseNames : public InstallerTest {
 protected:
  void TearDown() override {
    RemoveTree(ProgramsFolder() + "\\brisko-e2e-ja");
    InstallerTest::TearDown();
  }
};

TEST_P(JapaneseNames, FoundShownCheckedAndWrittenUnderTheirOwnNames) {
  // C:\brisko-e2e\<test>\ゲーム\ソフト表 holding ゲーム.exe and the folder セーブソ.
  const std::string folder = root() + kGame + "\\" + kSoftHyou;
  ASSERT_TRUE(MakeFolder(root() + kGame));
  ASSERT_TRUE(MakeFolder(folder));
  ASSERT_TRUE(MakeFolder(folder + "\\" + kSaveFolder));
  WriteFileBytes(folder + "\\" + kGame + ".exe", "MZ");
  // Programs\brisko-e2e-ja\タイトル表\タイトルソ.lnk
  const std::string entry = "brisko-e2e-ja\\" + kTitle + "\x95\x5C\\" + kTitle + "\x83\x5C.lnk";
  CreateProgramsShortcut(entry, folder + "\\" + kGame + ".exe");

  ScriptParts script;
  script.caption = kGame + " \x83\x70\x83\x62\x83\x60 1.0";  // ゲーム パッチ 1.0
  script.gameTitle = kGame + "\x95\x5C";                    // ゲーム表
  script.linkPath = {entry};
  script.checkTargetFilename = {kGame + ".exe"};
  script.outFiles = {kData, kSaveFolder + "\\" + kSave};
  std::vector<Dialog> messages;
  auto installer =
      Launch(MakeInstaller(StandardPackage(script, {{0, kPayloadData}, {1, kPayloadSave}})), &messages);

  EXPECT_TRUE(messages.empty()) << Utf8(messages.empty() ? L"" : messages[0].text);
  EXPECT_EQ(installer->CaptionW(), L"ゲーム パッチ 1.0");
  EXPECT_EQ(installer->Field(), folder + "\\");
  EXPECT_TRUE(installer->StartEnabled());

  // Typed by hand: the folder's last byte 5C is no delimiter of its own.
  installer->SetField(root() + kGame);
  EXPECT_FALSE(installer->StartEnabled());
  installer->SetField(folder);
  EXPECT_TRUE(installer->StartEnabled());

  installer->Press(ids::kLblChangePath);
  auto chooser = installer->WaitDialog();
  ASSERT_TRUE(chooser.has_value());
  EXPECT_EQ(chooser->text, std::wstring(L"\"ゲーム表\"") + shown::kChooserPromptTail);
  installer->Answer(*chooser, /*ok=*/false);
  EXPECT_EQ(installer->Field(), folder);

  Dialog outcome = installer->StartAndWaitMessage();
  EXPECT_EQ(outcome.text, shown::kPatchSucceeded);
  installer->Answer(outcome);
  std::vector<std::string> expected = {kGame + ".exe", kData, kSaveFolder};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ListFolder(folder), expected);
  EXPECT_EQ(ListFolder(folder + "\\" + kSaveFolder), std::vector<std::string>{kSave});
  EXPECT_EQ(ReadFileBytes(folder + "\\" + kData), kPayloadData);
  EXPECT_EQ(ReadFileBytes(folder + "\\" + kSaveFolder + "\\" + kSave), kPayloadSave);
}

// Under Wine a shortcut keeps its target's path text only in the code page
// it was written under; a player who ran a game's set-up under Japanese and
// then went back to English still finds the game's folder.
TEST_P(JapaneseNames, ShortcutWrittenUnderCodePage932LeadsToItsFolderUnderAnother) {
  if (!TestSettings().shortcutWritten)
    GTEST_SKIP() << "no shortcut was written under code page 932 before this run (run-e2e.sh --shortcut-from)";
  ASSERT_NE(GetACP(), 932u) << "the installer must read the shortcut under another code page";
  ScriptParts script;
  script.linkPath = {kOtherCodePageEntry};
  script.checkTargetFilename = {kGame + ".exe"};
  script.outFiles = {kData};
  std::vector<Dialog> messages;
  auto installer = Launch(MakeInstaller(StandardPackage(script, {{0, kPayloadData}})), &messages);
  EXPECT_TRUE(messages.empty()) << Utf8(messages.empty() ? L"" : messages[0].text);
  EXPECT_EQ(installer->Field(), kOtherCodePageFolder + "\\");
  EXPECT_TRUE(installer->StartEnabled());
}

BRISKO_INSTANTIATE_FOR_PACKAGERS(JapaneseNames);

}  // namespace

bool WriteShortcutForAnotherCodePage() {
  const std::string target = kOtherCodePageFolder + "\\" + kGame + ".exe";
  MakeFolder("C:\\brisko-e2e-cp");
  MakeFolder("C:\\brisko-e2e-cp\\" + kGame);
  MakeFolder(kOtherCodePageFolder);
  WriteFileBytes(target, "MZ");
  return FileExists(target) && test::SaveShortcut(ProgramsFolder() + "\\" + kOtherCodePageEntry, target);
}

}  // namespace brisko::e2e
