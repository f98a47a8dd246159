// Start-up and the start action with each of their system calls failing in
// turn, one call at a time, over the package in this executable's own
// resources (fault_package/). After every failure: the outcome the user is
// told, every handle, key, item list and COM object released, no destination
// changed but those written before the failure, and no temporary file left.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

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

std::string Resource(const char* name) {
  return std::string(WinResources().Open("BIN", name));
}

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
  const std::string newA = Resource("RESOURCE_FILE0");
  const std::string newB = Resource("RESOURCE_FILE1");
  std::map<std::string, int> outcomes;
  int lost = 0;
  unsigned index = 1;
  for (; index < kMaxCalls; ++index) {
    Prepare();
    test::FaultInjector faults;
    Installer installer;
    installer.form.Create();
    ASSERT_TRUE(installer.form.enabled(Action::Start));
    faults.Reset();
    faults.FailAt(index);
    installer.form.Execute(Action::Start);
    const std::string failed = faults.failed();
    SCOPED_TRACE("call " + std::to_string(index) + " " + failed);
    EXPECT_EQ(faults.Unreleased(), "");

    const auto a = Read("a.dat");
    const auto b = Read("b.dat");
    const bool success = installer.ui.messages == std::vector<Text>{texts::kMsgPatchSucceeded};
    // A release that reports a failure has released all the same; without a
    // thread of its own the worker does the job on the window's thread.
    if (failed.empty() || test::FaultInjector::IsRelease(failed) || failed == "CreateThread") {
      EXPECT_TRUE(success) << installer.ui.messages.size();
      EXPECT_EQ(a, newA);
      EXPECT_EQ(b, newB);
    } else {
      EXPECT_EQ(installer.ui.messages, std::vector<Text>{texts::kMsgPatchFailed});
      EXPECT_EQ(b, std::optional<std::string>(kOldB)) << "the last destination is never changed by a failure";
      EXPECT_TRUE(!a || *a == newA) << "the first destination is absent or whole";
    }
    if (!b || (*b != kOldB && *b != newB)) ++lost;
    EXPECT_EQ(GetFileAttributesA((*target_ / "b.dat").c_str()), attributesB_);
    std::set<std::string> expected = {"target.exe", "b.dat"};
    if (a) expected.insert("a.dat");
    EXPECT_EQ(Names(), expected) << "no temporary file left";
    if (failed.empty()) break;
    ++outcomes[failed == "CreateThread" ? "success without a worker thread"
               : success                ? "success (a release reported failure)"
                                        : "failure message"];
  }
  ASSERT_LT(index, kMaxCalls);
  EXPECT_EQ(lost, 0);
  std::string summary;
  for (const auto& [outcome, count] : outcomes) summary += ", " + std::to_string(count) + " " + outcome;
  std::printf("[ faults   ] start action: %u calls failed one at a time%s, %d files lost\n", index - 1,
              summary.c_str(), lost);
}

}  // namespace
}  // namespace brisko
