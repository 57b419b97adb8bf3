#pragma once

#include <QString>
#include <optional>

/// A channel's alarm band, in its unit: a value beyond a limit is a crossing; it is back only
/// once inside by the dead band, so that a value hovering at a limit is noted once.
struct ChannelLimits {
  std::optional<double> low;
  std::optional<double> high;
  double deadBand = 0;
  bool any() const { return low || high; }
  bool operator==(const ChannelLimits&) const = default;
};

/// A limit as the user typed it: its own digits, no trailing zeros (1200, 0.5, -3.25).
QString limitText(double limit, QChar separator);

/// Why the limits cannot be used (low not below high, a negative dead band); nothing when they
/// can.
std::optional<QString> limitsProblem(int channel, const ChannelLimits& limits);

/// Where one channel stands against its limits, row by row.
class LimitWatch {
 public:
  enum class State { Inside, Above, Below };

  /// Takes the channel's newest value (a missing one changes nothing) and returns the note of
  /// a crossing or of the way back ("Ch. 1 above high limit 1200 mV", "Ch. 1 back within
  /// limits"); empty when nothing changed.
  QString check(int channel, double value, const ChannelLimits& limits, const QString& unit,
                QChar separator);
  State state() const { return state_; }
  /// The limit the channel is beyond, as its crossing's note said it; empty while inside.
  QString beyondText(int channel, const ChannelLimits& limits, const QString& unit,
                     QChar separator) const;
  void reset() { state_ = State::Inside; }

 private:
  State state_ = State::Inside;
};
