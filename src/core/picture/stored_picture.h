// The background picture as a package stores it: a bitmap file as it is, or
// one zstd frame of it.
#pragma once

#include <string>
#include <string_view>

namespace brisko {

// Decodes a compressed background's frame into the bitmap file it holds.
// False when the frame is damaged, records no content size or one over
// format::kMaxBackgroundFileSize, carries no checksum, or is followed by more
// bytes; `file` is then empty.
bool UnpackPictureFrame(std::string_view frame, std::string& file);

}  // namespace brisko
