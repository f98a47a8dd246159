#include "test_support.h"

namespace brisko::test {

namespace {

void Put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

std::string BitmapFile(std::int32_t width, std::int32_t height, int bitsPerPixel, std::uint32_t compression,
                       const std::string& table, const std::string& pixels, std::uint32_t coloursUsed) {
  std::string b = "BM";
  const std::uint32_t offset = 14 + 40 + static_cast<std::uint32_t>(table.size());
  Put32(b, offset + static_cast<std::uint32_t>(pixels.size()));
  Put32(b, 0);
  Put32(b, offset);
  Put32(b, 40);
  Put32(b, static_cast<std::uint32_t>(width));
  Put32(b, static_cast<std::uint32_t>(height));
  Put16(b, 1);
  Put16(b, static_cast<std::uint32_t>(bitsPerPixel));
  Put32(b, compression);
  Put32(b, static_cast<std::uint32_t>(pixels.size()));
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, coloursUsed);
  Put32(b, 0);
  return b + table + pixels;
}

std::string BitmapFile24(int width, int height, const std::function<std::uint32_t(int x, int y)>& colour) {
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  std::string pixels;
  for (int y = height - 1; y >= 0; --y) {
    std::string row;
    for (int x = 0; x < width; ++x) {
      const std::uint32_t c = colour(x, y);
      row += static_cast<char>(c & 0xFF);
      row += static_cast<char>((c >> 8) & 0xFF);
      row += static_cast<char>((c >> 16) & 0xFF);
    }
    row.resize(stride, '\0');
    pixels += row;
  }
  return BitmapFile(width, height, 24, 0, "", pixels);
}

}  // namespace brisko::test
