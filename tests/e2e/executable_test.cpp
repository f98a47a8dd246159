// The installer executables themselves: manifest, version record, icon, and
// the demo's package. Read with the loader's own resource functions.
#include <algorithm>

#include "driver.h"
#include "expected_texts.h"
#include "win32/main_window_ids.h"

namespace brisko::e2e {
namespace {

class Executable : public testing::Test {
 protected:
  void SetUp() override {
    if (TestSettings().stub.empty()) GTEST_SKIP() << "no --stub given";
    module_ = LoadLibraryExA(TestSettings().stub.c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << TestSettings().stub;
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  std::string Resource(LPCSTR name, LPCSTR type) const {
    HRSRC found = FindResourceA(module_, name, type);
    if (found == nullptr) return {};
    const void* bytes = LockResource(LoadResource(module_, found));
    return std::string(static_cast<const char*>(bytes), SizeofResource(module_, found));
  }

  HMODULE module_ = nullptr;
};

TEST_F(Executable, ManifestAsksForAdministratorAndCommonControls6) {
  const std::string manifest = Resource(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find(R"(level="requireAdministrator")"), std::string::npos);
  EXPECT_NE(manifest.find(R"(uiAccess="false")"), std::string::npos);
  EXPECT_NE(manifest.find(R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")"), std::string::npos);
#ifdef _WIN64
  const char* architecture = R"(processorArchitecture="amd64")";
#else
  const char* architecture = R"(processorArchitecture="X86")";
#endif
  EXPECT_NE(manifest.find(architecture), std::string::npos);
}

TEST_F(Executable, VersionRecordIsJapaneseWithEmptyTexts) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(TestSettings().stub.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::string info(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(TestSettings().stub.c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010003u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00010010u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
  ASSERT_GE(length, 4u);
  EXPECT_EQ(translation[0], 0x0411);
  EXPECT_EQ(translation[1], 932);
  for (const char* key : {"CompanyName", "FileDescription", "ProductName", "LegalCopyright"}) {
    char* text = nullptr;
    const std::string path = std::string("\\StringFileInfo\\041103A4\\") + key;
    if (VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length)) {
      EXPECT_EQ(std::string(text, length > 0 ? length - 1 : 0), "") << key;
    }
  }
}

TEST_F(Executable, MainIconIs32x32With16Colours) {
  const std::string group = Resource("MAINICON", MAKEINTRESOURCEA(14));
  ASSERT_GE(group.size(), 6u + 14u);
  EXPECT_EQ(static_cast<unsigned char>(group[4]), 1) << "one image";
  EXPECT_EQ(static_cast<unsigned char>(group[6]), 32);   // width
  EXPECT_EQ(static_cast<unsigned char>(group[7]), 32);   // height
  EXPECT_EQ(static_cast<unsigned char>(group[8]), 16);   // colours
  EXPECT_EQ(static_cast<unsigned char>(group[12]), 4);   // bits per pixel
}

TEST_F(Executable, StubCarriesNoPackage) {
  EXPECT_TRUE(Resource("RESOURCE_SCRIPT", "TEXT").empty());
  EXPECT_TRUE(Resource("RESOURCE_BACKGROUND", "BMP").empty());
  EXPECT_TRUE(Resource("RESOURCE_FILE0", "BIN").empty());
}

// The demo installer, built by windres from samples/demo, run as a user
// would: its shortcut is found, and Start writes the two sample payloads.
class Demo : public InstallerTest {};

TEST_P(Demo, FindsItsGameAndWritesTheSamplePayloads) {
  const Settings& settings = TestSettings();
  if (settings.demo.empty() || settings.samples.empty()) GTEST_SKIP() << "no --demo or --samples given";
  if (GetACP() != 932) GTEST_SKIP() << "the demo's shortcut path is Shift-JIS";
  WriteFileBytes(target() + "\\brisko.exe", "MZ");
  const std::string link = ShiftJis(L"Brisko Soft\\ブリスコ物語\\ブリスコ物語.lnk");
  CreateProgramsShortcut(link, target() + "\\brisko.exe");
  std::vector<Dialog> messages;
  auto installer = Launch(settings.demo, &messages);
  RemoveTree(ProgramsFolder() + "\\Brisko Soft");
  EXPECT_TRUE(messages.empty()) << Utf8(messages.empty() ? L"" : messages[0].text);
  EXPECT_EQ(installer->CaptionW(), L"ブリスコ物語 修正パッチ 1.0");
  EXPECT_EQ(installer->Field(), target() + "\\");
  ASSERT_TRUE(installer->StartEnabled());
  Dialog outcome = installer->StartAndWaitMessage();
  EXPECT_EQ(outcome.text, shown::kPatchSucceeded);
  installer->Answer(outcome);
  for (const char* name : {"data_patch.dat", "readme_patch.txt"}) {
    const auto expected = ReadFileBytes(settings.samples + "\\demo\\payload\\" + name);
    ASSERT_TRUE(expected.has_value()) << name;
    EXPECT_EQ(ReadFileBytes(target() + "\\" + name), expected) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(E2E, Demo, testing::Values(std::shared_ptr<const Packager>()),
                         [](const auto&) { return std::string("Windres"); });

}  // namespace
}  // namespace brisko::e2e
