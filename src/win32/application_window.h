// The application window: the program's entry on the task bar.
//
// The main window's caption is the script's, but the task bar is to show the
// application title. So the task-bar button belongs to a window of its own,
// captioned with the title and given no size, and the main window is owned
// by it: an owned window gets no task-bar button. Minimising, restoring,
// activating and closing that button are passed on to the main window.
#pragma once

#include <windows.h>

#include "core/errors.h"

namespace brisko {

class ApplicationWindow final {
 public:
  explicit ApplicationWindow(HINSTANCE instance);
  ApplicationWindow(const ApplicationWindow&) = delete;
  ApplicationWindow& operator=(const ApplicationWindow&) = delete;
  ~ApplicationWindow();

  // Creates the window hidden, captioned "briskoPatch" and with the main
  // icon. False, having raised into `error`, when the system refuses.
  bool Create(RaisedError& error);
  HWND handle() const { return hwnd_; }

  // The window that restoring, activation and closing are passed on to. Set
  // once the main window exists, before either is shown.
  void SetMainWindow(HWND main) { main_ = main; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HWND main_ = nullptr;
  // Set while the main window is hidden because the application is
  // minimised, so that restoring shows it again and nothing else does.
  bool mainHidden_ = false;
};

}  // namespace brisko
