#include "core/discovery/tvh_registry.h"

#include "core/errors.h"
#include "core/script/split_string.h"
#include "core/text/fixed_texts.h"

namespace brisko {
namespace {

struct RootName {
  const char* name;
  RegistryRoot root;
};

// Tested in this order against the whole first component. There is
// deliberately no HKEY_PERFORMANCE_DATA and no short form such as HKCU.
constexpr RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},     {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},   {"HKEY_USERS", RegistryRoot::Users},
    {"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig}, {"HKEY_DYN_DATA", RegistryRoot::DynData},
};

// The key the walk has open at the moment; closes it when replaced and when
// the walk ends, however it ends.
class CurrentKey {
 public:
  explicit CurrentKey(RegistryApi& api) : api_(api) {}
  CurrentKey(const CurrentKey&) = delete;
  CurrentKey& operator=(const CurrentKey&) = delete;
  ~CurrentKey() { Reset(nullptr); }

  RegistryApi::Key get() const { return key_; }
  void Reset(RegistryApi::Key key) {
    if (key_ != nullptr) api_.CloseKey(key_);
    key_ = key;
  }

 private:
  RegistryApi& api_;
  RegistryApi::Key key_ = nullptr;
};

}  // namespace

bool TvhRegistry::ReadStringByPath(Text path, Text& value, RaisedError& error) const {
  StringList components;
  SplitString(path, "\\", components, locale_);

  RegistryRoot root = RegistryRoot::CurrentUser;
  CurrentKey current(api_);
  for (std::size_t i = 0; i < components.size(); ++i) {
    const Text& component = components[i];
    if (i == 0) {
      bool matched = false;
      for (const RootName& candidate : kRootNames) {
        if (locale_.EqualsIgnoreCase(component, candidate.name)) {
          root = candidate.root;
          matched = true;
          break;
        }
      }
      if (!matched) return false;
    } else if (i + 1 == components.size()) {
      Text read = ReadString(current.get(), component, error);
      if (error.raised()) return false;
      value = std::move(read);
    } else {
      RegistryApi::Key opened = nullptr;
      if (!api_.OpenKey(root, current.get(), component, opened)) return false;
      current.Reset(opened);
    }
  }
  return true;
}

Text TvhRegistry::ReadString(RegistryApi::Key key, const Text& name, RaisedError& error) const {
  // A path of a root name and a value name alone has no key open to ask.
  if (key == nullptr) return Text();
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (!api_.QueryValue(key, name, type, size) || size == 0) return Text();

  std::string data(size, '\0');
  if (!api_.FetchValue(key, name, type, data)) {
    error.Raise(FormatText(texts::kErrRegistryReadFailedFmt, name));
    return Text();
  }
  if (type != RegistryApi::kString && type != RegistryApi::kExpandString) {
    error.Raise(FormatText(texts::kErrRegistryBadTypeFmt, name));
    return Text();
  }
  // Stored strings normally carry their zero; one stored without it still
  // ends at the data's end.
  const std::size_t end = data.find('\0');
  if (end != std::string::npos) data.resize(end);
  return data;
}

}  // namespace brisko
