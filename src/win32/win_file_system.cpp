#include "win_file_system.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "core/path.h"
#include "handles.h"
#include "system_calls.h"
#include "wide_text.h"

namespace brisko {
namespace {

// A temporary file that is deleted unless it has been moved into place.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    file_.reset();
    if (!name_.empty() && !committed_) {
      const DWORD error = GetLastError();
      DeleteFileW(name_.c_str());
      SetLastError(error);
    }
  }

  // Creates a file of a fresh name in `folder` (which may be empty: the
  // current folder). CREATE_NEW never touches a file that is already there.
  bool Create(const Text& folder) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      char suffix[48];
      std::snprintf(suffix, sizeof suffix, "~brisko%lx-%x.tmp", GetCurrentProcessId(), ++counter);
      std::wstring name = Widen(folder + suffix);
      file_.reset(Sys().CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file_) {
        name_ = std::move(name);
        return true;
      }
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
  }

  // Writes all of `bytes` straight from the caller's memory and flushes
  // them to the disk.
  bool WriteAll(std::string_view bytes) {
    const char* data = bytes.data();
    std::size_t remaining = bytes.size();
    while (remaining > 0) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(remaining, 1u << 30));
      DWORD written = 0;
      if (!Sys().WriteFile(file_.get(), data, chunk, &written, nullptr)) return false;
      if (written == 0) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
      }
      data += written;
      remaining -= written;
    }
    return Sys().FlushFileBuffers(file_.get()) != FALSE;
  }

  bool MoveOver(const std::wstring& destination) {
    file_.reset();
    if (!Sys().MoveFileExW(name_.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return false;
    committed_ = true;
    return true;
  }

 private:
  std::wstring name_;
  unique_hfile file_;
  bool committed_ = false;
};

// True when `path` may be replaced: it does not exist yet, or it is a file
// that is not read-only and that nobody else holds open.
bool MayReplace(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  // Opening it for writing without sharing fails with a sharing violation
  // while another process has it open.
  unique_hfile probe(Sys().CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(probe);
}

}  // namespace

bool WinFileSystem::FileExists(const Text& path) {
  WIN32_FIND_DATAW data{};
  unique_hfind found(FindFirstFileW(Widen(path).c_str(), &data));
  return found && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool WinFileSystem::WriteWholeFile(const Text& path, std::string_view bytes) {
  const std::wstring destination = Widen(path);
  if (!MayReplace(destination)) return false;
  TemporaryFile temporary;
  if (!temporary.Create(ExtractFolder(locale_, path))) return false;
  if (!temporary.WriteAll(bytes)) return false;
  // Checked again just before the move: the destination may have changed
  // while a large payload was written.
  if (!MayReplace(destination)) return false;
  return temporary.MoveOver(destination);
}

}  // namespace brisko
