#include "core/payload/payload_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "core/format/byte_order.h"
#include "fakes.h"
#include "test_support.h"

// zstd's own XXH64, for the checksum of a frame made by hand.
extern "C" unsigned long long ZSTD_XXH64(const void* data, std::size_t size, unsigned long long seed);

namespace brisko {
namespace {

// Content that compresses, but not to nothing.
std::string Content(std::size_t size) {
  std::string text;
  text.reserve(size);
  for (std::uint32_t x = 1; text.size() < size;) {
    x = x * 1103515245u + 12345u;
    text += static_cast<char>('a' + (x >> 16) % 7);
  }
  return text;
}

using test::ReadAll;

std::unique_ptr<PayloadReader> Zstd(const std::string& frame) { return MakeZstdReader(frame, MakeMemorySource(frame)); }

class RoundTrip : public testing::TestWithParam<std::size_t> {};

TEST_P(RoundTrip, GivesTheContentBackInPieces) {
  const std::string content = Content(GetParam());
  const std::string frame = test::ZstdFrame(content);
  const auto reader = Zstd(frame);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->size(), content.size());
  EXPECT_EQ(ReadAll(*reader), content);
  EXPECT_EQ(ReadAll(*MakeRawReader(content)), content);
}

// Empty, one byte, several pieces' worth, and the largest window.
INSTANTIATE_TEST_SUITE_P(Sizes, RoundTrip,
                         testing::Values(0, 1, 3 * PayloadReader::kPieceSize + 5, std::size_t{1} << 27));

// A window far smaller than the content, so that decoding wraps round its
// buffer many times and matches reach back across the wrap, from stored
// bytes that come in pieces smaller than a block.
TEST(RoundTrip, WindowSmallerThanTheContentFromSmallPieces) {
  const std::string content = Content(5 * PayloadReader::kPieceSize + 77);
  for (const int windowLog : {10, 17, 20}) {
    const std::string frame = test::ZstdFrame(content, {true, true, windowLog, 19});
    const auto reader = MakeZstdReader(frame, MakeMemorySource(frame, 999));
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(ReadAll(*reader), content) << windowLog;
  }
}

// A frame of `content` in stored (uncompressed) blocks of `blockSize`
// bytes, with its content size and checksum, as a compressor may write
// blocks of any size.
std::string StoredBlocksFrame(const std::string& content, std::size_t blockSize) {
  std::string frame("\x28\xB5\x2F\xFD\xE4", 5);  // one segment, 8-byte size, checksum
  le::Append(frame, content.size(), 8);
  for (std::size_t at = 0; at < content.size(); at += blockSize) {
    const std::size_t size = std::min(blockSize, content.size() - at);
    le::Append(frame, (size << 3) | (at + size == content.size() ? 1 : 0), 3);
    frame.append(content, at, size);
  }
  le::Append(frame, ZSTD_XXH64(content.data(), content.size(), 0) & 0xFFFFFFFFu, 4);
  return frame;
}

// Blocks whose sizes do not add up to a piece: the pieces still keep within
// kPieceSize, which the readers after this one rely on for their buffers.
TEST(RoundTrip, PiecesStayWithinTheirSizeWhateverTheBlocks) {
  const std::string content = Content(3 * PayloadReader::kPieceSize + 5);
  for (const std::size_t blockSize : {std::size_t{100000}, std::size_t{131072}, std::size_t{1000}}) {
    const std::string frame = StoredBlocksFrame(content, blockSize);
    const auto reader = Zstd(frame);
    ASSERT_NE(reader, nullptr) << blockSize;
    EXPECT_TRUE(ReadAll(*reader) == content) << "blocks of " << blockSize;
  }
}

struct Refused {
  const char* name;
  std::string frame;
  bool headerRefused;  // refused before any byte is read
};

std::string Damaged() {
  std::string frame = test::ZstdFrame(Content(200000));
  frame[frame.size() / 2] ^= 0x40;
  return frame;
}

// The header of a frame of 1001 bytes on the blocks of one of 1000: the
// checksum holds, the count does not.
std::string WrongContentSize() {
  const std::string shorter = test::ZstdFrame(Content(1000));
  const std::string longer = test::ZstdFrame(Content(1001));
  const std::size_t header = 6;  // magic, descriptor, two-byte content size
  return longer.substr(0, header) + shorter.substr(header);
}

// A header that names a window of 2^28 bytes, one more power of two than an
// installer allows.
std::string WindowBeyondTheLimit() {
  std::string frame = test::ZstdFrame(Content(3000), {true, true, 10});
  frame[5] = static_cast<char>((28 - 10) << 3);  // the window descriptor: exponent over 2^10
  return frame;
}

class RefusedFrame : public testing::TestWithParam<Refused> {};

TEST_P(RefusedFrame, IsReportedAsDamage) {
  const Refused& c = GetParam();
  const auto reader = Zstd(c.frame);
  std::uint64_t size = 0;
  EXPECT_EQ(ZstdContentSize(c.frame, size), !c.headerRefused);
  if (c.headerRefused) {
    EXPECT_EQ(reader, nullptr);
    return;
  }
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(ReadAll(*reader), std::nullopt);
  std::string_view piece;
  EXPECT_FALSE(reader->Next(piece)) << "a reader that has said false is done";
}

INSTANTIATE_TEST_SUITE_P(
    Frames, RefusedFrame,
    testing::Values(
        Refused{"Corrupted", Damaged(), false},
        Refused{"Truncated", test::ZstdFrame(Content(200000)).substr(0, 5000), false},
        Refused{"CutBeforeTheChecksum", [] {
                  const std::string f = test::ZstdFrame(Content(3000));
                  return f.substr(0, f.size() - 4);
                }(), false},
        Refused{"WrongContentSize", WrongContentSize(), false},
        Refused{"FollowedByMoreBytes", test::ZstdFrame(Content(3000)) + "x", false},
        Refused{"NoContentSize", test::ZstdFrame(Content(3000), {false, true}), true},
        Refused{"NoChecksum", test::ZstdFrame(Content(3000), {true, false}), true},
        Refused{"WindowBeyondTheLimit", WindowBeyondTheLimit(), true},
        Refused{"NotAFrame", std::string("BM not a frame at all"), true}, Refused{"Empty", std::string(), true}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace brisko
