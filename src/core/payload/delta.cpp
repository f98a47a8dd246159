#include "core/payload/delta.h"

#include <cstring>

#include "core/format/byte_order.h"
#include "core/format/package_format.h"

namespace brisko {
namespace {

FileIdentity ReadIdentity(const char* size, const char* sha) {
  FileIdentity identity;
  identity.size = le::Get(size, 8);
  std::memcpy(identity.sha.data(), sha, identity.sha.size());
  return identity;
}

// Takes the next `length` stored bytes of `body` as one frame whose header
// the installer accepts with a window of 2^windowLog bytes; `content` is the
// size it records.
bool TakeFrame(std::string_view& body, std::uint64_t length, int windowLog, std::string_view& frame,
               std::uint64_t& content) {
  if (length > body.size()) return false;
  frame = body.substr(0, static_cast<std::size_t>(length));
  body.remove_prefix(frame.size());
  return ZstdContentSize(frame, content, windowLog);
}

// Checks a reader's size and SHA-256 once it has given its last byte.
class CheckedReader final : public PayloadReader {
 public:
  CheckedReader(std::unique_ptr<PayloadReader> inner, const FileIdentity& expected)
      : inner_(std::move(inner)), expected_(expected) {}

  std::uint64_t size() const override { return expected_.size; }

  bool Next(std::string_view& piece) override {
    piece = {};
    if (!inner_) return good_;
    if (!inner_->Next(piece)) {
      inner_.reset();
      return good_ = false;
    }
    if (!piece.empty()) {
      done_ += piece.size();
      sha_.Update(piece);
      return true;
    }
    inner_.reset();  // releases the source before the result is put in place
    return good_ = done_ == expected_.size && sha_.Finish() == expected_.sha;
  }

 private:
  std::unique_ptr<PayloadReader> inner_;
  FileIdentity expected_;
  Sha256 sha_;
  std::uint64_t done_ = 0;
  bool good_ = false;  // the verdict, once the inner reader is done
};

}  // namespace

bool ReadDeltaPayload(std::string_view stored, DeltaPayload& payload) {
  using Header = format::DeltaHeader;
  using Record = format::DeltaSourceRecord;
  payload = {};
  if (stored.size() < Header::kSize || stored.compare(Header::kMagic, 4, format::kDeltaMagic, 4) != 0) return false;
  const std::uint64_t count = le::Get32(stored, Header::kSourceCount);
  if (count > format::kMaxDeltaSources) return false;
  payload.result = ReadIdentity(stored.data() + Header::kResultSize, stored.data() + Header::kResultSha);
  const std::size_t records = static_cast<std::size_t>(count) * Record::kSize;
  if (stored.size() - Header::kSize < records) return false;
  std::string_view body = stored.substr(Header::kSize + records);
  std::uint64_t content = 0;
  if (count == 0) {
    payload.whole = body;
    return ZstdContentSize(body, content, format::kDeltaWholeWindowLog) && content == payload.result.size;
  }
  payload.sources = std::vector<DeltaSource>(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    const char* record = stored.data() + Header::kSize + i * Record::kSize;
    DeltaSource& source = payload.sources[i];
    source.file = ReadIdentity(record + Record::kSourceSize, record + Record::kSourceSha);
    if (!TakeFrame(body, le::Get(record + Record::kControlLength, 8), format::kDeltaControlWindowLog, source.control,
                   content) ||
        !TakeFrame(body, le::Get(record + Record::kDiffLength, 8), format::kDeltaDataWindowLog, source.diff, content) ||
        !TakeFrame(body, le::Get(record + Record::kLiteralLength, 8), format::kDeltaDataWindowLog, source.literal,
                   content))
      return false;
  }
  return body.empty();
}

std::unique_ptr<PayloadReader> OpenDelta(const DeltaPayload& payload, std::size_t index,
                                         std::unique_ptr<RandomAccessFile> source) {
  if (index >= payload.sources.size() || !source) return nullptr;
  auto applier = MakeDeltaApplier(payload.sources[index], payload.result.size, std::move(source));
  if (!applier) return nullptr;
  return std::make_unique<CheckedReader>(std::move(applier), payload.result);
}

std::unique_ptr<PayloadReader> OpenWholeContent(const DeltaPayload& payload) {
  auto reader = MakeZstdReader(payload.whole, MakeMemorySource(payload.whole), format::kDeltaWholeWindowLog);
  if (!reader) return nullptr;
  return std::make_unique<CheckedReader>(std::move(reader), payload.result);
}

bool IdentifyFile(RandomAccessFile& file, FileIdentity& identity, Progress* progress) {
  std::unique_ptr<char[]> buffer(new char[PayloadReader::kPieceSize]);
  Sha256 sha;
  identity.size = file.size();
  for (std::uint64_t at = 0; at < identity.size;) {
    std::size_t got = 0;
    if (!file.ReadAt(at, buffer.get(), PayloadReader::kPieceSize, got) || got == 0) return false;
    if (got > identity.size - at) got = static_cast<std::size_t>(identity.size - at);
    sha.Update(buffer.get(), got);
    at += got;
    if (progress) progress->Add(got);
  }
  identity.sha = sha.Finish();
  return true;
}

}  // namespace brisko
