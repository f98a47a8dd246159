#include "core/platform.h"

#include "core/payload/payload_reader.h"

namespace brisko {
namespace {

class NoProgress final : public Progress {
 public:
  void Add(std::uint64_t) override {}
};

}  // namespace

bool FileSystem::WriteWholeFile(const Text& path, PayloadReader& reader, Progress& progress) {
  const DestinationState state = Examine(path);
  if (state != DestinationState::Missing && state != DestinationState::Replaceable) return false;
  std::unique_ptr<StagedFile> staged;
  return Stage(path, reader, progress, staged) && staged->Commit();
}

bool FileSystem::WriteWholeFile(const Text& path, std::string_view bytes) {
  NoProgress progress;
  return WriteWholeFile(path, *MakeRawReader(bytes), progress);
}

}  // namespace brisko
