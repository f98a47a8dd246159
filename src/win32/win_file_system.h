// Files on disk: the existence test of the folder check and the writing of
// payload files.
#pragma once

#include "core/locale.h"
#include "core/platform.h"

namespace brisko {

class WinFileSystem final : public FileSystem {
 public:
  // `locale` tells the double-byte characters of paths apart from their
  // delimiters when the destination's folder is taken.
  explicit WinFileSystem(const Locale& locale) : locale_(locale) {}

  // A file search (FindFirstFileW) that finds something which is no folder.
  bool FileExists(const Text& path) override;

  // Writes `bytes` to a new temporary file in the destination's folder,
  // flushes it and only then moves it over the destination. Refuses a
  // destination that is a folder, is read-only or is held open by another
  // process, checking that itself since not every system refuses to replace
  // such a file. On failure the temporary file is removed and the
  // destination is as it was. Never creates a folder.
  bool WriteWholeFile(const Text& path, std::string_view bytes) override;

 private:
  const Locale& locale_;
};

}  // namespace brisko
