#include "core/payload/package_payload.h"

#include "core/errors.h"
#include "core/format/package_format.h"
#include "core/payload/delta.h"

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

std::unique_ptr<PayloadReader> OpenPayload(const StoredPayload& payload) {
  switch (payload.kind) {
    case format::PayloadKind::Raw: return MakeRawReader(payload.bytes);
    case format::PayloadKind::Compressed: return MakeZstdReader(payload.bytes, MakeMemorySource(payload.bytes));
    case format::PayloadKind::Delta: break;
  }
  DeltaPayload delta;
  if (!ReadDeltaPayload(payload.bytes, delta) || !delta.sources.empty()) return nullptr;
  return OpenWholeContent(delta);
}

std::uint64_t PayloadSize(const StoredPayload& payload) {
  std::uint64_t size = 0;
  DeltaPayload delta;
  switch (payload.kind) {
    case format::PayloadKind::Raw: return payload.bytes.size();
    case format::PayloadKind::Compressed: ZstdContentSize(payload.bytes, size); return size;
    case format::PayloadKind::Delta: return ReadDeltaPayload(payload.bytes, delta) ? delta.result.size : 0;
  }
  return 0;
}

EntryPlan PlanEntry(const StoredPayload& payload, RandomAccessFile* destination, Progress* progress) {
  if (payload.kind != format::PayloadKind::Delta) return {EntryAction::WriteWhole};
  DeltaPayload delta;
  if (!ReadDeltaPayload(payload.bytes, delta)) return {EntryAction::Failed};
  FileIdentity found;
  bool hashed = false, failed = false;
  // Hashes the destination once its size is `wanted`'s, then compares.
  auto is = [&](const FileIdentity& wanted) {
    if (failed || !destination || destination->size() != wanted.size) return false;
    if (!hashed) failed = !IdentifyFile(*destination, found, progress);
    hashed = true;
    return !failed && found == wanted;
  };
  EntryPlan plan{EntryAction::VersionMismatch};
  if (is(delta.result)) {
    plan.action = EntryAction::Skip;
  } else if (delta.sources.empty()) {
    plan.action = EntryAction::WriteWhole;
  } else {
    for (std::size_t k = 0; k < delta.sources.size() && plan.action == EntryAction::VersionMismatch; ++k)
      if (is(delta.sources[k].file)) plan = {EntryAction::ApplyDelta, k};
  }
  if (failed) plan.action = EntryAction::Failed;
  return plan;
}

namespace {

class FileOpenedOnFirstRead final : public RandomAccessFile {
 public:
  FileOpenedOnFirstRead(FileSystem& files, Text path, std::uint64_t size)
      : files_(files), path_(std::move(path)), size_(size) {}
  std::uint64_t size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, void* data, std::size_t size, std::size_t& got) override {
    if (!tried_) {
      tried_ = true;
      // A file that changed size since it was checked is not the source.
      if (!files_.OpenForReading(path_, file_) || (file_ && file_->size() != size_)) file_.reset();
    }
    got = 0;
    return file_ && file_->ReadAt(offset, data, size, got);
  }

 private:
  FileSystem& files_;
  Text path_;
  std::uint64_t size_;
  bool tried_ = false;
  std::unique_ptr<RandomAccessFile> file_;
};

}  // namespace

std::unique_ptr<PayloadReader> OpenDeltaAgainst(const StoredPayload& payload, std::size_t source, FileSystem& files,
                                                const Text& path) {
  DeltaPayload delta;
  if (payload.kind != format::PayloadKind::Delta || !ReadDeltaPayload(payload.bytes, delta) ||
      source >= delta.sources.size())
    return nullptr;
  return OpenDelta(delta, source,
                   std::make_unique<FileOpenedOnFirstRead>(files, path, delta.sources[source].file.size));
}

}  // namespace brisko
