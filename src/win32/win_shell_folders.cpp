#include "win_shell_folders.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <memory>

#include "handles.h"
#include "system_calls.h"
#include "wide_text.h"

namespace brisko {

bool WinShellFolders::GetFolderPath(int csidl, Text& folder) {
  wchar_t path[MAX_PATH] = {};
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
  if (!Sys().SHGetPathFromIDListW(list.get(), path)) return false;
  // A folder whose path a 260-byte ANSI buffer could not hold, or that code
  // page 932 cannot write, is no folder the program can use.
  const std::optional<Text> narrow = NarrowPath(std::wstring_view(path, wcsnlen(path, MAX_PATH)));
  if (!narrow) return false;
  folder = *narrow;
  return true;
}

}  // namespace brisko
