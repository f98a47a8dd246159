// Start-up and the start action with each of their system calls failing in
// turn, one call at a time, over the package in this executable's own
// resources (fault_package/). After every failure: the outcome the user is
// told, every handle, key, item list and COM object released, no destination
// changed but those written before the failure, and no temporary file left.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "core/errors.h"
#include "core/form_main.h"
#include "core/text/fixed_texts.h"
#include "fakes.h"
#include "fault_injection.h"
#include "system_test_helpers.h"
#include "win32/win_resources.h"
#include "win32/win_target_discovery.h"
#include "win32/win_worker.h"

namespace brisko {
namespace {

// What fault_package/script.txt names.
constexpr char kShortcutFolder[] = "brisko-fault-sweep";
constexpr unsigned kMaxCalls = 500;

const std::set<std::string> kResourceCalls = {"FindResourceW", "LoadResource", "SizeofResource", "LockResource"};

std::string Resource(const char* name) { return std::string(WinResources().Find("BIN", name).value_or("")); }

// The package of this executable, raw (entry by entry), or with its payloads
// compressed (one transaction).
class SweptResources final : public Resources {
 public:
  explicit SweptResources(bool compressed) : compressed_(compressed) {}
  std::optional<std::string_view> Find(const Text& type, const Text& name) override {
    if (!compressed_ || (type != "BIN" && type != "ZSTD")) return real_.Find(type, name);
    if (type == "BIN") return std::nullopt;
    const std::optional<std::string_view> raw = real_.Find("BIN", name);
    if (!raw) return std::nullopt;
    std::string& frame = frames_[name];
    if (frame.empty()) frame = test::ZstdFrame(*raw);
    return std::string_view(frame);
  }

 private:
  bool compressed_;
  WinResources real_;
  std::map<Text, std::string> frames_;
};

// A form over the real backends and a recording user interface.
struct Installer {
  test::FakeUi ui;
  WinResources resources;
  WinFileSystem files{WinLocale::System()};
  WinTargetDiscovery discovery{files, WinLocale::System()};
  WinWorker worker;
  TFormMain form{{resources, files, ui, WinLocale::System(), discovery, worker}};
};

class FaultSweep : public testing::Test {
 protected:
  // Made once for the suite: Wine's menu builder may still hold a shortcut
  // that was just written, so deleting and writing it again between tests
  // could fail.
  static void SetUpTestSuite() {
    target_.emplace(test::TempFolder() + "\\" + test::UniqueName("BriskoSweep"));
    char programs[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, TRUE);
    shortcuts_.emplace(Text(programs) + "\\" + kShortcutFolder);
    shortcutMade_ = test::WriteBytes(*target_ / "target.exe", "MZ") &&
                    test::SaveShortcut(*shortcuts_ / "Game.lnk", *target_ / "target.exe");
  }
  static void TearDownTestSuite() {
    shortcuts_.reset();
    target_.reset();
  }
  void SetUp() override { ASSERT_TRUE(shortcutMade_); }

  // The folder before each run: b.dat exists with attributes of its own,
  // a.dat does not.
  void Prepare() {
    DeleteFileA((*target_ / "a.dat").c_str());
    SetFileAttributesA((*target_ / "b.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(test::WriteBytes(*target_ / "b.dat", kOldB));
    ASSERT_TRUE(SetFileAttributesA((*target_ / "b.dat").c_str(), kAttributesB));
    attributesB_ = GetFileAttributesA((*target_ / "b.dat").c_str());
  }

  std::optional<std::string> Read(const char* name) const {
    unique_hfile file(CreateFileA((*target_ / name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  0, nullptr));
    if (!file) return std::nullopt;
    std::string bytes(1 << 16, '\0');
    DWORD read = 0;
    ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
  }

  std::set<std::string> Names() const {
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    unique_hfind find(FindFirstFileA((*target_ / "*").c_str(), &data));
    if (find) {
      do {
        if (data.cFileName[0] != '.') names.insert(data.cFileName);
      } while (FindNextFileA(find.get(), &data));
    }
    return names;
  }

  struct Outcome {
    bool success = false;
    std::optional<std::string> a, b;
    std::string failed;  // the call made to fail, or empty
    std::vector<Text> messages;
  };

  // The start action over the real backends, with `fail` choosing the calls
  // that fail; checks what every outcome must hold.
  Outcome StartWithFaults(bool compressed, const std::function<void(test::FaultInjector&)>& fail) {
    const std::string newA = Resource("RESOURCE_FILE0"), newB = Resource("RESOURCE_FILE1");
    Prepare();
    test::FaultInjector faults;
    SweptResources resources(compressed);
    test::FakeUi ui;
    WinFileSystem files{WinLocale::System()};
    WinTargetDiscovery discovery{files, WinLocale::System()};
    WinWorker worker;
    TFormMain form{{resources, files, ui, WinLocale::System(), discovery, worker}};
    form.Create();
    EXPECT_TRUE(form.enabled(Action::Start));
    faults.Reset();
    fail(faults);
    form.Execute(Action::Start);
    Outcome out{ui.messages == std::vector<Text>{texts::kMsgPatchSucceeded}, Read("a.dat"), Read("b.dat"),
                faults.failed(), ui.messages};
    SCOPED_TRACE("failed: " + out.failed);
    EXPECT_EQ(faults.Unreleased(), "");
    EXPECT_EQ(ui.messages.size(), 1u);
    if (out.success) {
      EXPECT_EQ(out.a, newA);
      EXPECT_EQ(out.b, newB);
    } else {
      EXPECT_EQ(out.b, std::optional<std::string>(kOldB)) << "the last destination never changes";
      // Raw payloads leave the entries before a failure written; compressed
      // ones leave every file as it was, unless what the commit pass put in
      // place could not be put back, and the message names it.
      EXPECT_TRUE(!out.a || *out.a == newA);
      if (compressed && out.a) {
        EXPECT_EQ(ui.messages, std::vector<Text>{FormatText(texts::kMsgPartlyAppliedFmt, "a.dat")});
      }
      if (!compressed) {
        EXPECT_EQ(ui.messages, std::vector<Text>{texts::kMsgPatchFailed});
      }
    }
    EXPECT_EQ(GetFileAttributesA((*target_ / "b.dat").c_str()), attributesB_);
    std::set<std::string> expected = {"target.exe", "b.dat"};
    if (out.a) expected.insert("a.dat");
    EXPECT_EQ(Names(), expected) << "no temporary file left";
    return out;
  }

  static constexpr char kOldB[] = "the old b.dat";
  static constexpr DWORD kAttributesB = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  DWORD attributesB_ = 0;  // as the system reports them
  static inline std::optional<test::ScopedFolder> target_, shortcuts_;
  static inline bool shortcutMade_ = false;
};

// Start-up, with the shell naming the Programs folders, and again with the
// shell failing so that the registry fallback runs.
TEST_F(FaultSweep, StartUp) {
  const Text found = target_->path() + "\\";
  for (const char* base : {"", "SHGetSpecialFolderLocation"}) {
    std::map<std::string, int> outcomes;
    unsigned index = 1;
    for (; index < kMaxCalls; ++index) {
      test::FaultInjector faults;
      if (*base) {
        ASSERT_TRUE(faults.FailFrom(base));
      }
      faults.FailAt(index);
      std::string failed;
      {
        Installer installer;
        installer.form.Create();
        failed = faults.calls().size() >= index ? faults.calls()[index - 1] : "";
        const auto& form = installer.form;
        const auto& ui = installer.ui;
        SCOPED_TRACE(std::string(*base ? "shell failing, " : "") + "call " + std::to_string(index) + " " + failed);
        EXPECT_EQ(faults.Unreleased(), "");
        std::string outcome;
        if (!ui.errors.empty()) {
          outcome = "exception report";
          EXPECT_TRUE(kResourceCalls.count(failed) || failed == "RegQueryValueExW");
          EXPECT_TRUE(ui.messages.empty());
          EXPECT_EQ(form.targetDir(), "");
        } else if (!ui.messages.empty()) {
          outcome = "target not found";
          EXPECT_EQ(ui.messages, std::vector<Text>{texts::kMsgTargetNotFound});
          EXPECT_EQ(form.targetDir(), "");
          EXPECT_TRUE(!failed.empty() && !kResourceCalls.count(failed) && !test::FaultInjector::IsRelease(failed));
        } else {
          EXPECT_EQ(form.targetDir(), found);
          outcome = form.enabled(Action::Start) ? "found" : "found, Start off";
          if (!form.enabled(Action::Start)) {
            EXPECT_EQ(failed, "FindFirstFileW") << "only the folder check";
          }
        }
        if (failed.empty()) {
          EXPECT_EQ(outcome, "found");
          break;
        }
        ++outcomes[outcome];
      }
    }
    ASSERT_LT(index, kMaxCalls);
    std::string summary;
    for (const auto& [outcome, count] : outcomes) summary += ", " + std::to_string(count) + " " + outcome;
    std::printf("[ faults   ] start-up%s: %u calls failed one at a time%s\n", *base ? " (shell failing)" : "",
                index - 1, summary.c_str());
  }
}

TEST_F(FaultSweep, StartAction) {
  for (const bool compressed : {false, true}) {
    std::map<std::string, int> outcomes;
    unsigned index = 1;
    for (; index < kMaxCalls; ++index) {
      SCOPED_TRACE((compressed ? "compressed, call " : "raw, call ") + std::to_string(index));
      const Outcome out = StartWithFaults(compressed, [&](test::FaultInjector& faults) { faults.FailAt(index); });
      if (out.failed.empty()) {
        EXPECT_TRUE(out.success);
        break;
      }
      ++outcomes[out.success ? "success all the same" : "failure"];
    }
    ASSERT_LT(index, kMaxCalls);
    std::string summary;
    for (const auto& [outcome, count] : outcomes) summary += ", " + std::to_string(count) + " " + outcome;
    std::printf("[ faults   ] start action, %s payloads: %u calls failed one at a time%s, 0 files lost\n",
                compressed ? "compressed" : "raw", index - 1, summary.c_str());
  }
}

// The pass that puts the staged files in place (a.dat new, then b.dat
// replaced): a step that fails puts back what the pass had done; where that
// fails too, the message names the file that is new.
struct CommitFault {
  const char* name;
  const char* selection;  // the calls that fail, for FaultInjector::FailSelection
  bool aNew;              // a.dat holds the new content afterwards
  const char* named;      // the entry the message names
};

class CommitPass : public FaultSweep, public testing::WithParamInterface<CommitFault> {};

TEST_P(CommitPass, PutsBackWhatItReplaced) {
  const CommitFault& c = GetParam();
  const Outcome out =
      StartWithFaults(true, [&](test::FaultInjector& faults) { ASSERT_TRUE(faults.FailSelection(c.selection)); });
  EXPECT_FALSE(out.success);
  EXPECT_EQ(out.a.has_value(), c.aNew);
  ASSERT_EQ(out.messages.size(), 1u);
  EXPECT_NE(out.messages[0].find(c.named), Text::npos);
}

// Moving a.dat into place fails; replacing b.dat fails, and a.dat is
// removed again; removing it fails too (the first delete is of b.dat's
// unused backup name), and a.dat stays new.
INSTANTIATE_TEST_SUITE_P(
    Faults, CommitPass,
    testing::Values(CommitFault{"NewFileNotMoved", "MoveFileExW@1", false, "a.dat"},
                    CommitFault{"ReplaceRefused", "ReplaceFileW@1", false, "b.dat"},
                    CommitFault{"ReplaceRefusedAndNotPutBack", "ReplaceFileW@1,DeleteFileW@2", true, "a.dat"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace brisko
