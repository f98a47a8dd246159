#include "package/package.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli.h"
#include "core/payload/payload_reader.h"
#include "pack_test_util.h"
#include "platform/native_names.h"

namespace brisko::pack {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// 表 is 0x95 0x5C in Shift-JIS: its second byte is a backslash.
const char kHyou[] = "\x95\x5C";

// A patch folder with a blank %OutFiles entry, a file in a subfolder and a
// Japanese folder name whose second byte is 0x5C.
class PatchFolder {
 public:
  PatchFolder() {
    script_ = test::CleanScript({"\tdata.bin", "", "\tsub\\readme.txt", (std::string("\t") + kHyou + "\\x.txt").c_str()});
    WriteFile(dir_ / "patch/script.txt", script_);
    WriteFile(dir_ / "patch/background.bmp", test::Bitmap(600, 300));
    // Over a mebibyte and of odd length: the system copies it and the
    // checksum is summed on the side.
    std::string binary;
    for (int i = 0; i < 1600001; ++i) binary += static_cast<char>(i * 31 + (i >> 8));
    WriteFile(dir_ / "patch/payload/data.bin", binary);
    WriteFile(dir_ / "patch/payload/sub/readme.txt", "read me\r\n");
    WriteFile(NativePath(dir_ / "patch/payload", std::string(kHyou) + "\\x.txt"), "in a Japanese folder");
  }

  BuildRequest Request(const fs::path& stub, const std::string& output = "out.exe") const {
    BuildRequest r;
    r.stub = stub;
    r.script = dir_ / "patch/script.txt";
    r.background = dir_ / "patch/background.bmp";
    r.payloadFolder = dir_ / "patch/payload";
    r.output = dir_ / output;
    return r;
  }

  const TempDir& dir() const { return dir_; }
  std::string Payload(const std::string& scriptPath) const {
    return ReadFile(NativePath(dir_ / "patch/payload", scriptPath));
  }

 private:
  TempDir dir_;
  std::string script_;
};

// Every leaf of a tree as "type/name/lang", with its bytes.
std::map<std::string, std::string> Leaves(const ResourceTree& tree, bool packageToo) {
  std::map<std::string, std::string> leaves;
  for (const auto& [type, typeNode] : tree.types())
    for (const auto& [name, nameNode] : typeNode.names) {
      if (!packageToo && IsPackageResource(type, name)) continue;
      for (const auto& [lang, leaf] : nameNode.languages)
        leaves[type.ToString() + "/" + name.ToString() + "/" + lang.ToString()] = leaf.data.Read();
    }
  return leaves;
}

std::map<std::string, std::string> LeavesOf(const fs::path& exe, bool packageToo) {
  InputFile file(exe);
  const PeImage image = PeImage::Read(file);
  return Leaves(ResourceTree::Parse(image, file), packageToo);
}

class PackStub : public ::testing::TestWithParam<const char*> {
 protected:
  fs::path Stub() const { return test::TestStub(GetParam()); }
  PatchFolder patch_;
};

INSTANTIATE_TEST_SUITE_P(MinGW, PackStub, ::testing::Values("stub32", "stub64", "stubpkg32", "stubpkg64"),
                         [](const auto& row) { return std::string(row.param); });

TEST_P(PackStub, RoundTripsThePackageAndKeepsEverythingElse) {
  BRISKOPACK_REQUIRE_STUB(Stub());
  // Once (the copying does not depend on the stub), a payload long enough to
  // be copied in three parts by threads of their own whose checksums are
  // joined; of odd length.
  if (std::string(GetParam()) == "stub32") {
    std::string binary(16777217, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 31 + (i >> 8));
    WriteFile(patch_.dir() / "patch/payload/data.bin", binary);
  }
  // Stored raw, then compressed: data.bin compresses, the others do not.
  for (const bool compressed : {false, true}) {
    SCOPED_TRACE(compressed ? "compressed" : "raw");
    BuildRequest request = patch_.Request(Stub());
    if (!compressed) request.compression.reset();
    const BuildResult result = BuildInstaller(request);
    ASSERT_TRUE(result.written) << (result.findings.empty() ? "" : FormatFinding(result.findings[0]));
    EXPECT_EQ(result.payloads.size(), 3u);
    EXPECT_EQ(result.replacedPackage, std::string(GetParam()).rfind("stubpkg", 0) == 0);

    InstalledPackage package(patch_.dir() / "out.exe");
    const std::string out = ReadFile(patch_.dir() / "out.exe");
    const std::size_t checksumAt = package.image().checksumOffset();
    EXPECT_EQ(le::Get32(out, checksumAt), test::ReferenceChecksum(out, checksumAt));
    EXPECT_EQ(package.script(), ReadFile(patch_.dir() / "patch/script.txt"));
    EXPECT_EQ(package.backgroundForm(),
              compressed ? InstalledPackage::BackgroundForm::Compressed : InstalledPackage::BackgroundForm::Raw);
    EXPECT_EQ(package.BackgroundFile(), test::Bitmap(600, 300));
    ASSERT_EQ(package.payloads().size(), 4u);
    EXPECT_EQ(package.payloads()[0].kind, compressed ? format::PayloadKind::Compressed : format::PayloadKind::Raw);
    if (!compressed) {
      EXPECT_EQ(package.payloads()[0].leaf->data.Read(), patch_.Payload("data.bin"));
    }
    EXPECT_EQ(package.payloads()[1].leaf, nullptr);
    EXPECT_EQ(package.payloads()[2].leaf->data.Read(), patch_.Payload("sub\\readme.txt"));
    EXPECT_EQ(package.payloads()[3].leaf->data.Read(), patch_.Payload(std::string(kHyou) + "\\x.txt"));
    EXPECT_TRUE(package.UnusedPayloads().empty()) << "an old RESOURCE_FILE7 is removed";

    // The package is exactly the new one: four language-neutral resources,
    // the blank entry's number unused, the stub's other-language script gone.
    std::map<std::string, std::string> all = LeavesOf(patch_.dir() / "out.exe", true);
    std::map<std::string, std::string> package_only;
    for (const auto& [key, bytes] : all)
      if (key.rfind("TEXT/", 0) == 0 || key.find("/RESOURCE_BACKGROUND/") != std::string::npos ||
          key.find("/RESOURCE_FILE") != std::string::npos)
        package_only[key] = bytes;
    EXPECT_EQ(package_only.size(), 5u);
    for (const char* key :
         {"TEXT/RESOURCE_SCRIPT/#0", compressed ? "ZSTD/RESOURCE_BACKGROUND/#0" : "BMP/RESOURCE_BACKGROUND/#0",
          compressed ? "ZSTD/RESOURCE_FILE0/#0" : "BIN/RESOURCE_FILE0/#0", "BIN/RESOURCE_FILE2/#0",
          "BIN/RESOURCE_FILE3/#0"})
      EXPECT_EQ(package_only.count(key), 1u) << key;

    // Icon, version record, manifest, strings and the stub's own BIN resource
    // are kept byte for byte.
    const auto kept = LeavesOf(Stub(), false);
    EXPECT_EQ(LeavesOf(patch_.dir() / "out.exe", false), kept);
    for (const char* key :
         {"#3/#1/#1033", "#14/#1/#1033", "#16/#1/#1033", "#24/#1/#1033", "BIN/OTHER/#1033", "ME/KEEP/#1041"})
      EXPECT_EQ(kept.count(key), 1u) << key << " missing from the test stub";

    const fs::path extracted = patch_.dir() / (compressed ? "extracted-z" : "extracted");
    ExtractPackage(patch_.dir() / "out.exe", extracted);
    EXPECT_EQ(ReadFile(extracted / "script.txt"), ReadFile(patch_.dir() / "patch/script.txt"));
    EXPECT_EQ(ReadFile(extracted / "background.bmp"), test::Bitmap(600, 300));
    for (const std::string& name :
         std::vector<std::string>{"data.bin", "sub\\readme.txt", std::string(kHyou) + "\\x.txt"})
      EXPECT_EQ(ReadFile(NativePath(extracted / "payload", name)), patch_.Payload(name)) << name;
  }
}

TEST_P(PackStub, LeavesSectionsAndSymbolsUnchanged) {
  BRISKOPACK_REQUIRE_STUB(Stub());
  ASSERT_TRUE(BuildInstaller(patch_.Request(Stub())).written);
  InputFile stubFile(Stub()), outFile(patch_.dir() / "out.exe");
  const PeImage stub = PeImage::Read(stubFile), out = PeImage::Read(outFile);
  const std::string stubBytes = ReadFile(Stub()), outBytes = ReadFile(patch_.dir() / "out.exe");

  ASSERT_EQ(out.sections().size(), stub.sections().size() + 1);
  for (std::size_t i = 0; i < stub.sections().size(); ++i) {
    const SectionHeader &a = stub.sections()[i], &b = out.sections()[i];
    EXPECT_EQ(b.Name(), a.Name() == ".rsrc" ? std::string(kStaleResourceSectionName) : a.Name());
    EXPECT_EQ(std::tie(a.virtualAddress, a.virtualSize, a.sizeOfRawData, a.pointerToRawData, a.characteristics),
              std::tie(b.virtualAddress, b.virtualSize, b.sizeOfRawData, b.pointerToRawData, b.characteristics));
    EXPECT_EQ(outBytes.substr(b.pointerToRawData, b.sizeOfRawData),
              stubBytes.substr(a.pointerToRawData, a.sizeOfRawData))
        << a.Name();
  }
  EXPECT_EQ(out.symbolTableSize(), stub.symbolTableSize());
  if (stub.symbolTableSize() != 0) {
    EXPECT_EQ(outBytes.substr(out.symbolTableOffset()), stubBytes.substr(stub.symbolTableOffset()))
        << "the COFF symbol table moves behind the new section";
  }
  EXPECT_EQ(out.directory(5).rva, stub.directory(5).rva) << "relocations untouched";
  EXPECT_NE(stub.directory(5).size, 0u) << "the test stub has relocations";
}

TEST_P(PackStub, PackingAnInstallerAgainGivesTheSameFile) {
  BRISKOPACK_REQUIRE_STUB(Stub());
  ASSERT_TRUE(BuildInstaller(patch_.Request(Stub(), "once.exe")).written);
  const BuildResult again = BuildInstaller(patch_.Request(patch_.dir() / "once.exe", "twice.exe"));
  ASSERT_TRUE(again.written);
  EXPECT_TRUE(again.replacedPackage);
  EXPECT_EQ(ReadFile(patch_.dir() / "twice.exe"), ReadFile(patch_.dir() / "once.exe"));

  // Writing over the input itself goes through a temporary file as well.
  ASSERT_TRUE(BuildInstaller(patch_.Request(patch_.dir() / "once.exe", "once.exe")).written);
  EXPECT_EQ(ReadFile(patch_.dir() / "once.exe"), ReadFile(patch_.dir() / "twice.exe"));
}

class BuildFailure : public ::testing::Test {
 protected:
  // Runs a build that must fail; the output's old content must survive and
  // no temporary file may stay behind.
  void ExpectRefused(const BuildRequest& request, const std::string& fragment) {
    WriteFile(request.output, "old output");
    const auto before = test::Listing(patch_.dir().path());
    try {
      const BuildResult result = BuildInstaller(request);
      EXPECT_FALSE(result.written);
      ASSERT_TRUE(HasErrors(result.findings));
      std::string all;
      for (const Finding& f : result.findings) all += FormatFinding(f) + "\n";
      EXPECT_NE(all.find(fragment), std::string::npos) << all;
    } catch (const PackError& e) {
      EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadFile(request.output), "old output");
    EXPECT_EQ(test::Listing(patch_.dir().path()), before);
  }

  PatchFolder patch_;
};

TEST_F(BuildFailure, LintErrorsStopTheBuild) {
  BRISKOPACK_REQUIRE_STUB(test::TestStub("stub32"));
  WriteFile(patch_.dir() / "bad.txt", test::Script({"*PatchType", "1", "%OutFiles", "x", "%%"}));
  BuildRequest r = patch_.Request(test::TestStub("stub32"));
  r.script = patch_.dir() / "bad.txt";
  ExpectRefused(r, "no %CheckTargetFilename");
}

TEST_F(BuildFailure, StubThatIsNoProgram) {
  WriteFile(patch_.dir() / "notes.exe", "just some text, not a program at all, long enough for a header......");
  ExpectRefused(patch_.Request(patch_.dir() / "notes.exe"), "notes.exe: not a Windows program");
}

TEST_F(BuildFailure, MissingStub) { ExpectRefused(patch_.Request(patch_.dir() / "none.exe"), "none.exe: no such file"); }

TEST_F(BuildFailure, PayloadFolderIsAFile) {
  BuildRequest r = patch_.Request(test::TestStub("stub32"));
  r.payloadFolder = patch_.dir() / "patch/script.txt";
  ExpectRefused(r, "script.txt: is not a folder");
}

TEST_F(BuildFailure, ResultTooLargeToMap) {
  BRISKOPACK_REQUIRE_STUB(test::TestStub("stub64"));
  BuildRequest r = patch_.Request(test::TestStub("stub64"));
  r.maxImageSize = 0x40000;
  ExpectRefused(r, "more than a 32-bit installer can map");
}

TEST(ForcedBuild, StoresAFaultyPackageAsItIs) {
  const fs::path stub = test::TestStub("stub32");
  BRISKOPACK_REQUIRE_STUB(stub);
  TempDir dir;
  WriteFile(dir / "s.txt", test::Script({"*PatchType", "1", "%OutFiles", "present", "missing", "..\\outside", "%%"}));
  WriteFile(dir / "b.bmp", "not a bitmap");
  WriteFile(dir / "p/present", "here");
  WriteFile(dir / "outside", "must not be packed");
  BuildRequest r{stub, dir / "s.txt", dir / "b.bmp", dir / "p", dir / "out.exe"};
  EXPECT_FALSE(BuildInstaller(r).written);
  r.force = true;
  const BuildResult result = BuildInstaller(r);
  ASSERT_TRUE(result.written);
  EXPECT_TRUE(HasErrors(result.findings));
  const auto leaves = LeavesOf(dir / "out.exe", true);
  EXPECT_EQ(InstalledPackage(dir / "out.exe").BackgroundFile(), "not a bitmap");
  EXPECT_EQ(leaves.at("BIN/RESOURCE_FILE0/#0"), "here");
  EXPECT_EQ(leaves.count("BIN/RESOURCE_FILE1/#0"), 0u);
  EXPECT_EQ(leaves.count("BIN/RESOURCE_FILE2/#0"), 0u);
}

TEST(PackageNumbering, ElevenEntriesEndWithResourceFile10) {
  const fs::path stub = test::TestStub("stub32");
  BRISKOPACK_REQUIRE_STUB(stub);
  TempDir dir;
  std::string script = test::CleanScript({"\t0", "\t1", "\t2", "\t3", "\t4", "\t5", "\t6", "\t7", "\t8", "\t9", "\t10"});
  WriteFile(dir / "s.txt", script);
  WriteFile(dir / "b.bmp", test::Bitmap(600, 300));
  for (int i = 0; i <= 10; ++i) WriteFile(dir / ("p/" + std::to_string(i)), "payload " + std::to_string(i));
  BuildRequest r{stub, dir / "s.txt", dir / "b.bmp", dir / "p", dir / "out.exe"};
  ASSERT_TRUE(BuildInstaller(r).written);
  const auto leaves = LeavesOf(dir / "out.exe", true);
  EXPECT_EQ(leaves.at("BIN/RESOURCE_FILE10/#0"), "payload 10");
  EXPECT_EQ(leaves.at("BIN/RESOURCE_FILE9/#0"), "payload 9");
  EXPECT_EQ(leaves.count("BIN/RESOURCE_FILE01/#0"), 0u);
}

// `from` written to `to` with its resources changed by `change`, as build
// writes an installer.
void RewriteResources(const fs::path& from, const fs::path& to, const std::function<void(ResourceTree&)>& change) {
  InputFile in(from);
  const PeImage image = PeImage::Read(in);
  ResourceTree tree = ResourceTree::Parse(image, in);
  change(tree);
  const ResourceSection section(tree);
  OutputFile out(to);
  WriteImage(image, in, PlanResourceSection(image, section.size(), in.name(), out.name()), section, out);
  out.Commit();
}

// Runs one command; its output and errors, one after the other.
std::string RunPacker(const std::vector<std::string>& args, int expectedCode) {
  std::ostringstream out, err;
  EXPECT_EQ(RunCommandLine(args, out, err), expectedCode) << err.str();
  return out.str() + err.str();
}

struct BackgroundCase {
  const char* name;
  bool store;                                 // built with --store, else compressed
  std::function<void(ResourceTree&)> change;  // then this done to the installer's resources
  const char* listed;                         // the line list shows
  const char* refused;                        // what extract and lint find wrong, or nullptr
};

const ResourceId kBmp = ResourceId::Ascii("BMP"), kZstd = ResourceId::Ascii("ZSTD"),
                 kBackground = ResourceId::Ascii("RESOURCE_BACKGROUND"), kNeutral = ResourceId::Number(0);

const ResourceData& Leaf(const ResourceTree& tree, const ResourceId& type) {
  return tree.types().at(type).names.at(kBackground).languages.at(kNeutral).data;
}

class InstallerBackground : public ::testing::TestWithParam<BackgroundCase> {};

// The background in either form, and each way a package can hold it wrongly:
// list says what it finds, extract and lint of the installer refuse it.
TEST_P(InstallerBackground, IsListedExtractedAndLinted) {
  const BackgroundCase& c = GetParam();
  TempDir dir;
  const std::string bitmap = test::Bitmap(600, 300);
  WriteFile(dir / "stub.exe", test::PlainPe(false).Build());
  WriteFile(dir / "s.txt", test::CleanScript({}));
  WriteFile(dir / "b.bmp", bitmap);
  BuildRequest request{dir / "stub.exe", dir / "s.txt", dir / "b.bmp", std::nullopt, dir / "built.exe"};
  if (c.store) request.compression.reset();
  ASSERT_TRUE(BuildInstaller(request).written);
  RewriteResources(dir / "built.exe", dir / "out.exe", c.change);
  const std::string installer = (dir / "out.exe").string();

  const std::string listed = RunPacker({"list", installer}, kExitOk);
  EXPECT_NE(listed.find(c.listed), std::string::npos) << listed;
  const std::string extracted =
      RunPacker({"extract", installer, (dir / "x").string()}, c.refused ? kExitFailure : kExitOk);
  const std::string linted = RunPacker({"lint", installer}, c.refused ? kExitLintErrors : kExitOk);
  if (c.refused) {
    EXPECT_NE(extracted.find(c.refused), std::string::npos) << extracted;
    EXPECT_NE(linted.find("out.exe (background): error: "), std::string::npos) << linted;
    EXPECT_NE(linted.find(c.refused), std::string::npos) << linted;
    EXPECT_FALSE(fs::exists(dir / "x"));
  } else {
    EXPECT_EQ(ReadFile(dir / "x/background.bmp"), bitmap);
    EXPECT_EQ(linted, "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, InstallerBackground,
    ::testing::Values(
        BackgroundCase{"Raw", true, [](ResourceTree&) {}, "background: 540054 bytes, 600 x 300, sha256", nullptr},
        BackgroundCase{"Compressed", false, [](ResourceTree&) {},
                       "background: 540054 bytes (stored compressed in ", nullptr},
        BackgroundCase{"Neither", false,
                       [](ResourceTree& resources) { resources.RemoveIf([](const ResourceId&, const ResourceId& name) {
                         return name == kBackground; }); },
                       "background: missing", "carries no background"},
        BackgroundCase{"Both", false,
                       [](ResourceTree& resources) { resources.Put(kBmp, kBackground, kNeutral, ResourceData::Bytes("BM")); },
                       "background: stored twice", "carries the background twice"},
        BackgroundCase{"DamagedFrame", false,
                       [](ResourceTree& resources) {
                         std::string frame = Leaf(resources, kZstd).Read();
                         frame[frame.size() / 2] ^= 0x55;
                         resources.Put(kZstd, kBackground, kNeutral, ResourceData::Bytes(frame));
                       },
                       "damaged (the frame does not decode)", "is damaged"},
        BackgroundCase{"FrameCutShort", false,
                       [](ResourceTree& resources) {
                         const std::string frame = Leaf(resources, kZstd).Read();
                         resources.Put(kZstd, kBackground, kNeutral, ResourceData::Bytes(frame.substr(0, frame.size() - 4)));
                       },
                       "damaged (the frame does not decode)", "is damaged"}),
    [](const auto& row) { return std::string(row.param.name); });

// The frame records the file's size and carries a checksum, and its window is
// the smallest that holds the file.
TEST(PictureFrame, RecordsItsSizeWithAWindowJustLargeEnough) {
  const std::string bitmap = test::Bitmap(600, 300);  // between 2^19 and 2^20 bytes
  const std::string frame = CompressPicture(bitmap, "b.bmp");
  std::uint64_t size = 0;
  EXPECT_TRUE(ZstdContentSize(frame, size, 20));
  EXPECT_EQ(size, bitmap.size());
  EXPECT_FALSE(ZstdContentSize(frame, size, 19));
  EXPECT_LT(frame.size(), bitmap.size() / 2);
  EXPECT_THROW(CompressPicture(std::string(format::kMaxBackgroundFileSize + 1, 'x'), "huge.bmp"), PackError);
}

TEST(ExtractFailure, InstallerWithoutPackageLeavesNoFolder) {
  const fs::path stub = test::TestStub("stub64");
  BRISKOPACK_REQUIRE_STUB(stub);
  TempDir dir;
  EXPECT_THROW(ExtractPackage(stub, dir / "out"), PackError);
  EXPECT_TRUE(test::Listing(dir.path()).empty());
}

// A script that names a payload outside the payload folder (the packer never
// stores one; another tool might): extract refuses before writing anything,
// inside the output folder or beside it.
TEST(ExtractFailure, PayloadNamedOutsideTheFolderWritesNothing) {
  const fs::path stub = test::TestStub("stub32");
  BRISKOPACK_REQUIRE_STUB(stub);
  for (const std::string unsafe : {"..\\outside", "\\outside", "a\\..\\..\\outside"}) {
    TempDir dir;
    // Built with a harmless name of the same length, then renamed in the
    // stored script.
    const std::string harmless(unsafe.size(), 'q');
    WriteFile(dir / "s.txt", test::CleanScript({harmless.c_str()}));
    WriteFile(dir / "b.bmp", test::Bitmap(600, 300));
    WriteFile(dir / "p" / harmless, "payload");
    ASSERT_TRUE(BuildInstaller({stub, dir / "s.txt", dir / "b.bmp", dir / "p", dir / "out.exe"}).written);
    std::string installer = test::ReadFile(dir / "out.exe");
    const std::size_t at = installer.find(harmless + "\r\n");
    ASSERT_NE(at, std::string::npos);
    installer.replace(at, unsafe.size(), unsafe);
    WriteFile(dir / "bad.exe", installer);
    fs::create_directories(dir / "x/y");
    try {
      ExtractPackage(dir / "bad.exe", dir / "x/y/out");
      ADD_FAILURE() << unsafe << ": extracted";
    } catch (const PackError& e) {
      EXPECT_NE(e.cause().find("would be written outside the payload folder"), std::string::npos) << e.cause();
    }
    EXPECT_TRUE(test::Listing(dir / "x").size() == 1u) << unsafe;  // x/y, empty
    EXPECT_FALSE(fs::exists(dir / "x/outside")) << unsafe;
  }
}

}  // namespace
}  // namespace brisko::pack
