#include "win_file_system.h"

#include <windows.h>

#include <algorithm>

#include "core/payload/payload_reader.h"
#include "core/text/path.h"
#include "handles.h"
#include "read_ahead.h"
#include "system_calls.h"
#include "wide_text.h"

namespace brisko {
namespace {

// What the destination is before anything is written over it. A folder and
// a hidden or system file are refused, as a direct CreateFileW with
// CREATE_ALWAYS and FILE_ATTRIBUTE_NORMAL refuses them; checked here because
// not every system refuses to replace such files by renaming. The probe asks
// for the access a replace needs (writing, renaming) and shares everything
// itself: it fails only where another process holds the file in a way that
// stops a replace, as a running program holds its own file (others may read
// it, nobody may replace it).
DestinationState ExamineForStaging(const std::wstring& path) {
  const DWORD attributes = Sys().GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    switch (GetLastError()) {
      case ERROR_FILE_NOT_FOUND: return DestinationState::Missing;
      case ERROR_PATH_NOT_FOUND: return DestinationState::FolderMissing;
      default: return DestinationState::Refused;
    }
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) return DestinationState::ReadOnly;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
    return DestinationState::Refused;
  unique_hfile probe(Sys().CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (probe) return DestinationState::Replaceable;
  const DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? DestinationState::InUse
                                                                           : DestinationState::Refused;
}

// The length of `name` in characters, as the system counts a path's length
// (a double-byte character counts once).
std::size_t CharacterCount(const Locale& locale, std::string_view name) {
  ByteWalker walker(locale);
  return static_cast<std::size_t>(
      std::count_if(name.begin(), name.end(),
                    [&](char c) { return walker.Next(static_cast<unsigned char>(c)) != ByteClass::Trail; }));
}

// The names of the files the installer makes beside a destination: the new
// content while it is written ("~bp" and five base-36 digits, ".tmp"), and a
// replaced file's former content while the commit pass may still need it
// ("~bp", seven base-36 digits of a hash of the destination's name, ".bak":
// the same name for the same destination in every run, so that a run can
// find what an interrupted one put aside). A later run removes every file of
// these names.
constexpr char kOwnPrefix[] = "~bp";
constexpr std::size_t kTemporaryLength = 12;
constexpr std::size_t kBackupLength = 14;

Text Base36(unsigned value, std::size_t digits) {
  Text text;
  for (std::size_t i = 0; i < digits; ++i, value /= 36) text += "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36];
  return text;
}

bool IsOwnName(std::wstring_view name) {
  const bool temporary = name.size() == kTemporaryLength && name.substr(8) == L".tmp";
  const bool backup = name.size() == kBackupLength && name.substr(10) == L".bak";
  if ((!temporary && !backup) || name.substr(0, 3) != L"~bp") return false;
  return std::all_of(name.begin() + 3, name.end() - 4,
                     [](wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z'); });
}

// Where the files beside a destination go, and how long their names may be.
struct Place {
  Text folder;                       // ends in its delimiter
  std::string_view destinationName;  // within the destination's path
  std::size_t maxLength = 0;         // characters
  const Locale* locale = nullptr;

  // Names of `length` characters are kept to the system's limit on a path,
  // and beyond it to the destination's own length, so that a destination
  // that a direct create could write is never refused because of them.
  std::size_t Fit(std::size_t length) const {
    return Widen(folder).size() + length < MAX_PATH ? length : std::min(length, maxLength);
  }
};

// The backup name of the destination, or empty where it does not fit.
Text BackupName(const Place& place) {
  if (place.Fit(kBackupLength) < kBackupLength) return {};
  unsigned hash = 2166136261u;  // FNV-1a
  for (const char c : place.destinationName) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return place.folder + kOwnPrefix + Base36(hash, 7) + ".bak";
}

// A virus scanner may hold a new file open for a moment: a failed delete
// is tried again, and what still cannot be deleted goes when the system
// next starts.
void Remove(const std::wstring& name) {
  const DWORD error = GetLastError();
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (Sys().DeleteFileW(name.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) {
      SetLastError(error);
      return;
    }
    Sleep(50);
  }
  Sys().MoveFileExW(name.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  SetLastError(error);
}

// A file that receives the new content beside its destination and is
// deleted unless it has been put in place.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    file_.reset();
    if (!name_.empty() && !keep_) Remove(name_);
  }

  // Creates a file of a fresh name at `place`. CREATE_NEW never touches a
  // file that is already there.
  bool Create(const Place& place) {
    static unsigned next = GetTickCount() ^ (GetCurrentProcessId() << 12);
    place_ = place;
    const std::size_t length = place.Fit(kTemporaryLength);
    for (int attempt = 0; attempt < 100; ++attempt) {
      const Text name = Candidate(length, next++);
      if (place.locale->EqualsIgnoreCase(name, place.destinationName)) continue;
      const std::wstring path = Widen(place.folder + name);
      file_.reset(Sys().CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file_) {
        name_ = path;
        return true;
      }
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
  }

  // Writes every piece that `payload` gives, flushes the file to the disk
  // and closes it. A piece is at most 1 MiB: one call for a whole large
  // payload was two to four times slower to reach the system's cache than
  // pieces of this size (bench/apply-speed.sh), and a piece keeps each
  // call's share of locked memory small. Nothing is flushed or kept when the
  // payload's bytes are found damaged.
  bool WriteAll(PayloadReader& payload, Progress& progress) {
    // The next pieces are read while one is written.
    ReadAhead ahead(payload);
    PayloadReader& reader = ahead.Start() ? static_cast<PayloadReader&>(ahead) : payload;
    for (std::string_view piece;;) {
      if (!reader.Next(piece)) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
      }
      if (piece.empty()) break;
      if (!WritePiece(piece)) return false;
      progress.Add(piece.size());
    }
    if (!Sys().FlushFileBuffers(file_.get())) return false;
    file_.reset();
    return true;
  }

  // Gives the file the name of a destination that does not exist; fails
  // rather than replace one that has appeared meanwhile.
  bool MoveTo(const std::wstring& destination) {
    if (!Sys().MoveFileExW(name_.c_str(), destination.c_str(), MOVEFILE_WRITE_THROUGH)) return false;
    keep_ = true;
    return true;
  }

  const std::wstring& name() const { return name_; }
  const Place& place() const { return place_; }
  // The file is no longer ours to remove: it has been put in place, or holds
  // what another owner will remove.
  void Keep() { keep_ = true; }
  void Close() { file_.reset(); }

 private:
  bool WritePiece(std::string_view piece) {
    while (!piece.empty()) {
      DWORD written = 0;
      if (!Sys().WriteFile(file_.get(), piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr))
        return false;
      if (written == 0) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
      }
      piece.remove_prefix(written);
    }
    return true;
  }

  // Names of `length` characters: "~bp", base-36 digits and ".tmp" at the
  // full length; shorter, "~" and digits, with ".tmp" where there is room
  // for it, or a single digit when one character is all there is.
  static Text Candidate(std::size_t length, unsigned value) {
    if (length == kTemporaryLength) return kOwnPrefix + Base36(value, 5) + ".tmp";
    const bool tilde = length >= 2;
    const bool extension = length >= 9;
    const std::size_t digits = length - (tilde ? 1 : 0) - (extension ? 4 : 0);
    return (tilde ? "~" : "") + Base36(value, digits) + (extension ? ".tmp" : "");
  }

  std::wstring name_;
  unique_hfile file_;
  bool keep_ = false;
  Place place_;
};

// A destination's new content in its temporary file, put in place by the
// commit pass with the former content kept aside under the destination's
// backup name until this ends.
class WinStagedFile final : public StagedFile {
 public:
  explicit WinStagedFile(std::wstring destination) : destination_(std::move(destination)) {}
  ~WinStagedFile() override {
    if (!backup_.empty() && !restored_) Remove(backup_);
  }

  TemporaryFile& file() { return file_; }

  bool Commit() override {
    switch (ExamineForStaging(destination_)) {
      case DestinationState::Missing: return file_.MoveTo(destination_);
      case DestinationState::Replaceable: return ReplaceKeepingBackup();
      default: return false;
    }
  }

  bool Restore() override {
    if (lost_) return false;
    if (backup_.empty()) return Sys().DeleteFileW(destination_.c_str()) != FALSE;
    if (!Sys().MoveFileExW(backup_.c_str(), destination_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return false;
    restored_ = true;
    return true;
  }

 private:
  // ReplaceFileW into the backup name, reserved first; a name that is taken
  // (two destinations' names of one hash) gives way to a fresh one.
  bool ReplaceKeepingBackup() {
    TemporaryFile reserved;
    std::wstring backup = Widen(BackupName(file_.place()));
    unique_hfile slot;
    if (!backup.empty())
      slot.reset(
          Sys().CreateFileW(backup.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!slot) {
      if (!reserved.Create(file_.place())) return false;
      reserved.Close();
      backup = reserved.name();
    }
    slot.reset();
    reserved.Keep();
    if (Sys().ReplaceFileW(destination_.c_str(), file_.name().c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                           nullptr, nullptr))
      return Committed(backup, true);
    return AfterFailedReplace(backup, GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
  }

  // A replace that failed may have taken the destination's name away: the
  // former content then lies under the backup name (`moved`), or, on a
  // system that lost it, nowhere. The new content takes the free name now,
  // or failing that the former content goes back; where there is none, the
  // new content is kept under its own name rather than lost.
  bool AfterFailedReplace(const std::wstring& backup, bool moved) {
    if (Sys().GetFileAttributesW(destination_.c_str()) != INVALID_FILE_ATTRIBUTES) {
      Remove(backup);
      return false;
    }
    if (file_.MoveTo(destination_)) return Committed(backup, moved);
    if (moved && Sys().MoveFileExW(backup.c_str(), destination_.c_str(), MOVEFILE_WRITE_THROUGH)) return false;
    if (!moved) Remove(backup);
    file_.Keep();
    return false;
  }

  // Put in place; `formerKept` when the backup holds the former content.
  bool Committed(const std::wstring& backup, bool formerKept) {
    file_.Keep();
    if (formerKept) {
      backup_ = backup;
    } else {
      Remove(backup);
      lost_ = true;
    }
    return true;
  }

  std::wstring destination_;
  TemporaryFile file_;
  std::wstring backup_;
  bool restored_ = false;
  bool lost_ = false;  // the former content is gone: nothing to put back
};

// Where the files beside `path` go; false for a path that names no file.
bool PlaceOf(const Locale& locale, const Text& path, Place& place) {
  place.folder = ExtractFolder(locale, path);
  place.destinationName = std::string_view(path).substr(place.folder.size());
  place.maxLength = CharacterCount(locale, place.destinationName);
  place.locale = &locale;
  if (!place.destinationName.empty()) return true;
  SetLastError(ERROR_INVALID_NAME);
  return false;
}

// A file opened for reading, read at offsets. The handle is synchronous:
// the offset goes with each read.
class WinRandomAccessFile final : public RandomAccessFile {
 public:
  WinRandomAccessFile(unique_hfile file, std::uint64_t size) : file_(std::move(file)), size_(size) {}
  std::uint64_t size() const override { return size_; }

  bool ReadAt(std::uint64_t offset, void* data, std::size_t size, std::size_t& got) override {
    got = 0;
    while (got < size) {
      const std::uint64_t at = offset + got;
      OVERLAPPED position{};
      position.Offset = static_cast<DWORD>(at);
      position.OffsetHigh = static_cast<DWORD>(at >> 32);
      DWORD read = 0;
      const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
      if (!Sys().ReadFile(file_.get(), static_cast<char*>(data) + got, asked, &read, &position))
        return GetLastError() == ERROR_HANDLE_EOF;
      if (read == 0) break;  // the file's end
      got += read;
    }
    return true;
  }

 private:
  unique_hfile file_;
  std::uint64_t size_;
};

}  // namespace

bool WinFileSystem::OpenForReading(const Text& path, std::unique_ptr<RandomAccessFile>& file) {
  file.reset();
  unique_hfile handle(Sys().CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  LARGE_INTEGER size{};
  if (!Sys().GetFileSizeEx(handle.get(), &size)) return false;
  file = std::make_unique<WinRandomAccessFile>(std::move(handle), static_cast<std::uint64_t>(size.QuadPart));
  return true;
}

bool WinFileSystem::FileExists(const Text& path) {
  WIN32_FIND_DATAW data{};
  unique_hfind found(Sys().FindFirstFileW(Widen(path).c_str(), &data));
  return found && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

DestinationState WinFileSystem::Examine(const Text& path) { return ExamineForStaging(Widen(path)); }

bool WinFileSystem::FreeSpace(const Text& folder, std::uint64_t& bytes, Text& volume) {
  const std::wstring wide = Widen(folder);
  ULARGE_INTEGER available{};
  wchar_t root[MAX_PATH] = {};
  if (!Sys().GetDiskFreeSpaceExW(wide.c_str(), &available, nullptr, nullptr) ||
      !Sys().GetVolumePathNameW(wide.c_str(), root, MAX_PATH))
    return false;
  bytes = available.QuadPart;
  volume = NarrowReplacing(root);
  return true;
}

bool WinFileSystem::Stage(const Text& path, PayloadReader& reader, Progress& progress,
                          std::unique_ptr<StagedFile>& staged) {
  Place place;
  if (!PlaceOf(locale_, path, place)) return false;
  auto file = std::make_unique<WinStagedFile>(Widen(path));
  if (!file->file().Create(place) || !file->file().WriteAll(reader, progress)) return false;
  staged = std::move(file);
  return true;
}

void WinFileSystem::Recover(const StringList& paths) {
  std::vector<std::wstring> folders;
  for (const Text& path : paths) {
    Place place;
    if (!PlaceOf(locale_, path, place)) continue;
    const std::wstring destination = Widen(path);
    const std::wstring backup = Widen(BackupName(place));
    // Cut off between the two renames of a replace: the destination's name
    // is free and its former content lies under the backup name.
    if (!backup.empty() && Sys().GetFileAttributesW(destination.c_str()) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND && Sys().GetFileAttributesW(backup.c_str()) != INVALID_FILE_ATTRIBUTES)
      Sys().MoveFileExW(backup.c_str(), destination.c_str(), MOVEFILE_WRITE_THROUGH);
    const std::wstring folder = Widen(place.folder);
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
  }
  // Only now: the backups of the destinations after the first lie in the
  // same folders.
  for (const std::wstring& folder : folders) {
    WIN32_FIND_DATAW found{};
    unique_hfind search(Sys().FindFirstFileW((folder + L"~bp*").c_str(), &found));
    if (!search) continue;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsOwnName(found.cFileName))
        Sys().DeleteFileW((folder + found.cFileName).c_str());
    } while (Sys().FindNextFileW(search.get(), &found));
  }
}

}  // namespace brisko
