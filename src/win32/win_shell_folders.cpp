#include "win_shell_folders.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

#include "handles.h"
#include "system_calls.h"
#include "wide_text.h"

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
  wchar_t path[MAX_PATH] = {};
  com_ptr<IMalloc> allocator;
  if (Sys().SHGetMalloc(allocator.put()) != S_OK) return false;
  // Declared after the allocator, so the list is freed before the allocator
  // is released.
  ItemList list(allocator.get());
  if (Sys().SHGetSpecialFolderLocation(GetDesktopWindow(), csidl, list.put()) != S_OK) return false;
  if (!Sys().SHGetPathFromIDListW(list.get(), path)) return false;
  // A folder whose path a 260-byte ANSI buffer could not hold, or that code
  // page 932 cannot write, is no folder the program can use.
  const std::optional<Text> narrow = NarrowPath(std::wstring_view(path, wcsnlen(path, MAX_PATH)));
  if (!narrow) return false;
  folder = *narrow;
  return true;
}

}  // namespace brisko
