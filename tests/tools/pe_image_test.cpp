#include "pe/pe_image.h"

#include <gtest/gtest.h>

#include <functional>

#include "pack_test_util.h"
#include "pe/resource_tree.h"

namespace brisko::pack {
namespace {

using test::ReadFile;
using test::SyntheticPe;
using test::TempDir;
using test::WriteFile;

constexpr std::size_t kCoff = 0x84;
constexpr std::size_t kOpt = 0x98;

std::size_t DirectoryAt(bool is64, int index) { return kOpt + (is64 ? 112 : 96) + 8 * index; }
std::size_t SectionAt(bool is64, int index) { return kOpt + (is64 ? 240 : 224) + 40 * index; }

// Packs `stub` with one TEXT/RESOURCE_SCRIPT resource holding `payload`,
// the way the package builder does, and returns the output's bytes.
std::string Pack(const TempDir& dir, const std::string& stub, const std::string& payload,
                 ResourceSectionPlan* planOut = nullptr, std::uint64_t maxImage = kMaxImageSize) {
  WriteFile(dir / "stub.exe", stub);
  InputFile in(dir / "stub.exe");
  const PeImage image = PeImage::Read(in);
  ResourceTree tree = ResourceTree::Parse(image, in);
  tree.Put(ResourceId::Ascii("TEXT"), ResourceId::Ascii("RESOURCE_SCRIPT"), ResourceId::Number(0),
           ResourceData::Bytes(payload));
  const ResourceSection section(tree);
  const ResourceSectionPlan plan = PlanResourceSection(image, section.size(), in.name(), "out.exe", maxImage);
  if (planOut) *planOut = plan;
  {
    OutputFile out(dir / "out.exe");
    WriteImage(image, in, plan, section, out);
    out.Commit();
  }
  return ReadFile(dir / "out.exe");
}

class PeWriter : public ::testing::TestWithParam<bool> {
 protected:
  bool is64() const { return GetParam(); }
  SyntheticPe Plain() const { return test::PlainPe(is64()); }
  TempDir dir_;
};

INSTANTIATE_TEST_SUITE_P(Formats, PeWriter, ::testing::Values(false, true),
                         [](const auto& row) { return row.param ? "Pe32Plus" : "Pe32"; });

TEST_P(PeWriter, AppendsSectionAtNextAlignmentBoundary) {
  // A large section starts on a page of the file; a small one where the file
  // alignment allows.
  for (const std::size_t size : {std::size_t{5000}, std::size_t{kMappedSectionFrom}}) {
    SCOPED_TRACE(size);
    const SyntheticPe pe = Plain();
    const std::string in = pe.Build();
    const std::string out = Pack(dir_, in, std::string(size, 'p'));
    const std::size_t header = SectionAt(is64(), 3);

    EXPECT_EQ(le::Get16(out, kCoff + 2), 4);
    EXPECT_EQ(out.substr(header, 8), std::string(".rsrc\0\0\0", 8));
    const std::uint32_t va = le::Get32(out, header + 12), vsize = le::Get32(out, header + 8);
    const std::uint32_t raw = le::Get32(out, header + 16), rawAt = le::Get32(out, header + 20);
    EXPECT_EQ(va, pe.VirtualAddress(3));
    EXPECT_EQ(va % pe.sectionAlignment, 0u);
    EXPECT_EQ(rawAt, AlignUp(in.size(), size < kMappedSectionFrom ? pe.fileAlignment : 0x1000));
    EXPECT_EQ(out.substr(in.size(), rawAt - in.size()), std::string(rawAt - in.size(), '\0'));
    EXPECT_EQ(raw % pe.fileAlignment, 0u);
    EXPECT_GE(raw, vsize);
    EXPECT_EQ(out.size(), std::uint64_t{rawAt} + raw) << "raw data physically present";
    EXPECT_EQ(le::Get32(out, kOpt + 56), va + AlignUp(vsize, pe.sectionAlignment)) << "SizeOfImage";
    EXPECT_EQ(le::Get32(out, kOpt + 8), le::Get32(in, kOpt + 8) + raw) << "SizeOfInitializedData";
    EXPECT_EQ(le::Get32(out, DirectoryAt(is64(), 2)), va);
    EXPECT_EQ(le::Get32(out, DirectoryAt(is64(), 2) + 4), vsize);
    EXPECT_EQ(le::Get32(out, kOpt + 64), test::ReferenceChecksum(out, kOpt + 64));
  }
}

TEST_P(PeWriter, LeavesEveryOtherByteAlone) {
  const std::string in = Plain().Build();
  std::string out = Pack(dir_, in, "script");
  // Blank out the fields the writer owns; the rest must match the stub.
  for (auto [at, size] : std::vector<std::pair<std::size_t, std::size_t>>{{kCoff + 2, 2},
                                                                          {kOpt + 8, 4},
                                                                          {kOpt + 56, 4},
                                                                          {kOpt + 64, 4},
                                                                          {DirectoryAt(is64(), 2), 8},
                                                                          {SectionAt(is64(), 3), 40}})
    out.replace(at, size, in.substr(at, size));
  EXPECT_EQ(out.substr(0, in.size()), in);
}

TEST_P(PeWriter, ReplacesItsOwnResourceSectionInPlace) {
  ResourceSectionPlan first, second;
  const std::string once = Pack(dir_, Plain().Build(), std::string(3000, 'a'), &first);
  const std::string twice = Pack(dir_, once, std::string(9000, 'b'), &second);
  EXPECT_FALSE(first.replacesLast);
  EXPECT_TRUE(second.replacesLast);
  EXPECT_EQ(le::Get16(twice, kCoff + 2), 4) << "no section added";
  EXPECT_EQ(second.virtualAddress, first.virtualAddress);
  EXPECT_EQ(second.fileOffset, first.fileOffset);
  EXPECT_EQ(twice.size(), second.fileOffset + second.rawSize) << "the old section's bytes are gone";
  EXPECT_EQ(le::Get32(twice, kOpt + 64), test::ReferenceChecksum(twice, kOpt + 64));

  // Packing the same content again reproduces the file exactly.
  const std::string again = Pack(dir_, twice, std::string(9000, 'b'));
  EXPECT_EQ(again, twice);
}

TEST_P(PeWriter, LeavesAnEarlierResourceSectionAndRenamesIt) {
  // A stub linked the usual way: .rsrc followed by .reloc.
  SyntheticPe pe = Plain();
  ResourceTree tree;
  tree.Put(ResourceId::Number(16), ResourceId::Number(1), ResourceId::Number(0x409),
           ResourceData::Bytes("version record"));
  pe.sections.insert(pe.sections.begin() + 2, {".rsrc", "", 0, 0x40000040});
  pe.resourceSection = 2;
  std::string bytes;
  struct Sink final : ByteSink {
    std::string* out;
    void Write(const void* d, std::size_t n) override { out->append(static_cast<const char*>(d), n); }
  } sink;
  sink.out = &bytes;
  ResourceSection(tree).Write(pe.VirtualAddress(2), sink);
  pe.sections[2].data = bytes;
  const std::string in = pe.Build();

  ResourceSectionPlan plan;
  const std::string out = Pack(dir_, in, "script", &plan);
  EXPECT_FALSE(plan.replacesLast);
  EXPECT_EQ(plan.renamedSection, 2);
  EXPECT_EQ(out.substr(SectionAt(is64(), 2), 8), ".rsrcold");
  EXPECT_EQ(le::Get16(out, kCoff + 2), 5);
  EXPECT_EQ(le::Get32(out, DirectoryAt(is64(), 2)), pe.VirtualAddress(4));
  const std::uint32_t oldAt = le::Get32(in, SectionAt(is64(), 2) + 20);
  EXPECT_EQ(out.substr(oldAt, bytes.size()), bytes) << "the old section's bytes stay";

  // The stub's own resource moved into the new section.
  WriteFile(dir_ / "check.exe", out);
  InputFile file(dir_ / "check.exe");
  const PeImage image = PeImage::Read(file);
  const ResourceTree parsed = ResourceTree::Parse(image, file);
  const auto& version = parsed.types().at(ResourceId::Number(16)).names.at(ResourceId::Number(1));
  EXPECT_EQ(version.languages.at(ResourceId::Number(0x409)).data.Read(), "version record");
}

TEST_P(PeWriter, AlignsToLargeSectionAndFileAlignment) {
  SyntheticPe pe = Plain();
  pe.sectionAlignment = 0x10000;
  pe.fileAlignment = 0x1000;
  pe.sizeOfHeaders = 0x1000;
  const std::string out = Pack(dir_, pe.Build(), std::string(70000, 'x'));
  const std::size_t header = SectionAt(is64(), 3);
  EXPECT_EQ(le::Get32(out, header + 12) % 0x10000, 0u);
  EXPECT_EQ(le::Get32(out, header + 16) % 0x1000, 0u);
  EXPECT_EQ(le::Get32(out, header + 20) % 0x1000, 0u);
  EXPECT_EQ(le::Get32(out, kOpt + 56) % 0x10000, 0u);
}

// Each way a stub can be unusable, with the words the refusal must use.
struct Refusal {
  const char* name;
  std::function<void(SyntheticPe&)> changePe;
  std::function<void(std::string&, bool is64)> changeBytes;
  const char* message;
  std::uint64_t maxImage = kMaxImageSize;
};

class PeRefusals : public ::testing::TestWithParam<std::tuple<Refusal, bool>> {};

TEST_P(PeRefusals, NamesTheStubAndTheCause) {
  const auto& [refusal, is64] = GetParam();
  SyntheticPe pe = test::PlainPe(is64);
  if (refusal.changePe) refusal.changePe(pe);
  std::string stub = pe.Build();
  if (refusal.changeBytes) refusal.changeBytes(stub, is64);
  TempDir dir;
  try {
    Pack(dir, stub, "script", nullptr, refusal.maxImage);
    FAIL() << "accepted";
  } catch (const PackError& e) {
    EXPECT_NE(std::string(e.what()).find(refusal.message), std::string::npos) << e.what();
    EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "out.exe"));
  EXPECT_EQ(test::Listing(dir.path()), std::vector<std::string>{"stub.exe"}) << "no temporary file left";
}

const Refusal kRefusals[] = {
    {"TooShort", nullptr, [](std::string& b, bool) { b = "MZ"; }, "too short"},
    {"NotMz", nullptr, [](std::string& b, bool) { b[0] = 'X'; }, "no MZ signature"},
    {"PeOffsetOutside", nullptr, [](std::string& b, bool) { le::Put32(b, 0x3C, 0x7FFFFFF0); }, "PE header offset"},
    {"NoPeSignature", nullptr, [](std::string& b, bool) { b[0x81] = 'X'; }, "no PE signature"},
    {"UnknownMagic", nullptr, [](std::string& b, bool) { le::Put16(b, kOpt, 0x107); }, "optional header magic"},
    {"EndsInsideHeaders", nullptr, [](std::string& b, bool) { b.resize(0x300); }, "ends inside its headers"},
    {"SectionPastEnd", nullptr, [](std::string& b, bool) { b.resize(b.size() - 0x100); }, "past the end of the file"},
    {"SectionsOverlap", nullptr, [](std::string& b, bool is64) { le::Put32(b, SectionAt(is64, 1) + 12, 0x1000); },
     "overlaps"},
    {"BadFileAlignment", nullptr, [](std::string& b, bool) { le::Put32(b, kOpt + 36, 0x300); }, "FileAlignment"},
    {"Dll", [](SyntheticPe& pe) { pe.characteristics |= 0x2000; }, nullptr, "is a DLL"},
    {"ObjectFile", [](SyntheticPe& pe) { pe.characteristics = 0x0100; }, nullptr, "not an executable image"},
    {"Signed", nullptr,
     [](std::string& b, bool is64) {
       le::Put32(b, DirectoryAt(is64, 4), static_cast<std::uint32_t>(b.size()));
       le::Put32(b, DirectoryAt(is64, 4) + 4, 8);
       b += std::string(8, '\x01');
     },
     "Authenticode signature"},
    {"Overlay", [](SyntheticPe& pe) { pe.overlay = "appended archive"; }, nullptr, "overlay data"},
    {"HeadersFull", [](SyntheticPe& pe) { pe.sizeOfHeaders = 0x200; }, nullptr, "no room for another section header"},
    {"BytesAfterSectionTable", nullptr,
     [](std::string& b, bool is64) { b.replace(SectionAt(is64, 3), 40, std::string(40, '\xFF')); },
     "no room for another section header"},
    {"SmallSectionAlignment", [](SyntheticPe& pe) { pe.sectionAlignment = 0x200; }, nullptr,
     "section alignment below the page size"},
    {"TooLargeToMap", nullptr, nullptr, "more than a 32-bit installer can map", 0x6000},
};

std::string RefusalName(const ::testing::TestParamInfo<PeRefusals::ParamType>& row) {
  return std::string(std::get<0>(row.param).name) + (std::get<1>(row.param) ? "Pe32Plus" : "Pe32");
}

INSTANTIATE_TEST_SUITE_P(
    Stubs, PeRefusals, ::testing::Combine(::testing::ValuesIn(kRefusals), ::testing::Values(false, true)),
    RefusalName);

}  // namespace
}  // namespace brisko::pack
