// The patch as the installer will apply it, worked out once when Start is
// pressed: for each %OutFiles entry its destination, its payload with the
// records read, what is to be done with it and how many bytes it gives.
// Later steps consult the plan and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/payload/delta.h"
#include "core/payload/package_payload.h"
#include "core/platform.h"
#include "core/text/locale.h"
#include "core/text/text.h"

namespace brisko {

// A stored payload and what its header or records say, read once.
struct Payload {
  StoredPayload stored;
  // The header (compressed) or the records (delta) are usable.
  bool readable = false;
  // The bytes it gives (0 when not readable).
  std::uint64_t size = 0;
  // A delta payload's records: the result it gives, and its sources.
  DeltaPayload records;

  bool recordsResult() const { return stored.kind == format::PayloadKind::Delta; }
};

Payload ReadPayload(const StoredPayload& stored);

// What the installer does with an entry, decided before anything is written.
enum class EntryAction {
  Skip,             // the destination already is the result
  WriteWhole,       // the payload gives the whole content
  ApplyDelta,       // the destination is source `source` of the delta
  VersionMismatch,  // a delta whose destination is missing or none of its sources
  Failed,           // the payload's records are damaged, or the destination cannot be read
};

struct EntryPlan {
  EntryAction action = EntryAction::Failed;
  std::size_t source = 0;
  // ApplyDelta decided by the destination's size alone: no other source and
  // not the result have that size. The result's own check, once applied,
  // then tells whether the destination really was that source.
  bool bySize = false;
};

// Decides an entry's action from its payload and its destination (null when
// there is no such file). Only a payload that records its result can be
// skipped or applied as a delta; the others are always written whole. The
// destination is hashed only when its size cannot decide: when it is the
// result's (is it already patched?) or that of more than one source; then
// once, with the bytes hashed added to `progress`.
EntryPlan DecideAction(const Payload& payload, RandomAccessFile* destination, Progress* progress = nullptr);

// A reader of the whole content that `payload` gives; null when it holds a
// delta or is unreadable.
std::unique_ptr<PayloadReader> OpenWholeReader(const Payload& payload);

// A reader of the result of source `source` of a delta payload applied to
// `file`. Null when the records are unusable.
std::unique_ptr<PayloadReader> OpenDeltaReader(const Payload& payload, std::size_t source,
                                               std::unique_ptr<RandomAccessFile> file);

// One non-blank %OutFiles entry.
struct PlannedEntry {
  std::size_t index = 0;           // its position in %OutFiles: the payload's number
  Text name;                       // as the script lists it
  Text destination;                // the target folder joined with the name
  Text folder;                     // the destination's folder, ending in its delimiter
  std::optional<Payload> payload;  // nothing: the package lacks it
  EntryPlan plan{EntryAction::WriteWhole};
  // An earlier entry has the same destination, letter case aside.
  bool duplicate = false;
};

struct PatchPlan {
  std::vector<PlannedEntry> entries;
  // The bytes of every payload that the package holds.
  std::uint64_t totalBytes = 0;
  // Applied as one transaction: everything checked, then staged, then put
  // in place. A package of raw payloads only (what `briskopack build
  // --store` makes) is instead written entry by entry, each file replaced
  // as it is written.
  bool staged = false;
};

// The plan of `outFiles` written into `folder`, from the package's payloads.
// Blank entries are left out but keep their numbers. Any payload stored
// other than raw makes the plan a staged one.
PatchPlan BuildPlan(Resources& resources, const Locale& locale, const Text& folder, const StringList& outFiles);

}  // namespace brisko
