// The payload files of the running installer's package.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "core/format/package_format.h"
#include "core/platform.h"

namespace brisko {

// A payload resource as the package stores it.
struct StoredPayload {
  format::PayloadKind kind = format::PayloadKind::Raw;
  std::string_view bytes;
};

// The payload of %OutFiles entry `index`, looked for in the order of
// format::kPayloadKinds. Nothing when the package holds none, or when one is
// there but cannot be loaded.
std::optional<StoredPayload> FindPayload(Resources& resources, std::size_t index);

}  // namespace brisko
