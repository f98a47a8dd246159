#include "core/apply/patch_plan.h"

#include "core/text/path.h"

namespace brisko {

Payload ReadPayload(const StoredPayload& stored) {
  Payload payload;
  payload.stored = stored;
  switch (stored.kind) {
    case format::PayloadKind::Raw:
      payload.readable = true;
      payload.size = stored.bytes.size();
      break;
    case format::PayloadKind::Compressed: payload.readable = ZstdContentSize(stored.bytes, payload.size); break;
    case format::PayloadKind::Delta:
      payload.readable = ReadDeltaPayload(stored.bytes, payload.records);
      if (payload.readable) payload.size = payload.records.result.size;
      break;
  }
  if (!payload.readable) payload.size = 0;
  return payload;
}

EntryPlan DecideAction(const Payload& payload, RandomAccessFile* destination, Progress* progress) {
  if (!payload.recordsResult()) return {EntryAction::WriteWhole};
  if (!payload.readable) return {EntryAction::Failed};
  const DeltaPayload& records = payload.records;
  const EntryAction otherwise = records.sources.empty() ? EntryAction::WriteWhole : EntryAction::VersionMismatch;
  if (!destination) return {otherwise};
  const std::uint64_t size = destination->size();
  std::vector<std::size_t> candidates;  // the sources of the destination's size
  for (std::size_t k = 0; k < records.sources.size(); ++k)
    if (records.sources[k].file.size == size) candidates.push_back(k);
  if (size != records.result.size) {
    if (candidates.empty()) return {otherwise};
    if (candidates.size() == 1) return {EntryAction::ApplyDelta, candidates[0], true};
  }
  FileIdentity found;
  if (!IdentifyFile(*destination, found, progress)) return {EntryAction::Failed};
  if (found == records.result) return {EntryAction::Skip};
  for (const std::size_t k : candidates)
    if (found == records.sources[k].file) return {EntryAction::ApplyDelta, k};
  return {otherwise};
}

std::unique_ptr<PayloadReader> OpenWholeReader(const Payload& payload) {
  if (!payload.readable) return nullptr;
  const std::string_view bytes = payload.stored.bytes;
  switch (payload.stored.kind) {
    case format::PayloadKind::Raw: return MakeRawReader(bytes);
    case format::PayloadKind::Compressed: return MakeZstdReader(bytes, MakeMemorySource(bytes));
    case format::PayloadKind::Delta: break;
  }
  if (!payload.records.sources.empty()) return nullptr;
  return OpenWholeContent(payload.records);
}

std::unique_ptr<PayloadReader> OpenDeltaReader(const Payload& payload, std::size_t source,
                                               std::unique_ptr<RandomAccessFile> file) {
  if (!payload.recordsResult() || !payload.readable) return nullptr;
  return OpenDelta(payload.records, source, std::move(file));
}

PatchPlan BuildPlan(Resources& resources, const Locale& locale, const Text& folder, const StringList& outFiles) {
  PatchPlan plan;
  for (std::size_t i = 0; i < outFiles.size(); ++i) {
    const Text& name = outFiles[i];
    if (name.empty()) continue;  // a blank entry still uses up its number
    PlannedEntry entry;
    entry.index = i;
    entry.name = name;
    entry.destination = JoinPath(locale, folder, name);
    entry.folder = ExtractFolder(locale, entry.destination);
    if (const std::optional<StoredPayload> stored = FindPayload(resources, i)) {
      entry.payload = ReadPayload(*stored);
      plan.totalBytes += entry.payload->size;
      plan.staged = plan.staged || stored->kind != format::PayloadKind::Raw;
    }
    for (const PlannedEntry& earlier : plan.entries)
      entry.duplicate = entry.duplicate || locale.EqualsIgnoreCase(earlier.destination, entry.destination);
    plan.entries.push_back(std::move(entry));
  }
  return plan;
}

}  // namespace brisko
