#include "core/window_layout.h"

#include <cstring>

#include "core/format/package_format.h"

namespace brisko::layout {
namespace {

// At 96 DPI. The client area is the background picture's size; the text is
// Delphi's font Height -12.
constexpr WindowLayout kLayout96 = {
    format::kBackgroundWidth,
    format::kBackgroundHeight,
    12,
    {
        {8, 240, 0, 0},       // kTargetDirLabel
        {8, 280, 0, 0},       // kHintLabel
        {304, 280, 0, 0},     // kChangePathLink
        {328, 280, 0, 0},     // kHintEndLabel
        {8, 256, 473, 20},    // kField
        {488, 240, 107, 25},  // kStartButton
        {488, 272, 107, 25},  // kCancelButton
        {8, 280, 473, 14},    // kProgressBar
    },
};

// The layout is lengths only, every one scaled alike: scaled as a row of
// ints, which keeps the installers' code short.
constexpr int kLengths = sizeof(WindowLayout) / sizeof(int);
static_assert(sizeof(WindowLayout) == (3 + 4 * kPartCount) * sizeof(int), "a layout is ints only");

}  // namespace

int Scale(int value, int dpi) {
  const int scaled = value * dpi;
  return (scaled + (scaled < 0 ? -kBaseDpi / 2 : kBaseDpi / 2)) / kBaseDpi;
}

WindowLayout LayoutForDpi(int dpi) {
  if (dpi < 1) dpi = kBaseDpi;
  int lengths[kLengths];
  std::memcpy(lengths, &kLayout96, sizeof lengths);
  for (int& length : lengths) length = Scale(length, dpi);
  WindowLayout layout;
  std::memcpy(&layout, lengths, sizeof layout);
  return layout;
}

}  // namespace brisko::layout
