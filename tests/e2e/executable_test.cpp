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

// The manifest as the system reads it, in an activation context of its
// own: the systems it was made for (so that each gives it its own
// behaviour, not that of an older Windows) and the DPI awareness asked for:
// per monitor, version 2 where known, else version 1, else the system's.
TEST_F(Executable, ManifestNamesTheSupportedSystemsAndDpiAwareness) {
  const std::wstring stub = Widen(TestSettings().stub, CP_ACP);
  ACTCTXW request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = stub.c_str();
  request.lpResourceName = MAKEINTRESOURCEW(1);
  HANDLE context = CreateActCtxW(&request);
  ASSERT_NE(context, INVALID_HANDLE_VALUE) << "the manifest does not read (error " << GetLastError() << ")";

  const struct {
    const wchar_t* space;
    const wchar_t* name;
    const wchar_t* value;
  } settings[] = {
      {L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", L"true/pm"},
      {L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness", L"PerMonitorV2, PerMonitor"},
  };
  for (const auto& setting : settings) {
    wchar_t value[64] = {};
    SIZE_T written = 0;
    EXPECT_TRUE(QueryActCtxSettingsW(0, context, setting.space, setting.name, value, 64, &written))
        << Utf8(setting.name);
    EXPECT_EQ(std::wstring(value), setting.value) << Utf8(setting.name);
  }

  // The layout of an element differs between versions of the system; the
  // systems' identifiers are looked for in the whole answer.
  std::string answer(4096, '\0');
  SIZE_T needed = 0;
  ASSERT_TRUE(QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext, answer.data(),
                           answer.size(), &needed));
  answer.resize(needed);
  EXPECT_EQ(reinterpret_cast<const ACTIVATION_CONTEXT_COMPATIBILITY_INFORMATION*>(answer.data())->ElementCount, 5u);
  const struct {
    const char* system;
    GUID id;
  } systems[] = {
      {"Vista", {0xe2011457, 0x1546, 0x43c5, {0xa5, 0xfe, 0x00, 0x8d, 0xee, 0xe3, 0xd3, 0xf0}}},
      {"7", {0x35138b9a, 0x5d96, 0x4fbd, {0x8e, 0x2d, 0xa2, 0x44, 0x02, 0x25, 0xf9, 0x3a}}},
      {"8", {0x4a2f28e3, 0x53b9, 0x4441, {0xba, 0x9c, 0xd6, 0x9d, 0x4a, 0x4a, 0x6e, 0x38}}},
      {"8.1", {0x1f676c76, 0x80e1, 0x4239, {0x95, 0xbb, 0x83, 0xd0, 0xf6, 0xd0, 0xda, 0x78}}},
      {"10 and 11", {0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}}},
  };
  for (const auto& system : systems) {
    const std::string id(reinterpret_cast<const char*>(&system.id), sizeof system.id);
    EXPECT_NE(answer.find(id), std::string::npos) << "Windows " << system.system;
  }
  ReleaseActCtx(context);
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
