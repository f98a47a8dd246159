#include "win_registry.h"

#include <windows.h>

#include <limits>

#include "system_calls.h"

namespace brisko {
namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::Users: return HKEY_USERS;
    case RegistryRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
    case RegistryRoot::DynData: return HKEY_DYN_DATA;
  }
  return HKEY_CURRENT_USER;
}

HKEY AsHkey(RegistryApi::Key key) { return static_cast<HKEY>(key); }

}  // namespace

bool WinRegistry::OpenKey(RegistryRoot root, Key parent, const Text& name, Key& opened) {
  HKEY key = nullptr;
  const HKEY under = parent != nullptr ? AsHkey(parent) : RootKey(root);
  if (Sys().RegOpenKeyExA(under, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  opened = key;
  return true;
}

bool WinRegistry::QueryValue(Key key, const Text& name, std::uint32_t& type, std::uint32_t& size) {
  DWORD valueType = 0;
  DWORD valueSize = 0;
  if (Sys().RegQueryValueExA(AsHkey(key), name.c_str(), nullptr, &valueType, nullptr, &valueSize) !=
      ERROR_SUCCESS) {
    return false;
  }
  type = valueType;
  size = valueSize;
  return true;
}

bool WinRegistry::FetchValue(Key key, const Text& name, std::uint32_t& type, std::string& data) {
  if (data.size() > std::numeric_limits<DWORD>::max()) return false;
  DWORD valueType = 0;
  DWORD valueSize = static_cast<DWORD>(data.size());
  // A value that grew since its size was read gives ERROR_MORE_DATA: a
  // failed fetch, like any other error.
  if (Sys().RegQueryValueExA(AsHkey(key), name.c_str(), nullptr, &valueType,
                       reinterpret_cast<BYTE*>(data.data()), &valueSize) != ERROR_SUCCESS) {
    return false;
  }
  if (valueSize < data.size()) data.resize(valueSize);
  type = valueType;
  return true;
}

void WinRegistry::CloseKey(Key key) { Sys().RegCloseKey(AsHkey(key)); }

}  // namespace brisko
