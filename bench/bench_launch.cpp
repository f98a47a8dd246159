// Times the installer from the Windows side, for the scripts in bench/:
//   bench-launch window PROGRAM   starts PROGRAM and prints the milliseconds
//                                 until one of its top-level windows is
//                                 visible (and has an area: the installer's
//                                 zero-size task-bar window does not count),
//                                 then that window's class; closes it and
//                                 waits for the program to end
//   bench-launch apply PROGRAM [PAUSE_MS]
//                                 starts the installer PROGRAM, waits for its
//                                 window with Start enabled and then PAUSE_MS
//                                 more, presses Start and prints the
//                                 milliseconds until the success message
//                                 shows, then the installer's peak private
//                                 memory and peak working set in KiB;
//                                 answers it and closes the installer.
//                                 Fails on any other message.
// Programs are started without inherited handles; times come from
// QueryPerformanceCounter, polled every millisecond or so.
#include <windows.h>
// After windows.h.
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/text/fixed_texts.h"
#include "win32/main_window_ids.h"
#include "win_test_support.h"

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

std::string Utf8(const std::wstring& text) {
  const int needed = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(needed > 0 ? needed : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), needed, nullptr, nullptr);
  bytes.resize(bytes.size() - 1);
  return bytes;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

// A visible top-level window of the process, of the given class if one is
// given, with an area.
struct WindowSearch {
  DWORD pid;
  const wchar_t* className;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != search->pid || !IsWindowVisible(hwnd)) return TRUE;
  if (search->className != nullptr && ClassOf(hwnd) != search->className) return TRUE;
  RECT r{};
  if (!GetWindowRect(hwnd, &r) || r.right <= r.left || r.bottom <= r.top) return TRUE;
  search->found = hwnd;
  return FALSE;
}

class Program {
 public:
  explicit Program(const wchar_t* path) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\"";
    if (!CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_))
      std::fprintf(stderr, "bench-launch: cannot start the program (error %lu)\n", GetLastError());
  }
  ~Program() {
    if (info_.hProcess == nullptr) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(info_.hProcess, 1);
      WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return info_.hProcess != nullptr; }
  // The most private memory the program has committed, and the most memory
  // it has had in use, in KiB so far.
  void PrintPeaks() const {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(info_.hProcess, &counters, sizeof counters)) counters = {};
    std::printf(" %lu %lu", static_cast<unsigned long>(counters.PeakPagefileUsage >> 10),
                static_cast<unsigned long>(counters.PeakWorkingSetSize >> 10));
  }
  bool running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

  // Polls for a window until it shows, the program ends or time runs out.
  HWND WaitForWindow(const wchar_t* className, DWORD milliseconds) const {
    const DWORD start = GetTickCount();
    for (;;) {
      WindowSearch search{info_.dwProcessId, className, nullptr};
      EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
      if (search.found != nullptr) return search.found;
      if (!running() || GetTickCount() - start > milliseconds) return nullptr;
      Sleep(1);
    }
  }

  // Closes the window as its close box would and waits for the program to
  // end; one that does not end is reported (and terminated by the
  // destructor).
  bool Close(HWND hwnd) const {
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(info_.hProcess, 20000) == WAIT_OBJECT_0) return true;
    std::fprintf(stderr, "bench-launch: the program did not end when its window was closed\n");
    return false;
  }

 private:
  PROCESS_INFORMATION info_{};
};

int TimeWindow(const wchar_t* path) {
  const LARGE_INTEGER start = Now();
  Program program(path);
  if (!program.started()) return 1;
  const HWND hwnd = program.WaitForWindow(nullptr, 60000);
  const LARGE_INTEGER shown = Now();
  if (hwnd == nullptr) {
    std::fprintf(stderr, "bench-launch: no window appeared\n");
    return 1;
  }
  std::printf("%.1f %s\n", Milliseconds(start, shown), Utf8(ClassOf(hwnd)).c_str());
  std::fflush(stdout);
  return program.Close(hwnd) ? 0 : 1;
}

BOOL CALLBACK FindMessageText(HWND hwnd, LPARAM data) {
  // The message is the box's text control; the icon is a static as well.
  if (_wcsicmp(ClassOf(hwnd).c_str(), L"Static") == 0 && (GetWindowLongW(hwnd, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
    std::wstring text = brisko::test::WindowTextW(hwnd);
    if (!text.empty()) {
      *reinterpret_cast<std::wstring*>(data) = std::move(text);
      return FALSE;
    }
  }
  return TRUE;
}

int TimeApply(const wchar_t* path, DWORD pause) {
  Program program(path);
  if (!program.started()) return 1;
  const HWND hwnd = program.WaitForWindow(brisko::ids::kMainWindowClass, 120000);
  if (hwnd == nullptr) {
    std::fprintf(stderr, "bench-launch: the installer's window did not appear\n");
    return 1;
  }
  const HWND start = GetDlgItem(hwnd, brisko::ids::kBtnStart);
  if (!IsWindowEnabled(start)) {
    std::fprintf(stderr, "bench-launch: Start is disabled (is the target folder set up?)\n");
    return 1;
  }
  // Once it answers a message it has painted and waits in its message loop.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &ignored);
  Sleep(pause);

  // Posted, not sent: the installer shows its message box from inside the
  // click and would not return until the box is answered.
  const LARGE_INTEGER clicked = Now();
  PostMessageW(start, BM_CLICK, 0, 0);
  const HWND box = program.WaitForWindow(L"#32770", 3600000);
  const LARGE_INTEGER done = Now();
  if (box == nullptr) {
    std::fprintf(stderr, "bench-launch: Start showed no message\n");
    return 1;
  }
  std::wstring message;
  EnumChildWindows(box, FindMessageText, reinterpret_cast<LPARAM>(&message));
  const bool succeeded = message == brisko::test::Widen(brisko::texts::kMsgPatchSucceeded, 932);
  if (succeeded) {
    std::printf("%.1f", Milliseconds(clicked, done));
    program.PrintPeaks();
    std::printf("\n");
  } else {
    std::fprintf(stderr, "bench-launch: Start showed \"%s\", not the success message\n", Utf8(message).c_str());
  }
  std::fflush(stdout);
  if (HWND ok = GetDlgItem(box, IDOK))
    PostMessageW(ok, BM_CLICK, 0, 0);
  else
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  for (int i = 0; i < 400 && IsWindow(box); ++i) Sleep(5);
  return program.Close(hwnd) && succeeded ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wcscmp(argv[1], L"window") == 0) return TimeWindow(argv[2]);
  if ((argc == 3 || argc == 4) && std::wcscmp(argv[1], L"apply") == 0)
    return TimeApply(argv[2], argc == 4 ? static_cast<DWORD>(_wtoi(argv[3])) : 0);
  std::fprintf(stderr, "usage: bench-launch window PROGRAM | bench-launch apply PROGRAM [PAUSE_MS]\n");
  return 2;
}
