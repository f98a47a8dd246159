#include "win_environment.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "system_calls.h"
#include "wide_text.h"

namespace brisko {

std::uint32_t WinEnvironment::Expand(const char* text, char* buffer, std::uint32_t size) {
  const std::wstring wideText = Widen(text);
  std::wstring expanded(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD n = Sys().ExpandEnvironmentStringsW(wideText.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (n == 0) return 0;
    if (n <= expanded.size()) {
      expanded.resize(n - 1);
      // An expansion that code page 932 cannot hold names nothing the
      // program could use: it is a failed expansion.
      const std::optional<Text> narrow = Narrow(expanded);
      if (!narrow || narrow->size() >= UINT32_MAX) return 0;
      const std::uint32_t needed = static_cast<std::uint32_t>(narrow->size() + 1);
      if (needed > size) return needed;
      std::memcpy(buffer, narrow->c_str(), needed);
      return needed;
    }
    // Too small: n is the size needed; the environment may still grow
    // between the calls, hence a few attempts.
    expanded.assign(n, L'\0');
  }
  return 0;
}

}  // namespace brisko
