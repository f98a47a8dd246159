// Decoding a complete bitmap file (file header, info header, pixel rows).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace brisko {

struct Bitmap {
  int width = 0;
  int height = 0;
  // Top-down rows of 0x00RRGGBB pixels, width * height of them.
  std::vector<std::uint32_t> pixels;

  bool empty() const { return width == 0 || height == 0; }
};

// Decodes `bytes` into `bitmap`. False, with `bitmap` unchanged, when they are
// no valid bitmap file (the caller reports "ビットマップイメージが不正です").
// Every size and offset is checked against the data.
bool DecodeBitmapFile(std::string_view bytes, Bitmap& bitmap);

}  // namespace brisko
