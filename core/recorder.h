#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

#include "channel_limits.h"
#include "converter_driver.h"
#include "data_table.h"
#include "monotonic_clock.h"
#include "record_store.h"

inline constexpr int kPollPeriodMs = 50;
/// Longest gap, in intervals, filled row by row; a longer one (a night's sleep) is one row, so
/// that it neither floods nor ends the record.
inline constexpr int64_t kLongestFilledGap = 100;

/// The row timer Timer1 and the poll timer Timer2, with the semantics the recording relies on:
/// enabling an active timer does not restart it, a period is only set when it really differs.
class RunTimers {
 public:
  RunTimers();
  void setPollEnabled(bool enabled);
  void setRowEnabled(bool enabled);
  void setRowPeriod(int milliseconds);
  bool pollEnabled() const { return pollTimer_.isActive(); }
  /// Holds the row timer for `milliseconds`, then runs it on its period from there: after a
  /// tick late by a whole interval the timer would otherwise keep the late tick's phase.
  void realignRow(int64_t milliseconds);
  bool rowEnabled() const { return rowTimer_.isActive() || rowRealign_.isActive(); }
  bool rowRealigning() const { return rowRealign_.isActive(); }
  int64_t rowRealignDelay() const { return rowRealign_.interval(); }
  int rowPeriod() const { return rowTimer_.interval(); }
  QTimer& rowTimer() { return rowTimer_; }
  QTimer& rowRealignTimer() { return rowRealign_; }
  QTimer& pollTimer() { return pollTimer_; }

 private:
  QTimer rowTimer_;
  QTimer rowRealign_;
  QTimer pollTimer_;
};

/// Sampling, averaging and the record's life: the handlers of both timers, resetRecord,
/// the converter's open and close, and notes on the newest row.
class Recorder {
 public:
  Recorder(RecordStore& store, DataTable& table, ConverterDriver& driver, RecordFields& fields);
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  void addListener(RecordListener* listener) { listeners_.push_back(listener); }
  void removeListener(RecordListener* listener) { std::erase(listeners_, listener); }
  /// Tells the listeners that a file's or a journal's rows replaced the record.
  void tellRecordReplaced() {
    for (RecordListener* listener : listeners_) listener->recordReplaced();
  }
  /// The clock that tells how long ago the last row was stored (tests stop it).
  void setClock(MonotonicClock clock);
  /// The decimal separator of the notes' times (the system's).
  void setNoteSeparator(QChar separator) { noteSeparator_ = separator; }

  /// One poll: reads each selected channel once and accumulates.
  void Timer2Timer();
  /// Stores one row with its time and trimmed means, mirrors it into the table. Rows follow the
  /// run's schedule: when the program was held up past whole intervals, those intervals are
  /// filled first with rows whose values are all missing (a gap of more than
  /// kLongestFilledGap intervals becomes one such row that spans it).
  void Timer1Timer();

  /// Most polls per interval.
  int pollCap() const { return store_.readingInterval / 18; }
  /// Sets the reading interval and the row timer's period at once (never below 250 ms). During a
  /// run the rows already due under the old interval are stored first; the new interval's
  /// schedule starts now.
  void setReadingInterval(int milliseconds);

  /// Begins a new, empty record in the store and the table.
  void resetRecord();
  /// Goes on in a new, empty record when the last one has been taken care of (saved as a part):
  /// the schedule runs on, so row 1 is due one interval after the last record's last row, and
  /// the readings of the interval in progress go into it. Its row times start from
  /// `carriedSeconds` (the fraction of a second its whole-second start time leaves out).
  void beginNextPart(double carriedSeconds = 0);
  /// Opens the converter on portNumber (only while it is closed) and sets up the selected
  /// channels. Returns converterOpen.
  bool openConverter();
  /// Closes the converter if it is open. Returns whether it was.
  bool closeConverter();
  /// Enables both timers (Start).
  void startTimers();
  /// Disables the row timer (Stop); the poll timer stops itself.
  void stopRowTimer() { timers_.setRowEnabled(false); }

  /// Adds "<minutes>-> text" to the notes cell of the newest row, after what it holds, and
  /// returns the cell's text.
  QString addNote(const QString& text);

  /// The newest row's trimmed mean of channel c in millivolts, before its scaling; missing
  /// when the run has none (for a calibration against the raw reading).
  double latestMillivolts(int channel) const { return latestMillivolts_[channel]; }

  /// The channel's limits, checked on every stored row from the next on: a crossing and the
  /// way back are noted on the row (and heard by the listeners).
  void setLimits(int channel, const ChannelLimits& limits) { limits_[channel] = limits; }
  /// The limits the selected channels are beyond now, as their crossings' notes said it.
  QStringList limitsBeyond() const;
  const ChannelLimits& limits(int channel) const { return limits_[channel]; }

  /// Next simulated channel 1 reading (0..127); the generator runs on across runs.
  int32_t nextSimulatedReading();

  RunTimers& timers() { return timers_; }
  const RunTimers& timers() const { return timers_; }
  RecordStore& store() { return store_; }
  const ConverterDriver& driver() const { return driver_; }
  DataTable& table() { return table_; }

 private:
  void accumulate(int channel, int32_t reading);
  void clearAccumulators();
  /// Empties the store and the table; the listeners hear of it.
  void clearRecord();
  QString addNoteAt(int row, const QString& text);
  /// Takes the fields' scalings for row `row` (read once a row) and returns those that changed
  /// since the row before, in words for its note.
  QString takeScalings(int row);
  /// Checks row `row`'s values against the limits; adds the notes of crossings to `notes`.
  void checkLimits(int row, QStringList& notes);
  /// Stores the next row, `intervals` reading intervals after the previous one; `measured`
  /// false gives a row without readings, `note` goes into its notes cell. Returns false when
  /// the record is full and nobody began the next part.
  bool storeRow(bool measured, int64_t intervals, const QString& note);
  /// Stores the rows the schedule has due at `now`; a row `tick` stores at least its own.
  void storeDueRows(int64_t now, bool tick);
  /// Counts a pause of a whole interval or more since the program last polled or stored.
  void noteActivity(int64_t now);
  /// Starts the schedule afresh at `now` (run start, interval change).
  void restartSchedule(int64_t now);

  RecordStore& store_;
  DataTable& table_;
  ConverterDriver& driver_;
  RecordFields& fields_;
  RunTimers timers_;
  std::vector<RecordListener*> listeners_;
  uint32_t simulationState_ = 0;
  MonotonicClock clock_;
  /// The schedule: row k of the current stretch is due k intervals after its start (the run's
  /// start or the last interval change); scheduledIntervals_ intervals of it have rows.
  int64_t scheduleStartClock_ = 0;
  int64_t scheduledIntervals_ = 0;
  /// When the program last polled or stored a row, and the pauses of at least one interval
  /// since the last stored row: the time the gap note reports.
  int64_t lastActivityClock_ = 0;
  int64_t unattendedMs_ = 0;
  QChar noteSeparator_ = QLatin1Char('.');
  std::array<ChannelScaling, kChannels + 1> appliedScalings_{};
  std::array<ChannelLimits, kChannels + 1> limits_{};
  std::array<LimitWatch, kChannels + 1> limitWatches_{};
  std::array<double, kChannels + 1> latestMillivolts_{kMissingValue, kMissingValue, kMissingValue,
                                                      kMissingValue, kMissingValue};
};
