#include "core/form_main.h"

#include "core/errors.h"
#include "core/format/package_format.h"
#include "core/payload/package_payload.h"
#include "core/script/script_lines.h"
#include "core/text/fixed_texts.h"
#include "core/text/path.h"

namespace brisko {

TFormMain::TFormMain(Services services)
    : services_(services),
      caption_(texts::kDefaultCaption),
      actStart{texts::kCaptionStart, false},
      actCancel{texts::kCaptionCancel, true},
      actChangePath{texts::kCaptionChangePath, true} {}

TFormMain::~TFormMain() = default;

void TFormMain::Create() {
  // Whatever start-up raises is reported; the window opens in the state
  // reached so far.
  Text error;
  bool failed = false;
  try {
    FormCreate();
  } catch (const Error& e) {
    failed = true;
    error = e.message();
  } catch (const std::exception& e) {
    failed = true;
    error = e.what();
  }
  Changed();
  if (failed) ReportException(error);
}

void TFormMain::ReportException(const Text& what) { services_.ui.ShowError(ExceptionReportText(what)); }

void TFormMain::FormCreate() {
  bmpBackground = std::make_unique<Bitmap>();
  *bmpBackground = DecodeBitmapFile(services_.resources.Open(format::kBackgroundType, format::kBackgroundName));

  StringList scriptLines = SplitLines(services_.resources.Open(format::kScriptType, format::kScriptName));
  const TTinyCnf reader(scriptLines, services_.locale);

  Text value;
  if (reader.GetValue(format::kCaption, value)) {
    caption_ = value;
    Changed();
  }
  reader.GetValue(format::kGameTitle, gameTitle);
  if (reader.GetValue(format::kPatchType, value)) patchType = format::PatchTypeFromValue(value);

  checkTargetFilenames = std::make_unique<StringList>();
  if (!reader.GetList(format::kCheckTargetFilename, *checkTargetFilenames)) {
    ShowMessage(texts::kMsgNoCheckTargetSection);
    return;
  }

  const DiscoveryResult discovered = services_.discovery.Run(reader, scriptLines);
  switch (discovered.outcome) {
    case DiscoveryOutcome::NoLinkPathSection:
      ShowMessage(texts::kMsgNoLinkPathSection);
      return;
    case DiscoveryOutcome::NothingFound:
      ShowMessage(texts::kMsgTargetNotFound);
      return;
    case DiscoveryOutcome::FolderFound:
      SetTargetDirText(discovered.folder);
      break;
  }

  // Start stays as the folder check left it: enabling it here regardless
  // would let the payload go into a folder that failed the check.
  auto list = std::make_unique<StringList>();
  if (reader.GetList(format::kOutFiles, *list)) {
    outFiles = std::move(list);
  } else if (patchType == format::kWritesPayload) {
    // Without the section there is nothing to write; outFiles stays absent
    // so that Start reports failure rather than a success with no files.
    ShowMessage(texts::kMsgNoOutFilesSection);
  } else {
    outFiles = std::move(list);
  }
}

void TFormMain::SetTargetDirText(const Text& text) {
  if (busy_ || text == targetDir_) return;
  targetDir_ = text;
  edtTargetDirChange();
  Changed();
}

void TFormMain::edtTargetDirChange() {
  SetEnabled(Action::Start, false);
  if (targetDir_.empty() || !checkTargetFilenames) return;
  // Every entry is tried; none disables the action again.
  for (const Text& name : *checkTargetFilenames)
    if (services_.files.FileExists(JoinPath(services_.locale, targetDir_, name)))
      SetEnabled(Action::Start, true);
}

void TFormMain::Execute(Action action) {
  if (busy_ || !enabled(action)) return;
  switch (action) {
    case Action::Start: actStartExecute(); break;
    case Action::Cancel: actCancelExecute(); break;
    case Action::ChangePath: actChangePathExecute(); break;
  }
}

void TFormMain::lblChangePathClick() { Execute(Action::ChangePath); }

void TFormMain::actChangePathExecute() {
  const Text prompt = FormatText(texts::kChooserPromptFmt, gameTitle);
  const Text chosen = services_.ui.SelectFolder(prompt, targetDir_);
  if (!chosen.empty()) SetTargetDirText(chosen);
}

void TFormMain::actCancelExecute() {
  if (observer_) observer_->CloseRequested();
}

void TFormMain::actStartExecute() {
  SetEnabled(Action::Start, false);
  SetEnabled(Action::Cancel, false);
  Changed();
  if (patchType == format::kWritesPayload) WritePayloadFiles();
  SetEnabled(Action::Cancel, true);
  Changed();
}

struct TFormMain::PayloadFile {
  Text destination;
  std::optional<StoredPayload> stored;  // nothing: missing, the writing fails there
  EntryPlan plan{EntryAction::WriteWhole};
};

// Hands the writing to the worker and shows its progress.
class TFormMain::WriteJob final : public Worker::Job {
 public:
  WriteJob(TFormMain& form, std::vector<PayloadFile>& files) : form_(form), files_(files) {}
  bool Run(Progress& progress) override {
    outcome = form_.WritePlannedFiles(files_, progress);
    return outcome == WriteOutcome::Written;
  }
  void Advanced(std::uint64_t done) override {
    form_.bytesWritten_ = done;
    form_.Changed();
  }

  WriteOutcome outcome = WriteOutcome::Failed;

 private:
  TFormMain& form_;
  std::vector<PayloadFile>& files_;
};

void TFormMain::WritePayloadFiles() {
  // Busy until the outcome's message has been dismissed, so that nothing can
  // start the writing again or close the window meanwhile.
  busy_ = writing_ = true;
  WriteOutcome outcome = WriteOutcome::Failed;
  if (outFiles) {
    std::vector<PayloadFile> files = PlanPayloadFiles();
    bytesWritten_ = bytesToWrite_ = 0;
    for (const PayloadFile& file : files)
      if (file.stored) bytesToWrite_ += PayloadSize(*file.stored);
    Changed();
    WriteJob job(*this, files);
    services_.worker.Run(job);
    outcome = job.outcome;
  }
  writing_ = false;
  switch (outcome) {
    case WriteOutcome::Written:
      ShowMessage(texts::kMsgPatchSucceeded);
      actCancel.caption = texts::kCaptionClose;
      break;
    case WriteOutcome::VersionMismatch: ShowMessage(texts::kMsgVersionMismatch); break;
    case WriteOutcome::Failed: ShowMessage(texts::kMsgPatchFailed); break;
  }
  busy_ = false;
  Changed();
}

std::vector<TFormMain::PayloadFile> TFormMain::PlanPayloadFiles() {
  std::vector<PayloadFile> files;
  for (std::size_t i = 0; i < outFiles->size(); ++i) {
    const Text& entry = (*outFiles)[i];
    if (entry.empty()) continue;  // a blank entry still uses up its number
    files.push_back({JoinPath(services_.locale, targetDir_, entry), FindPayload(services_.resources, i)});
  }
  return files;
}

// On the worker's thread: every destination is checked first, and only then
// is anything written.
TFormMain::WriteOutcome TFormMain::WritePlannedFiles(std::vector<PayloadFile>& files, Progress& progress) {
  try {
    const WriteOutcome checked = CheckDestinations(files);
    if (checked != WriteOutcome::Written) return checked;
    for (const PayloadFile& file : files)
      if (!WritePlannedFile(file, progress)) return WriteOutcome::Failed;
    return WriteOutcome::Written;
  } catch (...) {
    return WriteOutcome::Failed;
  }
}

// A payload that records the file it gives is checked against its
// destination before the first byte is written anywhere: a destination that
// already is the result is left alone, and one that is none of the versions
// a delta was made from stops the whole patch, so that nothing of it lands
// on the wrong version. Entries after a missing payload are not looked at:
// the writing fails at that entry, as it always has.
TFormMain::WriteOutcome TFormMain::CheckDestinations(std::vector<PayloadFile>& files) {
  bool mismatch = false;
  for (PayloadFile& file : files) {
    if (!file.stored) break;
    if (file.stored->kind != format::PayloadKind::Delta) continue;
    std::unique_ptr<RandomAccessFile> destination;
    if (!services_.files.OpenForReading(file.destination, destination)) return WriteOutcome::Failed;
    file.plan = PlanEntry(*file.stored, destination.get());
    if (file.plan.action == EntryAction::Failed) return WriteOutcome::Failed;
    mismatch = mismatch || file.plan.action == EntryAction::VersionMismatch;
  }
  return mismatch ? WriteOutcome::VersionMismatch : WriteOutcome::Written;
}

bool TFormMain::WritePlannedFile(const PayloadFile& file, Progress& progress) {
  if (!file.stored) return false;
  std::unique_ptr<PayloadReader> reader;
  switch (file.plan.action) {
    case EntryAction::Skip: progress.Add(PayloadSize(*file.stored)); return true;
    case EntryAction::WriteWhole: reader = OpenPayload(*file.stored); break;
    case EntryAction::ApplyDelta:
      reader = OpenDeltaAgainst(*file.stored, file.plan.source, services_.files, file.destination);
      break;
    case EntryAction::VersionMismatch:
    case EntryAction::Failed: return false;
  }
  return reader && services_.files.WriteWholeFile(file.destination, *reader, progress);
}

void TFormMain::ShowMessage(const Text& text) {
  Changed();
  services_.ui.ShowMessage(text);
}

bool TFormMain::enabled(Action action) const { return state(action).enabled; }

const Text& TFormMain::actionCaption(Action action) const { return state(action).caption; }

void TFormMain::SetEnabled(Action action, bool enabled) { state(action).enabled = enabled; }

void TFormMain::Changed() {
  if (observer_) observer_->FormChanged();
}

TFormMain::ActionState& TFormMain::state(Action action) {
  return const_cast<ActionState&>(static_cast<const TFormMain*>(this)->state(action));
}

const TFormMain::ActionState& TFormMain::state(Action action) const {
  switch (action) {
    case Action::Start: return actStart;
    case Action::Cancel: return actCancel;
    case Action::ChangePath: break;
  }
  return actChangePath;
}

}  // namespace brisko
