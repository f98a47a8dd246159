// The main window: the Windows view of the TFormMain model. It shows the
// model's state in a window of fixed size (600 x 300 at 96 DPI, scaled for
// its monitor's DPI) with the background picture, three labels, the folder
// field and two buttons, and forwards the user's input to the model.
#pragma once

#include <windows.h>

#include "core/form_main.h"
#include "core/window_layout.h"
#include "handles.h"

namespace brisko {

class MainWindow final : public FormObserver {
 public:
  // `owner` is the application window, which carries the task-bar button;
  // the main window, being owned, has none of its own.
  MainWindow(HINSTANCE instance, TFormMain& form, HWND owner);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow() override;

  // Creates the window and its controls, hidden. False, having raised into
  // `error`, when the system refuses.
  bool Create(RaisedError& error);
  // Runs the form's start-up (which may show message boxes before the window
  // appears), then shows the owner's task-bar button and the window centred
  // on the screen.
  void StartUp();
  HWND handle() const { return hwnd_; }

  // Runs the message loop until the window is destroyed.
  int Run();

  void FormChanged() override;
  void CloseRequested() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  // One control of the window: where it goes, what it shows, how it looks.
  struct ControlSpec {
    HWND MainWindow::*member;
    int id;
    const wchar_t* windowClass;
    layout::Part part;  // its place in the layout
    const char* text;   // a fixed text
    DWORD style;
    DWORD exStyle;
    bool linkFont;  // blue and underlined
  };
  static const ControlSpec kControls[];

  bool CreateControls();
  // Lays the window out for `dpi_`: the fonts made for it, the window sized
  // (into `frame` when given, else centred on the screen), the controls
  // placed, the scaled picture dropped.
  void LayOut(const RECT* frame);
  void SetTabOrder();
  void OnCommand(int id, int code, HWND control);
  void Paint();
  void Refresh();
  void FocusFirstEnabled();
  void ShowProgress();
  void OnActivate(bool active);
  void HoldOffSessionEnd(bool hold);

  HINSTANCE instance_;
  TFormMain& form_;
  HWND owner_;
  HWND hwnd_ = nullptr;
  HWND lblTargetDir_ = nullptr;
  HWND label1_ = nullptr;
  HWND lblChangePath_ = nullptr;
  HWND label3_ = nullptr;
  HWND edtTargetDir_ = nullptr;
  HWND btnStart_ = nullptr;
  HWND btnCancel_ = nullptr;
  HWND progressBar_ = nullptr;
  // The DPI of the window's monitor, and the layout for it.
  int dpi_ = layout::kBaseDpi;
  layout::WindowLayout layout_{};
  unique_hfont font_;
  unique_hfont linkFont_;
  // Away from 96 DPI: the background picture scaled for the DPI, cut to the
  // client area; made at the first paint after the picture or the DPI
  // changed.
  unique_hbitmap scaledBackground_;
  // Set while the view writes the field, so that the change notification it
  // causes is not taken for the user's typing.
  bool settingText_ = false;
  bool holdingSessionEnd_ = false;
  const Bitmap* shownBackground_ = nullptr;
  // The control that had the focus when the window was last deactivated; it
  // gets it back when the window is activated again.
  HWND lastFocus_ = nullptr;
};

}  // namespace brisko
