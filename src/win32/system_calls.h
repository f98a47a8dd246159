// The system calls of the Windows layer's file writing, package reading and
// target discovery. They are called through one table so that a test can
// replace any of them in-process, to make it fail or to count what it hands
// out, and put the real one back afterwards. Nothing in a shipped program
// changes the table, and nothing outside the process can.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <type_traits>

// The calls of the table, in its order, each named once: X(name) for the
// system's function `name`. The table's members, the real calls and the fault
// injector's names are all made from this list, so adding a call is one line
// here (and, for the fault injector, a hook that fails it as the system would).
#define BRISKO_SYSTEM_CALLS(X)                     \
  /* Files. */                                     \
  X(GetFileAttributesW)                            \
  X(CreateFileW)                                   \
  X(WriteFile)                                     \
  X(FlushFileBuffers)                              \
  X(ReadFile)                                      \
  X(GetFileSizeEx)                                 \
  X(CloseHandle)                                   \
  X(ReplaceFileW)                                  \
  X(MoveFileExW)                                   \
  X(DeleteFileW)                                   \
  X(FindFirstFileW)                                \
  X(FindNextFileW)                                 \
  X(FindClose)                                     \
  X(GetDiskFreeSpaceExW)                           \
  X(GetVolumePathNameW)                            \
  /* Resources of the running executable. */       \
  X(FindResourceW)                                 \
  X(LoadResource)                                  \
  X(SizeofResource)                                \
  X(LockResource)                                  \
  /* Registry. */                                  \
  X(RegOpenKeyExW)                                 \
  X(RegQueryValueExW)                              \
  X(RegCloseKey)                                   \
  /* Environment. */                               \
  X(ExpandEnvironmentStringsW)                     \
  /* Shell folders and item lists. */              \
  X(SHGetMalloc)                                   \
  X(SHGetSpecialFolderLocation)                    \
  X(SHGetPathFromIDListW)                          \
  /* COM, shell links and text conversion. */      \
  X(CoInitialize)                                  \
  X(CoUninitialize)                                \
  X(CoCreateInstance)                              \
  X(MultiByteToWideChar)                           \
  /* The worker thread that writes the payload. */ \
  X(CreateThread)

namespace brisko {

struct SystemCalls {
#define BRISKO_SYSTEM_CALL_MEMBER(name) decltype(&::name) name;
  BRISKO_SYSTEM_CALLS(BRISKO_SYSTEM_CALL_MEMBER)
#undef BRISKO_SYSTEM_CALL_MEMBER
};

namespace detail {
extern SystemCalls systemCalls;
}

// The table in force: the real calls unless a test has replaced some.
inline const SystemCalls& Sys() { return detail::systemCalls; }

// The real calls, for replacements that pass a call through.
const SystemCalls& RealSystemCalls();

// Replaces one call until it is restored, for tests:
//   SetSystemCall(&SystemCalls::WriteFile, FullDiskWriteFile);
// A null replacement restores the real call.
template <typename Call>
void SetSystemCall(Call SystemCalls::*call, std::common_type_t<Call> replacement) {
  detail::systemCalls.*call = replacement != nullptr ? replacement : RealSystemCalls().*call;
}

// Replaces the whole table until it is restored, for tests that stand
// between the layer and every call (tests/faults).
void SetSystemCalls(const SystemCalls& calls);

// Restores every real call.
void RestoreSystemCalls();

}  // namespace brisko
