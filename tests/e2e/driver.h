// Driving installers from another process, for the end-to-end tests.
//
// A test describes a patch package (script, background, payload files), has
// a Packager turn it into an installer executable, starts the installer and
// then works its window as a user would: it reads the caption, the field,
// the buttons and the message boxes, types into the field, presses buttons,
// answers message boxes, and checks the files that were written.
//
// Everything waits by polling with short intervals and a deadline: nothing
// sleeps for a fixed time except the checks that something does NOT happen.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"
#include "win_test_support.h"

#include <gtest/gtest.h>

namespace brisko::e2e {

using namespace std::chrono_literals;
using Duration = std::chrono::milliseconds;

// How long a step may take before a test gives up on it. Starting a program
// under Wine takes a second or two.
inline constexpr Duration kStepTimeout = 20s;

// ---- texts ----------------------------------------------------------------

// UTF-16 from bytes of a code page (932 for Shift-JIS, CP_ACP).
using test::Widen;
// Shift-JIS bytes of a UTF-16 text.
std::string ShiftJis(std::wstring_view text);
// Narrow UTF-8 for test messages.
std::string Utf8(std::wstring_view text);

// ---- files ----------------------------------------------------------------
// Paths are Shift-JIS, whatever the system's code page.

std::optional<std::string> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, std::string_view bytes);
bool FileExists(const std::string& path);
bool MakeFolder(const std::string& path);
bool DeleteFileAt(const std::string& path);
// Deletes a folder with everything in it, read-only files included.
using test::RemoveTree;
// Names of the entries of a folder, "." and ".." left out.
std::vector<std::string> ListFolder(const std::string& folder);
// The files of a folder (not its sub-folders) by name, with their bytes.
std::map<std::string, std::string> FolderFiles(const std::string& folder);

// ---- packages -------------------------------------------------------------

// A complete 24-bit bitmap file, rows bottom-up, pixel colours from `colour`
// as 0x00RRGGBB.
using test::BitmapFile24;
// The test picture: 600 x 300 with a pattern in which no two neighbours share
// a colour, so that any misplaced pixel shows.
std::uint32_t PatternColour(int x, int y);

// The sections of a patch script, each one optional.
struct ScriptParts {
  std::optional<std::string> caption = std::string("E2E patch");
  std::optional<std::string> gameTitle = std::string("E2E Game");
  std::optional<std::string> patchType = std::string("1");
  std::optional<std::vector<std::string>> linkPath;
  std::optional<std::vector<std::string>> checkTargetFilename = std::vector<std::string>{"target.exe"};
  std::optional<std::vector<std::string>> outFiles;
};
// The script text: Shift-JIS/ANSI bytes, one tab before every value, CR LF.
std::string ScriptText(const ScriptParts& parts);

struct Package {
  std::optional<std::string> script;
  std::optional<std::string> background;
  // RESOURCE_FILE<n> by n.
  std::map<int, std::string> payloads;
  // Payloads that ResourceUpdatePackager stores compressed, as one zstd
  // frame; of those, the damaged ones have a byte of their frame changed.
  // (The packer compresses on its own whatever compression makes smaller.)
  std::set<int> compressed;
  std::set<int> damaged;
};

// Turns a package into an installer executable. The scenarios run once for
// every registered packager.
class Packager {
 public:
  virtual ~Packager() = default;
  // Short name, used in test names: letters and digits only.
  virtual std::string name() const = 0;
  // Writes an installer carrying `package` to `exePath`; reports failures
  // through GoogleTest assertions.
  virtual void Make(const Package& package, const std::string& exePath) const = 0;
};

// Copies the stub installer and adds the package with
// BeginUpdateResourceA / UpdateResourceA / EndUpdateResourceA.
class ResourceUpdatePackager final : public Packager {
 public:
  explicit ResourceUpdatePackager(std::string stubPath) : stub_(std::move(stubPath)) {}
  std::string name() const override { return "Resources"; }
  void Make(const Package& package, const std::string& exePath) const override;

 private:
  std::string stub_;
};

// The installer at `exePath` holds a payload stored other than raw, so that
// it applies its patch as one transaction (read from its resources).
bool HoldsStagedPackage(const std::string& exePath);

void RegisterPackager(std::shared_ptr<const Packager> packager);
const std::vector<std::shared_ptr<const Packager>>& Packagers();

// Settings from the command line: --stub=PATH --fault-stub=PATH --demo=PATH
// --samples=PATH (Unix paths are taken as paths on Wine's Z: drive).
struct Settings {
  std::string stub;
  // The test variant of the stub, which fails the system calls that
  // BRISKO_FAIL names; never shipped.
  std::string faultStub;
  std::string demo;
  std::string samples;
  // --shortcut-written: WriteShortcutForAnotherCodePage ran under code page
  // 932 in this prefix before this run.
  bool shortcutWritten = false;
};
Settings& TestSettings();
std::string WindowsPath(const std::string& unixOrWindowsPath);

// ---- the shell ------------------------------------------------------------

// The current user's Programs menu folder.
std::string ProgramsFolder();
// Creates the shortcut `relativePath` (below the Programs menu folder,
// folders made as needed) pointing to `target`.
void CreateProgramsShortcut(const std::string& relativePath, const std::string& target);
// Writes a shortcut at the full path `linkPath` (its folder is created).
void SaveShortcut(const std::string& linkPath, const std::string& target);
// Writes, under the running code page, the Japanese target folder and the
// Programs menu shortcut to it that a later run under another code page
// looks for (--write-shortcut). False on failure.
bool WriteShortcutForAnotherCodePage();

// ---- windows --------------------------------------------------------------

using test::WindowTextW;
std::string WindowTextA(HWND hwnd);
std::wstring ClassName(HWND hwnd);
// The window's rectangle in its parent's client coordinates.
RECT RectInParent(HWND hwnd);

// The pixels of the window's client area as they are on the screen now,
// 0x00RRGGBB, rows top-down, `width` x `height` from the client origin.
std::vector<std::uint32_t> CaptureClient(HWND hwnd, int width, int height);

// A dialog box of the installer: a message box or the folder chooser.
struct Dialog {
  HWND hwnd = nullptr;
  std::wstring caption;
  // The message, or the chooser's prompt.
  std::wstring text;
  // A message box showing an icon (the exception report's error icon).
  bool hasIcon = false;
  // The folder chooser rather than a message box.
  bool isFolderChooser = false;
};

bool WaitUntil(const std::function<bool()>& condition, Duration timeout = kStepTimeout);
// Runs a console program's command line without a window or inherited
// handles, in `folder` when one is given, and waits for it; its exit code,
// or nullopt when it could not be started or did not end in time.
std::optional<DWORD> RunProgram(std::string commandLine, DWORD timeoutMs = 120000, const std::string& folder = {});

// One running installer. Ends it on destruction if it still runs.
class Installer {
 public:
  // Starts `exePath` without handle inheritance, with `failingCalls` in the
  // environment variable BRISKO_FAIL: the test variant of the installer
  // fails those calls, a shipped installer must not notice. With
  // `slowWritesMs`, the test variant takes that much longer over every
  // WriteFile (BRISKO_SLOW_WRITES), so that a test can act while it writes.
  explicit Installer(const std::string& exePath, const std::string& failingCalls = {}, DWORD slowWritesMs = 0);
  Installer(const Installer&) = delete;
  Installer& operator=(const Installer&) = delete;
  ~Installer();

  DWORD pid() const { return pid_; }

  // The installer's visible dialog, if it shows one now.
  std::optional<Dialog> CurrentDialog() const;
  // Waits for a dialog; nullopt on timeout.
  std::optional<Dialog> WaitDialog(Duration timeout = kStepTimeout) const;
  // Presses the dialog's OK button (IDOK) or, for the chooser, OK or Cancel,
  // and waits until it is gone.
  void Answer(const Dialog& dialog, bool ok = true) const;

  // Start-up: answers every message box that appears before the main window
  // shows, and returns them in order. Fails the test if the main window does
  // not appear.
  std::vector<Dialog> StartUp();

  HWND window() const { return window_; }
  // The application window: the installer's visible top-level window
  // captioned with the application title that is no dialog; nullptr when
  // there is none.
  HWND ApplicationWindow() const;
  // The installer's active window and the window with the keyboard focus,
  // as its GUI thread sees them.
  HWND ActiveWindow() const;
  HWND FocusWindow() const;
  HWND Control(int id) const;
  std::wstring CaptionW() const { return WindowTextW(window_); }
  std::string CaptionA() const { return WindowTextA(window_); }
  std::string Field() const;
  bool StartEnabled() const;
  bool CancelEnabled() const;
  std::wstring StartCaption() const;
  std::wstring CancelCaption() const;

  // Puts `text` (ANSI bytes) into the field as typing would, and returns once
  // the installer has handled the change.
  void SetField(const std::string& text) const;
  // Presses a control: BM_CLICK for buttons, a mouse click for the label.
  // Returns at once; the installer handles it in its own time.
  void Press(int id) const;
  // Presses Start and returns the message box that it shows.
  Dialog StartAndWaitMessage();

  // Sends the window WM_DPICHANGED as the system does when the window comes
  // onto a monitor of `dpi`, with the suggested `frame`; the rectangle goes
  // into the installer's own memory, where the system would put it. False
  // when it cannot be sent.
  bool SendDpiChanged(int dpi, const RECT& frame) const;

  // Waits for the process to end; its exit code, or nullopt on timeout.
  std::optional<DWORD> WaitExit(Duration timeout = kStepTimeout);
  bool Running() const;
  // Ends the process at once, as the task manager's End task or a crash
  // would, and waits until it has gone.
  void Kill();

 private:
  HWND FindMainWindow() const;

  PROCESS_INFORMATION process_{};
  DWORD pid_ = 0;
  HWND window_ = nullptr;
};

// ---- the scenarios' fixture ----------------------------------------------

// One test: a fresh folder C:\brisko-e2e\<test>\ with a target folder in it,
// and installers made by the packager under test.
class InstallerTest : public testing::TestWithParam<std::shared_ptr<const Packager>> {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The test's own folder, with a trailing backslash.
  const std::string& root() const { return root_; }
  // The target folder, "<root>target" without a trailing backslash.
  const std::string& target() const { return target_; }

  // Makes an installer for `package` in the test's folder.
  std::string MakeInstaller(const Package& package, const std::string& name = "installer.exe");
  // A package with the standard picture, `script` and payloads.
  Package StandardPackage(const ScriptParts& script, std::map<int, std::string> payloads = {}) const;
  // A shortcut in the Programs menu to target()\target.exe (created), whose
  // path relative to the menu goes into a script's %LinkPath; removed after
  // the test.
  std::string AddTargetShortcut();
  // Starts `exe` and runs its start-up; returns the messages of start-up.
  std::unique_ptr<Installer> Launch(const std::string& exe, std::vector<Dialog>* startUpMessages = nullptr,
                                    const std::string& failingCalls = {}, DWORD slowWritesMs = 0);

 private:
  std::string root_;
  std::string target_;
  std::string shortcutFolder_;
};

// Names a parameterised test after its packager.
std::string PackagerName(const testing::TestParamInfo<std::shared_ptr<const Packager>>& info);

#define BRISKO_INSTANTIATE_FOR_PACKAGERS(Suite) \
  INSTANTIATE_TEST_SUITE_P(E2E, Suite, testing::ValuesIn(::brisko::e2e::Packagers()), ::brisko::e2e::PackagerName)

}  // namespace brisko::e2e
