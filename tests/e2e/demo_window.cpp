// A helper for scripts/demo.sh: finds the installer's main window so that the
// script can take a screenshot of it, and closes it afterwards.
//   demo-window wait SECONDS   prints "LEFT TOP WIDTH HEIGHT" of the window
//                              (frame included) once it is shown; answers no
//                              message box, so a start-up message is left on
//                              screen for the picture
//   demo-window close          closes the window as its close box would
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "win32/main_window_ids.h"

namespace {

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
  if (argc >= 2 && std::strcmp(argv[1], "close") == 0) {
    HWND hwnd = FindInstaller();
    if (hwnd == nullptr) return 0;
    PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    for (int i = 0; i < 100 && IsWindow(hwnd); ++i) Sleep(50);
    return IsWindow(hwnd) ? 1 : 0;
  }
  std::fprintf(stderr, "usage: demo-window wait SECONDS | demo-window close\n");
  return 2;
}
