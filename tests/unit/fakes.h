// Fakes of the platform services for unit tests of the installer's behaviour.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/errors.h"
#include "core/payload/payload_reader.h"
#include "core/platform.h"
#include "test_support.h"

namespace brisko::test {

class FakeResources : public Resources {
 public:
  void Add(const Text& type, const Text& name, std::string bytes) { items_[{type, name}] = std::move(bytes); }
  void Remove(const Text& type, const Text& name) { items_.erase({type, name}); }

  std::optional<std::string_view> Find(const Text& type, const Text& name) override {
    auto it = items_.find({type, name});
    if (it == items_.end()) return std::nullopt;
    opened.push_back(type + "/" + name);
    return std::string_view(it->second);
  }

  std::vector<std::string> opened;  // every resource found, in order

 private:
  std::map<std::pair<Text, Text>, std::string> items_;
};

// A file in memory, read at any offset.
// A file in memory, read at offsets; its reads fail when `broken`.
class MemoryFile final : public RandomAccessFile {
 public:
  explicit MemoryFile(std::string bytes, bool broken = false) : bytes_(std::move(bytes)), broken_(broken) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, void* data, std::size_t size, std::size_t& got) override {
    got = offset < bytes_.size() ? std::min<std::size_t>(size, bytes_.size() - offset) : 0;
    bytes_.copy(static_cast<char*>(data), got, offset);
    read += got;
    return !broken_;
  }
  std::uint64_t read = 0;  // bytes read so far

 private:
  std::string bytes_;
  bool broken_;
};

class FakeFileSystem : public FileSystem {
 public:
  bool FileExists(const Text& path) override { return files.count(path) && !folders.count(path); }
  using FileSystem::WriteWholeFile;
  // Reads the payload whole first, as the real one writes a temporary file:
  // damage leaves the destination as it was.
  bool WriteWholeFile(const Text& path, PayloadReader& reader, Progress& progress) override {
    writes.push_back(path);
    if (failing.count(path)) return false;
    std::string bytes;
    for (std::string_view piece; reader.Next(piece);) {
      if (piece.empty()) {
        files[path] = bytes;
        return true;
      }
      bytes += piece;
      progress.Add(piece.size());
    }
    return false;
  }

  bool OpenForReading(const Text& path, std::unique_ptr<RandomAccessFile>& file) override {
    file.reset();
    if (folders.count(path) || failing.count(path)) return false;
    if (const auto it = files.find(path); it != files.end()) file = std::make_unique<MemoryFile>(it->second);
    return true;
  }

  std::map<Text, std::string> files;
  std::set<Text> folders;
  std::set<Text> failing;  // paths whose write, or reading, fails
  std::vector<Text> writes;
};

class FakeUi : public UserInterface {
 public:
  void ShowMessage(const Text& text) override {
    if (whileShown) whileShown();
    messages.push_back(text);
  }
  void ShowError(const Text& text) override { errors.push_back(text); }
  Text SelectFolder(const Text& prompt, const Text& initialFolder) override {
    prompts.push_back(prompt);
    initialFolders.push_back(initialFolder);
    return chooserResult;
  }

  std::vector<Text> messages, errors, prompts, initialFolders;
  Text chooserResult;
  // Runs while a message is shown, before it is dismissed.
  std::function<void()> whileShown;
};

// Runs the job where it is called, with `during` in the middle (to try the
// form's input while it is busy), and records what the job reported.
class FakeWorker : public Worker {
 public:
  bool Run(Job& job) override {
    Counter progress;
    if (during) during();
    const bool ok = job.Run(progress);
    job.Advanced(progress.done);
    reported.push_back(progress.done);
    return ok;
  }

  std::function<void()> during;
  std::vector<std::uint64_t> reported;

 private:
  struct Counter final : Progress {
    void Add(std::uint64_t bytes) override { done += bytes; }
    std::uint64_t done = 0;
  };
};

// A 2 x 1 24-bit bitmap file.
inline std::string TinyBitmap() { return BitmapFile(2, 1, 24, 0, "", std::string("\x01\x02\x03\x04\x05\x06\0\0", 8)); }

}  // namespace brisko::test
