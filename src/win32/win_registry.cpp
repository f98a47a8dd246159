#include "win_registry.h"

#include <windows.h>

#include <optional>
#include <string>

#include "system_calls.h"
#include "wide_text.h"

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

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

struct Value {
  DWORD type = 0;
  std::string data;  // texts in code page 932, other types as stored
};

// Reads a whole value through the wide call and hands its texts over in code
// page 932, as the ANSI call does. nullopt when the value cannot be read or
// holds a text that 932 cannot hold.
std::optional<Value> ReadValue(HKEY key, const Text& name) {
  const std::wstring wideName = Widen(name);
  DWORD type = 0;
  DWORD size = 0;
  if (Sys().RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  std::string bytes;
  // The value may grow between the calls: ERROR_MORE_DATA gives the new size.
  for (int attempt = 0; attempt < 4; ++attempt) {
    bytes.assign(size, '\0');
    const LONG status =
        Sys().RegQueryValueExW(key, wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
    if (status == ERROR_SUCCESS) {
      bytes.resize(size);
      Value value;
      value.type = type;
      if (!IsTextType(type)) {
        value.data = std::move(bytes);
        return value;
      }
      std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
      bytes.copy(reinterpret_cast<char*>(wide.data()), wide.size() * sizeof(wchar_t));
      std::optional<Text> narrow = Narrow(wide);
      if (!narrow) return std::nullopt;
      value.data = std::move(*narrow);
      return value;
    }
    if (status != ERROR_MORE_DATA) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

bool WinRegistry::OpenKey(RegistryRoot root, Key parent, const Text& name, Key& opened) {
  HKEY key = nullptr;
  const HKEY under = parent != nullptr ? AsHkey(parent) : RootKey(root);
  if (Sys().RegOpenKeyExW(under, Widen(name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  opened = key;
  return true;
}

bool WinRegistry::QueryValue(Key key, const Text& name, std::uint32_t& type, std::uint32_t& size) {
  const std::optional<Value> value = ReadValue(AsHkey(key), name);
  if (!value || value->data.size() > MAXDWORD) return false;
  type = value->type;
  size = static_cast<std::uint32_t>(value->data.size());
  return true;
}

bool WinRegistry::FetchValue(Key key, const Text& name, std::uint32_t& type, std::string& data) {
  const std::optional<Value> value = ReadValue(AsHkey(key), name);
  // A value that grew since its size was read does not fit: a failed fetch,
  // as ERROR_MORE_DATA is for the ANSI call.
  if (!value || value->data.size() > data.size()) return false;
  data.assign(value->data);
  type = value->type;
  return true;
}

void WinRegistry::CloseKey(Key key) { Sys().RegCloseKey(AsHkey(key)); }

}  // namespace brisko
