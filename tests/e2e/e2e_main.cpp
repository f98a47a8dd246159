// The end-to-end tests' entry. Takes the installers under test from the
// command line:
//   --stub=PATH     the installer without package; packages are added to
//                   copies of it with UpdateResource
//   --fault-stub=PATH  the stub's test variant, for the fault tests
//   --demo=PATH     the demo installer built from samples/demo
//   --samples=PATH  the samples folder, to compare the demo's payload files
//   --shortcut-written  a run under code page 932 wrote the shortcut of
//                   WriteShortcutForAnotherCodePage in this prefix before
// `--write-shortcut` alone writes that shortcut and runs no test.
#include <windows.h>
#include <objbase.h>

#include <cstring>
#include <string>

#include "driver.h"

int main(int argc, char** argv) {
  using namespace brisko::e2e;
  Settings& settings = TestSettings();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&](const char* flag) -> const char* {
      const std::size_t n = std::strlen(flag);
      return arg.compare(0, n, flag) == 0 ? argv[i] + n : nullptr;
    };
    if (const char* v = value("--stub=")) settings.stub = WindowsPath(v);
    if (const char* v = value("--fault-stub=")) settings.faultStub = WindowsPath(v);
    if (const char* v = value("--demo=")) settings.demo = WindowsPath(v);
    if (const char* v = value("--samples=")) settings.samples = WindowsPath(v);
    if (arg == "--shortcut-written") settings.shortcutWritten = true;
    if (arg == "--write-shortcut") return WriteShortcutForAnotherCodePage() ? 0 : 1;
  }
  if (!settings.stub.empty()) RegisterPackager(std::make_shared<ResourceUpdatePackager>(settings.stub));
  // Under Wine on Xvfb no window manager answers: unmanaged windows spare
  // every hidden window a two-second wait for a reply that never comes. The
  // installers started from here read this from the prefix's registry.
  HKEY x11 = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, nullptr, 0, KEY_WRITE, nullptr, &x11,
                      nullptr) == ERROR_SUCCESS) {
    RegSetValueExA(x11, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
    RegCloseKey(x11);
  }
  CoInitialize(nullptr);
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}
