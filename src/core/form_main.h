// TFormMain: the installer's main window as a model. It holds the window's
// state (caption, folder text, the actions' enabled states and captions, the
// background picture and the script's settings) and its event handlers; the
// Windows view shows that state and forwards the user's input.
#pragma once

#include <memory>
#include <vector>

#include "core/apply/apply_patch.h"
#include "core/discovery/target_discovery.h"
#include "core/errors.h"
#include "core/picture/bitmap.h"
#include "core/platform.h"
#include "core/text/locale.h"
#include "core/text/text.h"

namespace brisko {

// What the view implements to follow the model.
class FormObserver {
 public:
  virtual ~FormObserver() = default;
  // Something shown changed; the view re-reads the state. Called before every
  // message box, so that the window is up to date while the box is open.
  virtual void FormChanged() = 0;
  // The cancel action ran: close the window.
  virtual void CloseRequested() = 0;
};

enum class Action { Start, Cancel, ChangePath };

class TFormMain {
 public:
  struct Services {
    Resources& resources;
    FileSystem& files;
    UserInterface& ui;
    const Locale& locale;
    TargetDiscovery& discovery;
    Worker& worker;
  };

  explicit TFormMain(Services services);
  TFormMain(const TFormMain&) = delete;
  TFormMain& operator=(const TFormMain&) = delete;
  ~TFormMain();

  void SetObserver(FormObserver* observer) { observer_ = observer; }

  // Runs the start-up sequence once, inside the guard that reports any
  // exception through the exception report.
  void Create();

  // Shows the exception report for an error that left an event handler.
  void ReportException(const Text& what);

  // --- input from the view ---
  // While the payload is written, and until its outcome's message has been
  // dismissed, the form is busy and ignores all of these.
  // The field's text changed (typed) or is set by the program. Runs the
  // folder check only when the text differs from what the field held.
  void SetTargetDirText(const Text& text);
  // Runs the action's handler only while the action is enabled.
  void Execute(Action action);
  // A click on the "ここ" label.
  void lblChangePathClick();
  // The window's close box. True when the window may close now; while a
  // staged patch is prepared it stops the patch instead, and asks the view
  // to close once the outcome has been shown.
  bool RequestClose();
  // The session is about to end (logoff, shutdown). False while the files
  // are being put in place, which must not be cut short; otherwise a patch
  // being prepared is stopped, and true.
  bool SessionEnding();
  // The session ends now: returns once the patch has stopped and removed
  // what it had staged.
  void SessionEnds();

  // --- state the view shows ---
  const Text& caption() const { return caption_; }
  const Text& targetDir() const { return targetDir_; }
  bool enabled(Action action) const;
  const Text& actionCaption(Action action) const;
  // Null when absent; empty when loading it failed.
  const Bitmap* background() const { return bmpBackground.get(); }
  // True from the start of writing until its outcome's message has been
  // dismissed: the form ignores input meanwhile, and the window cannot be
  // closed.
  bool busy() const { return busy_; }
  // True while the payload is written (busy, before the outcome's message):
  // the window then takes no input.
  bool writing() const { return writing_; }
  // True while the files of a staged patch are being put in place: the
  // session's end is held off meanwhile.
  bool committing() const;
  // The bytes written so far of all there are to write, while busy.
  std::uint64_t bytesWritten() const { return bytesWritten_; }
  std::uint64_t bytesToWrite() const { return bytesToWrite_; }

  // --- the script's settings (read by tests) ---
  const Text& GetGameTitle() const { return gameTitle; }
  int GetPatchType() const { return patchType; }
  // Null while absent (start-up ended before reading the section).
  const StringList* GetOutFiles() const { return outFiles.get(); }
  const StringList* GetCheckTargetFilenames() const { return checkTargetFilenames.get(); }

 private:
  struct ActionState {
    Text caption;
    bool enabled;
  };

  void FormCreate(RaisedError& error);
  void edtTargetDirChange();
  void actStartExecute();
  void actCancelExecute();
  void actChangePathExecute();
  void WritePayloadFiles();
  // Asks a staged patch being prepared to stop; false when there is none.
  bool StopWriting();
  class WriteJob;
  void ShowMessage(const Text& text);
  void SetEnabled(Action action, bool enabled);
  void Changed();
  ActionState& state(Action action);
  const ActionState& state(Action action) const;

  Services services_;
  FormObserver* observer_ = nullptr;
  Text caption_;
  Text targetDir_;
  ActionState actStart;
  ActionState actCancel;
  ActionState actChangePath;
  bool busy_ = false;
  bool writing_ = false;
  // The patch being written can be stopped (a staged one).
  bool stoppable_ = false;
  bool closeAfterOutcome_ = false;
  std::unique_ptr<ApplyControl> control_;
  std::uint64_t bytesWritten_ = 0;
  std::uint64_t bytesToWrite_ = 0;

  // Declared in this order so that destruction frees checkTargetFilenames,
  // then outFiles, then gameTitle, then bmpBackground.
  std::unique_ptr<Bitmap> bmpBackground;
  Text gameTitle;
  int patchType = 0;
  std::unique_ptr<StringList> outFiles;
  std::unique_ptr<StringList> checkTargetFilenames;
};

}  // namespace brisko
