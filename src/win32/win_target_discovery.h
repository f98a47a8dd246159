// Target discovery over the real registry, shell folders, environment and
// shortcut files.
#pragma once

#include "core/discovery/target_discovery.h"
#include "win_environment.h"
#include "win_registry.h"
#include "win_shell_folders.h"
#include "win_shell_link.h"

namespace brisko {

class WinTargetDiscovery final : public TargetDiscovery {
 public:
  // `files` gives the existence test of the Programs-menu search.
  WinTargetDiscovery(FileSystem& files, const Locale& locale)
      : discovery_({registry_, shellFolders_, environment_, shortcuts_, files, locale}) {}

  DiscoveryResult Run(const TTinyCnf& reader, StringList& scriptLines) override {
    return discovery_.Run(reader, scriptLines);
  }

 private:
  // Declared before the stage that refers to them.
  WinRegistry registry_;
  WinShellFolders shellFolders_;
  WinEnvironment environment_;
  WinShortcuts shortcuts_;
  StartMenuDiscovery discovery_;
};

}  // namespace brisko
