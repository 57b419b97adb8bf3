#include "numbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <string>

#include "date_time_text.h"
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
      {"1E5", QLatin1Char('.'), 100000},
      {" 2.50 ", QLatin1Char('.'), 2.5},
      {"2,50", QLatin1Char(','), 2.5},
      {"-14.04", QLatin1Char('.'), -14.04},
      {"+3", QLatin1Char('.'), 3},
      {"1.2346E5", QLatin1Char('.'), 123460},
      {"2.5e-3", QLatin1Char('.'), 0.0025},
      {"1,2346E5", QLatin1Char(','), 123460},
      {"5.", QLatin1Char('.'), 5},
      {".5", QLatin1Char('.'), 0.5},
      {"1e-400", QLatin1Char('.'), 0},
      {"-1,5e-999", QLatin1Char(','), -0.0},
      {"4.9e-324", QLatin1Char('.'), 4.9e-324},
      {"2e-320", QLatin1Char('.'), 2e-320},
  };
  for (const auto& c : cases) {
    // Bit for bit: == would take -0.0 for 0.0.
    EXPECT_EQ(std::bit_cast<uint64_t>(parseNumber(QString::fromLatin1(c.text), c.separator)),
              std::bit_cast<uint64_t>(c.value))
        << c.text;
  }
}

TEST(ParseNumber, RejectsEverythingElseWithTheExactMessage) {
  struct Case {
    const char* text;
    QChar separator;
  } const cases[] = {
      {"", QLatin1Char('.')},       {" ", QLatin1Char('.')},     {"1.0", QLatin1Char(',')},
      {"1,0", QLatin1Char('.')},    {"1.2.3", QLatin1Char('.')}, {"E5", QLatin1Char('.')},
      {"1E", QLatin1Char('.')},     {"abc", QLatin1Char('.')},   {"1 2", QLatin1Char('.')},
      {"1e999", QLatin1Char('.')},  {"--1", QLatin1Char('.')},   {"INF", QLatin1Char('.')},
      {"-2e400", QLatin1Char('.')},
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

namespace {

// Significant digits and the weight of the last one, without leading or trailing zeros:
// "0.100" and "1E-1" both give "1e-1"; zero gives "0".
std::string significant(std::string digits, int lastExponent) {
  const size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return "0";
  digits.erase(0, first);
  while (digits.back() == '0') {
    digits.pop_back();
    ++lastExponent;
  }
  return digits + "e" + std::to_string(lastExponent);
}

// The same for a text of formatFixed ("-12.50", "1.2346E5"), separator ".".
std::string significantOfText(const std::string& text) {
  std::string digits;
  int decimals = 0;
  bool afterPoint = false;
  size_t i = text[0] == '-' ? 1 : 0;
  for (; i < text.size() && text[i] != 'E'; ++i) {
    if (text[i] == '.') {
      afterPoint = true;
    } else {
      digits += text[i];
      if (afterPoint) ++decimals;
    }
  }
  const int exponent = i < text.size() ? std::stoi(text.substr(i + 1)) : 0;
  return significant(digits, exponent - decimals);
}

// Independent oracle: round the 18-significant-digit expansion (to_chars, precision 17) half up
// at the cutoff with string arithmetic.
std::string oracleRounded(double magnitude, int precision, int decimals) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 17);
  std::string text(buffer, result.ptr);
  std::string digits = text.substr(0, 1) + text.substr(2, 17);
  const int exponent = std::stoi(text.substr(20));
  const int cutoff = std::max(-decimals, exponent - precision + 1);
  const int kept = exponent - cutoff + 1;
  if (kept < 0) return "0";
  std::string head = digits.substr(0, static_cast<size_t>(std::min(kept, 18)));
  while (static_cast<int>(head.size()) < kept) head += '0';
  if (kept < 18 && digits[static_cast<size_t>(kept)] >= '5') {
    int i = static_cast<int>(head.size()) - 1;
    while (i >= 0 && head[static_cast<size_t>(i)] == '9') head[static_cast<size_t>(i--)] = '0';
    if (i < 0) {
      head.insert(head.begin(), '1');
    } else {
      ++head[static_cast<size_t>(i)];
    }
  }
  return significant(head.empty() ? "0" : head, cutoff);
}

TEST(FormatFixed, RoundsLikeThe18DigitExpansionEverywhere) {
  // The fast path works from the shortest digits; near-halves and powers of ten must still round
  // as the 18-digit expansion does (0.15 is really 0.149999..., so one decimal gives 0.1).
  EXPECT_EQ(formatFixed(0.15, 5, 1, QLatin1Char('.')), QStringLiteral("0.1"));
  EXPECT_EQ(formatFixed(0.35, 5, 1, QLatin1Char('.')), QStringLiteral("0.3"));
  EXPECT_EQ(formatFixed(2.675, 5, 2, QLatin1Char('.')), QStringLiteral("2.67"));
  EXPECT_EQ(formatFixed(1.005, 5, 2, QLatin1Char('.')), QStringLiteral("1.00"));
  uint64_t state = 0x9E3779B97F4A7C15ull;
  const auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  int compared = 0;
  for (int i = 0; i < 80000; ++i) {
    const uint64_t r = next();
    double x;
    switch (i % 4) {
      case 0:  // values with few decimals, the near-half cases
        x = static_cast<double>(static_cast<int64_t>(r % 2000000) - 1000000) / 2000.0;
        break;
      case 1:  // averaged readings
        x = static_cast<double>(r % 100000000) / 1638.0 / 7.0;
        break;
      case 2:  // powers of ten and their neighbours
        x = std::nextafter(std::pow(10.0, static_cast<int>(r % 12) - 3), (r & 1) ? 0.0 : 1e300);
        break;
      default:  // any magnitude
        x = std::ldexp(static_cast<double>(r >> 11), static_cast<int>(r % 80) - 60);
        break;
    }
    for (const auto& [precision, decimals] :
         {std::pair{5, 1}, {5, 2}, {3, 2}, {3, 3}, {2, 1}, {16, 6}, {17, 6}, {18, 3}, {18, 1}}) {
      const QString text = formatFixed(x, precision, decimals, QLatin1Char('.'));
      ASSERT_EQ(significantOfText(text.toStdString()),
                oracleRounded(std::fabs(x), precision, decimals))
          << std::setprecision(17) << x << " p" << precision << " d" << decimals << " -> "
          << text.toStdString();
      ++compared;
    }
  }
  EXPECT_EQ(compared, 720000);
  EXPECT_EQ(formatFixed(20756483791.361732, 17, 6, QLatin1Char('.')),
            QStringLiteral("20756483791.361733"));
}

TEST(FormatCell, LongNumbersKeep18DigitsThenZeros) {
  EXPECT_EQ(formatCell(1e20, 6, 2), QStringLiteral("1000000000"));
  EXPECT_EQ(formatCell(-1e300, 6, 2), QStringLiteral("-100000000"));
}

TEST(DateTimeText, ReadsBackWhatItWroteInEveryLocale) {
  const QDateTime moment(QDate(2026, 12, 8), QTime(7, 0, 1));
  for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
                                QLocale(QLocale::English, QLocale::UnitedStates)}) {
    EXPECT_EQ(parseDateTimeText(dateTimeText(moment, locale), locale), moment)
        << dateTimeText(moment, locale).toStdString();  // "08.12.26" is 2026, not 1926
  }
  EXPECT_EQ(parseDateTimeText(QStringLiteral("yesterday")), std::nullopt);
  EXPECT_EQ(parseDateTimeText(QStringLiteral("21.10.1999  16:08:42"))->date().year(), 1999)
      << "a four-digit year is what it says";
}

}  // namespace
