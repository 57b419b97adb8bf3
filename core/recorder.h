#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

#include "converter_driver.h"
#include "data_table.h"
#include "record_store.h"

/// Shortest reading interval the row timer is ever given (a 0 ms QTimer would flood the store).
inline constexpr int kMinimumIntervalMs = 250;
inline constexpr int kPollPeriodMs = 50;

/// The row timer Timer1 and the poll timer Timer2, with the semantics the recording relies on:
/// enabling an active timer does not restart it, a period is only set when it really differs.
class RunTimers {
 public:
  RunTimers();
  void setPollEnabled(bool enabled);
  void setRowEnabled(bool enabled);
  void setRowPeriod(int milliseconds);
  bool pollEnabled() const { return pollTimer_.isActive(); }
  bool rowEnabled() const { return rowTimer_.isActive(); }
  int rowPeriod() const { return rowTimer_.interval(); }
  QTimer& rowTimer() { return rowTimer_; }
  QTimer& pollTimer() { return pollTimer_; }

 private:
  QTimer rowTimer_;
  QTimer pollTimer_;
};

/// Milliseconds on a clock that never jumps and goes on while the system sleeps.
using MonotonicClock = std::function<int64_t()>;
MonotonicClock systemMonotonicClock();

/// Sampling, averaging and the record's life: the handlers of both timers, resetRecord,
/// the converter's open and close, and notes on the newest row.
class Recorder {
 public:
  Recorder(RecordStore& store, DataTable& table, ConverterDriver& driver, RecordFields& fields);
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  void addListener(RecordListener* listener) { listeners_.push_back(listener); }
  /// The clock that tells how long ago the last row was stored (tests stop it).
  void setClock(MonotonicClock clock);
  /// The decimal separator of the notes' times (the system's).
  void setNoteSeparator(QChar separator) { noteSeparator_ = separator; }

  /// One poll: reads each selected channel once and accumulates.
  void Timer2Timer();
  /// Stores one row with its time and trimmed means, mirrors it into the table. When the
  /// program was held up for one and a half intervals or more, the intervals that passed
  /// without a row are filled first with rows whose values are all missing.
  void Timer1Timer();

  /// Most polls per interval.
  int pollCap() const { return store_.readingInterval / 18; }
  /// Sets the reading interval and the row timer's period at once (never below 250 ms).
  void setReadingInterval(int milliseconds);

  /// Begins a new, empty record in the store and the table.
  void resetRecord();
  /// Opens the converter on portNumber (only while it is closed) and sets up the selected
  /// channels. Returns converterOpen.
  bool openConverter();
  /// Closes the converter if it is open. Returns whether it was.
  bool closeConverter();
  /// Enables both timers (Start).
  void startTimers();
  /// Disables the row timer (Stop); the poll timer stops itself.
  void stopRowTimer() { timers_.setRowEnabled(false); }

  /// Writes "<minutes>-> text" into the notes cell of the newest row and returns that cell text.
  QString addNote(const QString& text);

  /// Next simulated channel 1 reading (0..127); the generator runs on across runs.
  int32_t nextSimulatedReading();

  RunTimers& timers() { return timers_; }
  const RunTimers& timers() const { return timers_; }
  RecordStore& store() { return store_; }
  DataTable& table() { return table_; }

 private:
  void accumulate(int channel, int32_t reading);
  void clearAccumulators();
  QString addNoteAt(int row, const QString& text);
  /// Stores the next row; `measured` false gives a row without readings, `note` goes into its
  /// notes cell. Returns false when the record is full.
  bool storeRow(bool measured, const QString& note = QString());
  /// Fills the intervals missed since the last row; returns false when the record got full.
  bool fillMissedIntervals();

  RecordStore& store_;
  DataTable& table_;
  ConverterDriver& driver_;
  RecordFields& fields_;
  RunTimers timers_;
  std::vector<RecordListener*> listeners_;
  uint32_t simulationState_ = 0;
  MonotonicClock clock_;
  /// When the last row was stored, the run started or the interval changed.
  int64_t lastRowClock_ = 0;
  QChar noteSeparator_ = QLatin1Char('.');
};
