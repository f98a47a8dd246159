#include "core/form_main.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>
#include <string>

#include "core/errors.h"
#include "core/text/fixed_texts.h"
#include "fakes.h"
#include "test_locale.h"
#include "test_support.h"

namespace brisko {
namespace {

// Discovery stand-in: finds `folder` (or nothing) without any shortcut.
class StubDiscovery : public TargetDiscovery {
 public:
  DiscoveryResult Run(const TTinyCnf&, StringList& lines) override {
    ++runs;
    linesSeen = lines;
    if (!folder) return {DiscoveryOutcome::NothingFound, {}};
    return {DiscoveryOutcome::FolderFound, *folder};
  }
  std::optional<Text> folder = Text("C:\\Game");
  int runs = 0;
  StringList linesSeen;
  // Start's state right after the found folder went into the field (set by
  // the fixture's observer).
  bool startEnabledAfterFolder = false;
};

class Observer : public FormObserver {
 public:
  void FormChanged() override {
    ++changes;
    if (form && discovery && !folderSeen && !form->targetDir().empty()) {
      folderSeen = true;
      discovery->startEnabledAfterFolder = form->enabled(Action::Start);
    }
  }
  void CloseRequested() override { ++closes; }
  int changes = 0, closes = 0;
  const TFormMain* form = nullptr;
  StubDiscovery* discovery = nullptr;
  bool folderSeen = false;
};

struct Fixture {
  test::FakeResources resources;
  test::FakeFileSystem files;
  test::FakeUi ui;
  StubDiscovery discovery;
  Observer observer;
  test::FakeWorker worker;
  TFormMain form{{resources, files, ui, test::ShiftJis(), discovery, worker}};

  explicit Fixture(const std::string& script) {
    resources.Add("BMP", "RESOURCE_BACKGROUND", test::TinyBitmap());
    resources.Add("TEXT", "RESOURCE_SCRIPT", script);
    observer.form = &form;
    observer.discovery = &discovery;
    form.SetObserver(&observer);
  }
};

const char kCheck[] = "%CheckTargetFilename\r\n\tgame.exe\r\n%%\r\n";
const char kOut[] = "%OutFiles\r\n\ta.dat\r\n\r\n\tb.txt\r\n%%\r\n";

// ---- start-up -------------------------------------------------------------

struct StartupCase {
  const char* name;
  std::string script;
  bool gameExePresent;
  std::optional<std::string> message;  // the one message start-up shows
  bool checkListPresent;
  bool outFilesPresent;
  bool startEnabled;
  int patchType;
};

class StartupTest : public ::testing::TestWithParam<StartupCase> {};

TEST_P(StartupTest, EndsInTheExpectedState) {
  const StartupCase& c = GetParam();
  Fixture f(c.script);
  if (c.gameExePresent) f.files.files["C:\\Game\\game.exe"] = "";
  f.form.Create();

  if (c.message) {
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_EQ(f.ui.messages[0], *c.message);
  } else {
    EXPECT_TRUE(f.ui.messages.empty());
  }
  EXPECT_TRUE(f.ui.errors.empty());
  EXPECT_EQ(f.form.GetCheckTargetFilenames() != nullptr, c.checkListPresent);
  EXPECT_EQ(f.form.GetOutFiles() != nullptr, c.outFilesPresent);
  EXPECT_EQ(f.form.enabled(Action::Start), c.startEnabled);
  EXPECT_EQ(f.form.GetPatchType(), c.patchType);
  EXPECT_TRUE(f.form.enabled(Action::Cancel));
}

INSTANTIATE_TEST_SUITE_P(
    Ends, StartupTest,
    ::testing::Values(
        StartupCase{"Complete", std::string("*PatchType\r\n1\r\n") + kCheck + kOut, true, std::nullopt, true,
                    true, true, 1},
        // Start follows the folder check, not the completion of start-up.
        StartupCase{"CompleteButFolderFailsCheck", std::string("*PatchType\r\n1\r\n") + kCheck + kOut, false,
                    std::nullopt, true, true, false, 1},
        StartupCase{"NoCheckSection", std::string("*PatchType\r\n1\r\n") + kOut, true,
                    std::string(texts::kMsgNoCheckTargetSection), true, false, false, 1},
        // Without OutFiles a patch of type 1 must not later report success.
        StartupCase{"NoOutFilesWithType1", std::string("*PatchType\r\n1\r\n") + kCheck, true,
                    std::string(texts::kMsgNoOutFilesSection), true, false, true, 1},
        StartupCase{"NoOutFilesWithType0", kCheck, true, std::nullopt, true, true, true, 0},
        StartupCase{"EmptyCheckSection", std::string("%CheckTargetFilename\r\n%%\r\n") + kOut, true,
                    std::nullopt, true, true, false, 0},
        StartupCase{"InvalidPatchTypeReadsAsOne", std::string("*PatchType\r\nx\r\n") + kCheck + kOut, true,
                    std::nullopt, true, true, true, 1}),
    [](const auto& row) { return std::string(row.param.name); });

struct PatchTypeCase {
  std::string valueLines;
  int expected;
};

class PatchTypeTest : public ::testing::TestWithParam<PatchTypeCase> {};

TEST_P(PatchTypeTest, ReadsTheValueAsAnInteger) {
  Fixture f(GetParam().valueLines + kCheck + kOut);
  f.form.Create();
  EXPECT_EQ(f.form.GetPatchType(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, PatchTypeTest,
                         ::testing::Values(PatchTypeCase{"", 0}, PatchTypeCase{"*PatchType\r\n1\r\n", 1},
                                           PatchTypeCase{"*PatchType\r\n\t2\r\n", 2},
                                           PatchTypeCase{"*PatchType\r\nx\r\n", 1},
                                           PatchTypeCase{"*PatchType\r\n\r\n", 1},
                                           PatchTypeCase{"*PatchType\r\n-7\r\n", -7},
                                           PatchTypeCase{"*PatchType\r\n1.0\r\n", 1},
                                           PatchTypeCase{"*PatchType\r\n99999999999\r\n", 1}));

TEST(Startup, DiscoveryEndingStartUpLeavesOutFilesAbsent) {
  Fixture f(std::string("*PatchType\r\n1\r\n") + kCheck + kOut);
  f.discovery.folder.reset();
  f.form.Create();
  EXPECT_EQ(f.discovery.runs, 1);
  EXPECT_EQ(f.form.GetOutFiles(), nullptr);
  EXPECT_FALSE(f.form.enabled(Action::Start));
  EXPECT_EQ(f.ui.messages, std::vector<Text>{texts::kMsgTargetNotFound});
}

TEST(Startup, MissingBackgroundIsReportedAndNothingIsRead) {
  Fixture f(std::string("*Caption\r\nX\r\n") + kCheck + kOut);
  f.resources.Remove("BMP", "RESOURCE_BACKGROUND");
  f.form.Create();
  ASSERT_EQ(f.ui.errors.size(), 1u);
  // "RESOURCE_BACKGROUND リソースが見つかりません" and the report's final ".".
  EXPECT_EQ(f.ui.errors[0], FormatText(texts::kErrResourceNotFoundFmt, "RESOURCE_BACKGROUND") + ".");
  EXPECT_EQ(f.form.caption(), texts::kDefaultCaption);
  EXPECT_FALSE(f.form.enabled(Action::Start));
  EXPECT_EQ(f.discovery.runs, 0);
  ASSERT_NE(f.form.background(), nullptr);
  EXPECT_TRUE(f.form.background()->empty());
}

TEST(Startup, BackgroundThatIsNoBitmapIsReported) {
  Fixture f(kCheck);
  f.resources.Add("BMP", "RESOURCE_BACKGROUND", "not a bitmap at all, just some bytes");
  f.form.Create();
  EXPECT_EQ(f.ui.errors, std::vector<Text>{Text(texts::kErrBadBitmap) + "."});
  EXPECT_TRUE(f.form.background()->empty());
  EXPECT_EQ(f.form.GetCheckTargetFilenames(), nullptr);
}

TEST(Startup, MissingScriptKeepsTheDecodedBackground) {
  Fixture f(kCheck);
  f.resources.Remove("TEXT", "RESOURCE_SCRIPT");
  f.form.Create();
  ASSERT_EQ(f.ui.errors.size(), 1u);
  EXPECT_EQ(f.form.background()->width, 2);
}

TEST(Startup, CaptionAndTitleComeFromTheScript) {
  Fixture f(std::string("*GameTitle\r\n\tTitle\r\n") + kCheck + kOut + "*Caption");
  f.form.Create();
  // The key line is the script's last line: an empty caption.
  EXPECT_EQ(f.form.caption(), "");
  EXPECT_EQ(f.form.GetGameTitle(), "Title");
}

TEST(Startup, DiscoveryGetsTheScriptLinesAndRunsTheCheckOnce) {
  Fixture f(std::string(kCheck) + kOut);
  f.files.files["C:\\Game\\game.exe"] = "";
  f.form.Create();
  EXPECT_EQ(f.discovery.linesSeen.size(), 8u);
  EXPECT_TRUE(f.discovery.startEnabledAfterFolder);
  EXPECT_EQ(f.form.targetDir(), "C:\\Game");
}

// ---- folder check ---------------------------------------------------------

struct CheckCase {
  const char* name;
  Text folder;
  StringList checkNames;
  std::vector<Text> existingFiles;
  std::vector<Text> existingFolders;
  bool enabled;
};

class FolderCheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(FolderCheckTest, EnablesStartOnlyWhenACheckFileExists) {
  const CheckCase& c = GetParam();
  std::string script = "%CheckTargetFilename\r\n";
  for (const auto& n : c.checkNames) script += n + "\r\n";
  script += "%%\r\n";
  Fixture f(script + kOut);
  f.discovery.folder = Text("Z:\\start");
  f.form.Create();
  for (const auto& p : c.existingFiles) f.files.files[p] = "";
  for (const auto& p : c.existingFolders) {
    f.files.files[p] = "";
    f.files.folders.insert(p);
  }
  f.form.SetTargetDirText(c.folder);
  EXPECT_EQ(f.form.enabled(Action::Start), c.enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderCheckTest,
    ::testing::Values(
        CheckCase{"NoDelimiter", "C:\\Games\\Title", {"target.exe"}, {"C:\\Games\\Title\\target.exe"}, {}, true},
        CheckCase{"TrailingDelimiter", "C:\\Games\\Title\\", {"target.exe"}, {"C:\\Games\\Title\\target.exe"}, {}, true},
        CheckCase{"DriveRoot", "C:\\", {"target.exe"}, {"C:\\target.exe"}, {}, true},
        // ソ = 83 5C ends the folder name; the delimiter is still added.
        CheckCase{"EndsInSo", "C:\\\x83\x5C", {"t.exe"}, {"C:\\\x83\x5C\\t.exe"}, {}, true},
        CheckCase{"EndsInSoWithoutDelimiterFound", "C:\\\x83\x5C", {"t.exe"}, {"C:\\\x83\x5Ct.exe"}, {}, false},
        CheckCase{"SecondEntryMatches", "C:\\G", {"a.exe", "b.exe"}, {"C:\\G\\b.exe"}, {}, true},
        CheckCase{"NoEntryMatches", "C:\\G", {"a.exe", "b.exe"}, {}, {}, false},
        CheckCase{"SubFolderNamedLikeCheckFile", "C:\\G", {"a.exe"}, {}, {"C:\\G\\a.exe"}, false},
        CheckCase{"EmptyEntryNeverCounts", "C:\\G", {""}, {"C:\\G"}, {}, false},
        CheckCase{"EmptyField", "", {"a.exe"}, {"\\a.exe"}, {}, false},
        CheckCase{"EmptyList", "C:\\G", {}, {"C:\\G\\a.exe"}, {}, false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(FolderCheck, SettingTheSameTextRunsNoCheck) {
  Fixture f(std::string(kCheck) + kOut);
  f.form.Create();
  EXPECT_FALSE(f.form.enabled(Action::Start));
  f.files.files["C:\\Game\\game.exe"] = "";  // appears only now
  f.form.SetTargetDirText("C:\\Game");
  EXPECT_FALSE(f.form.enabled(Action::Start));
  f.form.SetTargetDirText("C:\\Game\\");
  EXPECT_TRUE(f.form.enabled(Action::Start));
  f.form.SetTargetDirText("");
  EXPECT_FALSE(f.form.enabled(Action::Start));
}

TEST(FolderCheck, WithoutACheckListNothingPasses) {
  Fixture f(kOut);  // start-up ends before the list is made
  f.resources.Remove("TEXT", "RESOURCE_SCRIPT");
  f.form.Create();
  f.form.SetTargetDirText("C:\\Game");
  EXPECT_FALSE(f.form.enabled(Action::Start));
}

// ---- folder chooser ---------------------------------------------------------

TEST(ChangePath, PromptQuotesTheTitleAndStartsAtTheField) {
  Fixture f(std::string("*GameTitle\r\nT%sX\r\n") + kCheck + kOut);
  f.form.Create();
  f.ui.chooserResult = "D:\\Other";
  f.files.files["D:\\Other\\game.exe"] = "";
  f.form.lblChangePathClick();
  ASSERT_EQ(f.ui.prompts.size(), 1u);
  // The title is inserted as text, never read as a format.
  EXPECT_EQ(f.ui.prompts[0], FormatText(texts::kChooserPromptFmt, "T%sX"));
  EXPECT_EQ(f.ui.prompts[0].substr(0, 6), "\"T%sX\"");
  EXPECT_EQ(f.ui.initialFolders[0], "C:\\Game");
  EXPECT_EQ(f.form.targetDir(), "D:\\Other");
  EXPECT_TRUE(f.form.enabled(Action::Start));
}

TEST(ChangePath, CancelledChooserChangesNothing) {
  Fixture f(kCheck);
  f.files.files["C:\\Game\\game.exe"] = "";
  f.form.Create();
  ASSERT_TRUE(f.form.enabled(Action::Start));
  f.ui.chooserResult = "";
  f.form.Execute(Action::ChangePath);
  EXPECT_EQ(f.form.targetDir(), "C:\\Game");
  EXPECT_TRUE(f.form.enabled(Action::Start));
  EXPECT_EQ(f.ui.prompts[0].substr(0, 2), "\"\"");
}

// ---- applying ---------------------------------------------------------------

struct ApplyCase {
  const char* name;
  std::string typeAndOut;          // *PatchType and %OutFiles lines
  std::vector<int> resources;      // payload numbers in the package
  std::vector<Text> failingPaths;  // destinations whose write fails
  std::optional<Text> message;
  std::map<Text, std::string> written;
  bool closeCaption;
  std::set<int> compressed = {};  // payloads stored as zstd frames
  std::set<int> damaged = {};     // ... with a byte of the frame changed
};

class ApplyTest : public ::testing::TestWithParam<ApplyCase> {};

TEST_P(ApplyTest, WritesPayloadsAndReports) {
  const ApplyCase& c = GetParam();
  Fixture f(c.typeAndOut + kCheck);
  for (int n : c.resources) {
    const std::string name = "RESOURCE_FILE" + std::to_string(n);
    std::string bytes = "payload" + std::to_string(n) + std::string(c.compressed.count(n) ? 5000 : 0, 'x');
    if (!c.compressed.count(n)) {
      f.resources.Add("BIN", name, bytes);
      continue;
    }
    bytes = test::ZstdFrame(bytes);
    if (c.damaged.count(n)) bytes[bytes.size() / 2] ^= 1;
    f.resources.Add("ZSTD", name, bytes);
  }
  f.files.files["C:\\Game\\game.exe"] = "exe";
  for (const auto& p : c.failingPaths) f.files.failing.insert(p);
  f.form.Create();
  f.ui.messages.clear();
  ASSERT_TRUE(f.form.enabled(Action::Start));

  f.form.Execute(Action::Start);

  if (c.message) {
    EXPECT_EQ(f.ui.messages, std::vector<Text>{*c.message});
  } else {
    EXPECT_TRUE(f.ui.messages.empty());
  }
  auto written = f.files.files;
  written.erase("C:\\Game\\game.exe");
  EXPECT_EQ(written, c.written);
  EXPECT_FALSE(f.form.enabled(Action::Start));
  EXPECT_TRUE(f.form.enabled(Action::Cancel));
  EXPECT_EQ(f.form.actionCaption(Action::Cancel), c.closeCaption ? texts::kCaptionClose : texts::kCaptionCancel);
}

const std::string kType1 = "*PatchType\r\n1\r\n";

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ApplyTest,
    ::testing::Values(
        // A blank entry uses up its number: files come from payloads 0 and 2.
        ApplyCase{"BlankEntrySkipped", kType1 + kOut, {0, 2}, {}, Text(texts::kMsgPatchSucceeded),
                  {{"C:\\Game\\a.dat", "payload0"}, {"C:\\Game\\b.txt", "payload2"}}, true},
        ApplyCase{"SecondPayloadMissing", kType1 + kOut, {0}, {}, Text(texts::kMsgPatchFailed),
                  {{"C:\\Game\\a.dat", "payload0"}}, false},
        ApplyCase{"FirstWriteFailsStopsThere", kType1 + kOut, {0, 2}, {"C:\\Game\\a.dat"},
                  Text(texts::kMsgPatchFailed), {}, false},
        ApplyCase{"EmptyListSucceeds", kType1 + "%OutFiles\r\n%%\r\n", {}, {}, Text(texts::kMsgPatchSucceeded), {},
                  true},
        ApplyCase{"SameNameTwiceLaterWins", kType1 + "%OutFiles\r\nx\r\nx\r\n%%\r\n", {0, 1}, {},
                  Text(texts::kMsgPatchSucceeded), {{"C:\\Game\\x", "payload1"}}, true},
        ApplyCase{"SubFolderEntry", kType1 + "%OutFiles\r\nsub\\f.dat\r\n%%\r\n", {0}, {},
                  Text(texts::kMsgPatchSucceeded), {{"C:\\Game\\sub\\f.dat", "payload0"}}, true},
        ApplyCase{"PatchType0WritesNothing", "*PatchType\r\n0\r\n" + std::string(kOut), {0, 2}, {}, std::nullopt,
                  {}, false},
        ApplyCase{"PatchType2WritesNothing", "*PatchType\r\n2\r\n" + std::string(kOut), {0, 2}, {}, std::nullopt,
                  {}, false},
        ApplyCase{"CompressedPayloadsDecoded", kType1 + kOut, {0, 2}, {}, Text(texts::kMsgPatchSucceeded),
                  {{"C:\\Game\\a.dat", "payload0" + std::string(5000, 'x')}, {"C:\\Game\\b.txt", "payload2"}}, true,
                  {0}},
        // A frame that does not check stops the patch before anything is
        // put in place: the raw file before it is not written either.
        ApplyCase{"DamagedFrameChangesNothing", kType1 + kOut, {0, 2}, {},
                  FormatText(texts::kMsgStagingFailedFmt, "b.txt"), {}, false, {2}, {2}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Apply, EleventhEntryReadsPayloadTen) {
  std::string out = "%OutFiles\r\n";
  for (int i = 0; i < 11; ++i) out += "f" + std::to_string(i) + "\r\n";
  Fixture f(kType1 + out + "%%\r\n" + kCheck);
  for (int i = 0; i < 11; ++i) f.resources.Add("BIN", "RESOURCE_FILE" + std::to_string(i), "p");
  f.files.files["C:\\Game\\game.exe"] = "";
  f.form.Create();
  f.resources.opened.clear();
  f.form.Execute(Action::Start);
  ASSERT_EQ(f.resources.opened.size(), 11u);
  EXPECT_EQ(f.resources.opened[9], "BIN/RESOURCE_FILE9");
  EXPECT_EQ(f.resources.opened[10], "BIN/RESOURCE_FILE10");
}

TEST(Apply, MissingOutFilesWithType1ReportsFailureNotSuccess) {
  Fixture f(kType1 + std::string(kCheck));
  f.files.files["C:\\Game\\game.exe"] = "";
  f.form.Create();
  ASSERT_TRUE(f.form.enabled(Action::Start));
  f.ui.messages.clear();
  f.form.Execute(Action::Start);
  EXPECT_EQ(f.ui.messages, std::vector<Text>{texts::kMsgPatchFailed});
  EXPECT_EQ(f.form.actionCaption(Action::Cancel), texts::kCaptionCancel);
}

TEST(Apply, DisabledStartDoesNothing) {
  Fixture f(kType1 + std::string(kCheck) + kOut);
  f.form.Create();  // game.exe is missing: Start stays disabled
  f.form.Execute(Action::Start);
  EXPECT_TRUE(f.files.writes.empty());
  EXPECT_TRUE(f.ui.messages.empty());
}

TEST(Apply, ButtonsAreGreyWhileTheMessageIsOpen) {
  struct Ui : test::FakeUi {
    TFormMain* form = nullptr;
    bool cancelEnabledDuringMessage = true;
    void ShowMessage(const Text& text) override {
      if (form) cancelEnabledDuringMessage = form->enabled(Action::Cancel);
      FakeUi::ShowMessage(text);
    }
  };
  test::FakeResources resources;
  test::FakeFileSystem files;
  Ui ui;
  StubDiscovery discovery;
  test::FakeWorker worker;
  TFormMain form{{resources, files, ui, test::ShiftJis(), discovery, worker}};
  resources.Add("BMP", "RESOURCE_BACKGROUND", test::TinyBitmap());
  resources.Add("TEXT", "RESOURCE_SCRIPT", kType1 + "%OutFiles\r\n%%\r\n" + kCheck);
  files.files["C:\\Game\\game.exe"] = "";
  form.Create();
  ui.form = &form;
  form.Execute(Action::Start);
  EXPECT_FALSE(ui.cancelEnabledDuringMessage);
  EXPECT_TRUE(form.enabled(Action::Cancel));
}

// ---- the version check of payloads that record their result -----------------

struct VersionCase {
  const char* name;
  std::optional<std::string> destination;  // b.dat before Start; nothing: absent
  bool delta;                              // b.dat's payload: a delta against kOld, or the whole kNew
  std::optional<Text> message;
  std::optional<std::string> after;  // b.dat afterwards
  std::size_t writes;                // destinations written (a.dat and b.dat)
};

const std::string kOld = "release 1.0 of b.dat";
const std::string kNew = "release 1.1 of b.dat, longer";

class VersionCheck : public ::testing::TestWithParam<VersionCase> {};

// a.dat comes raw before b.dat: a patch that stops at the check writes
// neither, a file already patched is not written again.
TEST_P(VersionCheck, DecidesBeforeAnythingIsWritten) {
  const VersionCase& c = GetParam();
  Fixture f(kType1 + "%OutFiles\r\na.dat\r\nb.dat\r\n%%\r\n" + kCheck);
  f.resources.Add("BIN", "RESOURCE_FILE0", "payload0");
  f.resources.Add("DELTA", "RESOURCE_FILE1",
                  c.delta
                      ? test::DeltaPayloadBytes(
                            kNew, {{kOld, test::DeltaInstruction(10, false, kNew.size() - 10, 0), "", kNew.substr(10)}})
                      : test::DeltaPayloadBytes(kNew, {}, kNew));
  f.files.files["C:\\Game\\game.exe"] = "";
  if (c.destination) f.files.files["C:\\Game\\b.dat"] = *c.destination;
  if (std::string(c.name) == "UnreadableDestination") f.files.failing.insert("C:\\Game\\b.dat");
  f.form.Create();
  f.ui.messages.clear();
  f.form.Execute(Action::Start);
  EXPECT_EQ(f.ui.messages, std::vector<Text>{*c.message});
  const auto b = f.files.files.find("C:\\Game\\b.dat");
  EXPECT_EQ(b == f.files.files.end() ? std::nullopt : std::optional<std::string>(b->second), c.after);
  EXPECT_EQ(f.files.writes.size(), c.writes);
  EXPECT_FALSE(f.form.enabled(Action::Start));
  EXPECT_TRUE(f.form.enabled(Action::Cancel));
}

INSTANTIATE_TEST_SUITE_P(
    Destinations, VersionCheck,
    ::testing::Values(
        VersionCase{"DeltaAppliedToItsSource", kOld, true, Text(texts::kMsgPatchSucceeded), kNew, 2},
        VersionCase{"AlreadyPatchedIsNotWrittenAgain", kNew, true, Text(texts::kMsgPatchSucceeded), kNew, 1},
        VersionCase{"OtherVersionChangesNothing", kOld + "!", true, FormatText(texts::kMsgOtherVersionFmt, "b.dat"),
                    kOld + "!", 0},
        VersionCase{"MissingSourceChangesNothing", std::nullopt, true,
                    FormatText(texts::kMsgOtherVersionFmt, "b.dat"), std::nullopt, 0},
        // Recognised as the source by its size alone, then found otherwise
        // by the result's own check: nothing is put in place.
        VersionCase{"SourcesSizeButOtherContent", "Release 1.0 of b.dat", true,
                    FormatText(texts::kMsgOtherVersionFmt, "b.dat"), "Release 1.0 of b.dat", 2},
        VersionCase{"WholeContentReplacesAnyVersion", kOld + "!", false, Text(texts::kMsgPatchSucceeded), kNew, 2},
        VersionCase{"UnreadableDestination", kOld, true, FormatText(texts::kMsgStagingFailedFmt, "b.dat"), kOld, 0}),
    [](const auto& row) { return std::string(row.param.name); });

// While the payload is written, and until its outcome's message has been
// dismissed, nothing the user does reaches the form.
TEST(Apply, InputIsIgnoredWhileBusy) {
  Fixture f(kType1 + std::string(kOut) + kCheck);
  f.resources.Add("BIN", "RESOURCE_FILE0", "payload0");
  f.resources.Add("BIN", "RESOURCE_FILE2", std::string(3000, 'z'));
  f.files.files["C:\\Game\\game.exe"] = "";
  f.form.Create();
  f.ui.messages.clear();
  int inputsWhileBusy = 0;
  const auto tryEverything = [&] {
    EXPECT_TRUE(f.form.busy());
    ++inputsWhileBusy;
    f.form.Execute(Action::Cancel);
    f.form.Execute(Action::ChangePath);
    f.form.Execute(Action::Start);
    f.form.lblChangePathClick();
    f.form.SetTargetDirText("D:\\Elsewhere");
  };
  f.worker.during = [&] {
    EXPECT_TRUE(f.form.writing());
    EXPECT_EQ(f.form.bytesToWrite(), 8u + 3000u);
    tryEverything();
  };
  f.ui.whileShown = [&] {
    EXPECT_FALSE(f.form.writing());
    tryEverything();
  };
  f.form.Execute(Action::Start);
  EXPECT_EQ(inputsWhileBusy, 2);
  EXPECT_EQ(f.worker.reported, std::vector<std::uint64_t>{8u + 3000u});
  EXPECT_EQ(f.form.bytesWritten(), f.form.bytesToWrite());
  EXPECT_EQ(f.observer.closes, 0);
  EXPECT_TRUE(f.ui.prompts.empty());
  EXPECT_EQ(f.files.writes.size(), 2u);
  EXPECT_EQ(f.form.targetDir(), "C:\\Game");
  EXPECT_EQ(f.ui.messages, std::vector<Text>{texts::kMsgPatchSucceeded});
  EXPECT_FALSE(f.form.busy());
  // Once idle, the form takes input again.
  f.form.Execute(Action::Cancel);
  EXPECT_EQ(f.observer.closes, 1);
}

// ---- a staged patch: checked, staged, then put in place as one -----------------

enum class Stop { None, Cancel, CloseBox, SessionEnd };
const Text kB = "C:\\Game\\b.dat";

struct StagedCase {
  const char* name;
  std::function<void(test::FakeFileSystem&)> arrange;
  Text message;
  std::string a, b;        // a.dat and b.dat afterwards ("A1", "B1" before; "A2", "B2" the patch's)
  Stop stop = Stop::None;  // what the user (or the session) does while b.dat is staged
};

class StagedPatch : public ::testing::TestWithParam<StagedCase> {};

// Two compressed payloads over a folder holding both files: every outcome
// but success leaves both as they were and no staged file behind.
TEST_P(StagedPatch, EndsWithBothFilesOldOrBothNew) {
  const StagedCase& c = GetParam();
  Fixture f(kType1 + "%OutFiles\r\na.dat\r\nb.dat\r\n%%\r\n" + kCheck);
  f.resources.Add("ZSTD", "RESOURCE_FILE0", test::ZstdFrame("A2"));
  f.resources.Add("ZSTD", "RESOURCE_FILE1", test::ZstdFrame("B2"));
  f.files.files = {{"C:\\Game\\game.exe", ""}, {"C:\\Game\\a.dat", "A1"}, {"C:\\Game\\b.dat", "B1"}};
  f.form.Create();
  f.ui.messages.clear();
  if (c.arrange) c.arrange(f.files);
  f.files.whileStaging = [&](const Text& path) {
    if (path != kB) return;
    switch (c.stop) {
      case Stop::None: break;
      case Stop::Cancel: f.form.Execute(Action::Cancel); break;
      case Stop::CloseBox: EXPECT_FALSE(f.form.RequestClose()); break;
      case Stop::SessionEnd: EXPECT_TRUE(f.form.SessionEnding()); break;
    }
  };
  f.form.Execute(Action::Start);
  EXPECT_EQ(f.observer.closes, c.stop == Stop::CloseBox ? 1 : 0);
  EXPECT_EQ(f.ui.messages, std::vector<Text>{c.message});
  EXPECT_EQ(f.files.files["C:\\Game\\a.dat"], c.a);
  EXPECT_EQ(f.files.files["C:\\Game\\b.dat"], c.b);
  EXPECT_TRUE(f.files.staging.empty()) << "a staged file left behind";
  EXPECT_EQ(f.files.recovered, (std::vector<Text>{"C:\\Game\\a.dat", "C:\\Game\\b.dat"}));
  EXPECT_FALSE(f.form.busy());
}

using State = DestinationState;

INSTANTIATE_TEST_SUITE_P(
    Outcomes, StagedPatch,
    ::testing::Values(
        StagedCase{"BothPutInPlace", nullptr, texts::kMsgPatchSucceeded, "A2", "B2"},
        StagedCase{"HeldByAnotherProgram", [](auto& fs) { fs.states[kB] = State::InUse; },
                   FormatText(texts::kMsgInUseFmt, "b.dat"), "A1", "B1"},
        StagedCase{"ReadOnly", [](auto& fs) { fs.states[kB] = State::ReadOnly; },
                   FormatText(texts::kMsgReadOnlyFmt, "b.dat"), "A1", "B1"},
        StagedCase{"Refused", [](auto& fs) { fs.states[kB] = State::Refused; },
                   FormatText(texts::kMsgRefusedFmt, "b.dat"), "A1", "B1"},
        StagedCase{"FolderMissing", [](auto& fs) { fs.states[kB] = State::FolderMissing; },
                   FormatText(texts::kMsgFolderMissingFmt, "b.dat"), "A1", "B1"},
        // Two files of 4 KiB each on disk: a byte short still reads 1 MB.
        StagedCase{"NoRoom", [](auto& fs) { fs.freeBytes = 8192 - 1; },
                   FormatText(texts::kMsgNoRoomFmt, "1 MB"), "A1", "B1"},
        StagedCase{"StagingFails", [](auto& fs) { fs.failing.insert(kB); },
                   FormatText(texts::kMsgStagingFailedFmt, "b.dat"), "A1", "B1"},
        // The second file cannot be put in place: the first gets its former
        // content back.
        StagedCase{"CommitFailsAndIsRolledBack", [](auto& fs) { fs.commitFailing.insert(kB); },
                   FormatText(texts::kMsgStagingFailedFmt, "b.dat"), "A1", "B1"},
        StagedCase{"RollBackFailsAndNamesTheNewFile",
                   [](auto& fs) {
                     fs.commitFailing.insert(kB);
                     fs.restoreFailing.insert("C:\\Game\\a.dat");
                   },
                   FormatText(texts::kMsgPartlyAppliedFmt, "a.dat"), "A2", "B1"},
        // Cancel, the close box and the session's end while the second file
        // is staged.
        StagedCase{"CancelledWhileStaging", nullptr, texts::kMsgCancelled, "A1", "B1", Stop::Cancel},
        StagedCase{"ClosedWhileStaging", nullptr, texts::kMsgCancelled, "A1", "B1", Stop::CloseBox},
        StagedCase{"SessionEndingWhileStaging", nullptr, texts::kMsgCancelled, "A1", "B1", Stop::SessionEnd}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(StagedPatch, SameDestinationTwiceInAnyCaseIsRefused) {
  Fixture f(kType1 + "%OutFiles\r\na.dat\r\nA.DAT\r\n%%\r\n" + kCheck);
  f.resources.Add("ZSTD", "RESOURCE_FILE0", test::ZstdFrame("A2"));
  f.resources.Add("ZSTD", "RESOURCE_FILE1", test::ZstdFrame("A3"));
  f.files.files = {{"C:\\Game\\game.exe", ""}, {"C:\\Game\\a.dat", "A1"}};
  f.form.Create();
  f.ui.messages.clear();
  f.form.Execute(Action::Start);
  EXPECT_EQ(f.ui.messages, std::vector<Text>{FormatText(texts::kMsgStagingFailedFmt, "A.DAT")});
  EXPECT_TRUE(f.files.writes.empty());
}

// The close box during a staged patch closes the window once the outcome
// has been shown. During the commit pass nothing stops the patch, and the
// session's end is held off.
TEST(StagedPatch, CloseBoxClosesAfterTheOutcomeAndTheCommitPassCannotBeStopped) {
  Fixture f(kType1 + "%OutFiles\r\na.dat\r\n%%\r\n" + kCheck);
  f.resources.Add("ZSTD", "RESOURCE_FILE0", test::ZstdFrame("A2"));
  f.files.files = {{"C:\\Game\\game.exe", ""}};
  f.form.Create();
  f.files.whileStaging = [&](const Text&) {
    EXPECT_TRUE(f.form.enabled(Action::Cancel)) << "Cancel works while staging";
    EXPECT_FALSE(f.form.committing());
  };
  f.files.whileCommitting = [&] {
    EXPECT_TRUE(f.form.committing());
    EXPECT_FALSE(f.form.SessionEnding());
    f.form.Execute(Action::Cancel);
    EXPECT_FALSE(f.form.RequestClose());
  };
  f.form.Execute(Action::Start);
  EXPECT_EQ(f.ui.messages.back(), texts::kMsgPatchSucceeded);
  EXPECT_EQ(f.files.files["C:\\Game\\a.dat"], "A2");
  EXPECT_EQ(f.observer.closes, 0);
  EXPECT_TRUE(f.form.SessionEnding());

  f.files.whileCommitting = nullptr;
  f.files.files.erase("C:\\Game\\a.dat");
  f.form.SetTargetDirText("C:\\Game\\");
  f.files.whileStaging = [&](const Text&) { EXPECT_FALSE(f.form.RequestClose()); };
  f.form.Execute(Action::Start);
  EXPECT_EQ(f.ui.messages.back(), texts::kMsgCancelled);
  EXPECT_EQ(f.observer.closes, 1);
}

// Cancel (Close, once the patch is applied) asks the view to close in every
// state that takes input (see InputIsIgnoredWhileBusy for the others).
TEST(Cancel, AsksTheViewToCloseInEveryIdleState) {
  const struct {
    const char* state;
    bool gameExePresent;
    bool applied;
  } cases[] = {
      {"after start-up, Start disabled", false, false},
      {"Start enabled", true, false},
      {"the patch applied", true, true},
  };
  for (const auto& c : cases) {
    Fixture f(kType1 + "%OutFiles\r\n%%\r\n" + kCheck);
    if (c.gameExePresent) f.files.files["C:\\Game\\game.exe"] = "";
    f.form.Create();
    if (c.applied) f.form.Execute(Action::Start);
    f.form.Execute(Action::Cancel);
    EXPECT_EQ(f.observer.closes, 1) << c.state;
  }
}

}  // namespace
}  // namespace brisko
