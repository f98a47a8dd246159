// Environment expansion for TvhFile: ExpandEnvironmentStringsW, the result
// handed over in code page 932 with the ANSI call's contract.
#pragma once

#include "core/discovery/tvh_file.h"

namespace brisko {

class WinEnvironment final : public EnvironmentApi {
 public:
  std::uint32_t Expand(const char* text, char* buffer, std::uint32_t size) override;
};

}  // namespace brisko
