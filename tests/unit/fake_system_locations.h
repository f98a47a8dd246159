// Fakes of the registry, shell folders, environment and shortcut services
// for unit tests of the system look-ups and target discovery.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/discovery/tvh_file.h"
#include "core/discovery/tvh_registry.h"

namespace brisko::test {

// A registry held as keys named by their components, the root first. Key
// names compare exactly. Counts every open and close.
class FakeRegistry : public RegistryApi {
 public:
  using KeyPath = std::vector<Text>;
  struct Value {
    std::uint32_t type;
    std::string data;
  };

  static constexpr std::uint32_t kDword = 4;

  static Text RootName(RegistryRoot root) {
    switch (root) {
      case RegistryRoot::ClassesRoot: return "HKCR";
      case RegistryRoot::CurrentUser: return "HKCU";
      case RegistryRoot::LocalMachine: return "HKLM";
      case RegistryRoot::Users: return "HKU";
      case RegistryRoot::CurrentConfig: return "HKCC";
      case RegistryRoot::DynData: return "HKDD";
    }
    return "?";
  }

  // Adds the key and every key above it.
  void AddKey(const KeyPath& path) {
    for (std::size_t n = 2; n <= path.size(); ++n) keys_[KeyPath(path.begin(), path.begin() + n)];
  }
  void SetValue(const KeyPath& key, const Text& name, std::uint32_t type, std::string data) {
    AddKey(key);
    keys_[key][name] = Value{type, std::move(data)};
  }
  void SetString(const KeyPath& key, const Text& name, const Text& text) {
    SetValue(key, name, kString, text + std::string(1, '\0'));
  }

  bool OpenKey(RegistryRoot root, Key parent, const Text& name, Key& opened) override {
    ++openAttempts;
    KeyPath path = parent ? open_.at(parent) : KeyPath{RootName(root)};
    path.push_back(name);
    if (!keys_.count(path) || denied.count(path)) return false;
    opened = reinterpret_cast<Key>(++lastHandle_);
    open_[opened] = path;
    ++opens;
    maxOpen = std::max(maxOpen, open_.size());
    return true;
  }
  bool QueryValue(Key key, const Text& name, std::uint32_t& type, std::uint32_t& size) override {
    ++queries;
    const Value* v = Find(key, name);
    if (!v) return false;
    type = v->type;
    size = static_cast<std::uint32_t>(v->data.size());
    return true;
  }
  bool FetchValue(Key key, const Text& name, std::uint32_t& type, std::string& data) override {
    const Value* v = Find(key, name);
    if (!v || failingFetch.count(name) || data.size() < v->data.size()) return false;
    type = v->type;
    data = v->data;
    return true;
  }
  void CloseKey(Key key) override {
    if (open_.erase(key) == 0) ++badCloses;
    ++closes;
  }

  std::size_t OpenNow() const { return open_.size(); }

  std::set<KeyPath> denied;       // keys that exist but cannot be opened
  std::set<Text> failingFetch;    // value names whose data fetch fails
  int openAttempts = 0, opens = 0, closes = 0, badCloses = 0, queries = 0;
  std::size_t maxOpen = 0;

 private:
  const Value* Find(Key key, const Text& name) const {
    auto k = keys_.find(open_.at(key));
    if (k == keys_.end()) return nullptr;
    auto v = k->second.find(name);
    return v == k->second.end() ? nullptr : &v->second;
  }

  std::map<KeyPath, std::map<Text, Value>> keys_;
  std::map<Key, KeyPath> open_;
  std::uintptr_t lastHandle_ = 0x1000;
};

// ExpandEnvironmentStringsA over a fixed set of variables: %NAME% of a
// defined variable is replaced, anything else stays as written.
class FakeEnvironment : public EnvironmentApi {
 public:
  std::uint32_t Expand(const char* text, char* buffer, std::uint32_t size) override {
    offered.push_back(size);
    if (failing) return 0;
    const Text result = ExpandText(text);
    const std::uint32_t growth = offered.size() > 1 ? growBy : 0;
    const auto needed = static_cast<std::uint32_t>(result.size() + 1 + growth);
    if (needed > size) return needed;
    std::memcpy(buffer, result.c_str(), result.size() + 1);
    return needed;
  }

  Text ExpandText(const Text& text) const {
    Text out;
    std::size_t i = 0;
    while (i < text.size()) {
      const std::size_t close = text[i] == '%' ? text.find('%', i + 1) : Text::npos;
      if (close != Text::npos) {
        auto it = variables.find(text.substr(i + 1, close - i - 1));
        if (it != variables.end()) {
          out += it->second;
          i = close + 1;
          continue;
        }
      }
      out += text[i++];
    }
    return out;
  }

  std::map<Text, Text> variables;
  bool failing = false;
  std::uint32_t growBy = 0;  // the environment grows by this after the first call
  std::vector<std::uint32_t> offered;
};

// Looks `key` up in `table` and records that it was asked for; sets `out`
// only when it is there.
template <typename Key>
bool LookUp(const std::map<Key, Text>& table, const Key& key, std::vector<Key>& asked, Text& out) {
  asked.push_back(key);
  const auto it = table.find(key);
  if (it == table.end()) return false;
  out = it->second;
  return true;
}

class FakeShellFolders : public ShellFoldersApi {
 public:
  bool GetFolderPath(int csidl, Text& folder) override { return LookUp(folders, csidl, asked, folder); }
  std::map<int, Text> folders;
  std::vector<int> asked;
};

class FakeShortcuts : public ShortcutApi {
 public:
  // A shortcut file at `path` whose stored target is `target`.
  void Add(const Text& path, const Text& target) { links[path] = target; }

  bool ReadTarget(const Text& path, Text& target) override { return LookUp(links, path, read, target); }
  std::map<Text, Text> links;
  std::vector<Text> read;
};

}  // namespace brisko::test
