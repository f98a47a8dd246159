// The Windows layer's own pieces, run for real under Wine: handle owners,
// the system-call seam, payload writing and the shell item lists.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/payload/payload_reader.h"
#include "core/text/fixed_texts.h"
#include "fault_injection.h"
#include "system_test_helpers.h"
#include "test_support.h"
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

BOOL WINAPI RefusingFlush(HANDLE) {
  SetLastError(ERROR_WRITE_FAULT);
  return FALSE;
}

TEST(SystemCalls, AReplacedCallFailsUntilItIsRestored) {
  const std::string file = test::TempFolder() + "\\brisko-swap.tmp";
  unique_hfile h(
      Sys().CreateFileW(Widen(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(h);
  const auto refuseOne = [] { SetSystemCall(&SystemCalls::FlushFileBuffers, RefusingFlush); };
  const struct {
    const char* step;
    void (*change)();
    bool flushes;
  } steps[] = {
      {"one call replaced", refuseOne, false},
      {"a null replacement restores it", [] { SetSystemCall(&SystemCalls::FlushFileBuffers, nullptr); }, true},
      {"replaced again", refuseOne, false},
      {"every call restored", RestoreSystemCalls, true},
      {"the whole table replaced",
       [] {
         SystemCalls calls = RealSystemCalls();
         calls.FlushFileBuffers = RefusingFlush;
         SetSystemCalls(calls);
       },
       false},
      {"every call restored again", RestoreSystemCalls, true},
  };
  for (const auto& s : steps) {
    s.change();
    EXPECT_EQ(Sys().FlushFileBuffers(h.get()) != FALSE, s.flushes) << s.step;
    DWORD written = 0;
    EXPECT_TRUE(Sys().WriteFile(h.get(), "x", 1, &written, nullptr)) << s.step << ": the other calls stay real";
  }
  h.reset();
  DeleteFileA(file.c_str());
}

TEST(FaultInjector, RejectsUnknownNamesAndBadCounts) {
  test::FaultInjector faults;
  for (const char* bad : {"WriteFil", "WriteFile#", "WriteFile#0", "WriteFile#x", "WriteFile,", "CloseHandl",
                          "CoUninitialize", ""})
    EXPECT_FALSE(faults.FailSelection(bad)) << bad;
  EXPECT_TRUE(faults.FailSelection("CreateFileW,MoveFileExW#3"));
}

TEST(FaultInjector, FailsFromTheNamedCallOnAndLetsOthersThrough) {
  test::FaultInjector faults;
  ASSERT_TRUE(faults.FailSelection("FlushFileBuffers#2"));
  const std::string file = test::TempFolder() + "\\brisko-seam.tmp";
  unique_hfile h(Sys().CreateFileW(Widen(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(h);
  EXPECT_TRUE(Sys().FlushFileBuffers(h.get()));
  EXPECT_FALSE(Sys().FlushFileBuffers(h.get()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_FALSE(Sys().FlushFileBuffers(h.get()));
  EXPECT_EQ(faults.Unreleased(), "1 file handles");
  h.reset();
  EXPECT_EQ(faults.Unreleased(), "");
  DeleteFileA(file.c_str());
}

TEST(FaultInjector, FailingCoCreateInstanceGivesNoObject) {
  test::FaultInjector faults;
  ASSERT_TRUE(faults.FailFrom("CoCreateInstance"));
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
    RestoreSystemCalls();
    Clean();
  }

  std::string Path(const std::string& name) const { return folder_ + "\\" + name; }

  static std::string Read(const std::string& path) {
    unique_hfile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return "<missing>";
    std::string bytes;
    char buffer[1 << 16];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
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
  // Written in pieces: every piece lands in its place.
  std::string large(3 * (1 << 20) + 7, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 131 / 4096);
  EXPECT_TRUE(files_.WriteWholeFile(Path("large.dat"), large));
  EXPECT_TRUE(Read(Path("large.dat")) == large);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.dat", "b.dat", "empty.dat", "large.dat"}));
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

TEST_F(WinFileSystemTest, RefusesHiddenAndSystemDestinationsBeforeWritingAnything) {
  for (const DWORD attributes : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM,
                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE}) {
    Write(Path("h.dat"), "old");
    ASSERT_TRUE(SetFileAttributesA(Path("h.dat").c_str(), attributes));
    const DWORD before = GetFileAttributesA(Path("h.dat").c_str());
    std::vector<std::string> calls;
    {
      test::FaultInjector faults;
      EXPECT_FALSE(files_.WriteWholeFile(Path("h.dat"), "new")) << attributes;
      calls = faults.calls();
    }
    EXPECT_EQ(calls, std::vector<std::string>{"GetFileAttributesW"}) << "nothing opened or written";
    EXPECT_EQ(Read(Path("h.dat")), "old");
    EXPECT_EQ(GetFileAttributesA(Path("h.dat").c_str()), before);
    SetFileAttributesA(Path("h.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Names(), std::vector<std::string>{"h.dat"});
  }
}

TEST_F(WinFileSystemTest, ReplacedDestinationKeepsItsAttributes) {
  for (const DWORD attributes : {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED}) {
    Write(Path("k.dat"), "old");
    ASSERT_TRUE(SetFileAttributesA(Path("k.dat").c_str(), attributes));
    const DWORD before = GetFileAttributesA(Path("k.dat").c_str());
    ASSERT_TRUE(files_.WriteWholeFile(Path("k.dat"), "new content"));
    EXPECT_EQ(Read(Path("k.dat")), "new content");
    EXPECT_EQ(GetFileAttributesA(Path("k.dat").c_str()), before) << attributes;
  }
}

// As Wine's ReplaceFileW: without a backup name it fails in a folder of more
// than MAX_PATH - 14 characters, where it cannot make a temporary name.
BOOL WINAPI ReplaceNeedingABackupInLongFolders(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags,
                                               LPVOID exclude, LPVOID reserved) {
  if (backup == nullptr && std::wstring_view(replaced).rfind(L'\\') > MAX_PATH - 14) {
    SetLastError(ERROR_UNABLE_TO_REMOVE_REPLACED);
    return FALSE;
  }
  return RealSystemCalls().ReplaceFileW(replaced, replacement, backup, flags, exclude, reserved);
}

// A destination that a direct create could write, its path as long as the
// system allows, is never refused because of the temporary file's name, nor
// because of one that the system's ReplaceFileW would make.
TEST_F(WinFileSystemTest, PathsUpToTheLongestAreWritten) {
  for (const auto replace : {RealSystemCalls().ReplaceFileW, &ReplaceNeedingABackupInLongFolders}) {
    SetSystemCall(&SystemCalls::ReplaceFileW, replace);
    for (const std::size_t nameLength : {1u, 2u, 8u, 12u, 40u}) {
      std::string folder = folder_ + "\\";
      folder += std::string(MAX_PATH - 1 - folder.size() - 1 - nameLength, 'f');
      if (!CreateDirectoryA(folder.c_str(), nullptr)) {
        // Folders stop at MAX_PATH - 12 characters.
        ASSERT_LT(nameLength, 12u);
        continue;
      }
      const std::string path = folder + "\\" + std::string(nameLength, 'n');
      ASSERT_EQ(path.size(), static_cast<std::size_t>(MAX_PATH - 1));
      EXPECT_TRUE(files_.WriteWholeFile(path, "new")) << nameLength;
      EXPECT_TRUE(files_.WriteWholeFile(path, "newer")) << nameLength << ", error " << GetLastError();
      EXPECT_EQ(Read(path), "newer");
      DeleteFileA(path.c_str());
      EXPECT_TRUE(RemoveDirectoryA(folder.c_str())) << "a temporary file was left beside " << nameLength;
    }
  }
}

// Every step of the write can fail; none may leave the destination changed,
// a temporary file behind or a handle open.
struct StepFault {
  const char* step;
  const char* call;
  unsigned nth;   // the call's first failing use
  bool existing;  // an existing destination, replaced; otherwise a new name
};

class WinFileSystemFailure : public WinFileSystemTest, public testing::WithParamInterface<StepFault> {};

TEST_P(WinFileSystemFailure, LeavesTheDestinationAsItWas) {
  if (GetParam().existing) Write(Path("a.dat"), "old content");
  test::FaultInjector faults;
  ASSERT_TRUE(faults.FailFrom(GetParam().call, GetParam().nth));
  // Larger than one piece of the write, so that a later piece can fail.
  EXPECT_FALSE(files_.WriteWholeFile(Path("a.dat"), std::string((1 << 20) + 100000, 'n')));
  EXPECT_EQ(faults.failed(), GetParam().call);
  EXPECT_EQ(faults.Unreleased(), "");
  if (GetParam().existing) {
    EXPECT_EQ(Read(Path("a.dat")), "old content");
    EXPECT_EQ(Names(), std::vector<std::string>{"a.dat"});
  } else {
    EXPECT_TRUE(Names().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, WinFileSystemFailure,
    testing::Values(StepFault{"Examine", "GetFileAttributesW", 1, true}, StepFault{"Probe", "CreateFileW", 1, true},
                    StepFault{"Temporary", "CreateFileW", 2, true}, StepFault{"Write", "WriteFile", 1, true},
                    StepFault{"WriteOfALaterPiece", "WriteFile", 2, true},
                    StepFault{"Flush", "FlushFileBuffers", 1, true},
                    StepFault{"ExamineAgain", "GetFileAttributesW", 2, true},
                    StepFault{"ProbeAgain", "CreateFileW", 3, true}, StepFault{"Replace", "ReplaceFileW", 1, true},
                    StepFault{"TemporaryOfANewName", "CreateFileW", 1, false},
                    StepFault{"MoveANewName", "MoveFileExW", 1, false}),
    [](const auto& row) { return std::string(row.param.step); });

// Reading a destination at offsets, as a delta's source: a missing file is
// no error (there is nothing to read), a file that cannot be opened or sized
// is; a read that fails says so, and one past the end gives what is there.
struct ReadCase {
  const char* name;
  const char* failing;  // the call made to fail, or ""
  bool exists, heldOpen;
  bool opened, hasFile;
};

class WinFileSystemReading : public WinFileSystemTest, public testing::WithParamInterface<ReadCase> {};

TEST_P(WinFileSystemReading, OpensOnlyWhatItCanReadWhole) {
  const ReadCase& c = GetParam();
  const std::string content = std::string(70000, 'r') + "end";
  if (c.exists) Write(Path("a.dat"), content);
  unique_hfile holder;
  if (c.heldOpen)
    holder.reset(
        CreateFileA(Path("a.dat").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  test::FaultInjector faults;
  if (*c.failing) {
    ASSERT_TRUE(faults.FailFrom(c.failing));
  }
  std::unique_ptr<RandomAccessFile> file;
  EXPECT_EQ(files_.OpenForReading(Path("a.dat"), file), c.opened);
  ASSERT_EQ(file != nullptr, c.hasFile);
  if (file) {
    EXPECT_EQ(file->size(), content.size());
    char piece[8] = {};
    std::size_t got = 0;
    const bool read = file->ReadAt(content.size() - 3, piece, sizeof piece, got);
    EXPECT_EQ(read, std::string(c.failing) != "ReadFile");
    if (read) {
      EXPECT_EQ(std::string(piece, got), "end");
    }
  }
  file.reset();
  EXPECT_EQ(faults.Unreleased(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WinFileSystemReading,
    testing::Values(ReadCase{"Readable", "", true, false, true, true},
                    ReadCase{"Missing", "", false, false, true, false},
                    ReadCase{"HeldOpenByAnother", "", true, true, false, false},
                    ReadCase{"SizeUnknown", "GetFileSizeEx", true, false, false, false},
                    ReadCase{"ReadFails", "ReadFile", true, false, true, true}),
    [](const auto& row) { return std::string(row.param.name); });

// A compressed payload that does not check is found out only when its last
// piece is decoded, long after the first pieces were written: the
// destination must stay as it was all the same.
struct DamagedFrame {
  const char* name;
  std::function<std::string(std::string frame)> damage;
};

class WinFileSystemDamagedFrame : public WinFileSystemTest, public testing::WithParamInterface<DamagedFrame> {};

TEST_P(WinFileSystemDamagedFrame, LeavesTheDestinationAsItWas) {
  Write(Path("a.dat"), "old content");
  std::string content(3 * (1 << 20) + 5, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 / 4096 + (i % 13));
  const std::string frame = GetParam().damage(test::ZstdFrame(content));
  test::FaultInjector faults;  // counts the handles handed out
  struct : Progress {
    void Add(std::uint64_t bytes) override { written += bytes; }
    std::uint64_t written = 0;
  } progress;
  const auto reader = MakeZstdReader(frame, MakeMemorySource(frame));
  ASSERT_NE(reader, nullptr);
  EXPECT_FALSE(files_.WriteWholeFile(Path("a.dat"), *reader, progress));
  EXPECT_GE(progress.written, 1u << 20) << "damage found after pieces were written";
  EXPECT_EQ(faults.Unreleased(), "");
  EXPECT_EQ(Read(Path("a.dat")), "old content");
  EXPECT_EQ(Names(), std::vector<std::string>{"a.dat"});
}

INSTANTIATE_TEST_SUITE_P(
    Frames, WinFileSystemDamagedFrame,
    testing::Values(DamagedFrame{"Corrupted",
                                 [](std::string f) {
                                   f[f.size() - 20] ^= 0x10;
                                   return f;
                                 }},
                    DamagedFrame{"Truncated", [](std::string f) { return f.substr(0, f.size() - 3); }},
                    DamagedFrame{"ChecksumOfOtherContent",
                                 [](std::string f) {
                                   f[f.size() - 1] ^= 0x01;
                                   return f;
                                 }}),
    [](const auto& row) { return std::string(row.param.name); });

// ReplaceFileW without a backup name may remove the destination and then
// fail to rename the new file: the new content must still reach its place,
// or at least survive.
BOOL WINAPI ReplaceLosingTheDestination(LPCWSTR replaced, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
  DeleteFileW(replaced);
  SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
  return FALSE;
}

BOOL WINAPI RefusingMove(LPCWSTR, LPCWSTR, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

TEST_F(WinFileSystemTest, ReplaceThatRemovedTheDestinationPutsTheNewFileInPlace) {
  Write(Path("a.dat"), "old");
  SetSystemCall(&SystemCalls::ReplaceFileW, ReplaceLosingTheDestination);
  EXPECT_TRUE(files_.WriteWholeFile(Path("a.dat"), "new"));
  EXPECT_EQ(Read(Path("a.dat")), "new");
  EXPECT_EQ(Names(), std::vector<std::string>{"a.dat"});

  SetSystemCall(&SystemCalls::MoveFileExW, RefusingMove);
  EXPECT_FALSE(files_.WriteWholeFile(Path("a.dat"), "newer"));
  const std::vector<std::string> left = Names();
  ASSERT_EQ(left.size(), 1u) << "the new content stays under the temporary name";
  EXPECT_EQ(Read(Path(left[0])), "newer");
}

// A run killed while its files were put in place: a.dat replaced, b.dat cut
// off between the two renames of its replace (missing, its former content
// under its backup name), a temporary file left. The next run puts b.dat's
// former content back, though a.dat comes first, and removes the files of
// the installer's own names, no other.
TEST_F(WinFileSystemTest, RecoveryPutsBackACutOffReplaceBeforeRemovingLeftovers) {
  struct : Progress {
    void Add(std::uint64_t) override {}
  } progress;
  // The staged files refer to their destinations' paths until they end.
  const StringList paths = {Path("a.dat"), Path("b.dat")};
  std::vector<std::unique_ptr<StagedFile>> staged(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    Write(paths[i], "old " + std::to_string(i));
    const std::string content = "new " + std::to_string(i);
    ASSERT_TRUE(files_.Stage(paths[i], *MakeRawReader(content), progress, staged[i]));
    ASSERT_TRUE(staged[i]->Commit());
  }
  ASSERT_TRUE(DeleteFileA(paths[1].c_str()));
  Write(Path("~bp00000.tmp"), "a killed run's temporary");
  Write(Path("~bp-mine.tmp"), "not the installer's");
  files_.Recover(paths);
  EXPECT_EQ(Read(paths[0]), "new 0");
  EXPECT_EQ(Read(paths[1]), "old 1");
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.dat", "b.dat", "~bp-mine.tmp"}));
}

// Clean-up: a temporary that cannot be deleted at once is tried again, and
// what still cannot be deleted is left for the next start of the system.
BOOL WINAPI DeleteFailingOnce(LPCWSTR name) {
  static int calls = 0;
  if (calls++ % 2 == 0) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  return RealSystemCalls().DeleteFileW(name);
}

TEST_F(WinFileSystemTest, CleanUpTriesAgainThenLeavesTheTemporaryForTheNextStart) {
  Write(Path("a.dat"), "old");
  test::FaultInjector faults;
  ASSERT_TRUE(faults.FailSelection("FlushFileBuffers,DeleteFileW"));
  EXPECT_FALSE(files_.WriteWholeFile(Path("a.dat"), "new"));
  EXPECT_EQ(std::count(faults.calls().begin(), faults.calls().end(), "DeleteFileW"), 3);
  EXPECT_EQ(faults.calls().back(), "MoveFileExW") << "marked for deletion when the system next starts";
  EXPECT_EQ(Read(Path("a.dat")), "old");
  EXPECT_EQ(faults.Unreleased(), "");

  for (const std::string& name : Names())
    if (name != "a.dat") DeleteFileA(Path(name).c_str());
  SetSystemCall(&SystemCalls::DeleteFileW, DeleteFailingOnce);
  EXPECT_FALSE(files_.WriteWholeFile(Path("a.dat"), "new"));
  EXPECT_EQ(Names(), std::vector<std::string>{"a.dat"});
  EXPECT_EQ(Read(Path("a.dat")), "old");
}

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
