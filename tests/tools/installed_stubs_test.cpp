#include "pe/installed_stubs.h"

#include <gtest/gtest.h>

#include "pack_test_util.h"
#include "platform/program_path.h"

namespace brisko::pack {
namespace {

using test::TempDir;

// A version record's start: the three 16-bit fields, the key, and the fixed
// part with the given signature and file version.
std::string VersionRecord(std::u16string key, std::uint32_t signature, std::uint32_t ms, std::uint32_t ls) {
  std::string b;
  le::Append16(b, 0);
  le::Append16(b, 52);
  le::Append16(b, 0);
  for (char16_t c : key) le::Append16(b, c);
  le::Append16(b, 0);
  b.resize(AlignUp(b.size(), 4), '\0');
  le::Append32(b, signature);
  le::Append32(b, 0x10000);
  le::Append32(b, ms);
  le::Append32(b, ls);
  b.resize(b.size() + 36, '\0');
  le::Put16(b, 0, static_cast<std::uint16_t>(b.size()));
  return b;
}

TEST(FixedFileVersion, ReadsOnlyAVersionRecord) {
  const std::uint32_t sig = 0xFEEF04BD;
  const std::string good = VersionRecord(u"VS_VERSION_INFO", sig, 0x00010003, 0x00010010);
  std::string noValue = good;
  le::Put16(noValue, 2, 0);
  const struct {
    const char* what;
    std::string bytes;
    std::optional<std::string> version;
  } cases[] = {
      {"a record", good, "1.3.1.16"},
      {"large parts", VersionRecord(u"VS_VERSION_INFO", sig, 0xFFFF0000, 0x0000FFFF), "65535.0.0.65535"},
      {"cut short", good.substr(0, good.size() - 1), std::nullopt},
      {"another key", VersionRecord(u"VS_VERSION_INFX", sig, 1, 1), std::nullopt},
      {"no signature", VersionRecord(u"VS_VERSION_INFO", 0xFEEF04BC, 1, 1), std::nullopt},
      {"no fixed part", noValue, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FixedFileVersion(c.bytes), c.version) << c.what;
}

TEST(ProgramFileVersion, FromTheStubsVersionRecord) {
  for (const char* name : {"stub32", "stub64"}) {
    const fs::path stub = test::TestStub(name);
    BRISKOPACK_REQUIRE_STUB(stub);
    EXPECT_EQ(ProgramFileVersion(stub), "1.2.3.4") << name;
  }
}

TEST(ProgramFileVersion, NoneWithoutAVersionRecordAndRefusedForNoProgram) {
  TempDir dir;
  test::WriteFile(dir / "plain.exe", test::PlainPe(false).Build());
  EXPECT_EQ(ProgramFileVersion(dir / "plain.exe"), std::nullopt);
  test::WriteFile(dir / "text.exe", std::string(200, 't'));
  EXPECT_THROW(ProgramFileVersion(dir / "text.exe"), PackError);
}

TEST(InstalledStubPath, ShareFolderBesideTheProgramsFolder) {
  const fs::path program = fs::path("prefix") / "bin" / "briskopack";
  EXPECT_EQ(InstalledStubPath(program, StubArch::X86),
            (fs::path("prefix") / "share" / "briskopatch" / "stubs" / "x86" / "briskopatch-stub.exe"));
  EXPECT_EQ(InstalledStubPath(program, StubArch::X64),
            (fs::path("prefix") / "share" / "briskopatch" / "stubs" / "x64" / "briskopatch-stub.exe"));
}

TEST(ProgramPath, IsThisTestProgram) {
  const std::optional<fs::path> self = ProgramPath();
  ASSERT_TRUE(self.has_value());
  EXPECT_TRUE(self->is_absolute()) << self->string();
  EXPECT_EQ(self->stem(), "briskopack_tests");
  EXPECT_TRUE(fs::is_regular_file(*self));
}

}  // namespace
}  // namespace brisko::pack
