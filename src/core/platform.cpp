#include "core/platform.h"

#include "core/errors.h"
#include "core/payload/payload_reader.h"

namespace brisko {
namespace {

class NoProgress final : public Progress {
 public:
  void Add(std::uint64_t) override {}
};

}  // namespace

std::string_view Resources::Open(const Text& type, const Text& name) {
  const std::optional<std::string_view> bytes = Find(type, name);
  if (!bytes) throw ResourceNotFound(name);
  return *bytes;
}

bool FileSystem::WriteWholeFile(const Text& path, std::string_view bytes) {
  NoProgress progress;
  return WriteWholeFile(path, *MakeRawReader(bytes), progress);
}

}  // namespace brisko
