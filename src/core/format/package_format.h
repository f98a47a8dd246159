// The patch package as the installer reads it and the packer writes it: the
// resources that carry it, the script's keys and escapes, the background's
// size and how the patch type is derived. Both sides use these definitions,
// so that they cannot drift apart.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/text/text.h"

namespace brisko::format {

// Resources: types and names are strings, upper case, stored language-neutral.
inline constexpr char kScriptType[] = "TEXT";
inline constexpr char kScriptName[] = "RESOURCE_SCRIPT";
inline constexpr char kBackgroundType[] = "BMP";  // a complete bitmap file, file header included
inline constexpr char kBackgroundName[] = "RESOURCE_BACKGROUND";
// The background stored compressed, under the same name: one zstd frame of
// the whole bitmap file that records its content size (at most
// kMaxBackgroundFileSize) and carries a checksum, with a window no larger
// than that. The installer reads the raw form first, then this one.
inline constexpr char kCompressedBackgroundType[] = "ZSTD";
inline constexpr int kBackgroundWindowLog = 26;
inline constexpr std::size_t kMaxBackgroundFileSize = std::size_t{1} << kBackgroundWindowLog;
// The payload of each %OutFiles entry is one resource named by PayloadName,
// of one of these kinds; a package holds one kind for each entry, and the
// installer looks for them in this order.
enum class PayloadKind {
  // The file's bytes as they are.
  Raw,
  // One zstd frame that records the content size and carries a checksum.
  Compressed,
  // A record of the file it gives (size and SHA-256), so that the installer
  // can tell before writing anything whether a destination is already
  // patched or is a version the patch was made from; it holds either a
  // delta against one or more source versions, or the whole content
  // (layout: DeltaHeader, DeltaSourceRecord below).
  Delta,
};
inline constexpr PayloadKind kPayloadKinds[] = {PayloadKind::Raw, PayloadKind::Compressed, PayloadKind::Delta};

// The resource type of each kind.
inline constexpr char kPayloadType[] = "BIN";
inline constexpr char kCompressedPayloadType[] = "ZSTD";
inline constexpr char kDeltaPayloadType[] = "DELTA";
inline constexpr const char* PayloadType(PayloadKind kind) {
  return kind == PayloadKind::Raw          ? kPayloadType
         : kind == PayloadKind::Compressed ? kCompressedPayloadType
                                           : kDeltaPayloadType;
}
inline constexpr char kPayloadPrefix[] = "RESOURCE_FILE";

// A delta payload, all numbers little-endian:
//
//   header   DeltaHeader
//   records  source count x DeltaSourceRecord
//   body     no source: one zstd frame of the whole content (window at most
//            2^kDeltaWholeWindowLog);
//            otherwise each source's three streams in record order, each one
//            zstd frame (content size and checksum recorded; window at most
//            2^kDeltaControlWindowLog for control, 2^kDeltaDataWindowLog for
//            the others). Nothing follows the body.
//
// The control stream is a series of instructions, each three unsigned
// LEB128 numbers: c = copy length * 2 + (1 when it takes diff bytes), the
// literal length, and the zigzag-coded distance by which the source position
// moves afterwards. An instruction copies `copy length` bytes from the
// current source position (each added, modulo 256, to the next diff byte
// when the flag is set), then appends `literal length` bytes of the literal
// stream. The source position starts at 0, never leaves [0, source size],
// and the streams end exactly when the result is complete.
//
// The offsets of each field, which the reader and the writer both use.
struct DeltaHeader {
  static constexpr std::size_t kMagic = 0;        // "BPD1"
  static constexpr std::size_t kSourceCount = 4;  // u32, 0 to kMaxDeltaSources
  static constexpr std::size_t kResultSize = 8;   // u64
  static constexpr std::size_t kResultSha = 16;   // 32 bytes
  static constexpr std::size_t kSize = 48;
};
struct DeltaSourceRecord {
  static constexpr std::size_t kSourceSize = 0;      // u64
  static constexpr std::size_t kSourceSha = 8;       // 32 bytes
  static constexpr std::size_t kControlLength = 40;  // u64: stored bytes of each stream
  static constexpr std::size_t kDiffLength = 48;     // u64
  static constexpr std::size_t kLiteralLength = 56;  // u64
  static constexpr std::size_t kSize = 64;
};
inline constexpr std::size_t kShaSize = 32;
static_assert(DeltaHeader::kResultSize + 8 == DeltaHeader::kResultSha &&
              DeltaHeader::kResultSha + kShaSize == DeltaHeader::kSize);
static_assert(DeltaSourceRecord::kSourceSize + 8 == DeltaSourceRecord::kSourceSha &&
              DeltaSourceRecord::kSourceSha + kShaSize == DeltaSourceRecord::kControlLength &&
              DeltaSourceRecord::kControlLength + 8 == DeltaSourceRecord::kDiffLength &&
              DeltaSourceRecord::kDiffLength + 8 == DeltaSourceRecord::kLiteralLength &&
              DeltaSourceRecord::kLiteralLength + 8 == DeltaSourceRecord::kSize);
inline constexpr char kDeltaMagic[4] = {'B', 'P', 'D', '1'};
inline constexpr std::size_t kMaxDeltaSources = 16;
// Windows of the delta's frames: applying holds the three streams' windows
// at once, and stays within 64 MiB in all.
inline constexpr int kDeltaControlWindowLog = 20;
inline constexpr int kDeltaDataWindowLog = 24;
inline constexpr int kDeltaWholeWindowLog = 25;

// The largest window a compressed payload may use, as a power of two:
// 128 MiB. The decoder needs about that much memory whatever the payload's
// size; the installer refuses frames that would need more.
inline constexpr int kMaxWindowLog = 27;

// The resource of the payload for %OutFiles entry `index` (counted from 0,
// blank entries included): RESOURCE_FILE0, RESOURCE_FILE1, ...
inline std::string PayloadName(std::size_t index) { return kPayloadPrefix + std::to_string(index); }

// The script's keys: "*" starts a value section, "%" a list section, which
// "%%" ends.
inline constexpr char kValueKeyStart = '*';
inline constexpr char kListKeyStart = '%';
inline constexpr char kListEnd[] = "%%";

inline constexpr char kCaption[] = "*Caption";
inline constexpr char kGameTitle[] = "*GameTitle";
inline constexpr char kPatchType[] = "*PatchType";
inline constexpr char kCheckTargetFilename[] = "%CheckTargetFilename";
inline constexpr char kLinkPath[] = "%LinkPath";
inline constexpr char kOutFiles[] = "%OutFiles";

// Every key the installer looks up.
inline constexpr const char* kInstallerKeys[] = {kCaption,  kGameTitle, kPatchType, kCheckTargetFilename,
                                                 kLinkPath, kOutFiles};

// The escapes of values and items, replaced in this order, each over the
// result of the one before, letter case exact.
struct Escape {
  std::string_view sequence;
  std::string_view replacement;
};
inline constexpr Escape kEscapes[] = {
    {"&AMPERSAND;", "&"}, {"&TAB;", "\t"}, {"&SPACE;", " "}, {"&ASTERISK;", "*"}, {"&PERCENT;", "%"},
};

// The background covers the main window's client area exactly.
inline constexpr int kBackgroundWidth = 600;
inline constexpr int kBackgroundHeight = 300;

// The patch type without a *PatchType section; only kWritesPayload makes the
// start action write the payload files.
inline constexpr int kNoPatchType = 0;
inline constexpr int kWritesPayload = 1;

// The patch type for a *PatchType value: the value when it is a whole
// number, 1 otherwise (an empty value included).
int PatchTypeFromValue(const Text& value);

}  // namespace brisko::format
