// The payload files of the running installer's package.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "core/platform.h"
#include "payload_reader.h"

namespace brisko {

// A payload resource as the package stores it.
struct StoredPayload {
  enum class Kind { Raw, Compressed };
  Kind kind = Kind::Raw;
  std::string_view bytes;
};

// The payload of %OutFiles entry `index`: the raw one, or else the
// compressed one. Nothing when the package holds neither, or when one is
// there but cannot be loaded.
std::optional<StoredPayload> FindPayload(Resources& resources, std::size_t index);

// A reader of the payload's bytes; null when a compressed payload's header
// is unusable.
std::unique_ptr<PayloadReader> OpenPayload(const StoredPayload& payload);

// The bytes the payload gives, as its resource records them (0 when the
// header is unusable).
std::uint64_t PayloadSize(const StoredPayload& payload);

}  // namespace brisko
