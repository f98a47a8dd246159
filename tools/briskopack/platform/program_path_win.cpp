#include "platform/program_path.h"

#include <windows.h>

#include <string>

namespace brisko::pack {

std::optional<fs::path> ProgramPath() {
  // GetModuleFileNameW fills the whole buffer when the name is cut short.
  for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
    std::wstring buffer(size, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (n == 0) return std::nullopt;
    if (n < size) {
      buffer.resize(n);
      return fs::path(buffer);
    }
  }
  return std::nullopt;
}

}  // namespace brisko::pack
