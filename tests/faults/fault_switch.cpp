// Linked only into the test variant of the installer, which the end-to-end
// tests start to see how it meets failing system calls. Before the entry
// runs, it takes the calls to fail from the environment variable
// BRISKO_FAIL: names of the system-call table separated by commas, each
// failing from its first call on, or from its N-th with "Name#N" (a failing
// WriteFile writes half and reports a full disk). The shipped installers
// contain none of this.
#include <windows.h>

#include "fault_injection.h"

namespace {

brisko::test::FaultInjector injector;

const bool kSelected = [] {
  char selection[256];
  const DWORD length = GetEnvironmentVariableA("BRISKO_FAIL", selection, sizeof selection);
  return length > 0 && length < sizeof selection && injector.FailSelection({selection, length});
}();

}  // namespace
