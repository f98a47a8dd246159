// Names by which the main window and its controls can be found, shared with
// the end-to-end tests that drive the installer from another process.
#pragma once

namespace brisko::ids {

// Window class of the main window.
inline constexpr wchar_t kMainWindowClass[] = L"TFormMain";
// Window class of the application window, which carries the task-bar button
// and owns the main window.
inline constexpr wchar_t kApplicationWindowClass[] = L"TBriskoApplication";

// Control identifiers (GetDlgCtrlID). IDOK and IDCANCEL (1 and 2) are left
// free: the dialog manager sends them for Enter and Escape.
inline constexpr int kLblTargetDir = 100;
inline constexpr int kLabel1 = 101;
inline constexpr int kLblChangePath = 102;
inline constexpr int kLabel3 = 103;
inline constexpr int kEdtTargetDir = 104;
inline constexpr int kBtnStart = 105;
inline constexpr int kBtnCancel = 106;
// The progress bar, there only while the payload is written and until the
// outcome's message has been dismissed.
inline constexpr int kProgressBar = 107;

}  // namespace brisko::ids
