#include "win_user_interface.h"

#include <shlobj.h>

#include <string>

#include "core/texts.h"
#include "wide_text.h"

namespace brisko {
namespace {

void ShowBox(const Text& text, UINT icon) {
  // No owner: the box is centred on the screen; MB_TASKMODAL keeps every
  // window of the program disabled while it is open.
  MessageBoxW(nullptr, FixedTextToWide(text).c_str(), FixedTextToWide(texts::kAppTitle).c_str(),
              MB_OK | MB_TASKMODAL | icon);
}

// The chooser's prompt is the game title (a script value in the ANSI code
// page) quoted and followed by a fixed Shift-JIS text. Each part is
// converted from its own code page so that the fixed part reads correctly
// on any system.
std::wstring PromptToWide(const Text& prompt) {
  const std::string_view format = texts::kChooserPromptFmt;
  const std::string_view tail = format.substr(format.find("%s") + 2);
  if (prompt.size() >= tail.size() && prompt.compare(prompt.size() - tail.size(), tail.size(), tail) == 0) {
    const std::string_view head(prompt.data(), prompt.size() - tail.size());
    return AnsiToWide(head) + FixedTextToWide(tail);
  }
  return AnsiToWide(prompt);
}

int CALLBACK SelectFolderCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED) {
    const Text& initialFolder = *reinterpret_cast<const Text*>(data);
    if (unique_item_list list = PathToItemList(initialFolder)) {
      // wParam FALSE: lParam is an item list, not a path text.
      SendMessageA(dialog, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(list.get()));
    }
  }
  return 0;
}

}  // namespace

unique_item_list PathToItemList(const Text& path) {
  com_ptr<IShellFolder> desktop;
  if (FAILED(SHGetDesktopFolder(desktop.put())) || !desktop) return {};
  wchar_t wide[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path.c_str(), -1, wide, MAX_PATH) == 0) return {};
  unique_item_list list;
  if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, wide, nullptr, list.put(), nullptr))) return {};
  return list;
}

void WinUserInterface::ShowMessage(const Text& text) { ShowBox(text, 0); }

void WinUserInterface::ShowError(const Text& text) { ShowBox(text, MB_ICONERROR); }

Text WinUserInterface::SelectFolder(const Text& prompt, const Text& initialFolder) {
  com_scope com;
  const std::wstring title = PromptToWide(prompt);
  BROWSEINFOW info{};
  info.hwndOwner = owner_;
  info.pidlRoot = nullptr;
  info.pszDisplayName = nullptr;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = SelectFolderCallback;
  info.lParam = reinterpret_cast<LPARAM>(&initialFolder);
  // The wide dialog shows the prompt; the chosen folder is still read as a
  // path in the ANSI code page, as every other path of the program.
  unique_item_list chosen(SHBrowseForFolderW(&info));
  if (!chosen) return {};
  char path[MAX_PATH] = {};
  if (SHGetPathFromIDListA(chosen.get(), path) != TRUE) return {};
  return path;
}

}  // namespace brisko
