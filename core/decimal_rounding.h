#pragma once

#include <cstdint>

/// A non-negative decimal number after rounding: its significant digits, most significant first
/// (none for zero), the last one of weight 10^lastExponent.
struct RoundedDecimal {
  char digits[24];
  int count = 0;
  int lastExponent = 0;
};

/// |x| rounded half away from zero at the digit of weight 10^cutoff, cutoff = max(-decimals,
/// leading exponent - precision + 1), on its decimal expansion to 18 significant digits: 0.25
/// -> 0.3 and 0.15 (really 0.1499999999999999944...) -> 0.1.
RoundedDecimal roundDecimal(double magnitude, int precision, int decimals);

/// The common case of roundDecimal in double arithmetic alone (0.001 <= magnitude < 1e15, a
/// rounding digit at most three places after the point, at most 15 digits kept): the rounded
/// number is units x 10^cutoff. False: roundDecimal's other paths.
bool roundToUnitsInDouble(double magnitude, int precision, int decimals, int& cutoff,
                          uint64_t& units);

/// Writes the decimal digits of `value`, two a division, so that they end just before `end`;
/// returns where they begin.
char* digitsBefore(char* end, uint64_t value);
