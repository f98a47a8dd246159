// Applying the patch: what ends up on disk, the message, and the buttons.
#include <algorithm>

#include "driver.h"
// After driver.h, which brings in windows.h.
#include <commctrl.h>
#include "expected_texts.h"
#include "win32/main_window_ids.h"

namespace brisko::e2e {
namespace {

// Payloads that a newline conversion or a text-mode write would change.
const std::string kPayloadA = std::string("A-payload\r\n\x00\x1A\n\xFF", 15) + std::string(70000, 'a');
const std::string kPayloadB = std::string("B-payload\n\r\x83\x5C", 13);

class Apply : public InstallerTest {
 protected:
  // Makes the installer and notes how it applies its patch: a package of
  // raw payloads entry by entry, any other as one transaction (the packer
  // compresses what gets smaller so).
  std::string MakeApplying(const Package& package) {
    const std::string exe = MakeInstaller(package);
    staged_ = HoldsStagedPackage(exe);
    return exe;
  }

  // An installer whose start-up finds target() through its shortcut.
  std::unique_ptr<Installer> LaunchFound(std::vector<std::string> outFiles, std::map<int, std::string> payloads,
                                         const std::string& failingCalls = {}, const std::string& patchType = "1") {
    ScriptParts script;
    script.linkPath = {AddTargetShortcut()};
    script.patchType = patchType;
    script.outFiles = std::move(outFiles);
    std::vector<Dialog> messages;
    auto installer = Launch(MakeApplying(StandardPackage(script, std::move(payloads))), &messages, failingCalls);
    EXPECT_TRUE(messages.empty()) << Utf8(messages.empty() ? L"" : messages[0].text);
    EXPECT_TRUE(installer->StartEnabled());
    return installer;
  }

  std::optional<std::string> Read(const std::string& name) const { return ReadFileBytes(target() + "\\" + name); }

  // Runs Start, expects `message`, answers it and checks the buttons.
  void StartExpecting(Installer& installer, const std::wstring& message, const wchar_t* cancelCaption) {
    Dialog outcome = installer.StartAndWaitMessage();
    EXPECT_EQ(outcome.text, message) << Utf8(outcome.text);
    EXPECT_EQ(outcome.caption, shown::kAppTitle);
    // Both actions are off while the message is up.
    EXPECT_FALSE(installer.StartEnabled());
    EXPECT_FALSE(installer.CancelEnabled());
    installer.Answer(outcome);
    EXPECT_TRUE(WaitUntil([&] { return installer.CancelEnabled(); }));
    EXPECT_FALSE(installer.StartEnabled());
    EXPECT_TRUE(WaitUntil([&] { return installer.CancelCaption() == cancelCaption; }))
        << Utf8(installer.CancelCaption());
  }

  // No file of the folder but `names` (the temporary files included).
  void ExpectFolderHolds(std::vector<std::string> names) const {
    names.push_back("target.exe");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(ListFolder(target()), names);
  }

  // Start with a second entry that fails, a.dat the first: a transaction
  // writes nothing and shows `stagedMessage`; raw payloads keep a.dat written
  // and show the failure message.
  void ExpectSecondEntryToFail(Installer& installer, const std::wstring& stagedMessage) {
    StartExpecting(installer, staged_ ? stagedMessage : std::wstring(shown::kPatchFailed), shown::kCancel);
    if (!staged_) {
      EXPECT_EQ(Read("a.dat"), kPayloadA);
    }
    ExpectFolderHolds(staged_ ? std::vector<std::string>{} : std::vector<std::string>{"a.dat"});
  }

  // The last installer made applies its patch as one transaction.
  bool staged_ = false;
};

TEST_P(Apply, WritesEveryPayloadByteForByteAndTurnsCancelIntoClose) {
  WriteFileBytes(target() + "\\b.txt", "an older, longer version of the file that must be replaced whole");
  const DWORD attributes = GetFileAttributesA((target() + "\\b.txt").c_str());
  auto installer = LaunchFound({"a.dat", "b.txt"}, {{0, kPayloadA}, {1, kPayloadB}});
  StartExpecting(*installer, shown::kPatchSucceeded, shown::kClose);
  EXPECT_EQ(Read("a.dat"), kPayloadA);
  EXPECT_EQ(Read("b.txt"), kPayloadB);
  EXPECT_EQ(GetFileAttributesA((target() + "\\b.txt").c_str()), attributes) << "the replaced file keeps them";
  ExpectFolderHolds({"a.dat", "b.txt"});
  // The close caption still closes the window, and the program returns 0.
  installer->Press(ids::kBtnCancel);
  EXPECT_EQ(installer->WaitExit(), std::optional<DWORD>(0));
}

TEST_P(Apply, BlankEntryKeepsItsNumber) {
  auto installer = LaunchFound({"a.dat", "", "b.txt"}, {{0, kPayloadA}, {2, kPayloadB}});
  StartExpecting(*installer, shown::kPatchSucceeded, shown::kClose);
  EXPECT_EQ(Read("a.dat"), kPayloadA);
  EXPECT_EQ(Read("b.txt"), kPayloadB);
}

// Raw payloads are written entry by entry, so the first stays written; a
// package applied as one transaction writes nothing and names the entry.
TEST_P(Apply, MissingSecondPayloadKeepsTheFirstAndReportsFailure) {
  auto installer = LaunchFound({"a.dat", "b.txt"}, {{0, kPayloadA}});
  ExpectSecondEntryToFail(*installer, shown::StagingFailed(L"b.txt"));
}

// What a direct create-always write refuses is refused before anything is
// written, and the file keeps its content and attributes. Raw payloads leave
// the entries before it written; a package applied as one transaction
// writes none and says what is wrong with which file.
TEST_P(Apply, ReadOnlyHiddenOrSystemDestinationIsLeftUnchanged) {
  const struct {
    DWORD attribute;
    std::wstring stagedMessage;
  } cases[] = {
      {FILE_ATTRIBUTE_READONLY, shown::ReadOnly(L"b.txt")},
      {FILE_ATTRIBUTE_HIDDEN, shown::Refused(L"b.txt")},
      {FILE_ATTRIBUTE_SYSTEM, shown::Refused(L"b.txt")},
  };
  for (const auto& c : cases) {
    const DWORD refused = c.attribute;
    const std::string old = "original";
    const std::string b = target() + "\\b.txt";
    SetFileAttributesA(b.c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteFileBytes(b, old);
    DeleteFileA((target() + "\\a.dat").c_str());
    SetFileAttributesA(b.c_str(), refused);
    const DWORD attributes = GetFileAttributesA(b.c_str());
    auto installer = LaunchFound({"a.dat", "b.txt"}, {{0, kPayloadA}, {1, kPayloadB}});
    StartExpecting(*installer, staged_ ? c.stagedMessage : shown::kPatchFailed, shown::kCancel);
    if (staged_) {
      EXPECT_FALSE(Read("a.dat")) << "nothing is written";
    } else {
      EXPECT_EQ(Read("a.dat"), kPayloadA) << "earlier files stay written";
    }
    EXPECT_EQ(Read("b.txt"), old) << refused;
    EXPECT_EQ(GetFileAttributesA(b.c_str()), attributes);
    ExpectFolderHolds(staged_ ? std::vector<std::string>{"b.txt"} : std::vector<std::string>{"a.dat", "b.txt"});
  }
}

// The shipped installer reads no environment variable of its own: the
// switch that makes the test variant fail its calls changes nothing.
TEST_P(Apply, FailSwitchOfTheTestVariantChangesNothing) {
  WriteFileBytes(target() + "\\b.txt", "old");
  auto installer = LaunchFound({"a.dat", "b.txt"}, {{0, kPayloadA}, {1, kPayloadB}},
                               "GetFileAttributesW,CreateFileW,WriteFile,FlushFileBuffers,ReplaceFileW,MoveFileExW,"
                               "FindFirstFileW,CoCreateInstance,FindResourceW");
  StartExpecting(*installer, shown::kPatchSucceeded, shown::kClose);
  EXPECT_EQ(Read("a.dat"), kPayloadA);
  EXPECT_EQ(Read("b.txt"), kPayloadB);
}

TEST_P(Apply, DestinationHeldOpenByAnotherProgramIsLeftUnchanged) {
  const std::string old = "held open";
  WriteFileBytes(target() + "\\a.dat", old);
  HANDLE held = CreateFileA((target() + "\\a.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  auto installer = LaunchFound({"a.dat"}, {{0, kPayloadA}});
  StartExpecting(*installer, staged_ ? shown::InUse(L"a.dat") : shown::kPatchFailed, shown::kCancel);
  CloseHandle(held);
  EXPECT_EQ(Read("a.dat"), old);
  ExpectFolderHolds({"a.dat"});
}

TEST_P(Apply, MissingFolderFailsAndCreatesNoFolder) {
  // The check entry reaches back out of the typed folder, so Start comes on
  // for a folder that does not exist.
  ScriptParts script;
  script.linkPath = {AddTargetShortcut()};
  script.checkTargetFilename = {"..\\target.exe"};
  script.outFiles = {"a.dat"};
  auto installer = Launch(MakeApplying(StandardPackage(script, {{0, kPayloadA}})));
  const std::string missing = target() + "\\missing";
  installer->SetField(missing);
  ASSERT_TRUE(installer->StartEnabled());
  StartExpecting(*installer, staged_ ? shown::FolderMissing(L"a.dat") : shown::kPatchFailed, shown::kCancel);
  EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_P(Apply, EntryInAMissingSubFolderFailsThere) {
  auto installer = LaunchFound({"a.dat", "sub\\b.txt"}, {{0, kPayloadA}, {1, kPayloadB}});
  ExpectSecondEntryToFail(*installer, shown::FolderMissing(L"sub\\b.txt"));
}

TEST_P(Apply, EntryInAnExistingSubFolderIsWrittenThere) {
  CreateDirectoryA((target() + "\\sub").c_str(), nullptr);
  auto installer = LaunchFound({"sub\\b.txt"}, {{0, kPayloadB}});
  StartExpecting(*installer, shown::kPatchSucceeded, shown::kClose);
  EXPECT_EQ(Read("sub\\b.txt"), kPayloadB);
}

TEST_P(Apply, SameNameTwiceKeepsTheLaterBytes) {
  auto installer = LaunchFound({"a.dat", "a.dat"}, {{0, kPayloadA}, {1, kPayloadB}});
  StartExpecting(*installer, shown::kPatchSucceeded, shown::kClose);
  EXPECT_EQ(Read("a.dat"), kPayloadB);
}

TEST_P(Apply, EmptyOutFilesSucceedsWithNothingWritten) {
  auto installer = LaunchFound({}, {});
  StartExpecting(*installer, shown::kPatchSucceeded, shown::kClose);
  ExpectFolderHolds({});
}

TEST_P(Apply, PatchType0WritesNothingAndShowsNothing) {
  auto installer = LaunchFound({"a.dat"}, {{0, kPayloadA}}, {}, "0");
  installer->Press(ids::kBtnStart);
  EXPECT_TRUE(WaitUntil([&] { return !installer->StartEnabled() && installer->CancelEnabled(); }));
  Sleep(300);  // a message would show by now
  EXPECT_FALSE(installer->CurrentDialog().has_value());
  EXPECT_EQ(installer->CancelCaption(), shown::kCancel);
  ExpectFolderHolds({});
}

TEST_P(Apply, StartAgainOnlyAfterTheFieldChanges) {
  auto installer = LaunchFound({"a.dat"}, {{0, kPayloadA}});
  StartExpecting(*installer, shown::kPatchSucceeded, shown::kClose);
  installer->SetField(target());
  EXPECT_TRUE(installer->StartEnabled());
  WriteFileBytes(target() + "\\a.dat", "changed");
  StartExpecting(*installer, shown::kPatchSucceeded, shown::kClose);
  EXPECT_EQ(Read("a.dat"), kPayloadA);
}

TEST_P(Apply, AltSPressesStart) {
  auto installer = LaunchFound({"a.dat"}, {{0, kPayloadA}});
  // What TranslateMessage makes of Alt+S, posted to the focused control.
  HWND focus = installer->Control(ids::kBtnStart);
  PostMessageW(focus, WM_SYSCHAR, 's', 1u << 29);
  auto outcome = installer->WaitDialog();
  ASSERT_TRUE(outcome.has_value());
  EXPECT_EQ(outcome->text, shown::kPatchSucceeded);
  installer->Answer(*outcome);
  EXPECT_EQ(Read("a.dat"), kPayloadA);
}

BRISKO_INSTANTIATE_FOR_PACKAGERS(Apply);

// Installers made from the stub's test variant, which fails the calls that
// BRISKO_FAIL names.
class ApplyFaults : public Apply {};

std::vector<std::shared_ptr<const Packager>> FaultPackagers() {
  if (TestSettings().faultStub.empty()) return {};
  return {std::make_shared<ResourceUpdatePackager>(TestSettings().faultStub)};
}

// A disk that fills up while the second file is written: the destination
// keeps its old content, the half-written temporary file is gone.
TEST_P(ApplyFaults, FailedWriteLeavesTheDestinationAsItWas) {
  const std::string old = "the old b.txt";
  WriteFileBytes(target() + "\\b.txt", old);
  auto installer = LaunchFound({"a.dat", "b.txt"}, {{0, kPayloadA}, {1, kPayloadB}}, "WriteFile#2");
  StartExpecting(*installer, shown::kPatchFailed, shown::kCancel);
  EXPECT_EQ(Read("a.dat"), kPayloadA);
  EXPECT_EQ(Read("b.txt"), old);
  ExpectFolderHolds({"a.dat", "b.txt"});
}

TEST_P(ApplyFaults, FailedReplaceLeavesTheDestinationAsItWas) {
  const std::string old = "the old a.dat";
  WriteFileBytes(target() + "\\a.dat", old);
  auto installer = LaunchFound({"a.dat"}, {{0, kPayloadA}}, "ReplaceFileW");
  StartExpecting(*installer, shown::kPatchFailed, shown::kCancel);
  EXPECT_EQ(Read("a.dat"), old);
  ExpectFolderHolds({"a.dat"});
}

INSTANTIATE_TEST_SUITE_P(E2E, ApplyFaults, testing::ValuesIn(FaultPackagers()), PackagerName);

// Compressed payloads as such, whatever the packer would choose for them.
class ApplyCompressed : public Apply {
 protected:
  std::unique_ptr<Installer> LaunchCompressed(std::map<int, std::string> payloads, std::set<int> damaged) {
    ScriptParts script;
    script.linkPath = {AddTargetShortcut()};
    script.outFiles = {"a.dat", "b.txt"};
    Package package = StandardPackage(script, std::move(payloads));
    package.compressed = {0, 1};
    package.damaged = std::move(damaged);
    auto installer = Launch(MakeInstaller(package));
    EXPECT_TRUE(installer->StartEnabled());
    return installer;
  }
};

std::vector<std::shared_ptr<const Packager>> CompressingPackagers() {
  return {std::make_shared<ResourceUpdatePackager>(TestSettings().stub)};
}

// A frame that does not check is found out after the first pieces of the
// file were written beside it: the patch is one transaction, so no file is
// put in place, the one before it included, and the message names the file.
TEST_P(ApplyCompressed, DamagedFrameLeavesTheDestinationAsItWas) {
  const std::string old = "the old b.txt";
  WriteFileBytes(target() + "\\b.txt", old);
  const std::string large(3 << 20, 'L');
  auto installer = LaunchCompressed({{0, kPayloadA}, {1, large}}, {1});
  StartExpecting(*installer, shown::StagingFailed(L"b.txt"), shown::kCancel);
  EXPECT_EQ(Read("b.txt"), old);
  ExpectFolderHolds({"b.txt"});
}

INSTANTIATE_TEST_SUITE_P(E2E, ApplyCompressed, testing::ValuesIn(CompressingPackagers()), PackagerName);

// A long write, made long by the test variant, which slows every WriteFile
// down: the window answers and paints meanwhile, shows a progress bar that
// ends at the total, and nothing the user does starts, closes or chooses;
// only a patch applied as one transaction can be stopped, until its files
// are put in place.
class ApplyWatched : public Apply {
 protected:
  // An installer of `files` (name and content, in %OutFiles order), with
  // compressed or raw payloads, whose every WriteFile takes 150 ms longer:
  // a 1 MiB piece at a time, 24 MiB take about 4 s.
  std::unique_ptr<Installer> LaunchSlowed(const std::vector<std::pair<std::string, std::string>>& files,
                                          bool compressed, std::string* exe = nullptr) {
    ScriptParts script;
    script.linkPath = {AddTargetShortcut()};
    script.outFiles = std::vector<std::string>{};
    std::map<int, std::string> payloads;
    for (const auto& [name, bytes] : files) {
      payloads[static_cast<int>(script.outFiles->size())] = bytes;
      script.outFiles->push_back(name);
    }
    Package package = StandardPackage(script, std::move(payloads));
    if (compressed)
      for (const auto& [number, bytes] : package.payloads) package.compressed.insert(number);
    const std::string made = MakeApplying(package);
    if (exe != nullptr) *exe = made;
    auto installer = Launch(made, nullptr, {}, 150);
    EXPECT_TRUE(installer->StartEnabled());
    return installer;
  }

  // Presses Start and waits until the first piece has been written.
  static void StartAndWaitForWriting(Installer& installer) {
    installer.Press(ids::kBtnStart);
    ASSERT_TRUE(WaitUntil([&] {
      HWND bar = installer.Control(ids::kProgressBar);
      return bar != nullptr && SendMessageW(bar, PBM_GETPOS, 0, 0) > 0;
    }));
  }

  const std::string large_ = std::string(24 << 20, 'w');
};

TEST_P(ApplyWatched, WindowStaysAliveAndShowsProgressWhileWriting) {
  for (const bool compressed : {false, true}) {
    SCOPED_TRACE(compressed ? "compressed: one transaction" : "raw: entry by entry");
    DeleteFileAt(target() + "\\large.dat");
    auto installer = LaunchSlowed({{"large.dat", large_}}, compressed);
    ASSERT_EQ(staged_, compressed);
    ASSERT_TRUE(installer->StartEnabled());
    installer->Press(ids::kBtnStart);
    ASSERT_TRUE(WaitUntil([&] { return installer->Control(ids::kProgressBar) != nullptr; }));
    HWND bar = installer->Control(ids::kProgressBar);
    const auto position = [&] { return static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)); };
    const int total = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
    ASSERT_GT(total, 0);
    ASSERT_TRUE(WaitUntil([&] { return position() > 0; }));
    const int early = position();
    EXPECT_LT(early, total);

    // It answers at once and paints what is laid open.
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutW(installer->window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer));
    InvalidateRect(installer->window(), nullptr, TRUE);
    EXPECT_TRUE(WaitUntil([&] {
      const std::vector<std::uint32_t> pixels = CaptureClient(installer->window(), 600, 200);
      for (int y = 0; y < 200; y += 37)
        for (int x = 0; x < 600; x += 41)
          if ((pixels[y * 600 + x] & 0xFFFFFF) != PatternColour(x, y)) return false;
      return true;
    }));
    // A raw package keeps the window from taking input; a staged one keeps
    // Cancel, which stops it (ApplyWatched.CancelWhileStagingChangesNothing),
    // and only the field is off.
    EXPECT_EQ(IsWindowEnabled(installer->window()) != FALSE, compressed);
    EXPECT_EQ(installer->CancelEnabled(), compressed);
    EXPECT_FALSE(installer->StartEnabled());
    EXPECT_FALSE(IsWindowEnabled(installer->Control(ids::kEdtTargetDir)));
    // Nothing else the user does gets through.
    installer->Press(ids::kLblChangePath);
    if (!compressed) {
      installer->Press(ids::kBtnCancel);
      PostMessageW(installer->window(), WM_CLOSE, 0, 0);
    }
    std::optional<Dialog> outcome = installer->WaitDialog();
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->text, shown::kPatchSucceeded) << "no chooser, no close, only the outcome";
    EXPECT_GT(position(), early);
    EXPECT_EQ(position(), total) << "the bar ends at the total";
    EXPECT_TRUE(installer->Running());
    installer->Answer(*outcome);
    EXPECT_TRUE(WaitUntil([&] { return installer->Control(ids::kProgressBar) == nullptr; })) << "gone afterwards";
    EXPECT_TRUE(WaitUntil([&] { return installer->CancelEnabled(); }));
    EXPECT_TRUE(installer->Running());
    EXPECT_TRUE(Read("large.dat") == large_);
  }
}

// Cancel, or the close box, while the files are written beside their
// destinations: the patch stops, what it had written is removed, the game's
// files are as they were; the close box then closes the window.
TEST_P(ApplyWatched, CancelWhileStagingChangesNothing) {
  const struct {
    const char* what;
    void (*stop)(Installer&);
    bool closes;
  } cases[] = {
      {"Cancel", [](Installer& installer) { installer.Press(ids::kBtnCancel); }, false},
      {"the close box", [](Installer& installer) { PostMessageW(installer.window(), WM_SYSCOMMAND, SC_CLOSE, 0); },
       true},
  };
  WriteFileBytes(target() + "\\large.dat", "the old large.dat");
  const std::map<std::string, std::string> before = FolderFiles(target());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto installer = LaunchSlowed({{"large.dat", large_}, {"new.dat", kPayloadB}}, true);
    StartAndWaitForWriting(*installer);
    c.stop(*installer);
    std::optional<Dialog> outcome = installer->WaitDialog();
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->text, shown::kCancelled) << Utf8(outcome->text);
    installer->Answer(*outcome);
    if (c.closes) {
      EXPECT_EQ(installer->WaitExit(), std::optional<DWORD>(0));
    } else {
      EXPECT_TRUE(WaitUntil([&] { return installer->CancelEnabled(); }));
      EXPECT_EQ(installer->CancelCaption(), shown::kCancel);
      EXPECT_TRUE(installer->Running());
    }
    EXPECT_EQ(FolderFiles(target()), before) << "no file changed, none left beside them";
  }
}

// Killed while its files are written beside their destinations: the game's
// files are as they were, with the killed run's file beside them; the next
// run removes it and completes the patch.
TEST_P(ApplyWatched, KilledWhileStagingThenRunAgainCompletes) {
  WriteFileBytes(target() + "\\large.dat", "the old large.dat");
  const std::map<std::string, std::string> before = FolderFiles(target());
  std::string exe;
  auto killed = LaunchSlowed({{"large.dat", large_}, {"new.dat", kPayloadB}}, true, &exe);
  StartAndWaitForWriting(*killed);
  killed->Kill();
  std::map<std::string, std::string> left = FolderFiles(target());
  for (const auto& [name, bytes] : before) {
    EXPECT_TRUE(left[name] == bytes) << name << " changed";
    left.erase(name);
  }
  ASSERT_EQ(left.size(), 1u) << "the killed run's file beside large.dat";
  EXPECT_EQ(left.begin()->first.rfind("~bp", 0), 0u) << left.begin()->first;

  auto again = Launch(exe);
  StartExpecting(*again, shown::kPatchSucceeded, shown::kClose);
  EXPECT_TRUE(Read("large.dat") == large_);
  EXPECT_EQ(Read("new.dat"), kPayloadB);
  ExpectFolderHolds({"large.dat", "new.dat"});
}

INSTANTIATE_TEST_SUITE_P(E2E, ApplyWatched, testing::ValuesIn(FaultPackagers()), PackagerName);

}  // namespace
}  // namespace brisko::e2e
