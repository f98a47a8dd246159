#include "pe/resource_tree.h"

#include <algorithm>
#include <vector>

#include "platform/unicode.h"

namespace brisko::pack {

namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::uint32_t kDirectoryHeader = 16;
constexpr std::uint32_t kEntrySize = 8;
constexpr std::uint32_t kDataEntrySize = 16;
constexpr std::uint64_t kLeafAlignment = 8;

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

DirectoryInfo ParseInfo(const std::string& header) {
  return {le::Get32(header, 0), le::Get32(header, 4), le::Get16(header, 8), le::Get16(header, 10)};
}

void AppendDirectoryHeader(std::string& out, const DirectoryInfo& info, std::uint16_t named, std::uint16_t ids) {
  le::Append32(out, info.characteristics);
  le::Append32(out, info.timeDateStamp);
  le::Append16(out, info.majorVersion);
  le::Append16(out, info.minorVersion);
  le::Append16(out, named);
  le::Append16(out, ids);
}

// Reads the directory tables of one resource section, every offset checked
// against the bytes that the section has in the file.
class DirectoryReader {
 public:
  DirectoryReader(const PeImage& image, InputFile& file) : image_(image), file_(file) {}

  bool Open() {
    const DataDirectory dir = image_.directory(kResourceDirectory);
    if (dir.rva == 0 || dir.size == 0) return false;
    const int i = image_.SectionOf(dir.rva);
    if (i < 0) throw Corrupt("the resource directory lies outside every section");
    const SectionHeader& s = image_.sections()[i];
    const std::uint32_t loaded = std::min(s.MappedSize(), s.sizeOfRawData);
    if (dir.rva - s.virtualAddress >= loaded) throw Corrupt("the resource directory is not in the file");
    base_ = std::uint64_t{s.pointerToRawData} + (dir.rva - s.virtualAddress);
    limit_ = loaded - (dir.rva - s.virtualAddress);
    return true;
  }

  std::string Read(std::uint32_t offset, std::uint32_t size) const {
    if (offset > limit_ || size > limit_ - offset)
      throw Corrupt("an entry points past the end of the resource section");
    return file_.ReadAt(base_ + offset, size);
  }

  PackError Corrupt(const std::string& what) const {
    return PackError(file_.name(), "corrupted resource directory: " + what);
  }

  // The entries of the directory table at `offset`, as (name, value) pairs.
  std::vector<std::pair<ResourceId, std::uint32_t>> Entries(std::uint32_t offset, DirectoryInfo& info) const {
    const std::string header = Read(offset, kDirectoryHeader);
    info = ParseInfo(header);
    const std::uint32_t count = std::uint32_t{le::Get16(header, 12)} + le::Get16(header, 14);
    const std::string table = Read(offset + kDirectoryHeader, count * kEntrySize);
    std::vector<std::pair<ResourceId, std::uint32_t>> entries;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t name = le::Get32(table, i * kEntrySize);
      const std::uint32_t value = le::Get32(table, i * kEntrySize + 4);
      entries.emplace_back(Id(name), value);
    }
    return entries;
  }

  ResourceId Id(std::uint32_t field) const {
    if (!(field & kHighBit)) {
      if (field > 0xFFFF) throw Corrupt("an entry's number is out of range");
      return ResourceId::Number(static_cast<std::uint16_t>(field));
    }
    const std::uint32_t at = field & ~kHighBit;
    const std::uint16_t length = le::Get16(Read(at, 2), 0);
    const std::string units = Read(at + 2, 2u * length);
    std::u16string name;
    for (std::uint16_t i = 0; i < length; ++i) name += static_cast<char16_t>(le::Get16(units, 2u * i));
    return ResourceId::Name(std::move(name));
  }

  std::uint32_t Subdirectory(std::uint32_t value) const {
    if (!(value & kHighBit)) throw Corrupt("a data entry stands where a directory belongs");
    return value & ~kHighBit;
  }

  ResourceLeaf Leaf(std::uint32_t value, const std::string& where) const {
    if (value & kHighBit) throw Corrupt("more than three levels of directories at " + where);
    const std::string entry = Read(value, kDataEntrySize);
    const std::uint32_t rva = le::Get32(entry, 0);
    const std::uint32_t size = le::Get32(entry, 4);
    // An empty resource has no bytes to find: the writer may place it at the
    // very end of the section, an address no section holds.
    const auto offset = size == 0 ? std::optional<std::uint64_t>(0) : image_.FileOffsetOf(rva, size);
    if (!offset) throw Corrupt("the data of " + where + " lies outside the file's section data");
    return {ResourceData::Range(file_, *offset, size), le::Get32(entry, 8)};
  }

 private:
  const PeImage& image_;
  InputFile& file_;
  std::uint64_t base_ = 0;
  std::uint32_t limit_ = 0;
};

// The directory part of a resource section (tables, data entries, strings)
// for a section at `rva`, and where each leaf's bytes go.
struct Layout {
  std::string directory;
  std::vector<std::pair<std::uint64_t, const ResourceLeaf*>> leaves;
  std::uint64_t size = 0;
};

// The name strings, each written once however often it is used, in the
// order first used; they follow the data entries, at `at`.
class NameStrings {
 public:
  explicit NameStrings(std::uint64_t at) : at_(at) {}

  // The name field of an entry for `id`: its number, or its string's offset
  // with the high bit set.
  std::uint32_t Field(const ResourceId& id) {
    if (!id.isName()) return id.number();
    auto [it, added] = offsets_.emplace(id.name(), static_cast<std::uint32_t>(at_ + bytes_.size()));
    if (added) {
      le::Append16(bytes_, static_cast<std::uint16_t>(id.name().size()));
      for (char16_t c : id.name()) le::Append16(bytes_, c);
    }
    return it->second | kHighBit;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::uint64_t at_;
  std::map<std::u16string, std::uint32_t> offsets_;
  std::string bytes_;
};

// A table's header, counting its named and numbered entries. The maps
// iterate in directory order, so named entries come first.
template <typename Children>
void AppendTableHeader(std::string& out, const DirectoryInfo& info, const Children& children) {
  std::uint16_t named = 0, ids = 0;
  for (const auto& [id, child] : children) ++(id.isName() ? named : ids);
  AppendDirectoryHeader(out, info, named, ids);
}

std::uint64_t TableSize(std::size_t entries) { return kDirectoryHeader + kEntrySize * entries; }

// The directory tables: root, then one per type, then one per name. Breadth
// first, so every child's offset is known when its parent is written; the
// language tables point at the data entries, which follow at `dataEntriesAt`.
void AppendTables(std::string& out, const ResourceTree& tree, std::uint64_t dataEntriesAt, NameStrings& names) {
  const auto& types = tree.types();
  std::uint64_t nextTable = TableSize(types.size());
  AppendTableHeader(out, tree.info(), types);
  for (const auto& [type, node] : types) {
    le::Append32(out, names.Field(type));
    le::Append32(out, static_cast<std::uint32_t>(nextTable) | kHighBit);
    nextTable += TableSize(node.names.size());
  }
  for (const auto& [type, node] : types) {
    AppendTableHeader(out, node.info, node.names);
    for (const auto& [name, leaves] : node.names) {
      le::Append32(out, names.Field(name));
      le::Append32(out, static_cast<std::uint32_t>(nextTable) | kHighBit);
      nextTable += TableSize(leaves.languages.size());
    }
  }
  std::uint64_t nextDataEntry = dataEntriesAt;
  for (const auto& [type, node] : types) {
    for (const auto& [name, leaves] : node.names) {
      AppendTableHeader(out, leaves.info, leaves.languages);
      for (const auto& [language, leaf] : leaves.languages) {
        le::Append32(out, names.Field(language));
        le::Append32(out, static_cast<std::uint32_t>(nextDataEntry));
        nextDataEntry += kDataEntrySize;
      }
    }
  }
}

// The data entries, which hold the leaves' RVAs, not section offsets; the
// leaves' bytes start at `dataAt`, each aligned.
void AppendDataEntries(Layout& layout, const ResourceTree& tree, std::uint32_t rva, std::uint64_t dataAt) {
  for (const auto& [type, node] : tree.types()) {
    for (const auto& [name, leaves] : node.names) {
      for (const auto& [language, leaf] : leaves.languages) {
        le::Append32(layout.directory, static_cast<std::uint32_t>(rva + dataAt));
        le::Append32(layout.directory, leaf.data.size());
        le::Append32(layout.directory, leaf.codePage);
        le::Append32(layout.directory, 0);
        layout.leaves.emplace_back(dataAt, &leaf);
        layout.size = dataAt + leaf.data.size();
        dataAt = AlignUp(layout.size, kLeafAlignment);
      }
    }
  }
}

Layout LayOut(const ResourceTree& tree, std::uint32_t rva) {
  const auto& types = tree.types();
  std::size_t nameCount = 0, leafCount = 0;
  for (const auto& [type, node] : types) {
    nameCount += node.names.size();
    for (const auto& [name, leaves] : node.names) leafCount += leaves.languages.size();
  }
  const std::uint64_t dataEntriesAt =
      kDirectoryHeader * (1 + types.size() + nameCount) + kEntrySize * (types.size() + nameCount + leafCount);
  const std::uint64_t stringsAt = dataEntriesAt + kDataEntrySize * leafCount;

  Layout layout;
  NameStrings names(stringsAt);
  AppendTables(layout.directory, tree, dataEntriesAt, names);
  AppendDataEntries(layout, tree, rva, AlignUp(stringsAt + names.bytes().size(), kLeafAlignment));
  layout.directory += names.bytes();
  if (layout.leaves.empty()) layout.size = layout.directory.size();
  return layout;
}

}  // namespace

ResourceId ResourceId::Number(std::uint16_t id) {
  ResourceId r;
  r.number_ = id;
  return r;
}

ResourceId ResourceId::Name(std::u16string name) {
  ResourceId r;
  r.isName_ = true;
  r.name_ = std::move(name);
  return r;
}

ResourceId ResourceId::Ascii(std::string_view name) {
  std::u16string units;
  for (char c : name) units += AsciiUpper(static_cast<unsigned char>(c));
  return Name(std::move(units));
}

std::string ResourceId::ToString() const { return isName_ ? Utf16ToUtf8(name_) : "#" + std::to_string(number_); }

bool ResourceId::NameEquals(std::string_view ascii) const {
  if (!isName_ || name_.size() != ascii.size()) return false;
  for (std::size_t i = 0; i < ascii.size(); ++i)
    if (AsciiUpper(name_[i]) != AsciiUpper(static_cast<unsigned char>(ascii[i]))) return false;
  return true;
}

bool operator<(const ResourceId& a, const ResourceId& b) {
  if (a.isName_ != b.isName_) return a.isName_;
  if (a.isName_) return a.name_ < b.name_;
  return a.number_ < b.number_;
}

ResourceData ResourceData::Bytes(std::string bytes) {
  ResourceData d;
  d.size_ = static_cast<std::uint32_t>(bytes.size());
  d.bytes_ = std::make_shared<const std::string>(std::move(bytes));
  return d;
}

ResourceData ResourceData::Range(InputFile& file, std::uint64_t offset, std::uint32_t size) {
  ResourceData d;
  d.kind_ = Kind::Range;
  d.file_ = &file;
  d.offset_ = offset;
  d.size_ = size;
  return d;
}

ResourceData ResourceData::File(fs::path path, std::uint32_t size) {
  ResourceData d;
  d.kind_ = Kind::File;
  d.path_ = std::move(path);
  d.size_ = size;
  return d;
}

void ResourceData::WriteTo(ByteSink& sink) const {
  switch (kind_) {
    case Kind::Bytes: sink.Write(bytes_->data(), bytes_->size()); return;
    case Kind::Range: sink.Append(*file_, offset_, size_); return;
    case Kind::File: {
      InputFile file(path_);
      if (file.size() != size_) throw PackError(file.name(), "changed while the installer was being written");
      sink.Append(file, 0, size_);
      return;
    }
  }
}

std::string ResourceData::Read() const {
  StringSink sink;
  sink.bytes.reserve(size_);
  WriteTo(sink);
  return std::move(sink.bytes);
}

std::string ResourceData::ReadPart(std::uint64_t offset, std::size_t size) const {
  if (offset >= size_) return {};
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset));
  switch (kind_) {
    case Kind::Bytes: return bytes_->substr(static_cast<std::size_t>(offset), n);
    case Kind::Range: return file_->ReadAt(offset_ + offset, n);
    case Kind::File: return InputFile(path_).ReadAt(offset, n);
  }
  return {};
}

ResourceTree ResourceTree::Parse(const PeImage& image, InputFile& file) {
  ResourceTree tree;
  DirectoryReader reader(image, file);
  if (!reader.Open()) return tree;
  for (const auto& [type, typeValue] : reader.Entries(0, tree.info_)) {
    TypeNode& typeNode = tree.types_[type];
    for (const auto& [name, nameValue] : reader.Entries(reader.Subdirectory(typeValue), typeNode.info)) {
      if (typeNode.names.count(name))
        throw reader.Corrupt("duplicate entry " + type.ToString() + "/" + name.ToString());
      NameNode& nameNode = typeNode.names[name];
      for (const auto& [language, leafValue] : reader.Entries(reader.Subdirectory(nameValue), nameNode.info)) {
        const std::string where = type.ToString() + "/" + name.ToString() + "/" + language.ToString();
        if (nameNode.languages.count(language)) throw reader.Corrupt("duplicate entry " + where);
        nameNode.languages.emplace(language, reader.Leaf(leafValue, where));
      }
    }
  }
  return tree;
}

void ResourceTree::Put(const ResourceId& type, const ResourceId& name, const ResourceId& language, ResourceData data) {
  types_[type].names[name].languages.insert_or_assign(language, ResourceLeaf{std::move(data), 0});
}

std::size_t ResourceTree::RemoveIf(const std::function<bool(const ResourceId&, const ResourceId&)>& match) {
  std::size_t removed = 0;
  for (auto type = types_.begin(); type != types_.end();) {
    auto& names = type->second.names;
    for (auto name = names.begin(); name != names.end();) {
      if (match(type->first, name->first)) {
        removed += name->second.languages.size();
        name = names.erase(name);
      } else {
        ++name;
      }
    }
    type = names.empty() ? types_.erase(type) : std::next(type);
  }
  return removed;
}

const ResourceLeaf* ResourceTree::Find(std::string_view type, std::string_view name) const {
  for (const auto& [typeId, typeNode] : types_) {
    if (!typeId.NameEquals(type)) continue;
    for (const auto& [nameId, nameNode] : typeNode.names)
      if (nameId.NameEquals(name) && !nameNode.languages.empty()) return &nameNode.languages.begin()->second;
  }
  return nullptr;
}

const ResourceLeaf* ResourceTree::Find(const ResourceId& type, const ResourceId& name) const {
  const auto typeNode = types_.find(type);
  if (typeNode == types_.end()) return nullptr;
  const auto nameNode = typeNode->second.names.find(name);
  if (nameNode == typeNode->second.names.end() || nameNode->second.languages.empty()) return nullptr;
  return &nameNode->second.languages.begin()->second;
}

std::size_t ResourceTree::leafCount() const {
  std::size_t n = 0;
  for (const auto& [type, node] : types_)
    for (const auto& [name, names] : node.names) n += names.languages.size();
  return n;
}

ResourceSection::ResourceSection(const ResourceTree& tree) : tree_(tree), size_(LayOut(tree, 0).size) {}

void ResourceSection::Write(std::uint32_t rva, ByteSink& sink) const {
  const Layout layout = LayOut(tree_, rva);
  sink.Write(layout.directory.data(), layout.directory.size());
  std::uint64_t at = layout.directory.size();
  for (const auto& [offset, leaf] : layout.leaves) {
    sink.WriteZeros(offset - at);
    leaf->data.WriteTo(sink);
    at = offset + leaf->data.size();
  }
}

}  // namespace brisko::pack
