#include "win_shell_link.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstring>

#include "handles.h"
#include "system_calls.h"

namespace brisko {
namespace {

bool LoadShortcut(IShellLinkA* link, const wchar_t* widePath, DWORD mode) {
  com_ptr<IPersistFile> file;
  if (link->QueryInterface(IID_IPersistFile, file.put_void()) != S_OK) return false;
  return file->Load(widePath, mode) == S_OK;
}

}  // namespace

bool WinShortcuts::ReadTarget(const Text& path, Text& target) {
  com_scope com;
  // Released before the scope ends, so COM outlives the object.
  com_ptr<IShellLinkA> link;
  if (Sys().CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                             link.put_void()) != S_OK) {
    return false;
  }
  wchar_t widePath[MAX_PATH];
  // A path that does not fit gives 0 and nothing to load.
  if (Sys().MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH) == 0) return false;
  if (!LoadShortcut(link.get(), widePath, STGM_READ)) return false;

  char buffer[MAX_PATH] = {};
  WIN32_FIND_DATAA findData{};
  // S_FALSE with an empty text for a shortcut to no file-system item; a
  // failure leaves nothing dependable in the buffer, so it reads as empty.
  if (FAILED(link->GetPath(buffer, MAX_PATH, &findData, SLGP_UNCPRIORITY))) {
    target.clear();
  } else {
    target.assign(buffer, strnlen(buffer, sizeof buffer));
  }
  return true;
}

}  // namespace brisko
