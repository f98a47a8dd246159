// Message boxes and the shell's folder chooser.
#pragma once

#include <windows.h>

#include "core/platform.h"
#include "handles.h"

namespace brisko {

class WinUserInterface final : public UserInterface {
 public:
  // The window that owns the folder chooser; message boxes have no owner
  // and are centred on the screen.
  void SetOwner(HWND owner) { owner_ = owner; }

  // The program's fixed texts, shown through the wide API after conversion
  // from code page 932.
  void ShowMessage(const Text& text) override;
  void ShowError(const Text& text) override;

  // SHBrowseForFolderW with BIF_RETURNONLYFSDIRS, preselecting
  // `initialFolder`; the result comes from SHGetPathFromIDListW, in code
  // page 932.
  Text SelectFolder(const Text& prompt, const Text& initialFolder) override;

 private:
  HWND owner_ = nullptr;
};

// The shell item list of `path` (a text in code page 932), parsed by the
// desktop folder; empty when the shell cannot parse it.
unique_item_list PathToItemList(const Text& path);

}  // namespace brisko
