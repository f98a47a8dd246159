// The bitmap decoder on arbitrary bytes: it either throws its error or gives
// a picture whose pixel count matches its size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/errors.h"
#include "core/picture/bitmap.h"

using namespace brisko;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const Bitmap bitmap = DecodeBitmapFile(std::string_view(reinterpret_cast<const char*>(data), size));
    if (bitmap.width < 0 || bitmap.height < 0 ||
        bitmap.pixels.size() != static_cast<std::size_t>(bitmap.width) * bitmap.height)
      std::abort();
  } catch (const Error&) {
  }
  return 0;
}
