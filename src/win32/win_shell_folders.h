// The shell's special folders for TvhFile: SHGetMalloc,
// SHGetSpecialFolderLocation and SHGetPathFromIDListA.
#pragma once

#include "core/tvh_file.h"

namespace brisko {

class WinShellFolders final : public ShellFoldersApi {
 public:
  bool GetFolderPath(int csidl, Text& folder) override;
};

}  // namespace brisko
