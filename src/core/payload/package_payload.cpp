#include "core/payload/package_payload.h"

namespace brisko {

std::optional<StoredPayload> FindPayload(Resources& resources, std::size_t index) {
  const Text name = format::PayloadName(index);
  for (const format::PayloadKind kind : format::kPayloadKinds)
    if (const auto bytes = resources.Find(format::PayloadType(kind), name)) return StoredPayload{kind, *bytes};
  return std::nullopt;
}

}  // namespace brisko
