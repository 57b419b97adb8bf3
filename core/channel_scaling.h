#pragma once

#include <QChar>
#include <QString>
#include <array>

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

/// A number of a scaling as the user sees and types it: the shortest text that reads back to
/// the same double, with the system's decimal separator.
QString scalingNumberText(double x, QChar separator);

/// "Ch. 2 scaling: °C = 0.1 x mV - 50": how a record documents its relation to the millivolts.
QString scalingDescription(int channel, const ChannelScaling& scaling, const QString& unit,
                           QChar separator);

/// The scaling typed as factor and offset texts. Throws VelanError naming the field ("Ch. 2
/// factor: ...") for a text that is no number (or overflows), or a factor of 0.
ChannelScaling parseScaling(int channel, const QString& factorText, const QString& offsetText,
                            QChar separator);

/// The line through two (reading in mV, true value) points, each number to ten significant
/// digits (far finer than any calibration) so that the texts shown are the numbers applied.
/// Throws VelanError for equal readings or equal true values (a factor of 0).
ChannelScaling twoPointScaling(double reading1, double true1, double reading2, double true2);
