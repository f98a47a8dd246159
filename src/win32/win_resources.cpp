#include "win_resources.h"

#include <windows.h>

#include "system_calls.h"
#include "wide_text.h"

namespace brisko {

std::optional<std::string_view> WinResources::Find(const Text& type, const Text& name) {
  const HMODULE module = GetModuleHandleW(nullptr);
  const HRSRC found = Sys().FindResourceW(module, Widen(name).c_str(), Widen(type).c_str());
  if (found == nullptr) return std::nullopt;
  // Loaded resources are part of the mapped image: nothing to free.
  const HGLOBAL loaded = Sys().LoadResource(module, found);
  if (loaded == nullptr) return std::nullopt;
  // 0 is both the size of an empty resource and the failure value; only a
  // failure sets the last error.
  SetLastError(ERROR_SUCCESS);
  const DWORD size = Sys().SizeofResource(module, found);
  if (size == 0 && GetLastError() != ERROR_SUCCESS) return std::nullopt;
  const void* bytes = Sys().LockResource(loaded);
  if (bytes == nullptr) {
    if (size == 0) return std::string_view();
    return std::nullopt;
  }
  return std::string_view(static_cast<const char*>(bytes), size);
}

}  // namespace brisko
