// The resource directory of a PE image as a tree of types, names and
// languages, parsed from a stub and written back as a new resource section.
// Leaf bytes are never held whole: they stay in the stub or on disk and are
// streamed into the output when the section is written.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "pe/pe_image.h"
#include "platform/file_io.h"

namespace brisko::pack {

// The most bytes one resource can hold: its data entry's size is a 32-bit
// field.
constexpr std::uint64_t kMaxResourceSize = 0xFFFFFFFF;

// A resource type, name or language: a 16-bit number or a UTF-16 name.
class ResourceId {
 public:
  static ResourceId Number(std::uint16_t id);
  static ResourceId Name(std::u16string name);
  // An ASCII name, stored upper case as the loader expects.
  static ResourceId Ascii(std::string_view name);

  bool isName() const { return isName_; }
  std::uint16_t number() const { return number_; }
  const std::u16string& name() const { return name_; }
  // "TEXT", or "#14" for a number; non-ASCII code units as UTF-8.
  std::string ToString() const;
  // True for a name equal to `ascii` without regard to ASCII letter case.
  bool NameEquals(std::string_view ascii) const;

  // Directory order: names before numbers, names by UTF-16 code unit,
  // numbers ascending.
  friend bool operator<(const ResourceId& a, const ResourceId& b);
  friend bool operator==(const ResourceId& a, const ResourceId& b) {
    return a.isName_ == b.isName_ && a.number_ == b.number_ && a.name_ == b.name_;
  }

 private:
  bool isName_ = false;
  std::uint16_t number_ = 0;
  std::u16string name_;
};

// Where a resource's bytes come from.
class ResourceData {
 public:
  static ResourceData Bytes(std::string bytes);
  // `size` bytes at `offset` of an open file (the stub being repacked).
  static ResourceData Range(InputFile& file, std::uint64_t offset, std::uint32_t size);
  // A whole file on disk of the size it had when the package was planned;
  // opened only when written.
  static ResourceData File(fs::path path, std::uint32_t size);

  std::uint32_t size() const { return size_; }
  void WriteTo(ByteSink& sink) const;
  // The bytes in memory; for small resources only.
  std::string Read() const;
  // At most `size` bytes from `offset` (fewer at the end).
  std::string ReadPart(std::uint64_t offset, std::size_t size) const;
  // Where the bytes of a range of an open file start in it; nothing for
  // other data.
  std::optional<std::uint64_t> FileOffset() const {
    return kind_ == Kind::Range ? std::optional<std::uint64_t>(offset_) : std::nullopt;
  }

 private:
  enum class Kind { Bytes, Range, File };
  Kind kind_ = Kind::Bytes;
  std::shared_ptr<const std::string> bytes_;
  InputFile* file_ = nullptr;
  std::uint64_t offset_ = 0;
  fs::path path_;
  std::uint32_t size_ = 0;
};

struct ResourceLeaf {
  ResourceData data;
  std::uint32_t codePage = 0;
};

// Characteristics, time stamp and version of a directory table, kept from
// the stub.
struct DirectoryInfo {
  std::uint32_t characteristics = 0;
  std::uint32_t timeDateStamp = 0;
  std::uint16_t majorVersion = 0;
  std::uint16_t minorVersion = 0;
};

class ResourceTree {
 public:
  struct NameNode {
    DirectoryInfo info;
    std::map<ResourceId, ResourceLeaf> languages;
  };
  struct TypeNode {
    DirectoryInfo info;
    std::map<ResourceId, NameNode> names;
  };

  // The tree that `image`'s resource directory describes (empty when it has
  // none); leaves refer to `file`, which must outlive the tree. Throws
  // PackError when the directory is corrupted.
  static ResourceTree Parse(const PeImage& image, InputFile& file);

  const std::map<ResourceId, TypeNode>& types() const { return types_; }
  const DirectoryInfo& info() const { return info_; }

  // Stores `data` under type, name and language, replacing what was there.
  void Put(const ResourceId& type, const ResourceId& name, const ResourceId& language, ResourceData data);
  // Removes every language of each type and name that `match` accepts, and
  // types left empty; returns how many leaves went.
  std::size_t RemoveIf(const std::function<bool(const ResourceId& type, const ResourceId& name)>& match);
  // The leaf with the lowest language under type and name (matched without
  // regard to ASCII case), or nullptr.
  const ResourceLeaf* Find(std::string_view type, std::string_view name) const;
  // The leaf with the lowest language under exactly `type` and `name`, or
  // nullptr.
  const ResourceLeaf* Find(const ResourceId& type, const ResourceId& name) const;
  std::size_t leafCount() const;

 private:
  std::map<ResourceId, TypeNode> types_;
  DirectoryInfo info_;
};

// A resource tree laid out as a resource section: directory tables first,
// then data entries, then name strings, then the leaves' bytes, each leaf
// aligned to 8 bytes.
class ResourceSection final : public SectionContent {
 public:
  explicit ResourceSection(const ResourceTree& tree);
  std::uint64_t size() const override { return size_; }
  void Write(std::uint32_t rva, ByteSink& sink) const override;

 private:
  const ResourceTree& tree_;
  std::uint64_t size_ = 0;
};

}  // namespace brisko::pack
