#include "bitmap.h"

#include <cstddef>
#include <limits>

#include "errors.h"
#include "texts.h"

namespace brisko {

namespace {

// The file header: "BM", the file's size, two reserved words, then the
// offset of the pixels.
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kFileOffBits = 10;

// The header that follows it, at kFileHeaderSize: its first field is its own
// size, 12 for the old core header and 40 or more for an information header.
constexpr std::size_t kHeaderSize = 0;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
// Fields of the core header (16-bit values).
constexpr std::size_t kCoreWidth = 4;
constexpr std::size_t kCoreHeight = 6;
constexpr std::size_t kCorePlanes = 8;
constexpr std::size_t kCoreBitCount = 10;
// Fields of the information header.
constexpr std::size_t kInfoWidth = 4;
constexpr std::size_t kInfoHeight = 8;
constexpr std::size_t kInfoPlanes = 12;
constexpr std::size_t kInfoBitCount = 14;
constexpr std::size_t kInfoCompression = 16;
constexpr std::size_t kInfoClrUsed = 32;

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
// Large enough for any window background, small enough that a corrupt header
// cannot make us allocate gigabytes.
constexpr std::uint64_t kMaxPixels = 64u * 1024u * 1024u;

[[noreturn]] void Invalid() { throw Error(texts::kErrBadBitmap); }

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  std::uint32_t U8(std::size_t at) const { return Byte(at); }
  std::uint32_t U16(std::size_t at) const { return Byte(at) | Byte(at + 1) << 8; }
  std::uint32_t U32(std::size_t at) const { return U16(at) | U16(at + 2) << 16; }
  std::int32_t I32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }

 private:
  std::uint32_t Byte(std::size_t at) const {
    if (at >= bytes_.size()) Invalid();
    return static_cast<unsigned char>(bytes_[at]);
  }
  std::string_view bytes_;
};

// Expands a channel of `bits` bits to 8 bits.
std::uint32_t Scale(std::uint32_t value, int bits) {
  if (bits <= 0) return 0;
  if (bits >= 8) return value >> (bits - 8);
  return (value * 255 + ((1u << bits) - 1) / 2) / ((1u << bits) - 1);
}

struct Channel {
  int shift = 0;
  int bits = 0;
  explicit Channel(std::uint32_t mask = 0) {
    if (mask == 0) return;
    while (!(mask & 1)) { mask >>= 1; ++shift; }
    while (mask & 1) { mask >>= 1; ++bits; }
  }
  std::uint32_t Get(std::uint32_t pixel) const {
    if (bits == 0) return 0;
    const std::uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
    return Scale((pixel >> shift) & mask, bits);
  }
};

}  // namespace

Bitmap DecodeBitmapFile(std::string_view bytes) {
  const Reader r(bytes);
  if (bytes.size() < kFileHeaderSize + kCoreHeaderSize || bytes[0] != 'B' || bytes[1] != 'M') Invalid();
  const std::uint32_t offBits = r.U32(kFileOffBits);
  constexpr std::size_t h = kFileHeaderSize;
  const std::uint32_t headerSize = r.U32(h + kHeaderSize);
  if (headerSize < kCoreHeaderSize || headerSize > bytes.size() - kFileHeaderSize) Invalid();

  std::int64_t width, height;
  std::uint32_t planes, bitCount, compression = kBiRgb, clrUsed = 0;
  bool core = headerSize < kInfoHeaderSize;
  if (core) {
    if (headerSize != kCoreHeaderSize) Invalid();
    width = r.U16(h + kCoreWidth);
    height = r.U16(h + kCoreHeight);
    planes = r.U16(h + kCorePlanes);
    bitCount = r.U16(h + kCoreBitCount);
  } else {
    width = r.I32(h + kInfoWidth);
    height = r.I32(h + kInfoHeight);
    planes = r.U16(h + kInfoPlanes);
    bitCount = r.U16(h + kInfoBitCount);
    compression = r.U32(h + kInfoCompression);
    clrUsed = r.U32(h + kInfoClrUsed);
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (planes != 1 || width <= 0 || height <= 0) Invalid();
  if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPixels) Invalid();

  switch (bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: Invalid();
  }
  const bool rle = compression == kBiRle8 || compression == kBiRle4;
  if (compression == kBiRle8 && bitCount != 8) Invalid();
  if (compression == kBiRle4 && bitCount != 4) Invalid();
  if (compression == kBiBitfields && bitCount != 16 && bitCount != 32) Invalid();
  if (compression != kBiRgb && !rle && compression != kBiBitfields) Invalid();
  if (rle && topDown) Invalid();

  // Colour masks for 16 and 32 bits per pixel.
  Channel red, green, blue;
  std::size_t tableStart = kFileHeaderSize + headerSize;
  if (bitCount == 16 || bitCount == 32) {
    if (compression == kBiBitfields) {
      std::size_t maskAt = kFileHeaderSize + kInfoHeaderSize;
      red = Channel(r.U32(maskAt));
      green = Channel(r.U32(maskAt + 4));
      blue = Channel(r.U32(maskAt + 8));
      if (headerSize == kInfoHeaderSize) tableStart += 12;  // the masks follow a plain info header
    } else if (bitCount == 16) {
      red = Channel(0x7C00), green = Channel(0x03E0), blue = Channel(0x001F);
    } else {
      red = Channel(0xFF0000), green = Channel(0xFF00), blue = Channel(0xFF);
    }
  }

  // The colour table for indexed pictures.
  std::vector<std::uint32_t> palette;
  if (bitCount <= 8) {
    const std::uint32_t maxColours = 1u << bitCount;
    std::uint32_t colours = clrUsed == 0 ? maxColours : clrUsed;
    if (colours > maxColours) Invalid();
    const std::size_t entry = core ? 3 : 4;
    if (tableStart + colours * entry > bytes.size()) Invalid();
    palette.resize(maxColours, 0);
    for (std::uint32_t i = 0; i < colours; ++i) {
      const std::size_t at = tableStart + i * entry;
      palette[i] = r.U8(at + 2) << 16 | r.U8(at + 1) << 8 | r.U8(at);
    }
  }

  if (offBits < kFileHeaderSize + headerSize || offBits > bytes.size()) Invalid();
  const std::string_view data = bytes.substr(offBits);

  Bitmap bmp;
  bmp.width = static_cast<int>(width);
  bmp.height = static_cast<int>(height);
  bmp.pixels.assign(static_cast<std::size_t>(width * height), 0);
  auto put = [&](std::int64_t x, std::int64_t fileRow, std::uint32_t colour) {
    const std::int64_t y = topDown ? fileRow : height - 1 - fileRow;
    bmp.pixels[static_cast<std::size_t>(y * width + x)] = colour;
  };

  if (rle) {
    // Run-length encoded rows, bottom-up; pixels not reached stay black.
    const Reader d(data);
    std::size_t at = 0;
    std::int64_t x = 0, row = 0;
    const bool four = compression == kBiRle4;
    for (;;) {
      const std::uint32_t count = d.U8(at), value = d.U8(at + 1);
      at += 2;
      if (count > 0) {
        for (std::uint32_t i = 0; i < count; ++i, ++x) {
          const std::uint32_t index = four ? ((i & 1) ? value & 0x0F : value >> 4) : value;
          if (x < width && row < height) put(x, row, palette[index]);
        }
      } else if (value == 0) {
        x = 0;
        ++row;
      } else if (value == 1) {
        break;
      } else if (value == 2) {
        x += d.U8(at);
        row += d.U8(at + 1);
        at += 2;
      } else {
        const std::uint32_t n = value;
        const std::size_t used = four ? (n + 1) / 2 : n;
        for (std::uint32_t i = 0; i < n; ++i, ++x) {
          const std::uint32_t byte = d.U8(at + (four ? i / 2 : i));
          const std::uint32_t index = four ? ((i & 1) ? byte & 0x0F : byte >> 4) : byte;
          if (x < width && row < height) put(x, row, palette[index]);
        }
        at += (used + 1) & ~static_cast<std::size_t>(1);
      }
      if (row > height) Invalid();
    }
    return bmp;
  }

  const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bitCount + 31) / 32) * 4;
  if (stride * static_cast<std::uint64_t>(height) > data.size()) Invalid();
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  for (std::int64_t row = 0; row < height; ++row) {
    const unsigned char* line = p + static_cast<std::size_t>(row * stride);
    for (std::int64_t x = 0; x < width; ++x) {
      std::uint32_t colour = 0;
      switch (bitCount) {
        case 1: colour = palette[(line[x / 8] >> (7 - x % 8)) & 1]; break;
        case 4: colour = palette[(line[x / 2] >> ((x % 2) ? 0 : 4)) & 0x0F]; break;
        case 8: colour = palette[line[x]]; break;
        case 16: {
          const std::uint32_t v = line[x * 2] | line[x * 2 + 1] << 8;
          colour = red.Get(v) << 16 | green.Get(v) << 8 | blue.Get(v);
          break;
        }
        case 24: colour = line[x * 3 + 2] << 16 | line[x * 3 + 1] << 8 | line[x * 3]; break;
        case 32: {
          const std::uint32_t v = line[x * 4] | line[x * 4 + 1] << 8 | line[x * 4 + 2] << 16 |
                                  static_cast<std::uint32_t>(line[x * 4 + 3]) << 24;
          colour = red.Get(v) << 16 | green.Get(v) << 8 | blue.Get(v);
          break;
        }
      }
      put(x, row, colour);
    }
  }
  return bmp;
}

}  // namespace brisko
