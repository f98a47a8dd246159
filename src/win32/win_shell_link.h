// Shortcut files for TvhFile, read through the shell-link object
// (IShellLinkW, IPersistFile). The target is taken as stored: the shortcut is
// never resolved, so no search for a moved target and no window. Paths cross
// in code page 932.
#pragma once

#include "core/discovery/tvh_file.h"

namespace brisko {

class WinShortcuts final : public ShortcutApi {
 public:
  bool ReadTarget(const Text& path, Text& target) override;
};

}  // namespace brisko
