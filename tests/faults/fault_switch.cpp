// Linked only into the test variant of the installer, which the end-to-end
// tests start to see how it meets failing system calls. Before the entry
// runs, it takes the calls to fail from the environment variable
// BRISKO_FAIL: names of the system-call table separated by commas, each
// failing from its first call on, or from its N-th with "Name#N" (a failing
// WriteFile writes half and reports a full disk). BRISKO_SLOW_WRITES=N makes
// every WriteFile take N milliseconds longer, so that a test can watch the
// window while a payload is written. The shipped installers contain none of
// this.
#include <windows.h>

#include <cstdlib>

#include "fault_injection.h"
#include "win32/system_calls.h"

namespace {

brisko::test::FaultInjector injector;

const bool kSelected = [] {
  char selection[256];
  const DWORD length = GetEnvironmentVariableA("BRISKO_FAIL", selection, sizeof selection);
  return length > 0 && length < sizeof selection && injector.FailSelection({selection, length});
}();

decltype(&::WriteFile) unslowedWrite = nullptr;
DWORD slowMilliseconds = 0;

BOOL WINAPI SlowWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
  Sleep(slowMilliseconds);
  return unslowedWrite(file, data, size, written, overlapped);
}

const bool kSlowed = [] {
  char milliseconds[16];
  const DWORD length = GetEnvironmentVariableA("BRISKO_SLOW_WRITES", milliseconds, sizeof milliseconds);
  if (length == 0 || length >= sizeof milliseconds) return false;
  slowMilliseconds = static_cast<DWORD>(std::strtoul(milliseconds, nullptr, 10));
  unslowedWrite = brisko::Sys().WriteFile;
  brisko::SetSystemCall(&brisko::SystemCalls::WriteFile, SlowWriteFile);
  return true;
}();

}  // namespace
