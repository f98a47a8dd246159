// The main window as the user sees it: layout, texts, painting, keys and
// closing; and the executable's own resources.
#include <algorithm>

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

TEST_P(Window, LayoutStyleAndTabOrder) {
  auto installer = LaunchComplete();
  HWND window = installer->window();
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right - client.left, 600);
  EXPECT_EQ(client.bottom - client.top, 300);

  const LONG style = GetWindowLongW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME) << "fixed size";

  RECT frame{};
  GetWindowRect(window, &frame);
  EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);

  const struct {
    int id;
    RECT rect;
  } controls[] = {
      {ids::kEdtTargetDir, {8, 256, 481, 276}},
      {ids::kBtnStart, {488, 240, 595, 265}},
      {ids::kBtnCancel, {488, 272, 595, 297}},
  };
  for (const auto& c : controls) {
    const RECT r = RectInParent(installer->Control(c.id));
    EXPECT_EQ(r.left, c.rect.left) << c.id;
    EXPECT_EQ(r.top, c.rect.top) << c.id;
    EXPECT_EQ(r.right, c.rect.right) << c.id;
    EXPECT_EQ(r.bottom, c.rect.bottom) << c.id;
  }
  const struct {
    int id;
    POINT at;
  } labels[] = {{ids::kLblTargetDir, {8, 240}}, {ids::kLabel1, {8, 280}}, {ids::kLblChangePath, {304, 280}},
                {ids::kLabel3, {328, 280}}};
  for (const auto& l : labels) {
    const RECT r = RectInParent(installer->Control(l.id));
    EXPECT_EQ(r.left, l.at.x) << l.id;
    EXPECT_EQ(r.top, l.at.y) << l.id;
    EXPECT_GE(r.bottom - r.top, 12) << l.id;
  }
  EXPECT_TRUE(GetWindowLongW(installer->Control(ids::kLblChangePath), GWL_STYLE) & SS_NOTIFY);
  EXPECT_FALSE(GetWindowLongW(installer->Control(ids::kLabel1), GWL_STYLE) & SS_NOTIFY);

  // Tab order: Start, Cancel, the field, and round again.
  HWND start = installer->Control(ids::kBtnStart);
  HWND cancel = installer->Control(ids::kBtnCancel);
  HWND field = installer->Control(ids::kEdtTargetDir);
  EXPECT_EQ(GetNextDlgTabItem(window, start, FALSE), cancel);
  EXPECT_EQ(GetNextDlgTabItem(window, cancel, FALSE), field);
  EXPECT_EQ(GetNextDlgTabItem(window, field, FALSE), start);
  // No default button.
  for (HWND button : {start, cancel}) EXPECT_NE(GetWindowLongW(button, GWL_STYLE) & 0xF, BS_DEFPUSHBUTTON);
  // Colours: the field on the tooltip background, the link in blue.
  installer->SetField("");
  const auto colour = [](int index) {
    const COLORREF c = GetSysColor(index);
    return static_cast<std::uint32_t>(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c);
  };
  std::vector<std::uint32_t> shown;
  EXPECT_TRUE(WaitUntil([&] {
    shown = CaptureClient(window, 600, 300);
    return shown[266 * 600 + 300] == colour(COLOR_INFOBK);
  }, 5s)) << std::hex << shown[266 * 600 + 300];
  const RECT link = RectInParent(installer->Control(ids::kLblChangePath));
  bool blue = false;
  for (int y = link.top; y < link.bottom; ++y)
    for (int x = link.left; x < link.right; ++x) blue = blue || shown[y * 600 + x] == 0x0000FFu;
  EXPECT_TRUE(blue) << "the link is drawn in blue";
  // The field takes any length.
  DWORD_PTR limit = 0;
  SendMessageTimeoutW(field, EM_GETLIMITTEXT, 0, 0, SMTO_ABORTIFHUNG, 5000, &limit);
  EXPECT_GE(limit, 0x7FFFFFFEu);
}

TEST_P(Window, PaintsTheBackgroundAtItsOwnSize) {
  const struct {
    const char* name;
    int width;
    int height;
  } pictures[] = {{"exact", 600, 300}, {"smaller", 200, 100}, {"larger", 700, 400}};
  const std::uint32_t buttonFace = [] {
    const COLORREF c = GetSysColor(COLOR_BTNFACE);
    return static_cast<std::uint32_t>(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c);
  }();
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
    PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitUntil([&] { return IsIconic(application) && !IsWindowVisible(window); }, 5s))
        << "iconic " << IsIconic(application) << ", main window visible " << IsWindowVisible(window);
    EXPECT_FALSE(IsIconic(window)) << "the main window is hidden, not minimised itself";
    ShowWindowAsync(application, SW_RESTORE);
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(application) && IsWindowVisible(window); }, 5s));
    EXPECT_TRUE(WaitUntil([&] { return installer->ActiveWindow() == window; }, 5s))
        << "the activation passes to the main window";
    // The focus comes back when the main window handles its activation,
    // which may be a moment after the activation shows.
    EXPECT_TRUE(WaitUntil([&] { return installer->FocusWindow() == focus; }, 5s))
        << installer->FocusWindow() << " has the focus, not " << focus;
    EXPECT_TRUE(WaitUntil([&] { return (difference = compare()).empty(); }, 5s)) << "after restoring: " << difference;
  }
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
