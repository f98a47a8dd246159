#include "core/platform.h"

#include "core/payload/payload_reader.h"

namespace brisko {
namespace {

class NoProgress final : public Progress {
 public:
  void Add(std::uint64_t) override {}
};

}  // namespace

bool FileSystem::WriteWholeFile(const Text& path, std::string_view bytes) {
  NoProgress progress;
  return WriteWholeFile(path, *MakeRawReader(bytes), progress);
}

}  // namespace brisko
