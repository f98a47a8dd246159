// Icons: an icon file (.ico) and the resources a program carries one in, an
// RT_ICON resource for each image and an RT_GROUP_ICON directory of them,
// which LoadIconW and Explorer read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pe/resource_tree.h"

namespace brisko::pack {

constexpr std::uint16_t kIconType = 3;        // RT_ICON
constexpr std::uint16_t kIconGroupType = 14;  // RT_GROUP_ICON
// The group whose icon the installer loads for its window, and Explorer
// shows for its file (named groups come before numbered ones).
constexpr char kMainIconName[] = "MAINICON";

struct IconImage {
  int width = 0;  // in pixels
  int height = 0;
  int bitCount = 0;  // bits per pixel, as the file's entry gives them
  bool png = false;  // a PNG file, else a DIB from its BITMAPINFOHEADER on
  // The directory entry's colour count and planes, which the group copies.
  std::uint8_t colorCount = 0;
  std::uint16_t planes = 1;
  std::string bytes;
};

struct IconFile {
  std::vector<IconImage> images;
  // Why the file is no icon Windows can use (header, directory, an image
  // that is neither a PNG nor a DIB, or that its entry describes otherwise);
  // empty when it is one.
  std::string problem;
};

// The images of an icon file, in its directory's order.
IconFile ReadIconFile(std::string_view file);

// A group directory's entry, as list shows it.
struct IconGroupEntry {
  int width = 0;
  int height = 0;
  int bitCount = 0;
  std::uint32_t size = 0;
  std::uint16_t id = 0;  // of the RT_ICON resource
};

// The largest group directory: 65,535 entries.
constexpr std::uint32_t kMaxIconGroupSize = 6 + 14 * 0xFFFF;

// The entries of a group directory; empty when the bytes are none.
std::vector<IconGroupEntry> ReadIconGroup(std::string_view group);

// What an image is, from its first bytes: "PNG" or "DIB".
bool IsPngImage(std::string_view image);

// Makes `images` the icon `kMainIconName` of `tree`, language-neutral: the
// group of that name is removed in every language with the RT_ICON images
// it used that no other group uses, and the new images take the lowest
// free numbers.
void PutMainIcon(ResourceTree& tree, const std::vector<IconImage>& images);

}  // namespace brisko::pack
