// Installs the demo's stand-in target application in the current Windows
// (or Wine prefix): a folder holding the check file brisko.exe, and a
// shortcut to it in the user's Programs menu where the demo installer's
// %LinkPath looks ("Brisko Soft\ブリスコ物語\ブリスコ物語.lnk"). The demo
// installer then finds the folder by itself.
//
// Uses the wide API throughout, so the Japanese names come out the same
// whatever the system's ANSI code page. Prints the folder it set up.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

namespace {

const wchar_t kTitle[] = L"\u30D6\u30EA\u30B9\u30B3\u7269\u8A9E";  // ブリスコ物語

bool Fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "demo-target: %s failed (0x%08lx)\n", what, static_cast<unsigned long>(hr));
  return false;
}

bool WriteCheckFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail("CreateFileW", HRESULT_FROM_WIN32(GetLastError()));
  static const char kBytes[] = "MZ demo target application\r\n";
  DWORD written = 0;
  const BOOL ok = WriteFile(file, kBytes, sizeof kBytes - 1, &written, nullptr);
  CloseHandle(file);
  return ok ? true : Fail("WriteFile", HRESULT_FROM_WIN32(GetLastError()));
}

bool SaveShortcut(const std::wstring& linkPath, const std::wstring& target, const std::wstring& folder) {
  IShellLinkW* link = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link));
  if (FAILED(hr)) return Fail("CoCreateInstance", hr);
  link->SetPath(target.c_str());
  link->SetWorkingDirectory(folder.c_str());
  IPersistFile* file = nullptr;
  hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(hr)) {
    hr = file->Save(linkPath.c_str(), TRUE);
    file->Release();
  }
  link->Release();
  return SUCCEEDED(hr) ? true : Fail("IPersistFile::Save", hr);
}

bool Run() {
  const std::wstring folder = std::wstring(L"C:\\Games\\") + kTitle;
  SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  const std::wstring target = folder + L"\\brisko.exe";
  if (!WriteCheckFile(target)) return false;

  wchar_t programs[MAX_PATH] = {};
  const HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_PROGRAMS | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, programs);
  if (FAILED(hr)) return Fail("SHGetFolderPathW", hr);
  const std::wstring linkFolder = std::wstring(programs) + L"\\Brisko Soft\\" + kTitle;
  SHCreateDirectoryExW(nullptr, linkFolder.c_str(), nullptr);
  if (!SaveShortcut(linkFolder + L"\\" + kTitle + L".lnk", target, folder)) return false;

  char shown[MAX_PATH * 3] = {};
  WideCharToMultiByte(CP_UTF8, 0, folder.c_str(), -1, shown, sizeof shown, nullptr, nullptr);
  std::printf("demo target application: %s\n", shown);
  return true;
}

}  // namespace

int main() {
  const HRESULT init = CoInitialize(nullptr);
  const bool ok = Run();
  if (SUCCEEDED(init)) CoUninitialize();
  return ok ? 0 : 1;
}
