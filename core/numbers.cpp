#include "numbers.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <cstring>

#include "velan_error.h"

namespace {

// A non-negative decimal number mantissa * 10^exponent10, after rounding.
struct RoundedDecimal {
  uint64_t mantissa = 0;
  int exponent10 = 0;
};

// Rounds |x| half away from zero at the digit of weight 10^cutoff, working on the 18 significant
// digits that printf gives (it rounds correctly), so 0.25 -> 0.3 as the decimal text suggests.
RoundedDecimal roundDecimal(double magnitude, int precision, int decimals, bool limitByPrecision) {
  RoundedDecimal result;
  if (magnitude == 0.0) {
    result.exponent10 = -decimals;
    return result;
  }
  // Locale-independent: d.ddddddddddddddddde[+-]xx
  char buffer[40] = {};
  std::to_chars(buffer, buffer + sizeof buffer - 1, magnitude, std::chars_format::scientific, 17);
  char digits[18];
  digits[0] = buffer[0];
  std::memcpy(digits + 1, buffer + 2, 17);
  const int leadingExponent = std::atoi(buffer + 20);

  int cutoff = -decimals;
  if (limitByPrecision) cutoff = std::max(cutoff, leadingExponent - precision + 1);
  result.exponent10 = cutoff;

  const int keptDigits = leadingExponent - cutoff + 1;  // digits of weight >= 10^cutoff
  uint64_t mantissa = 0;
  for (int i = 0; i < keptDigits && i < 18; ++i) mantissa = mantissa * 10 + (digits[i] - '0');
  for (int i = 18; i < keptDigits; ++i) mantissa *= 10;
  const int roundingIndex = keptDigits;  // digit of weight 10^(cutoff-1)
  if (roundingIndex >= 0 && roundingIndex < 18 && digits[roundingIndex] >= '5') ++mantissa;
  result.mantissa = mantissa;
  return result;
}

QString specialText(double x) {
  if (std::isnan(x)) return QStringLiteral("NAN");
  return x < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

// Decimal digits of n into `out` (no terminator); returns the count.
int writeDigits(uint64_t n, char* out) {
  char reversed[24];
  int count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  for (int i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
  return count;
}

// Builds the text in a small ASCII buffer (one allocation for the QString), with "." standing for
// the separator until the end.
QString finish(const char* text, int length, int separatorAt, QChar separator) {
  QString result = QString::fromLatin1(text, length);
  if (separatorAt >= 0) result[separatorAt] = separator;
  return result;
}

QString fixedText(const RoundedDecimal& rounded, bool negative, int decimals, QChar separator) {
  char digits[24];
  const int count = writeDigits(rounded.mantissa, digits);
  char out[400];
  int length = 0;
  if (negative && rounded.mantissa != 0) out[length++] = '-';
  int separatorAt = -1;
  if (rounded.exponent10 >= 0) {
    if (rounded.mantissa == 0) {
      out[length++] = '0';
    } else {
      for (int i = 0; i < count; ++i) out[length++] = digits[i];
      for (int i = 0; i < rounded.exponent10 && length < 360; ++i) out[length++] = '0';
    }
    if (decimals > 0) {
      separatorAt = length;
      out[length++] = '.';
      for (int i = 0; i < decimals; ++i) out[length++] = '0';
    }
    return finish(out, length, separatorAt, separator);
  }
  const int fractionDigits = -rounded.exponent10;
  const int integerDigits = count - fractionDigits;
  if (integerDigits <= 0) {
    out[length++] = '0';
  } else {
    for (int i = 0; i < integerDigits; ++i) out[length++] = digits[i];
  }
  if (decimals > 0) {
    separatorAt = length;
    out[length++] = '.';
    for (int i = 0; i < fractionDigits; ++i) {
      const int index = integerDigits + i;
      out[length++] = index >= 0 ? digits[index] : '0';
    }
    for (int i = fractionDigits; i < decimals; ++i) out[length++] = '0';
  }
  return finish(out, length, separatorAt, separator);
}

int integerDigitCount(const RoundedDecimal& rounded) {
  if (rounded.mantissa == 0) return 1;
  char digits[24];
  return writeDigits(rounded.mantissa, digits) + rounded.exponent10;
}

[[noreturn]] void throwFloatError(const QString& text) {
  throw VelanError(QStringLiteral("'%1' ist kein gültiger Gleitkommawert").arg(text));
}

bool isBlank(QChar c) { return c.unicode() <= 0x20; }

}  // namespace

QString formatFixed(double x, int precision, int decimals, QChar separator) {
  if (!std::isfinite(x)) return specialText(x);
  const RoundedDecimal rounded = roundDecimal(std::fabs(x), precision, decimals, true);
  const bool negative = std::signbit(x);
  if (integerDigitCount(rounded) <= precision)
    return fixedText(rounded, negative, decimals, separator);

  // Exponent form: first digit, the other significant digits without trailing zeros, E, exponent.
  char digits[24];
  int count = writeDigits(rounded.mantissa, digits);
  const int exponent = count - 1 + rounded.exponent10;
  while (count > 1 && digits[count - 1] == '0') --count;
  char out[48];
  int length = 0;
  if (negative) out[length++] = '-';
  out[length++] = digits[0];
  int separatorAt = -1;
  if (count > 1) {
    separatorAt = length;
    out[length++] = '.';
    for (int i = 1; i < count; ++i) out[length++] = digits[i];
  }
  out[length++] = 'E';
  const auto [end, ec] = std::to_chars(out + length, out + sizeof out, exponent);
  (void)ec;
  return finish(out, static_cast<int>(end - out), separatorAt, separator);
}

QString formatCell(double x, int minWidth, int decimals) {
  QString text;
  if (!std::isfinite(x)) {
    text = specialText(x);
  } else {
    const RoundedDecimal rounded = roundDecimal(std::fabs(x), 18, decimals, false);
    text = fixedText(rounded, std::signbit(x), decimals, QLatin1Char('.'));
  }
  if (text.size() < minWidth) text.prepend(QString(minWidth - text.size(), QLatin1Char(' ')));
  text.truncate(10);
  return text;
}

double parseNumber(const QString& text, QChar separator) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;

  // Validate the shape first: sign, digits with at most one separator, optional exponent.
  std::string ascii;
  ascii.reserve(static_cast<size_t>(end - begin));
  qsizetype i = begin;
  if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
    if (text[i] == QLatin1Char('-')) ascii += '-';
    ++i;
  }
  int mantissaDigits = 0;
  bool seenSeparator = false;
  for (; i < end; ++i) {
    const QChar c = text[i];
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
      ascii += static_cast<char>(c.unicode());
      ++mantissaDigits;
    } else if (c == separator && !seenSeparator) {
      seenSeparator = true;
      ascii += '.';
    } else {
      break;
    }
  }
  if (mantissaDigits == 0) throwFloatError(text);
  if (i < end && (text[i] == QLatin1Char('E') || text[i] == QLatin1Char('e'))) {
    ascii += 'e';
    ++i;
    if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
      if (text[i] == QLatin1Char('-')) ascii += '-';
      ++i;
    }
    int exponentDigits = 0;
    for (; i < end && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
      ascii += static_cast<char>(text[i].unicode());
      ++exponentDigits;
    }
    if (exponentDigits == 0) throwFloatError(text);
  }
  if (i != end) throwFloatError(text);

  double value = 0;
  const auto [ptr, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (ec != std::errc() || ptr != ascii.data() + ascii.size()) throwFloatError(text);
  return value;
}

int32_t parseInteger(const QString& text) {
  qsizetype i = 0;
  const qsizetype end = text.size();
  while (i < end && text[i] == QLatin1Char(' ')) ++i;
  bool negative = false;
  if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
    negative = text[i] == QLatin1Char('-');
    ++i;
  }
  const auto fail = [&text]() -> int32_t {
    throw VelanError(QStringLiteral("'%1' ist kein gültiger Integerwert").arg(text));
  };
  if (i == end) return fail();
  int64_t value = 0;
  for (; i < end; ++i) {
    const QChar c = text[i];
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return fail();
    value = value * 10 + (c.unicode() - '0');
    if (value > 2147483648LL) return fail();
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return fail();
  return static_cast<int32_t>(value);
}

QChar systemDecimalSeparator() {
  const QString point = QLocale::system().decimalPoint();
  return point.isEmpty() ? QLatin1Char('.') : point.front();
}

#include <QDateTime>
#include <QRegularExpression>

QString dateTimeText(const QDateTime& moment) {
  const QLocale locale = QLocale::system();
  QString timeFormat = locale.timeFormat(QLocale::LongFormat);
  // The long format may carry a time zone ("t"); the record's start time never did.
  static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
  timeFormat.replace(zone, QString());
  if (!timeFormat.contains(QLatin1Char('s'))) timeFormat = QStringLiteral("HH:mm:ss");
  return locale.toString(moment.date(), QLocale::ShortFormat) + QStringLiteral("  ") +
         locale.toString(moment.time(), timeFormat);
}
