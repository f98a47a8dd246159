// The Windows layer's own pieces, run for real under wine64: handle owners,
// the system-call seam, payload writing and the shell item lists.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/texts.h"
#include "win32/handles.h"
#include "win32/system_calls.h"
#include "win32/wide_text.h"
#include "win32/win_file_system.h"
#include "win32/win_locale.h"
#include "win32/win_user_interface.h"

namespace brisko {
namespace {

// ---- owners ---------------------------------------------------------------

struct CountingTraits {
  using pointer = int;
  static int closed;
  static pointer invalid() noexcept { return -1; }
  static void close(pointer) noexcept {
    ++closed;
    SetLastError(ERROR_INVALID_HANDLE);  // closing may clobber the error...
  }
};
int CountingTraits::closed = 0;

TEST(UniqueHandle, ClosingKeepsTheCallersLastError) {
  CountingTraits::closed = 0;
  {
    unique_handle<CountingTraits> owner(7);
    SetLastError(ERROR_DISK_FULL);
  }
  EXPECT_EQ(CountingTraits::closed, 1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));  // ...but the owner restores it
}

TEST(UniqueHandle, ResetPutAndMoveCloseEachHandleOnce) {
  CountingTraits::closed = 0;
  unique_handle<CountingTraits> a(1);
  a.reset(1);  // the same handle again: nothing to close
  EXPECT_EQ(CountingTraits::closed, 0);
  a.reset(2);
  EXPECT_EQ(CountingTraits::closed, 1);
  *a.put() = 3;  // put() frees the old one first
  EXPECT_EQ(CountingTraits::closed, 2);
  unique_handle<CountingTraits> b(std::move(a));
  EXPECT_FALSE(a);
  EXPECT_EQ(b.get(), 3);
  b = unique_handle<CountingTraits>();
  EXPECT_EQ(CountingTraits::closed, 3);
  unique_handle<CountingTraits> invalid;
  invalid.reset();
  EXPECT_EQ(CountingTraits::closed, 3);
}

static_assert(!std::is_copy_constructible_v<unique_hfile>);
static_assert(!std::is_copy_assignable_v<unique_hkey>);
static_assert(std::is_nothrow_move_constructible_v<unique_item_list>);
static_assert(!std::is_copy_constructible_v<com_ptr<IUnknown>>);

class CountingUnknown : public IUnknown {
 public:
  ULONG releases = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(++releases); }
};

TEST(ComPtr, ReleasesOnceWhenReplacedMovedOrDestroyed) {
  CountingUnknown a, b;
  {
    com_ptr<IUnknown> p;
    *p.put() = &a;
    *p.put() = &b;  // releases a
    EXPECT_EQ(a.releases, 1u);
    com_ptr<IUnknown> q(std::move(p));
    EXPECT_FALSE(p);
    EXPECT_FALSE((q.as<IUnknown>(IID_IUnknown)));  // a failed QueryInterface gives an empty owner
  }
  EXPECT_EQ(a.releases, 1u);
  EXPECT_EQ(b.releases, 1u);
}

// ---- the system-call seam ---------------------------------------------------

class SystemCallsTest : public testing::Test {
 protected:
  void TearDown() override { SetFailingCalls(""); }
};

TEST_F(SystemCallsTest, RejectsUnknownNamesAndBadCounts) {
  for (const char* bad : {"WriteFil", "WriteFile#", "WriteFile#0", "WriteFile#x", "WriteFile,", "CloseHandle"})
    EXPECT_FALSE(SetFailingCalls(bad)) << bad;
  EXPECT_TRUE(SetFailingCalls("CreateFileW,MoveFileExW#3"));
}

TEST_F(SystemCallsTest, FailsFromTheNamedCallOnAndLetsOthersThrough) {
  ASSERT_TRUE(SetFailingCalls("FlushFileBuffers#2"));
  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, path);
  const std::string file = std::string(path) + "brisko-seam.tmp";
  unique_hfile h(Sys().CreateFileW(Widen(file).c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(h);
  EXPECT_TRUE(Sys().FlushFileBuffers(h.get()));
  EXPECT_FALSE(Sys().FlushFileBuffers(h.get()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_FALSE(Sys().FlushFileBuffers(h.get()));
  h.reset();
  DeleteFileA(file.c_str());
}

TEST_F(SystemCallsTest, FailingCoCreateInstanceGivesNoObject) {
  ASSERT_TRUE(SetFailingCalls("CoCreateInstance"));
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(Sys().CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
}

// ---- payload files ----------------------------------------------------------

class WinFileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name)
      if (c == '/') c = '-';
    folder_ = std::string(temp) + "brisko-fs-" + name;
    Clean();
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
  }
  void TearDown() override {
    SetFailingCalls("");
    Clean();
  }

  std::string Path(const std::string& name) const { return folder_ + "\\" + name; }

  static std::string Read(const std::string& path) {
    unique_hfile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return "<missing>";
    std::string bytes(1 << 20, '\0');
    DWORD read = 0;
    ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
  }
  static void Write(const std::string& path, const std::string& bytes) {
    unique_hfile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    unique_hfind find(FindFirstFileA((folder_ + "\\*").c_str(), &data));
    if (!find) return names;
    do {
      if (data.cFileName[0] != '.') names.push_back(data.cFileName);
    } while (FindNextFileA(find.get(), &data));
    std::sort(names.begin(), names.end());
    return names;
  }

  WinFileSystem files_{WinLocale::System()};
  std::string folder_;

 private:
  void Clean() {
    WIN32_FIND_DATAA data;
    unique_hfind find(FindFirstFileA((folder_ + "\\*").c_str(), &data));
    if (find) {
      do {
        const std::string path = folder_ + "\\" + data.cFileName;
        if (data.cFileName[0] == '.') continue;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(path.c_str())) RemoveDirectoryA(path.c_str());
      } while (FindNextFileA(find.get(), &data));
    }
    find.reset();
    RemoveDirectoryA(folder_.c_str());
  }
};

TEST_F(WinFileSystemTest, FileExistsForFilesOnly) {
  Write(Path("file.exe"), "MZ");
  CreateDirectoryA(Path("folder.exe").c_str(), nullptr);
  EXPECT_TRUE(files_.FileExists(Path("file.exe")));
  EXPECT_FALSE(files_.FileExists(Path("folder.exe")));
  EXPECT_FALSE(files_.FileExists(Path("missing.exe")));
}

TEST_F(WinFileSystemTest, CreatesAndReplacesWholeFilesLeavingNoTemporary) {
  const std::string bytes("one\r\ntwo\0\x1A", 10);
  EXPECT_TRUE(files_.WriteWholeFile(Path("a.dat"), bytes));
  EXPECT_EQ(Read(Path("a.dat")), bytes);
  Write(Path("b.dat"), std::string(5000, 'x'));
  EXPECT_TRUE(files_.WriteWholeFile(Path("b.dat"), "short"));
  EXPECT_EQ(Read(Path("b.dat")), "short");
  EXPECT_TRUE(files_.WriteWholeFile(Path("empty.dat"), ""));
  EXPECT_EQ(Read(Path("empty.dat")), "");
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.dat", "b.dat", "empty.dat"}));
}

TEST_F(WinFileSystemTest, RefusesReadOnlyHeldOpenAndFolderDestinations) {
  Write(Path("ro.dat"), "old");
  SetFileAttributesA(Path("ro.dat").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(files_.WriteWholeFile(Path("ro.dat"), "new"));
  EXPECT_EQ(Read(Path("ro.dat")), "old");

  Write(Path("held.dat"), "old");
  {
    unique_hfile held(CreateFileA(Path("held.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(files_.WriteWholeFile(Path("held.dat"), "new"));
  }
  EXPECT_EQ(Read(Path("held.dat")), "old");

  CreateDirectoryA(Path("dir.dat").c_str(), nullptr);
  EXPECT_FALSE(files_.WriteWholeFile(Path("dir.dat"), "new"));
  EXPECT_EQ(Names(), (std::vector<std::string>{"dir.dat", "held.dat", "ro.dat"}));
}

TEST_F(WinFileSystemTest, NeverCreatesAFolder) {
  EXPECT_FALSE(files_.WriteWholeFile(Path("sub\\a.dat"), "new"));
  EXPECT_EQ(GetFileAttributesA(Path("sub").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(Names().empty());
}

// Every step of the write can fail; none may leave the destination changed
// or a temporary file behind.
class WinFileSystemFailure : public WinFileSystemTest, public testing::WithParamInterface<const char*> {};

TEST_P(WinFileSystemFailure, LeavesTheDestinationAsItWas) {
  Write(Path("a.dat"), "old content");
  ASSERT_TRUE(SetFailingCalls(GetParam()));
  EXPECT_FALSE(files_.WriteWholeFile(Path("a.dat"), std::string(100000, 'n')));
  SetFailingCalls("");
  EXPECT_EQ(Read(Path("a.dat")), "old content");
  EXPECT_EQ(Names(), std::vector<std::string>{"a.dat"});
}

INSTANTIATE_TEST_SUITE_P(EachCall, WinFileSystemFailure,
                         testing::Values("CreateFileW", "CreateFileW#2", "WriteFile", "FlushFileBuffers",
                                         "MoveFileExW"));

// ---- texts and the shell ----------------------------------------------------

TEST(WideText, FixedTextsConvertFromShiftJisWhateverTheCodePage) {
  EXPECT_EQ(Widen(texts::kCaptionStart), L"修正開始(&S)");
  EXPECT_EQ(Widen(texts::kLabelChangePath), L"ここ");
  EXPECT_EQ(Widen("C:\\Games"), L"C:\\Games");
  EXPECT_EQ(Widen(""), L"");
}

TEST(PathToItemList, ParsesExistingFoldersOnly) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string folder = temp;
  folder.pop_back();  // no trailing delimiter
  for (const std::string& path : {folder, folder + "\\"}) {
    unique_item_list list = PathToItemList(path);
    ASSERT_TRUE(list) << path;
    char back[MAX_PATH] = {};
    ASSERT_TRUE(SHGetPathFromIDListA(list.get(), back));
    EXPECT_STREQ(back, folder.c_str()) << path;
  }
  EXPECT_FALSE(PathToItemList(folder + "\\no such folder"));
  EXPECT_FALSE(PathToItemList(std::string(300, 'x'))) << "does not fit MAX_PATH";
}

}  // namespace
}  // namespace brisko
