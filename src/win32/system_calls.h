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

namespace brisko {

struct SystemCalls {
  // Files.
  decltype(&::GetFileAttributesW) GetFileAttributesW;
  decltype(&::CreateFileW) CreateFileW;
  decltype(&::WriteFile) WriteFile;
  decltype(&::FlushFileBuffers) FlushFileBuffers;
  decltype(&::CloseHandle) CloseHandle;
  decltype(&::ReplaceFileW) ReplaceFileW;
  decltype(&::MoveFileExW) MoveFileExW;
  decltype(&::DeleteFileW) DeleteFileW;
  decltype(&::FindFirstFileW) FindFirstFileW;
  decltype(&::FindClose) FindClose;
  // Resources of the running executable.
  decltype(&::FindResourceW) FindResourceW;
  decltype(&::LoadResource) LoadResource;
  decltype(&::SizeofResource) SizeofResource;
  decltype(&::LockResource) LockResource;
  // Registry.
  decltype(&::RegOpenKeyExW) RegOpenKeyExW;
  decltype(&::RegQueryValueExW) RegQueryValueExW;
  decltype(&::RegCloseKey) RegCloseKey;
  // Environment.
  decltype(&::ExpandEnvironmentStringsW) ExpandEnvironmentStringsW;
  // Shell folders and item lists.
  decltype(&::SHGetMalloc) SHGetMalloc;
  decltype(&::SHGetSpecialFolderLocation) SHGetSpecialFolderLocation;
  decltype(&::SHGetPathFromIDListW) SHGetPathFromIDListW;
  // COM and shell links.
  decltype(&::CoInitialize) CoInitialize;
  decltype(&::CoUninitialize) CoUninitialize;
  decltype(&::CoCreateInstance) CoCreateInstance;
  decltype(&::MultiByteToWideChar) MultiByteToWideChar;
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

// Restores every real call.
void RestoreSystemCalls();

}  // namespace brisko
