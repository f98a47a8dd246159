// The readers of the author's icon and version record, and of those an
// installer carries: an icon file, an icon group, a version record resource
// and a version.txt, each from the same bytes. None may crash; what reads as
// a record or an icon must come out of its writer and read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "lint/version_info.h"
#include "pe/icon_resources.h"
#include "pe/version_record.h"

using namespace brisko::pack;

namespace {

// A record written and read back is the record.
void RoundTrip(const VersionRecord& record) {
  std::string bytes;
  try {
    bytes = EncodeVersionRecord(record);
  } catch (const std::length_error&) {
    return;  // more strings than a record's 16-bit length can hold
  }
  const std::optional<VersionRecord> back = DecodeVersionRecord(bytes);
  if (!back || back->fileVersion != record.fileVersion || back->productVersion != record.productVersion ||
      back->strings.size() != record.strings.size())
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const IconFile icon = ReadIconFile(bytes);
  if (icon.problem.empty() == icon.images.empty()) std::abort();  // images exactly when it is an icon
  for (const IconImage& image : icon.images)
    if (image.width < 1 || image.width > 256 || image.height < 1 || image.height > 256) std::abort();
  ReadIconGroup(bytes);
  if (const std::optional<VersionRecord> record = DecodeVersionRecord(bytes)) RoundTrip(*record);
  const VersionInfoFile file = ReadVersionInfo(bytes);
  if (const std::optional<VersionRecord> record = VersionRecordOf(file)) RoundTrip(*record);
  return 0;
}
