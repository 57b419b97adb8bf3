#pragma once

#include <chrono>

/// The converter the program records, as its figures: the one place a second model changes.
struct ConverterModel {
  int channels;  ///< the inputs the program records (a record's channel columns)
  int bits;      ///< the resolution each recorded channel is set up for
  /// The converter's counts a millivolt at `bits`; in extended precision, as the mean of a
  /// reading interval is divided by it.
  long double countsPerMillivolt;
  double rangeMillivolts;  ///< the input range on either side of 0
  /// The slowest conversion the maker gives (at the highest resolution).
  std::chrono::milliseconds slowestConversion;
};

/// The ADC-16: four channels at 12 bits, 1.638 counts a millivolt, +-2500 mV.
inline constexpr ConverterModel kAdc16{4, 12, 1.638L, 2500, std::chrono::milliseconds{1000}};
