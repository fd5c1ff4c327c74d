#include "core/conversions.h"

#include <gtest/gtest.h>

namespace core {
namespace {

TEST(ConversionsTest, PrinterAmountIsRoundedAndGroupedWithoutDecimals) {
  struct Case {
    long long cents;
    const char* text;
  } cases[] = {{1234567, "12.346"}, {1250, "0.013"}, {0, "0.000"}};
  for (const Case& c : cases) {
    EXPECT_EQ(PrinterAmountText(tef::TCurrency::FromCents(c.cents)), c.text) << c.cents;
  }
}

}  // namespace
}  // namespace core
