// The main window's layout: its client area, where each control lies and the
// height of its text. Drawn for 96 pixels per inch (100 %) and scaled by
// DPI / 96 for a monitor of another DPI, so that the window shows the same
// at every scale, only sharper. Portable, so that the layout at every DPI is
// checked without Windows.
#pragma once

namespace brisko::layout {

// The DPI the layout is drawn for.
inline constexpr int kBaseDpi = 96;

// A length of the layout, `value` pixels at 96 DPI, in pixels at `dpi`:
// value * dpi / 96, rounded to the nearest and halves away from zero, as
// MulDiv rounds. For lengths of a window: value * dpi must fit in an int.
int Scale(int value, int dpi);

// A control's rectangle in the client area. Width 0: the control takes the
// size of its text in the window's font (the labels).
struct Box {
  int left, top, width, height;
};

// The parts of the window, by their place in the layout.
enum Part : int {
  kTargetDirLabel,
  kHintLabel,
  kChangePathLink,
  kHintEndLabel,
  kField,
  kStartButton,
  kCancelButton,
  // Over the line of hints, only while the payload is written.
  kProgressBar,
  kPartCount
};

struct WindowLayout {
  int clientWidth, clientHeight;
  // The character height of the window's font, in pixels.
  int textHeight;
  Box parts[kPartCount];
};

// The layout at `dpi`; at 96 the layout as drawn. A DPI below 1 is taken
// as 96.
WindowLayout LayoutForDpi(int dpi);

}  // namespace brisko::layout
