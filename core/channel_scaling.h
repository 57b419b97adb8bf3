#pragma once

#include <QChar>
#include <QString>
#include <array>
#include <cmath>
#include <optional>

#include "converter_model.h"

/// A channel's conversion from millivolts to its own unit: value = factor x mV + offset. The
/// default is the identity, bit for bit, so an unscaled record is the record it always was.
struct ChannelScaling {
  double factor = 1.0;
  double offset = 0.0;

  bool isIdentity() const { return factor == 1.0 && offset == 0.0; }
  double apply(double millivolts) const {
    return isIdentity() ? millivolts : factor * millivolts + offset;
  }
  bool operator==(const ChannelScaling&) const = default;
};

/// The unit of unscaled values.
inline constexpr QLatin1String kMillivolts("mV");
/// The converter's range on either side of 0, in mV: every value a scaling gives comes from it.
inline constexpr double kConverterRangeMillivolts = kAdc16.rangeMillivolts;
/// The converter's counts a millivolt, at the resolution recorded.
inline constexpr double kCountsPerMillivolt = static_cast<double>(kAdc16.countsPerMillivolt);
/// The largest magnitude a scaled value may reach: far inside what a file writes and reads back
/// (5 significant digits; 1.7977E308 would read back as no number).
inline constexpr double kLargestScaledValue = 1e300;
/// The most decimals a value is written with: a converter step needing more means a factor
/// too small to be meant.
inline constexpr int kMostValueDecimals = 12;

/// Decimals a channel's values keep so that one converter step (1/kCountsPerMillivolt mV) at its
/// factor still shows: at least the two of millivolts, so unscaled files keep every byte.
int valueDecimals(const ChannelScaling& scaling);

/// One converter step in the channel's unit.
inline double converterStep(const ChannelScaling& scaling) {
  return std::fabs(scaling.factor) / kCountsPerMillivolt;
}

/// Why `scaling` cannot be applied to channel `channel` ("Ch. 2 factor: ..."), or nothing: a
/// factor of 0, a value beyond kLargestScaledValue anywhere in the converter's range, a
/// converter step needing more than kMostValueDecimals decimals.
std::optional<QString> scalingProblem(int channel, const ChannelScaling& scaling);

/// A number of a scaling as the user sees and types it: the shortest text that reads back to
/// the same double, with the system's decimal separator.
QString scalingNumberText(double x, QChar separator);

/// "Ch. 2 scaling: °C = 0.1 x mV - 50": how a record documents its relation to the millivolts.
QString scalingDescription(int channel, const ChannelScaling& scaling, const QString& unit,
                           QChar separator);

/// The scaling typed as factor and offset texts. Throws VelanError naming the field ("Ch. 2
/// factor: ...") for a text that is no number (or overflows), or a scalingProblem.
ChannelScaling parseScaling(int channel, const QString& factorText, const QString& offsetText,
                            QChar separator);

/// The line through two (reading in mV, true value) points, each number to ten significant
/// digits (far finer than any calibration) so that the texts shown are the numbers applied.
/// Throws VelanError for equal readings or equal true values (a factor of 0).
ChannelScaling twoPointScaling(double reading1, double true1, double reading2, double true2);
