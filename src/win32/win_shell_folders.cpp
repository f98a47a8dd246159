#include "win_shell_folders.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <memory>

#include "handles.h"
#include "system_calls.h"

namespace brisko {

bool WinShellFolders::GetFolderPath(int csidl, Text& folder) {
  char path[MAX_PATH] = {};
  com_ptr<IMalloc> allocator;
  if (Sys().SHGetMalloc(allocator.put()) != S_OK) return false;
  // The list goes back through the allocator got before asking for it. The
  // owner is declared after the allocator, so the list is freed before the
  // allocator is released.
  LPITEMIDLIST received = nullptr;
  const HRESULT located = Sys().SHGetSpecialFolderLocation(GetDesktopWindow(), csidl, &received);
  const auto freeList = [&allocator](ITEMIDLIST* l) { allocator->Free(l); };
  const std::unique_ptr<ITEMIDLIST, decltype(freeList)> list(received, freeList);
  if (located != S_OK) return false;
  if (!Sys().SHGetPathFromIDListA(list.get(), path)) return false;
  folder.assign(path, strnlen(path, sizeof path));
  return true;
}

}  // namespace brisko
