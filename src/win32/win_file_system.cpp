#include "win_file_system.h"

#include <windows.h>

#include <algorithm>

#include "core/payload/payload_reader.h"
#include "core/text/path.h"
#include "handles.h"
#include "system_calls.h"
#include "wide_text.h"

namespace brisko {
namespace {

// What the destination is before anything is written over it.
enum class Destination { Missing, Existing, Refused };

// A folder, a read-only file and a hidden or system file are refused, as a
// direct CreateFileW with CREATE_ALWAYS and FILE_ATTRIBUTE_NORMAL refuses
// them; so is a file that another process holds open, and a path whose
// attributes cannot be read for any reason but its absence. Checked here
// because not every system refuses to replace such files by renaming.
Destination Examine(const std::wstring& path) {
  const DWORD attributes = Sys().GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return GetLastError() == ERROR_FILE_NOT_FOUND ? Destination::Missing : Destination::Refused;
  constexpr DWORD kRefused =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (attributes & kRefused) {
    SetLastError(ERROR_ACCESS_DENIED);
    return Destination::Refused;
  }
  // Opening it for writing without sharing fails with a sharing violation
  // while another process has it open.
  unique_hfile probe(Sys().CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  return probe ? Destination::Existing : Destination::Refused;
}

// The length of `name` in characters, as the system counts a path's length
// (a double-byte character counts once).
std::size_t CharacterCount(const Locale& locale, std::string_view name) {
  ByteWalker walker(locale);
  return static_cast<std::size_t>(
      std::count_if(name.begin(), name.end(),
                    [&](char c) { return walker.Next(static_cast<unsigned char>(c)) != ByteClass::Trail; }));
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
    if (!name_.empty() && !keep_) {
      const DWORD error = GetLastError();
      Remove();
      SetLastError(error);
    }
  }

  // Creates a file of a fresh name in `folder` that is no longer than
  // `maxLength` characters, so that its path is never longer than the
  // destination's and a destination that a direct create could write is
  // never refused because of the temporary's length. CREATE_NEW never
  // touches a file that is already there.
  bool Create(const Text& folder, std::size_t maxLength, const Locale& locale, std::string_view destinationName) {
    static unsigned next = GetTickCount() ^ (GetCurrentProcessId() << 12);
    place_ = {folder, maxLength, &locale, destinationName};
    const std::size_t length = std::min<std::size_t>(maxLength, 12);
    for (int attempt = 0; attempt < 100; ++attempt) {
      const Text name = Candidate(length, next++);
      if (locale.EqualsIgnoreCase(name, destinationName)) continue;
      const std::wstring path = Widen(folder + name);
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

  // Writes every piece that `reader` gives, straight from where the reader
  // holds it, flushes the file to the disk and closes it. A reader's piece
  // is at most 1 MiB: one call for a whole large payload was two to four
  // times slower to reach the system's cache than pieces of this size
  // (bench/apply-speed.sh), and a piece keeps each call's share of locked
  // memory small. Nothing is flushed or kept when the reader finds its bytes
  // damaged.
  bool WriteAll(PayloadReader& reader, Progress& progress) {
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

  // Puts the file in the place of an existing destination. ReplaceFileW
  // keeps the destination's attributes, security descriptor, owner, other
  // streams and creation time.
  bool Replace(const std::wstring& destination) {
    if (ReplaceWithBackup(destination, nullptr)) return true;
    // Wine's ReplaceFileW without a backup name parks the replaced file under
    // a name that GetTempFileNameW makes in its folder, which takes folders
    // of at most MAX_PATH - 14 characters. Beyond that the replaced file
    // goes to a backup name of ours, no longer than the destination's, and
    // is deleted afterwards.
    if (keep_ || GetLastError() != ERROR_UNABLE_TO_REMOVE_REPLACED || Widen(place_.folder).size() <= MAX_PATH - 14)
      return false;
    TemporaryFile backup;
    if (!backup.Create(place_.folder, place_.maxLength, *place_.locale, place_.destinationName)) return false;
    backup.file_.reset();
    const bool replaced = ReplaceWithBackup(destination, backup.name_.c_str());
    // Moved to the backup name but not replaced by the new file: the old
    // content stays there.
    if (!replaced && keep_) backup.keep_ = true;
    return replaced;
  }

  // ReplaceFileW, with `backup` (a file of ours, or null) receiving the
  // replaced file.
  bool ReplaceWithBackup(const std::wstring& destination, const wchar_t* backup) {
    if (Sys().ReplaceFileW(destination.c_str(), name_.c_str(), backup, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                           nullptr)) {
      keep_ = true;
      return true;
    }
    // These errors mean that the destination is gone already (moved to the
    // backup name, if any) and the new content still lies under the
    // temporary name: it must go into place now, or at least never be
    // deleted.
    const DWORD error = GetLastError();
    if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) return false;
    keep_ = true;
    return MoveTo(destination);
  }

  // Gives the file the name of a destination that does not exist; fails
  // rather than replace one that has appeared meanwhile.
  bool MoveTo(const std::wstring& destination) {
    if (!Sys().MoveFileExW(name_.c_str(), destination.c_str(), MOVEFILE_WRITE_THROUGH)) return false;
    keep_ = true;
    return true;
  }

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

  // Names of `length` characters: "~" and base-36 digits, with ".tmp" where
  // there is room for it; a single digit when one character is all there is.
  static Text Candidate(std::size_t length, unsigned value) {
    const bool tilde = length >= 2;
    const bool extension = length >= 9;
    const std::size_t digits = length - (tilde ? 1 : 0) - (extension ? 4 : 0);
    Text name = tilde ? "~" : "";
    for (std::size_t i = 0; i < digits; ++i, value /= 36) name += "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36];
    if (extension) name += ".tmp";
    return name;
  }

  // A virus scanner may hold a new file open for a moment: a failed delete
  // is tried again, and what still cannot be deleted goes when the system
  // next starts.
  void Remove() {
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (Sys().DeleteFileW(name_.c_str())) return;
      if (GetLastError() == ERROR_FILE_NOT_FOUND) return;
      Sleep(50);
    }
    Sys().MoveFileExW(name_.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }

  // Where Create made the file, for a sibling of the same limits.
  struct Place {
    Text folder;
    std::size_t maxLength = 0;
    const Locale* locale = nullptr;
    std::string_view destinationName;
  };

  std::wstring name_;
  unique_hfile file_;
  bool keep_ = false;
  Place place_;
};

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

bool WinFileSystem::WriteWholeFile(const Text& path, PayloadReader& reader, Progress& progress) {
  const std::wstring destination = Widen(path);
  if (Examine(destination) == Destination::Refused) return false;
  const Text folder = ExtractFolder(locale_, path);
  const std::string_view name = std::string_view(path).substr(folder.size());
  if (name.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  TemporaryFile temporary;
  if (!temporary.Create(folder, CharacterCount(locale_, name), locale_, name)) return false;
  if (!temporary.WriteAll(reader, progress)) return false;
  // Examined again just before the swap: the destination may have changed
  // while a large payload was written.
  switch (Examine(destination)) {
    case Destination::Existing: return temporary.Replace(destination);
    case Destination::Missing: return temporary.MoveTo(destination);
    case Destination::Refused: break;
  }
  return false;
}

}  // namespace brisko
