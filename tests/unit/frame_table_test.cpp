#include "core/frame_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace brisko {
namespace {

// A table with one common entry and three descriptions: code at
// [0x4000, 0x4040), a dropped function (start 0) whose range would cover
// everything, and [0x4100, 0x4110). Pc-relative tables place that code
// beside the table itself, as a 4-byte distance reaches only so far.
struct TableCase {
  const char* name;
  unsigned char version;
  const char* augmentation;  // the letters after 'z'; nullptr: no augmentation
  unsigned char encoding;    // of the code addresses ('R')
  unsigned char personality_encoding;
  bool readable;
};

class FrameTable {
 public:
  explicit FrameTable(const TableCase& c) {
    bytes_.reserve(512);  // pc-relative fields are written against their final address
    if ((c.encoding & 0x70) == 0x10) base_ = reinterpret_cast<std::uintptr_t>(bytes_.data());
    const std::size_t cie = Begin();
    Put32(0);
    bytes_.push_back(c.version);
    const std::string letters = c.augmentation ? std::string("z") + c.augmentation : "";
    bytes_.insert(bytes_.end(), letters.c_str(), letters.c_str() + letters.size() + 1);
    if (c.version >= 4) bytes_.insert(bytes_.end(), {sizeof(void*), 0});
    bytes_.insert(bytes_.end(), {1, 0x7c});  // code and data alignment
    if (c.version == 1)
      bytes_.push_back(8);  // the return column: a byte, then a ULEB128
    else
      bytes_.insert(bytes_.end(), {0x88, 0x01});
    if (c.augmentation) {
      bytes_.push_back(0);  // length of the augmentation data: not read
      for (const char* l = c.augmentation; *l; ++l) {
        if (*l == 'P') {
          bytes_.push_back(c.personality_encoding);
          Put(c.personality_encoding & 0x7f, 0x7777);
        }
        if (*l == 'L') bytes_.push_back(0xff);  // no LSDA pointers
        if (*l == 'R') bytes_.push_back(c.encoding);
      }
    }
    End(cie);
    const std::pair<std::uintptr_t, std::uintptr_t> ranges[] = {{0x4000, 0x40}, {0, ~0u}, {0x4100, 0x10}};
    for (const auto& [begin, size] : ranges) {
      const std::size_t fde = Begin();
      Put32(static_cast<std::uint32_t>(bytes_.size() - cie));
      Put(c.encoding, begin == 0 ? 0 : base_ + begin);
      Put(c.encoding & 0x0f, size);
      End(fde);
    }
    Put32(0);
  }

  // The offset of the description for code at `offset`, or -1 for none;
  // `function`: the offset of the start of its code.
  long Find(std::uintptr_t offset, std::uintptr_t& function) const {
    const FrameDescription found = FindFrameDescription(bytes_.data(), base_ + offset);
    function = found.function - base_;
    return found.record ? found.record - bytes_.data() : -1;
  }

 private:
  std::size_t Begin() {
    Put32(0);
    return bytes_.size() - 4;
  }
  void End(std::size_t at) {
    const auto length = static_cast<std::uint32_t>(bytes_.size() - at - 4);
    std::memcpy(&bytes_[at], &length, 4);
  }
  void Put32(std::uint32_t v) { PutBytes(&v, 4); }
  void PutBytes(const void* v, std::size_t n) {
    bytes_.insert(bytes_.end(), static_cast<const unsigned char*>(v), static_cast<const unsigned char*>(v) + n);
  }
  void Put(unsigned encoding, std::uintptr_t value) {
    if ((encoding & 0x70) == 0x10 && value != 0)
      value -= reinterpret_cast<std::uintptr_t>(bytes_.data() + bytes_.size());
    switch (encoding & 0x0f) {
      case 0x00: PutBytes(&value, sizeof value); break;
      case 0x01:
        do {
          bytes_.push_back((value & 0x7f) | (value > 0x7f ? 0x80 : 0));
          value >>= 7;
        } while (value);
        break;
      case 0x02:
      case 0x0a: PutBytes(&value, 2); break;  // little-endian hosts
      default: PutBytes(&value, 4); break;
    }
  }

  std::vector<unsigned char> bytes_;
  std::uintptr_t base_ = 0;
};

class FrameTableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(FrameTableTest, FindsTheDescriptionWhoseRangeHoldsTheAddress) {
  const FrameTable table(GetParam());
  std::uintptr_t function = 0;
  if (!GetParam().readable) {
    EXPECT_EQ(table.Find(0x4000, function), -1);
    return;
  }
  const long first = table.Find(0x4000, function);
  ASSERT_GT(first, 0);
  EXPECT_EQ(function, 0x4000u);
  EXPECT_EQ(table.Find(0x403f, function), first);
  const long last = table.Find(0x4105, function);
  EXPECT_GT(last, first);
  EXPECT_EQ(function, 0x4100u);
  for (std::uintptr_t outside : {0x3fff, 0x4040, 0x4110, 0x10}) EXPECT_EQ(table.Find(outside, function), -1) << outside;
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, FrameTableTest,
    ::testing::Values(TableCase{"PcRelative", 1, "R", 0x1b, 0, true},
                      TableCase{"WithPersonalityAndLsda", 1, "PLR", 0x1b, 0x9b, true},
                      TableCase{"AbsolutePersonality", 1, "PLR", 0x1b, 0x00, true},
                      TableCase{"UData4SignalFrame", 3, "SR", 0x03, 0, true},
                      TableCase{"ULeb128Version4", 4, "R", 0x01, 0, true},
                      TableCase{"NoAugmentationIsAbsolute", 1, nullptr, 0x00, 0, true},
                      TableCase{"AlignedIsNotRead", 1, "R", 0x50, 0, false}),
    [](const auto& row) { return std::string(row.param.name); });

// Against the runtime's own lookup, on the tables the compiler wrote for this
// program, where the runtime unwinds by such tables.
#if !defined(__SEH__) && !defined(__USING_SJLJ_EXCEPTIONS__)
// With a clean-up to run, so that its entry names a personality routine.
[[gnu::noinline]] std::string Joined(const std::string& a, const std::string& b) { return a + "/" + b; }

TEST(FrameTableTest, AgreesWithTheRuntimeOnThisProgram) {
  const void* functions[] = {reinterpret_cast<const void*>(&FindFrameDescription),
                             reinterpret_cast<const void*>(&Joined)};
  for (const void* function : functions) {
    char* pc = static_cast<char*>(const_cast<void*>(function)) + 1;
    UnwindBases bases{};
    const auto* fde = static_cast<const unsigned char*>(_Unwind_Find_FDE(pc, &bases));
    ASSERT_NE(fde, nullptr);
    std::uint32_t cie_distance;
    std::memcpy(&cie_distance, fde + 4, 4);
    // Any record before the description starts a walk that reaches it.
    const FrameDescription found = FindFrameDescription(fde + 4 - cie_distance, reinterpret_cast<std::uintptr_t>(pc));
    EXPECT_EQ(found.record, fde);
    EXPECT_EQ(found.function, reinterpret_cast<std::uintptr_t>(bases.function));
  }
}
#endif

}  // namespace
}  // namespace brisko
