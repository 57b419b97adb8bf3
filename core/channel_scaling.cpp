#include "channel_scaling.h"

#include <QLocale>
#include <cmath>

#include "numbers.h"
#include "velan_error.h"

namespace {

QString zeroFactorMessage(int channel) {
  return QStringLiteral(
             "Ch. %1: a factor of 0 would turn every reading into the same value; enter "
             "another factor or other true values.")
      .arg(channel);
}

/// parseNumber refuses what overflows, so the number is finite.
double parseField(const QString& field, const QString& text, QChar separator) {
  try {
    return parseNumber(text, separator);
  } catch (const VelanError& error) {
    throw VelanError(field + QStringLiteral(": ") + error.message());
  }
}

QString shortestText(double x) { return QString::number(x, 'g', QLocale::FloatingPointShortest); }

double tenDigits(double x) { return QString::number(x, 'g', 10).toDouble(); }

}  // namespace

int valueDecimals(const ChannelScaling& scaling) {
  const double step = converterStep(scaling);
  if (!(step > 0)) return 2;
  return std::max(2, static_cast<int>(std::ceil(-std::log10(step))));
}

std::optional<QString> scalingProblem(int channel, const ChannelScaling& scaling) {
  if (scaling.factor == 0.0) return zeroFactorMessage(channel);
  if (!(std::fabs(scaling.factor) * kConverterRangeMillivolts + std::fabs(scaling.offset) <=
        kLargestScaledValue)) {
    return QStringLiteral(
               "Ch. %1 factor and offset: values up to %2 x %3 mV + %4 would not fit a file "
               "(at most 1e300).")
        .arg(channel)
        .arg(shortestText(scaling.factor))
        .arg(kConverterRangeMillivolts)
        .arg(shortestText(scaling.offset));
  }
  if (valueDecimals(scaling) > kMostValueDecimals) {
    return QStringLiteral(
               "Ch. %1 factor: %2 is too small: a converter step would need more than %3 "
               "decimals.")
        .arg(channel)
        .arg(shortestText(scaling.factor))
        .arg(kMostValueDecimals);
  }
  return std::nullopt;
}

QString scalingNumberText(double x, QChar separator) {
  QString text = QString::number(x, 'g', QLocale::FloatingPointShortest);
  text.replace(QLatin1Char('.'), separator);
  return text;
}

QString scalingDescription(int channel, const ChannelScaling& scaling, const QString& unit,
                           QChar separator) {
  QString text = QStringLiteral("Ch. %1 scaling: %2 = %3 x mV")
                     .arg(channel)
                     .arg(unit.trimmed().isEmpty() ? QStringLiteral("value") : unit,
                          scalingNumberText(scaling.factor, separator));
  if (scaling.offset != 0.0) {
    text += (scaling.offset < 0 ? QStringLiteral(" - ") : QStringLiteral(" + ")) +
            scalingNumberText(std::fabs(scaling.offset), separator);
  }
  return text;
}

ChannelScaling parseScaling(int channel, const QString& factorText, const QString& offsetText,
                            QChar separator) {
  ChannelScaling scaling;
  scaling.factor = parseField(QStringLiteral("Ch. %1 factor").arg(channel), factorText, separator);
  scaling.offset = parseField(QStringLiteral("Ch. %1 offset").arg(channel), offsetText, separator);
  if (const std::optional<QString> problem = scalingProblem(channel, scaling)) {
    throw VelanError(*problem);
  }
  return scaling;
}

ChannelScaling twoPointScaling(double reading1, double true1, double reading2, double true2) {
  if (reading1 == reading2) {
    throw VelanError(
        QStringLiteral("The two readings are equal: a calibration needs two different readings."));
  }
  ChannelScaling scaling;
  scaling.factor = tenDigits((true2 - true1) / (reading2 - reading1));
  if (scaling.factor == 0.0 || !std::isfinite(scaling.factor)) {
    throw VelanError(QStringLiteral(
        "The two true values give a factor of 0 (or none): a calibration needs two different "
        "true values."));
  }
  // From the rounded factor, so that the first point maps to its true value.
  scaling.offset = tenDigits(true1 - scaling.factor * reading1);
  return scaling;
}
