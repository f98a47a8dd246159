// Package resources of the running executable.
#pragma once

#include "core/platform.h"

namespace brisko {

class WinResources final : public Resources {
 public:
  // FindResourceW, LoadResource, SizeofResource and LockResource on the
  // module of the running process. The bytes live as long as the process.
  // Throws ResourceNotFound(name) when the resource is absent.
  std::string_view Open(const Text& type, const Text& name) override;
};

}  // namespace brisko
