#include "cli.h"

#include <gtest/gtest.h>

#include <sstream>

#include "pack_test_util.h"

namespace brisko::pack {
namespace {

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  const char* message;  // the first line on stderr, after "briskopack: "
};

class CommandLineUsage : public ::testing::TestWithParam<UsageCase> {};

// Every misuse exits with code 4, names what is wrong and writes nothing.
TEST_P(CommandLineUsage, IsRefusedWithItsReason) {
  test::TempDir dir;
  std::vector<std::string> args = GetParam().args;
  for (std::string& a : args)
    if (a == "DIR") a = dir.path().string();
  std::ostringstream out, err;
  EXPECT_EQ(RunCommandLine(args, out, err), kExitUsage);
  const std::string text = err.str();
  EXPECT_EQ(text.substr(0, text.find('\n')), std::string("briskopack: ") + GetParam().message);
  EXPECT_TRUE(out.str().empty());
  EXPECT_TRUE(test::Listing(dir.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Options, CommandLineUsage,
    ::testing::Values(
        UsageCase{"UnknownCommand", {"frobnicate"}, "unknown command frobnicate"},
        UsageCase{"FlagWithAValue", {"build", "DIR", "--force=no", "-o", "DIR/x.exe"}, "option --force takes no value"},
        UsageCase{"StoreWithAValue", {"build", "DIR", "--store=1", "-o", "DIR/x.exe"}, "option --store takes no value"},
        UsageCase{"FlagTwice", {"build", "DIR", "--compress", "--compress=3", "-o", "DIR/x.exe"},
                  "option --compress given twice"},
        UsageCase{"ValueTwice", {"build", "DIR", "-o", "DIR/a.exe", "-o", "DIR/b.exe"}, "option -o given twice"},
        UsageCase{"ValueMissing", {"build", "DIR", "-o"}, "option -o needs a value"},
        UsageCase{"ValueJoinedWhereItFollows", {"build", "DIR", "--stub=s.exe", "-o", "DIR/x.exe"},
                  "unknown option --stub=s.exe"},
        UsageCase{"OptionOfAnotherCommand", {"list", "x.exe", "--from", "DIR"}, "unknown option --from"},
        UsageCase{"OutputMissing", {"build", "DIR"}, "build needs -o OUT.exe"},
        UsageCase{"DiffOutputMissing", {"diff", "DIR", "DIR"}, "diff needs -o PATCH_DIR"},
        UsageCase{"StubAndArch", {"build", "DIR", "--stub", "s.exe", "--arch", "x64", "-o", "DIR/x.exe"},
                  "build takes --stub or --arch, not both"},
        UsageCase{"CompressAndStore", {"build", "DIR", "--compress", "--store", "-o", "DIR/x.exe"},
                  "build takes --compress or --store, not both"},
        UsageCase{"FromWithStore", {"build", "DIR", "--store", "--from", "DIR", "--stub", "s.exe", "-o", "DIR/x.exe"},
                  "--from stores payloads compressed, not --store"}),
    [](const auto& row) { return std::string(row.param.name); });

// The guide's synopsis of the commands (the indented block after "##
// Commands") is the usage text's, line for line.
TEST(CommandLine, GuideShowsTheUsageSynopsis) {
  std::istringstream usage(UsageText());
  std::vector<std::string> synopsis;
  std::string line;
  std::getline(usage, line);
  while (std::getline(usage, line) && line.rfind("  ", 0) == 0) synopsis.push_back(line.substr(2));

  std::istringstream guide(test::ReadFile(std::filesystem::path(BRISKO_SOURCE_DIR) / "docs" / "authoring.md"));
  std::vector<std::string> shown;
  while (std::getline(guide, line) && line != "## Commands") {
  }
  while (std::getline(guide, line) && (line.empty() || line.rfind("    ", 0) == 0)) {
    if (!line.empty())
      shown.push_back(line.substr(4));
    else if (!shown.empty())
      break;
  }
  EXPECT_EQ(shown, synopsis);
}

}  // namespace
}  // namespace brisko::pack
