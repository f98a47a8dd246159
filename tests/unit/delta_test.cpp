#include "core/payload/delta.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/apply/patch_plan.h"
#include "core/format/byte_order.h"
#include "fakes.h"
#include "test_support.h"

namespace brisko {
namespace {

using test::MemoryFile;

constexpr auto Op = test::DeltaInstruction;

using test::ReadAll;

// A little-endian field of a record.
std::string Le(std::uint64_t value, int bytes) {
  std::string out;
  le::Append(out, value, bytes);
  return out;
}

std::optional<std::string> Apply(const std::string& stored, const std::string& source) {
  DeltaPayload payload;
  if (!ReadDeltaPayload(stored, payload)) return std::nullopt;
  const auto reader = OpenDelta(payload, 0, std::make_unique<MemoryFile>(source));
  if (!reader) return std::nullopt;
  return ReadAll(*reader);
}

const std::string kSource = "0123456789abcdefghij";

struct Instructions {
  const char* name;
  std::string control, diff, literal;
  std::string record;  // the result the payload records
  bool gives;          // false: refused
  std::string source = kSource;
};

class Applier : public testing::TestWithParam<Instructions> {};

TEST_P(Applier, BuildsTheRecordedResultOrRefuses) {
  const Instructions& c = GetParam();
  const std::string stored = test::DeltaPayloadBytes(c.record, {{c.source, c.control, c.diff, c.literal}});
  EXPECT_EQ(Apply(stored, c.source), c.gives ? std::optional<std::string>(c.record) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Instructions, Applier,
    testing::Values(
        Instructions{"CopyAll", Op(20, false, 0, 0), "", "", kSource, true},
        Instructions{"CopyWithDiffBytes", Op(3, true, 0, 0), std::string("\x01\x00\xff", 3), "", "111", true},
        Instructions{"LiteralsOnly", Op(0, false, 4, 0), "", "new!", "new!", true, ""},
        Instructions{"MoveBackAndRepeat", Op(4, false, 1, -4) + Op(4, false, 0, 0), "", "-", "0123-0123", true},
        Instructions{"MoveForward", Op(0, false, 0, 10) + Op(3, false, 0, 0), "", "", "abc", true},
        Instructions{"EmptyResult", "", "", "", "", true},
        Instructions{"CopyBeyondTheSource", Op(21, false, 0, 0), "", "", kSource + "0", false},
        Instructions{"MoveBeforeTheStart", Op(2, false, 0, -3) + Op(1, false, 0, 0), "", "", "012", false},
        Instructions{"MoveBeyondTheEnd", Op(2, false, 0, 19) + Op(1, false, 0, 0), "", "", "01j", false},
        Instructions{"MoreThanTheResult", Op(3, false, 1, 0), "", "x", "012", false},
        Instructions{"FewerThanTheResult", Op(3, false, 0, 0), "", "", "0123", false},
        Instructions{"DiffStreamShort", Op(3, true, 0, 0), "\x01", "", "112", false},
        Instructions{"DiffBytesLeftOver", Op(3, false, 0, 0), "\x01", "", "012", false},
        Instructions{"LiteralsLeftOver", Op(3, false, 0, 0), "", "x", "012", false},
        Instructions{"InstructionAfterTheEnd", Op(3, false, 0, 0) + Op(0, false, 0, 0), "", "", "012", false},
        Instructions{"ControlCutInANumber", Op(300, false, 0, 0).substr(0, 1), "", "", "012", false},
        Instructions{"NumberOfMoreThan64Bits", std::string(9, '\xff') + "\x02", "", "", "012", false},
        // Instructions that give nothing, more than a result of 3 bytes needs.
        Instructions{"EmptyInstructionsWithoutEnd",
                     [] {
                       std::string control;
                       for (int i = 0; i < 8; ++i) control += Op(0, false, 0, 0);
                       return control + Op(3, false, 0, 0);
                     }(),
                     "", "", "012", false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Applier, RefusesASourceThatDoesNotGiveTheRecordedResult) {
  const std::string stored = test::DeltaPayloadBytes("0123", {{kSource, Op(4, false, 0, 0), "", ""}});
  EXPECT_EQ(Apply(stored, kSource), "0123");
  std::string other = kSource;
  other[2] = 'X';  // the same size, other bytes: only the result's hash tells
  EXPECT_EQ(Apply(stored, other), std::nullopt);
}

TEST(Applier, KeepsItsVerdictWhenAskedAgain) {
  const std::string stored = test::DeltaPayloadBytes("0123", {{kSource, Op(4, false, 0, 0), "", ""}});
  for (const std::string& source : {kSource, std::string("0X23456789abcdefghij")}) {
    DeltaPayload payload;
    ASSERT_TRUE(ReadDeltaPayload(stored, payload));
    const auto reader = OpenDelta(payload, 0, std::make_unique<MemoryFile>(source));
    const bool good = ReadAll(*reader).has_value();
    std::string_view piece;
    EXPECT_EQ(reader->Next(piece), good);
    EXPECT_TRUE(piece.empty());
  }
}

// A delta with two sources and the whole content, against destinations.
struct Destination {
  const char* name;
  std::optional<std::string> bytes;  // nothing: missing
  EntryAction delta;                 // for a delta entry
  std::size_t source;
  EntryAction whole;  // for a whole entry
  bool broken = false;
  bool deltaHashes = true;  // the delta entry needs the destination's hash
};

const std::string kResult = "0123456789ABCDEFGHIJ";  // the size of kSource
const std::string kOlder = "older";

class Plan : public testing::TestWithParam<Destination> {};

TEST_P(Plan, DecidesBeforeWriting) {
  const Destination& c = GetParam();
  std::string diff;
  for (std::size_t i = 0; i < kResult.size(); ++i) diff += static_cast<char>(kResult[i] - kSource[i]);
  const std::string delta = test::DeltaPayloadBytes(
      kResult, {{kOlder, Op(0, false, 20, 0), "", kResult}, {kSource, Op(20, true, 0, 0), diff, ""}});
  const std::string whole = test::DeltaPayloadBytes(kResult, {}, kResult);
  for (const auto& [stored, expected] : {std::pair{delta, c.delta}, std::pair{whole, c.whole}}) {
    std::optional<MemoryFile> file;
    if (c.bytes) file.emplace(*c.bytes, c.broken);
    const EntryPlan plan = DecideAction(ReadPayload({format::PayloadKind::Delta, stored}), file ? &*file : nullptr);
    EXPECT_EQ(plan.action, expected);
    if (file) {
      EXPECT_LE(file->read, file->size()) << "hashed at most once";
      if (stored == delta && !c.deltaHashes) {
        EXPECT_EQ(file->read, 0u) << "its size alone decides";
      }
    }
    if (plan.action != EntryAction::ApplyDelta) continue;
    EXPECT_EQ(plan.source, c.source);
    DeltaPayload payload;
    ASSERT_TRUE(ReadDeltaPayload(stored, payload));
    EXPECT_EQ(ReadAll(*OpenDelta(payload, plan.source, std::make_unique<MemoryFile>(*c.bytes))), kResult);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Destinations, Plan,
    testing::Values(Destination{"Missing", std::nullopt, EntryAction::VersionMismatch, 0, EntryAction::WriteWhole},
                    Destination{"AlreadyPatched", kResult, EntryAction::Skip, 0, EntryAction::Skip},
                    Destination{"FirstSource", kOlder, EntryAction::ApplyDelta, 0, EntryAction::WriteWhole, false,
                                false},
                    Destination{"SecondSourceOfTheResultsSize", kSource, EntryAction::ApplyDelta, 1,
                                EntryAction::WriteWhole},
                    Destination{"ModifiedSource", "0123456789abcdefghiX", EntryAction::VersionMismatch, 0,
                                EntryAction::WriteWhole},
                    Destination{"OtherSize", "another version", EntryAction::VersionMismatch, 0,
                                EntryAction::WriteWhole},
                    Destination{"Unreadable", kSource, EntryAction::Failed, 0, EntryAction::Failed, true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Plan, RawAndCompressedPayloadsAreWrittenWhole) {
  MemoryFile same("bytes");
  EXPECT_EQ(DecideAction(ReadPayload({format::PayloadKind::Raw, "bytes"}), &same).action, EntryAction::WriteWhole);
  EXPECT_EQ(DecideAction(ReadPayload({format::PayloadKind::Compressed, test::ZstdFrame("bytes")}), &same).action,
            EntryAction::WriteWhole);
  EXPECT_EQ(same.read, 0u);
}

TEST(WholeContent, IsCheckedAgainstItsRecord) {
  const std::string stored = test::DeltaPayloadBytes(kResult, {}, kResult);
  const StoredPayload good{format::PayloadKind::Delta, stored};
  EXPECT_EQ(ReadPayload(good).size, kResult.size());
  EXPECT_EQ(ReadAll(*OpenWholeReader(ReadPayload(good))), kResult);
  const std::string wrongHash = test::DeltaPayloadBytes("0123456789ABCDEFGHIj", {}, kResult);
  EXPECT_EQ(ReadAll(*OpenWholeReader(ReadPayload({format::PayloadKind::Delta, wrongHash}))), std::nullopt);
}

// Damage that the records show, before any byte is written.
struct Malformed {
  const char* name;
  std::string stored;
};

class Records : public testing::TestWithParam<Malformed> {};

TEST_P(Records, AreRefused) {
  DeltaPayload payload;
  EXPECT_FALSE(ReadDeltaPayload(GetParam().stored, payload));
  MemoryFile destination(kSource);
  EXPECT_EQ(DecideAction(ReadPayload({format::PayloadKind::Delta, GetParam().stored}), &destination).action,
            EntryAction::Failed);
}

const std::string kGood = test::DeltaPayloadBytes(kSource, {{kSource, Op(20, false, 0, 0), "", ""}});

INSTANTIATE_TEST_SUITE_P(
    Damage, Records,
    testing::Values(Malformed{"Empty", ""}, Malformed{"CutInTheHeader", kGood.substr(0, 40)},
                    Malformed{"OtherMagic", "BPD2" + kGood.substr(4)},
                    Malformed{"SeventeenSources", kGood.substr(0, 4) + Le(17, 4) + kGood.substr(8)},
                    Malformed{"RecordsBeyondTheEnd", kGood.substr(0, 48 + 63)},
                    Malformed{"StreamsCutShort", kGood.substr(0, kGood.size() - 1)},
                    Malformed{"BytesAfterTheStreams", kGood + "x"},
                    Malformed{"WholeOfAnotherSize", test::DeltaPayloadBytes("abc", {}, "abcd")},
                    Malformed{"ControlWindowTooLarge",
                              [] {
                                // A frame that needs a window of 2 MiB, twice what control streams may use.
                                std::string stored = test::DeltaPayloadBytes("", {{kSource, "", "", ""}});
                                const std::string big = test::ZstdFrame(std::string(3 << 20, 'x'), {true, true, 21});
                                const std::size_t first = 48 + 64;
                                const std::string old = test::ZstdFrame("");
                                stored.replace(88, 8, Le(big.size(), 8));
                                return stored.replace(first, old.size(), big);
                              }()}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace brisko
