#include "win32/win_registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <set>
#include <string>

#include "core/discovery/tvh_registry.h"
#include "core/errors.h"
#include "core/text/fixed_texts.h"
#include "system_test_helpers.h"
#include "win32/win_locale.h"

namespace brisko {
namespace {

// Forwards to the real registry and remembers which keys are open.
class CountingRegistry : public RegistryApi {
 public:
  bool OpenKey(RegistryRoot root, Key parent, const Text& name, Key& opened) override {
    if (!real_.OpenKey(root, parent, name, opened)) return false;
    open.insert(opened);
    return true;
  }
  bool QueryValue(Key key, const Text& name, std::uint32_t& type, std::uint32_t& size) override {
    return real_.QueryValue(key, name, type, size);
  }
  bool FetchValue(Key key, const Text& name, std::uint32_t& type, std::string& data) override {
    return real_.FetchValue(key, name, type, data);
  }
  void CloseKey(Key key) override {
    open.erase(key);
    real_.CloseKey(key);
  }
  std::set<Key> open;

 private:
  WinRegistry real_;
};

// ソフト表: both 0x5C bytes are second bytes of their characters.
const char kShiftJisKey[] = "\x83\x5C\x83t\x83g\x95\x5C";

// A key of the current user's, filled with values of each kind and removed
// again with everything below it.
class TestKey {
 public:
  TestKey() : name_(test::UniqueName("Software\\BriskoTest")) {
    const Text folders = name_ + "\\Shell Folders";
    SetValue(folders, "Programs", REG_SZ, std::string("C:\\Menu\\Programs\0", 18));
    SetValue(folders, "Expand", REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15));
    SetValue(folders, "Empty", REG_SZ, "");
    const DWORD number = 7;
    SetValue(folders, "Number", REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4));
    SetValue(name_ + "\\" + kShiftJisKey, "v", REG_SZ, std::string("sjis\0", 5));
    // A text that code page 932 cannot hold, stored through the wide call.
    const std::wstring hangul = L"C:\\\uD55C";
    HKEY raw = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, folders.c_str(), 0, KEY_WRITE, &raw);
    unique_hkey owned(raw);
    RegSetValueExW(raw, L"Hangul", 0, REG_SZ, reinterpret_cast<const BYTE*>(hangul.c_str()),
                   static_cast<DWORD>((hangul.size() + 1) * sizeof(wchar_t)));
  }
  ~TestKey() { RegDeleteTreeA(HKEY_CURRENT_USER, name_.c_str()); }

  // "HKEY_CURRENT_USER\Software\BriskoTest-<pid>"
  Text Path() const { return "HKEY_CURRENT_USER\\" + name_; }

 private:
  void SetValue(const Text& key, const char* name, DWORD type, const std::string& data) {
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &raw, nullptr),
              ERROR_SUCCESS);
    unique_hkey owned(raw);
    ASSERT_EQ(RegSetValueExA(raw, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }

  Text name_;
};

struct RealWalkCase {
  const char* name;
  std::string suffix;  // after the test key's path, or a whole path when it starts with "!"
  bool result;
  std::optional<std::string> value;  // nullopt: unchanged
};

class WinRegistryWalkTest : public ::testing::TestWithParam<RealWalkCase> {};

// The Program Files folder of this process's view of the registry: on 64-bit
// Windows a 32-bit program reads the 32-bit view, where it is the (x86) one.
std::string ProgramFilesOfThisView() {
  char folder[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA("ProgramFiles", folder, MAX_PATH);
  return length < MAX_PATH ? std::string(folder, length) : std::string();
}

TEST_P(WinRegistryWalkTest, ReadsTheRealRegistry) {
  const RealWalkCase& c = GetParam();
  TestKey key;
  CountingRegistry registry;
  TvhRegistry reader(registry, WinLocale::System());
  const Text path = c.suffix[0] == '!' ? c.suffix.substr(1) : key.Path() + c.suffix;
  Text value = "unchanged";
  RaisedError error;
  EXPECT_EQ(reader.ReadStringByPath(path, value, error), c.result);
  EXPECT_EQ(value, c.value.value_or("unchanged"));
  EXPECT_TRUE(registry.open.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, WinRegistryWalkTest,
    ::testing::Values(
        RealWalkCase{"String", "\\Shell Folders\\Programs", true, "C:\\Menu\\Programs"},
        RealWalkCase{"TrailingAndDoubledBackslashes", "\\\\Shell Folders\\\\Programs\\", true,
                     "C:\\Menu\\Programs"},
        RealWalkCase{"ExpandStringAsStored", "\\Shell Folders\\Expand", true, "%SystemRoot%\\x"},
        RealWalkCase{"EmptyString", "\\Shell Folders\\Empty", true, ""},
        RealWalkCase{"MissingValue", "\\Shell Folders\\Nothing", true, ""},
        RealWalkCase{"OutsideCodePage932ReadsAsMissing", "\\Shell Folders\\Hangul", true, ""},
        RealWalkCase{"MissingSubkey", "\\Nowhere\\Programs", false, std::nullopt},
        RealWalkCase{"ShiftJisKey", std::string("\\") + kShiftJisKey + "\\v", true, "sjis"},
        RealWalkCase{"LocalMachine",
                     "!hkey_local_machine\\Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir",
                     true, ProgramFilesOfThisView()},
        RealWalkCase{"RootAndValueOnly", "!HKEY_CURRENT_USER\\Software", true, ""},
        RealWalkCase{"RootOnly", "!HKEY_CURRENT_USER", true, std::nullopt},
        RealWalkCase{"PerformanceDataRefused", "!HKEY_PERFORMANCE_DATA\\Global\\x", false,
                     std::nullopt},
        RealWalkCase{"ShortFormRefused", "!HKCU\\Software\\x", false, std::nullopt}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(WinRegistryWalk, RootNameInLowerCaseReadsTheSameValue) {
  TestKey key;
  WinRegistry registry;
  TvhRegistry reader(registry, WinLocale::System());
  Text upper, lower;
  const Text rest = key.Path().substr(strlen("HKEY_CURRENT_USER")) + "\\Shell Folders\\Programs";
  RaisedError error;
  ASSERT_TRUE(reader.ReadStringByPath("HKEY_CURRENT_USER" + rest, upper, error));
  ASSERT_TRUE(reader.ReadStringByPath("hkey_current_user" + rest, lower, error));
  EXPECT_EQ(upper, "C:\\Menu\\Programs");
  EXPECT_EQ(lower, upper);
}

TEST(WinRegistryWalk, DwordRaisesTheTypeErrorWithKeysClosed) {
  TestKey key;
  CountingRegistry registry;
  TvhRegistry reader(registry, WinLocale::System());
  Text value = "unchanged";
  RaisedError error;
  EXPECT_FALSE(reader.ReadStringByPath(key.Path() + "\\Shell Folders\\Number", value, error));
  EXPECT_EQ(error.message(), FormatText(texts::kErrRegistryBadTypeFmt, "Number"));
  EXPECT_EQ(value, "unchanged");
  EXPECT_TRUE(registry.open.empty());
}

}  // namespace
}  // namespace brisko
