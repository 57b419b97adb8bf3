#include "channel_limits.h"

#include <cmath>

#include "numbers.h"
#include "record_store.h"

std::optional<QString> limitsProblem(int channel, const ChannelLimits& limits) {
  if (!(limits.deadBand >= 0) || !std::isfinite(limits.deadBand)) {
    return QStringLiteral("Ch. %1: the dead band must be 0 or more.").arg(channel);
  }
  if (limits.low && limits.high && !(*limits.low < *limits.high)) {
    return QStringLiteral("Ch. %1: the low limit must be below the high limit.").arg(channel);
  }
  // Wider than half the band, "back within" one limit would lie beyond the other: a channel
  // that crossed one could never come back.
  if (limits.low && limits.high && limits.deadBand > (*limits.high - *limits.low) / 2) {
    return QStringLiteral(
               "Ch. %1: the dead band must be at most half the band between the "
               "limits.")
        .arg(channel);
  }
  return std::nullopt;
}

QString limitText(double limit, QChar separator) {
  QString text = formatFixed(limit, 15, 15, separator);
  if (text.contains(separator) && !text.contains(QLatin1Char('E'))) {
    while (text.endsWith(QLatin1Char('0'))) text.chop(1);
    if (text.endsWith(separator)) text.chop(1);
  }
  return text;
}

QString LimitWatch::check(int channel, double value, const ChannelLimits& limits,
                          const QString& unit, QChar separator) {
  if (isMissing(value)) return {};
  const bool above = limits.high && value > *limits.high;
  const bool below = limits.low && value < *limits.low;
  const bool backFromAbove = !limits.high || value <= *limits.high - limits.deadBand;
  const bool backFromBelow = !limits.low || value >= *limits.low + limits.deadBand;
  const State before = state_;
  if (above && before != State::Above) {
    state_ = State::Above;
  } else if (below && before != State::Below) {
    state_ = State::Below;
  } else if ((before == State::Above && backFromAbove && !below) ||
             (before == State::Below && backFromBelow && !above)) {
    state_ = State::Inside;
  }
  if (state_ == before) return {};
  if (state_ == State::Inside) return QStringLiteral("Ch. %1 back within limits").arg(channel);
  return beyondText(channel, limits, unit, separator);
}

QString LimitWatch::beyondText(int channel, const ChannelLimits& limits, const QString& unit,
                               QChar separator) const {
  const QString suffix = unit.trimmed().isEmpty() ? QString() : QLatin1Char(' ') + unit.trimmed();
  if (state_ == State::Above && limits.high) {
    return QStringLiteral("Ch. %1 above high limit %2%3")
        .arg(channel)
        .arg(limitText(*limits.high, separator), suffix);
  }
  if (state_ == State::Below && limits.low) {
    return QStringLiteral("Ch. %1 below low limit %2%3")
        .arg(channel)
        .arg(limitText(*limits.low, separator), suffix);
  }
  return {};
}
