#include "win_shell_folders.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "handles.h"
#include "system_calls.h"

namespace brisko {
namespace {

// An item list handed out by the shell, freed through the allocator the
// caller got before asking for it.
class ItemList {
 public:
  explicit ItemList(IMalloc* allocator) : allocator_(allocator) {}
  ItemList(const ItemList&) = delete;
  ItemList& operator=(const ItemList&) = delete;
  ~ItemList() {
    if (list_ != nullptr) allocator_->Free(list_);
  }
  LPITEMIDLIST get() const { return list_; }
  LPITEMIDLIST* put() { return &list_; }

 private:
  IMalloc* allocator_;
  LPITEMIDLIST list_ = nullptr;
};

}  // namespace

bool WinShellFolders::GetFolderPath(int csidl, Text& folder) {
  char path[MAX_PATH] = {};
  com_ptr<IMalloc> allocator;
  if (Sys().SHGetMalloc(allocator.put()) != S_OK) return false;
  // Declared after the allocator, so the list is freed before the allocator
  // is released.
  ItemList list(allocator.get());
  if (Sys().SHGetSpecialFolderLocation(GetDesktopWindow(), csidl, list.put()) != S_OK) return false;
  if (!Sys().SHGetPathFromIDListA(list.get(), path)) return false;
  folder.assign(path, strnlen(path, sizeof path));
  return true;
}

}  // namespace brisko
