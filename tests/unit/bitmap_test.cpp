#include "core/picture/bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "core/errors.h"
#include "core/text/fixed_texts.h"
#include "test_support.h"

namespace brisko {
namespace {

using test::BitmapFile;

std::string Bytes(std::initializer_list<int> v) {
  std::string s;
  for (int x : v) s += static_cast<char>(x);
  return s;
}

struct DecodeCase {
  const char* name;
  std::string file;
  int width, height;
  std::vector<std::uint32_t> pixels;  // top-down
};

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, GivesTopDownPixels) {
  const DecodeCase& c = GetParam();
  Bitmap bmp;
  ASSERT_TRUE(DecodeBitmapFile(c.file, bmp));
  EXPECT_EQ(bmp.width, c.width);
  EXPECT_EQ(bmp.height, c.height);
  EXPECT_EQ(bmp.pixels, c.pixels);
}

const std::string kPalette2 = Bytes({0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0});

INSTANTIATE_TEST_SUITE_P(
    Formats, DecodeTest,
    ::testing::Values(
        // 24 bits, bottom-up: the first stored row is the picture's last.
        DecodeCase{"Rgb24BottomUp", BitmapFile(1, 2, 24, 0, "", Bytes({1, 2, 3, 0, 4, 5, 6, 0})), 1, 2,
                   {0x060504, 0x030201}},
        DecodeCase{"Rgb24TopDown", BitmapFile(1, -2, 24, 0, "", Bytes({1, 2, 3, 0, 4, 5, 6, 0})), 1, 2,
                   {0x030201, 0x060504}},
        DecodeCase{"Rgb24RowPadding", BitmapFile(2, 1, 24, 0, "", Bytes({1, 2, 3, 4, 5, 6, 0, 0})), 2, 1,
                   {0x030201, 0x060504}},
        DecodeCase{"Mono", BitmapFile(3, 1, 1, 0, kPalette2, Bytes({0xA0, 0, 0, 0})), 3, 1, {0xFFFFFF, 0, 0xFFFFFF}},
        DecodeCase{"FourBit", BitmapFile(2, 1, 4, 0, kPalette2, Bytes({0x10, 0, 0, 0}), 2), 2, 1, {0xFFFFFF, 0}},
        DecodeCase{"EightBitRle", BitmapFile(3, 1, 8, 1, kPalette2, Bytes({2, 1, 0, 0, 1, 0, 0, 1}), 2), 3, 1,
                   {0xFFFFFF, 0xFFFFFF, 0}},
        DecodeCase{"Rgb16", BitmapFile(1, 1, 16, 0, "", Bytes({0x1F, 0x7C, 0, 0})), 1, 1, {0xFF00FF}},
        DecodeCase{"Bitfields32", BitmapFile(1, 1, 32, 3, Bytes({0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0}),
                                       Bytes({0x11, 0x22, 0x33, 0x44})),
                   1, 1, {0x332211}}),
    [](const auto& row) { return std::string(row.param.name); });

struct BadCase {
  const char* name;
  std::function<std::string()> make;
};

class BadBitmapTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadBitmapTest, IsRefusedAndLeavesTheBitmapAlone) {
  Bitmap bmp;
  bmp.width = 7;
  EXPECT_FALSE(DecodeBitmapFile(GetParam().make(), bmp));
  EXPECT_EQ(bmp.width, 7);
}

std::string Good() { return BitmapFile(2, 2, 24, 0, "", std::string(16, '\x7F')); }

INSTANTIATE_TEST_SUITE_P(
    Corruptions, BadBitmapTest,
    ::testing::Values(
        BadCase{"Empty", [] { return std::string(); }},
        BadCase{"NoBM", [] { std::string f = Good(); f[0] = 'X'; return f; }},
        BadCase{"HeaderOnly", [] { return Good().substr(0, 20); }},
        BadCase{"PixelsTruncated", [] { std::string f = Good(); f.pop_back(); return f; }},
        BadCase{"OffsetPastEnd", [] { std::string f = Good(); f[10] = '\x7F'; f[11] = '\x7F'; return f; }},
        BadCase{"HeaderSizeHuge", [] { std::string f = Good(); f[17] = '\x7F'; return f; }},
        BadCase{"ZeroWidth", [] { return BitmapFile(0, 2, 24, 0, "", ""); }},
        BadCase{"ZeroHeight", [] { return BitmapFile(2, 0, 24, 0, "", ""); }},
        BadCase{"NegativeWidth", [] { return BitmapFile(-2, 2, 24, 0, "", std::string(16, 0)); }},
        BadCase{"HugeDimensions", [] { return BitmapFile(0x7FFFFFFF, 0x7FFFFFFF, 24, 0, "", std::string(16, 0)); }},
        BadCase{"OddBitCount", [] { return BitmapFile(1, 1, 7, 0, "", std::string(4, 0)); }},
        BadCase{"UnknownCompression", [] { return BitmapFile(1, 1, 24, 9, "", std::string(4, 0)); }},
        BadCase{"PaletteTooLarge", [] { return BitmapFile(1, 1, 1, 0, kPalette2, std::string(4, 0), 3); }},
        BadCase{"PaletteTruncated", [] { return BitmapFile(1, 1, 8, 0, kPalette2, "", 256); }},
        BadCase{"RleRunsOffTheEnd", [] { return BitmapFile(4, 1, 8, 1, kPalette2, Bytes({4, 1, 0}), 2); }}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace brisko
