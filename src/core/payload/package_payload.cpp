#include "core/payload/package_payload.h"

#include "core/errors.h"

namespace brisko {

std::optional<StoredPayload> FindPayload(Resources& resources, std::size_t index) {
  const Text name = format::PayloadName(index);
  try {
    for (const format::PayloadKind kind : format::kPayloadKinds)
      if (const auto bytes = resources.Find(format::PayloadType(kind), name)) return StoredPayload{kind, *bytes};
  } catch (const ResourceNotFound&) {
    // There, but not loadable: as good as missing.
  }
  return std::nullopt;
}

}  // namespace brisko
