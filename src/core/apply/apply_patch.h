// Applying a patch plan.
//
// A staged plan (any payload stored compressed or as a record of its result)
// is one transaction: every entry is checked before the first byte is
// written (its payload, its destination, its version, the room on the
// volume); then every entry is written beside its destination and checked;
// only then are all of them put in place, in one short pass that puts back
// what it has replaced should a step of it fail. Until that pass, stopping
// (a failure, the user's Cancel, the session's end) changes nothing.
//
// A plan of raw payloads only is written entry by entry as it always was:
// versions are checked first, then each file is replaced as it is written,
// and a failure stops there with the files before it written.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/apply/patch_plan.h"
#include "core/platform.h"

namespace brisko {

enum class ApplyOutcome {
  Written,          // every entry written or already patched
  Failed,           // a payload missing or damaged, a destination that could not be read or written
  VersionMismatch,  // a destination is another version than the patch was made from
  // Found by the checks of a staged plan, before anything was written:
  InUse,          // another program holds the destination
  ReadOnly,       // the destination is marked read-only
  Refused,        // the destination cannot be written for another reason
  FolderMissing,  // the destination's folder is not there
  NoRoom,         // the volume lacks room for the staged files
  Cancelled,      // the user or the session stopped the patch; nothing changed
  // The pass that puts the files in place failed and could not put back
  // everything it had replaced.
  PartlyApplied,
};

struct ApplyResult {
  ApplyOutcome outcome = ApplyOutcome::Failed;
  // The entry the outcome is about, as the script lists it; empty when it
  // is about none (success, a raw plan's failure, cancelling).
  Text entry;
  // NoRoom: how many bytes more the volume needs.
  std::uint64_t shortBy = 0;
  // PartlyApplied: the entries that now hold the new version.
  StringList newEntries;
};

// What the window's thread and the worker's share while a patch is applied:
// the request to stop, and how far the patch has come.
class ApplyControl {
 public:
  enum class Phase {
    Preparing,   // checking and staging: stopping changes nothing
    Committing,  // putting the files in place: a stop waits for the end
    Ended,
  };

  // Asks the patch to stop; honoured until the commit pass starts.
  void RequestStop() { stop_.store(true); }
  bool stopRequested() const { return stop_.load(); }
  Phase phase() const { return phase_.load(); }
  void SetPhase(Phase phase) { phase_.store(phase); }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<Phase> phase_{Phase::Preparing};
};

// Applies `plan` with `files`, adding the bytes written to `progress`. Runs on
// the worker's thread.
ApplyResult ApplyPatch(PatchPlan& plan, FileSystem& files, Progress& progress, ApplyControl& control);

}  // namespace brisko
