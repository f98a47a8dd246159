#include "core/picture/stored_picture.h"

#include "core/format/package_format.h"
#include "core/payload/payload_reader.h"

namespace brisko {

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
