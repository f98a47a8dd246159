// The start-up stage that finds the target application's folder through its
// Start-menu shortcut. It only looks: what the window shows for its outcome
// is decided by TFormMain.
#pragma once

#include "core/discovery/tvh_file.h"
#include "core/script/tiny_cnf.h"
#include "core/text/text.h"

namespace brisko {

// What discovery came to.
enum class DiscoveryOutcome {
  FolderFound,        // the folder of the first usable shortcut's target
  NoLinkPathSection,  // the script has no %LinkPath section
  NothingFound,       // no entry leads to a folder, or the section is empty
  Raised,             // an error raised below ended the search (`error`)
};

struct DiscoveryResult {
  DiscoveryOutcome outcome = DiscoveryOutcome::NothingFound;
  // With FolderFound: the folder, with exactly one trailing delimiter; with
  // Raised: the error's message.
  Text folder;

  explicit operator bool() const { return outcome == DiscoveryOutcome::FolderFound; }
};

// The target-discovery stage of start-up (step 10 of FormCreate).
class TargetDiscovery {
 public:
  virtual ~TargetDiscovery() = default;
  // Looks up "%LinkPath" in `reader` into `scriptLines` (which it clears and
  // refills) and searches the entries. An error raised below ends the search
  // (Raised), and start-up reports it as any other.
  virtual DiscoveryResult Run(const TTinyCnf& reader, StringList& scriptLines) = 0;
};

// Tries the script's "%LinkPath" entries in order: the first one found in a
// Programs menu whose shortcut names a target with a folder gives that
// folder. Entries that are empty, not found, not loadable as shortcuts, or
// whose target has no folder are passed over.
class StartMenuDiscovery final : public TargetDiscovery {
 public:
  explicit StartMenuDiscovery(const SystemLocations& system) : system_(system) {}

  DiscoveryResult Run(const TTinyCnf& reader, StringList& scriptLines) override;

 private:
  DiscoveryResult Search(const StringList& entries) const;

  SystemLocations system_;
};

}  // namespace brisko
