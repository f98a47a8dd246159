// The registry operations of TvhRegistry: RegOpenKeyExW with KEY_READ,
// RegQueryValueExW and RegCloseKey. Key and value names go in, and texts
// come out, in code page 932; a text value that 932 cannot hold is not read.
#pragma once

#include "core/discovery/tvh_registry.h"

namespace brisko {

class WinRegistry final : public RegistryApi {
 public:
  bool OpenKey(RegistryRoot root, Key parent, const Text& name, Key& opened) override;
  bool QueryValue(Key key, const Text& name, std::uint32_t& type, std::uint32_t& size) override;
  bool FetchValue(Key key, const Text& name, std::uint32_t& type, std::string& data) override;
  void CloseKey(Key key) override;
};

}  // namespace brisko
