#include "core/text/path.h"

#include <gtest/gtest.h>

#include "test_locale.h"

namespace brisko {
namespace {

struct JoinCase {
  const char* folder;
  const char* name;
  const char* sjis;    // result under code page 932
  const char* single;  // result under a single-byte code page
};

class JoinPathTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinPathTest, AddsOneDelimiterWhereMissing) {
  const JoinCase& c = GetParam();
  EXPECT_EQ(JoinPath(test::ShiftJis(), c.folder, c.name), c.sjis);
  EXPECT_EQ(JoinPath(test::SingleByte(), c.folder, c.name), c.single);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JoinPathTest,
    ::testing::Values(
        // A folder ending in ソ (83 5C) still needs its delimiter under 932.
        JoinCase{"C:\\Games\\\x83\x5C", "t.exe", "C:\\Games\\\x83\x5C\\t.exe", "C:\\Games\\\x83\x5Ct.exe"},
        JoinCase{"C:\\\x95\x5C", "t.exe", "C:\\\x95\x5C\\t.exe", "C:\\\x95\x5Ct.exe"},
        JoinCase{"C:\\Games\\Title", "target.exe", "C:\\Games\\Title\\target.exe",
                 "C:\\Games\\Title\\target.exe"},
        JoinCase{"C:\\Games\\Title\\", "target.exe", "C:\\Games\\Title\\target.exe",
                 "C:\\Games\\Title\\target.exe"},
        JoinCase{"C:\\", "target.exe", "C:\\target.exe", "C:\\target.exe"},
        JoinCase{"", "a", "\\a", "\\a"},
        // ソ followed by a real delimiter: nothing more is added.
        JoinCase{"D:\\\x83\x5C\\", "x", "D:\\\x83\x5C\\x", "D:\\\x83\x5C\\x"}));

struct FolderCase {
  const char* path;
  const char* sjis;
  const char* single;
};

class ExtractFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(ExtractFolderTest, KeepsUpToLastDelimiterOrColon) {
  const FolderCase& c = GetParam();
  EXPECT_EQ(ExtractFolder(test::ShiftJis(), c.path), c.sjis);
  EXPECT_EQ(ExtractFolder(test::SingleByte(), c.path), c.single);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractFolderTest,
    ::testing::Values(FolderCase{"D:\\Games\\Title 2\\target.exe", "D:\\Games\\Title 2\\", "D:\\Games\\Title 2\\"},
                      // 表 in the folder name must not cut the folder short.
                      FolderCase{"D:\\\x95\x5C\\t.exe", "D:\\\x95\x5C\\", "D:\\\x95\x5C\\"},
                      FolderCase{"D:\\\x95\x5Ct.exe", "D:\\", "D:\\\x95\x5C"},
                      FolderCase{"C:t.exe", "C:", "C:"},
                      FolderCase{"target.exe", "", ""},
                      FolderCase{"", "", ""}));

TEST(IncludeTrailingDelimiter, EmptyTextBecomesBackslash) {
  EXPECT_EQ(IncludeTrailingDelimiter(test::ShiftJis(), ""), "\\");
  EXPECT_EQ(IncludeTrailingDelimiter(test::ShiftJis(), "\\"), "\\");
}

}  // namespace
}  // namespace brisko
