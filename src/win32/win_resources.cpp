#include "win_resources.h"

#include <windows.h>

#include "core/errors.h"
#include "wide_text.h"

namespace brisko {

std::string_view WinResources::Open(const Text& type, const Text& name) {
  const HMODULE module = GetModuleHandleW(nullptr);
  const HRSRC found = FindResourceW(module, Widen(name).c_str(), Widen(type).c_str());
  if (found == nullptr) throw ResourceNotFound(name);
  // Loaded resources are part of the mapped image: nothing to free.
  const HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) throw ResourceNotFound(name);
  const DWORD size = SizeofResource(module, found);
  const void* bytes = LockResource(loaded);
  if (bytes == nullptr) {
    if (size == 0) return {};
    throw ResourceNotFound(name);
  }
  return std::string_view(static_cast<const char*>(bytes), size);
}

}  // namespace brisko
