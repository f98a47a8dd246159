#include "core/picture/stored_picture.h"

#include "core/format/package_format.h"
#include "core/payload/payload_reader.h"
#include "core/text/fixed_texts.h"

namespace brisko {

bool LoadBackground(Resources& resources, Bitmap& bitmap, RaisedError& error) {
  std::optional<std::string_view> file = resources.Find(format::kBackgroundType, format::kBackgroundName);
  std::string unpacked;
  if (!file) {
    const std::optional<std::string_view> frame =
        resources.Find(format::kCompressedBackgroundType, format::kBackgroundName);
    if (!frame) {
      error.Raise(ResourceNotFoundText(format::kBackgroundName));
      return false;
    }
    if (UnpackPictureFrame(*frame, unpacked)) file = unpacked;
  }
  if (file && DecodeBitmapFile(*file, bitmap)) return true;
  error.Raise(texts::kErrBadBitmap);
  return false;
}

bool UnpackPictureFrame(std::string_view frame, std::string& file) {
  file.clear();
  std::uint64_t size = 0;
  if (!ZstdContentSize(frame, size, format::kBackgroundWindowLog) || size > format::kMaxBackgroundFileSize)
    return false;
  const std::unique_ptr<PayloadReader> reader =
      MakeZstdReader(frame, MakeMemorySource(frame), format::kBackgroundWindowLog);
  if (!reader) return false;
  file.reserve(static_cast<std::size_t>(size));
  for (std::string_view piece;;) {
    if (!reader->Next(piece)) {
      file.clear();
      return false;
    }
    if (piece.empty()) return true;
    file.append(piece);
  }
}

}  // namespace brisko
