#include "package/delta_payload.h"

#include <algorithm>
#include <cstring>
#include <future>

#include "core/format/byte_order.h"
#include "core/format/package_format.h"
#include "package/delta_match.h"
#include "package/identify.h"
#include "platform/mapped_file.h"

namespace brisko::pack {
namespace {

using Bytes = const unsigned char*;

// Equal bytes inside a copy from this many on are copied as they are rather
// than through the diff stream: a shorter run costs more in instructions
// than the zeros it keeps out of the diff stream.
constexpr std::uint64_t kExactRun = 64;

// The level of the quick compression that tells whether the slow one can
// change the choice between a delta and the whole file.
constexpr int kQuickLevel = 3;

// One instruction of the control stream, with where its bytes come from.
struct Op {
  std::uint64_t result = 0;  // where its copy starts in the result
  std::uint64_t source = 0;  // and in the source
  std::uint64_t copy = 0;
  bool diff = false;
  std::uint64_t literal = 0;
  std::int64_t move = 0;
};

void PutIdentity(std::string& out, std::size_t size, std::size_t sha, const FileIdentity& identity) {
  le::Put64(out, size, identity.size);
  out.replace(sha, identity.sha.size(), reinterpret_cast<const char*>(identity.sha.data()), identity.sha.size());
}

// The segment's copy cut into exact pieces (long runs of equal bytes) and
// pieces that take diff bytes; the last piece carries the literal bytes.
void AddSegment(Bytes old, Bytes now, const DeltaSegment& s, std::vector<Op>& ops) {
  const std::size_t first = ops.size();
  auto piece = [&](std::uint64_t from, std::uint64_t to, bool diff) {
    ops.push_back({s.result + from, s.source + from, to - from, diff, 0, 0});
  };
  std::uint64_t at = 0, start = 0;
  while (at < s.copy) {
    const std::uint64_t equal = CommonPrefix(old + s.source + at, now + s.result + at, s.copy - at);
    if (equal >= kExactRun || (at == start && at + equal == s.copy)) {
      if (at > start) piece(start, at, true);
      piece(at, at + equal, false);
      start = at += equal;
    } else {
      at = std::min(at + equal + 1, s.copy);
    }
  }
  if (start < s.copy) piece(start, s.copy, true);
  if (ops.size() == first) piece(0, 0, false);
  ops.back().literal = s.literal;
}

std::vector<Op> Instructions(std::string_view source, std::string_view result,
                             const std::vector<DeltaSegment>& segments) {
  const auto old = reinterpret_cast<Bytes>(source.data());
  const auto now = reinterpret_cast<Bytes>(result.data());
  std::vector<Op> ops;
  for (std::size_t k = 0; k < segments.size(); ++k) {
    AddSegment(old, now, segments[k], ops);
    const DeltaSegment& s = segments[k];
    if (k + 1 < segments.size())
      ops.back().move = static_cast<std::int64_t>(segments[k + 1].source - (s.source + s.copy));
  }
  return ops;
}

// Writes `bytes` as one frame of their size.
void WriteFrame(std::string_view bytes, const CompressOptions& options, ByteSink& out, const std::string& name) {
  FrameWriter frame(out, bytes.size(), options, name);
  frame.Write(bytes.data(), bytes.size());
  frame.Finish();
}

// One stretch of a delta's diff or literal stream: `size` bytes at `at` in
// the stream, taken from the result at `result` (less the source's bytes at
// `source`, for diff bytes).
struct Stretch {
  std::uint64_t at = 0;
  std::uint64_t result = 0;
  std::uint64_t source = 0;
  std::uint64_t size = 0;
};

std::vector<Stretch> DiffStretches(const std::vector<Op>& ops) {
  std::vector<Stretch> stretches;
  std::uint64_t at = 0;
  for (const Op& op : ops)
    if (op.diff && op.copy > 0) {
      stretches.push_back({at, op.result, op.source, op.copy});
      at += op.copy;
    }
  return stretches;
}

std::vector<Stretch> LiteralStretches(const std::vector<Op>& ops) {
  std::vector<Stretch> stretches;
  std::uint64_t at = 0;
  for (const Op& op : ops)
    if (op.literal > 0) {
      stretches.push_back({at, op.result + op.copy, 0, op.literal});
      at += op.literal;
    }
  return stretches;
}

std::uint64_t StreamSize(const std::vector<Stretch>& stretches) {
  return stretches.empty() ? 0 : stretches.back().at + stretches.back().size;
}

// The bytes of a stream by range: the result's bytes, or with `diff` their
// difference from the source's, modulo 256.
ByteRanges StreamRanges(std::string_view source, std::string_view result, const std::vector<Stretch>& stretches,
                        bool diff) {
  return [source, result, &stretches, diff](std::uint64_t offset, std::uint64_t size, ByteSink& sink) {
    if (size == 0) return;  // an empty stream has no stretch to start in
    // The stretch that holds `offset`: the last that starts at or before it.
    auto it = std::upper_bound(stretches.begin(), stretches.end(), offset,
                               [](std::uint64_t at, const Stretch& s) { return at < s.at; });
    std::vector<char> buffer(diff ? std::size_t{1} << 16 : 0);
    for (--it; size > 0; ++it) {
      const std::uint64_t skip = offset - it->at;
      const std::uint64_t n = std::min(size, it->size - skip);
      for (std::uint64_t done = 0; done < n;) {
        const std::size_t piece =
            static_cast<std::size_t>(diff ? std::min<std::uint64_t>(n - done, buffer.size()) : n - done);
        const char* from = result.data() + it->result + skip + done;
        if (diff) {
          const char* old = source.data() + it->source + skip + done;
          for (std::size_t i = 0; i < piece; ++i) buffer[i] = static_cast<char>(from[i] - old[i]);
          from = buffer.data();
        }
        sink.Write(from, piece);
        done += piece;
      }
      offset += n;
      size -= n;
    }
  };
}

// Writes a stream as one frame: at the level asked when a trial shows it
// worth compressing, else quickly (bytes that do not compress are stored
// in raw blocks either way).
void WriteStream(const ByteRanges& bytes, std::uint64_t size, const CompressOptions& options, ByteSink& out,
                 const std::string& name) {
  CompressOptions chosen = options;
  if (!WorthCompressing(bytes, size, options, name)) chosen.level = kTrialLevel;
  FrameWriter frame(out, size, chosen, name);
  bytes(0, size, frame);
  frame.Finish();
}

// Counts what goes through it.
class CountingSink final : public ByteSink {
 public:
  explicit CountingSink(ByteSink& out) : out_(out) {}
  void Write(const void* data, std::size_t size) override {
    out_.Write(data, size);
    count += size;
  }
  std::uint64_t count = 0;

 private:
  ByteSink& out_;
};

}  // namespace

std::string DeltaHeader(const FileIdentity& result, const std::vector<DeltaRecord>& sources) {
  using Header = format::DeltaHeader;
  using Record = format::DeltaSourceRecord;
  std::string header(Header::kSize + sources.size() * Record::kSize, '\0');
  header.replace(Header::kMagic, sizeof format::kDeltaMagic, format::kDeltaMagic, sizeof format::kDeltaMagic);
  le::Put32(header, Header::kSourceCount, static_cast<std::uint32_t>(sources.size()));
  PutIdentity(header, Header::kResultSize, Header::kResultSha, result);
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const DeltaRecord& r = sources[i];
    const std::size_t at = Header::kSize + i * Record::kSize;
    PutIdentity(header, at + Record::kSourceSize, at + Record::kSourceSha, r.file);
    le::Put64(header, at + Record::kControlLength, r.control);
    le::Put64(header, at + Record::kDiffLength, r.diff);
    le::Put64(header, at + Record::kLiteralLength, r.literal);
  }
  return header;
}

DeltaRecord EncodeDelta(std::string_view source, std::string_view result, const CompressOptions& options,
                        ByteSink& control, ByteSink& diff, ByteSink& literal, const std::string& name,
                        MatchMethod method) {
  return EncodeDelta(source, result, MatchVersions(source, result, method), options, control, diff, literal, name);
}

DeltaRecord EncodeDelta(std::string_view source, std::string_view result, const std::vector<DeltaSegment>& segments,
                        const CompressOptions& options, ByteSink& control, ByteSink& diff, ByteSink& literal,
                        const std::string& name) {
  const std::vector<Op> ops = Instructions(source, result, segments);
  std::string instructions;
  for (const Op& op : ops) {
    le::AppendLeb128(instructions, op.copy * 2 + (op.diff ? 1 : 0));
    le::AppendLeb128(instructions, op.literal);
    le::AppendLeb128(instructions,
                     (static_cast<std::uint64_t>(op.move) << 1) ^ static_cast<std::uint64_t>(op.move >> 63));
  }
  CompressOptions data = options;
  data.longDistance = false;
  data.windowLog = format::kDeltaDataWindowLog;
  CompressOptions small = data;
  small.windowLog = format::kDeltaControlWindowLog;
  CountingSink controlOut(control), diffOut(diff), literalOut(literal);
  const std::vector<Stretch> diffs = DiffStretches(ops), literals = LiteralStretches(ops);
  // The literal bytes on a thread of their own: each stream is one job to
  // the compressor, whose own threads would leave a processor idle.
  auto literalsDone = std::async(std::launch::async, [&] {
    WriteStream(StreamRanges(source, result, literals, false), StreamSize(literals), data, literalOut, name);
  });
  WriteFrame(instructions, small, controlOut, name);
  WriteStream(StreamRanges(source, result, diffs, true), StreamSize(diffs), data, diffOut, name);
  literalsDone.get();
  return {{}, controlOut.count, diffOut.count, literalOut.count};
}

namespace {

// A mapped file read through the installer's interface.
class MappedSource final : public RandomAccessFile {
 public:
  explicit MappedSource(std::unique_ptr<MappedFile> file) : file_(std::move(file)) {}
  std::uint64_t size() const override { return file_->bytes().size(); }
  bool ReadAt(std::uint64_t offset, void* data, std::size_t size, std::size_t& got) override {
    const std::string_view bytes = file_->bytes();
    got = offset < bytes.size() ? static_cast<std::size_t>(std::min<std::uint64_t>(size, bytes.size() - offset)) : 0;
    std::memcpy(data, bytes.data() + offset, got);
    return true;
  }

 private:
  std::unique_ptr<MappedFile> file_;
};

struct Version {
  std::unique_ptr<MappedFile> file;
  FileIdentity identity;
};

// Scratch files for the streams of one source, removed when this ends.
struct Streams {
  explicit Streams(const fs::path& beside) : control(beside), diff(beside), literal(beside) {}
  OutputFile control, diff, literal;
};

// The delta against `sources`; nullptr when the result shares nothing with
// any of them, where a delta would only hold the whole result again.
std::unique_ptr<OutputFile> WriteDeltaPayload(const Version& result, const std::vector<Version>& sources,
                                              const CheckedPayloadRequest& request) {
  std::vector<std::vector<DeltaSegment>> matches;
  bool shared = false;
  for (const Version& source : sources) {
    VersionMatcher matcher(source.file->bytes(), result.file->bytes());
    const bool shares = matcher.SharesBytes();
    shared = shared || shares;
    matches.push_back(shares ? matcher.Segments() : std::vector<DeltaSegment>{{0, 0, 0, result.identity.size}});
  }
  if (!shared) return nullptr;
  std::vector<std::unique_ptr<Streams>> streams;
  std::vector<DeltaRecord> records;
  for (std::size_t k = 0; k < sources.size(); ++k) {
    const Version& source = sources[k];
    streams.push_back(std::make_unique<Streams>(request.scratchBeside));
    Streams& s = *streams.back();
    records.push_back(EncodeDelta(source.file->bytes(), result.file->bytes(), matches[k], request.options, s.control,
                                  s.diff, s.literal, result.file->name()));
    records.back().file = source.identity;
    for (OutputFile* f : {&s.control, &s.diff, &s.literal}) f->CloseScratch();
  }
  auto out = std::make_unique<OutputFile>(request.scratchBeside);
  const std::string header = DeltaHeader(result.identity, records);
  out->Write(header.data(), header.size());
  for (const auto& s : streams)
    for (OutputFile* f : {&s->control, &s->diff, &s->literal}) {
      InputFile in(f->temporaryPath());
      out->Append(in, 0, in.size());
    }
  out->CloseScratch();
  return out;
}

std::unique_ptr<OutputFile> WriteWholePayload(const Version& result, const CheckedPayloadRequest& request, int level) {
  auto out = std::make_unique<OutputFile>(request.scratchBeside);
  const std::string header = DeltaHeader(result.identity, {});
  out->Write(header.data(), header.size());
  CompressOptions options = request.options;
  options.level = level;
  options.windowLog = format::kDeltaWholeWindowLog;
  WriteFrame(result.file->bytes(), options, *out, result.file->name());
  out->CloseScratch();
  return out;
}

// The result (first) and its earlier versions, mapped and hashed side by
// side.
std::vector<Version> OpenVersions(const CheckedPayloadRequest& request) {
  std::vector<fs::path> paths{request.result};
  paths.insert(paths.end(), request.sources.begin(), request.sources.end());
  std::vector<std::future<Version>> opening;
  for (const fs::path& path : paths)
    opening.push_back(std::async(std::launch::async, [&path] {
      Version version{std::make_unique<MappedFile>(path), {}};
      version.identity = IdentifyBytes(version.file->bytes());
      return version;
    }));
  std::vector<Version> versions;
  for (auto& version : opening) versions.push_back(version.get());
  return versions;
}

}  // namespace

CheckedPayload MakeCheckedPayload(const CheckedPayloadRequest& request) {
  std::vector<Version> versions = OpenVersions(request);
  Version& result = versions[0];
  std::vector<Version> sources;
  for (std::size_t k = 1; k < versions.size(); ++k) {
    const bool known = std::any_of(sources.begin(), sources.end(),
                                   [&](const Version& v) { return v.identity == versions[k].identity; });
    if (!known && !(versions[k].identity == result.identity)) sources.push_back(std::move(versions[k]));
  }
  if (sources.size() > format::kMaxDeltaSources)
    throw PackError(result.file->name(), "more than " + std::to_string(format::kMaxDeltaSources) +
                                             " different earlier versions; a delta holds at most that many");
  CheckedPayload payload;
  payload.resultSize = result.identity.size;
  // A quick compression of the whole file, meanwhile: compressing it slowly
  // would take longer than everything else, and is skipped where it cannot
  // change the outcome: for a delta under half the quick size (the slow
  // level gains nothing near that), and for bytes the quick one cannot
  // compress (pictures, sounds, archives already compressed).
  auto quickly = std::async(std::launch::async, [&] { return WriteWholePayload(result, request, kQuickLevel); });
  if (!sources.empty()) payload.stored = WriteDeltaPayload(result, sources, request);
  if (payload.stored) {
    payload.deltaSize = payload.stored->position();
    payload.deltaSources = sources.size();
  }
  std::unique_ptr<OutputFile> whole = quickly.get();
  const std::uint64_t quick = whole->position();
  // Nor is it made for bytes that the quick one does not shrink and whose
  // samples the slow level does not shrink either (WorthCompressing's
  // trial, whose quick pass the quick compression stands for): a delta of
  // them is no smaller either where the new version differs throughout, and
  // the slow level would only grind.
  const bool settled =
      (payload.stored ? payload.deltaSize * 2 <= quick : quick >= payload.resultSize / 100 * 99) ||
      (quick >= payload.resultSize + format::DeltaHeader::kSize &&
       !SamplesShrink(MemoryRanges(result.file->bytes()), payload.resultSize, request.options, result.file->name()));
  if (!settled && request.options.level > kQuickLevel) {
    auto slow = WriteWholePayload(result, request, request.options.level);
    if (slow->position() < quick) whole = std::move(slow);
  }
  payload.wholeSize = whole->position();
  if (!payload.stored || payload.wholeSize <= payload.deltaSize) {
    payload.stored = std::move(whole);
    payload.deltaSources = 0;
  }
  return payload;
}

void UnpackChecked(std::string_view stored, const std::vector<fs::path>& sources, ByteSink& sink,
                   const std::string& where) {
  DeltaPayload payload;
  if (!ReadDeltaPayload(stored, payload)) throw PackError(where, "the delta payload's records are damaged");
  std::unique_ptr<PayloadReader> reader;
  if (payload.sources.empty()) reader = OpenWholeContent(payload);
  for (const fs::path& path : sources) {
    if (reader) break;
    auto file = std::make_unique<MappedFile>(path);
    const FileIdentity identity = IdentifyBytes(file->bytes());
    if (identity == payload.result) {  // already the result
      sink.Write(file->bytes().data(), file->bytes().size());
      return;
    }
    for (std::size_t k = 0; k < payload.sources.size() && !reader; ++k)
      if (payload.sources[k].file == identity)
        reader = OpenDelta(payload, k, std::make_unique<MappedSource>(std::move(file)));
  }
  if (!reader)
    throw PackError(where, payload.sources.empty() ? "the whole content's frame header is damaged"
                                                   : "a delta, and no file given with --from is a version it was "
                                                     "made from");
  for (std::string_view piece;;) {
    if (!reader->Next(piece)) throw PackError(where, "the delta payload is damaged or does not give its result");
    if (piece.empty()) return;
    sink.Write(piece.data(), piece.size());
  }
}

}  // namespace brisko::pack
