#include "numbers.h"

#include <gtest/gtest.h>

#include <cmath>

#include "velan_error.h"

namespace {

struct FixedCase {
  double x;
  int precision;
  int decimals;
  const char* text;  // with "." as separator
};

const FixedCase kFixedCases[] = {
    {2500, 3, 0, "2.5E3"},       {1000, 3, 0, "1E3"},     {1020, 3, 0, "1.02E3"},
    {-100, 3, 0, "-100"},        {0.1, 3, 3, "0.100"},    {0.0004, 3, 3, "0.000"},
    {10.4, 2, 1, "10.0"},        {45.7, 2, 1, "46.0"},    {1, 5, 1, "1.0"},
    {0.25, 5, 1, "0.3"},         {0.75, 5, 1, "0.8"},     {1234.56, 5, 1, "1234.6"},
    {12345.67, 5, 1, "12346.0"}, {99999.96, 5, 1, "1E5"}, {123456.7, 5, 1, "1.2346E5"},
    {-14.04, 5, 2, "-14.04"},    {-0.004, 5, 2, "0.00"},  {-0.006, 5, 2, "-0.01"},
    {2499.876, 5, 2, "2499.90"}, {0, 5, 2, "0.00"},       {12345.678, 5, 2, "12346.00"},
    {100000, 5, 1, "1E5"},       {0.5, 3, 2, "0.50"},     {0.0025, 3, 3, "0.003"},
    {0.0005, 3, 3, "0.001"},     {100.2, 3, 2, "100.00"}, {1002.5, 3, 1, "1E3"},
    {998, 3, 1, "998.0"},        {-0.2, 3, 2, "-0.20"},   {6250, 3, 0, "6.25E3"},
    {45.7, 2, 1, "46.0"},        {59.96, 2, 1, "60.0"},   {5.3, 2, 1, "5.3"},
};

TEST(FormatFixed, MatchesEveryExampleWithBothSeparators) {
  for (const FixedCase& c : kFixedCases) {
    EXPECT_EQ(formatFixed(c.x, c.precision, c.decimals, QLatin1Char('.')),
              QString::fromLatin1(c.text))
        << c.x << " p" << c.precision << " d" << c.decimals;
    const QString comma = QString::fromLatin1(c.text).replace(QLatin1Char('.'), QLatin1Char(','));
    EXPECT_EQ(formatFixed(c.x, c.precision, c.decimals, QLatin1Char(',')), comma) << c.x;
  }
}

TEST(FormatFixed, RoundTripsThroughParseNumber) {
  // Every text formatFixed writes reads back to the value it shows, so it formats to itself.
  const double values[] = {0.1,  0.25,    1,    2.5,         12345.67, 99999.96, 123456.7, -14.04,
                           1e-5, 3.14159, 1e12, -987654.321, 0.001,    5e3,      2.5e4};
  for (QChar separator : {QLatin1Char('.'), QLatin1Char(',')}) {
    for (double value : values) {
      for (int precision : {2, 3, 5}) {
        for (int decimals : {0, 1, 2, 3}) {
          const QString text = formatFixed(value, precision, decimals, separator);
          const double back = parseNumber(text, separator);
          EXPECT_EQ(formatFixed(back, precision, decimals, separator), text) << text.toStdString();
        }
      }
    }
  }
}

TEST(FormatFixed, NonFiniteValuesDoNotCrash) {
  EXPECT_EQ(formatFixed(NAN, 5, 2, QLatin1Char('.')), QStringLiteral("NAN"));
  EXPECT_EQ(formatFixed(-INFINITY, 5, 2, QLatin1Char('.')), QStringLiteral("-INF"));
}

TEST(FormatCell, FixedWidthTextsOfTheTable) {
  struct Case {
    double x;
    int width;
    int decimals;
    const char* text;
  } const cases[] = {
      {1.0, 5, 1, "  1.0"},      {12.5, 5, 1, " 12.5"},      {1234.0, 5, 1, "1234.0"},
      {0.25, 5, 1, "  0.3"},     {0.75, 5, 1, "  0.8"},      {10.0, 5, 1, " 10.0"},
      {38.85, 6, 2, " 38.85"},   {-14.04, 6, 2, "-14.04"},   {5, 6, 2, "  5.00"},
      {1e7, 6, 2, "10000000.0"}, {-1e6, 6, 2, "-1000000.0"}, {123456.78, 6, 2, "123456.78"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formatCell(c.x, c.width, c.decimals), QString::fromLatin1(c.text)) << c.x;
  }
}

TEST(ParseNumber, AcceptsWhatUsersAndTheProgramWrite) {
  struct Case {
    const char* text;
    QChar separator;
    double value;
  } const cases[] = {
      {"1E5", QLatin1Char('.'), 100000},    {" 2.50 ", QLatin1Char('.'), 2.5},
      {"2,50", QLatin1Char(','), 2.5},      {"-14.04", QLatin1Char('.'), -14.04},
      {"+3", QLatin1Char('.'), 3},          {"1.2346E5", QLatin1Char('.'), 123460},
      {"2.5e-3", QLatin1Char('.'), 0.0025}, {"1,2346E5", QLatin1Char(','), 123460},
      {"5.", QLatin1Char('.'), 5},          {".5", QLatin1Char('.'), 0.5},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(parseNumber(QString::fromLatin1(c.text), c.separator), c.value) << c.text;
  }
}

TEST(ParseNumber, RejectsEverythingElseWithTheExactMessage) {
  struct Case {
    const char* text;
    QChar separator;
  } const cases[] = {
      {"", QLatin1Char('.')},      {" ", QLatin1Char('.')},     {"1.0", QLatin1Char(',')},
      {"1,0", QLatin1Char('.')},   {"1.2.3", QLatin1Char('.')}, {"E5", QLatin1Char('.')},
      {"1E", QLatin1Char('.')},    {"abc", QLatin1Char('.')},   {"1 2", QLatin1Char('.')},
      {"1e999", QLatin1Char('.')}, {"--1", QLatin1Char('.')},   {"INF", QLatin1Char('.')},
  };
  for (const auto& c : cases) {
    try {
      parseNumber(QString::fromLatin1(c.text), c.separator);
      ADD_FAILURE() << "accepted " << c.text;
    } catch (const VelanError& error) {
      EXPECT_EQ(
          error.message(),
          QStringLiteral("'%1' ist kein gültiger Gleitkommawert").arg(QString::fromLatin1(c.text)));
    }
  }
}

TEST(ParseInteger, LeadingBlanksAndSignOnly) {
  EXPECT_EQ(parseInteger(QStringLiteral("3")), 3);
  EXPECT_EQ(parseInteger(QStringLiteral("  -12")), -12);
  EXPECT_EQ(parseInteger(QStringLiteral("+7")), 7);
  EXPECT_EQ(parseInteger(QStringLiteral("-2147483648")), INT32_MIN);
  for (const char* bad : {"", "COM3", "3 ", "1.0", "2147483648", "-", " "}) {
    try {
      parseInteger(QString::fromLatin1(bad));
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const VelanError& error) {
      EXPECT_EQ(error.message(),
                QStringLiteral("'%1' ist kein gültiger Integerwert").arg(QString::fromLatin1(bad)));
    }
  }
}

}  // namespace
