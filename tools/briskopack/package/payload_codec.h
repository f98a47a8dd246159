// Payloads as the packer stores them and reads them back: raw ("BIN"), or
// compressed into one zstd frame ("ZSTD") that the installer decodes with the
// same reader as this file's Unpack.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/format/package_format.h"
#include "pe/resource_tree.h"
#include "platform/file_io.h"

namespace brisko::pack {

// Levels as zstd counts them: 1 is fastest, 22 smallest. The default, with
// the long window, compresses a little better than `zstd -19 --long=27`.
inline constexpr int kDefaultCompressionLevel = 20;
int MaxCompressionLevel();

// A file at least this large is compressed by several threads at once, in
// jobs of kJobSize that each see the part of the window before them; a
// smaller one by one thread, while other threads take other files. Which of
// the two depends only on the size, so the frame is the same however many
// processors there are.
inline constexpr std::uint64_t kSplitFilesFrom = std::uint64_t{128} << 20;
inline constexpr int kJobSize = 32 << 20;

struct CompressOptions {
  int level = kDefaultCompressionLevel;
  // Threads; 0 is one per processor.
  unsigned threads = 0;
  // The largest distance a match may reach back, as a power of two; the
  // decoder needs about that much memory.
  int windowLog = format::kMaxWindowLog;
  // Long-distance matching, which finds repeats across a large window.
  bool longDistance = true;
};

// The threads that `options` asks for.
unsigned ThreadCount(const CompressOptions& options);

// Compresses bytes fed in any pieces into one frame of a size known ahead,
// which records its content size and carries a checksum.
class FrameWriter final : public ByteSink {
 public:
  // `name` is for messages.
  FrameWriter(ByteSink& out, std::uint64_t size, const CompressOptions& options, const std::string& name);
  ~FrameWriter() override;
  FrameWriter(const FrameWriter&) = delete;
  FrameWriter& operator=(const FrameWriter&) = delete;

  void Write(const void* data, std::size_t size) override;
  // Ends the frame; throws PackError when fewer or more bytes came than said.
  void Finish();

 private:
  void Push(const void* data, std::size_t size, bool last);

  struct Context;
  std::unique_ptr<Context> context_;
  ByteSink& out_;
  std::string name_;
  std::uint64_t left_;
};

// Bytes to be compressed, handed out by range: writes the `size` bytes from
// `offset` to `sink`.
using ByteRanges = std::function<void(std::uint64_t offset, std::uint64_t size, ByteSink& sink)>;

// The bytes of `in` from `offset` on, by range.
ByteRanges FileRanges(InputFile& in, std::uint64_t offset);
// Bytes in memory, by range.
ByteRanges MemoryRanges(std::string_view bytes);

// Bytes are compressed slowly only when a quick trial shows that they
// shrink; the trial's samples, and the size from which it is made (below,
// compressing costs too little to be worth a trial).
inline constexpr std::uint64_t kTrialFrom = std::uint64_t{1} << 20;
inline constexpr int kTrialSamples = 16;
inline constexpr std::uint64_t kTrialSampleSize = 32 << 10;
inline constexpr int kTrialLevel = 1;

// Whether compressing `size` bytes at `options` is worth it: true when they
// shrink either as spread samples compressed at options' level, which
// finds what compresses a little everywhere, or all of them compressed at
// kTrialLevel with long-distance matching over options' window, which finds
// what compresses only somewhere or repeats far apart. False for bytes that
// do neither (random data, media and archives already compressed), which
// options' level would take a hundred times as long as storing them to
// gain nothing, or a few bytes in ten thousand. True without a trial below
// kTrialFrom bytes and at kTrialLevel or below. `name` is for messages.
bool WorthCompressing(const ByteRanges& bytes, std::uint64_t size, const CompressOptions& options,
                      const std::string& name);

// The first half of that trial: true when the spread samples shrink at
// options' level (or the bytes are too few for a trial).
bool SamplesShrink(const ByteRanges& bytes, std::uint64_t size, const CompressOptions& options,
                   const std::string& name);

// Compresses `size` bytes of `in` from `offset` into `out` as one frame that
// records its content size and carries a checksum, matching over a window of
// at most 2^options.windowLog bytes. Throws PackError when reading fails or
// zstd refuses.
void CompressRange(InputFile& in, std::uint64_t offset, std::uint64_t size, ByteSink& out,
                   const CompressOptions& options);

// A background picture's bitmap file as a package stores it compressed: one
// frame at the highest level, with a window just large enough for the file
// (never above 2^format::kBackgroundWindowLog). `name` is for messages.
std::string CompressPicture(std::string_view file, const std::string& name);

// The bytes a stored payload gives: its size, or the content size its frame
// records. Throws PackError naming `where` when the frame's header is one the
// installer would refuse.
std::uint64_t UnpackedSize(format::PayloadKind kind, const ResourceData& data, const std::string& where);

// Writes the payload's bytes to `sink`, a compressed one decoded and checked
// as the installer checks it (frame checksum, content size, nothing after
// the frame). Throws PackError naming `where` when it is damaged.
void Unpack(format::PayloadKind kind, const ResourceData& data, ByteSink& sink, const std::string& where);

}  // namespace brisko::pack
