#include "core/errors.h"

#include <gtest/gtest.h>

#include "core/text/fixed_texts.h"

namespace brisko {
namespace {

struct ReportCase {
  Text message, shown;
};

class ExceptionReportTest : public ::testing::TestWithParam<ReportCase> {};

TEST_P(ExceptionReportTest, AddsAFullStopAfterHigherCodes) {
  EXPECT_EQ(ExceptionReportText(GetParam().message), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExceptionReportTest,
                         ::testing::Values(ReportCase{"", ""}, ReportCase{"done.", "done."},
                                           ReportCase{"a-", "a-"}, ReportCase{"x", "x."},
                                           ReportCase{"1/", "1/."},
                                           // A double-byte last character (す = 82 B7).
                                           ReportCase{"\x82\xB7", "\x82\xB7."}));

TEST(FormatText, InsertsTheArgumentAsText) {
  EXPECT_EQ(FormatText("'%s' x", "a%sb"), "'a%sb' x");
  EXPECT_EQ(ResourceNotFoundText("RESOURCE_FILE3"), FormatText(texts::kErrResourceNotFoundFmt, "RESOURCE_FILE3"));
  EXPECT_EQ(ResourceNotFoundText("RESOURCE_FILE3").substr(0, 15), "RESOURCE_FILE3 ");
}

TEST(DecimalText, GivesTheDigits) {
  EXPECT_EQ(DecimalText(0), "0");
  EXPECT_EQ(DecimalText(7), "7");
  EXPECT_EQ(DecimalText(1024), "1024");
  EXPECT_EQ(DecimalText(18446744073709551615u), "18446744073709551615");
}

TEST(RaisedError, KeepsTheFirstMessage) {
  RaisedError error;
  EXPECT_FALSE(error.raised());
  error.Raise("first");
  error.Raise("second");
  EXPECT_TRUE(error.raised());
  EXPECT_EQ(error.message(), "first");
}

}  // namespace
}  // namespace brisko
