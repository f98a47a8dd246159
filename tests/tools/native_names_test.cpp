#include "platform/native_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brisko::pack {
namespace {

// 表 is 0x95 0x5C in Shift-JIS: its second byte is a backslash.
const char kHyou[] = "\x95\x5C";

TEST(ScriptPaths, SplitAtEitherSeparatorButNotAtATrailByte5C) {
  const struct {
    std::string path;
    std::vector<Text> parts;
  } cases[] = {
      {std::string(kHyou) + "\\a/b", {kHyou, "a", "b"}},
      {"a\\\\b", {"a", "", "b"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitScriptPath(c.path), c.parts) << c.path;
}

TEST(ScriptPaths, AbsoluteWhenStartingWithASeparatorOrADrive) {
  const struct {
    std::string path;
    bool absolute;
  } cases[] = {
      {"C:x", true},
      {"\\x", true},
      // 表 and a colon name no drive: 表 is one character of two bytes.
      {std::string(kHyou) + ":", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsAbsoluteScriptPath(c.path), c.absolute) << c.path;
}

// The one rule that build, lint and extract share for a payload path.
TEST(ScriptPaths, StayInsideUnlessAbsoluteOrClimbingOut) {
  const struct {
    std::string path;
    bool climbs, inside;
  } cases[] = {
      {"data\\a.dat", false, true},
      {"..\\a.dat", true, false},
      {"sub/../../a.dat", true, false},
      {"..a\\b..", false, true},
      {"\\a.dat", false, false},
      {"C:..", false, false},
      {"data\\D:x.dat", true, false},
      {"data\\a:b.dat", true, false},
      {"data\\1:b.dat", false, true},
      // 表 then "..": the 0x5C is a trail byte, so this is one part, not "..".
      {std::string(kHyou) + "..", false, true},
      {std::string(kHyou) + "\\..", true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ClimbsOutOfFolder(c.path), c.climbs) << c.path;
    EXPECT_EQ(StaysInsideFolder(c.path), c.inside) << c.path;
  }
}

}  // namespace
}  // namespace brisko::pack
