// Real files, folders and shortcuts for the tests of the Windows backends,
// each removed again by its owner.
#pragma once

#include <windows.h>

#include <string>

#include "core/discovery/tvh_file.h"
#include "core/text/text.h"
#include "test_support.h"
#include "win32/handles.h"
#include "win32/win_environment.h"
#include "win32/win_file_system.h"
#include "win32/win_locale.h"
#include "win32/win_registry.h"
#include "win32/win_shell_folders.h"
#include "win32/win_shell_link.h"
#include "win_test_support.h"

namespace brisko::test {

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
