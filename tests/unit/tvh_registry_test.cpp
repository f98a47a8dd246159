#include "core/discovery/tvh_registry.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/errors.h"
#include "core/text/fixed_texts.h"
#include "fake_system_locations.h"
#include "test_locale.h"

namespace brisko {
namespace {

using test::FakeRegistry;

const FakeRegistry::KeyPath kShellFolders = {"HKCU",    "Software",       "Microsoft", "Windows",
                                              "CurrentVersion", "Explorer", "Shell Folders"};
const char kExplorer[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
const std::string kProgramsPath = kExplorer + std::string("Programs");
const char kPrograms[] = "C:\\Users\\me\\Start Menu\\Programs";

struct Fixture {
  FakeRegistry registry;
  TvhRegistry reader{registry, test::ShiftJis()};

  Fixture() {
    registry.SetString(kShellFolders, "Programs", kPrograms);
    registry.SetValue(kShellFolders, "Count", FakeRegistry::kDword, std::string("\x04\0\0\0", 4));
    registry.SetValue(kShellFolders, "Empty", RegistryApi::kString, "");
    registry.SetValue(kShellFolders, "Expand", RegistryApi::kExpandString,
                      std::string("%USERPROFILE%\\x\0", 16));
    // No zero stored: the text ends with the data.
    registry.SetValue(kShellFolders, "Bare", RegistryApi::kString, "abc");
    registry.SetString(kShellFolders, "Broken", "never read");
    registry.failingFetch.insert("Broken");
    registry.SetString({"HKCU"}, "AtRoot", "root value");
    registry.AddKey({"HKCU", "Software", "Locked"});
    registry.denied.insert({"HKCU", "Software", "Locked"});
    registry.SetString({"HKCU", "Software", "Locked", "Inner"}, "v", "hidden");
    // ソフト表 (83 5C 83 74 83 67 95 5C): two trail bytes 0x5C in one name.
    registry.SetString({"HKLM", "\x83\x5C\x83t\x83g\x95\x5C"}, "v", "sjis key");
    registry.SetString({"HKCU", "a\\b"}, "v", "quoted key");
    for (const char* root : {"HKCR", "HKLM", "HKU", "HKCC", "HKDD"})
      registry.SetString({root, "K"}, "v", std::string("in ") + root);
  }
};

struct WalkCase {
  const char* name;
  std::string path;
  bool result;
  std::optional<std::string> value;  // nullopt: the caller's text unchanged
  const char* error = nullptr;       // the error raised, a format with the value's name
};

class RegistryWalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(RegistryWalkTest, ReadsAndClosesEveryKey) {
  const WalkCase& c = GetParam();
  Fixture f;
  Text value = "unchanged";
  RaisedError error;
  EXPECT_EQ(f.reader.ReadStringByPath(c.path, value, error), c.result);
  EXPECT_EQ(error.message(), c.error ? FormatText(c.error, c.path.substr(c.path.rfind('\\') + 1)) : "");
  EXPECT_EQ(value, c.value.value_or("unchanged"));
  EXPECT_EQ(f.registry.OpenNow(), 0u);
  EXPECT_EQ(f.registry.opens, f.registry.closes);
  EXPECT_EQ(f.registry.badCloses, 0);
  // The key before is closed once the next one is open, never later.
  EXPECT_LE(f.registry.maxOpen, 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, RegistryWalkTest,
    ::testing::Values(
        WalkCase{"ExplorerPath", kProgramsPath, true, kPrograms},
        WalkCase{"RootInLowerCase",
                 "hkey_current_user\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
                 "Folders\\Programs",
                 true, kPrograms},
        WalkCase{"TrailingBackslash", std::string(kProgramsPath) + "\\", true, kPrograms},
        WalkCase{"DoubledBackslashes",
                 "\\HKEY_CURRENT_USER\\\\Software\\Microsoft\\\\Windows\\CurrentVersion\\Explorer\\Shell "
                 "Folders\\\\Programs",
                 true, kPrograms},
        WalkCase{"ClassesRoot", "HKEY_CLASSES_ROOT\\K\\v", true, "in HKCR"},
        WalkCase{"LocalMachineMixedCase", "Hkey_Local_Machine\\K\\v", true, "in HKLM"},
        WalkCase{"Users", "HKEY_USERS\\K\\v", true, "in HKU"},
        WalkCase{"CurrentConfig", "HKEY_CURRENT_CONFIG\\K\\v", true, "in HKCC"},
        WalkCase{"DynData", "HKEY_DYN_DATA\\K\\v", true, "in HKDD"},
        WalkCase{"PerformanceDataHasNoName", "HKEY_PERFORMANCE_DATA\\K\\v", false, std::nullopt},
        WalkCase{"ShortFormRefused", "HKCU\\Software\\Microsoft\\Windows\\v", false, std::nullopt},
        WalkCase{"RootNameMustBeWhole", "HKEY_CURRENT_USERS\\Software\\v", false, std::nullopt},
        WalkCase{"MissingSubkey", "HKEY_CURRENT_USER\\Software\\Nowhere\\Deeper\\v", false,
                 std::nullopt},
        WalkCase{"UnreadableSubkey", "HKEY_CURRENT_USER\\Software\\Locked\\Inner\\v", false,
                 std::nullopt},
        WalkCase{"MissingValue",
                 "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
                 "Folders\\Nothing",
                 true, ""},
        WalkCase{"EmptyValue",
                 "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
                 "Folders\\Empty",
                 true, ""},
        WalkCase{"ExpandStringKeptUnexpanded",
                 "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
                 "Folders\\Expand",
                 true, "%USERPROFILE%\\x"},
        WalkCase{"StoredWithoutZero",
                 "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
                 "Folders\\Bare",
                 true, "abc"},
        // No key is open to hold the value, whatever the root holds.
        WalkCase{"RootAndValueOnly", "HKEY_CURRENT_USER\\AtRoot", true, ""},
        WalkCase{"RootOnly", "HKEY_CURRENT_USER", true, std::nullopt},
        WalkCase{"EmptyPath", "", true, std::nullopt},
        WalkCase{"BackslashesOnly", "\\\\\\", true, std::nullopt},
        WalkCase{"ShiftJisKeyWithTrail5C", "HKEY_LOCAL_MACHINE\\\x83\x5C\x83t\x83g\x95\x5C\\v", true,
                 "sjis key"},
        WalkCase{"QuotedComponentKeepsBackslash", "HKEY_CURRENT_USER\\\"a\\b\"\\v", true,
                 "quoted key"},
        // Errors, raised with the value's name; every key is closed all the same.
        WalkCase{"DwordIsNoString", kExplorer + std::string("Count"), false, std::nullopt,
                 texts::kErrRegistryBadTypeFmt},
        WalkCase{"FetchFails", kExplorer + std::string("Broken"), false, std::nullopt,
                 texts::kErrRegistryReadFailedFmt}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(RegistryWalk, NeverQueriesWithoutAnOpenKey) {
  Fixture f;
  Text value;
  RaisedError error;
  EXPECT_TRUE(f.reader.ReadStringByPath("HKEY_CURRENT_USER\\AtRoot", value, error));
  EXPECT_EQ(f.registry.queries, 0);
}

}  // namespace
}  // namespace brisko
