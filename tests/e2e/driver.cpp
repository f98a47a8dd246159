#include "driver.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <thread>

#include "win32/main_window_ids.h"

namespace brisko::e2e {

// ---- texts ----------------------------------------------------------------

namespace {

std::string Narrow(std::wstring_view text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(std::max(needed, 0)), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), size, bytes.data(), needed, nullptr, nullptr);
  return bytes;
}

}  // namespace

std::string ShiftJis(std::wstring_view text) { return Narrow(text, 932); }

namespace {
// The tests' paths and texts are Shift-JIS, as the installer's are; they
// reach the system through the wide calls, so that the tests give the same
// results under every system code page.
std::wstring W(std::string_view shiftJis) { return Widen(shiftJis, 932); }
}  // namespace
std::string Utf8(std::wstring_view text) { return Narrow(text, CP_UTF8); }

// ---- files ----------------------------------------------------------------

std::optional<std::string> ReadFileBytes(const std::string& path) {
  HANDLE file = CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
  HANDLE file = CreateFileW(W(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create " << path;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_TRUE(ok && written == bytes.size()) << "cannot write " << path;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(W(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(W(folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = ShiftJis(data.cFileName);
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

std::map<std::string, std::string> FolderFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const std::string& name : ListFolder(folder)) {
    const std::string path = folder + "\\" + name;
    if (!FileExists(path)) continue;
    files[name] = ReadFileBytes(path).value_or("(unreadable)");
  }
  return files;
}

bool MakeFolder(const std::string& path) { return CreateDirectoryW(W(path).c_str(), nullptr) != FALSE; }

bool DeleteFileAt(const std::string& path) { return DeleteFileW(W(path).c_str()) != FALSE; }

// ---- packages -------------------------------------------------------------


std::uint32_t PatternColour(int x, int y) {
  const std::uint32_t r = static_cast<std::uint32_t>(x * 7 + y * 3) & 0xFF;
  const std::uint32_t g = static_cast<std::uint32_t>((x * 13) ^ (y * 5)) & 0xFF;
  const std::uint32_t b = static_cast<std::uint32_t>((x + y) * 11 + 64) & 0xFF;
  return r << 16 | g << 8 | b;
}

std::string ScriptText(const ScriptParts& parts) {
  std::string text;
  const auto line = [&text](const std::string& l) { text += l + "\r\n"; };
  const auto value = [&](const char* key, const std::optional<std::string>& v) {
    if (!v) return;
    line(key);
    line("\t" + *v);
    line("");
  };
  const auto list = [&](const char* key, const std::optional<std::vector<std::string>>& items) {
    if (!items) return;
    line(key);
    for (const std::string& item : *items) line("\t" + item);
    line("%%");
    line("");
  };
  value("*PatchType", parts.patchType);
  list("%LinkPath", parts.linkPath);
  value("*Caption", parts.caption);
  value("*GameTitle", parts.gameTitle);
  line("*Version");
  line("1.0");
  line("");
  list("%CheckTargetFilename", parts.checkTargetFilename);
  list("%OutFiles", parts.outFiles);
  return text;
}

void ResourceUpdatePackager::Make(const Package& package, const std::string& exePath) const {
  ASSERT_TRUE(CopyFileW(W(stub_).c_str(), W(exePath).c_str(), FALSE)) << "cannot copy the stub " << stub_;
  HANDLE update = BeginUpdateResourceW(W(exePath).c_str(), FALSE);
  ASSERT_NE(update, nullptr) << "BeginUpdateResourceW " << exePath;
  const WORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
  bool ok = true;
  const auto add = [&](const char* type, const std::string& name, const std::string& bytes) {
    // A zero size with data still adds an (empty) resource.
    static char empty = 0;
    void* data = bytes.empty() ? &empty : const_cast<char*>(bytes.data());
    ok = ok && UpdateResourceW(update, W(type).c_str(), W(name).c_str(), neutral, data, static_cast<DWORD>(bytes.size()));
  };
  if (package.script) add("TEXT", "RESOURCE_SCRIPT", *package.script);
  if (package.background) add("BMP", "RESOURCE_BACKGROUND", *package.background);
  for (const auto& [number, bytes] : package.payloads) {
    const std::string name = "RESOURCE_FILE" + std::to_string(number);
    if (!package.compressed.count(number)) {
      add("BIN", name, bytes);
      continue;
    }
    std::string frame = test::ZstdFrame(bytes);
    if (package.damaged.count(number)) frame[frame.size() / 2] ^= 0x20;
    add("ZSTD", name, frame);
  }
  ASSERT_TRUE(ok) << "UpdateResourceW";
  ASSERT_TRUE(EndUpdateResourceW(update, FALSE)) << "EndUpdateResourceW " << exePath;
}

namespace {

// Plain functions rather than lambdas: 32-bit callbacks are stdcall.
BOOL CALLBACK FindPayloadName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
  if (IS_INTRESOURCE(name) || std::wstring_view(name).rfind(L"RESOURCE_FILE", 0) != 0) return TRUE;
  *reinterpret_cast<bool*>(found) = true;
  return FALSE;
}

}  // namespace

bool HoldsStagedPackage(const std::string& exePath) {
  HMODULE image = LoadLibraryExW(W(exePath).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_NE(image, nullptr) << "cannot read the resources of " << exePath;
  if (image == nullptr) return false;
  bool found = false;
  for (const wchar_t* type : {L"ZSTD", L"DELTA"})
    if (!found) EnumResourceNamesW(image, type, FindPayloadName, reinterpret_cast<LONG_PTR>(&found));
  FreeLibrary(image);
  return found;
}

namespace {
std::vector<std::shared_ptr<const Packager>>& PackagerList() {
  static std::vector<std::shared_ptr<const Packager>> list;
  return list;
}
}  // namespace

void RegisterPackager(std::shared_ptr<const Packager> packager) { PackagerList().push_back(std::move(packager)); }
const std::vector<std::shared_ptr<const Packager>>& Packagers() { return PackagerList(); }

std::string PackagerName(const testing::TestParamInfo<std::shared_ptr<const Packager>>& info) {
  return info.param->name();
}

Settings& TestSettings() {
  static Settings settings;
  return settings;
}

std::string WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string windows = "Z:" + path;
  std::replace(windows.begin(), windows.end(), '/', '\\');
  return windows;
}

// ---- the shell ------------------------------------------------------------

std::string ProgramsFolder() {
  wchar_t folder[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, folder);
  return ShiftJis(folder);
}

void SaveShortcut(const std::string& linkPath, const std::string& target) {
  ASSERT_TRUE(test::SaveShortcut(linkPath, target)) << "cannot save the shortcut " << linkPath;
}

void CreateProgramsShortcut(const std::string& relativePath, const std::string& target) {
  SaveShortcut(ProgramsFolder() + "\\" + relativePath, target);
}

// ---- windows --------------------------------------------------------------

std::string WindowTextA(HWND hwnd) { return ShiftJis(WindowTextW(hwnd)); }

std::wstring ClassName(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

RECT RectInParent(HWND hwnd) {
  RECT rect{};
  GetWindowRect(hwnd, &rect);
  MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::vector<std::uint32_t> CaptureClient(HWND hwnd, int width, int height) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, 0xFF000000u);
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (section != nullptr) {
    HGDIOBJ old = SelectObject(memory, section);
    BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    const auto* source = static_cast<const std::uint32_t*>(bits);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = source[i] & 0xFFFFFFu;
    SelectObject(memory, old);
    DeleteObject(section);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

bool WaitUntil(const std::function<bool()>& condition, Duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(15ms);
  }
}

std::optional<DWORD> RunProgram(std::string commandLine, DWORD timeoutMs, const std::string& folder) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process))
    return std::nullopt;
  const DWORD waited = WaitForSingleObject(process.hProcess, timeoutMs);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (waited != WAIT_OBJECT_0) return std::nullopt;
  return code;
}

namespace {

struct WindowSearch {
  DWORD pid;
  std::vector<HWND> found;
};

// Plain functions rather than lambdas: 32-bit callbacks are stdcall.
BOOL CALLBACK CollectProcessWindow(HWND hwnd, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner == search->pid && IsWindowVisible(hwnd)) search->found.push_back(hwnd);
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM data) {
  reinterpret_cast<std::vector<HWND>*>(data)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD pid) {
  WindowSearch search{pid, {}};
  EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

Dialog ReadDialog(HWND hwnd) {
  Dialog dialog;
  dialog.hwnd = hwnd;
  dialog.caption = WindowTextW(hwnd);
  for (HWND child : Descendants(hwnd)) {
    const std::wstring cls = ClassName(child);
    if (cls == L"SysTreeView32") dialog.isFolderChooser = true;
    if (_wcsicmp(cls.c_str(), L"Static") != 0 || !IsWindowVisible(child)) continue;
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if ((style & SS_TYPEMASK) == SS_ICON) {
      // The box may keep its icon control with no icon in it.
      DWORD_PTR icon = 0;
      SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon);
      dialog.hasIcon = dialog.hasIcon || icon != 0;
      continue;
    }
    if (dialog.text.empty()) dialog.text = WindowTextW(child);
  }
  return dialog;
}

}  // namespace

Installer::Installer(const std::string& exePath, const std::string& failingCalls, DWORD slowWritesMs) {
  SetEnvironmentVariableA("BRISKO_FAIL", failingCalls.empty() ? nullptr : failingCalls.c_str());
  SetEnvironmentVariableA("BRISKO_SLOW_WRITES", slowWritesMs == 0 ? nullptr : std::to_string(slowWritesMs).c_str());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring commandLine = L"\"" + W(exePath) + L"\"";
  const BOOL started = CreateProcessW(W(exePath).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &process_);
  SetEnvironmentVariableA("BRISKO_FAIL", nullptr);
  SetEnvironmentVariableA("BRISKO_SLOW_WRITES", nullptr);
  if (!started) {
    ADD_FAILURE() << "cannot start " << exePath << " (error " << GetLastError() << ")";
    return;
  }
  pid_ = process_.dwProcessId;
}

Installer::~Installer() {
  if (process_.hProcess == nullptr) return;
  if (Running()) {
    TerminateProcess(process_.hProcess, 1);
    WaitForSingleObject(process_.hProcess, 5000);
  }
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

bool Installer::Running() const {
  return process_.hProcess != nullptr && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

void Installer::Kill() {
  ASSERT_TRUE(Running());
  TerminateProcess(process_.hProcess, 1);
  EXPECT_EQ(WaitForSingleObject(process_.hProcess, 5000), WAIT_OBJECT_0) << "the installer did not end";
}

std::optional<Dialog> Installer::CurrentDialog() const {
  for (HWND hwnd : TopLevelWindows(pid_))
    if (ClassName(hwnd) == L"#32770") return ReadDialog(hwnd);
  return std::nullopt;
}

std::optional<Dialog> Installer::WaitDialog(Duration timeout) const {
  std::optional<Dialog> dialog;
  WaitUntil([&] { return (dialog = CurrentDialog()).has_value() || !Running(); }, timeout);
  return dialog;
}

void Installer::Answer(const Dialog& dialog, bool ok) const {
  HWND button = GetDlgItem(dialog.hwnd, ok ? IDOK : IDCANCEL);
  if (button != nullptr)
    PostMessageW(button, BM_CLICK, 0, 0);
  else
    PostMessageW(dialog.hwnd, WM_COMMAND, ok ? IDOK : IDCANCEL, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog.hwnd) || !IsWindowVisible(dialog.hwnd); }))
      << "the dialog did not close";
}

HWND Installer::FindMainWindow() const {
  for (HWND hwnd : TopLevelWindows(pid_))
    if (ClassName(hwnd) == ids::kMainWindowClass) return hwnd;
  return nullptr;
}

HWND Installer::ApplicationWindow() const {
  for (HWND hwnd : TopLevelWindows(pid_))
    if (ClassName(hwnd) != L"#32770" && WindowTextW(hwnd) == L"briskoPatch") return hwnd;
  return nullptr;
}

namespace {

GUITHREADINFO GuiThreadInfo(DWORD threadId) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(threadId, &info)) info = GUITHREADINFO{};
  return info;
}

}  // namespace

HWND Installer::ActiveWindow() const { return GuiThreadInfo(process_.dwThreadId).hwndActive; }
HWND Installer::FocusWindow() const { return GuiThreadInfo(process_.dwThreadId).hwndFocus; }

std::vector<Dialog> Installer::StartUp() {
  std::vector<Dialog> messages;
  const bool shown = WaitUntil([&] {
    if (auto dialog = CurrentDialog()) {
      messages.push_back(*dialog);
      Answer(*dialog);
      return false;
    }
    window_ = FindMainWindow();
    return window_ != nullptr || !Running();
  });
  EXPECT_TRUE(shown && window_ != nullptr) << "the main window did not appear";
  return messages;
}

HWND Installer::Control(int id) const { return GetDlgItem(window_, id); }

std::string Installer::Field() const { return WindowTextA(Control(ids::kEdtTargetDir)); }
bool Installer::StartEnabled() const { return IsWindowEnabled(Control(ids::kBtnStart)) != FALSE; }
bool Installer::CancelEnabled() const { return IsWindowEnabled(Control(ids::kBtnCancel)) != FALSE; }
std::wstring Installer::StartCaption() const { return WindowTextW(Control(ids::kBtnStart)); }
std::wstring Installer::CancelCaption() const { return WindowTextW(Control(ids::kBtnCancel)); }

void Installer::SetField(const std::string& text) const {
  // The installer runs its folder check inside the change notification, so
  // it is done when WM_SETTEXT returns.
  DWORD_PTR result = 0;
  const std::wstring wide = W(text);
  EXPECT_TRUE(SendMessageTimeoutW(Control(ids::kEdtTargetDir), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                                  SMTO_ABORTIFHUNG, 10000, &result));
}

void Installer::Press(int id) const {
  HWND control = Control(id);
  ASSERT_NE(control, nullptr) << "no control " << id;
  if (ClassName(control) == L"Static") {
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  } else {
    PostMessageW(control, BM_CLICK, 0, 0);
  }
}

Dialog Installer::StartAndWaitMessage() {
  Press(ids::kBtnStart);
  std::optional<Dialog> dialog = WaitDialog();
  EXPECT_TRUE(dialog.has_value()) << "Start showed no message";
  return dialog.value_or(Dialog{});
}

bool Installer::SendDpiChanged(int dpi, const RECT& frame) const {
  void* remote = VirtualAllocEx(process_.hProcess, nullptr, sizeof frame, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (remote == nullptr) return false;
  SIZE_T written = 0;
  DWORD_PTR result = 0;
  const bool sent = WriteProcessMemory(process_.hProcess, remote, &frame, sizeof frame, &written) &&
                    written == sizeof frame &&
                    SendMessageTimeoutW(window_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote),
                                        SMTO_ABORTIFHUNG, 10000, &result);
  VirtualFreeEx(process_.hProcess, remote, 0, MEM_RELEASE);
  return sent;
}

std::optional<DWORD> Installer::WaitExit(Duration timeout) {
  if (process_.hProcess == nullptr ||
      WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
    return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

// ---- the fixture -----------------------------------------------------------

namespace {

std::string TestName() {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  // Letters, digits and dashes only: Wine's folder chooser cannot preselect a
  // folder whose path holds a dotted name.
  std::string name = std::string(info->test_suite_name()) + "-" + info->name();
  for (char& c : name)
    if (c == '/' || c == '.') c = '-';
  return name;
}

}  // namespace

void InstallerTest::SetUp() {
  MakeFolder("C:\\brisko-e2e");
  root_ = "C:\\brisko-e2e\\" + TestName() + "\\";
  RemoveTree(root_);
  ASSERT_TRUE(MakeFolder(root_)) << root_;
  target_ = root_ + "target";
  ASSERT_TRUE(MakeFolder(target_));
  WriteFileBytes(target_ + "\\target.exe", "MZ target");
}

void InstallerTest::TearDown() {
  if (!shortcutFolder_.empty()) RemoveTree(shortcutFolder_);
  RemoveTree(root_);
}

std::string InstallerTest::MakeInstaller(const Package& package, const std::string& name) {
  const std::string exe = root_ + name;
  GetParam()->Make(package, exe);
  return exe;
}

Package InstallerTest::StandardPackage(const ScriptParts& script, std::map<int, std::string> payloads) const {
  Package package;
  package.script = ScriptText(script);
  package.background = BitmapFile24(600, 300, PatternColour);
  package.payloads = std::move(payloads);
  return package;
}

std::string InstallerTest::AddTargetShortcut() {
  const std::string folder = "brisko-e2e\\" + TestName();
  const std::string relative = folder + "\\Game.lnk";
  CreateProgramsShortcut(relative, target_ + "\\target.exe");
  shortcutFolder_ = ProgramsFolder() + "\\" + folder;
  return relative;
}

std::unique_ptr<Installer> InstallerTest::Launch(const std::string& exe, std::vector<Dialog>* startUpMessages,
                                                 const std::string& failingCalls, DWORD slowWritesMs) {
  auto installer = std::make_unique<Installer>(exe, failingCalls, slowWritesMs);
  std::vector<Dialog> messages = installer->StartUp();
  if (startUpMessages != nullptr) *startUpMessages = std::move(messages);
  return installer;
}

}  // namespace brisko::e2e
