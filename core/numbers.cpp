#include "numbers.h"

#include <QLocale>
#include <algorithm>
#include <array>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "velan_error.h"

namespace {

// A non-negative decimal number after rounding: its significant digits, most significant first
// (none for zero), the last one of weight 10^exponent10.
struct RoundedDecimal {
  char digits[24];
  int count = 0;
  int exponent10 = 0;
};

// The digits and leading decimal exponent of a to_chars scientific text "d.ddde+xx".
struct DecimalDigits {
  char digits[24];
  int count = 0;
  int exponent = 0;
};

DecimalDigits scientificDigits(const char* begin, const char* end) {
  DecimalDigits result;
  const char* p = begin;
  for (; p < end && *p != 'e'; ++p) {
    if (*p != '.') result.digits[result.count++] = *p;
  }
  if (p < end) ++p;  // 'e'
  const bool negative = p < end && *p == '-';
  if (p < end && (*p == '+' || *p == '-')) ++p;
  for (; p < end; ++p) result.exponent = result.exponent * 10 + (*p - '0');
  if (negative) result.exponent = -result.exponent;
  return result;
}

// Keeps the digits of weight >= 10^cutoff (at most the precision, so at most 18) and rounds half
// up on the next one.
RoundedDecimal roundDigits(const DecimalDigits& d, int cutoff) {
  RoundedDecimal result;
  result.exponent10 = cutoff;
  const int keptDigits = d.exponent - cutoff + 1;
  for (int i = 0; i < keptDigits; ++i)
    result.digits[result.count++] = i < d.count ? d.digits[i] : '0';
  if (keptDigits >= 0 && keptDigits < d.count && d.digits[keptDigits] >= '5') {
    int i = result.count - 1;
    while (i >= 0 && result.digits[i] == '9') result.digits[i--] = '0';
    if (i >= 0) {
      ++result.digits[i];
    } else {
      std::memmove(result.digits + 1, result.digits, static_cast<size_t>(result.count));
      result.digits[0] = '1';
      ++result.count;
    }
  }
  return result;
}

int cutoffFor(int leadingExponent, int precision, int decimals) {
  return std::max(-decimals, leadingExponent - precision + 1);
}

// Rounds |x| half away from zero at the digit of weight 10^cutoff, working on the number's
// decimal expansion to 18 significant digits (correctly rounded by to_chars), so 0.25 -> 0.3 and
// 0.15 (really 0.1499999999999999944...) -> 0.1, as the program has always written them.
RoundedDecimal roundDecimalExact(double magnitude, int precision, int decimals) {
  char buffer[40];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 17);
  (void)ec;
  const DecimalDigits d = scientificDigits(buffer, end);
  return roundDigits(d, cutoffFor(d.exponent, precision, decimals));
}

// Writes the decimal digits of `value`, two a division, so that they end just before `end`;
// returns where they begin.
char* digitsBefore(char* end, uint64_t value) {
  static constexpr char kPairs[] =
      "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243"
      "4445464748495051525354555657585960616263646566676869707172737475767778798081828384858687"
      "888990919293949596979899";
  for (; value >= 100; value /= 100) {
    end -= 2;
    std::memcpy(end, kPairs + 2 * (value % 100), 2);
  }
  if (value >= 10) {
    end -= 2;
    std::memcpy(end, kPairs + 2 * value, 2);
  } else {
    *--end = static_cast<char>('0' + value);
  }
  return end;
}

// The digits of a rounded whole number `value` at weight 10^cutoff.
void setDigits(uint64_t value, int cutoff, RoundedDecimal& result) {
  result.exponent10 = cutoff;
  result.count = 0;
  if (value == 0) return;
  // Written before position 20, copied as a whole: a copy of fixed size is a few moves, one of
  // the digit count a library call.
  char text[40] = {};
  const char* first = digitsBefore(text + 20, value);
  result.count = static_cast<int>(text + 20 - first);
  static_assert(sizeof result.digits >= 20);
  std::memcpy(result.digits, first, 20);
}

// The rounded units for at most 15 kept digits, in double arithmetic alone: the x87 unit's
// conversions to integers cost several times more on some processors than this whole function. Why
// it is exact: s = 10^-cutoff has at most 10 bits, so with x split into two 26-bit halves
// (Veltkamp) both partial products are exact and lo = (xHigh * s - hi) + xLow * s is the exact
// error of hi = fl(x * s) (Dekker's product), |lo| <= ulp(hi) / 2. Here x * s < 10^15 < 2^50,
// so ulp(hi) <= 2^-3, the integer part is exact, and f = hi - whole is an exact multiple of
// ulp(hi), and so is f - 0.5 (exact for f >= 0.25 by Sterbenz). The fraction of x * s is
// f + lo: a nonzero f - 0.5 is at least ulp(hi) in size, twice |lo|, so its sign decides; when
// it is zero, lo's sign does. The 18-digit expansion can turn a fraction below one half into a
// half only within 5 units of its 19th digit of it, 5e-18 * hi * 10 at most, while a nonzero
// f - 0.5 keeps the fraction ulp(hi) / 2 >= 2^-54 * hi away: only f = 0.5 with lo < 0 comes
// that near, and it goes to the digit paths.
bool unitsInDouble(double magnitude, int cutoff, int keptDigits, uint64_t& units) {
  if (keptDigits < 0) return false;  // rounds to nothing or to one unit: the digit paths
  static constexpr double kScale[] = {1.0, 10.0, 100.0, 1000.0};
  const double s = kScale[-cutoff];
  const double split = magnitude * 134217729.0;  // 2^27 + 1
  const double high = split - (split - magnitude);
  const double low = magnitude - high;
  const double hi = magnitude * s;
  const double lo = (high * s - hi) + low * s;
  // hi < 2^50: the signed conversion is exact and, unlike the unsigned one, one instruction.
  const int64_t whole = static_cast<int64_t>(hi);
  const double f = hi - static_cast<double>(whole);
  // Below 0.25, f - 0.5 may be inexact but stays clearly negative. Decided without a branch:
  // the fractions of measured values fall either way at random.
  const double belowHalf = f - 0.5;
  const bool onHalf = belowHalf == 0;
  if (onHalf & (lo < 0))
    return false;  // just below one half: the 18-digit expansion may make it one
  units =
      static_cast<uint64_t>(whole) + static_cast<uint64_t>((belowHalf > 0) | (onHalf & (lo >= 0)));
  return true;
}

// The power of ten of magnitude's leading digit, for 0.001 <= magnitude < 1e15: from the binary
// exponent (1233 / 4096 is log10(2) to within 2e-6, exact for the floor at these exponents),
// then one comparison.
// A std::array: the test builds check its indexes, and a wrong index here would otherwise only
// send numbers down the slow path unseen.
constexpr std::array<double, 19> kPowers = {1e-3, 1e-2, 1e-1, 1e0,  1e1, 1e2, 1e3,
                                            1e4,  1e5,  1e6,  1e7,  1e8, 1e9, 1e10,
                                            1e11, 1e12, 1e13, 1e14, 1e15};
int leadingExponentOf(double magnitude) {
  uint64_t bits = 0;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int binaryExponent = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
  const int exponent = (binaryExponent * 1233) >> 12;  // floor(binaryExponent * log10(2))
  return magnitude >= kPowers[exponent + 4] ? exponent + 1 : exponent;
}

// The cutoff and rounded units of the common case (a rounding digit at most three places after
// the point, at most 15 digits kept): the number is units x 10^cutoff. False: the other paths.
bool roundToUnits(double magnitude, int precision, int decimals, int& cutoff, uint64_t& units) {
  if (!(magnitude >= 0.001 && magnitude < 1e15)) return false;
  // Below 10^(precision - decimals) the decimals decide the cutoff (most measured values): no
  // leading exponent needed, only whether anything is kept at all.
  if (decimals >= 0 && decimals <= 3 && precision > decimals && precision <= 15 &&
      magnitude < kPowers[precision - decimals + 3]) {
    cutoff = -decimals;
    const bool nothingKept = decimals <= 2 && magnitude < kPowers[2 - decimals];
    return unitsInDouble(magnitude, cutoff, nothingKept ? -1 : 0, units);
  }
  const int leadingExponent = leadingExponentOf(magnitude);
  cutoff = cutoffFor(leadingExponent, precision, decimals);
  const int keptDigits = leadingExponent - cutoff + 1;
  if (cutoff > 0 || cutoff < -3 || keptDigits > 15) return false;
  return unitsInDouble(magnitude, cutoff, keptDigits, units);
}

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

// The common case without any decimal conversion: for 0.001 <= x < 1e15 and a rounding digit at
// most three places after the point, x * 10^k is exact in long double (53 + 10 bits), so its
// fraction decides the rounding exactly. Only a fraction just below one half, where rounding to
// 18 digits first could lift it to the half, is left to the digit paths.
bool roundFast(double magnitude, int precision, int decimals, RoundedDecimal& result) {
  int cutoff = 0;
  uint64_t units = 0;
  if (roundToUnits(magnitude, precision, decimals, cutoff, units)) {
    setDigits(units, cutoff, result);
    return true;
  }
  // Left here: 16 and 17 kept digits, where the double product is no longer exact.
  if (!(magnitude >= 0.001 && magnitude < 1e15)) return false;
  const int leadingExponent = leadingExponentOf(magnitude);
  cutoff = cutoffFor(leadingExponent, precision, decimals);
  const int keptDigits = leadingExponent - cutoff + 1;
  if (cutoff > 0 || cutoff < -3 || keptDigits <= 15 || keptDigits >= 18) return false;
  static constexpr long double kScale[] = {1.0L, 10.0L, 100.0L, 1000.0L};
  const long double scaled = magnitude * kScale[-cutoff];
  const uint64_t whole = static_cast<uint64_t>(scaled);  // below 1e18: exact truncation
  const long double fraction = scaled - static_cast<long double>(whole);
  const bool roundUp = fraction >= 0.5L;
  if (!roundUp) {
    // The 18th significant digit has weight 10^-(18 - keptDigits) here, in units of 10^cutoff;
    // a fraction within two of those below one half is left to the digit paths.
    const long double nearHalf = keptDigits == 16 ? 0.5L - 2e-2L : 0.5L - 2e-1L;
    if (fraction >= nearHalf) return false;
  }
  setDigits(whole + (roundUp ? 1 : 0), cutoff, result);
  return true;
}

// The same result from the shortest round-trip digits, which are much cheaper to get. They decide
// the rounding the same way unless they end exactly on a 5 at the rounding digit, or are a power
// of ten (the 18-digit expansion may lie just below it, with one exponent less); those few cases
// take the exact path.
RoundedDecimal roundDecimal(double magnitude, int precision, int decimals) {
  // One object returned on every path, built in the caller's place: a copy of digits just
  // written byte by byte would wait for those stores (no store-to-load forwarding).
  RoundedDecimal result;
  if (magnitude == 0.0) {
    result.exponent10 = std::max(-decimals, 1 - precision);
    return result;
  }
  if (roundFast(magnitude, precision, decimals, result)) return result;
  char buffer[40];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
  (void)ec;
  const DecimalDigits d = scientificDigits(buffer, end);
  const int cutoff = cutoffFor(d.exponent, precision, decimals);
  const int roundingIndex = d.exponent - cutoff + 1;
  const bool powerOfTen = d.count == 1 && d.digits[0] == '1';
  const bool endsOnHalf =
      roundingIndex >= 0 && roundingIndex == d.count - 1 && d.digits[roundingIndex] == '5';
  // From the 15th significant digit on, the shortest digits and the 18-digit expansion may
  // differ (by up to about a unit of the 16th digit), and so may their rounding.
  if (powerOfTen || endsOnHalf || roundingIndex >= 15) {
    result = roundDecimalExact(magnitude, precision, decimals);
  } else {
    result = roundDigits(d, cutoff);
  }
  return result;
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
  const int fractionDigits = rounded.exponent10 < 0 ? -rounded.exponent10 : 0;
  const int integerDigits = rounded.count - fractionDigits;
  if (integerDigits <= 0) {
    out[length++] = '0';
  } else {
    // All digits copied (fixed size: no library call), the integer ones kept.
    std::memcpy(out + length, rounded.digits, sizeof rounded.digits);
    length += integerDigits;
    // Digits of weight above the last one kept are zeros (at most 18 significant digits).
    if (rounded.count > 0) {
      for (int i = 0; i < rounded.exponent10 && length < 360; ++i) out[length++] = '0';
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
  const int exponent = count - 1 + rounded.exponent10;
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
  return rounded.count == 0 ? 1 : rounded.count + rounded.exponent10;
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
  if (roundToUnits(std::fabs(x), precision, decimals, cutoff, units)) {
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
  if (roundToUnits(std::fabs(seconds), 18, 1, cutoff, units)) {
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
