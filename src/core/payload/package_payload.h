// The payload files of the running installer's package.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "core/format/package_format.h"
#include "core/payload/payload_reader.h"
#include "core/platform.h"

namespace brisko {

// A payload resource as the package stores it.
struct StoredPayload {
  format::PayloadKind kind = format::PayloadKind::Raw;
  std::string_view bytes;
};

// The payload of %OutFiles entry `index`: the raw one, the compressed one or
// the delta one, looked for in that order. Nothing when the package holds
// none, or when one is there but cannot be loaded.
std::optional<StoredPayload> FindPayload(Resources& resources, std::size_t index);

// A reader of the payload's bytes; null when a compressed payload's header
// is unusable, and for a delta payload that holds a delta rather than the
// whole content (that one needs its source: OpenDelta).
std::unique_ptr<PayloadReader> OpenPayload(const StoredPayload& payload);

// The bytes the payload gives, as its resource records them (0 when the
// header is unusable).
std::uint64_t PayloadSize(const StoredPayload& payload);

// What the installer does with an entry, decided before anything is written.
enum class EntryAction {
  Skip,             // the destination already is the result
  WriteWhole,       // OpenPayload gives the bytes
  ApplyDelta,       // the destination is source `source` of the delta
  VersionMismatch,  // a delta whose destination is missing or none of its sources
  Failed,           // the payload's records are damaged, or the destination cannot be read
};

struct EntryPlan {
  EntryAction action = EntryAction::Failed;
  std::size_t source = 0;
};

// Decides an entry's action from its stored payload and its destination
// (null when there is no such file). Only a delta payload records the
// result, so raw and compressed ones are always written whole. The
// destination is hashed at most once, and only when its size is the
// result's or a source's; the bytes hashed are added to `progress`.
EntryPlan PlanEntry(const StoredPayload& payload, RandomAccessFile* destination, Progress* progress = nullptr);

// A reader of source `source`'s delta in `payload` applied to the file at
// `path`, which is opened only when the reader first needs it: the writer
// examines the destination (the same file) without sharing before it starts,
// and the reader lets go of it after its last piece, before the replace.
// Null when the payload's records are unusable.
std::unique_ptr<PayloadReader> OpenDeltaAgainst(const StoredPayload& payload, std::size_t source, FileSystem& files,
                                                const Text& path);

}  // namespace brisko
