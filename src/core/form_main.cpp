#include "form_main.h"

#include "errors.h"
#include "package_format.h"
#include "path.h"
#include "payload/package_payload.h"
#include "script_lines.h"
#include "texts.h"

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
};

// Hands the writing to the worker and shows its progress.
class TFormMain::WriteJob final : public Worker::Job {
 public:
  WriteJob(TFormMain& form, const std::vector<PayloadFile>& files) : form_(form), files_(files) {}
  bool Run(Progress& progress) override { return form_.WritePlannedFiles(files_, progress); }
  void Advanced(std::uint64_t done) override {
    form_.bytesWritten_ = done;
    form_.Changed();
  }

 private:
  TFormMain& form_;
  const std::vector<PayloadFile>& files_;
};

void TFormMain::WritePayloadFiles() {
  // Busy until the outcome's message has been dismissed, so that nothing can
  // start the writing again or close the window meanwhile.
  busy_ = writing_ = true;
  bool written = false;
  if (outFiles) {
    const std::vector<PayloadFile> files = PlanPayloadFiles();
    bytesWritten_ = bytesToWrite_ = 0;
    for (const PayloadFile& file : files)
      if (file.stored) bytesToWrite_ += PayloadSize(*file.stored);
    Changed();
    WriteJob job(*this, files);
    written = services_.worker.Run(job);
  }
  writing_ = false;
  if (written) {
    ShowMessage(texts::kMsgPatchSucceeded);
    actCancel.caption = texts::kCaptionClose;
  } else {
    ShowMessage(texts::kMsgPatchFailed);
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

bool TFormMain::WritePlannedFiles(const std::vector<PayloadFile>& files, Progress& progress) {
  try {
    for (const PayloadFile& file : files) {
      if (!file.stored) return false;
      const std::unique_ptr<PayloadReader> reader = OpenPayload(*file.stored);
      if (!reader || !services_.files.WriteWholeFile(file.destination, *reader, progress)) return false;
    }
    return true;
  } catch (...) {
    return false;
  }
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
