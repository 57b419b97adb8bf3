#include "numbers.h"

#include <QLocale>
#include <algorithm>
#include <array>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "decimal_rounding.h"
#include "velan_error.h"

namespace {

// Writes the fixed text of units x 10^cutoff (cutoff -3..0) with `decimals` decimals, as
// fixedText writes the same number; `integerLimit` integer digits at most, else returns 0.
int unitsText(uint64_t units, int cutoff, bool negative, int decimals, char separator,
              int integerLimit, char* out) {
  const int fractionDigits = -cutoff;
  // Constant divisors: the compiler multiplies; a divisor from a table would take a division
  // instruction, several times this whole function's other work.
  uint64_t whole = units;
  uint32_t fraction = 0;
  switch (fractionDigits) {
    case 1:
      whole = units / 10;
      fraction = static_cast<uint32_t>(units % 10);
      break;
    case 2:
      whole = units / 100;
      fraction = static_cast<uint32_t>(units % 100);
      break;
    case 3:
      whole = units / 1000;
      fraction = static_cast<uint32_t>(units % 1000);
      break;
    default:
      break;
  }
  int integerDigits = 1;
  for (uint64_t power = 10; integerDigits < 20 && whole >= power; power *= 10) ++integerDigits;
  if (integerDigits > integerLimit) return 0;
  out[0] = '-';
  int length = static_cast<int>(negative & (units > 0));  // no sign for a number rounded to 0
  // Straight into place: digits copied after being written byte by byte would wait for those
  // stores.
  length += integerDigits;
  digitsBefore(out + length, whole);
  if (decimals > 0) {
    out[length++] = separator;
    for (int i = fractionDigits - 1; i >= 0; --i) {
      out[length + i] = static_cast<char>('0' + fraction % 10);
      fraction /= 10;
    }
    length += fractionDigits;
    for (int i = fractionDigits; i < decimals; ++i) out[length++] = '0';
  }
  return length;
}

int copyText(const char* text, char* out) {
  const int length = static_cast<int>(std::strlen(text));
  std::memcpy(out, text, static_cast<size_t>(length));
  return length;
}

int specialText(double x, char* out) {
  if (std::isnan(x)) return copyText("NAN", out);
  return copyText(x < 0 ? "-INF" : "INF", out);
}

int fixedText(const RoundedDecimal& rounded, bool negative, int decimals, char separator,
              char* out) {
  int length = 0;
  if (negative && rounded.count > 0) out[length++] = '-';
  const int fractionDigits = rounded.lastExponent < 0 ? -rounded.lastExponent : 0;
  const int integerDigits = rounded.count - fractionDigits;
  if (integerDigits <= 0) {
    out[length++] = '0';
  } else {
    // All digits copied (fixed size: no library call), the integer ones kept.
    std::memcpy(out + length, rounded.digits, sizeof rounded.digits);
    length += integerDigits;
    // Digits of weight above the last one kept are zeros (at most 18 significant digits).
    if (rounded.count > 0) {
      for (int i = 0; i < rounded.lastExponent && length < 360; ++i) out[length++] = '0';
    }
  }
  if (decimals > 0) {
    out[length++] = separator;
    for (int i = 0; i < fractionDigits; ++i) {
      const int index = integerDigits + i;
      out[length++] = index >= 0 ? rounded.digits[index] : '0';
    }
    for (int i = fractionDigits; i < decimals; ++i) out[length++] = '0';
  }
  return length;
}

int exponentText(const RoundedDecimal& rounded, bool negative, char separator, char* out) {
  int count = rounded.count;
  const int exponent = count - 1 + rounded.lastExponent;
  while (count > 1 && rounded.digits[count - 1] == '0') --count;
  int length = 0;
  if (negative) out[length++] = '-';
  out[length++] = rounded.digits[0];
  if (count > 1) {
    out[length++] = separator;
    std::memcpy(out + length, rounded.digits + 1, static_cast<size_t>(count - 1));
    length += count - 1;
  }
  out[length++] = 'E';
  const auto [end, ec] = std::to_chars(out + length, out + length + 8, exponent);
  (void)ec;
  return static_cast<int>(end - out);
}

int integerDigitCount(const RoundedDecimal& rounded) {
  return rounded.count == 0 ? 1 : rounded.count + rounded.lastExponent;
}

// The texts are ASCII but for the separator; a separator outside Latin-1 is put in afterwards.
QString toQString(const char* text, int length, QChar separator) {
  QString result = QString::fromLatin1(text, length);
  if (separator.unicode() > 0xFF) result.replace(QLatin1Char('.'), separator);
  return result;
}

char asciiSeparator(QChar separator) {
  return separator.unicode() <= 0xFF ? static_cast<char>(separator.unicode()) : '.';
}

[[noreturn]] void throwFloatError(QStringView text) {
  throw VelanError(QStringLiteral("'%1' ist kein gültiger Gleitkommawert").arg(text.toString()));
}

bool isBlank(QChar c) { return c.unicode() <= 0x20; }

}  // namespace

int formatFixedInto(char* out, double x, int precision, int decimals, char separator) {
  int cutoff = 0;
  uint64_t units = 0;
  if (roundToUnitsInDouble(std::fabs(x), precision, decimals, cutoff, units)) {
    const int length =
        unitsText(units, cutoff, std::signbit(x), decimals, separator, precision, out);
    if (length > 0) return length;  // else too many integer digits: the exponent form
  }
  if (!std::isfinite(x)) return specialText(x, out);
  const RoundedDecimal rounded = roundDecimal(std::fabs(x), precision, decimals);
  const bool negative = std::signbit(x);
  if (integerDigitCount(rounded) <= precision) {
    return fixedText(rounded, negative, decimals, separator, out);
  }
  return exponentText(rounded, negative, separator, out);
}

int formatTimeInto(char* out, double seconds, char separator) {
  int cutoff = 0;
  uint64_t units = 0;
  if (roundToUnitsInDouble(std::fabs(seconds), 18, 1, cutoff, units)) {
    return unitsText(units, cutoff, std::signbit(seconds), 1, separator, 18, out);
  }
  if (!std::isfinite(seconds)) return specialText(seconds, out);
  // 18 significant digits, then zeros, as formatCell writes a fixed-point text of any length.
  const RoundedDecimal rounded = roundDecimal(std::fabs(seconds), 18, 1);
  return fixedText(rounded, std::signbit(seconds), 1, separator, out);
}

bool isBlankText(QStringView text) { return std::all_of(text.begin(), text.end(), isBlank); }

QString formatFixed(double x, int precision, int decimals, QChar separator) {
  char text[kFormattedCapacity];
  const int length = formatFixedInto(text, x, precision, decimals, asciiSeparator(separator));
  return toQString(text, length, separator);
}

namespace {
int decimalsInto(char* text, double x, int decimals, char separator) {
  if (!std::isfinite(x)) return specialText(x, text);
  const RoundedDecimal rounded = roundDecimal(std::fabs(x), 18, decimals);
  return fixedText(rounded, std::signbit(x), decimals, separator, text);
}
}  // namespace

QString formatDecimals(double x, int decimals, QChar separator) {
  char text[kFormattedCapacity];
  return QString::fromLatin1(text, decimalsInto(text, x, decimals, char(separator.toLatin1())));
}

QString formatCell(double x, int minWidth, int decimals) {
  char text[kFormattedCapacity];
  const int length = decimalsInto(text, x, decimals, '.');
  QString cell;
  if (length < minWidth) cell.fill(QLatin1Char(' '), minWidth - length);
  cell += QLatin1String(text, std::min(length, 10));
  cell.truncate(10);
  return cell;
}

double parseNumber(QStringView text, QChar separator) {
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
  if (ec == std::errc::result_out_of_range) {
    // A value too small for a double is 0 or the nearest subnormal, as any reader takes it;
    // only a value too large is an error.
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", nullptr);
    value = strtod_l(ascii.c_str(), nullptr, cLocale);
    if (std::isinf(value)) throwFloatError(text);
    return value;
  }
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

QString fileValueText(double value, int decimals, QChar separator) {
  return formatFixed(value, kFileValueDigits, decimals, separator);
}
