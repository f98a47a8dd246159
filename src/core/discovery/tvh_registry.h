// TvhRegistry: reads one string value of the registry named by a single
// path, "ROOT\subkey\...\value". Read only: nothing is created or written.
#pragma once

#include <cstdint>
#include <string>

#include "core/errors.h"
#include "core/text/locale.h"
#include "core/text/text.h"

namespace brisko {

// The predefined keys a path may start from.
enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig, DynData };

// The four registry operations the walk needs. The Windows layer maps them
// onto RegOpenKeyExA, RegQueryValueExA and RegCloseKey; tests use fakes.
class RegistryApi {
 public:
  // A key opened by OpenKey, opaque to the core. Never a predefined root.
  using Key = void*;

  // Value types as the registry numbers them.
  static constexpr std::uint32_t kString = 1;        // REG_SZ
  static constexpr std::uint32_t kExpandString = 2;  // REG_EXPAND_SZ

  virtual ~RegistryApi() = default;
  // Opens `name` read-only under `parent`, or under `root` when `parent` is
  // null. On true `opened` holds a key the caller must close.
  virtual bool OpenKey(RegistryRoot root, Key parent, const Text& name, Key& opened) = 0;
  // The type and size in bytes of value `name` of `key`, without its data.
  virtual bool QueryValue(Key key, const Text& name, std::uint32_t& type, std::uint32_t& size) = 0;
  // Fetches the data of value `name` into `data`, whose size on entry is the
  // buffer offered; on true it is cut to the bytes delivered and `type` set.
  virtual bool FetchValue(Key key, const Text& name, std::uint32_t& type, std::string& data) = 0;
  virtual void CloseKey(Key key) = 0;
};

class TvhRegistry {
 public:
  // `locale` compares the root names without regard to case.
  TvhRegistry(RegistryApi& api, const Locale& locale) : api_(api), locale_(locale) {}

  // Walks `path`: its first component names the root (one of the six
  // "HKEY_..." names, any letter case), the middle ones subkeys, the last the
  // value. Components are cut at backslashes by SplitString, so doubled and
  // trailing backslashes name nothing and double-quoted stretches are kept.
  //
  // False, `value` unchanged: no root name, or a subkey cannot be opened.
  // True: the walk went through; `value` holds the string read (empty when
  // the value is missing or empty, or when no subkey was named), and is left
  // unchanged when the path has no value component.
  // Raises into `error` ("'name' のデータ型が不正です") for a value that is
  // no REG_SZ/REG_EXPAND_SZ, and ("'name' の取得に失敗しました") when the
  // data cannot be fetched after its size was read; the result is then
  // false and `value` unchanged. Every key opened is closed on every way out.
  bool ReadStringByPath(Text path, Text& value, RaisedError& error) const;

 private:
  Text ReadString(RegistryApi::Key key, const Text& name, RaisedError& error) const;

  RegistryApi& api_;
  const Locale& locale_;
};

}  // namespace brisko
