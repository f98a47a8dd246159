#include "form_main.h"

#include "errors.h"
#include "package_format.h"
#include "path.h"
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
  if (text == targetDir_) return;
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
  if (!enabled(action)) return;
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

void TFormMain::WritePayloadFiles() {
  bool ok = true;
  try {
    if (!outFiles) {
      ok = false;
    } else {
      for (std::size_t i = 0; ok && i < outFiles->size(); ++i) {
        const Text& entry = (*outFiles)[i];
        if (entry.empty()) continue;  // a blank entry still uses up its number
        const Text destination = JoinPath(services_.locale, targetDir_, entry);
        const std::string_view bytes =
            services_.resources.Open(format::kPayloadType, format::PayloadName(i));
        ok = services_.files.WriteWholeFile(destination, bytes);
      }
    }
  } catch (...) {
    ok = false;
  }
  if (ok) {
    ShowMessage(texts::kMsgPatchSucceeded);
    actCancel.caption = texts::kCaptionClose;
    Changed();
  } else {
    ShowMessage(texts::kMsgPatchFailed);
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
