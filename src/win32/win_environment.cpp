#include "win_environment.h"

#include <windows.h>

namespace brisko {

std::uint32_t WinEnvironment::Expand(const char* text, char* buffer, std::uint32_t size) {
  return ExpandEnvironmentStringsA(text, buffer, size);
}

}  // namespace brisko
