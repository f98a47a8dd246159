#include "pe/pe_image.h"

#include <algorithm>
#include <cstring>

#include "pe/pe_checksum.h"

namespace brisko::pack {

namespace {

constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint16_t kFileExecutable = 0x0002;
constexpr std::uint16_t kFileDll = 0x2000;
constexpr std::uint32_t kSectionHeaderSize = 40;
constexpr std::uint32_t kSymbolSize = 18;
constexpr std::uint32_t kPageSize = 0x1000;
// Offsets and sizes in the headers are 32-bit fields: the file's sections
// end at this offset at the latest, and SizeOfInitializedData stops here.
constexpr std::uint64_t kMaxField32 = 0xFFFFFFFF;

// The MS-DOS header: its last field points at the PE signature, which the
// COFF file header follows.
constexpr std::uint32_t kDosHeaderSize = 64;
constexpr std::uint32_t kDosPeOffset = 0x3C;
constexpr std::uint32_t kPeSignatureSize = 4;

// Offsets inside the COFF file header.
constexpr std::uint32_t kCoffMachine = 0;
constexpr std::uint32_t kCoffNumberOfSections = 2;
constexpr std::uint32_t kCoffPointerToSymbolTable = 8;
constexpr std::uint32_t kCoffNumberOfSymbols = 12;
constexpr std::uint32_t kCoffSizeOfOptionalHeader = 16;
constexpr std::uint32_t kCoffCharacteristics = 18;
constexpr std::uint32_t kCoffHeaderSize = 20;

// Offsets inside a section header.
constexpr std::uint32_t kSectionVirtualSize = 8;
constexpr std::uint32_t kSectionVirtualAddress = 12;
constexpr std::uint32_t kSectionSizeOfRawData = 16;
constexpr std::uint32_t kSectionPointerToRawData = 20;
constexpr std::uint32_t kSectionRelocationsAndLineNumbers = 24;  // 12 bytes
constexpr std::uint32_t kSectionCharacteristics = 36;

// Offsets inside the optional header that PE32 and PE32+ share.
constexpr std::uint32_t kOptMagic = 0;
constexpr std::uint32_t kOptSizeOfInitializedData = 8;
constexpr std::uint32_t kOptSectionAlignment = 32;
constexpr std::uint32_t kOptFileAlignment = 36;
constexpr std::uint32_t kOptSizeOfImage = 56;
constexpr std::uint32_t kOptSizeOfHeaders = 60;
// Where the data directories start: PE32+ widens the image base and the
// stack and heap sizes to 8 bytes and drops BaseOfData. The directories'
// count, NumberOfRvaAndSizes, is the field just before them.
constexpr std::uint32_t kOpt32DataDirectories = 96;
constexpr std::uint32_t kOpt64DataDirectories = 112;
constexpr std::uint32_t kOptNumberOfRvaAndSizesBefore = 4;
constexpr std::uint32_t kDataDirectorySize = 8;

bool IsPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

std::string Hex(std::uint64_t v) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  do {
    s.insert(s.begin(), kDigits[v & 15]);
    v >>= 4;
  } while (v != 0);
  return "0x" + s;
}

SectionHeader ParseSection(const std::string& b, std::size_t at) {
  SectionHeader s;
  std::memcpy(s.name, b.data() + at, 8);
  s.virtualSize = le::Get32(b, at + kSectionVirtualSize);
  s.virtualAddress = le::Get32(b, at + kSectionVirtualAddress);
  s.sizeOfRawData = le::Get32(b, at + kSectionSizeOfRawData);
  s.pointerToRawData = le::Get32(b, at + kSectionPointerToRawData);
  s.characteristics = le::Get32(b, at + kSectionCharacteristics);
  return s;
}

void PutSection(std::string& b, std::size_t at, const SectionHeader& s) {
  std::memcpy(&b[at], s.name, 8);
  le::Put32(b, at + kSectionVirtualSize, s.virtualSize);
  le::Put32(b, at + kSectionVirtualAddress, s.virtualAddress);
  le::Put32(b, at + kSectionSizeOfRawData, s.sizeOfRawData);
  le::Put32(b, at + kSectionPointerToRawData, s.pointerToRawData);
  std::memset(&b[at + kSectionRelocationsAndLineNumbers], 0, 12);  // relocations and line numbers: none in an image
  le::Put32(b, at + kSectionCharacteristics, s.characteristics);
}

void SetName(SectionHeader& s, const char* name) {
  std::memset(s.name, 0, sizeof s.name);
  std::memcpy(s.name, name, std::min(std::strlen(name), sizeof s.name));
}

// Feeds every byte written to the output into the checksum as well. Ranges
// of input files are summed from the input as they are copied.
class ChecksumSink final : public ByteSink {
 public:
  explicit ChecksumSink(OutputFile& out) : out_(out) {}
  void Write(const void* data, std::size_t size) override {
    checksum_.Add(data, size);
    out_.Write(data, size);
    written_ += size;
  }
  void Append(InputFile& in, std::uint64_t offset, std::uint64_t size) override {
    out_.AppendSummed(in, offset, size, checksum_);
    written_ += size;
  }
  std::uint64_t written() const { return written_; }
  std::uint32_t Finish() const { return checksum_.Finish(); }

 private:
  OutputFile& out_;
  PeChecksum checksum_;
  std::uint64_t written_ = 0;
};

}  // namespace

std::string SectionHeader::Name() const { return std::string(name, strnlen(name, sizeof name)); }

struct PeImage::CoffHeader {
  std::uint16_t numberOfSections = 0;
  std::uint32_t pointerToSymbolTable = 0;
  std::uint32_t numberOfSymbols = 0;
  std::uint16_t sizeOfOptionalHeader = 0;
};

PeImage PeImage::Read(InputFile& file) {
  PeImage image;
  image.name_ = file.name();
  image.fileSize_ = file.size();
  const CoffHeader coff = image.ReadCoffHeader(file);
  const std::uint32_t sizeOfHeaders = image.ReadOptionalHeader(file, coff.sizeOfOptionalHeader);
  image.ReadSectionTable(file, coff.numberOfSections, sizeOfHeaders);
  if (coff.pointerToSymbolTable != 0) image.ReadSymbolTable(file, coff.pointerToSymbolTable, coff.numberOfSymbols);
  return image;
}

// The MS-DOS header's pointer to the PE signature, and the COFF file header
// after it.
PeImage::CoffHeader PeImage::ReadCoffHeader(InputFile& file) {
  if (file.size() < kDosHeaderSize) throw Corrupt("not a Windows program: too short for an MZ header");
  const std::string dos = file.ReadAt(0, kDosHeaderSize);
  if (dos[0] != 'M' || dos[1] != 'Z') throw Corrupt("not a Windows program: no MZ signature");
  peOffset_ = le::Get32(dos, kDosPeOffset);
  if (peOffset_ < 4 || std::uint64_t{peOffset_} + kPeSignatureSize + kCoffHeaderSize > file.size())
    throw Corrupt("not a PE image: the PE header offset points outside the file");
  const std::string signature = file.ReadAt(peOffset_, kPeSignatureSize);
  if (signature != std::string("PE\0\0", 4)) throw Corrupt("not a PE image: no PE signature");
  const std::string bytes = file.ReadAt(coffHeaderOffset(), kCoffHeaderSize);
  machine_ = le::Get16(bytes, kCoffMachine);
  CoffHeader coff;
  coff.numberOfSections = le::Get16(bytes, kCoffNumberOfSections);
  coff.pointerToSymbolTable = le::Get32(bytes, kCoffPointerToSymbolTable);
  coff.numberOfSymbols = le::Get32(bytes, kCoffNumberOfSymbols);
  coff.sizeOfOptionalHeader = le::Get16(bytes, kCoffSizeOfOptionalHeader);
  const std::uint16_t characteristics = le::Get16(bytes, kCoffCharacteristics);
  if (!(characteristics & kFileExecutable)) throw Corrupt("not an executable image (object file?)");
  if (characteristics & kFileDll) throw Corrupt("is a DLL, not a program");
  if (coff.numberOfSections == 0) throw Corrupt("corrupted PE image: no sections");
  return coff;
}

// The optional header: PE32 or PE32+, the data directories, the alignments
// and sizes.
std::uint32_t PeImage::ReadOptionalHeader(InputFile& file, std::uint16_t sizeOfOptionalHeader) {
  const std::uint32_t opt = optionalHeaderOffset();
  if (sizeOfOptionalHeader < 2 || std::uint64_t{opt} + sizeOfOptionalHeader > file.size())
    throw Corrupt("truncated PE image: the optional header runs past the end of the file");
  const std::string optional = file.ReadAt(opt, sizeOfOptionalHeader);
  const std::uint16_t magic = le::Get16(optional, kOptMagic);
  if (magic != kMagicPe32 && magic != kMagicPe32Plus)
    throw Corrupt("not a PE image: unknown optional header magic " + Hex(magic));
  is64_ = magic == kMagicPe32Plus;
  const std::uint32_t directoriesAt = is64_ ? kOpt64DataDirectories : kOpt32DataDirectories;
  if (sizeOfOptionalHeader < directoriesAt) throw Corrupt("corrupted PE image: optional header too small");
  numberOfDirectories_ = le::Get32(optional, directoriesAt - kOptNumberOfRvaAndSizesBefore);
  if (std::uint64_t{numberOfDirectories_} * kDataDirectorySize > sizeOfOptionalHeader - directoriesAt)
    throw Corrupt("corrupted PE image: more data directories than the optional header holds");
  directoriesOffset_ = opt + directoriesAt;
  sectionAlignment_ = le::Get32(optional, kOptSectionAlignment);
  fileAlignment_ = le::Get32(optional, kOptFileAlignment);
  sizeOfImage_ = le::Get32(optional, kOptSizeOfImage);
  if (!IsPowerOfTwo(fileAlignment_) || fileAlignment_ < 512 || fileAlignment_ > 0x10000)
    throw Corrupt("corrupted PE image: FileAlignment " + Hex(fileAlignment_) + " is invalid");
  if (!IsPowerOfTwo(sectionAlignment_) || sectionAlignment_ < fileAlignment_)
    throw Corrupt("corrupted PE image: SectionAlignment " + Hex(sectionAlignment_) + " is invalid");
  sectionTableOffset_ = opt + sizeOfOptionalHeader;
  return le::Get32(optional, kOptSizeOfHeaders);
}

// The section table, which the headers' bytes hold, and each section's
// place in the file and in memory.
void PeImage::ReadSectionTable(InputFile& file, std::uint16_t numberOfSections, std::uint32_t sizeOfHeaders) {
  const std::uint64_t tableEnd =
      std::uint64_t{sectionTableOffset_} + std::uint64_t{numberOfSections} * kSectionHeaderSize;
  if (tableEnd > sizeOfHeaders) throw Corrupt("corrupted PE image: the section table runs past SizeOfHeaders");
  if (sizeOfHeaders > file.size()) throw Corrupt("truncated PE image: the file ends inside its headers");
  headers_ = file.ReadAt(0, sizeOfHeaders);

  endOfSectionData_ = sizeOfHeaders;
  std::uint64_t nextVirtual = 0;
  for (std::uint16_t i = 0; i < numberOfSections; ++i) {
    const SectionHeader s = ParseSection(headers_, sectionTableOffset_ + i * kSectionHeaderSize);
    const std::string label = "section " + std::to_string(i) + " (" + s.Name() + ")";
    if (s.sizeOfRawData != 0) {
      const std::uint64_t end = std::uint64_t{s.pointerToRawData} + s.sizeOfRawData;
      if (end > file.size())
        throw Corrupt("truncated PE image: " + label + " runs past the end of the file (" + Hex(end) + " > " +
                      Hex(file.size()) + ")");
      if (s.pointerToRawData < sizeOfHeaders) throw Corrupt("corrupted PE image: " + label + " overlaps the headers");
      endOfSectionData_ = std::max(endOfSectionData_, end);
    }
    if (s.virtualAddress < nextVirtual || s.virtualAddress % sectionAlignment_ != 0)
      throw Corrupt("corrupted PE image: " + label + " is out of order, overlaps or is misaligned");
    nextVirtual = AlignUp(std::uint64_t{s.virtualAddress} + s.MappedSize(), sectionAlignment_);
    sections_.push_back(s);
  }
  if (nextVirtual > sizeOfImage_) throw Corrupt("corrupted PE image: sections extend past SizeOfImage");
}

// The COFF symbol table and the string table after it, which unstripped
// MinGW programs carry behind their sections.
void PeImage::ReadSymbolTable(InputFile& file, std::uint32_t pointerToSymbolTable, std::uint32_t numberOfSymbols) {
  const std::uint64_t symbols = pointerToSymbolTable;
  const std::uint64_t strings = symbols + std::uint64_t{numberOfSymbols} * kSymbolSize;
  if (symbols < endOfSectionData_) throw Corrupt("corrupted PE image: the COFF symbol table lies inside the sections");
  if (strings + 4 > file.size()) throw Corrupt("truncated PE image: the COFF symbol table runs past the end");
  const std::uint32_t stringTableSize = std::max<std::uint32_t>(4, le::Get32(file.ReadAt(strings, 4), 0));
  if (strings + stringTableSize > file.size())
    throw Corrupt("truncated PE image: the COFF string table runs past the end");
  // Only a table that directly follows the sections can be moved behind a
  // new one; bytes in between would be overlay.
  if (symbols == endOfSectionData_) {
    symbolTableOffset_ = symbols;
    symbolTableSize_ = strings + stringTableSize - symbols;
  }
}

DataDirectory PeImage::directory(int index) const {
  if (index < 0 || static_cast<std::uint32_t>(index) >= numberOfDirectories_) return {};
  return {le::Get32(headers_, directoryOffset(index)), le::Get32(headers_, directoryOffset(index) + 4)};
}

int PeImage::SectionOf(std::uint32_t rva) const {
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const SectionHeader& s = sections_[i];
    if (rva >= s.virtualAddress && rva - s.virtualAddress < s.MappedSize()) return static_cast<int>(i);
  }
  return -1;
}

std::optional<std::uint64_t> PeImage::FileOffsetOf(std::uint32_t rva, std::uint32_t size) const {
  const int i = SectionOf(rva);
  if (i < 0) return std::nullopt;
  const SectionHeader& s = sections_[i];
  const std::uint32_t loaded = std::min(s.MappedSize(), s.sizeOfRawData);
  const std::uint64_t offset = rva - s.virtualAddress;
  if (offset + size > loaded) return std::nullopt;
  return std::uint64_t{s.pointerToRawData} + offset;
}

namespace {

// Refuses a stub whose rewriting would lose or break something.
void CheckRewritable(const PeImage& image, const std::string& stubName) {
  auto refuse = [&](const std::string& what) { return PackError(stubName, what); };
  if (image.directory(kCertificateDirectory).size != 0 || image.directory(kCertificateDirectory).rva != 0)
    throw refuse(
        "carries an Authenticode signature (certificate table); packing would break it: "
        "pack the unsigned stub and sign the result");
  if (image.overlaySize() != 0)
    throw refuse("carries " + std::to_string(image.overlaySize()) +
                 " bytes of overlay data after its last section; packing would lose them: "
                 "use a stub without appended data");
  if (image.numberOfDirectories() <= kResourceDirectory)
    throw refuse("has no resource directory entry in its optional header");
  if (image.sectionAlignment() < kPageSize)
    throw refuse("uses a section alignment below the page size, which this packer does not rewrite");
}

// The index of the section that holds the resource directory, or -1.
int ResourceSectionOf(const PeImage& image) {
  const DataDirectory resources = image.directory(kResourceDirectory);
  return resources.size != 0 ? image.SectionOf(resources.rva) : -1;
}

// True when the resource section can be replaced in place: it is the last
// section and starts with the directory, nothing else lives in it, and its
// bytes end the section data. Repacking then never grows the file.
bool CanReplaceLastInPlace(const PeImage& image) {
  const auto& sections = image.sections();
  const int last = static_cast<int>(sections.size()) - 1;
  const SectionHeader& s = sections[last];
  if (ResourceSectionOf(image) != last || image.directory(kResourceDirectory).rva != s.virtualAddress) return false;
  for (int d = 0; d < static_cast<int>(image.numberOfDirectories()); ++d)
    if (d != kResourceDirectory && d != kCertificateDirectory && image.directory(d).size != 0 &&
        image.SectionOf(image.directory(d).rva) == last)
      return false;
  return s.sizeOfRawData == 0 || std::uint64_t{s.pointerToRawData} + s.sizeOfRawData == image.endOfSectionData();
}

std::uint64_t SectionTableEnd(const PeImage& image) {
  return image.sectionTableOffset() + image.sections().size() * kSectionHeaderSize;
}

// True when one more section header fits between the section table and the
// first section's bytes, over bytes that are all zero.
bool HasRoomForSectionHeader(const PeImage& image) {
  const std::uint64_t tableEnd = SectionTableEnd(image);
  std::uint64_t firstData = image.sizeOfHeaders();
  for (const SectionHeader& s : image.sections())
    if (s.sizeOfRawData != 0) firstData = std::min<std::uint64_t>(firstData, s.pointerToRawData);
  if (tableEnd + kSectionHeaderSize > firstData) return false;
  const std::string& headers = image.headerBytes();
  return std::all_of(headers.begin() + static_cast<std::ptrdiff_t>(tableEnd),
                     headers.begin() + static_cast<std::ptrdiff_t>(tableEnd + kSectionHeaderSize),
                     [](char c) { return c == 0; });
}

}  // namespace

ResourceSectionPlan PlanResourceSection(const PeImage& image, std::uint64_t contentSize, const std::string& stubName,
                                        const std::string& outputName, std::uint64_t maxImageSize) {
  CheckRewritable(image, stubName);
  const auto& sections = image.sections();
  const std::size_t last = sections.size() - 1;
  ResourceSectionPlan plan;
  plan.replacesLast = CanReplaceLastInPlace(image);

  // What stays: every section but a replaced one, in the file and in memory.
  std::uint64_t keptEnd = image.sizeOfHeaders();
  std::uint64_t virtualEnd = 0;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (plan.replacesLast && i == last) continue;
    const SectionHeader& s = sections[i];
    if (s.sizeOfRawData != 0) keptEnd = std::max(keptEnd, std::uint64_t{s.pointerToRawData} + s.sizeOfRawData);
    virtualEnd = std::max(virtualEnd, std::uint64_t{s.virtualAddress} + s.MappedSize());
  }
  if (plan.replacesLast) {
    plan.virtualAddress = sections[last].virtualAddress;
  } else {
    plan.virtualAddress = static_cast<std::uint32_t>(AlignUp(virtualEnd, image.sectionAlignment()));
    const int old = ResourceSectionOf(image);
    if (old >= 0 && sections[old].Name() == ".rsrc") plan.renamedSection = old;
    if (!HasRoomForSectionHeader(image))
      throw PackError(stubName, "has no room for another section header (the section table ends at " +
                                    Hex(SectionTableEnd(image)) + ", SizeOfHeaders is " + Hex(image.sizeOfHeaders()) +
                                    ")");
  }
  plan.keptEnd = keptEnd;
  // A large section's bytes start on a page of the file, as its address
  // starts a page of memory, so that a loader can map the payload from the
  // file as it is needed instead of reading all of it when the installer
  // starts. A small one is read at once whatever its place, and a page of
  // padding would be most of what it adds to the installer.
  const std::uint64_t alignment = contentSize >= kMappedSectionFrom
                                      ? std::max<std::uint64_t>(image.fileAlignment(), kPageSize)
                                      : image.fileAlignment();
  plan.fileOffset = AlignUp(keptEnd, alignment);
  const std::uint64_t rawSize = AlignUp(contentSize, image.fileAlignment());
  const std::uint64_t imageSize = std::uint64_t{plan.virtualAddress} + AlignUp(contentSize, image.sectionAlignment());
  if (imageSize > maxImageSize || plan.fileOffset + rawSize + image.symbolTableSize() > kMaxField32)
    throw PackError(outputName, "the installer would need " + std::to_string(imageSize) +
                                    " bytes of address space, more than a 32-bit installer can map (at most " +
                                    std::to_string(maxImageSize) + "): make the payload smaller");
  plan.virtualSize = static_cast<std::uint32_t>(contentSize);
  plan.rawSize = static_cast<std::uint32_t>(rawSize);
  plan.sizeOfImage = static_cast<std::uint32_t>(imageSize);
  return plan;
}

void WriteImage(const PeImage& image, InputFile& in, const ResourceSectionPlan& plan, const SectionContent& content,
                OutputFile& out) {
  std::string headers = image.headerBytes();
  const std::uint32_t opt = image.optionalHeaderOffset();
  const auto& sections = image.sections();

  SectionHeader fresh;
  SetName(fresh, ".rsrc");
  fresh.virtualSize = plan.virtualSize;
  fresh.virtualAddress = plan.virtualAddress;
  fresh.sizeOfRawData = plan.rawSize;
  fresh.pointerToRawData = static_cast<std::uint32_t>(plan.fileOffset);
  fresh.characteristics = kScnInitializedData | kScnMemRead;

  std::uint64_t initialized = le::Get32(headers, opt + kOptSizeOfInitializedData);
  std::size_t slot = sections.size();
  if (plan.replacesLast) {
    slot = sections.size() - 1;
    if (sections[slot].characteristics & kScnInitializedData)
      initialized -= std::min<std::uint64_t>(initialized, sections[slot].sizeOfRawData);
  } else {
    le::Put16(headers, image.coffHeaderOffset() + kCoffNumberOfSections,
              static_cast<std::uint16_t>(sections.size() + 1));
  }
  initialized = std::min<std::uint64_t>(initialized + plan.rawSize, kMaxField32);
  PutSection(headers, image.sectionTableOffset() + slot * kSectionHeaderSize, fresh);
  if (plan.renamedSection >= 0) {
    const std::size_t at = image.sectionTableOffset() + plan.renamedSection * kSectionHeaderSize;
    std::memset(&headers[at], 0, 8);
    std::memcpy(&headers[at], kStaleResourceSectionName, std::strlen(kStaleResourceSectionName));
  }
  le::Put32(headers, opt + kOptSizeOfInitializedData, static_cast<std::uint32_t>(initialized));
  le::Put32(headers, opt + kOptSizeOfImage, plan.sizeOfImage);
  le::Put32(headers, image.checksumOffset(), 0);
  le::Put32(headers, image.directoryOffset(kResourceDirectory), plan.virtualAddress);
  le::Put32(headers, image.directoryOffset(kResourceDirectory) + 4, plan.virtualSize);
  const std::uint64_t symbolsAt = plan.fileOffset + plan.rawSize;
  if (image.symbolTableSize() != 0)
    le::Put32(headers, image.coffHeaderOffset() + kCoffPointerToSymbolTable, static_cast<std::uint32_t>(symbolsAt));

  ChecksumSink sink(out);
  sink.Write(headers.data(), headers.size());
  sink.Append(in, headers.size(), plan.keptEnd - headers.size());
  sink.WriteZeros(plan.fileOffset - plan.keptEnd);
  content.Write(plan.virtualAddress, sink);
  if (sink.written() != plan.fileOffset + content.size())
    throw PackError(out.name(), "internal error: the resource section came out at the wrong size");
  sink.WriteZeros(plan.rawSize - content.size());
  if (image.symbolTableSize() != 0) sink.Append(in, image.symbolTableOffset(), image.symbolTableSize());

  std::string checksum(4, '\0');
  le::Put32(checksum, 0, sink.Finish());
  out.WriteAt(image.checksumOffset(), checksum.data(), checksum.size());
}

}  // namespace brisko::pack
