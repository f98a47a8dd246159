#include "core/form_main.h"

#include "core/apply/apply_patch.h"
#include "core/errors.h"
#include "core/format/package_format.h"
#include "core/picture/stored_picture.h"
#include "core/script/script_lines.h"
#include "core/text/fixed_texts.h"
#include "core/text/path.h"

namespace brisko {
namespace {

// "12 MB", or "1.5 GB" from 1 GB on: rounded up, so that freeing the amount
// shown is always enough.
Text SizeText(std::uint64_t bytes) {
  constexpr std::uint64_t kMega = std::uint64_t{1} << 20;
  const std::uint64_t megabytes = bytes == 0 ? 0 : (bytes - 1) / kMega + 1;
  if (megabytes < 1024) return DecimalText(megabytes) + " MB";
  const std::uint64_t tenths = (megabytes * 10 + 1023) / 1024;
  return DecimalText(tenths / 10) + "." + DecimalText(tenths % 10) + " GB";
}

// What the user is told of the outcome: one of the fixed texts, with the
// entry (or the room missing, or the entries now new) in place of its "%s".
// A plan of raw payloads reports no entry, and keeps the two messages it
// always had.
Text OutcomeMessage(const ApplyResult& result) {
  const bool named = !result.entry.empty();
  Text argument = result.entry;
  const char* format = texts::kMsgPatchFailed;
  switch (result.outcome) {
    case ApplyOutcome::Written: format = texts::kMsgPatchSucceeded; break;
    case ApplyOutcome::Failed: format = named ? texts::kMsgStagingFailedFmt : texts::kMsgPatchFailed; break;
    case ApplyOutcome::VersionMismatch: format = named ? texts::kMsgOtherVersionFmt : texts::kMsgVersionMismatch; break;
    case ApplyOutcome::InUse: format = texts::kMsgInUseFmt; break;
    case ApplyOutcome::ReadOnly: format = texts::kMsgReadOnlyFmt; break;
    case ApplyOutcome::Refused: format = texts::kMsgRefusedFmt; break;
    case ApplyOutcome::FolderMissing: format = texts::kMsgFolderMissingFmt; break;
    case ApplyOutcome::NoRoom:
      format = texts::kMsgNoRoomFmt;
      argument = SizeText(result.shortBy);
      break;
    case ApplyOutcome::Cancelled: format = texts::kMsgCancelled; break;
    case ApplyOutcome::PartlyApplied:
      format = texts::kMsgPartlyAppliedFmt;
      argument.clear();
      for (const Text& name : result.newEntries) argument += (argument.empty() ? "" : "\n") + name;
      break;
  }
  return FormatText(format, argument);
}

}  // namespace

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
  RaisedError error;
  FormCreate(error);
  Changed();
  if (error.raised()) ReportException(error.message());
}

void TFormMain::ReportException(const Text& what) { services_.ui.ShowError(ExceptionReportText(what)); }

void TFormMain::FormCreate(RaisedError& error) {
  bmpBackground = std::make_unique<Bitmap>();
  if (!LoadBackground(services_.resources, *bmpBackground, error)) return;

  const std::optional<std::string_view> script = services_.resources.Find(format::kScriptType, format::kScriptName);
  if (!script) {
    error.Raise(ResourceNotFoundText(format::kScriptName));
    return;
  }
  StringList scriptLines = SplitLines(*script);
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
    case DiscoveryOutcome::Raised: error.Raise(discovered.folder); return;
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
  // While a staged patch is prepared, Cancel stops it.
  if (busy_ && action == Action::Cancel && enabled(action)) {
    StopWriting();
    return;
  }
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

// Hands the patch to the worker and shows its progress.
class TFormMain::WriteJob final : public Worker::Job {
 public:
  WriteJob(TFormMain& form, PatchPlan& plan) : form_(form), plan_(plan) {}
  bool Run(Progress& progress) override {
    result = ApplyPatch(plan_, form_.services_.files, progress, *form_.control_);
    return result.outcome == ApplyOutcome::Written;
  }
  void Advanced(std::uint64_t done) override {
    form_.bytesWritten_ = done;
    // Once the files are being put in place, there is no stopping.
    if (form_.control_->phase() != ApplyControl::Phase::Preparing) form_.SetEnabled(Action::Cancel, false);
    form_.Changed();
  }

  ApplyResult result;

 private:
  TFormMain& form_;
  PatchPlan& plan_;
};

void TFormMain::WritePayloadFiles() {
  // Busy until the outcome's message has been dismissed, so that nothing can
  // start the writing again or close the window meanwhile. A staged patch
  // can be stopped until its files are put in place: Cancel stays enabled.
  busy_ = writing_ = true;
  ApplyResult result;
  if (outFiles) {
    PatchPlan plan = BuildPlan(services_.resources, services_.locale, targetDir_, *outFiles);
    control_ = std::make_unique<ApplyControl>();
    stoppable_ = plan.staged;
    SetEnabled(Action::Cancel, stoppable_);
    bytesWritten_ = 0;
    bytesToWrite_ = plan.totalBytes;
    Changed();
    WriteJob job(*this, plan);
    services_.worker.Run(job);
    result = job.result;
  }
  writing_ = stoppable_ = false;
  SetEnabled(Action::Cancel, false);
  ShowMessage(OutcomeMessage(result));
  if (result.outcome == ApplyOutcome::Written) actCancel.caption = texts::kCaptionClose;
  busy_ = false;
  Changed();
  if (closeAfterOutcome_) {
    closeAfterOutcome_ = false;
    if (observer_) observer_->CloseRequested();
  }
}

bool TFormMain::StopWriting() {
  if (!writing_ || !stoppable_ || control_->phase() != ApplyControl::Phase::Preparing) return false;
  control_->RequestStop();
  SetEnabled(Action::Cancel, false);
  Changed();
  return true;
}

bool TFormMain::RequestClose() {
  if (!busy_) return true;
  closeAfterOutcome_ = closeAfterOutcome_ || StopWriting();
  return false;
}

bool TFormMain::committing() const {
  return writing_ && control_ && control_->phase() == ApplyControl::Phase::Committing;
}

bool TFormMain::SessionEnding() {
  if (committing()) return false;
  StopWriting();
  return true;
}

void TFormMain::SessionEnds() {
  StopWriting();
  if (writing_) services_.worker.WaitForEnd();
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
