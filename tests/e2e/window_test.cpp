// The main window as the user sees it: layout, texts, painting, keys and
// closing; and the executable's own resources.
#include <algorithm>
#include <iterator>
#include <map>

#include "driver.h"
#include "expected_texts.h"
#include "win32/main_window_ids.h"

namespace brisko::e2e {
namespace {

class Window : public InstallerTest {
 protected:
  // A complete start-up: Start enabled, field filled.
  std::unique_ptr<Installer> LaunchComplete(std::optional<std::string> background = std::nullopt) {
    ScriptParts script;
    script.linkPath = {AddTargetShortcut()};
    script.outFiles = {"a.dat"};
    Package package = StandardPackage(script, {{0, "A"}});
    if (background) package.background = background;
    std::vector<Dialog> messages;
    auto installer = Launch(MakeInstaller(package), &messages);
    EXPECT_TRUE(messages.empty());
    return installer;
  }
};

// A system colour as the captured pixels give it, 0x00RRGGBB.
std::uint32_t SystemColour(int index) {
  const COLORREF c = GetSysColor(index);
  return static_cast<std::uint32_t>(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c);
}

// The window at the DPIs it is shown at here: its client area and the
// character height of its text. Each is a column of the tables below.
struct DpiWindow {
  int dpi;
  SIZE client;
  int textHeight;
};
const DpiWindow kDpiWindows[] = {{96, {600, 300}, 12}, {144, {900, 450}, 18}};

// Where the controls lie in the client area at 96 DPI and at 144 (150 %:
// every length times 1.5, a half rounded up): the field and the buttons
// exactly; the labels at their top-left corner, sized to their texts in the
// window's font.
struct ControlRect {
  int id;
  RECT rect[2];
};
const ControlRect kControlRects[] = {
    {ids::kEdtTargetDir, {{8, 256, 481, 276}, {12, 384, 722, 414}}},
    {ids::kBtnStart, {{488, 240, 595, 265}, {732, 360, 893, 398}}},
    {ids::kBtnCancel, {{488, 272, 595, 297}, {732, 408, 893, 446}}},
};
struct LabelCorner {
  int id;
  POINT at[2];
};
const LabelCorner kLabelCorners[] = {
    {ids::kLblTargetDir, {{8, 240}, {12, 360}}},
    {ids::kLabel1, {{8, 280}, {12, 420}}},
    {ids::kLblChangePath, {{304, 280}, {456, 420}}},
    {ids::kLabel3, {{328, 280}, {492, 420}}},
};

// The progress bar, over the line of hints.
const RECT kProgressBarRects[] = {{8, 280, 481, 294}, {12, 420, 722, 441}};

// The column of `dpi`.
int Column(int dpi) {
  for (int column = 0; column < static_cast<int>(std::size(kDpiWindows)); ++column)
    if (kDpiWindows[column].dpi == dpi) return column;
  ADD_FAILURE() << "no column for " << dpi << " DPI";
  return 0;
}

// The size of `text` in the window's font of `height` pixels, measured here.
SIZE TextExtent(const std::wstring& text, int height) {
  HFONT font = CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, shown::kFontName);
  HDC screen = GetDC(nullptr);
  const HGDIOBJ old = SelectObject(screen, font);
  SIZE size{};
  GetTextExtentPoint32W(screen, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(screen, old);
  ReleaseDC(nullptr, screen);
  DeleteObject(font);
  return size;
}

void ExpectLaidOut(const Installer& installer, int dpi) {
  const int column = Column(dpi);
  const DpiWindow& window = kDpiWindows[column];
  RECT client{};
  GetClientRect(installer.window(), &client);
  EXPECT_EQ(client.right - client.left, window.client.cx);
  EXPECT_EQ(client.bottom - client.top, window.client.cy);
  for (const auto& c : kControlRects) {
    const RECT r = RectInParent(installer.Control(c.id));
    EXPECT_TRUE(EqualRect(&r, &c.rect[column]))
        << c.id << ": " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
  }
  for (const auto& l : kLabelCorners) {
    HWND label = installer.Control(l.id);
    const RECT r = RectInParent(label);
    const SIZE text = TextExtent(WindowTextW(label), window.textHeight);
    EXPECT_EQ(r.left, l.at[column].x) << l.id;
    EXPECT_EQ(r.top, l.at[column].y) << l.id;
    EXPECT_EQ(r.right - r.left, text.cx) << l.id;
    EXPECT_EQ(r.bottom - r.top, text.cy) << l.id;
  }
}

// Styles of the window (id 0) and its controls: (style & mask) == value, or
// not.
struct StyleCase {
  const char* what;
  int id;
  LONG mask, value;
  bool holds;
};
const StyleCase kStyles[] = {
    {"a caption", 0, WS_CAPTION, WS_CAPTION, true},
    {"a system menu", 0, WS_SYSMENU, WS_SYSMENU, true},
    {"a minimise box", 0, WS_MINIMIZEBOX, WS_MINIMIZEBOX, true},
    {"a maximise box", 0, WS_MAXIMIZEBOX, WS_MAXIMIZEBOX, false},
    {"a sizing frame (the size is fixed)", 0, WS_THICKFRAME, WS_THICKFRAME, false},
    {"the link takes clicks", ids::kLblChangePath, SS_NOTIFY, SS_NOTIFY, true},
    {"the hint takes clicks", ids::kLabel1, SS_NOTIFY, SS_NOTIFY, false},
    {"Start is the default button", ids::kBtnStart, 0xF, BS_DEFPUSHBUTTON, false},
    {"Cancel is the default button", ids::kBtnCancel, 0xF, BS_DEFPUSHBUTTON, false},
};

TEST_P(Window, LayoutStyleAndTabOrder) {
  auto installer = LaunchComplete();
  HWND window = installer->window();
  RECT frame{};
  GetWindowRect(window, &frame);
  EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);

  ExpectLaidOut(*installer, 96);
  for (const auto& c : kStyles) {
    const LONG style = GetWindowLongW(c.id == 0 ? window : installer->Control(c.id), GWL_STYLE);
    EXPECT_EQ((style & c.mask) == c.value, c.holds) << c.what;
  }

  // Tab order: Start, Cancel, the field, and round again.
  HWND start = installer->Control(ids::kBtnStart);
  HWND cancel = installer->Control(ids::kBtnCancel);
  HWND field = installer->Control(ids::kEdtTargetDir);
  EXPECT_EQ(GetNextDlgTabItem(window, start, FALSE), cancel);
  EXPECT_EQ(GetNextDlgTabItem(window, cancel, FALSE), field);
  EXPECT_EQ(GetNextDlgTabItem(window, field, FALSE), start);
  // The field takes any length.
  DWORD_PTR limit = 0;
  SendMessageTimeoutW(field, EM_GETLIMITTEXT, 0, 0, SMTO_ABORTIFHUNG, 5000, &limit);
  EXPECT_GE(limit, 0x7FFFFFFEu);
}

TEST_P(Window, FieldAndLinkColours) {
  auto installer = LaunchComplete();
  HWND window = installer->window();
  installer->SetField("");
  const RECT link = RectInParent(installer->Control(ids::kLblChangePath));
  const struct {
    const char* what;
    RECT area;  // where a pixel of the colour is looked for
    std::uint32_t colour;
  } cases[] = {
      {"the empty field on the tooltip background", {300, 266, 301, 267}, SystemColour(COLOR_INFOBK)},
      {"the link drawn in blue", link, 0x0000FFu},
  };
  for (const auto& c : cases) {
    std::vector<std::uint32_t> shown;
    const auto painted = [&] {
      shown = CaptureClient(window, 600, 300);
      for (int y = c.area.top; y < c.area.bottom; ++y)
        for (int x = c.area.left; x < c.area.right; ++x)
          if (shown[y * 600 + x] == c.colour) return true;
      return false;
    };
    EXPECT_TRUE(WaitUntil(painted, 5s)) << c.what << ": " << std::hex << shown[c.area.top * 600 + c.area.left];
  }
}

TEST_P(Window, PaintsTheBackgroundAtItsOwnSize) {
  const struct {
    const char* name;
    int width;
    int height;
  } pictures[] = {{"exact", 600, 300}, {"smaller", 200, 100}, {"larger", 700, 400}};
  const std::uint32_t buttonFace = SystemColour(COLOR_BTNFACE);
  for (const auto& picture : pictures) {
    SCOPED_TRACE(picture.name);
    auto installer = LaunchComplete(BitmapFile24(picture.width, picture.height, PatternColour));
    HWND window = installer->window();
    // Where the controls lie, the picture is not to be seen.
    std::vector<RECT> covered;
    for (int id = ids::kLblTargetDir; id <= ids::kBtnCancel; ++id) {
      RECT r = RectInParent(installer->Control(id));
      InflateRect(&r, 1, 1);
      covered.push_back(r);
    }
    const auto compare = [&]() -> std::string {
      const std::vector<std::uint32_t> shown = CaptureClient(window, 600, 300);
      int wrong = 0;
      std::string first;
      for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 600; ++x) {
          const POINT p{x, y};
          if (std::any_of(covered.begin(), covered.end(), [&](const RECT& r) { return PtInRect(&r, p); })) continue;
          const std::uint32_t expected = x < picture.width && y < picture.height ? PatternColour(x, y) : buttonFace;
          if (shown[static_cast<std::size_t>(y) * 600 + x] != expected && wrong++ == 0)
            first = "first at " + std::to_string(x) + "," + std::to_string(y);
        }
      }
      return wrong == 0 ? std::string() : std::to_string(wrong) + " pixels differ, " + first;
    };
    std::string difference;
    EXPECT_TRUE(WaitUntil([&] { return (difference = compare()).empty(); }, 5s)) << difference;
    // The minimise box minimises the application window, and the main
    // window hides with it; restoring the task-bar entry brings it back,
    // painted again, with the focus where it was.
    HWND application = installer->ApplicationWindow();
    ASSERT_NE(application, nullptr);
    const HWND focus = installer->FocusWindow();
    EXPECT_TRUE(IsChild(window, focus)) << "a control has the focus";
    // Minimised once the activation has left the hidden main window too:
    // under Wine that may come a moment after the window hides, and a
    // restore before it would have its activation taken away again.
    PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitUntil(
        [&] { return IsIconic(application) && !IsWindowVisible(window) && installer->ActiveWindow() != window; }, 5s))
        << "iconic " << IsIconic(application) << ", main window visible " << IsWindowVisible(window) << ", active "
        << installer->ActiveWindow();
    EXPECT_FALSE(IsIconic(window)) << "the main window is hidden, not minimised itself";
    ShowWindowAsync(application, SW_RESTORE);
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(application) && IsWindowVisible(window); }, 5s));
    EXPECT_TRUE(WaitUntil([&] { return installer->ActiveWindow() == window; }, 5s))
        << "the activation passes to the main window; active " << installer->ActiveWindow() << ", foreground "
        << GetForegroundWindow();
    // The focus comes back when the main window handles its activation,
    // which may be a moment after the activation shows.
    EXPECT_TRUE(WaitUntil([&] { return installer->FocusWindow() == focus; }, 5s))
        << installer->FocusWindow() << " has the focus, not " << focus;
    EXPECT_TRUE(WaitUntil([&] { return (difference = compare()).empty(); }, 5s)) << "after restoring: " << difference;
  }
}

// The user's DPI under Wine: LogPixels, which every program reads as it
// starts. Set for the installers started while this lives; the test's
// prefix has none of its own.
class UserDpi {
 public:
  explicit UserDpi(int dpi) {
    const DWORD value = static_cast<DWORD>(dpi);
    EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels", REG_DWORD, &value, sizeof value),
              ERROR_SUCCESS);
  }
  UserDpi(const UserDpi&) = delete;
  UserDpi& operator=(const UserDpi&) = delete;
  ~UserDpi() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels"); }

 private:
  static constexpr wchar_t kDesktop[] = L"Control Panel\\Desktop";
};

// A picture of blocks of 15 x 15 pixels in the pattern's colours, smaller
// than the window. Scaled by 1.5, block edges fall inside pixels, where
// smoothing mixes the colours on either side; a pixel well inside a block
// keeps the block's colour however the picture is smoothed.
constexpr int kBlock = 15;
constexpr SIZE kBlockPicture{560, 280};
std::uint32_t BlockColour(int x, int y) { return PatternColour(x / kBlock, y / kBlock); }

// The client area against the block picture drawn from the origin at the
// DPI of `layout`, leaving out `covered`: a pixel whose centre lies 2 picture pixels or more
// inside a block must have the block's colour, one as far beyond the picture
// the button face. `mixed` counts the pixels of the picture in a colour of
// no block around them: the smoothed ones. Empty when all is as expected.
std::string ComparePicture(HWND window, const DpiWindow& layout, const std::vector<RECT>& covered, int& mixed) {
  const std::vector<std::uint32_t> shown = CaptureClient(window, layout.client.cx, layout.client.cy);
  const std::uint32_t buttonFace = SystemColour(COLOR_BTNFACE);
  const double scale = 96.0 / layout.dpi;
  // How far inside block `block` a centre lies, in picture pixels.
  const auto inside = [](double at, int block) { return std::min(at - block * kBlock, (block + 1) * kBlock - at); };
  int wrong = 0;
  std::string first;
  mixed = 0;
  for (int y = 0; y < layout.client.cy; ++y) {
    for (int x = 0; x < layout.client.cx; ++x) {
      const POINT p{x, y};
      if (std::any_of(covered.begin(), covered.end(), [&](const RECT& r) { return PtInRect(&r, p); })) continue;
      const std::uint32_t colour = shown[static_cast<std::size_t>(y) * layout.client.cx + x];
      const double px = (x + 0.5) * scale, py = (y + 0.5) * scale;
      const int bx = static_cast<int>(px) / kBlock, by = static_cast<int>(py) / kBlock;
      std::optional<std::uint32_t> expected;
      if (px >= kBlockPicture.cx + 2 || py >= kBlockPicture.cy + 2)
        expected = buttonFace;
      else if (px < kBlockPicture.cx && py < kBlockPicture.cy && inside(px, bx) >= 2 && inside(py, by) >= 2)
        expected = PatternColour(bx, by);
      if (expected && colour != *expected && wrong++ == 0)
        first = "first at " + std::to_string(x) + "," + std::to_string(y);
      if (px >= kBlockPicture.cx || py >= kBlockPicture.cy) continue;
      bool ofABlock = false;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) ofABlock = ofABlock || colour == PatternColour(bx + dx, by + dy);
      if (!ofABlock) ++mixed;
    }
  }
  return wrong == 0 ? std::string() : std::to_string(wrong) + " pixels differ, " + first;
}

// The rows of `area` of the client area in which `colour` shows.
int RowsShowing(HWND window, const DpiWindow& layout, const RECT& area, std::uint32_t colour) {
  const std::vector<std::uint32_t> shown = CaptureClient(window, layout.client.cx, layout.client.cy);
  int top = area.bottom, bottom = area.top;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x)
      if (shown[static_cast<std::size_t>(y) * layout.client.cx + x] == colour) {
        top = std::min(top, y);
        bottom = std::max(bottom, y + 1);
      }
  return std::max(bottom - top, 0);
}

// The height of a message box's text.
int MessageTextHeight(const Dialog& box) {
  HWND text = FindWindowExW(box.hwnd, nullptr, L"Static", nullptr);
  while (text != nullptr && WindowTextW(text) != box.text) text = FindWindowExW(box.hwnd, text, L"Static", nullptr);
  RECT r{};
  if (text != nullptr) GetWindowRect(text, &r);
  return r.bottom - r.top;
}

// The background drawn around the controls: at its own size at 96 DPI,
// scaled and smoothed at others.
void ExpectPictureDrawn(const Installer& installer, int dpi) {
  std::vector<RECT> covered;
  for (int id = ids::kLblTargetDir; id <= ids::kBtnCancel; ++id) {
    RECT r = RectInParent(installer.Control(id));
    InflateRect(&r, 1, 1);
    covered.push_back(r);
  }
  const DpiWindow& layout = kDpiWindows[Column(dpi)];
  std::string difference;
  int mixed = 0;
  EXPECT_TRUE(
      WaitUntil([&] { return (difference = ComparePicture(installer.window(), layout, covered, mixed)).empty(); }, 5s))
      << difference;
  if (dpi == 96)
    EXPECT_EQ(mixed, 0) << "drawn at its own size";
  else
    EXPECT_GT(mixed, 100) << "scaled and smoothed";
}

void ExpectProgressBarFor(const Installer& installer, int dpi) {
  const RECT bar = RectInParent(installer.Control(ids::kProgressBar));
  EXPECT_TRUE(EqualRect(&bar, &kProgressBarRects[Column(dpi)]))
      << "at " << dpi << " DPI: " << bar.left << "," << bar.top << "," << bar.right << "," << bar.bottom;
}

// Laid out for the DPI of its monitor: the one it starts on, or the one it
// is moved onto, as the system tells it with WM_DPICHANGED. Everything is
// scaled by DPI / 96: the client area, the controls, the progress bar, the
// text (drawn in a font of that size, not stretched) and the picture,
// smoothed. The message boxes, the system's own, follow the DPI too.
TEST_P(Window, FollowsTheMonitorsDpi) {
  const struct {
    const char* what;
    int startDpi;
    int movedToDpi;  // 0: not moved
  } cases[] = {
      {"started at 96 DPI", 96, 0},
      {"started at 144 DPI", 144, 0},
      {"moved from 96 DPI onto a monitor of 144 DPI and back", 96, 144},
  };
  std::map<int, int> linkHeights;
  std::map<int, int> messageHeights;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const UserDpi userDpi(c.startDpi);
    auto installer = LaunchComplete(BitmapFile24(kBlockPicture.cx, kBlockPicture.cy, BlockColour));
    HWND window = installer->window();
    // A move from one DPI to another, with the frame the system suggests:
    // grown or shrunk with the client area.
    const auto move = [&](int from, int to) {
      RECT frame{};
      GetWindowRect(window, &frame);
      frame.right += kDpiWindows[Column(to)].client.cx - kDpiWindows[Column(from)].client.cx;
      frame.bottom += kDpiWindows[Column(to)].client.cy - kDpiWindows[Column(from)].client.cy;
      return installer->SendDpiChanged(to, frame);
    };
    const int dpi = c.movedToDpi != 0 ? c.movedToDpi : c.startDpi;
    const DpiWindow& layout = kDpiWindows[Column(dpi)];
    if (c.movedToDpi != 0) {
      ASSERT_TRUE(move(c.startDpi, dpi));
    }
    ExpectLaidOut(*installer, dpi);
    ExpectPictureDrawn(*installer, dpi);

    const int linkHeight =
        RowsShowing(window, layout, RectInParent(installer->Control(ids::kLblChangePath)), 0x0000FFu);
    if (c.movedToDpi == 0)
      linkHeights[dpi] = linkHeight;
    else
      EXPECT_EQ(linkHeight, linkHeights[dpi]) << "the link drawn as when started at " << dpi << " DPI";

    // The progress bar stays until the outcome's message is answered.
    Dialog outcome = installer->StartAndWaitMessage();
    EXPECT_EQ(outcome.text, shown::kPatchSucceeded) << Utf8(outcome.text);
    ExpectProgressBarFor(*installer, dpi);
    if (c.movedToDpi == 0) {
      messageHeights[dpi] = MessageTextHeight(outcome);
    } else {
      // Moved back meanwhile: the bar goes with the rest.
      EXPECT_TRUE(move(dpi, c.startDpi));
      ExpectLaidOut(*installer, c.startDpi);
      ExpectProgressBarFor(*installer, c.startDpi);
    }
    installer->Answer(outcome);
  }
  // Text one and a half times as high, give or take the fonts' own rounding.
  EXPECT_NEAR(linkHeights[144], linkHeights[96] * 1.5, 2) << linkHeights[96] << " pixels at 96 DPI";
  EXPECT_NEAR(messageHeights[144], messageHeights[96] * 1.5, 3) << messageHeights[96] << " pixels at 96 DPI";
}

TEST_P(Window, TaskBarEntryIsTheApplicationWindow) {
  auto installer = LaunchComplete();
  HWND window = installer->window();
  HWND application = installer->ApplicationWindow();
  ASSERT_NE(application, nullptr) << "no top-level window captioned briskoPatch";
  // The application window: unowned, visible, no tool window, so the task bar
  // shows it; of no size, so nothing else of it shows.
  EXPECT_EQ(ClassName(application), ids::kApplicationWindowClass);
  EXPECT_EQ(GetParent(application), nullptr);
  EXPECT_EQ(GetWindow(application, GW_OWNER), nullptr);
  EXPECT_TRUE(IsWindowVisible(application));
  EXPECT_FALSE(GetWindowLongW(application, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  RECT frame{};
  GetWindowRect(application, &frame);
  EXPECT_TRUE(IsRectEmpty(&frame)) << frame.right - frame.left << "x" << frame.bottom - frame.top;
  // The main window: the script's caption, owned by the application window
  // and not asking for a task-bar button of its own.
  EXPECT_EQ(installer->CaptionW(), L"E2E patch");
  EXPECT_EQ(GetWindow(window, GW_OWNER), application);
  EXPECT_FALSE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_TRUE(WaitUntil([&] { return installer->ActiveWindow() == window; }, 5s)) << "the main window is active";
}

TEST_P(Window, ClosingTheTaskBarEntryEndsTheProgramWithExitCode0) {
  auto installer = LaunchComplete();
  HWND application = installer->ApplicationWindow();
  ASSERT_NE(application, nullptr);
  // Not while a message box is open: the window behind it stays.
  Dialog outcome = installer->StartAndWaitMessage();
  PostMessageW(application, WM_CLOSE, 0, 0);
  Sleep(400);
  EXPECT_TRUE(installer->Running());
  EXPECT_TRUE(IsWindowVisible(outcome.hwnd));
  installer->Answer(outcome);

  PostMessageW(application, WM_CLOSE, 0, 0);
  EXPECT_EQ(installer->WaitExit(), std::optional<DWORD>(0));
}

TEST_P(Window, EscapeAndEnterInTheFieldDoNothing) {
  auto installer = LaunchComplete();
  HWND field = installer->Control(ids::kEdtTargetDir);
  // A click puts the focus into the field, as the user's would.
  PostMessageW(field, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageW(field, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
    PostMessageW(field, WM_KEYDOWN, key, 1);
    PostMessageW(field, WM_KEYUP, key, 0xC0000001);
  }
  Sleep(400);  // time enough for a message box or for closing
  EXPECT_FALSE(installer->CurrentDialog().has_value());
  EXPECT_TRUE(installer->Running());
  EXPECT_TRUE(installer->StartEnabled());
  EXPECT_FALSE(IsIconic(installer->window()));
}

TEST_P(Window, CloseBoxEndsTheProgramWithExitCode0) {
  auto installer = LaunchComplete();
  PostMessageW(installer->window(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(installer->WaitExit(), std::optional<DWORD>(0));
}

TEST_P(Window, CancelEndsTheProgramWithExitCode0) {
  auto installer = LaunchComplete();
  installer->Press(ids::kBtnCancel);
  EXPECT_EQ(installer->WaitExit(), std::optional<DWORD>(0));
}

// The fixed texts read the same whatever the system's code page: this suite
// also runs under LC_ALL=en_US.UTF-8 (code page 1252).
class FixedTexts : public InstallerTest {};

TEST_P(FixedTexts, LabelsButtonsAndMessagesAreJapanese) {
  ScriptParts script;
  script.checkTargetFilename.reset();
  std::vector<Dialog> messages;
  auto installer = Launch(MakeInstaller(StandardPackage(script)), &messages);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, shown::kNoCheckTargetSection) << Utf8(messages[0].text);
  EXPECT_EQ(messages[0].caption, shown::kAppTitle);
  EXPECT_EQ(WindowTextW(installer->Control(ids::kLblTargetDir)), shown::kLabelTargetDir);
  EXPECT_EQ(WindowTextW(installer->Control(ids::kLabel1)), shown::kLabelHint);
  EXPECT_EQ(WindowTextW(installer->Control(ids::kLblChangePath)), shown::kLabelChangePath);
  EXPECT_EQ(WindowTextW(installer->Control(ids::kLabel3)), shown::kLabelHintEnd);
  EXPECT_EQ(installer->StartCaption(), shown::kStart);
  EXPECT_EQ(installer->CancelCaption(), shown::kCancel);

  installer->Press(ids::kLblChangePath);
  auto chooser = installer->WaitDialog();
  ASSERT_TRUE(chooser.has_value());
  EXPECT_EQ(chooser->text, std::wstring(L"\"E2E Game\"") + shown::kChooserPromptTail) << Utf8(chooser->text);
  installer->Answer(*chooser, false);
}

TEST_P(FixedTexts, OutcomeMessagesAndCloseCaptionAreJapanese) {
  ScriptParts script;
  script.linkPath = {AddTargetShortcut()};
  script.outFiles = {"a.dat", "b.dat"};
  std::vector<Dialog> messages;
  auto installer = Launch(MakeInstaller(StandardPackage(script, {{0, "A"}})), &messages);
  ASSERT_TRUE(messages.empty());
  Dialog failed = installer->StartAndWaitMessage();
  EXPECT_EQ(failed.text, shown::kPatchFailed) << Utf8(failed.text);
  installer->Answer(failed);

  auto complete = Launch(MakeInstaller(StandardPackage(script, {{0, "A"}, {1, "B"}}), "complete.exe"));
  Dialog succeeded = complete->StartAndWaitMessage();
  EXPECT_EQ(succeeded.text, shown::kPatchSucceeded) << Utf8(succeeded.text);
  complete->Answer(succeeded);
  EXPECT_TRUE(WaitUntil([&] { return complete->CancelCaption() == shown::kClose; }));
}

TEST_P(FixedTexts, ExceptionReportIsJapanese) {
  Package package = StandardPackage(ScriptParts{});
  package.background = "no bitmap";
  std::vector<Dialog> messages;
  auto installer = Launch(MakeInstaller(package), &messages);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, shown::kBadBitmap) << Utf8(messages[0].text);
  EXPECT_TRUE(messages[0].hasIcon);
}

BRISKO_INSTANTIATE_FOR_PACKAGERS(Window);
BRISKO_INSTANTIATE_FOR_PACKAGERS(FixedTexts);

}  // namespace
}  // namespace brisko::e2e
