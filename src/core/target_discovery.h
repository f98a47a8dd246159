// The start-up stage that finds the target application's folder through its
// Start-menu shortcut.
#pragma once

#include "form_main.h"
#include "tvh_file.h"

namespace brisko {

// Tries the script's "%LinkPath" entries in order: the first one found in a
// Programs menu whose shortcut names a target with a folder puts that folder,
// with one trailing delimiter, into the form's field. Entries that are empty,
// not found, not loadable as shortcuts, or whose target has no folder are
// passed over without a message.
class StartMenuDiscovery final : public TargetDiscovery {
 public:
  explicit StartMenuDiscovery(const SystemLocations& system) : system_(system) {}

  bool Run(const TTinyCnf& reader, StringList& scriptLines, TFormMain& form) override;

 private:
  bool Search(const StringList& entries, TFormMain& form) const;

  SystemLocations system_;
};

}  // namespace brisko
