#include "pe/resource_tree.h"

#include <gtest/gtest.h>

#include "pack_test_util.h"

namespace brisko::pack {
namespace {

using test::TempDir;

constexpr std::uint32_t kRva = 0x7000;

std::string Serialize(const ResourceTree& tree, std::uint32_t rva = kRva) {
  StringSink sink;
  const ResourceSection section(tree);
  section.Write(rva, sink);
  EXPECT_EQ(sink.bytes.size(), section.size());
  return sink.bytes;
}

// Reads the section as the loader does, checking on the way what the loader
// relies on: named entries first, names in code-unit order, numbers
// ascending, and leaves found through RVAs. Returns "type/name/lang=bytes"
// for every leaf, in directory order.
class RawWalker {
 public:
  explicit RawWalker(const std::string& section) : s_(section) {}

  std::vector<std::string> Walk() {
    Directory(0, 0, "");
    return leaves_;
  }

 private:
  std::string Name(std::uint32_t field, std::u16string* units) const {
    if (!(field & 0x80000000u)) return "#" + std::to_string(field);
    const std::uint32_t at = field & 0x7FFFFFFF;
    const std::uint16_t length = le::Get16(s_, at);
    std::string ascii;
    for (std::uint16_t i = 0; i < length; ++i) {
      const char16_t c = static_cast<char16_t>(le::Get16(s_, at + 2 + 2 * i));
      *units += c;
      ascii += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return ascii;
  }

  void Directory(std::uint32_t at, int level, const std::string& path) {
    const std::uint16_t named = le::Get16(s_, at + 12), ids = le::Get16(s_, at + 14);
    std::u16string previousName;
    std::uint32_t previousId = 0;
    for (std::uint32_t i = 0; i < std::uint32_t{named} + ids; ++i) {
      const std::uint32_t name = le::Get32(s_, at + 16 + 8 * i), value = le::Get32(s_, at + 20 + 8 * i);
      const bool isName = (name & 0x80000000u) != 0;
      EXPECT_EQ(isName, i < named) << path << ": named entries come before numbered ones";
      std::u16string units;
      const std::string label = path + (path.empty() ? "" : "/") + Name(name, &units);
      if (isName) {
        if (i > 0) {
          EXPECT_LT(previousName, units) << label << ": names sorted by UTF-16 code unit";
        }
        previousName = units;
      } else {
        if (i > named) {
          EXPECT_LT(previousId, name) << label << ": numbers ascending";
        }
        previousId = name;
      }
      if (level < 2) {
        ASSERT_TRUE(value & 0x80000000u) << label << ": a subdirectory";
        Directory(value & 0x7FFFFFFF, level + 1, label);
      } else {
        ASSERT_FALSE(value & 0x80000000u) << label << ": a data entry";
        const std::uint32_t rva = le::Get32(s_, value), size = le::Get32(s_, value + 4);
        ASSERT_GE(rva, kRva) << label << ": data entries hold RVAs";
        EXPECT_EQ((rva - kRva) % 8, 0u) << label << ": leaves aligned to 8 bytes";
        leaves_.push_back(label + "=" + s_.substr(rva - kRva, size));
      }
    }
  }

  const std::string& s_;
  std::vector<std::string> leaves_;
};

TEST(ResourceSection, WritesEntriesInTheOrderTheLoaderSearches) {
  ResourceTree tree;
  const ResourceId neutral = ResourceId::Number(0);
  tree.Put(ResourceId::Number(16), ResourceId::Number(1), ResourceId::Number(0x411), ResourceData::Bytes("ver"));
  tree.Put(ResourceId::Number(3), ResourceId::Number(2), neutral, ResourceData::Bytes("icon2"));
  tree.Put(ResourceId::Number(3), ResourceId::Number(1), neutral, ResourceData::Bytes("icon1"));
  tree.Put(ResourceId::Ascii("TEXT"), ResourceId::Ascii("RESOURCE_SCRIPT"), neutral, ResourceData::Bytes("s"));
  tree.Put(ResourceId::Ascii("BIN"), ResourceId::Ascii("RESOURCE_FILE10"), neutral, ResourceData::Bytes("ten"));
  tree.Put(ResourceId::Ascii("BIN"), ResourceId::Ascii("RESOURCE_FILE2"), neutral, ResourceData::Bytes("two"));
  tree.Put(ResourceId::Ascii("BIN"), ResourceId::Ascii("RESOURCE_FILE_"), neutral, ResourceData::Bytes("_"));
  tree.Put(ResourceId::Ascii("BIN"), ResourceId::Number(5), neutral, ResourceData::Bytes("five"));
  // '_' (0x5F) sorts after the digits and upper case but before lower case.
  tree.Put(ResourceId::Name(u"lower"), ResourceId::Number(1), neutral, ResourceData::Bytes("l"));
  tree.Put(ResourceId::Name(u"\u00C4"), ResourceId::Number(1), neutral, ResourceData::Bytes("a-umlaut"));
  tree.Put(ResourceId::Name(u"\xFF21"), ResourceId::Number(1), neutral, ResourceData::Bytes("fullwidth"));

  EXPECT_EQ(RawWalker(Serialize(tree)).Walk(),
            (std::vector<std::string>{"BIN/RESOURCE_FILE10/#0=ten", "BIN/RESOURCE_FILE2/#0=two",
                                      "BIN/RESOURCE_FILE_/#0=_", "BIN/#5/#0=five", "TEXT/RESOURCE_SCRIPT/#0=s",
                                      "lower/#1/#0=l", "?/#1/#0=a-umlaut", "?/#1/#0=fullwidth",
                                      "#3/#1/#0=icon1", "#3/#2/#0=icon2", "#16/#1/#1041=ver"}));
}

TEST(ResourceId, AsciiNamesAreStoredUpperCase) {
  EXPECT_EQ(ResourceId::Ascii("resource_Script").name(), u"RESOURCE_SCRIPT");
  EXPECT_TRUE(ResourceId::Name(u"Bin").NameEquals("BIN"));
  EXPECT_FALSE(ResourceId::Number(1).NameEquals("1"));
}

TEST(ResourceSection, EmptyTreeIsOneEmptyRootDirectory) {
  const std::string bytes = Serialize(ResourceTree());
  EXPECT_EQ(bytes, std::string(16, '\0'));
}

// A stub whose only content is a resource section: the tree is parsed back
// from a real image.
class ParsedSection : public ::testing::Test {
 protected:
  ResourceTree Parse(const std::string& section) {
    test::SyntheticPe pe;
    pe.sections = {{".rsrc", section, 0, 0x40000040}};
    pe.resourceSection = 0;
    EXPECT_EQ(pe.VirtualAddress(0), 0x1000u);
    test::WriteFile(dir_ / "stub.exe", pe.Build());
    file_.emplace(dir_ / "stub.exe");
    image_.emplace(PeImage::Read(*file_));
    return ResourceTree::Parse(*image_, *file_);
  }

  // One type, one name, one language: root at 0, type table at 24, name
  // table at 48, data entry at 72, strings at 88.
  static ResourceTree Single() {
    ResourceTree tree;
    tree.Put(ResourceId::Ascii("T"), ResourceId::Ascii("N"), ResourceId::Number(0), ResourceData::Bytes("leaf"));
    return tree;
  }

  TempDir dir_;
  std::optional<InputFile> file_;
  std::optional<PeImage> image_;
};

TEST_F(ParsedSection, ReadsBackWhatWasWritten) {
  ResourceTree tree = Single();
  tree.Put(ResourceId::Number(24), ResourceId::Number(1), ResourceId::Number(0x409), ResourceData::Bytes("xml"));
  const ResourceTree parsed = Parse(Serialize(tree, 0x1000));
  ASSERT_EQ(parsed.leafCount(), 2u);
  EXPECT_EQ(parsed.Find("t", "n")->data.Read(), "leaf");
  const auto& manifest = parsed.types().at(ResourceId::Number(24)).names.at(ResourceId::Number(1));
  EXPECT_EQ(manifest.languages.at(ResourceId::Number(0x409)).data.Read(), "xml");
}

struct Corruption {
  const char* name;
  std::size_t offset;  // of a 32-bit field in the Single() layout
  std::uint32_t value;
  const char* message;
};

class CorruptSection : public ParsedSection, public ::testing::WithParamInterface<Corruption> {};

TEST_P(CorruptSection, IsRefusedWithItsCause) {
  std::string section = Serialize(Single(), 0x1000);
  le::Put32(section, GetParam().offset, GetParam().value);
  try {
    Parse(section);
    FAIL() << "accepted";
  } catch (const PackError& e) {
    EXPECT_NE(e.cause().find("corrupted resource directory"), std::string::npos) << e.what();
    EXPECT_NE(e.cause().find(GetParam().message), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, CorruptSection,
    ::testing::Values(Corruption{"TypeTablePastEnd", 20, 0x80001000u, "past the end"},
                      Corruption{"NameStringPastEnd", 16, 0x80000FFEu, "past the end"},
                      Corruption{"DataEntryAtTypeLevel", 20, 72, "data entry stands where a directory"},
                      Corruption{"FourthLevel", 68, 0x80000000u, "more than three levels"},
                      Corruption{"DataOutsideSections", 72, 0x00900000u, "outside the file's section data"},
                      Corruption{"NumberOutOfRange", 40, 0x00012345u, "number is out of range"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ResourceTree, RemoveIfDropsEmptyTypes) {
  ResourceTree tree = []() {
    ResourceTree t;
    t.Put(ResourceId::Ascii("TEXT"), ResourceId::Ascii("A"), ResourceId::Number(0), ResourceData::Bytes("a"));
    t.Put(ResourceId::Ascii("TEXT"), ResourceId::Ascii("A"), ResourceId::Number(0x411), ResourceData::Bytes("b"));
    t.Put(ResourceId::Ascii("BMP"), ResourceId::Ascii("B"), ResourceId::Number(0), ResourceData::Bytes("c"));
    return t;
  }();
  EXPECT_EQ(tree.RemoveIf([](const ResourceId& type, const ResourceId&) { return type.NameEquals("text"); }), 2u);
  EXPECT_EQ(tree.types().size(), 1u);
  EXPECT_EQ(tree.Find("TEXT", "A"), nullptr);
}

}  // namespace
}  // namespace brisko::pack
