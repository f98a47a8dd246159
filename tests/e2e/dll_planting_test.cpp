// DLL planting: a DLL named like one that the window's theming loads after
// start, placed beside the installer as in a downloads folder, must never be
// loaded, through start-up, the folder chooser and Start. Wine is told to
// prefer a native copy of it (a DllOverrides key of Wine's per-program
// settings, which it reads at each start), and a control program in
// the same folder shows that an unrestricted search does load the planted
// copy, so its absence under the installer means something.
#include <windows.h>

#include "driver.h"
#include "expected_texts.h"
#include "win32/main_window_ids.h"

namespace brisko::e2e {
namespace {

// uxtheme.dll is loaded by the window manager's theming once the first
// window exists, by name, through the search path; comctl32.dll by the
// installer itself for its progress bar, once Start is pressed.
constexpr const char* kPlanted[] = {"uxtheme", "comctl32"};

std::string OwnFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

// Wine's per-program DLL load order, HKCU\Software\Wine\AppDefaults\<exe>
// \DllOverrides: "native,builtin" makes it take a DLL found on the search
// path over its own. Removed again at the end.
class PreferNative {
 public:
  PreferNative(std::vector<std::string> programs, std::vector<std::string> dlls) : programs_(std::move(programs)) {
    for (const auto& program : programs_) {
      HKEY key = nullptr;
      if (RegCreateKeyExA(HKEY_CURRENT_USER, Key(program).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot write " << Key(program);
        continue;
      }
      for (const auto& dll : dlls)
        RegSetValueExA(key, dll.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"), 15);
      RegCloseKey(key);
    }
  }
  ~PreferNative() {
    for (const auto& program : programs_)
      RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\Wine\\AppDefaults\\" + program).c_str());
  }

 private:
  static std::string Key(const std::string& program) {
    return "Software\\Wine\\AppDefaults\\" + program + "\\DllOverrides";
  }
  std::vector<std::string> programs_;
};

class DllPlanting : public InstallerTest {};

TEST_P(DllPlanting, APlantedDllIsNeverLoaded) {
  if (GetParam()->name() != "Resources") GTEST_SKIP() << "the packager does not matter here";
  const std::string downloads = root() + "Downloads\\";
  ASSERT_TRUE(CreateDirectoryA(downloads.c_str(), nullptr));
  for (const char* name : kPlanted)
    ASSERT_TRUE(CopyFileA((OwnFolder() + "planted.dll").c_str(), (downloads + name + ".dll").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((OwnFolder() + "dll-loader.exe").c_str(), (downloads + "dll-loader.exe").c_str(), FALSE));
  const PreferNative preferPlanted({"dll-loader.exe", "installer.exe"},
                                   std::vector<std::string>(std::begin(kPlanted), std::end(kPlanted)));
  auto marker = [&](const char* name) { return downloads + name + ".dll.loaded"; };

  // The control: an ordinary search finds every planted copy.
  std::string loader = "\"" + downloads + "dll-loader.exe\"";
  for (const char* name : kPlanted) loader += std::string(" ") + name + ".dll";
  ASSERT_TRUE(RunProgram(loader, 60000, downloads).has_value());
  for (const char* name : kPlanted) {
    ASSERT_NE(GetFileAttributesA(marker(name).c_str()), INVALID_FILE_ATTRIBUTES)
        << name << ".dll beside a program is not loaded here: this Wine cannot show planting";
    DeleteFileA(marker(name).c_str());
  }

  ScriptParts script;
  script.linkPath = {AddTargetShortcut()};
  script.outFiles = {"patched.dat"};
  const std::string exe = downloads + "installer.exe";
  GetParam()->Make(StandardPackage(script, {{0, "patched"}}), exe);
  std::vector<Dialog> messages;
  auto installer = Launch(exe, &messages);
  EXPECT_TRUE(messages.empty());
  installer->Press(ids::kLblChangePath);
  auto chooser = installer->WaitDialog();
  ASSERT_TRUE(chooser.has_value());
  EXPECT_TRUE(chooser->isFolderChooser);
  installer->Answer(*chooser, /*ok=*/false);
  Dialog outcome = installer->StartAndWaitMessage();
  EXPECT_EQ(outcome.text, shown::kPatchSucceeded);
  installer->Answer(outcome);
  installer.reset();
  for (const char* name : kPlanted)
    EXPECT_EQ(GetFileAttributesA(marker(name).c_str()), INVALID_FILE_ATTRIBUTES) << name << ".dll was loaded";
}

BRISKO_INSTANTIATE_FOR_PACKAGERS(DllPlanting);

}  // namespace
}  // namespace brisko::e2e
