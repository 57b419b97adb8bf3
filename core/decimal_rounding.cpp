// Rounding half away from zero at a decimal digit, on the number's 18-digit decimal expansion
// (as the program has always written its numbers), by the cheapest of four paths that gives
// the same digits: units in double arithmetic (most measured values), long double (16 and 17
// kept digits), the shortest round-trip digits, and the 18-digit expansion itself.
#include "decimal_rounding.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

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

namespace {

// The digits and leading decimal exponent of a to_chars scientific text "d.ddde+xx".
struct ScientificDigits {
  char digits[24];
  int count = 0;
  int leadingExponent = 0;
};

ScientificDigits scientificDigits(const char* begin, const char* end) {
  ScientificDigits result;
  const char* p = begin;
  for (; p < end && *p != 'e'; ++p) {
    if (*p != '.') result.digits[result.count++] = *p;
  }
  if (p < end) ++p;  // 'e'
  const bool negative = p < end && *p == '-';
  if (p < end && (*p == '+' || *p == '-')) ++p;
  for (; p < end; ++p) result.leadingExponent = result.leadingExponent * 10 + (*p - '0');
  if (negative) result.leadingExponent = -result.leadingExponent;
  return result;
}

// Keeps the digits of weight >= 10^cutoff (at most the precision, so at most 18) and rounds half
// up on the next one.
RoundedDecimal roundScientificDigits(const ScientificDigits& d, int cutoff) {
  RoundedDecimal result;
  result.lastExponent = cutoff;
  const int keptDigits = d.leadingExponent - cutoff + 1;
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
RoundedDecimal roundByExpansion(double magnitude, int precision, int decimals) {
  char buffer[40];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 17);
  (void)ec;
  const ScientificDigits d = scientificDigits(buffer, end);
  return roundScientificDigits(d, cutoffFor(d.leadingExponent, precision, decimals));
}

// The digits of a rounded whole number `value` at weight 10^cutoff.
void setDigits(uint64_t value, int cutoff, RoundedDecimal& result) {
  result.lastExponent = cutoff;
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

// 16 and 17 kept digits (a rounding digit at most three places after the point), where the
// double product of roundToUnitsInDouble is no longer exact: x * 10^k for k <= 3 is exact in
// long double (64 bits of mantissa, 53 + 10 needed), so its fraction decides the rounding. Only
// a fraction just below one half, where rounding to 18 digits first could lift it to the half,
// is left to the digit paths.
bool roundInLongDouble(double magnitude, int precision, int decimals, RoundedDecimal& result) {
  if (!(magnitude >= 0.001 && magnitude < 1e15)) return false;
  const int leadingExponent = leadingExponentOf(magnitude);
  const int cutoff = cutoffFor(leadingExponent, precision, decimals);
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

}  // namespace

bool roundToUnitsInDouble(double magnitude, int precision, int decimals, int& cutoff,
                          uint64_t& units) {
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

// The paths in turn; after the two arithmetic ones the shortest round-trip digits, much cheaper
// to get than the 18-digit expansion. They decide the rounding the same way unless they end
// exactly on a 5 at the rounding digit, or are a power of ten (the expansion may lie just below
// it, with one exponent less); those few cases take the expansion.
RoundedDecimal roundDecimal(double magnitude, int precision, int decimals) {
  // One object returned on every path, built in the caller's place: a copy of digits just
  // written byte by byte would wait for those stores (no store-to-load forwarding).
  RoundedDecimal result;
  if (magnitude == 0.0) {
    result.lastExponent = std::max(-decimals, 1 - precision);
    return result;
  }
  int cutoff = 0;
  uint64_t units = 0;
  if (roundToUnitsInDouble(magnitude, precision, decimals, cutoff, units)) {
    setDigits(units, cutoff, result);
    return result;
  }
  if (roundInLongDouble(magnitude, precision, decimals, result)) return result;
  char buffer[40];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
  (void)ec;
  const ScientificDigits d = scientificDigits(buffer, end);
  cutoff = cutoffFor(d.leadingExponent, precision, decimals);
  const int roundingIndex = d.leadingExponent - cutoff + 1;
  const bool powerOfTen = d.count == 1 && d.digits[0] == '1';
  const bool endsOnHalf =
      roundingIndex >= 0 && roundingIndex == d.count - 1 && d.digits[roundingIndex] == '5';
  // From the 15th significant digit on, the shortest digits and the 18-digit expansion may
  // differ (by up to about a unit of the 16th digit), and so may their rounding.
  if (powerOfTen || endsOnHalf || roundingIndex >= 15) {
    result = roundByExpansion(magnitude, precision, decimals);
  } else {
    result = roundScientificDigits(d, cutoff);
  }
  return result;
}
