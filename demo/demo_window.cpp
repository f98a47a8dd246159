// A helper for scripts/demo.sh: finds the installer's main window so that the
// script can take a screenshot of it, presses Start as the user would, and
// closes it afterwards.
//   demo-window wait SECONDS   prints "LEFT TOP WIDTH HEIGHT" of the window
//                              (frame included) once it is shown; answers no
//                              message box, so a start-up message is left on
//                              screen for the picture
//   demo-window start          prints the folder field and whether Start is
//                              enabled, presses Start, prints the message box
//                              that it shows and answers it with OK; fails
//                              when Start is disabled or shows no message
//   demo-window close          closes the window as its close box would
// Texts are printed in UTF-8, whatever the installer's code page.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "win32/main_window_ids.h"
#include "win_test_support.h"

namespace {

using brisko::test::WindowTextW;

BOOL CALLBACK FindMainWindow(HWND hwnd, LPARAM data) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  if (IsWindowVisible(hwnd) && wcscmp(name, brisko::ids::kMainWindowClass) == 0) {
    *reinterpret_cast<HWND*>(data) = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND FindInstaller() {
  HWND found = nullptr;
  EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND WaitForInstaller(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND hwnd = FindInstaller()) return hwnd;
    if (GetTickCount() - start > milliseconds) return nullptr;
    Sleep(50);
  }
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), needed, nullptr, nullptr);
  return bytes;
}

struct BoxSearch {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindMessageBox(HWND hwnd, LPARAM data) {
  auto* search = reinterpret_cast<BoxSearch*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  if (pid == search->pid && IsWindowVisible(hwnd) && wcscmp(name, L"#32770") == 0) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForMessageBox(DWORD pid, DWORD milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    BoxSearch search{pid, nullptr};
    EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    if (GetTickCount() - start > milliseconds) return nullptr;
    Sleep(50);
  }
}

BOOL CALLBACK FindMessageText(HWND hwnd, LPARAM data) {
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  // The message is the box's text control; the icon is a static as well.
  if (_wcsicmp(name, L"Static") == 0 && (GetWindowLongW(hwnd, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
    std::wstring text = WindowTextW(hwnd);
    if (!text.empty()) {
      *reinterpret_cast<std::wstring*>(data) = std::move(text);
      return FALSE;
    }
  }
  return TRUE;
}

int PressStart() {
  HWND hwnd = FindInstaller();
  if (hwnd == nullptr) {
    std::fprintf(stderr, "demo-window: the installer's window is not shown\n");
    return 1;
  }
  HWND start = GetDlgItem(hwnd, brisko::ids::kBtnStart);
  const bool enabled = IsWindowEnabled(start) != FALSE;
  std::printf("Folder field: %s\n", Utf8(WindowTextW(GetDlgItem(hwnd, brisko::ids::kEdtTargetDir))).c_str());
  std::printf("Start button: %s\n", enabled ? "enabled" : "disabled");
  if (!enabled) return 1;
  // Posted, not sent: the installer shows its message box from inside the
  // click and would not return until the box is answered.
  PostMessageW(start, BM_CLICK, 0, 0);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  HWND box = WaitForMessageBox(pid, 20000);
  if (box == nullptr) {
    std::fprintf(stderr, "demo-window: Start showed no message\n");
    return 1;
  }
  std::wstring message;
  EnumChildWindows(box, FindMessageText, reinterpret_cast<LPARAM>(&message));
  std::printf("Message (%s): %s\n", Utf8(WindowTextW(box)).c_str(), Utf8(message).c_str());
  std::fflush(stdout);
  if (HWND ok = GetDlgItem(box, IDOK))
    PostMessageW(ok, BM_CLICK, 0, 0);
  else
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  for (int i = 0; i < 100 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(50);
  return IsWindow(box) && IsWindowVisible(box) ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "wait") == 0) {
    const DWORD seconds = argc >= 3 ? static_cast<DWORD>(std::atoi(argv[2])) : 30;
    HWND hwnd = WaitForInstaller(seconds * 1000);
    if (hwnd == nullptr) {
      std::fprintf(stderr, "demo-window: the installer's window did not appear\n");
      return 1;
    }
    // Let it finish painting: a round trip through its message queue.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    Sleep(300);
    RECT r{};
    GetWindowRect(hwnd, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "start") == 0) return PressStart();
  if (argc >= 2 && std::strcmp(argv[1], "close") == 0) {
    HWND hwnd = FindInstaller();
    if (hwnd == nullptr) return 0;
    PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    for (int i = 0; i < 100 && IsWindow(hwnd); ++i) Sleep(50);
    return IsWindow(hwnd) ? 1 : 0;
  }
  std::fprintf(stderr, "usage: demo-window wait SECONDS | demo-window start | demo-window close\n");
  return 2;
}
