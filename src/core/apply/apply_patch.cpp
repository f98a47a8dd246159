#include "core/apply/apply_patch.h"

#include <algorithm>
#include <optional>

namespace brisko {
namespace {

ApplyResult Outcome(ApplyOutcome outcome, const PlannedEntry* entry = nullptr) {
  ApplyResult result;
  result.outcome = outcome;
  if (entry) result.entry = entry->name;
  return result;
}

bool Writes(const PlannedEntry& entry) {
  return entry.plan.action == EntryAction::WriteWhole || entry.plan.action == EntryAction::ApplyDelta;
}

// A file read for the checks, which gives up once the patch is asked to stop.
class StoppableFile final : public RandomAccessFile {
 public:
  StoppableFile(RandomAccessFile& file, const ApplyControl& control) : file_(file), control_(control) {}
  std::uint64_t size() const override { return file_.size(); }
  bool ReadAt(std::uint64_t offset, void* data, std::size_t size, std::size_t& got) override {
    got = 0;
    return !control_.stopRequested() && file_.ReadAt(offset, data, size, got);
  }

 private:
  RandomAccessFile& file_;
  const ApplyControl& control_;
};

// A payload being staged, which gives up once the patch is asked to stop.
class StoppableReader final : public PayloadReader {
 public:
  StoppableReader(std::unique_ptr<PayloadReader> reader, const ApplyControl& control)
      : reader_(std::move(reader)), control_(control) {}
  std::uint64_t size() const override { return reader_->size(); }
  bool Next(std::string_view& piece) override {
    piece = {};
    return !control_.stopRequested() && reader_->Next(piece);
  }

 private:
  std::unique_ptr<PayloadReader> reader_;
  const ApplyControl& control_;
};

// Decides the action of an entry that records its result from what its
// destination holds (null: missing).
bool DecideVersion(PlannedEntry& entry, FileSystem& files, bool missing, const ApplyControl& control) {
  std::unique_ptr<RandomAccessFile> destination;
  if (!missing && (!files.OpenForReading(entry.destination, destination) || !destination)) return false;
  if (!destination) {
    entry.plan = DecideAction(*entry.payload, nullptr);
  } else {
    StoppableFile file(*destination, control);
    entry.plan = DecideAction(*entry.payload, &file);
  }
  return entry.plan.action != EntryAction::Failed;
}

// ---- a staged plan --------------------------------------------------------

// Puts back what an interrupted run left aside, and removes its files from
// each folder once.
void RecoverInterrupted(const PatchPlan& plan, FileSystem& files) {
  StringList destinations;
  for (const PlannedEntry& entry : plan.entries) destinations.push_back(entry.destination);
  files.Recover(destinations);
}

// Checks one entry before anything is written: its payload, its destination
// (probed as a replace would open it), and what the destination holds. A
// problem gives its outcome, about this entry.
std::optional<ApplyResult> CheckEntry(PlannedEntry& entry, FileSystem& files, const ApplyControl& control) {
  if (!entry.payload || !entry.payload->readable || entry.duplicate) return Outcome(ApplyOutcome::Failed, &entry);
  const DestinationState state = files.Examine(entry.destination);
  switch (state) {
    case DestinationState::Missing:
    case DestinationState::Replaceable: break;
    case DestinationState::FolderMissing: return Outcome(ApplyOutcome::FolderMissing, &entry);
    case DestinationState::ReadOnly: return Outcome(ApplyOutcome::ReadOnly, &entry);
    case DestinationState::InUse: return Outcome(ApplyOutcome::InUse, &entry);
    case DestinationState::Refused: return Outcome(ApplyOutcome::Refused, &entry);
  }
  entry.plan = {EntryAction::WriteWhole};
  if (entry.payload->recordsResult() && !DecideVersion(entry, files, state == DestinationState::Missing, control))
    return Outcome(control.stopRequested() ? ApplyOutcome::Cancelled : ApplyOutcome::Failed, &entry);
  if (control.stopRequested()) return Outcome(ApplyOutcome::Cancelled);
  if (entry.plan.action == EntryAction::VersionMismatch) return Outcome(ApplyOutcome::VersionMismatch, &entry);
  return std::nullopt;
}

// Every entry, in order; the first problem stops the patch.
std::optional<ApplyResult> CheckEntries(PatchPlan& plan, FileSystem& files, const ApplyControl& control) {
  for (PlannedEntry& entry : plan.entries)
    if (std::optional<ApplyResult> problem = CheckEntry(entry, files, control)) return problem;
  return std::nullopt;
}

// The volumes that the staged files go to have room for all of them (each
// rounded up to a whole 4 KiB cluster). Where the system cannot tell, the
// writing will.
std::optional<ApplyResult> CheckRoom(const PatchPlan& plan, FileSystem& files) {
  constexpr std::uint64_t kCluster = 4096;
  struct Volume {
    Text name;
    std::uint64_t free = 0, needed = 0;
  };
  std::vector<Volume> volumes;
  std::vector<std::pair<Text, std::size_t>> folders;  // each folder's volume, once asked
  for (const PlannedEntry& entry : plan.entries) {
    if (!Writes(entry)) continue;
    auto folder = std::find_if(folders.begin(), folders.end(), [&](const auto& f) { return f.first == entry.folder; });
    if (folder == folders.end()) {
      Volume asked;
      if (!files.FreeSpace(entry.folder, asked.free, asked.name)) continue;
      auto volume = std::find_if(volumes.begin(), volumes.end(), [&](const Volume& v) { return v.name == asked.name; });
      if (volume == volumes.end()) volume = volumes.insert(volumes.end(), asked);
      folder = folders.insert(folders.end(), {entry.folder, static_cast<std::size_t>(volume - volumes.begin())});
    }
    volumes[folder->second].needed += (entry.payload->size + kCluster - 1) / kCluster * kCluster;
  }
  for (const Volume& volume : volumes) {
    if (volume.needed <= volume.free) continue;
    ApplyResult result = Outcome(ApplyOutcome::NoRoom);
    result.shortBy = volume.needed - volume.free;
    return result;
  }
  return std::nullopt;
}

// The reader of an entry's new content. A delta's source is the destination
// itself, opened now, after the checks have probed it; the reader lets go of
// it after its last piece, before the commit pass replaces it.
std::unique_ptr<PayloadReader> OpenEntryReader(const PlannedEntry& entry, FileSystem& files) {
  const Payload& payload = *entry.payload;
  if (entry.plan.action == EntryAction::WriteWhole) return OpenWholeReader(payload);
  std::unique_ptr<RandomAccessFile> source;
  if (!files.OpenForReading(entry.destination, source) || !source ||
      source->size() != payload.records.sources[entry.plan.source].file.size)
    return nullptr;
  return OpenDeltaReader(payload, entry.plan.source, std::move(source));
}

// A delta chosen by the destination's size whose result did not check: was
// the destination that source at all?
bool IsOtherVersion(const PlannedEntry& entry, FileSystem& files) {
  std::unique_ptr<RandomAccessFile> destination;
  FileIdentity found;
  return entry.plan.bySize && files.OpenForReading(entry.destination, destination) && destination &&
         IdentifyFile(*destination, found) && !(found == entry.payload->records.sources[entry.plan.source].file);
}

std::optional<ApplyResult> StageEntry(const PlannedEntry& entry, FileSystem& files, Progress& progress,
                                      const ApplyControl& control, std::unique_ptr<StagedFile>& staged) {
  std::unique_ptr<PayloadReader> reader = OpenEntryReader(entry, files);
  if (reader) {
    StoppableReader stoppable(std::move(reader), control);
    if (files.Stage(entry.destination, stoppable, progress, staged)) return std::nullopt;
  }
  if (control.stopRequested()) return Outcome(ApplyOutcome::Cancelled);
  if (IsOtherVersion(entry, files)) return Outcome(ApplyOutcome::VersionMismatch, &entry);
  return Outcome(ApplyOutcome::Failed, &entry);
}

// Writes every entry beside its destination, checked; `staged` holds them in
// plan order (null for an entry left as it is). Failing, the files staged so
// far are removed as `staged` ends.
std::optional<ApplyResult> StageEntries(const PatchPlan& plan, FileSystem& files, Progress& progress,
                                        const ApplyControl& control, std::vector<std::unique_ptr<StagedFile>>& staged) {
  staged.resize(plan.entries.size());
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    const PlannedEntry& entry = plan.entries[i];
    if (entry.plan.action == EntryAction::Skip) progress.Add(entry.payload->size);
    if (!Writes(entry)) continue;
    if (std::optional<ApplyResult> problem = StageEntry(entry, files, progress, control, staged[i])) return problem;
  }
  return std::nullopt;
}

// Puts every staged file in place. When one cannot be, those before it get
// their former content back; only what cannot be put back stays new.
ApplyResult CommitEntries(const PatchPlan& plan, std::vector<std::unique_ptr<StagedFile>>& staged) {
  for (std::size_t i = 0; i < staged.size(); ++i) {
    if (!staged[i] || staged[i]->Commit()) continue;
    ApplyResult result = Outcome(ApplyOutcome::Failed, &plan.entries[i]);
    for (std::size_t j = i; j-- > 0;)
      if (staged[j] && !staged[j]->Restore()) result.newEntries.insert(result.newEntries.begin(), plan.entries[j].name);
    if (!result.newEntries.empty()) result.outcome = ApplyOutcome::PartlyApplied;
    return result;
  }
  return Outcome(ApplyOutcome::Written);
}

ApplyResult ApplyStaged(PatchPlan& plan, FileSystem& files, Progress& progress, ApplyControl& control) {
  RecoverInterrupted(plan, files);
  if (std::optional<ApplyResult> problem = CheckEntries(plan, files, control)) return *problem;
  if (std::optional<ApplyResult> problem = CheckRoom(plan, files)) return *problem;
  std::vector<std::unique_ptr<StagedFile>> staged;
  if (std::optional<ApplyResult> problem = StageEntries(plan, files, progress, control, staged)) return *problem;
  if (control.stopRequested()) return Outcome(ApplyOutcome::Cancelled);
  control.SetPhase(ApplyControl::Phase::Committing);
  return CommitEntries(plan, staged);
}

// ---- a plan of raw payloads -------------------------------------------------

// Writes each entry in turn, replacing its destination; a failure stops
// there, with the entries before it written.
ApplyResult ApplyEntryByEntry(const PatchPlan& plan, FileSystem& files, Progress& progress) {
  for (const PlannedEntry& entry : plan.entries) {
    const std::unique_ptr<PayloadReader> reader = entry.payload ? OpenWholeReader(*entry.payload) : nullptr;
    if (!reader || !files.WriteWholeFile(entry.destination, *reader, progress)) return Outcome(ApplyOutcome::Failed);
  }
  return Outcome(ApplyOutcome::Written);
}

}  // namespace

ApplyResult ApplyPatch(PatchPlan& plan, FileSystem& files, Progress& progress, ApplyControl& control) {
  ApplyResult result =
      plan.staged ? ApplyStaged(plan, files, progress, control) : ApplyEntryByEntry(plan, files, progress);
  control.SetPhase(ApplyControl::Phase::Ended);
  return result;
}

}  // namespace brisko
