// Helpers shared by the unit, packer and end-to-end tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace brisko::test {

// A bitmap file with a 40-byte information header: `table` (palette or
// colour masks) follows the header, `pixels` the table.
std::string BitmapFile(std::int32_t width, std::int32_t height, int bitsPerPixel, std::uint32_t compression,
                       const std::string& table, const std::string& pixels, std::uint32_t coloursUsed = 0);

// An uncompressed 24-bit bitmap file, rows bottom-up; `colour` gives the
// pixel at (x, y), counted from the top left, as 0xRRGGBB.
std::string BitmapFile24(int width, int height, const std::function<std::uint32_t(int x, int y)>& colour);

// Removes a file, or a folder with everything in it, read-only files
// included; does nothing when `path` does not exist. `path` is in the
// system's narrow encoding (Shift-JIS, code page 932, on Windows).
void RemoveTree(const std::string& path);

}  // namespace brisko::test
