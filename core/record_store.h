#pragma once

#include <QString>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "channel_scaling.h"

/// Rows a record can hold; row 0 of every column is the origin and never written.
inline constexpr int kMaxRows = 100000;
/// The channels a record holds: the converter's recorded inputs.
inline constexpr int kChannels = kAdc16.channels;
/// The reading intervals a run can use: the row timer is never given less (a 0 ms timer would
/// flood the store), and the monitor's interval series ends at 500 s.
inline constexpr int kMinimumIntervalMs = 250;
inline constexpr int kMaximumIntervalMs = 500000;

/// The one record in memory plus the run state and the sampling accumulators.
/// Fixed-size columns: storing a row allocates nothing. Index 0 of the channel arrays is unused
/// so that channel c lives at index c.
struct RecordStore {
  using Column = std::array<double, kMaxRows + 1>;

  Column time{};
  std::array<Column, kChannels + 1> value{};
  int32_t rowCount = 0;
  /// Changes whenever the rows are replaced (a new record, a file opened, a journal restored):
  /// what was computed from the rows before is void.
  uint32_t recordId = 0;
  /// Decimals each channel's values are written with: two for millivolts, more where a
  /// scaling needs them for one converter step (valueDecimals), or as many as a file had.
  std::array<int, kChannels + 1> valueDecimals = {2, 2, 2, 2, 2};

  int32_t readingInterval = 1000;  ///< ms
  int32_t portNumber = 0;
  bool converterOpen = false;
  bool dataSaved = true;

  int32_t pollCount = 0;
  std::array<double, kChannels + 1> readingSum{};
  std::array<int32_t, kChannels + 1> readingMax{};
  std::array<int32_t, kChannels + 1> readingMin{};
  /// Successful readings of channel c in the current interval: the trimmed mean's divisor.
  std::array<int32_t, kChannels + 1> readingCount{};
};

/// A channel value that was never measured: blank in the table, no mark, an empty file field.
inline constexpr double kMissingValue = std::numeric_limits<double>::quiet_NaN();
inline bool isMissing(double value) { return std::isnan(value); }

/// The experiment field's text until the user describes the experiment: no experiment yet.
inline QString experimentPlaceholder() { return QStringLiteral("(Describe experiment here)"); }

/// The record's descriptive texts and the channel selection, owned by the main window's
/// controls and read afresh at every use.
class RecordFields {
 public:
  virtual ~RecordFields() = default;
  virtual bool channelSelected(int channel) const = 0;
  virtual void setChannelSelected(int channel, bool selected) = 0;
  virtual QString unitLabel(int channel) const = 0;
  virtual void setUnitLabel(int channel, const QString& label) = 0;
  /// How the channel's millivolts become values in its unit; the recorder applies it to each
  /// row it stores.
  virtual ChannelScaling scaling(int channel) const = 0;
  virtual void setScaling(int channel, const ChannelScaling& scaling) = 0;
  virtual QString experiment() const = 0;
  virtual void setExperiment(const QString& text) = 0;
  virtual QString startTime() const = 0;
  virtual void setStartTime(const QString& text) = 0;
};

/// Whether row `row` holds a value of any selected channel: a converter gone silent gives rows
/// without one.
inline bool rowHasReading(const RecordStore& store, const RecordFields& fields, int row) {
  for (int c = 1; c <= kChannels; ++c) {
    if (fields.channelSelected(c) && !isMissing(store.value[c][row])) return true;
  }
  return false;
}

/// What the layers above want to hear from the recording core.
class RecordListener {
 public:
  virtual ~RecordListener() = default;
  /// A new, empty record began (the monitor reloads its view, the menus disable saving).
  virtual void recordReset() {}
  /// A file's or a journal's rows replaced the record: what was shown of the old one is void.
  virtual void recordReplaced() {}
  /// Row rowCount was stored and its cells written; the table has not grown yet.
  virtual void rowStored() {}
  /// `note` was added to the notes cell of `row`, which now reads `cell` (the note joined after
  /// what it held).
  virtual void noteAdded(int /*row*/, const QString& /*note*/, const QString& /*cell*/) {}
  /// Channel `channel` crossed a limit or came back within its limits (`text` says which); the
  /// note is on the newest row.
  virtual void limitCrossed(int /*channel*/, const QString& /*text*/) {}
  /// The record reached kMaxRows: it is saved as a part and the run goes on in the next
  /// (Recorder::beginNextPart), or the run stops.
  virtual void recordFull() {}
};
