// The compressed payload reader on arbitrary bytes, handed to it in pieces of
// a size that the first byte picks: it either reports damage or gives
// exactly the number of bytes that its header records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/payload/payload_reader.h"

using namespace brisko;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = std::size_t{1} << (data[0] % 21);
  const std::string_view frame(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::uint64_t recorded = 0;
  const bool accepted = ZstdContentSize(frame, recorded);
  const auto reader = MakeZstdReader(frame, MakeMemorySource(frame, piece));
  if (accepted != (reader != nullptr)) std::abort();
  if (!reader) return 0;
  // Content beyond what a fuzzer can give in memory is cut short: damage.
  if (recorded > (std::uint64_t{1} << 30)) return 0;
  std::uint64_t given = 0;
  for (std::string_view bytes;;) {
    if (!reader->Next(bytes)) return 0;
    if (bytes.empty()) break;
    if (bytes.size() > PayloadReader::kPieceSize) std::abort();
    given += bytes.size();
  }
  if (given != recorded) std::abort();
  return 0;
}
