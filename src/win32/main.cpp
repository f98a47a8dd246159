// The installer's entry: builds the platform services and the main window,
// runs start-up and the message loop. Reads no command line.
#include <windows.h>

#include "application_window.h"
#include "core/errors.h"
#include "core/form_main.h"
#include "dll_search.h"
#include "main_window.h"
#include "win_file_system.h"
#include "win_locale.h"
#include "win_resources.h"
#include "win_target_discovery.h"
#include "win_user_interface.h"
#include "win_worker.h"

using namespace brisko;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before anything that may load a DLL by name.
  RestrictDllSearch();
  WinUserInterface ui;
  const WinLocale& locale = WinLocale::System();
  WinResources resources;
  WinFileSystem files(locale);
  WinTargetDiscovery discovery(files, locale);
  WinWorker worker;
  TFormMain form({resources, files, ui, locale, discovery, worker});
  // The application window carries the task-bar button captioned with the
  // application title and owns the main window; it is destroyed after it.
  ApplicationWindow application(instance);
  RaisedError error;
  if (!application.Create(error)) {
    ui.ShowError(ExceptionReportText(error.message()));
    return 0;
  }
  MainWindow window(instance, form, application.handle());
  if (!window.Create(error)) {
    ui.ShowError(ExceptionReportText(error.message()));
    return 0;
  }
  application.SetMainWindow(window.handle());
  window.StartUp();
  ui.SetOwner(window.handle());
  window.Run();
  return 0;
}
