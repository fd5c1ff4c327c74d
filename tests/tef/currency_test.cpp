#include "tef/currency.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

namespace tef {
namespace {

TEST(CurrencyTest, FromDoubleRoundsTiesToEven) {
  struct Case {
    double in;
    int64_t units;
  } cases[] = {
      {12.5, 125000},
      {0.1, 1000},
      {110.01, 1100100},
      {0.00005, 0},
      // n/32 scaled by 10000 ends in exactly .5: the real ties.
      {1.0 / 32, 312},
      {3.0 / 32, 938},
      {-1.0 / 32, -312},
      {5.0 / 32, 1562},
      {0.000051, 1},
      {1.23456, 12346},
      {-1.23454, -12345},
      {0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TCurrency::FromDouble(c.in).Units(), c.units) << c.in;
  }
  EXPECT_THROW(TCurrency::FromDouble(1e300), std::out_of_range);
  EXPECT_THROW(TCurrency::FromDouble(std::numeric_limits<double>::quiet_NaN()), std::out_of_range);
}

TEST(CurrencyTest, CentsRoundingModes) {
  struct Case {
    int64_t units;
    int64_t even, up, away;
  } cases[] = {
      {125050, 1250, 1251, 1251}, {125150, 1252, 1252, 1252}, {-125050, -1250, -1250, -1251},
      {125049, 1250, 1250, 1250}, {125051, 1251, 1251, 1251}, {-125051, -1251, -1251, -1251},
      {100000, 1000, 1000, 1000},
  };
  for (const auto& c : cases) {
    const auto v = TCurrency::FromUnits(c.units);
    EXPECT_EQ(v.ToCents(TArredondamento::MeioParaPar), c.even) << c.units;
    EXPECT_EQ(v.ToCents(TArredondamento::MeioParaCima), c.up) << c.units;
    EXPECT_EQ(v.ToCents(TArredondamento::MeioLongeDoZero), c.away) << c.units;
  }
}

TEST(CurrencyTest, Parse) {
  struct Case {
    const char* in;
    bool ok;
    int64_t units;
  } cases[] = {
      {"12.5", true, 125000},   {"12,50", true, 125000},
      {" -3 ", true, -30000},   {"+0,0001", true, 1},
      {"1.23455", true, 12346}, {"1.23454", true, 12345},
      {",5", true, 5000},       {"7.", true, 70000},
      {"", false, 0},           {"abc", false, 0},
      {"1.234,56", false, 0},   {"1e3", false, 0},
      {".", false, 0},          {"99999999999999999999", false, 0},
  };
  for (const auto& c : cases) {
    const auto v = TCurrency::Parse(c.in);
    EXPECT_EQ(v.has_value(), c.ok) << c.in;
    if (v && c.ok) {
      EXPECT_EQ(v->Units(), c.units) << c.in;
    }
  }
}

TEST(CurrencyTest, Formatting) {
  EXPECT_EQ(TCurrency::FromDouble(12.5).FormatDot(), "12.50");
  EXPECT_EQ(TCurrency::FromUnits(5).FormatDot(), "0.00");
  EXPECT_EQ(TCurrency::FromUnits(50).FormatDot(), "0.01");
  EXPECT_EQ(TCurrency::FromUnits(-12345).FormatDot(), "-1.23");
  EXPECT_EQ(TCurrency::FromInteger(10).FormatComma(), "10,00");
  EXPECT_EQ(TCurrency::FromUnits(12345678900).FormatBR(), "1.234.567,89");
  EXPECT_EQ(TCurrency().FormatBR(), "0,00");
}

TEST(CurrencyTest, ArithmeticAndComparison) {
  const auto a = TCurrency::FromCents(1000), b = TCurrency::FromCents(150);
  EXPECT_EQ((a - b).Units(), 85000);
  EXPECT_EQ((a + b).FormatDot(), "11.50");
  EXPECT_LT(b, a);
  EXPECT_EQ(-a, TCurrency::FromCents(-1000));
  auto c = a;
  c -= b;
  c += b;
  EXPECT_EQ(c, a);
  EXPECT_EQ(TCurrency::FromUnits(12351).RoundedToCents(TArredondamento::MeioLongeDoZero).Units(),
            12400);
}

}  // namespace
}  // namespace tef
