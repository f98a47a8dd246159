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

// Throws Error("ビットマップイメージが不正です") when `bytes` is no valid
// bitmap file. Every size and offset is checked against the data.
Bitmap DecodeBitmapFile(std::string_view bytes);

}  // namespace brisko
