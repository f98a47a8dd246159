// Fakes of the platform services for unit tests of the installer's behaviour.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
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

  bool OpenForReading(const Text& path, std::unique_ptr<RandomAccessFile>& file) override {
    file.reset();
    if (folders.count(path) || failing.count(path)) return false;
    if (const auto it = files.find(path); it != files.end()) file = std::make_unique<MemoryFile>(it->second);
    return true;
  }

  DestinationState Examine(const Text& path) override {
    if (missingFolders.count(path.substr(0, path.rfind('\\')))) return DestinationState::FolderMissing;
    if (const auto it = states.find(path); it != states.end()) return it->second;
    if (folders.count(path)) return DestinationState::Refused;
    return files.count(path) ? DestinationState::Replaceable : DestinationState::Missing;
  }

  bool FreeSpace(const Text&, std::uint64_t& bytes, Text& volume) override {
    bytes = freeBytes;
    volume = "C:";
    return true;
  }

  // A staged file lies in `staging` until it is put in place; the former
  // content is kept for Restore while it lives.
  class Staged final : public StagedFile {
   public:
    Staged(FakeFileSystem& fs, Text path) : fs_(fs), path_(std::move(path)) {}
    ~Staged() override { fs_.staging.erase(path_); }
    bool Commit() override {
      if (fs_.whileCommitting) fs_.whileCommitting();
      if (fs_.commitFailing.count(path_)) return false;
      const auto old = fs_.files.find(path_);
      if (old != fs_.files.end()) former_ = old->second;
      fs_.files[path_] = fs_.staging[path_];
      fs_.staging.erase(path_);
      fs_.commits.push_back(path_);
      return true;
    }
    bool Restore() override {
      if (fs_.restoreFailing.count(path_)) return false;
      if (former_)
        fs_.files[path_] = *former_;
      else
        fs_.files.erase(path_);
      return true;
    }

   private:
    FakeFileSystem& fs_;
    Text path_;
    std::optional<std::string> former_;
  };

  // Reads the payload whole first, as the real one writes a file beside the
  // destination: damage leaves the destination as it was.
  bool Stage(const Text& path, PayloadReader& reader, Progress& progress,
             std::unique_ptr<StagedFile>& staged) override {
    writes.push_back(path);
    std::string bytes;
    if (whileStaging) whileStaging(path);
    if (failing.count(path) || !ReadWhole(reader, progress, bytes)) return false;
    staging[path] = bytes;
    staged = std::make_unique<Staged>(*this, path);
    return true;
  }

  void Recover(const StringList& paths) override { recovered.insert(recovered.end(), paths.begin(), paths.end()); }

  std::map<Text, std::string> files;
  std::set<Text> folders;
  std::set<Text> failing;  // paths whose write, or reading, fails
  std::vector<Text> writes;
  // The staged apply: what Examine says of a path, folders that are not
  // there, the room on the volume, paths whose Commit or Restore fails, the
  // files staged and not yet put in place, what was committed and recovered.
  std::map<Text, DestinationState> states;
  std::set<Text> missingFolders;
  std::uint64_t freeBytes = std::uint64_t{1} << 40;
  std::set<Text> commitFailing, restoreFailing;
  std::map<Text, std::string> staging;
  std::vector<Text> commits, recovered;
  // Run as each file is staged, before its first byte, and as each is put
  // in place.
  std::function<void(const Text&)> whileStaging;
  std::function<void()> whileCommitting;

 private:
  static bool ReadWhole(PayloadReader& reader, Progress& progress, std::string& bytes) {
    for (std::string_view piece; reader.Next(piece);) {
      if (piece.empty()) return true;
      bytes += piece;
      progress.Add(piece.size());
    }
    return false;
  }
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
  void WaitForEnd() override { ++waits; }
  int waits = 0;

  std::function<void()> during;
  std::vector<std::uint64_t> reported;

 private:
  struct Counter final : Progress {
    void Add(std::uint64_t bytes) override { done += bytes; }
    std::uint64_t done = 0;
  };
};

// All a reader gives, or nothing when it reports damage or hands out a piece
// larger than it may.
inline std::optional<std::string> ReadAll(PayloadReader& reader) {
  std::string bytes;
  for (std::string_view piece;;) {
    if (!reader.Next(piece) || piece.size() > PayloadReader::kPieceSize) return std::nullopt;
    if (piece.empty()) return bytes;
    bytes += piece;
  }
}

// A 2 x 1 24-bit bitmap file.
inline std::string TinyBitmap() { return BitmapFile(2, 1, 24, 0, "", std::string("\x01\x02\x03\x04\x05\x06\0\0", 8)); }

}  // namespace brisko::test
