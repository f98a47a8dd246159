#include "win_shell_link.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cwchar>
#include <optional>
#include <string>

#include "handles.h"
#include "system_calls.h"
#include "wide_text.h"

namespace brisko {
namespace {

bool LoadShortcut(IShellLinkW* link, const wchar_t* widePath, DWORD mode) {
  com_ptr<IPersistFile> file;
  if (link->QueryInterface(IID_IPersistFile, file.put_void()) != S_OK) return false;
  return file->Load(widePath, mode) == S_OK;
}

// The target as the shortcut's item list names it; empty when the list names
// no file-system item.
std::wstring PathFromItemList(IShellLinkW* link) {
  unique_item_list list;
  wchar_t path[MAX_PATH] = {};
  if (link->GetIDList(list.put()) != S_OK || !list || !SHGetPathFromIDListW(list.get(), path)) return {};
  return std::wstring(path, wcsnlen(path, MAX_PATH));
}

}  // namespace

bool WinShortcuts::ReadTarget(const Text& path, Text& target) {
  com_scope com;
  // Released before the scope ends, so COM outlives the object.
  com_ptr<IShellLinkW> link;
  if (Sys().CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                             link.put_void()) != S_OK) {
    return false;
  }
  wchar_t widePath[MAX_PATH];
  // A path longer than the shell's 260-character buffer gives 0 and nothing
  // to load.
  if (Sys().MultiByteToWideChar(kProgramCodePage, 0, path.c_str(), -1, widePath, MAX_PATH) == 0) return false;
  if (!LoadShortcut(link.get(), widePath, STGM_READ)) return false;

  wchar_t buffer[MAX_PATH] = {};
  WIN32_FIND_DATAW findData{};
  // S_FALSE with an empty text for a shortcut to no file-system item; a
  // failure leaves nothing dependable in the buffer, so it reads as empty. A
  // target that code page 932 cannot hold, or that a 260-byte buffer could
  // not, cannot be read either: no folder can be taken from it.
  target.clear();
  if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, &findData, SLGP_UNCPRIORITY))) {
    std::wstring path(buffer, wcsnlen(buffer, MAX_PATH));
    // A shortcut written where the system's code page could not hold the
    // target's name may keep '?' in its path text (no file name holds one);
    // its item list still names the target in full.
    if (path.find(L'?') != std::wstring::npos) {
      path = PathFromItemList(link.get());
    } else if (!path.empty() && Sys().GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      // Where the path text is kept only in the code page the shortcut was
      // written under (Wine), a shortcut written under another one reads
      // as other characters that name no file; the item list keeps the
      // names in UTF-16. A list that names nothing leaves the path text. (An
      // empty path text is a shortcut to no file-system item, whose list
      // may name the desktop: nothing to take.)
      std::wstring listed = PathFromItemList(link.get());
      if (!listed.empty()) path = std::move(listed);
    }
    if (std::optional<Text> narrow = NarrowPath(path)) target = std::move(*narrow);
  }
  return true;
}

}  // namespace brisko
