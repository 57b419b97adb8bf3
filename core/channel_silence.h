#pragma once

#include <QDateTime>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "record_store.h"

/// The selected channels that have gone without a value for a while while others still have
/// theirs (a cable off one input, a channel the converter's round no longer reaches), told as
/// "Ch. 2-4: no value since 12:03:04", with the reason where the driver knows it ("Ch. 3: no
/// value since 12:03:04 (its answers are out of range)"). A converter silent on every channel is
/// told apart.
class ChannelSilence {
 public:
  /// A channel is named once it has had no value for this long and three rows.
  static constexpr int kQuietMs = 10000;

  /// Why a channel has no value, in words; empty when not known.
  using Reason = std::function<QString(int channel)>;
  /// Takes the newest row, stored at `now`.
  void rowStored(const RecordStore& store, const RecordFields& fields, int row,
                 const QDateTime& now, const Reason& reason = {});
  void reset() { *this = {}; }
  /// The channels named, grouped by the time of their last value; empty when there are none.
  QString text() const { return text_; }

 private:
  std::array<std::optional<QDateTime>, kChannels + 1> lastValue_;
  std::array<int, kChannels + 1> rowsWithout_{};
  QString text_;
};
