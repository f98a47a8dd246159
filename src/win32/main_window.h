// The main window: the Windows view of the TFormMain model. It shows the
// model's state in a fixed 600 x 300 window with the background picture,
// three labels, the folder field and two buttons, and forwards the user's
// input to the model.
#pragma once

#include <windows.h>

#include "core/form_main.h"
#include "handles.h"

namespace brisko {

class MainWindow final : public FormObserver {
 public:
  MainWindow(HINSTANCE instance, TFormMain& form);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow() override;

  // Creates the window and its controls hidden, runs the form's start-up
  // (which may show message boxes before the window appears), then shows the
  // window centred on the screen.
  void Create();
  HWND handle() const { return hwnd_; }

  // Runs the message loop until the window is destroyed.
  int Run();

  void FormChanged() override;
  void CloseRequested() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  HWND CreateLabel(int id, const char* text, int left, int top, DWORD extraStyle, HFONT font);
  void SetTabOrder();
  void OnCommand(int id, int code, HWND control);
  void Paint();
  void Refresh();
  void FocusFirstEnabled();

  HINSTANCE instance_;
  TFormMain& form_;
  HWND hwnd_ = nullptr;
  HWND lblTargetDir_ = nullptr;
  HWND label1_ = nullptr;
  HWND lblChangePath_ = nullptr;
  HWND label3_ = nullptr;
  HWND edtTargetDir_ = nullptr;
  HWND btnStart_ = nullptr;
  HWND btnCancel_ = nullptr;
  unique_hfont font_;
  unique_hfont linkFont_;
  // Set while the view writes the field, so that the change notification it
  // causes is not taken for the user's typing.
  bool settingText_ = false;
  const Bitmap* shownBackground_ = nullptr;
};

}  // namespace brisko
