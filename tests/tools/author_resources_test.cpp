// The author's icon and version record: how build puts them in place of the
// stub's, and how they are read back.
#include <gtest/gtest.h>

#include "lint/version_info.h"
#include "pack_test_util.h"
#include "package/package.h"
#include "pe/icon_resources.h"
#include "pe/version_record.h"

namespace brisko::pack {
namespace {

const ResourceId kGroups = ResourceId::Number(kIconGroupType), kIcons = ResourceId::Number(kIconType),
                 kNeutral = ResourceId::Number(0);

std::string Group(const std::vector<std::uint16_t>& ids) {
  std::string group;
  for (int v : {0, 1, static_cast<int>(ids.size())}) le::Append16(group, static_cast<std::uint16_t>(v));
  for (std::uint16_t id : ids) {
    group += std::string("\x10\x10\0\0", 4);
    for (int v : {1, 32}) le::Append16(group, static_cast<std::uint16_t>(v));
    le::Append32(group, 100);
    le::Append16(group, id);
  }
  return group;
}

std::vector<std::uint16_t> IconNumbers(const ResourceTree& tree) {
  std::vector<std::uint16_t> ids;
  for (const auto& [name, node] : tree.types().at(kIcons).names) ids.push_back(name.number());
  return ids;
}

// The old main icon's images go unless another group uses them; the new
// ones take the lowest free numbers, and the other group stays as it was.
TEST(MainIcon, ReplacesTheOldGroupAndTheImagesOnlyItUsed) {
  ResourceTree tree;
  tree.Put(kGroups, ResourceId::Ascii(kMainIconName), kNeutral, ResourceData::Bytes(Group({1, 2})));
  tree.Put(kGroups, ResourceId::Ascii(kMainIconName), ResourceId::Number(kJapanese), ResourceData::Bytes(Group({6})));
  tree.Put(kGroups, ResourceId::Number(5), kNeutral, ResourceData::Bytes(Group({2, 3})));
  for (std::uint16_t id : {1, 2, 3, 6}) tree.Put(kIcons, ResourceId::Number(id), kNeutral, ResourceData::Bytes("old"));

  const IconFile icon = ReadIconFile(test::UsualIcon());
  ASSERT_EQ(icon.problem, "");
  PutMainIcon(tree, icon.images);

  EXPECT_EQ(IconNumbers(tree), (std::vector<std::uint16_t>{1, 2, 3, 4, 5, 6}));
  const auto& main = tree.types().at(kGroups).names.at(ResourceId::Ascii(kMainIconName)).languages;
  ASSERT_EQ(main.size(), 1u) << "every language of the old group goes";
  std::vector<std::uint16_t> used;
  std::vector<std::string> sizes;
  for (const IconGroupEntry& e : ReadIconGroup(main.at(kNeutral).data.Read())) {
    used.push_back(e.id);
    sizes.push_back(std::to_string(e.width) + "x" + std::to_string(e.height) + "x" + std::to_string(e.bitCount));
    EXPECT_EQ(tree.Find(kIcons, ResourceId::Number(e.id))->data.size(), e.size);
  }
  EXPECT_EQ(used, (std::vector<std::uint16_t>{1, 4, 5, 6}));
  EXPECT_EQ(sizes, (std::vector<std::string>{"16x16x32", "32x32x32", "48x48x32", "256x256x32"}));
  EXPECT_EQ(tree.Find(kIcons, ResourceId::Number(2))->data.Read(), "old") << "still used by group 5";
  EXPECT_EQ(tree.Find(kIcons, ResourceId::Number(3))->data.Read(), "old");
}

TEST(VersionRecord, ReadsBackWhatItWrites) {
  const VersionInfoFile file = ReadVersionInfo(
      "product: \xE3\x83\x96\xE3\x83\xAA\xE3\x82\xB9\xE3\x82\xB3\n"  // ブリスコ
      "copyright: (C) 2024\nversion: 1.20.300.65535\ncompany: Brisko\n");
  const std::optional<VersionRecord> record = VersionRecordOf(file);
  ASSERT_TRUE(record);
  const std::optional<VersionRecord> back = DecodeVersionRecord(EncodeVersionRecord(*record));
  ASSERT_TRUE(back);
  EXPECT_EQ(VersionText(back->fileVersion), "1.20.300.65535");
  EXPECT_EQ(VersionText(back->productVersion), "1.20.300.65535");
  EXPECT_EQ(back->language, kJapanese);
  EXPECT_EQ(back->codePage, kUnicodeCodePage);
  const std::vector<std::pair<std::string, std::string>> strings = {
      {"ProductName", "\xE3\x83\x96\xE3\x83\xAA\xE3\x82\xB9\xE3\x82\xB3"},
      {"CompanyName", "Brisko"},
      {"FileVersion", "1.20.300.65535"},
      {"ProductVersion", "1.20.300.65535"},
      {"LegalCopyright", "(C) 2024"}};
  EXPECT_EQ(back->strings, strings);
  EXPECT_FALSE(VersionRecordOf(ReadVersionInfo("# comments\n# alone\n")));
}

class AuthorFiles : public ::testing::Test {
 protected:
  AuthorFiles() {
    test::WriteFile(dir_ / "s.txt", test::CleanScript({}));
    test::WriteFile(dir_ / "b.bmp", test::Bitmap(600, 300));
    test::WriteFile(dir_ / "icon.ico", test::UsualIcon());
    test::WriteFile(dir_ / "version.txt", "product: P\nversion: 2.0.0.1\n");
  }
  BuildRequest Request(const fs::path& stub) const {
    BuildRequest r{stub, dir_ / "s.txt", dir_ / "b.bmp", std::nullopt, dir_ / "out.exe"};
    r.icon = dir_ / "icon.ico";
    r.versionInfo = dir_ / "version.txt";
    return r;
  }
  test::TempDir dir_;
};

// The stub's record in another language goes, its icon of another name
// stays, and packing the installer again gives the same file.
TEST_F(AuthorFiles, ReplaceTheStubsAndRepackTheSame) {
  const fs::path stub = test::TestStub("stub64");
  BRISKOPACK_REQUIRE_STUB(stub);
  const BuildResult result = BuildInstaller(Request(stub));
  ASSERT_TRUE(result.written);
  EXPECT_EQ(result.iconImages, 4u);
  InstalledPackage package(dir_ / "out.exe");
  EXPECT_EQ(package.MainIcon().size(), 4u);
  ASSERT_TRUE(package.Version());
  EXPECT_EQ(VersionText(package.Version()->fileVersion), "2.0.0.1");
  const auto& records = package.resources().types().at(ResourceId::Number(kVersionType)).names;
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records.begin()->second.languages.size(), 1u);
  EXPECT_EQ(records.begin()->second.languages.count(ResourceId::Number(kJapanese)), 1u);
  EXPECT_TRUE(package.resources().Find(kGroups, ResourceId::Number(1))) << "the stub's own group 1";

  BuildRequest again = Request(dir_ / "out.exe");
  again.output = dir_ / "again.exe";
  ASSERT_TRUE(BuildInstaller(again).written);
  EXPECT_EQ(test::ReadFile(dir_ / "again.exe"), test::ReadFile(dir_ / "out.exe"));
}

// A forced build leaves out an icon that is none, and keeps the stub's.
TEST_F(AuthorFiles, ForcedBuildLeavesOutAFaultyIcon) {
  const fs::path stub = test::TestStub("stub32");
  BRISKOPACK_REQUIRE_STUB(stub);
  test::WriteFile(dir_ / "icon.ico", "not an icon");
  BuildRequest request = Request(stub);
  EXPECT_FALSE(BuildInstaller(request).written);
  request.force = true;
  const BuildResult result = BuildInstaller(request);
  ASSERT_TRUE(result.written);
  EXPECT_EQ(result.iconImages, 0u);
  EXPECT_TRUE(InstalledPackage(dir_ / "out.exe").MainIcon().empty());
}

}  // namespace
}  // namespace brisko::pack
