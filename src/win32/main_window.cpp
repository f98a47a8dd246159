#include "main_window.h"

#include <commctrl.h>

#include <algorithm>

#include <string>
#include <utility>

#include "core/text/fixed_texts.h"
#include "main_window_ids.h"
#include "wide_text.h"
#include "window_binding.h"
#include "window_class.h"

namespace brisko {
namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS;
// Delphi's clBlue.
constexpr COLORREF kLinkColour = RGB(0, 0, 255);

std::wstring WindowTextW(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

// The field's text in code page 932. A character that 932 cannot hold reads
// as '?', as it would on a Japanese system; no folder name holds '?', so the
// folder check fails on it.
Text FieldText(HWND field) { return NarrowReplacing(WindowTextW(field)); }

// `height` pixels of character height (Delphi's Height -12 at 96 DPI): made
// at the window's DPI, so that text is drawn at its size, not stretched.
unique_hfont MakeFont(int height, bool underline) {
  return unique_hfont(CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, underline, FALSE, SHIFTJIS_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                  Widen(texts::kFontName).c_str()));
}

// A function of user32 that older systems lack, or null: the per-monitor DPI
// calls came with Windows 10 (1607), and an import of one would keep the
// installer from starting on anything older.
FARPROC User32Function(const char* name) { return GetProcAddress(GetModuleHandleW(L"user32.dll"), name); }

// The DPI the window is shown at: its monitor's where the system says so per
// window; before that, the system's, which a DPI-aware program is shown at.
int WindowDpi(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  const auto forWindow =
      reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(User32Function("GetDpiForWindow")));
  if (forWindow != nullptr) {
    if (const UINT dpi = forWindow(hwnd)) return static_cast<int>(dpi);
  }
  const window_dc screen(nullptr);
  return screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : layout::kBaseDpi;
}

// The window's frame around `client`: caption and borders as the system
// draws them at `dpi`.
void AdjustFrame(RECT& client, int dpi) {
  using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  const auto forDpi =
      reinterpret_cast<AdjustForDpiFn>(reinterpret_cast<void*>(User32Function("AdjustWindowRectExForDpi")));
  if (forDpi == nullptr || !forDpi(&client, kWindowStyle, FALSE, 0, static_cast<UINT>(dpi)))
    AdjustWindowRectEx(&client, kWindowStyle, FALSE, 0);
}

// Registers the common controls' progress bar class, once. The installer
// does not import comctl32: it is no KnownDLL, so the loader would look for
// it beside the installer first. Loaded here, after the DLL search has been
// restricted, it comes from the system, in the version that the manifest
// asks for.
bool RegisterProgressBarClass() {
  static bool registered = false;
  if (registered) return true;
  const HMODULE comctl = LoadLibraryW(L"comctl32.dll");
  if (comctl == nullptr) return false;
  using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto init =
      reinterpret_cast<InitCommonControlsExFn>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
  const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  registered = init != nullptr && init(&controls);
  return registered;
}

// The bar's positions: its range is fixed, the bytes are scaled to it.
constexpr int kProgressSteps = 10000;

SIZE TextSize(HFONT font, const std::wstring& text) {
  SIZE size{};
  const window_dc screen(nullptr);
  if (screen) {
    const HGDIOBJ old = SelectObject(screen.get(), font);
    GetTextExtentPoint32W(screen.get(), text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(screen.get(), old);
  }
  return size;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, TFormMain& form, HWND owner)
    : instance_(instance), form_(form), owner_(owner) {}

MainWindow::~MainWindow() {
  form_.SetObserver(nullptr);
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

bool MainWindow::Create(RaisedError& error) {
  if (!RegisterWindowClass(instance_, ids::kMainWindowClass, WindowProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                           error))
    return false;

  // Made without a size on the primary monitor, whose DPI it then has; laid
  // out for that DPI, with its controls, it is centred on that monitor.
  hwnd_ = CreateWindowExW(0, ids::kMainWindowClass, Widen(form_.caption()).c_str(), kWindowStyle, 0, 0, 0, 0, owner_,
                          nullptr, instance_, this);
  if (hwnd_ == nullptr || !CreateControls()) return RaiseSystemError("CreateWindowEx", error);
  dpi_ = WindowDpi(hwnd_);
  LayOut(nullptr);
  Refresh();
  return true;
}

void MainWindow::StartUp() {
  form_.SetObserver(this);
  form_.Create();
  Refresh();

  // The application window has no size; showing it shows its task-bar
  // button. The main window then takes the activation.
  if (owner_ != nullptr) ShowWindow(owner_, SW_SHOWNA);
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  UpdateWindow(hwnd_);
  FocusFirstEnabled();
}

namespace {

constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;

}  // namespace

// The controls in creation order: later ones lie above earlier ones. Where
// they go is the layout's (core/window_layout.h); labels take the size of
// their text in their font. The buttons' captions come from their actions.
const MainWindow::ControlSpec MainWindow::kControls[] = {
    {&MainWindow::lblTargetDir_, ids::kLblTargetDir, L"STATIC", layout::kTargetDirLabel, texts::kLabelTargetDir,
     kLabelStyle, 0, false},
    {&MainWindow::label1_, ids::kLabel1, L"STATIC", layout::kHintLabel, texts::kLabelHint, kLabelStyle, 0, false},
    {&MainWindow::lblChangePath_, ids::kLblChangePath, L"STATIC", layout::kChangePathLink, texts::kLabelChangePath,
     kLabelStyle | SS_NOTIFY, 0, true},
    {&MainWindow::label3_, ids::kLabel3, L"STATIC", layout::kHintEndLabel, texts::kLabelHintEnd, kLabelStyle, 0, false},
    {&MainWindow::edtTargetDir_, ids::kEdtTargetDir, L"EDIT", layout::kField, "",
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, false},
    {&MainWindow::btnStart_, ids::kBtnStart, L"BUTTON", layout::kStartButton, "", kButtonStyle, 0, false},
    {&MainWindow::btnCancel_, ids::kBtnCancel, L"BUTTON", layout::kCancelButton, "", kButtonStyle, 0, false},
};

// Made without a place or a font: LayOut gives them theirs.
bool MainWindow::CreateControls() {
  for (const ControlSpec& row : kControls) {
    HWND control = CreateWindowExW(row.exStyle, row.windowClass, Widen(row.text).c_str(), row.style, 0, 0, 0, 0, hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), instance_, nullptr);
    if (control == nullptr) return false;
    this->*row.member = control;
  }
  // No length limit: 0 asks for the largest the control supports.
  SendMessageW(edtTargetDir_, EM_SETLIMITTEXT, 0, 0);
  SetTabOrder();
  return true;
}

void MainWindow::LayOut(const RECT* frame) {
  layout_ = layout::LayoutForDpi(dpi_);
  // Dropped first: moving the window may paint it at once.
  scaledBackground_.reset();
  unique_hfont font = MakeFont(layout_.textHeight, false);
  unique_hfont linkFont = MakeFont(layout_.textHeight, true);
  RECT placed{0, 0, layout_.clientWidth, layout_.clientHeight};
  if (frame != nullptr) {
    placed = *frame;
  } else {
    AdjustFrame(placed, dpi_);
    OffsetRect(&placed, (GetSystemMetrics(SM_CXSCREEN) - (placed.right - placed.left)) / 2 - placed.left,
               (GetSystemMetrics(SM_CYSCREEN) - (placed.bottom - placed.top)) / 2 - placed.top);
  }
  MoveWindow(hwnd_, placed.left, placed.top, placed.right - placed.left, placed.bottom - placed.top, TRUE);
  for (const ControlSpec& row : kControls) {
    HWND control = this->*row.member;
    const HFONT rowFont = row.linkFont ? linkFont.get() : font.get();
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(rowFont), TRUE);
    const layout::Box& box = layout_.parts[row.part];
    const SIZE size = box.width > 0 ? SIZE{box.width, box.height} : TextSize(rowFont, WindowTextW(control));
    MoveWindow(control, box.left, box.top, size.cx, size.cy, TRUE);
  }
  if (progressBar_ != nullptr) {
    const layout::Box& bar = layout_.parts[layout::kProgressBar];
    MoveWindow(progressBar_, bar.left, bar.top, bar.width, bar.height, TRUE);
  }
  // The controls hold the new fonts now; the old ones can go.
  font_ = std::move(font);
  linkFont_ = std::move(linkFont);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::SetTabOrder() {
  // The dialog manager tabs through the children in Z order: Start, Cancel,
  // then the field.
  const UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  SetWindowPos(btnStart_, HWND_TOP, 0, 0, 0, 0, flags);
  SetWindowPos(btnCancel_, btnStart_, 0, 0, 0, 0, flags);
  SetWindowPos(edtTargetDir_, btnCancel_, 0, 0, 0, 0, flags);
}

int MainWindow::Run() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // The dialog manager gives Tab, the arrow keys and the buttons'
    // mnemonics (Alt+S, Alt+C) their usual meaning.
    if (hwnd_ != nullptr && IsDialogMessageW(hwnd_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

void MainWindow::FormChanged() { Refresh(); }

void MainWindow::CloseRequested() {
  if (hwnd_ != nullptr) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void MainWindow::Refresh() {
  if (hwnd_ == nullptr) return;
  const std::wstring caption = Widen(form_.caption());
  if (WindowTextW(hwnd_) != caption) SetWindowTextW(hwnd_, caption.c_str());
  // Compared in code page 932: a character the user typed that 932 cannot
  // hold stays in the field, though the form holds '?' for it.
  if (FieldText(edtTargetDir_) != form_.targetDir()) {
    settingText_ = true;
    SetWindowTextW(edtTargetDir_, Widen(form_.targetDir()).c_str());
    settingText_ = false;
  }
  const auto showAction = [this](HWND button, Action action) {
    const std::wstring caption = Widen(form_.actionCaption(action));
    if (WindowTextW(button) != caption) SetWindowTextW(button, caption.c_str());
    const bool enabled = form_.enabled(action);
    if ((IsWindowEnabled(button) != FALSE) != enabled) EnableWindow(button, enabled);
  };
  showAction(btnStart_, Action::Start);
  showAction(btnCancel_, Action::Cancel);
  ShowProgress();
  // While the payload is written the window takes no input but Cancel, while
  // a staged patch can still be stopped; the outcome's message box then
  // disables it on its own, as a modal box does.
  const bool takesInput = !form_.writing() || form_.enabled(Action::Cancel);
  if ((IsWindowEnabled(hwnd_) != FALSE) != takesInput) EnableWindow(hwnd_, takesInput);
  const bool fieldTakesInput = !form_.busy();
  if ((IsWindowEnabled(edtTargetDir_) != FALSE) != fieldTakesInput) EnableWindow(edtTargetDir_, fieldTakesInput);
  HoldOffSessionEnd(form_.committing());
  if (form_.background() != shownBackground_) {
    shownBackground_ = form_.background();
    scaledBackground_.reset();
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
  // A button that was disabled while it had the focus leaves the keyboard
  // with nowhere to go.
  HWND focus = GetFocus();
  if (IsWindowVisible(hwnd_) && (focus == nullptr || (IsChild(hwnd_, focus) && !IsWindowEnabled(focus))))
    FocusFirstEnabled();
}

// The bar lies over the line of hints, whose link must not be clicked
// meanwhile. It is made when the writing starts, not with the window, so that
// start-up does not pay for it.
void MainWindow::ShowProgress() {
  if (!form_.busy()) {
    if (progressBar_ != nullptr) DestroyWindow(progressBar_);
    progressBar_ = nullptr;
    return;
  }
  if (progressBar_ == nullptr) {
    if (!RegisterProgressBarClass()) return;
    const layout::Box& bar = layout_.parts[layout::kProgressBar];
    progressBar_ =
        CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, bar.left, bar.top, bar.width, bar.height, hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::kProgressBar)), instance_, nullptr);
    if (progressBar_ == nullptr) return;
    SetWindowPos(progressBar_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(progressBar_, PBM_SETRANGE32, 0, kProgressSteps);
  }
  const std::uint64_t total = form_.bytesToWrite();
  const std::uint64_t done = std::min(form_.bytesWritten(), total);
  const int position = total == 0 ? kProgressSteps : static_cast<int>(done * kProgressSteps / total);
  if (SendMessageW(progressBar_, PBM_GETPOS, 0, 0) != position)
    SendMessageW(progressBar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

// While the files are put in place, Windows is asked to hold a logoff or a
// shutdown, and shows why.
void MainWindow::HoldOffSessionEnd(bool hold) {
  if (hold == holdingSessionEnd_) return;
  holdingSessionEnd_ = hold;
  if (hold)
    ShutdownBlockReasonCreate(hwnd_, Widen(texts::kShutdownReason).c_str());
  else
    ShutdownBlockReasonDestroy(hwnd_);
}

void MainWindow::FocusFirstEnabled() {
  for (HWND control : {btnStart_, btnCancel_, edtTargetDir_}) {
    if (IsWindowEnabled(control)) {
      SetFocus(control);
      return;
    }
  }
}

void MainWindow::OnActivate(bool active) {
  if (!active) {
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(hwnd_, focus)) lastFocus_ = focus;
    return;
  }
  // As a dialog box does: the control that had the focus gets it back, or
  // the first one that can take it.
  if (lastFocus_ != nullptr && IsWindow(lastFocus_) && IsWindowEnabled(lastFocus_))
    SetFocus(lastFocus_);
  else
    FocusFirstEnabled();
}

namespace {

// Draws `picture` from the origin of `dc`, stretched to `width` x `height`
// in the device context's stretching mode. The device context clips what
// lies beyond its surface or the client area.
void DrawPicture(HDC dc, const Bitmap& picture, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = picture.width;
  info.bmiHeader.biHeight = -picture.height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  StretchDIBits(dc, 0, 0, width, height, 0, 0, picture.width, picture.height, picture.pixels.data(), &info,
                DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace

void MainWindow::Paint() {
  const paint_scope paint(hwnd_);
  const Bitmap* picture = form_.background();
  if (picture == nullptr || picture->empty()) return;
  // Scaled by DPI / 96, as the layout is.
  const int width = MulDiv(picture->width, dpi_, layout::kBaseDpi);
  const int height = MulDiv(picture->height, dpi_, layout::kBaseDpi);
  if (dpi_ == layout::kBaseDpi) {
    DrawPicture(paint.get(), *picture, width, height);
    return;
  }
  // Scaled, the picture is smoothed (halftone), which is too slow for every
  // paint: it is drawn once into a bitmap of the client area's size at most,
  // and copied from there.
  const int shownWidth = std::min(width, layout_.clientWidth);
  const int shownHeight = std::min(height, layout_.clientHeight);
  const HDC memory = CreateCompatibleDC(paint.get());
  if (memory == nullptr) return;
  const bool fresh = !scaledBackground_;
  if (fresh) scaledBackground_.reset(CreateCompatibleBitmap(paint.get(), shownWidth, shownHeight));
  if (scaledBackground_) {
    const HGDIOBJ old = SelectObject(memory, scaledBackground_.get());
    if (fresh) {
      SetStretchBltMode(memory, HALFTONE);
      SetBrushOrgEx(memory, 0, 0, nullptr);  // as halftone stretching asks
      DrawPicture(memory, *picture, width, height);
    }
    BitBlt(paint.get(), 0, 0, shownWidth, shownHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
  }
  DeleteDC(memory);
}

void MainWindow::OnCommand(int id, int code, HWND control) {
  switch (id) {
    case ids::kBtnStart:
      if (code == BN_CLICKED) form_.Execute(Action::Start);
      break;
    case ids::kBtnCancel:
      if (code == BN_CLICKED) form_.Execute(Action::Cancel);
      break;
    case ids::kLblChangePath:
      if (code == STN_CLICKED) form_.lblChangePathClick();
      break;
    case ids::kEdtTargetDir:
      if (code == EN_CHANGE && !settingText_) form_.SetTargetDirText(FieldText(edtTargetDir_));
      break;
    case IDOK: {
      // Enter: the dialog manager asks for the default button, and there is
      // none. A focused button is pressed; in the field nothing happens.
      HWND focus = GetFocus();
      if ((focus == btnStart_ || focus == btnCancel_) && IsWindowEnabled(focus))
        OnCommand(GetDlgCtrlID(focus), BN_CLICKED, focus);
      break;
    }
    default:  // IDCANCEL (Escape) presses nothing.
      break;
  }
  (void)control;
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_DPICHANGED:
      // Moved to a monitor of another DPI, or the scale changed: the system
      // suggests the frame that keeps the window where it was.
      dpi_ = LOWORD(wParam);
      LayOut(reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      HWND control = reinterpret_cast<HWND>(lParam);
      if (control == edtTargetDir_) break;
      // Transparent labels: the picture painted beneath shows through.
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, control == lblChangePath_ ? kLinkColour : GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    case WM_CTLCOLOREDIT: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, GetSysColor(COLOR_INFOBK));
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_INFOBK));
    }
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) == lblChangePath_) {
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      // HIWORD: activated while minimised, when no control can have the
      // keyboard.
      if (HIWORD(wParam) != 0) break;
      OnActivate(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_SYSCOMMAND:
      // The minimise box and the system menu minimise the application: the
      // owner goes to the task bar and takes this window with it.
      if ((wParam & 0xFFF0) == SC_MINIMIZE && owner_ != nullptr) {
        ShowWindow(owner_, SW_MINIMIZE);
        return 0;
      }
      break;
    case WM_CLOSE:
      // Not while the payload is written, nor while its outcome is shown; a
      // staged patch being prepared stops, and the window closes after its
      // outcome.
      if (!form_.RequestClose()) return 0;
      break;
    case WM_QUERYENDSESSION: HoldOffSessionEnd(form_.committing()); return form_.SessionEnding() ? TRUE : FALSE;
    case WM_ENDSESSION:
      // The process ends once this returns: a patch being prepared removes
      // what it has staged first.
      if (wParam != FALSE) form_.SessionEnds();
      return 0;
    case WM_DESTROY:
      // Closing the main window ends the program.
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = BindWindowObject(hwnd, message, lParam, &MainWindow::hwnd_);
  if (self == nullptr || message == WM_NCDESTROY) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

}  // namespace brisko
