#include "application_window.h"

#include "core/text/fixed_texts.h"
#include "main_window_ids.h"
#include "wide_text.h"
#include "window_binding.h"
#include "window_class.h"

namespace brisko {
namespace {

// Posted to hand the activation on to the main window once the activation
// that caused it is complete; activating another window from inside
// WM_ACTIVATE would nest one activation in the other.
constexpr UINT kActivateMainWindow = WM_APP + 1;

// A popup is not raised to the minimum size of a captioned window, so the
// window keeps its zero size; the caption and the minimise box give it the
// task-bar button's system menu.
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS;

}  // namespace

ApplicationWindow::ApplicationWindow(HINSTANCE instance) : instance_(instance) {}

ApplicationWindow::~ApplicationWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

bool ApplicationWindow::Create(RaisedError& error) {
  if (!RegisterWindowClass(instance_, ids::kApplicationWindowClass, WindowProc, nullptr, error)) return false;

  // Zero size in the middle of the screen: nothing of it is seen but its
  // task-bar button.
  hwnd_ = CreateWindowExW(0, ids::kApplicationWindowClass, Widen(texts::kAppTitle).c_str(), kWindowStyle,
                          GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                          nullptr, instance_, this);
  return hwnd_ != nullptr || RaiseSystemError("CreateWindowEx", error);
}

LRESULT ApplicationWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      // The main window is owned, so it goes and comes with the application:
      // minimising hides it, restoring shows it and gives it the focus.
      if (wParam == SIZE_MINIMIZED) {
        if (IsWindow(main_) && IsWindowVisible(main_)) {
          ShowWindow(main_, SW_HIDE);
          mainHidden_ = true;
        }
      } else if (mainHidden_) {
        mainHidden_ = false;
        if (IsWindow(main_)) ShowWindow(main_, SW_SHOWNA);
        PostMessageW(hwnd_, kActivateMainWindow, 0, 0);
      }
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !IsIconic(hwnd_)) PostMessageW(hwnd_, kActivateMainWindow, 0, 0);
      break;
    case kActivateMainWindow: {
      // Only while the application window itself (or nothing) is active: by
      // now the user may have moved on to a message box or another window.
      const HWND active = GetActiveWindow();
      if (!IsIconic(hwnd_) && IsWindow(main_) && IsWindowVisible(main_) && IsWindowEnabled(main_) &&
          (active == hwnd_ || active == nullptr))
        SetActiveWindow(main_);
      return 0;
    }
    case WM_CLOSE:
      // Closing the task-bar entry closes the main window, which ends the
      // program. While a message box has the main window disabled the close
      // waits for the box, as the main window's own close box does.
      if (IsWindow(main_)) {
        if (IsWindowEnabled(main_)) PostMessageW(main_, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK ApplicationWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = BindWindowObject(hwnd, message, lParam, &ApplicationWindow::hwnd_);
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    self->main_ = nullptr;
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return self->Handle(message, wParam, lParam);
}

}  // namespace brisko
