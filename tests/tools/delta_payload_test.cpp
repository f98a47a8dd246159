#include "package/delta_payload.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/apply/patch_plan.h"
#include "pack_test_util.h"

namespace brisko::pack {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class MemoryFile final : public RandomAccessFile {
 public:
  explicit MemoryFile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, void* data, std::size_t size, std::size_t& got) override {
    got = bytes_.copy(static_cast<char*>(data), size, static_cast<std::size_t>(std::min<std::uint64_t>(offset, size_)));
    return true;
  }

 private:
  std::string bytes_;
  std::uint64_t size_ = bytes_.size();
};

// Bytes that compress a little, as program code does; `seed` picks them.
std::string Noise(std::size_t size, std::uint32_t seed) {
  std::string bytes;
  for (std::uint32_t x = seed * 2654435761u + 1; bytes.size() < size;) {
    x = x * 1103515245u + 12345u;
    bytes += static_cast<char>((x >> 16) % 61);
  }
  return bytes;
}

// What the installer does with a stored payload and a destination: plans,
// then writes; nothing when it finds a mismatch or damage.
std::optional<std::string> Install(const std::string& stored, const std::optional<std::string>& destination) {
  const StoredPayload payload{format::PayloadKind::Delta, stored};
  std::optional<MemoryFile> file;
  if (destination) file.emplace(*destination);
  const EntryPlan plan = DecideAction(ReadPayload(payload), file ? &*file : nullptr);
  std::unique_ptr<PayloadReader> reader;
  DeltaPayload delta;
  if (plan.action == EntryAction::Skip) return destination;
  if (plan.action == EntryAction::WriteWhole) reader = OpenWholeReader(ReadPayload(payload));
  if (plan.action == EntryAction::ApplyDelta && ReadDeltaPayload(stored, delta))
    reader = OpenDelta(delta, plan.source, std::make_unique<MemoryFile>(*destination));
  if (!reader) return std::nullopt;
  std::string bytes;
  for (std::string_view piece;;) {
    if (!reader->Next(piece)) return std::nullopt;
    if (piece.empty()) return bytes;
    bytes += piece;
  }
}

// A delta payload of one source, as build --from stores it.
std::string StoredDelta(const std::string& source, const std::string& result, MatchMethod method) {
  StringSink control, diff, literal;
  CompressOptions options;
  options.level = 3;
  DeltaRecord record = EncodeDelta(source, result, options, control, diff, literal, "test", method);
  record.file = IdentifyBytes(source);
  return DeltaHeader(IdentifyBytes(result), {record}) + control.bytes + diff.bytes + literal.bytes;
}

struct Versions {
  const char* name;
  std::string source, result;
  std::size_t most;  // the most the delta may take
};

std::string Shifted() {
  std::string result = Noise(200000, 1);
  result.insert(50000, Noise(3000, 2));  // every later offset moves
  result[150000] ^= 1;
  return result;
}

// A program rebuilt with code in front: every address moves by the same
// amount, so every fourth byte in the rest differs by a little.
std::string Rebuilt(const std::string& program) {
  std::string result = program.substr(0, 64) + Noise(500, 3) + program.substr(64);
  for (std::size_t i = 600; i < result.size(); i += 4) result[i] = static_cast<char>(result[i] + 5);
  return result;
}

const std::string kProgram = "MZ" + Noise(120000, 4);

// Large enough for the probes that decide whether a result shares anything
// with its source at all, and incompressible, so that a delta is smaller
// only by what it copies.
const std::string kLarge = test::RandomBytes(2 << 20, 15);

// Another file throughout, but for 64 KiB of the source in the middle.
std::string SharingOneStretch() {
  std::string result = test::RandomBytes(2 << 20, 16);
  return result.replace(1 << 20, 64 << 10, kLarge.substr(300000, 64 << 10));
}

class RoundTrip : public testing::TestWithParam<std::tuple<Versions, MatchMethod>> {};

TEST_P(RoundTrip, TheInstallerRebuildsTheResult) {
  const auto& [c, method] = GetParam();
  const std::string stored = StoredDelta(c.source, c.result, method);
  EXPECT_LE(stored.size(), c.most);
  EXPECT_EQ(Install(stored, c.source), c.result);
  EXPECT_EQ(Install(stored, c.result), c.result) << "already patched";
  EXPECT_EQ(Install(stored, std::nullopt), std::nullopt) << "no destination";
}

INSTANTIATE_TEST_SUITE_P(
    Versions, RoundTrip,
    testing::Combine(
        testing::Values(Versions{"EmptySource", "", Noise(10000, 5), 9000},
                        Versions{"EmptyResult", Noise(10000, 5), "", 400},
                        Versions{"Identical", Noise(100000, 6), Noise(100000, 6), 400},
                        Versions{"InsertionShiftsLaterOffsets", Noise(200000, 1), Shifted(), 4000},
                        Versions{"SourceLargerThanResult", Noise(300000, 7), Noise(300000, 7).substr(100000, 50000),
                                 400},
                        Versions{"RebuiltProgram", kProgram, Rebuilt(kProgram), 4000},
                        Versions{"LargeUnrelated", kLarge, test::RandomBytes(2 << 20, 16), (2 << 20) + 1000},
                        Versions{"LargeSharingOneStretch", kLarge, SharingOneStretch(), (2 << 20) - (63 << 10)}),
        testing::Values(MatchMethod::SuffixArray, MatchMethod::BlockHash)),
    [](const auto& row) {
      return std::string(std::get<0>(row.param).name) +
             (std::get<1>(row.param) == MatchMethod::SuffixArray ? "Sorted" : "Hashed");
    });

// No corruption of a stored delta gives anything but its result: every
// byte of the records and the frames' headers is checked, the frames carry
// checksums, and the result its SHA-256.
TEST(Damage, NoCorruptionGivesWrongBytes) {
  const std::string source = Noise(60000, 1), result = Shifted().substr(40000, 20000);
  const std::string stored = StoredDelta(source, result, MatchMethod::BlockHash);
  int refused = 0;
  for (std::size_t at = 0; at < stored.size(); ++at) {
    std::string damaged = stored;
    damaged[at] ^= static_cast<char>(1 << (at % 8));
    const std::optional<std::string> got = Install(damaged, source);
    EXPECT_TRUE(!got || *got == result) << "byte " << at;
    refused += !got;
  }
  EXPECT_GT(refused, static_cast<int>(stored.size()) * 9 / 10);
  for (std::size_t size : {std::size_t{0}, std::size_t{47}, stored.size() / 2, stored.size() - 1})
    EXPECT_EQ(Install(stored.substr(0, size), source), std::nullopt) << "cut to " << size;
}

class Checked : public testing::Test {
 protected:
  CheckedPayload Make(const std::string& result, const std::vector<std::string>& sources) {
    CheckedPayloadRequest request;
    request.result = dir_ / "result";
    WriteFile(request.result, result);
    for (std::size_t k = 0; k < sources.size(); ++k) {
      request.sources.push_back(dir_ / ("source" + std::to_string(k)));
      WriteFile(request.sources.back(), sources[k]);
    }
    request.options.level = 3;
    request.scratchBeside = dir_ / "out.exe";
    return MakeCheckedPayload(request);
  }
  std::string Stored(const CheckedPayload& payload) { return ReadFile(payload.stored->temporaryPath()); }

  TempDir dir_;
};

TEST_F(Checked, OneDeltaServesEveryDistinctEarlierVersion) {
  const std::string v1 = Noise(100000, 9), v2 = v1.substr(0, 60000) + Noise(2000, 10) + v1.substr(60000);
  const std::string v3 = v2 + Noise(1000, 11);
  const CheckedPayload payload = Make(v3, {v1, v2, v1, v3});  // a repeat, and one already the result
  EXPECT_EQ(payload.deltaSources, 2u);
  const std::string stored = Stored(payload);
  for (const std::string& destination : {v1, v2, v3}) EXPECT_EQ(Install(stored, destination), v3);
  EXPECT_EQ(Install(stored, v1.substr(1)), std::nullopt) << "another version";
}

TEST_F(Checked, TheWholeFileWhenNoDeltaIsSmaller) {
  const std::string media = Noise(50000, 12);
  const CheckedPayload added = Make(media, {});
  const CheckedPayload unrelated = Make(media, {Noise(50000, 13)});
  for (const CheckedPayload* payload : {&added, &unrelated}) {
    EXPECT_EQ(payload->deltaSources, 0u);
    EXPECT_EQ(Install(Stored(*payload), std::nullopt), media);
    EXPECT_EQ(Install(Stored(*payload), "any other file"), media);
  }
  EXPECT_GT(unrelated.deltaSize, 0u) << "a delta was made and found larger";
}

// A large result that shares nothing with its earlier version is stored
// whole without a delta being made; one stretch in common is enough for one.
TEST_F(Checked, NoDeltaIsMadeOfAResultThatSharesNothing) {
  const std::string media = test::RandomBytes(2 << 20, 17);
  const CheckedPayload unrelated = Make(media, {kLarge});
  EXPECT_EQ(unrelated.deltaSources, 0u);
  EXPECT_EQ(unrelated.deltaSize, 0u);
  EXPECT_EQ(Install(Stored(unrelated), kLarge), media);
  EXPECT_GT(Make(SharingOneStretch(), {kLarge}).deltaSize, 0u);
}

TEST_F(Checked, ExtractingWithTheWrongVersionFails) {
  const std::string v1 = Noise(30000, 14), v2 = v1 + "more";
  const std::string stored = Stored(Make(v2, {v1}));
  WriteFile(dir_ / "wrong", v1 + "x");
  StringSink sink;
  EXPECT_THROW(UnpackChecked(stored, {dir_ / "wrong"}, sink, "payload 0"), PackError);
  EXPECT_THROW(UnpackChecked(stored, {}, sink, "payload 0"), PackError);
  WriteFile(dir_ / "right", v1);
  UnpackChecked(stored, {dir_ / "wrong", dir_ / "right"}, sink, "payload 0");
  EXPECT_EQ(sink.bytes, v2);
}

}  // namespace
}  // namespace brisko::pack
