// A patch made from two versions of an application with the packer (diff,
// then build --from): applied to the version it was made from, applied a
// second time, refused on a version it was not made from, and stopped before
// writing anything by a file it cannot replace. Runs with the packer's
// scenarios, when BRISKO_E2E_PACKER names the Windows packer.
#include "driver.h"
#include "expected_texts.h"
#include "win32/main_window_ids.h"

namespace brisko::e2e {
namespace {

// Bytes that do not compress, so that only a delta makes the patch small.
std::string Noise(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return bytes;
}

// Two versions: an archive with a member replaced and one inserted in the
// middle (later offsets shift), a rebuilt program, an unchanged file, and a
// file that only the new version has.
const std::string kArchiveV1 = Noise(512 << 10, 1);
const std::string kArchiveV2 = kArchiveV1.substr(0, 100 << 10) + Noise(3000, 2) +
                               kArchiveV1.substr(104 << 10, 200 << 10) + Noise(5000, 3) + kArchiveV1.substr(304 << 10);
const std::string kProgramV1 = Noise(40 << 10, 4);
const std::string kProgramV2 = kProgramV1.substr(0, 9000) + "rebuilt" + kProgramV1.substr(9007);
const std::map<std::string, std::string> kVersion1 = {
    {"data.pak", kArchiveV1}, {"game.bin", kProgramV1}, {"same.txt", "unchanged"}};
const std::map<std::string, std::string> kVersion2 = {
    {"data.pak", kArchiveV2}, {"game.bin", kProgramV2}, {"same.txt", "unchanged"}, {"new.txt", "only in v2"}};

class ApplyVersions : public InstallerTest {
 protected:
  void WriteVersion(const std::string& folder, const std::map<std::string, std::string>& files) const {
    MakeFolder(folder);
    for (const auto& [name, bytes] : files) WriteFileBytes(folder + "\\" + name, bytes);
  }

  // The installer of a patch from v1 to v2, made as an author makes one.
  std::string MakeVersionPatch() {
    WriteVersion(root() + "v1", kVersion1);
    WriteVersion(root() + "v2", kVersion2);
    const std::string patch = root() + "patch";
    MakeFolder(patch);
    ScriptParts script;
    script.linkPath = {AddTargetShortcut()};
    script.outFiles = std::vector<std::string>{};
    const Package package = StandardPackage(script);
    WriteFileBytes(patch + "\\script.txt", *package.script);
    WriteFileBytes(patch + "\\background.bmp", *package.background);
    char packer[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("BRISKO_E2E_PACKER", packer, sizeof packer);
    EXPECT_TRUE(n > 0 && n < sizeof packer);
    const std::string run = "\"" + WindowsPath(packer) + "\" ";
    const std::string diff = run + "diff \"" + root() + "v1\" \"" + root() + "v2\" -o \"" + patch + "\"";
    EXPECT_EQ(RunProgram(diff), std::optional<DWORD>(0)) << diff;
    const std::string exe = root() + "installer.exe";
    const std::string build = run + "build --stub \"" + TestSettings().stub + "\" --from \"" + root() + "v1\" -o \"" +
                              exe + "\" \"" + patch + "\"";
    EXPECT_EQ(RunProgram(build), std::optional<DWORD>(0)) << build;
    return exe;
  }

  // Runs the installer, presses Start and answers its message.
  void RunExpecting(const std::string& exe, const std::wstring& message) {
    auto installer = Launch(exe);
    ASSERT_TRUE(installer->StartEnabled());
    const Dialog outcome = installer->StartAndWaitMessage();
    EXPECT_EQ(outcome.text, message) << Utf8(outcome.text);
    installer->Answer(outcome);
    EXPECT_TRUE(WaitUntil([&] { return installer->CancelEnabled(); }));
    EXPECT_FALSE(installer->StartEnabled());
  }

  void ExpectTargetHolds(const std::map<std::string, std::string>& files) const {
    for (const auto& [name, bytes] : files) EXPECT_TRUE(ReadFileBytes(target() + "\\" + name) == bytes) << name;
  }

  // The target folder holds `files` and the check target, and nothing else.
  void ExpectTargetHoldsOnly(std::map<std::string, std::string> files) const {
    files["target.exe"] = "MZ target";
    EXPECT_TRUE(FolderFiles(target()) == files);
    EXPECT_EQ(ListFolder(target()).size(), files.size());
  }

  FILETIME LastWrite(const std::string& name) const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA((target() + "\\" + name).c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
  }
};

TEST_P(ApplyVersions, TurnsTheOldVersionIntoTheNewAndRewritesNothingTheSecondTime) {
  const std::string exe = MakeVersionPatch();
  const std::size_t around = ReadFileBytes(TestSettings().stub)->size() + StandardPackage({}).background->size();
  EXPECT_LT(ReadFileBytes(exe)->size(), around + kArchiveV2.size() / 8) << "the archive goes as a delta";
  WriteVersion(target(), kVersion1);
  RunExpecting(exe, shown::kPatchSucceeded);
  ExpectTargetHolds(kVersion2);

  std::vector<FILETIME> before;
  for (const auto& [name, bytes] : kVersion2) before.push_back(LastWrite(name));
  Sleep(50);
  RunExpecting(exe, shown::kPatchSucceeded);
  ExpectTargetHolds(kVersion2);
  std::size_t i = 0;
  for (const auto& [name, bytes] : kVersion2) {
    const FILETIME after = LastWrite(name);
    EXPECT_EQ(CompareFileTime(&before[i++], &after), 0) << name << " was written again";
  }
}

// The modified archive keeps the size of v1's, so the patch takes it for v1
// until the delta's result fails its check: nothing is put in place, and
// the message names the file.
TEST_P(ApplyVersions, AnotherVersionIsRefusedBeforeAnythingIsWritten) {
  const std::string exe = MakeVersionPatch();
  std::map<std::string, std::string> modified = kVersion1;
  modified["data.pak"][300000] ^= 1;
  WriteVersion(target(), modified);
  RunExpecting(exe, shown::OtherVersion(L"data.pak"));
  ExpectTargetHoldsOnly(modified);
}

// A file that cannot be replaced now, held by a running program (which
// lets others read it, as Windows holds a program's own file) or marked
// read-only: the patch stops before it writes anything, and names the file;
// once freed, running the patch again completes it.
TEST_P(ApplyVersions, FileThatCannotBeReplacedStopsThePatchUntilFreed) {
  const std::string exe = MakeVersionPatch();
  const std::string blocked = target() + "\\game.bin";
  const struct {
    const char* what;
    std::wstring message;
    bool readOnly;
  } cases[] = {
      {"held", shown::InUse(L"game.bin"), false},
      {"read-only", shown::ReadOnly(L"game.bin"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileAt(target() + "\\new.txt");
    WriteVersion(target(), kVersion1);
    HANDLE holder = INVALID_HANDLE_VALUE;
    if (c.readOnly) {
      ASSERT_TRUE(SetFileAttributesA(blocked.c_str(), FILE_ATTRIBUTE_READONLY));
    } else {
      holder = CreateFileA(blocked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    }
    RunExpecting(exe, c.message);
    ExpectTargetHoldsOnly(kVersion1);

    if (c.readOnly) {
      SetFileAttributesA(blocked.c_str(), FILE_ATTRIBUTE_NORMAL);
    } else {
      CloseHandle(holder);
    }
    RunExpecting(exe, shown::kPatchSucceeded);
    ExpectTargetHoldsOnly(kVersion2);
  }
}

std::vector<std::shared_ptr<const Packager>> PackerOnly() {
  std::vector<std::shared_ptr<const Packager>> packer;
  for (const auto& packager : Packagers())
    if (packager->name() == "Briskopack") packer.push_back(packager);
  return packer;
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ApplyVersions);
INSTANTIATE_TEST_SUITE_P(E2E, ApplyVersions, testing::ValuesIn(PackerOnly()), PackagerName);

}  // namespace
}  // namespace brisko::e2e
