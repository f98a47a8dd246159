#include "win_environment.h"

#include <windows.h>

#include "system_calls.h"

namespace brisko {

std::uint32_t WinEnvironment::Expand(const char* text, char* buffer, std::uint32_t size) {
  return Sys().ExpandEnvironmentStringsA(text, buffer, size);
}

}  // namespace brisko
