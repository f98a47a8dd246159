#include "dll_search.h"

#include <windows.h>

namespace brisko {

namespace {

// Older headers lack the flag; the value is fixed by the system.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

}  // namespace

void RestrictDllSearch() {
  // Looked up rather than imported: systems without the update that adds it
  // would refuse to start the installer at all.
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto setDefault = kernel == nullptr
      ? nullptr
      : reinterpret_cast<SetDefaultDllDirectoriesFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault != nullptr && setDefault(kSearchSystem32)) return;
  SetDllDirectoryW(L"");
}

}  // namespace brisko
