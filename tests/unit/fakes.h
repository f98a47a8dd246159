// Fakes of the platform services for unit tests of the installer's behaviour.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/errors.h"
#include "core/platform.h"
#include "test_support.h"

namespace brisko::test {

class FakeResources : public Resources {
 public:
  void Add(const Text& type, const Text& name, std::string bytes) { items_[{type, name}] = std::move(bytes); }
  void Remove(const Text& type, const Text& name) { items_.erase({type, name}); }

  std::string_view Open(const Text& type, const Text& name) override {
    opened.push_back(type + "/" + name);
    auto it = items_.find({type, name});
    if (it == items_.end()) throw ResourceNotFound(name);
    return it->second;
  }

  std::vector<std::string> opened;  // every open, in order

 private:
  std::map<std::pair<Text, Text>, std::string> items_;
};

class FakeFileSystem : public FileSystem {
 public:
  bool FileExists(const Text& path) override { return files.count(path) && !folders.count(path); }
  bool WriteWholeFile(const Text& path, std::string_view bytes) override {
    writes.push_back(path);
    if (failing.count(path)) return false;
    files[path] = std::string(bytes);
    return true;
  }

  std::map<Text, std::string> files;
  std::set<Text> folders;
  std::set<Text> failing;  // paths whose write fails
  std::vector<Text> writes;
};

class FakeUi : public UserInterface {
 public:
  void ShowMessage(const Text& text) override { messages.push_back(text); }
  void ShowError(const Text& text) override { errors.push_back(text); }
  Text SelectFolder(const Text& prompt, const Text& initialFolder) override {
    prompts.push_back(prompt);
    initialFolders.push_back(initialFolder);
    return chooserResult;
  }

  std::vector<Text> messages, errors, prompts, initialFolders;
  Text chooserResult;
};

// A 2 x 1 24-bit bitmap file.
inline std::string TinyBitmap() { return BitmapFile(2, 1, 24, 0, "", std::string("\x01\x02\x03\x04\x05\x06\0\0", 8)); }

}  // namespace brisko::test
