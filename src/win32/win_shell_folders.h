// The shell's special folders for TvhFile: SHGetMalloc,
// SHGetSpecialFolderLocation and SHGetPathFromIDListW. A folder path that
// code page 932 cannot hold, or that needs more than 259 bytes in it, is not
// found.
#pragma once

#include "core/discovery/tvh_file.h"

namespace brisko {

class WinShellFolders final : public ShellFoldersApi {
 public:
  bool GetFolderPath(int csidl, Text& folder) override;
};

}  // namespace brisko
