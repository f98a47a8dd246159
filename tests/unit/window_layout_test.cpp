#include "core/window_layout.h"

#include <gtest/gtest.h>

#include <iterator>
#include <ostream>

namespace brisko::layout {

bool operator==(const Box& a, const Box& b) {
  return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

void PrintTo(const Box& box, std::ostream* out) {
  *out << "{" << box.left << ", " << box.top << ", " << box.width << ", " << box.height << "}";
}

namespace {

// The window at the usual scales, worked out by hand from the layout at 96
// DPI: 125 % (473 * 1.25 = 591.25, 107 * 1.25 = 133.75, 14 * 1.25 = 17.5: a
// half rounds up), 150 % (709.5, 160.5, 25 * 1.5 = 37.5) and 200 %. Each DPI
// is a column of the tables.
const int kDpis[] = {96, 120, 144, 192};
const struct {
  int clientWidth[4], clientHeight[4], textHeight[4];
} kWindow = {{600, 750, 900, 1200}, {300, 375, 450, 600}, {12, 15, 18, 24}};
// Labels keep width 0: they take their text's size in the font.
const struct {
  Part part;
  Box at[4];
} kParts[] = {
    {kTargetDirLabel, {{8, 240, 0, 0}, {10, 300, 0, 0}, {12, 360, 0, 0}, {16, 480, 0, 0}}},
    {kHintLabel, {{8, 280, 0, 0}, {10, 350, 0, 0}, {12, 420, 0, 0}, {16, 560, 0, 0}}},
    {kChangePathLink, {{304, 280, 0, 0}, {380, 350, 0, 0}, {456, 420, 0, 0}, {608, 560, 0, 0}}},
    {kHintEndLabel, {{328, 280, 0, 0}, {410, 350, 0, 0}, {492, 420, 0, 0}, {656, 560, 0, 0}}},
    {kField, {{8, 256, 473, 20}, {10, 320, 591, 25}, {12, 384, 710, 30}, {16, 512, 946, 40}}},
    {kStartButton, {{488, 240, 107, 25}, {610, 300, 134, 31}, {732, 360, 161, 38}, {976, 480, 214, 50}}},
    {kCancelButton, {{488, 272, 107, 25}, {610, 340, 134, 31}, {732, 408, 161, 38}, {976, 544, 214, 50}}},
    {kProgressBar, {{8, 280, 473, 14}, {10, 350, 591, 18}, {12, 420, 710, 21}, {16, 560, 946, 28}}},
};

TEST(WindowLayout, ScalesClientAreaControlsAndTextByDpiOver96) {
  static_assert(std::size(kParts) == kPartCount, "every part");
  for (int column = 0; column < 4; ++column) {
    SCOPED_TRACE(kDpis[column]);
    const WindowLayout layout = LayoutForDpi(kDpis[column]);
    EXPECT_EQ(layout.clientWidth, kWindow.clientWidth[column]);
    EXPECT_EQ(layout.clientHeight, kWindow.clientHeight[column]);
    EXPECT_EQ(layout.textHeight, kWindow.textHeight[column]);
    for (const auto& row : kParts) EXPECT_EQ(layout.parts[row.part], row.at[column]) << "part " << row.part;
  }
  // No DPI known: as at 96.
  const WindowLayout unknown = LayoutForDpi(0);
  EXPECT_EQ(unknown.clientWidth, 600);
  for (const auto& row : kParts) EXPECT_EQ(unknown.parts[row.part], row.at[0]) << "part " << row.part;
}

TEST(WindowLayout, ScaleRoundsAsMulDiv) {
  const struct {
    int value, dpi, scaled;
  } cases[] = {
      {1, 47, 0}, {1, 48, 1}, {-1, 48, -1}, {-12, 144, -18}, {3, 120, 4}, {0, 192, 0}, {600, 168, 1050},
  };
  for (const auto& c : cases) EXPECT_EQ(Scale(c.value, c.dpi), c.scaled) << c.value << " at " << c.dpi;
}

}  // namespace
}  // namespace brisko::layout
