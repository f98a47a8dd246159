#include "win32/win_shell_link.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

#include "core/discovery/tvh_file.h"
#include "fault_injection.h"
#include "system_test_helpers.h"
#include "win32/win_environment.h"
#include "win32/win_file_system.h"
#include "win32/win_locale.h"
#include "win32/win_registry.h"
#include "win32/win_shell_folders.h"

namespace brisko {
namespace {

// ソフト表 and 表: folder names whose characters end in 0x5C.
const char kSoftHyou[] = "\x83\x5C\x83t\x83g\x95\x5C";
const char kHyou[] = "\x95\x5C";

// True when the calling thread holds no COM initialisation, which leaves it
// as it found it.
bool ComIsUninitialised() {
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(hr)) CoUninitialize();
  return hr == S_OK;
}

class ShellLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ComIsUninitialised());
    targetFolder_ = folder_ / kSoftHyou;
    ASSERT_TRUE(CreateDirectoryA(targetFolder_.c_str(), nullptr));
    target_ = targetFolder_ + "\\target.exe";
    ASSERT_TRUE(test::WriteBytes(target_, "MZ"));
    linkFolder_ = folder_ / kHyou;
    ASSERT_TRUE(CreateDirectoryA(linkFolder_.c_str(), nullptr));
    link_ = linkFolder_ + "\\link.lnk";
    ASSERT_TRUE(test::SaveShortcut(link_, target_));
  }

  int Read(const Text& path, Text& target) { return system_.file.GetShortcutTarget(path, target); }

  test::ScopedFolder folder_{test::TempFolder() + "\\" + test::UniqueName("BriskoLinks")};
  Text targetFolder_, target_, linkFolder_, link_;
  test::RealSystem system_;
};

TEST_F(ShellLinks, GivesTheStoredTarget) {
  Text target;
  EXPECT_EQ(Read(link_, target), 1);
  EXPECT_EQ(target, target_);
  EXPECT_TRUE(ComIsUninitialised());
}

TEST_F(ShellLinks, DeletedTargetStillGivesItsPath) {
  ASSERT_TRUE(DeleteFileA(target_.c_str()));
  Text target;
  EXPECT_EQ(Read(link_, target), 1);
  EXPECT_EQ(target, target_);
}

struct Unloadable {
  const char* name;
  int which;
};

class ShellLinksUnloadable : public ShellLinks, public ::testing::WithParamInterface<Unloadable> {};

TEST_P(ShellLinksUnloadable, GiveZeroAndLeaveTheTargetAlone) {
  Text path;
  switch (GetParam().which) {
    case 0: path = linkFolder_; break;                      // a folder
    case 1: path = target_; break;                          // a file that is no shortcut
    case 2: path = linkFolder_ + "\\missing.lnk"; break;    // nothing there
    case 3: path = "C:\\" + std::string(300, 'a') + ".lnk"; break;  // too long for the shell
  }
  Text target = "unchanged";
  EXPECT_EQ(Read(path, target), 0);
  EXPECT_EQ(target, "unchanged");
  EXPECT_TRUE(ComIsUninitialised());
}

INSTANTIATE_TEST_SUITE_P(Cases, ShellLinksUnloadable,
                         ::testing::Values(Unloadable{"Folder", 0}, Unloadable{"NoShortcut", 1},
                                           Unloadable{"Missing", 2}, Unloadable{"PathTooLong", 3}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(ShellLinks, NoShellLinkObjectGivesZero) {
  test::FaultInjector faults;
  ASSERT_TRUE(faults.FailFrom("CoCreateInstance"));
  Text target = "unchanged";
  EXPECT_EQ(Read(link_, target), 0);
  EXPECT_EQ(faults.Unreleased(), "");
  EXPECT_EQ(target, "unchanged");
  EXPECT_TRUE(ComIsUninitialised());
}

TEST_F(ShellLinks, LeavesTheCallersMultithreadedApartmentInPlace) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  Text target;
  Read(link_, target);
  // Still initialised: asking again only counts up.
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  CoUninitialize();
  CoUninitialize();
}

}  // namespace
}  // namespace brisko
