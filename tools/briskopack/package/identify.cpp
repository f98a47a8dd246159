#include "package/identify.h"

#include "core/payload/sha256.h"

namespace brisko::pack {
namespace {

FileIdentity Identify(std::string_view bytes, Sha256::Engine engine) {
  Sha256 sha(engine);
  sha.Update(bytes);
  return {bytes.size(), sha.Finish()};
}

}  // namespace

bool HasShaInstructions() { return Sha256::HasInstructions(); }

FileIdentity IdentifyBytesPortably(std::string_view bytes) { return Identify(bytes, Sha256::Engine::Portable); }

FileIdentity IdentifyBytes(std::string_view bytes) { return Identify(bytes, Sha256::Engine::Best); }

}  // namespace brisko::pack
