#include "core/picture/bitmap.h"

#include <cstddef>
#include <limits>
#include <utility>

#include "core/format/byte_order.h"

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

// Reads little-endian fields at offsets; one outside the data reads as 0 and
// marks the reader failed, which the decoding steps check.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool failed() const { return failed_; }
  std::uint32_t U8(std::size_t at) const { return Field(at, 1); }
  std::uint32_t U16(std::size_t at) const { return Field(at, 2); }
  std::uint32_t U32(std::size_t at) const { return Field(at, 4); }
  std::int32_t I32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }

 private:
  std::uint32_t Field(std::size_t at, int size) const {
    if (at < bytes_.size() && bytes_.size() - at >= static_cast<std::size_t>(size))
      return static_cast<std::uint32_t>(le::Get(bytes_.data() + at, size));
    failed_ = true;
    return 0;
  }
  std::string_view bytes_;
  mutable bool failed_ = false;
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
    while (!(mask & 1)) {
      mask >>= 1;
      ++shift;
    }
    while (mask & 1) {
      mask >>= 1;
      ++bits;
    }
  }
  std::uint32_t Get(std::uint32_t pixel) const {
    if (bits == 0) return 0;
    const std::uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
    return Scale((pixel >> shift) & mask, bits);
  }
};

// What the file header and the core or information header say.
struct Header {
  std::uint32_t offBits = 0;
  std::uint32_t size = 0;  // the core or information header's own size
  bool core = false;
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool topDown = false;
  std::uint32_t bitCount = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t clrUsed = 0;

  bool rle() const { return compression == kBiRle8 || compression == kBiRle4; }
};

// The compression must suit the depth: run lengths of 8 or 4 bits, masks for
// 16 or 32 bits, and run lengths only bottom-up.
bool ValidFormat(const Header& h) {
  const std::uint32_t b = h.bitCount;
  if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32) return false;
  switch (h.compression) {
    case kBiRgb: return true;
    case kBiRle8: return h.bitCount == 8 && !h.topDown;
    case kBiRle4: return h.bitCount == 4 && !h.topDown;
    case kBiBitfields: return h.bitCount == 16 || h.bitCount == 32;
    default: return false;
  }
}

bool ReadHeader(const Reader& r, std::string_view bytes, Header& h) {
  if (bytes.size() < kFileHeaderSize + kCoreHeaderSize || bytes[0] != 'B' || bytes[1] != 'M') return false;
  h.offBits = r.U32(kFileOffBits);
  constexpr std::size_t at = kFileHeaderSize;
  h.size = r.U32(at + kHeaderSize);
  if (h.size < kCoreHeaderSize || h.size > bytes.size() - kFileHeaderSize) return false;
  h.core = h.size < kInfoHeaderSize;
  std::uint32_t planes;
  if (h.core) {
    if (h.size != kCoreHeaderSize) return false;
    h.width = r.U16(at + kCoreWidth);
    h.height = r.U16(at + kCoreHeight);
    planes = r.U16(at + kCorePlanes);
    h.bitCount = r.U16(at + kCoreBitCount);
  } else {
    h.width = r.I32(at + kInfoWidth);
    h.height = r.I32(at + kInfoHeight);
    planes = r.U16(at + kInfoPlanes);
    h.bitCount = r.U16(at + kInfoBitCount);
    h.compression = r.U32(at + kInfoCompression);
    h.clrUsed = r.U32(at + kInfoClrUsed);
  }
  h.topDown = h.height < 0;
  if (h.topDown) h.height = -h.height;
  if (planes != 1 || h.width <= 0 || h.height <= 0) return false;
  if (static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.height) > kMaxPixels) return false;
  return ValidFormat(h) && h.offBits >= kFileHeaderSize + h.size && h.offBits <= bytes.size() && !r.failed();
}

// Colour masks for 16 and 32 bits per pixel: given after the information
// header, or the default 5-5-5 and 8-8-8 layouts.
struct Masks {
  Channel red, green, blue;
};

Masks ReadMasks(const Reader& r, const Header& h) {
  if (h.compression == kBiBitfields) {
    const std::size_t at = kFileHeaderSize + kInfoHeaderSize;
    return {Channel(r.U32(at)), Channel(r.U32(at + 4)), Channel(r.U32(at + 8))};
  }
  if (h.bitCount == 16) return {Channel(0x7C00), Channel(0x03E0), Channel(0x001F)};
  return {Channel(0xFF0000), Channel(0xFF00), Channel(0xFF)};
}

// The colour table of an indexed picture, after the header: 3-byte entries
// after a core header, 4-byte ones after an information header. Entries it
// does not give are black.
bool ReadPalette(const Reader& r, const Header& h, std::size_t fileSize, std::vector<std::uint32_t>& palette) {
  const std::uint32_t maxColours = 1u << h.bitCount;
  const std::uint32_t colours = h.clrUsed == 0 ? maxColours : h.clrUsed;
  if (colours > maxColours) return false;
  const std::size_t tableStart = kFileHeaderSize + h.size;
  const std::size_t entry = h.core ? 3 : 4;
  if (tableStart + colours * entry > fileSize) return false;
  palette.assign(maxColours, 0);
  for (std::uint32_t i = 0; i < colours; ++i) {
    const std::size_t at = tableStart + i * entry;
    palette[i] = r.U8(at + 2) << 16 | r.U8(at + 1) << 8 | r.U8(at);
  }
  return true;
}

// The picture being decoded, addressed by the rows of the file, which run
// bottom-up unless the header says otherwise.
class Canvas {
 public:
  explicit Canvas(const Header& h) : topDown_(h.topDown) {
    bmp_.width = static_cast<int>(h.width);
    bmp_.height = static_cast<int>(h.height);
    bmp_.pixels.assign(static_cast<std::size_t>(h.width * h.height), 0);
  }
  void Put(std::int64_t x, std::int64_t fileRow, std::uint32_t colour) {
    const std::int64_t y = topDown_ ? fileRow : bmp_.height - 1 - fileRow;
    bmp_.pixels[static_cast<std::size_t>(y * bmp_.width + x)] = colour;
  }
  Bitmap Take() { return std::move(bmp_); }

 private:
  Bitmap bmp_;
  bool topDown_;
};

// Run-length encoded rows; pixels not reached stay black.
bool DecodeRunLengths(std::string_view data, const Header& h, const std::vector<std::uint32_t>& palette,
                      Canvas& canvas) {
  const Reader d(data);
  const bool four = h.compression == kBiRle4;
  const auto indexAt = [four](std::uint32_t byte, std::uint32_t i) {
    return four ? ((i & 1) ? byte & 0x0F : byte >> 4) : byte;
  };
  const auto put = [&](std::int64_t x, std::int64_t row, std::uint32_t index) {
    if (x < h.width && row < h.height) canvas.Put(x, row, palette[index]);
  };
  std::size_t at = 0;
  std::int64_t x = 0, row = 0;
  for (;;) {
    const std::uint32_t count = d.U8(at), value = d.U8(at + 1);
    at += 2;
    if (count > 0) {  // a run of `count` pixels
      for (std::uint32_t i = 0; i < count; ++i, ++x) put(x, row, indexAt(value, i));
    } else if (value == 0) {  // end of the row
      x = 0;
      ++row;
    } else if (value == 1) {  // end of the picture
      return !d.failed();
    } else if (value == 2) {  // a jump to the right and up
      x += d.U8(at);
      row += d.U8(at + 1);
      at += 2;
    } else {  // `value` pixels given one by one, padded to a word
      const std::uint32_t n = value;
      for (std::uint32_t i = 0; i < n; ++i, ++x) put(x, row, indexAt(d.U8(at + (four ? i / 2 : i)), i));
      const std::size_t used = four ? (n + 1) / 2 : n;
      at += (used + 1) & ~static_cast<std::size_t>(1);
    }
    if (row > h.height || d.failed()) return false;
  }
}

// One pixel of an uncompressed row.
std::uint32_t RawPixel(const unsigned char* line, std::int64_t x, const Header& h,
                       const std::vector<std::uint32_t>& palette, const Masks& m) {
  const auto masked = [&m](std::uint32_t v) { return m.red.Get(v) << 16 | m.green.Get(v) << 8 | m.blue.Get(v); };
  switch (h.bitCount) {
    case 1: return palette[(line[x / 8] >> (7 - x % 8)) & 1];
    case 4: return palette[(line[x / 2] >> ((x % 2) ? 0 : 4)) & 0x0F];
    case 8: return palette[line[x]];
    case 16: return masked(line[x * 2] | line[x * 2 + 1] << 8);
    case 24: return line[x * 3 + 2] << 16 | line[x * 3 + 1] << 8 | line[x * 3];
    case 32:
      return masked(line[x * 4] | line[x * 4 + 1] << 8 | line[x * 4 + 2] << 16 |
                    static_cast<std::uint32_t>(line[x * 4 + 3]) << 24);
  }
  return 0;
}

// Uncompressed rows, each padded to a multiple of four bytes.
bool DecodeRows(std::string_view data, const Header& h, const std::vector<std::uint32_t>& palette, const Masks& masks,
                Canvas& canvas) {
  const std::uint64_t stride = ((static_cast<std::uint64_t>(h.width) * h.bitCount + 31) / 32) * 4;
  if (stride * static_cast<std::uint64_t>(h.height) > data.size()) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  for (std::int64_t row = 0; row < h.height; ++row) {
    const unsigned char* line = p + static_cast<std::size_t>(row * stride);
    for (std::int64_t x = 0; x < h.width; ++x) canvas.Put(x, row, RawPixel(line, x, h, palette, masks));
  }
  return true;
}

}  // namespace

bool DecodeBitmapFile(std::string_view bytes, Bitmap& bitmap) {
  const Reader r(bytes);
  Header h;
  if (!ReadHeader(r, bytes, h)) return false;
  Masks masks;
  if (h.bitCount == 16 || h.bitCount == 32) masks = ReadMasks(r, h);
  std::vector<std::uint32_t> palette;
  if (h.bitCount <= 8 && !ReadPalette(r, h, bytes.size(), palette)) return false;
  if (r.failed()) return false;
  Canvas canvas(h);
  const std::string_view data = bytes.substr(h.offBits);
  if (!(h.rle() ? DecodeRunLengths(data, h, palette, canvas) : DecodeRows(data, h, palette, masks, canvas)))
    return false;
  bitmap = canvas.Take();
  return true;
}

}  // namespace brisko
