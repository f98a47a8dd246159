#include <objbase.h>
#include <shlobj.h>

#include <algorithm>

#include "test_support.h"
#include "win_test_support.h"

namespace brisko::test {

std::wstring Widen(std::string_view bytes, UINT codePage) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(needed, 0)), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), needed);
  return wide;
}

std::wstring WindowTextW(HWND hwnd) {
  wchar_t buffer[4096] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, &copied))
    return {};
  return std::wstring(buffer, copied);
}

namespace {

// The tests' paths are Shift-JIS, as the installer's are, whatever the
// system's code page.
constexpr UINT kShiftJis = 932;

void RemoveTreeW(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name != L"." && name != L"..") RemoveTreeW(path + L"\\" + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace

void RemoveTree(const std::string& path) {
  std::string trimmed = path;
  while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  if (!trimmed.empty()) RemoveTreeW(Widen(trimmed, kShiftJis));
}

bool SaveShortcut(const std::string& linkPath, const std::string& target) {
  const std::size_t slash = linkPath.find_last_of('\\');
  if (slash != std::string::npos)
    SHCreateDirectoryExW(nullptr, Widen(linkPath.substr(0, slash), kShiftJis).c_str(), nullptr);
  const HRESULT init = CoInitialize(nullptr);
  HRESULT saved = E_FAIL;
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->SetPath(Widen(target, kShiftJis).c_str())) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      saved = file->Save(Widen(linkPath, kShiftJis).c_str(), TRUE);
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return saved == S_OK;
}

}  // namespace brisko::test
