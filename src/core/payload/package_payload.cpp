#include "package_payload.h"

#include "core/errors.h"
#include "core/package_format.h"

namespace brisko {

std::optional<StoredPayload> FindPayload(Resources& resources, std::size_t index) {
  const Text name = format::PayloadName(index);
  try {
    if (const auto raw = resources.Find(format::kPayloadType, name))
      return StoredPayload{StoredPayload::Kind::Raw, *raw};
    if (const auto frame = resources.Find(format::kCompressedPayloadType, name))
      return StoredPayload{StoredPayload::Kind::Compressed, *frame};
  } catch (const ResourceNotFound&) {
    // There, but not loadable: as good as missing.
  }
  return std::nullopt;
}

std::unique_ptr<PayloadReader> OpenPayload(const StoredPayload& payload) {
  if (payload.kind == StoredPayload::Kind::Raw) return MakeRawReader(payload.bytes);
  return MakeZstdReader(payload.bytes, MakeMemorySource(payload.bytes));
}

std::uint64_t PayloadSize(const StoredPayload& payload) {
  if (payload.kind == StoredPayload::Kind::Raw) return payload.bytes.size();
  std::uint64_t size = 0;
  ZstdContentSize(payload.bytes, size);
  return size;
}

}  // namespace brisko
