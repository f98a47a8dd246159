#include "win32/win_environment.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "fake_system_locations.h"
#include "fakes.h"
#include "win32/win_locale.h"

namespace brisko {
namespace {

// Only the environment is real here; ExpandEnvironment needs nothing else.
struct Expander {
  test::FakeRegistry registry;
  test::FakeShellFolders shell;
  WinEnvironment environment;
  test::FakeShortcuts shortcuts;
  test::FakeFileSystem files;
  TvhFile file{{registry, shell, environment, shortcuts, files, WinLocale::System()}};
};

class Variable {
 public:
  Variable(const char* name, const Text& value) : name_(name) { SetEnvironmentVariableA(name, value.c_str()); }
  ~Variable() { SetEnvironmentVariableA(name_, nullptr); }

 private:
  const char* name_;
};

struct RealExpandCase {
  const char* name;
  std::size_t length;  // of the variable's value
};

class WinExpandTest : public ::testing::TestWithParam<RealExpandCase> {};

TEST_P(WinExpandTest, GivesTheWholeExpansion) {
  const Text value(GetParam().length, 'v');
  Variable variable("BRISKO_VALUE", value);
  Expander e;
  Text text = "%BRISKO_VALUE%\\x";
  EXPECT_TRUE(e.file.ExpandEnvironment(text));
  EXPECT_EQ(text, value + "\\x");
}

INSTANTIATE_TEST_SUITE_P(Sizes, WinExpandTest,
                         ::testing::Values(RealExpandCase{"Short", 5},
                                           RealExpandCase{"FillsTheFirstBuffer", 257},
                                           RealExpandCase{"JustOver", 258},
                                           RealExpandCase{"Long", 2000}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(WinExpand, UndefinedReferenceStaysAsWritten) {
  Variable defined("BRISKO_DEFINED", "C:\\\x95\x5C");  // C:\表
  Expander e;
  Text text = "%BRISKO_DEFINED%\\%BRISKO_NOT_DEFINED%\\x";
  EXPECT_TRUE(e.file.ExpandEnvironment(text));
  EXPECT_EQ(text, "C:\\\x95\x5C\\%BRISKO_NOT_DEFINED%\\x");
}

}  // namespace
}  // namespace brisko
