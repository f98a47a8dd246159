#include "win_user_interface.h"

#include <shlobj.h>

#include <cwchar>
#include <optional>
#include <string>

#include "core/text/fixed_texts.h"
#include "wide_text.h"

namespace brisko {
namespace {

void ShowBox(const Text& text, UINT icon) {
  // No owner: the box is centred on the screen; MB_TASKMODAL keeps every
  // window of the program disabled while it is open.
  MessageBoxW(nullptr, Widen(text).c_str(), Widen(texts::kAppTitle).c_str(),
              MB_OK | MB_TASKMODAL | icon);
}

int CALLBACK SelectFolderCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED) {
    const Text& initialFolder = *reinterpret_cast<const Text*>(data);
    if (unique_item_list list = PathToItemList(initialFolder)) {
      // wParam FALSE: lParam is an item list, not a path text.
      SendMessageW(dialog, BFFM_SETSELECTIONW, FALSE, reinterpret_cast<LPARAM>(list.get()));
    }
  }
  return 0;
}

}  // namespace

unique_item_list PathToItemList(const Text& path) {
  com_ptr<IShellFolder> desktop;
  if (FAILED(SHGetDesktopFolder(desktop.put())) || !desktop) return {};
  // The shell parses at most 259 characters.
  std::optional<std::wstring> wide = WidenPath(path);
  if (!wide) return {};
  unique_item_list list;
  if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, wide->data(), nullptr, list.put(), nullptr))) return {};
  return list;
}

void WinUserInterface::ShowMessage(const Text& text) { ShowBox(text, 0); }

void WinUserInterface::ShowError(const Text& text) { ShowBox(text, MB_ICONERROR); }

Text WinUserInterface::SelectFolder(const Text& prompt, const Text& initialFolder) {
  com_scope com;
  const std::wstring title = Widen(prompt);
  BROWSEINFOW info{};
  info.hwndOwner = owner_;
  info.pidlRoot = nullptr;
  info.pszDisplayName = nullptr;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = SelectFolderCallback;
  info.lParam = reinterpret_cast<LPARAM>(&initialFolder);
  unique_item_list chosen(SHBrowseForFolderW(&info));
  if (!chosen) return {};
  wchar_t path[MAX_PATH] = {};
  if (SHGetPathFromIDListW(chosen.get(), path) != TRUE) return {};
  // A character that code page 932 cannot hold comes back as '?', as the
  // user would see it on a Japanese system: the folder check then fails on
  // it. A path longer than a 260-byte buffer is not taken rather than cut.
  Text chosenPath = NarrowReplacing(std::wstring_view(path, wcsnlen(path, MAX_PATH)));
  if (chosenPath.size() > kMaxPathBytes) return {};
  return chosenPath;
}

}  // namespace brisko
