#include "system_calls.h"

namespace brisko {
namespace {

constexpr SystemCalls kRealCalls = {
    ::GetFileAttributesW, ::CreateFileW, ::WriteFile, ::FlushFileBuffers, ::CloseHandle,
    ::ReplaceFileW, ::MoveFileExW, ::DeleteFileW, ::FindFirstFileW, ::FindClose,
    ::FindResourceW, ::LoadResource, ::SizeofResource, ::LockResource,
    ::RegOpenKeyExW, ::RegQueryValueExW, ::RegCloseKey,
    ::ExpandEnvironmentStringsW,
    ::SHGetMalloc, ::SHGetSpecialFolderLocation, ::SHGetPathFromIDListW,
    ::CoInitialize, ::CoUninitialize, ::CoCreateInstance, ::MultiByteToWideChar,
};

}  // namespace

namespace detail {
SystemCalls systemCalls = kRealCalls;
}

const SystemCalls& RealSystemCalls() { return kRealCalls; }

void RestoreSystemCalls() { detail::systemCalls = kRealCalls; }

}  // namespace brisko
