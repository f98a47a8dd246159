#include "system_calls.h"

namespace brisko {
namespace {

constexpr SystemCalls kRealCalls = {
    ::GetFileAttributesA, ::CreateFileA, ::WriteFile, ::FlushFileBuffers, ::CloseHandle,
    ::ReplaceFileA, ::MoveFileExA, ::DeleteFileA, ::FindFirstFileA, ::FindClose,
    ::FindResourceA, ::LoadResource, ::SizeofResource, ::LockResource,
    ::RegOpenKeyExA, ::RegQueryValueExA, ::RegCloseKey,
    ::ExpandEnvironmentStringsA,
    ::SHGetMalloc, ::SHGetSpecialFolderLocation, ::SHGetPathFromIDListA,
    ::CoInitialize, ::CoUninitialize, ::CoCreateInstance, ::MultiByteToWideChar,
};

}  // namespace

namespace detail {
SystemCalls systemCalls = kRealCalls;
}

const SystemCalls& RealSystemCalls() { return kRealCalls; }

void RestoreSystemCalls() { detail::systemCalls = kRealCalls; }

}  // namespace brisko
