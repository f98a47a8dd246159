// The installers' program entry, in place of the C run-time's start-up code
// (linked without the compiler's start files; cmake/installer-size.cmake).
// That code also parses the command line into arguments, installs handlers
// that turn processor exceptions and math errors into signals, applies
// pseudo-relocations and reports their failures through stdio, and guards
// against a second start of a DLL: about 7 KiB of a stub for an installer
// that uses none of it (the layout in cmake/installer.ld.in checks that no
// pseudo-relocation is there).
//
// What the installer does need, in the order of the run-time's start-up:
// the C run-time told it is a GUI program, the x87 unit in its usual state,
// the static constructors and, through atexit, the destructors; then
// WinMain, and exit with its result.
#include <windows.h>

#include <cfloat>
#include <cstdlib>

extern "C" {

void __main();                  // runs the static constructors, once
void __set_app_type(int type);  // of the C run-time DLL
extern IMAGE_DOS_HEADER __ImageBase;

// The C run-time DLL keeps the list of functions that exit calls.
int atexit(void (*function)()) { return _onexit(reinterpret_cast<_onexit_t>(function)) != nullptr ? 0 : -1; }

}  // extern "C"

namespace {

constexpr int kGuiProgram = 2;

// The command line after the program's name, as WinMain receives it.
char* CommandLineArguments() {
  char* p = GetCommandLineA();
  const bool quoted = *p == '"';
  if (quoted) ++p;
  while (*p != '\0' && (quoted ? *p != '"' : *p != ' ' && *p != '\t')) ++p;
  if (quoted && *p == '"') ++p;
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

int ShowCommand() {
  STARTUPINFOW startup;
  GetStartupInfoW(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
}

}  // namespace

// The entry point that the linker chooses for a GUI program. The system
// calls it with the stack aligned to 4 bytes only on 32-bit Windows.
extern "C" [[gnu::used, gnu::force_align_arg_pointer]] void WinMainCRTStartup() {
  __set_app_type(kGuiProgram);
  _fpreset();
  __main();
  std::exit(WinMain(reinterpret_cast<HINSTANCE>(&__ImageBase), nullptr, CommandLineArguments(), ShowCommand()));
}
