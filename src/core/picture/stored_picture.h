// The background picture as a package stores it: a bitmap file as it is, or
// one zstd frame of it.
#pragma once

#include <string>
#include <string_view>

#include "core/errors.h"
#include "core/picture/bitmap.h"
#include "core/platform.h"

namespace brisko {

// Decodes the package's background, stored raw (a bitmap file) or, where
// there is none, compressed. False, having raised into `error`, when neither
// is there ("RESOURCE_BACKGROUND リソースが見つかりません") or what is there
// is no valid bitmap ("ビットマップイメージが不正です"); `bitmap` is then
// unchanged.
bool LoadBackground(Resources& resources, Bitmap& bitmap, RaisedError& error);

// Decodes a compressed background's frame into the bitmap file it holds.
// False when the frame is damaged, records no content size or one over
// format::kMaxBackgroundFileSize, carries no checksum, or is followed by more
// bytes; `file` is then empty.
bool UnpackPictureFrame(std::string_view frame, std::string& file);

}  // namespace brisko
