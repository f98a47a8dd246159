// Real files, folders and shortcuts for the tests of the Windows backends,
// each removed again by its owner.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "core/text.h"
#include "core/tvh_file.h"
#include "win32/handles.h"
#include "win32/win_environment.h"
#include "win32/win_file_system.h"
#include "win32/win_locale.h"
#include "win32/win_registry.h"
#include "win32/win_shell_folders.h"
#include "win32/win_shell_link.h"

namespace brisko::test {

inline std::wstring Widen(const Text& ansi) {
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
  std::wstring wide(n > 0 ? n : 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide.data(), n);
  wide.resize(wide.size() - 1);
  return wide;
}

// A name no other test run shares.
inline Text UniqueName(const char* stem) {
  return Text(stem) + "-" + std::to_string(GetCurrentProcessId());
}

inline bool WriteBytes(const Text& path, const std::string& bytes) {
  unique_hfile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                           nullptr) && written == bytes.size();
}

inline void RemoveTree(const Text& path) {
  WIN32_FIND_DATAA data;
  {
    unique_hfind find(FindFirstFileA((path + "\\*").c_str(), &data));
    if (find) {
      do {
        const Text name = data.cFileName;
        if (name == "." || name == "..") continue;
        const Text child = path + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(child);
        } else {
          SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
          DeleteFileA(child.c_str());
        }
      } while (FindNextFileA(find.get(), &data));
    }
  }
  RemoveDirectoryA(path.c_str());
}

// A folder created for a test and removed with everything in it.
class ScopedFolder {
 public:
  explicit ScopedFolder(Text path) : path_(std::move(path)) { CreateDirectoryA(path_.c_str(), nullptr); }
  ScopedFolder(const ScopedFolder&) = delete;
  ScopedFolder& operator=(const ScopedFolder&) = delete;
  ~ScopedFolder() { RemoveTree(path_); }
  const Text& path() const { return path_; }
  Text operator/(const Text& name) const { return path_ + "\\" + name; }

 private:
  Text path_;
};

inline Text TempFolder() {
  char buffer[MAX_PATH] = {};
  const DWORD n = GetTempPathA(MAX_PATH, buffer);
  Text path(buffer, n);
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// Writes a shortcut file at `linkPath` whose target is `target`, as a
// shell's "create shortcut" would: IShellLinkA::SetPath, IPersistFile::Save.
inline bool MakeShortcut(const Text& linkPath, const Text& target) {
  const HRESULT init = CoInitialize(nullptr);
  bool saved = false;
  {
    com_ptr<IShellLinkA> link;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   link.put_void())) &&
        SUCCEEDED(link->SetPath(target.c_str()))) {
      com_ptr<IPersistFile> file = link.as<IPersistFile>(IID_IPersistFile);
      saved = file && file->Save(Widen(linkPath).c_str(), TRUE) == S_OK;
    }
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return saved;
}

// TvhFile over every real backend.
struct RealSystem {
  WinRegistry registry;
  WinShellFolders shell;
  WinEnvironment environment;
  WinShortcuts shortcuts;
  WinFileSystem files{WinLocale::System()};
  TvhFile file{{registry, shell, environment, shortcuts, files, WinLocale::System()}};
};

}  // namespace brisko::test
