// Payloads as the packer stores them and reads them back: raw ("BIN"), or
// compressed into one zstd frame ("ZSTD") that the installer decodes with the
// same reader as this file's Unpack.
#pragma once

#include <cstdint>
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
class FrameWriter {
 public:
  // `name` is for messages.
  FrameWriter(ByteSink& out, std::uint64_t size, const CompressOptions& options, const std::string& name);
  ~FrameWriter();
  FrameWriter(const FrameWriter&) = delete;
  FrameWriter& operator=(const FrameWriter&) = delete;

  void Write(const void* data, std::size_t size);
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
