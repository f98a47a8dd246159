// A portable reader and writer for PE32 and PE32+ images, as far as the
// packer needs one: the headers and section table are read and checked, the
// sections' bytes stay in the file, and a rewritten image gets one new (or
// replaced) resource section while every other byte is copied unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/format/byte_order.h"
#include "platform/file_io.h"

namespace brisko::pack {

// `value` rounded up to a multiple of `alignment`.
inline std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

struct SectionHeader {
  char name[8] = {};
  std::uint32_t virtualSize = 0;
  std::uint32_t virtualAddress = 0;
  std::uint32_t sizeOfRawData = 0;
  std::uint32_t pointerToRawData = 0;
  std::uint32_t characteristics = 0;

  std::string Name() const;
  // Bytes the loader maps for the section: its virtual size, or its raw size
  // when the virtual size is 0.
  std::uint32_t MappedSize() const { return virtualSize != 0 ? virtualSize : sizeOfRawData; }
};

struct DataDirectory {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};

constexpr int kResourceDirectory = 2;
constexpr int kCertificateDirectory = 4;
constexpr std::uint32_t kScnInitializedData = 0x00000040;
constexpr std::uint32_t kScnMemRead = 0x40000000;

class PeImage {
 public:
  // Reads the headers of `file` and checks them against the file's size.
  // Throws PackError naming the file and what is wrong with it.
  static PeImage Read(InputFile& file);

  bool is64() const { return is64_; }
  std::uint16_t machine() const { return machine_; }
  std::uint32_t sectionAlignment() const { return sectionAlignment_; }
  std::uint32_t fileAlignment() const { return fileAlignment_; }
  std::uint32_t sizeOfHeaders() const { return static_cast<std::uint32_t>(headers_.size()); }
  std::uint32_t sizeOfImage() const { return sizeOfImage_; }
  std::uint64_t fileSize() const { return fileSize_; }
  const std::vector<SectionHeader>& sections() const { return sections_; }
  const std::string& headerBytes() const { return headers_; }

  // A zero directory when the image has fewer directories than `index` + 1.
  DataDirectory directory(int index) const;
  std::uint32_t numberOfDirectories() const { return numberOfDirectories_; }

  // The file offset of `size` bytes at `rva` when they lie within the part
  // of one section that is loaded from the file.
  std::optional<std::uint64_t> FileOffsetOf(std::uint32_t rva, std::uint32_t size) const;

  // Index of the section holding `rva`, or -1.
  int SectionOf(std::uint32_t rva) const;

  // End of the last section's bytes in the file (at least the headers' end).
  std::uint64_t endOfSectionData() const { return endOfSectionData_; }
  // The COFF symbol and string table that linkers append after the
  // sections; size 0 when there is none.
  std::uint64_t symbolTableOffset() const { return symbolTableOffset_; }
  std::uint64_t symbolTableSize() const { return symbolTableSize_; }
  // Bytes after the sections and the symbol table that belong to no section.
  std::uint64_t overlaySize() const { return fileSize_ - trailingEnd(); }

  // Header field offsets, for the writer and for tests.
  std::uint32_t coffHeaderOffset() const { return peOffset_ + 4; }
  std::uint32_t optionalHeaderOffset() const { return peOffset_ + 24; }
  std::uint32_t checksumOffset() const { return optionalHeaderOffset() + 64; }
  std::uint32_t sectionTableOffset() const { return sectionTableOffset_; }
  std::uint32_t directoryOffset(int index) const { return directoriesOffset_ + 8u * index; }

 private:
  // The steps of Read, in file order; each checks what it reads.
  struct CoffHeader;
  CoffHeader ReadCoffHeader(InputFile& file);
  std::uint32_t ReadOptionalHeader(InputFile& file, std::uint16_t sizeOfOptionalHeader);  // gives SizeOfHeaders
  void ReadSectionTable(InputFile& file, std::uint16_t numberOfSections, std::uint32_t sizeOfHeaders);
  void ReadSymbolTable(InputFile& file, std::uint32_t pointerToSymbolTable, std::uint32_t numberOfSymbols);
  PackError Corrupt(const std::string& what) const { return PackError(name_, what); }

  std::uint64_t trailingEnd() const {
    return symbolTableSize_ != 0 ? symbolTableOffset_ + symbolTableSize_ : endOfSectionData_;
  }

  // The file and its COFF file header.
  std::string name_;
  std::uint64_t fileSize_ = 0;
  std::uint32_t peOffset_ = 0;
  std::uint16_t machine_ = 0;
  bool is64_ = false;
  // The headers' bytes and the optional header's values.
  std::string headers_;
  std::uint32_t numberOfDirectories_ = 0;
  std::uint32_t directoriesOffset_ = 0;
  std::uint32_t sectionAlignment_ = 0;
  std::uint32_t fileAlignment_ = 0;
  std::uint32_t sizeOfImage_ = 0;
  // The sections, and what follows them in the file.
  std::vector<SectionHeader> sections_;
  std::uint32_t sectionTableOffset_ = 0;
  std::uint64_t endOfSectionData_ = 0;
  std::uint64_t symbolTableOffset_ = 0;
  std::uint64_t symbolTableSize_ = 0;
};

// The contents of a section whose size is known before its address.
class SectionContent {
 public:
  virtual ~SectionContent() = default;
  virtual std::uint64_t size() const = 0;
  virtual void Write(std::uint32_t rva, ByteSink& sink) const = 0;
};

// Where the new resource section goes.
struct ResourceSectionPlan {
  // The old resource section is the image's last section and is replaced in
  // place; otherwise a section is appended and the old one left unread.
  bool replacesLast = false;
  // Index of an old section named ".rsrc" that is left behind and renamed, or -1.
  int renamedSection = -1;
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawSize = 0;
  std::uint64_t fileOffset = 0;
  // Input bytes [0, keptEnd) are copied (the headers rewritten).
  std::uint64_t keptEnd = 0;
  std::uint32_t sizeOfImage = 0;
};

// The name a resource section left behind takes, so that tools that look for
// resources by section name read the live one.
constexpr char kStaleResourceSectionName[] = ".rsrcold";

// From this size on, the new resource section starts on a page of the file
// (see PlanResourceSection).
constexpr std::uint64_t kMappedSectionFrom = 64 * 1024;

// A 32-bit installer maps its whole image into a 2 GiB address space that the
// system's DLLs, stack and heaps share; images above this are refused.
constexpr std::uint64_t kMaxImageSize = 0x60000000;

// Decides where a resource section of `contentSize` bytes goes. Throws
// PackError (naming `outputName`) when the image cannot take it.
ResourceSectionPlan PlanResourceSection(const PeImage& image, std::uint64_t contentSize, const std::string& stubName,
                                        const std::string& outputName, std::uint64_t maxImageSize = kMaxImageSize);

// Writes `image` read from `in` to `out` with `content` as its resource
// section placed by `plan`, updating the section count, SizeOfImage,
// SizeOfInitializedData, the resource directory and the checksum. A COFF
// symbol table moves behind the new section.
void WriteImage(const PeImage& image, InputFile& in, const ResourceSectionPlan& plan, const SectionContent& content,
                OutputFile& out);

}  // namespace brisko::pack
