#include "pe/icon_resources.h"

#include <set>

#include "core/format/byte_order.h"

namespace brisko::pack {

namespace {

// The icon file: a header (reserved 0, type 1, image count), then a
// directory entry for each image: width, height (0 for 256), colour count,
// reserved, planes, bits per pixel, the image's size and its offset in the
// file. A group resource has the same entries with the image's resource
// number in place of its offset.
constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kFileEntrySize = 16;
constexpr std::size_t kGroupEntrySize = 14;
constexpr std::uint16_t kIconKind = 1;
constexpr int kLargestSide = 256;

// A DIB image: a BITMAPINFOHEADER, the palette, then the colour bitmap and
// the 1-bit mask, both bottom-up, the header giving their height together.
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::size_t kDibWidth = 4, kDibHeight = 8, kDibPlanes = 12, kDibBitCount = 14, kDibCompression = 16,
                      kDibColorsUsed = 32;

// A PNG image: the signature, then the IHDR chunk's length, type, width and
// height (big-endian), bit depth and colour type.
constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";
constexpr std::size_t kPngSignatureSize = 8;
constexpr std::size_t kPngWidth = 16, kPngHeight = 20, kPngBitDepth = 24, kPngColorType = 25, kPngHeaderEnd = 33;

std::uint32_t BigEndian32(std::string_view b, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(b[at + i]);
  return value;
}

int Side(std::uint8_t field) { return field == 0 ? kLargestSide : field; }

std::string Image(std::size_t index) { return "image " + std::to_string(index + 1); }

// Reads the PNG's size and bits per pixel; a problem when it has none.
std::string ReadPng(IconImage& image, std::size_t index) {
  const std::string_view b = image.bytes;
  if (b.size() < kPngHeaderEnd || b.substr(12, 4) != "IHDR") return Image(index) + " is a PNG without its header";
  image.width = static_cast<int>(std::min<std::uint32_t>(BigEndian32(b, kPngWidth), 1u << 30));
  image.height = static_cast<int>(std::min<std::uint32_t>(BigEndian32(b, kPngHeight), 1u << 30));
  const int depth = static_cast<unsigned char>(b[kPngBitDepth]);
  static const int kChannels[] = {1, 0, 3, 1, 2, 0, 4};  // by colour type
  const unsigned type = static_cast<unsigned char>(b[kPngColorType]);
  const int channels = type < std::size(kChannels) ? kChannels[type] : 0;
  if (channels == 0) return Image(index) + " is a PNG of an unknown colour type";
  image.bitCount = channels * depth;
  return "";
}

// Reads the DIB's size and bits per pixel and checks that its bitmaps fit.
std::string ReadDib(IconImage& image, std::size_t index) {
  const std::string_view b = image.bytes;
  if (b.size() < kInfoHeaderSize || le::Get32(b, 0) != kInfoHeaderSize)
    return Image(index) + " is neither a PNG nor a DIB with a BITMAPINFOHEADER";
  const auto width = static_cast<std::int32_t>(le::Get32(b, kDibWidth));
  const auto doubled = static_cast<std::int32_t>(le::Get32(b, kDibHeight));
  const int bits = le::Get16(b, kDibBitCount);
  if (width <= 0 || width > kLargestSide || doubled <= 0 || doubled % 2 != 0 || doubled / 2 > kLargestSide)
    return Image(index) + "'s DIB has a size an icon cannot have";
  if (le::Get16(b, kDibPlanes) != 1 || (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32))
    return Image(index) + "'s DIB has " + std::to_string(bits) + " bits per pixel, which no icon has";
  if (le::Get32(b, kDibCompression) != 0) return Image(index) + "'s DIB is compressed, which no icon is";
  image.width = width;
  image.height = doubled / 2;
  image.bitCount = bits;
  const std::uint64_t colors =
      bits <= 8 ? (le::Get32(b, kDibColorsUsed) ? le::Get32(b, kDibColorsUsed) : 1u << bits) : 0;
  const std::uint64_t colorRow = (std::uint64_t{static_cast<std::uint32_t>(width)} * bits + 31) / 32 * 4;
  const std::uint64_t maskRow = (std::uint64_t{static_cast<std::uint32_t>(width)} + 31) / 32 * 4;
  if (kInfoHeaderSize + 4 * colors + (colorRow + maskRow) * static_cast<std::uint64_t>(image.height) > b.size())
    return Image(index) + "'s DIB is cut short";
  return "";
}

// The group directory of `images`, stored as the RT_ICON resources `ids`.
std::string GroupDirectory(const std::vector<IconImage>& images, const std::vector<std::uint16_t>& ids) {
  std::string group;
  le::Append16(group, 0);
  le::Append16(group, kIconKind);
  le::Append16(group, static_cast<std::uint16_t>(images.size()));
  for (std::size_t i = 0; i < images.size(); ++i) {
    const IconImage& image = images[i];
    group += static_cast<char>(image.width >= kLargestSide ? 0 : image.width);
    group += static_cast<char>(image.height >= kLargestSide ? 0 : image.height);
    group += static_cast<char>(image.colorCount);
    group += '\0';
    le::Append16(group, image.planes);
    le::Append16(group, static_cast<std::uint16_t>(image.bitCount));
    le::Append32(group, static_cast<std::uint32_t>(image.bytes.size()));
    le::Append16(group, ids[i]);
  }
  return group;
}

// The numbers of the RT_ICON images that the groups `match` accepts use.
template <typename Match>
std::set<std::uint16_t> ImagesOfGroups(const ResourceTree& tree, Match match) {
  std::set<std::uint16_t> ids;
  const auto groups = tree.types().find(ResourceId::Number(kIconGroupType));
  if (groups == tree.types().end()) return ids;
  for (const auto& [name, node] : groups->second.names) {
    if (!match(name)) continue;
    for (const auto& [language, leaf] : node.languages)
      if (leaf.data.size() <= kMaxIconGroupSize)
        for (const IconGroupEntry& entry : ReadIconGroup(leaf.data.Read())) ids.insert(entry.id);
  }
  return ids;
}

}  // namespace

IconFile ReadIconFile(std::string_view file) {
  IconFile icon;
  if (file.size() < kHeaderSize || le::Get16(file, 0) != 0 || le::Get16(file, 2) != kIconKind ||
      le::Get16(file, 4) == 0) {
    icon.problem = "the file does not begin as an icon file does";
    return icon;
  }
  const std::size_t count = le::Get16(file, 4);
  const std::size_t directoryEnd = kHeaderSize + count * kFileEntrySize;
  if (directoryEnd > file.size()) {
    icon.problem = "the directory of " + std::to_string(count) + " images runs past the file's end";
    return icon;
  }
  for (std::size_t i = 0; i < count && icon.problem.empty(); ++i) {
    const std::size_t entry = kHeaderSize + i * kFileEntrySize;
    const std::uint32_t size = le::Get32(file, entry + 8), offset = le::Get32(file, entry + 12);
    if (size == 0 || offset < directoryEnd || offset > file.size() || size > file.size() - offset) {
      icon.problem = Image(i) + "'s entry points outside the file's images";
      break;
    }
    IconImage image;
    image.colorCount = static_cast<std::uint8_t>(file[entry + 2]);
    image.planes = le::Get16(file, entry + 4);
    image.bytes = std::string(file.substr(offset, size));
    image.png = IsPngImage(image.bytes);
    icon.problem = image.png ? ReadPng(image, i) : ReadDib(image, i);
    // The depth the entry gives, as resource compilers copy it; the image's
    // own where the entry gives none.
    if (const std::uint16_t bits = le::Get16(file, entry + 6)) image.bitCount = bits;
    const int width = Side(static_cast<std::uint8_t>(file[entry]));
    const int height = Side(static_cast<std::uint8_t>(file[entry + 1]));
    if (icon.problem.empty() && (image.width != width || image.height != height))
      icon.problem = Image(i) + " is " + std::to_string(image.width) + " x " + std::to_string(image.height) +
                     ", its entry says " + std::to_string(width) + " x " + std::to_string(height);
    icon.images.push_back(std::move(image));
  }
  if (!icon.problem.empty()) icon.images.clear();
  return icon;
}

std::vector<IconGroupEntry> ReadIconGroup(std::string_view group) {
  std::vector<IconGroupEntry> entries;
  if (group.size() < kHeaderSize || le::Get16(group, 2) != kIconKind) return entries;
  const std::size_t count = le::Get16(group, 4);
  if (kHeaderSize + count * kGroupEntrySize > group.size()) return entries;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = kHeaderSize + i * kGroupEntrySize;
    entries.push_back({Side(static_cast<std::uint8_t>(group[at])), Side(static_cast<std::uint8_t>(group[at + 1])),
                       le::Get16(group, at + 6), le::Get32(group, at + 8), le::Get16(group, at + 12)});
  }
  return entries;
}

bool IsPngImage(std::string_view image) { return image.substr(0, kPngSignatureSize) == kPngSignature; }

void PutMainIcon(ResourceTree& tree, const std::vector<IconImage>& images) {
  const ResourceId groupType = ResourceId::Number(kIconGroupType), iconType = ResourceId::Number(kIconType);
  const auto isMain = [](const ResourceId& name) { return name.NameEquals(kMainIconName); };
  const std::set<std::uint16_t> old = ImagesOfGroups(tree, isMain);
  const std::set<std::uint16_t> shared = ImagesOfGroups(tree, [&](const ResourceId& name) { return !isMain(name); });
  tree.RemoveIf([&](const ResourceId& type, const ResourceId& name) {
    if (type == groupType) return isMain(name);
    return type == iconType && !name.isName() && old.count(name.number()) && !shared.count(name.number());
  });
  std::set<std::uint16_t> taken;
  if (const auto icons = tree.types().find(iconType); icons != tree.types().end())
    for (const auto& [name, node] : icons->second.names)
      if (!name.isName()) taken.insert(name.number());
  std::vector<std::uint16_t> ids;
  for (std::uint16_t id = 1; ids.size() < images.size(); ++id)
    if (!taken.count(id)) ids.push_back(id);
  const ResourceId neutral = ResourceId::Number(0);
  for (std::size_t i = 0; i < images.size(); ++i)
    tree.Put(iconType, ResourceId::Number(ids[i]), neutral, ResourceData::Bytes(images[i].bytes));
  tree.Put(groupType, ResourceId::Ascii(kMainIconName), neutral, ResourceData::Bytes(GroupDirectory(images, ids)));
}

}  // namespace brisko::pack
