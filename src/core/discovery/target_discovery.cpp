#include "core/discovery/target_discovery.h"

#include <cstdint>
#include <memory>

#include "core/format/package_format.h"
#include "core/text/path.h"

namespace brisko {

DiscoveryResult StartMenuDiscovery::Run(const TTinyCnf& reader, StringList& scriptLines) {
  scriptLines.clear();
  if (!reader.GetList(format::kLinkPath, scriptLines)) return {DiscoveryOutcome::NoLinkPathSection, {}};
  return Search(scriptLines);
}

DiscoveryResult StartMenuDiscovery::Search(const StringList& entries) const {
  const auto file = std::make_unique<TvhFile>(system_);
  for (const Text& entry : entries) {
    // A blank line in the section names no shortcut; asking the Programs menu
    // for it would only fail on its missing first character.
    if (entry.empty()) continue;

    Text shortcutPath;
    std::uint32_t flags = 0;
    RaisedError error;
    const bool found = file->FindInProgramsMenu(entry, shortcutPath, flags, error);
    if (error.raised()) return {DiscoveryOutcome::Raised, error.message()};
    if (!found) continue;

    Text target;
    if (file->GetShortcutTarget(shortcutPath, target) == 0) continue;

    // A shortcut to a shell item that is no file (or a bare file name) has
    // no folder to offer; a lone "\" would send the user to the drive root.
    const Text folder = ExtractFolder(system_.locale, target);
    if (folder.empty()) continue;

    return {DiscoveryOutcome::FolderFound, IncludeTrailingDelimiter(system_.locale, folder)};
  }
  return {DiscoveryOutcome::NothingFound, {}};
}

}  // namespace brisko
