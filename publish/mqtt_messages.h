#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <optional>
#include <vector>

#include "record_store.h"

/// What goes to the broker: the topics under the prefix and the JSON of each. One table, so
/// the README, the tests and the code name the same things.
struct MqttTopic {
  const char* suffix;  ///< under the prefix; "ch" is followed by the channel number
  int qos;
  bool retained;
  const char* holds;
};
inline constexpr MqttTopic kRowsTopic{"rows", 1, false, "one JSON object per stored row"};
inline constexpr MqttTopic kNotesTopic{"notes", 1, false, "every note as it is added"};
inline constexpr MqttTopic kStatusTopic{"status", 1, true,
                                        "the run's state; the last will says offline"};
inline constexpr MqttTopic kChannelTopic{"ch", 0, false, "the latest live value as a plain number"};

/// A row as it is published: `run` names the run (its start, with milliseconds), `seq` counts
/// the run's rows across its parts, so that (run, seq) is the row's own; `t` is the time from
/// the part's start, exact; values in the channel's unit rounded as the data file writes them.
struct PublishedRow {
  QString run;
  int64_t seq = 0;
  int part = 1;
  int row = 1;
  double seconds = 0;
  QDateTime time;
  std::array<std::optional<double>, kChannels + 1> values;  ///< selected channels only
  std::array<bool, kChannels + 1> selected{};
};

QByteArray rowMessage(const PublishedRow& row);
/// The same message marked as sent after it was due.
QByteArray lateRowMessage(const QByteArray& message);
QByteArray noteMessage(const QString& run, int64_t seq, const QDateTime& time, const QString& text);

struct RunStatus {
  QString state;  ///< "recording", "stopped", "offline"
  QString run;
  int64_t unpublished = 0;  ///< at the stop: rows the broker never had (only told when some)
  QString experiment;
  double intervalSeconds = 1;
  std::array<QString, kChannels + 1> units;  ///< empty: channel not selected
  int part = 1;
};
QByteArray statusMessage(const RunStatus& status);
/// The last will: what the broker says when the recorder vanishes.
QByteArray offlineMessage();
/// A live value: a plain number.
QByteArray channelValueMessage(double value);

/// Home Assistant's discovery message for one channel: its topic and its retained config.
struct DiscoveryMessage {
  QString topic;
  QByteArray payload;
};
DiscoveryMessage discoveryMessage(const QString& prefix, int channel, const QString& unit);

/// ISO 8601 with milliseconds and the UTC offset: 2026-12-09T08:40:01.250+01:00.
QString isoTime(const QDateTime& time);
/// A value rounded as the data file writes it (its decimals, at most five significant digits
/// from 1000 up), as a JSON number gives it.
double fileRounded(double value, int decimals);
