// Package resources of the running executable.
#pragma once

#include "core/platform.h"

namespace brisko {

class WinResources final : public Resources {
 public:
  // FindResourceW, LoadResource, SizeofResource and LockResource on the
  // module of the running process. The bytes live as long as the process.
  // Nothing when FindResourceW finds none, or when a resource found cannot
  // be loaded.
  std::optional<std::string_view> Find(const Text& type, const Text& name) override;
};

}  // namespace brisko
