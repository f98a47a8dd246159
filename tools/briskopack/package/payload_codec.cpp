#include "package/payload_codec.h"

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_c_jobSize and the other advanced parameters
#include <zstd.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include "core/format/package_format.h"
#include "core/payload/payload_reader.h"

namespace brisko::pack {

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;

void Check(std::size_t result, const std::string& what) {
  if (ZSTD_isError(result)) throw PackError(what, std::string("zstd: ") + ZSTD_getErrorName(result));
}

}  // namespace

struct FrameWriter::Context {
  ~Context() { ZSTD_freeCCtx(cctx); }
  ZSTD_CCtx* cctx = nullptr;
  std::vector<char> output;
};

unsigned ThreadCount(const CompressOptions& options) {
  return options.threads != 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
}

// Level and window as asked, a checksum and the content size in the frame.
// Long-distance matching finds repeats across the whole window, as `zstd
// --long` does. A large file is split into jobs for zstd's own threads (the
// jobs are cut by size, so the frame does not depend on how many threads
// there are); a smaller one is compressed by the calling thread alone.
FrameWriter::FrameWriter(ByteSink& out, std::uint64_t size, const CompressOptions& options, const std::string& name)
    : context_(std::make_unique<Context>()), out_(out), name_(name), left_(size) {
  context_->cctx = ZSTD_createCCtx();
  if (!context_->cctx) throw PackError(name, "cannot compress: out of memory");
  context_->output.resize(ZSTD_CStreamOutSize());
  const bool split = size >= kSplitFilesFrom;
  const std::pair<ZSTD_cParameter, int> parameters[] = {
      {ZSTD_c_compressionLevel, options.level},
      {ZSTD_c_windowLog, options.windowLog},
      {ZSTD_c_enableLongDistanceMatching, options.longDistance ? 1 : 0},
      {ZSTD_c_checksumFlag, 1},
      {ZSTD_c_contentSizeFlag, 1},
      {ZSTD_c_nbWorkers, split ? static_cast<int>(ThreadCount(options)) : 0},
      {ZSTD_c_jobSize, split ? kJobSize : 0},
  };
  for (const auto& [parameter, value] : parameters)
    Check(ZSTD_CCtx_setParameter(context_->cctx, parameter, value), name);
  Check(ZSTD_CCtx_setPledgedSrcSize(context_->cctx, size), name);
}

FrameWriter::~FrameWriter() = default;

void FrameWriter::Write(const void* data, std::size_t size) {
  if (size > left_) throw PackError(name_, "more bytes than the frame was to hold");
  left_ -= size;
  Push(data, size, false);
}

void FrameWriter::Finish() {
  if (left_ != 0) throw PackError(name_, "fewer bytes than the frame was to hold");
  Push(nullptr, 0, true);
}

void FrameWriter::Push(const void* data, std::size_t size, bool last) {
  ZSTD_inBuffer from{data, size, 0};
  // Until this input is taken, and at the end until the frame is closed.
  for (bool done = false; !done;) {
    ZSTD_outBuffer to{context_->output.data(), context_->output.size(), 0};
    const std::size_t pending = ZSTD_compressStream2(context_->cctx, &to, &from, last ? ZSTD_e_end : ZSTD_e_continue);
    Check(pending, name_);
    out_.Write(context_->output.data(), to.pos);
    done = last ? pending == 0 : from.pos == from.size;
  }
}

namespace {

// The stored bytes of a resource, read in pieces.
class ResourceSource final : public ByteSource {
 public:
  explicit ResourceSource(const ResourceData& data) : data_(data) {}
  bool Next(std::string_view& bytes) override {
    piece_ = data_.ReadPart(offset_, kChunk);
    offset_ += piece_.size();
    bytes = piece_;
    return true;
  }

 private:
  const ResourceData& data_;
  std::uint64_t offset_ = 0;
  std::string piece_;
};

std::string Head(const ResourceData& data) { return data.ReadPart(0, kZstdHeaderMax); }

}  // namespace

int MaxCompressionLevel() { return ZSTD_maxCLevel(); }

ByteRanges FileRanges(InputFile& in, std::uint64_t offset) {
  return [&in, offset](std::uint64_t at, std::uint64_t size, ByteSink& sink) { in.CopyTo(offset + at, size, sink); };
}

ByteRanges MemoryRanges(std::string_view bytes) {
  return [bytes](std::uint64_t at, std::uint64_t size, ByteSink& sink) {
    sink.Write(bytes.data() + at, static_cast<std::size_t>(size));
  };
}

namespace {

// Counts the bytes written to it, and keeps none.
class CountingSink final : public ByteSink {
 public:
  void Write(const void*, std::size_t size) override { count += size; }
  std::uint64_t count = 0;
};

// The size of `size` bytes from `offset` compressed into one frame.
std::uint64_t CompressedSize(const ByteRanges& bytes, std::uint64_t offset, std::uint64_t size,
                             const CompressOptions& options, const std::string& name) {
  CountingSink counted;
  FrameWriter frame(counted, size, options, name);
  bytes(offset, size, frame);
  frame.Finish();
  return counted.count;
}

}  // namespace

bool SamplesShrink(const ByteRanges& bytes, std::uint64_t size, const CompressOptions& options,
                   const std::string& name) {
  if (size < kTrialFrom || options.level <= kTrialLevel) return true;
  CompressOptions sample = options;
  sample.threads = 1;
  sample.longDistance = false;
  std::uint64_t sampled = 0;
  for (int i = 0; i < kTrialSamples; ++i) {
    const std::uint64_t at = (size - kTrialSampleSize) / (kTrialSamples - 1) * i;
    sampled += CompressedSize(bytes, at, kTrialSampleSize, sample, name);
  }
  return sampled < kTrialSamples * kTrialSampleSize;
}

bool WorthCompressing(const ByteRanges& bytes, std::uint64_t size, const CompressOptions& options,
                      const std::string& name) {
  if (SamplesShrink(bytes, size, options, name)) return true;
  CompressOptions quick = options;
  quick.level = kTrialLevel;
  quick.longDistance = true;
  return CompressedSize(bytes, 0, size, quick, name) < size;
}

void CompressRange(InputFile& in, std::uint64_t offset, std::uint64_t size, ByteSink& out,
                   const CompressOptions& options) {
  FrameWriter frame(out, size, options, in.name());
  in.CopyTo(offset, size, frame);
  frame.Finish();
}

std::string CompressPicture(std::string_view file, const std::string& name) {
  if (file.size() > format::kMaxBackgroundFileSize)
    throw PackError(name, "too large for a background (" + std::to_string(file.size()) + " bytes)");
  CompressOptions options;
  options.level = MaxCompressionLevel();
  options.threads = 1;
  options.longDistance = false;
  // The smallest window that holds the whole file: a larger one would only
  // ask more memory of the installer.
  options.windowLog = ZSTD_WINDOWLOG_MIN;
  while (options.windowLog < format::kBackgroundWindowLog && (std::uint64_t{1} << options.windowLog) < file.size())
    ++options.windowLog;
  StringSink frame;
  FrameWriter writer(frame, file.size(), options, name);
  writer.Write(file.data(), file.size());
  writer.Finish();
  return std::move(frame.bytes);
}

std::uint64_t UnpackedSize(format::PayloadKind kind, const ResourceData& data, const std::string& where) {
  if (kind == format::PayloadKind::Raw) return data.size();
  std::uint64_t size = 0;
  if (!ZstdContentSize(Head(data), size))
    throw PackError(where, "the compressed payload's frame header is damaged or not one an installer accepts");
  return size;
}

void Unpack(format::PayloadKind kind, const ResourceData& data, ByteSink& sink, const std::string& where) {
  if (kind == format::PayloadKind::Raw) {
    data.WriteTo(sink);
    return;
  }
  UnpackedSize(kind, data, where);
  const std::unique_ptr<PayloadReader> reader = MakeZstdReader(Head(data), std::make_unique<ResourceSource>(data));
  if (!reader) throw PackError(where, "cannot decode the compressed payload: out of memory");
  for (std::string_view piece;;) {
    if (!reader->Next(piece)) throw PackError(where, "the compressed payload is damaged (its frame does not check)");
    if (piece.empty()) return;
    sink.Write(piece.data(), piece.size());
  }
}

}  // namespace brisko::pack
