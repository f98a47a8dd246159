// Payloads that record the file they give (the DELTA resource, laid out as
// core/package_format.h says): what `build --from` stores for every entry, a
// delta against the file's earlier versions when that is smaller than the
// whole file compressed, else the whole file.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/payload/delta.h"
#include "package/delta_match.h"
#include "package/identify.h"
#include "package/payload_codec.h"
#include "platform/file_io.h"

namespace brisko::pack {

// A source's record as the header holds it: the file, and the stored length
// of each of its three streams.
struct DeltaRecord {
  FileIdentity file;
  std::uint64_t control = 0;
  std::uint64_t diff = 0;
  std::uint64_t literal = 0;
};

// The header and source records of a delta payload.
std::string DeltaHeader(const FileIdentity& result, const std::vector<DeltaRecord>& sources);

// Matches `result` against `source` and writes the three compressed streams
// (instructions, diff bytes, literal bytes) to the sinks; returns their
// lengths (the record's file is left for the caller). `name` is for
// messages.
DeltaRecord EncodeDelta(std::string_view source, std::string_view result, const CompressOptions& options,
                        ByteSink& control, ByteSink& diff, ByteSink& literal, const std::string& name,
                        MatchMethod method = MatchMethod::Automatic);

// The same for the segments that matching the two gave.
DeltaRecord EncodeDelta(std::string_view source, std::string_view result, const std::vector<DeltaSegment>& segments,
                        const CompressOptions& options, ByteSink& control, ByteSink& diff, ByteSink& literal,
                        const std::string& name);

struct CheckedPayloadRequest {
  fs::path result;
  // The file's earlier versions, one per release the patch is made from.
  std::vector<fs::path> sources;
  CompressOptions options;
  // Scratch files go beside this path.
  fs::path scratchBeside;
};

struct CheckedPayload {
  // The stored payload, in a scratch file that lasts as long as this.
  std::unique_ptr<OutputFile> stored;
  std::uint64_t resultSize = 0;
  // The sources the delta holds; 0 when the whole file is stored.
  std::size_t deltaSources = 0;
  // What a delta came to (0 when none was made: no source was given, or
  // the result shares nothing with any), and the whole file compressed (quickly, where compressing it slowly could not
  // change the choice).
  std::uint64_t deltaSize = 0;
  std::uint64_t wholeSize = 0;
};

// The payload for one entry: a delta against the distinct sources that
// differ from the result, when there are such and it is smaller than the
// whole file stored compressed; else the whole file. Throws PackError.
CheckedPayload MakeCheckedPayload(const CheckedPayloadRequest& request);

// Writes the result of a delta payload to `sink`: the whole content, or the
// delta applied to the first of `sources` that is one of its sources (or
// that already is the result). Throws PackError naming `where` when none
// matches or the payload is damaged.
void UnpackChecked(std::string_view stored, const std::vector<fs::path>& sources, ByteSink& sink,
                   const std::string& where);

}  // namespace brisko::pack
