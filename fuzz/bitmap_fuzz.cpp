// The bitmap decoder on arbitrary bytes: it either refuses them or gives a
// picture whose pixel count matches its size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/picture/bitmap.h"

using namespace brisko;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bitmap bitmap;
  if (!DecodeBitmapFile(std::string_view(reinterpret_cast<const char*>(data), size), bitmap)) return 0;
  if (bitmap.width < 0 || bitmap.height < 0 ||
      bitmap.pixels.size() != static_cast<std::size_t>(bitmap.width) * bitmap.height)
    std::abort();
  return 0;
}
