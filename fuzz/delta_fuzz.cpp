// The installer's reading of delta payloads on arbitrary bytes. The input is
// a 4-byte little-endian length, the destination's bytes of that length,
// and the stored payload. The harness plans the entry as the installer
// does, then reads what the plan calls for; whatever a reader gives in full
// must be the result the payload records (its size and SHA-256).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "core/apply/patch_plan.h"
#include "core/payload/delta.h"

using namespace brisko;

namespace {

class MemoryFile final : public RandomAccessFile {
 public:
  explicit MemoryFile(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, void* data, std::size_t size, std::size_t& got) override {
    got = offset < bytes_.size() ? std::min<std::size_t>(size, bytes_.size() - offset) : 0;
    if (got) std::memcpy(data, bytes_.data() + offset, got);
    return true;
  }

 private:
  std::string_view bytes_;
};

// Reads to the end, checking what a complete read gives; stops early past
// 64 MiB (a few bytes of instructions can copy a source many times over).
void Drain(PayloadReader& reader, const FileIdentity& recorded) {
  Sha256 sha;
  std::uint64_t size = 0;
  for (std::string_view piece;;) {
    if (!reader.Next(piece)) return;
    if (piece.empty()) break;
    if (piece.size() > PayloadReader::kPieceSize) std::abort();
    sha.Update(piece);
    size += piece.size();
    if (size > (std::uint64_t{64} << 20)) return;
  }
  if (size != recorded.size || sha.Finish() != recorded.sha) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::size_t length = data[0] | data[1] << 8 | data[2] << 16 | std::size_t{data[3]} << 24;
  if (length > size - 4) return 0;
  const std::string_view destination(reinterpret_cast<const char*>(data) + 4, length);
  const StoredPayload stored{format::PayloadKind::Delta,
                             std::string_view(reinterpret_cast<const char*>(data) + 4 + length, size - 4 - length)};
  MemoryFile file(destination);
  const EntryPlan plan = DecideAction(ReadPayload(stored), &file);
  DecideAction(ReadPayload(stored), nullptr);
  DeltaPayload payload;
  const bool readable = ReadDeltaPayload(stored.bytes, payload);
  if (readable != (plan.action != EntryAction::Failed)) std::abort();
  if (plan.action == EntryAction::WriteWhole) {
    if (auto reader = OpenWholeReader(ReadPayload(stored))) Drain(*reader, payload.result);
  } else if (plan.action == EntryAction::ApplyDelta) {
    if (plan.source >= payload.sources.size() || !(payload.sources[plan.source].file.size == destination.size()))
      std::abort();
    if (auto reader = OpenDelta(payload, plan.source, std::make_unique<MemoryFile>(destination)))
      Drain(*reader, payload.result);
  }
  return 0;
}
