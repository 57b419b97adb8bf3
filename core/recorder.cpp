#include "recorder.h"

#include <QStringList>
#include <algorithm>
#include <ctime>

#include "numbers.h"

RunTimers::RunTimers() {
  rowTimer_.setTimerType(Qt::PreciseTimer);  // rows must not drift against the clock over hours
  rowTimer_.setInterval(1000);
  pollTimer_.setTimerType(Qt::PreciseTimer);
  pollTimer_.setInterval(kPollPeriodMs);
  rowRealign_.setTimerType(Qt::PreciseTimer);
  rowRealign_.setSingleShot(true);
}

void RunTimers::setPollEnabled(bool enabled) {
  if (!enabled) {
    pollTimer_.stop();
  } else if (!pollTimer_.isActive()) {
    pollTimer_.start();  // QTimer::start would restart a running countdown
  }
}

void RunTimers::setRowEnabled(bool enabled) {
  if (!enabled) {
    rowTimer_.stop();
    rowRealign_.stop();
  } else if (!rowEnabled()) {
    rowTimer_.start();
  }
}

void RunTimers::setRowPeriod(int milliseconds) {
  milliseconds = std::max(milliseconds, kMinimumIntervalMs);
  if (rowTimer_.interval() == milliseconds) return;
  rowTimer_.setInterval(milliseconds);  // restarts an active timer
  if (rowRealign_.isActive()) {  // a new period starts now, not at the old schedule's boundary
    rowRealign_.stop();
    rowTimer_.start();
  }
}

void RunTimers::realignRow(int64_t milliseconds) {
  rowTimer_.stop();
  rowRealign_.start(static_cast<int>(std::clamp<int64_t>(milliseconds, 0, rowTimer_.interval())));
}

Recorder::Recorder(RecordStore& store, DataTable& table, ConverterDriver& driver,
                   RecordFields& fields)
    : store_(store),
      table_(table),
      driver_(driver),
      fields_(fields),
      clock_(systemMonotonicClock()) {
  restartSchedule(clock_());
  timers_.setRowPeriod(store_.readingInterval);
  QObject::connect(&timers_.rowTimer(), &QTimer::timeout, [this] { Timer1Timer(); });
  QObject::connect(&timers_.pollTimer(), &QTimer::timeout, [this] { Timer2Timer(); });
  QObject::connect(&timers_.rowRealignTimer(), &QTimer::timeout, [this] {
    timers_.setRowEnabled(true);  // on its period again, from the schedule's boundary
    Timer1Timer();
  });
}

int32_t Recorder::nextSimulatedReading() {
  simulationState_ = simulationState_ * 134775813u + 1u;
  return static_cast<int32_t>((static_cast<uint64_t>(simulationState_) * 128u) >> 32);
}

void Recorder::accumulate(int channel, int32_t reading) {
  store_.readingSum[channel] += reading;
  // The extremes start from this interval's first successful reading, not its first poll:
  // a failed first poll must not leave the previous interval's extremes in place.
  if (store_.readingCount[channel]++ == 0) {
    store_.readingMax[channel] = reading;
    store_.readingMin[channel] = reading;
  } else if (reading > store_.readingMax[channel]) {
    store_.readingMax[channel] = reading;
  } else if (reading < store_.readingMin[channel]) {
    store_.readingMin[channel] = reading;
  }
}

void Recorder::Timer2Timer() {
  noteActivity(clock_());
  if (store_.pollCount >= pollCap()) {
    timers_.setPollEnabled(false);
    return;
  }
  int32_t reading = 0;
  if (fields_.channelSelected(1)) {
    if (store_.converterOpen) {
      if (driver_.getValue(&reading, store_.portNumber, 1)) accumulate(1, reading);
    } else {
      accumulate(1, nextSimulatedReading());
    }
  }
  for (int channel = 2; channel <= kChannels; ++channel) {
    if (!fields_.channelSelected(channel)) continue;
    if (driver_.getValue(&reading, store_.portNumber, channel)) accumulate(channel, reading);
  }
  ++store_.pollCount;
}

void Recorder::noteActivity(int64_t now) {
  const int64_t pause = now - lastActivityClock_;
  if (pause >= store_.readingInterval) unattendedMs_ += pause;
  lastActivityClock_ = now;
}

void Recorder::Timer1Timer() {
  const int64_t now = clock_();
  noteActivity(now);
  storeDueRows(now, true);
}

void Recorder::storeDueRows(int64_t now, bool tick) {
  if (store_.rowCount >= kMaxRows) return;  // never write past the last entry of a column
  const int64_t interval = store_.readingInterval;
  // Whole intervals ended since the schedule's start. The timer keeps its phase after a late
  // tick, so the next tick is due at the next boundary: counting boundaries, not the time
  // since the last row, never counts an interval twice.
  const int64_t ended = (now - scheduleStartClock_) / interval;
  // A tick stores its own row whatever the clock says.
  const int64_t due =
      tick ? std::max<int64_t>(ended - scheduledIntervals_, 1) : ended - scheduledIntervals_;
  if (due <= 0) return;
  const int64_t missed = due - 1;
  // The tick came a whole interval late or more: the timer would go on from the late tick.
  if (missed > 0 && timers_.rowEnabled()) {
    timers_.realignRow(scheduleStartClock_ + (ended + 1) * interval - now);
  }
  QString note;
  if (unattendedMs_ > 0) {
    note = QStringLiteral("(no readings: the program was not running for %1 s)")
               .arg(formatFixed(unattendedMs_ / 1000.0, 15, 1, noteSeparator_));
    unattendedMs_ = 0;
  }
  if (missed > kLongestFilledGap) {
    if (!storeRow(false, missed, note)) return;
    note.clear();
  } else {
    for (int64_t i = 0; i < missed; ++i) {
      if (!storeRow(false, 1, note)) return;
      note.clear();
    }
  }
  storeRow(true, 1, note);
}

bool Recorder::storeRow(bool measured, int64_t intervals, const QString& note) {
  const int n = ++store_.rowCount;
  scheduledIntervals_ += intervals;
  if (table_.tableRowCount() <= n) table_.setTableRowCount(n + 1);  // the table mirrors every row
  const double step = store_.readingInterval / 1000.0;
  store_.time[n] = store_.time[n - 1] + static_cast<double>(intervals) * step;
  table_.setCell(0, n, DataTable::timeText(store_.time[n]));
  const QString scalingNote = takeScalings(n);
  for (int c = 1; c <= kChannels; ++c) {
    // Divided by the successful readings, so failed ones do not pull the mean toward zero;
    // with fewer than three there is nothing to trim and the value was not measured.
    const int readings = measured ? store_.readingCount[c] : 0;
    if (!fields_.channelSelected(c) || readings <= 2) {
      store_.value[c][n] = kMissingValue;
      latestMillivolts_[c] = kMissingValue;
      table_.setCell(c, n, DataTable::blank());  // also over a text typed into a row ahead
      continue;
    }
    const long double trimmed = static_cast<long double>(store_.readingSum[c]) -
                                store_.readingMax[c] - store_.readingMin[c];
    const double millivolts =
        static_cast<double>(trimmed / ((readings - 2) * driver_.model().countsPerMillivolt));
    latestMillivolts_[c] = millivolts;
    const double scaled = appliedScalings_[c].apply(millivolts);
    // Nothing infinite reaches a file: it could not be read back.
    const double v = std::isfinite(scaled) ? scaled : kMissingValue;
    store_.value[c][n] = v;
    table_.setCell(c, n, DataTable::valueText(v, store_.valueDecimals[c]));
  }
  if (measured) clearAccumulators();  // a filled row leaves the readings to the row now due
  for (RecordListener* listener : listeners_) listener->rowStored();
  QStringList notes;  // allocates nothing while it stays empty
  if (!note.isEmpty()) notes << note;
  if (!scalingNote.isEmpty()) notes << scalingNote;
  checkLimits(n, notes);
  if (!notes.isEmpty()) addNoteAt(n, notes.join(QStringLiteral("  ")));
  timers_.setPollEnabled(true);
  table_.appendRow();
  if (n > 9) table_.setTopRow(table_.tableRowCount() - 33);
  if (n < kMaxRows) return true;
  for (RecordListener* listener : listeners_) listener->recordFull();
  return store_.rowCount < kMaxRows;  // a listener began the next part: the run goes on
}

QStringList Recorder::limitsBeyond() const {
  QStringList beyond;
  for (int c = 1; c <= kChannels; ++c) {
    if (!fields_.channelSelected(c)) continue;
    beyond << limitWatches_[c].beyondText(c, limits_[c], fields_.unitLabel(c), noteSeparator_);
  }
  beyond.removeAll(QString());
  return beyond;
}

void Recorder::checkLimits(int row, QStringList& notes) {
  for (int c = 1; c <= kChannels; ++c) {
    const bool watched = limits_[c].any() || limitWatches_[c].state() != LimitWatch::State::Inside;
    if (!watched || !fields_.channelSelected(c)) continue;
    const QString crossing = limitWatches_[c].check(c, store_.value[c][row], limits_[c],
                                                    fields_.unitLabel(c), noteSeparator_);
    if (crossing.isEmpty()) continue;
    notes << crossing;
    for (RecordListener* listener : listeners_) listener->limitCrossed(c, crossing);
  }
}

QString Recorder::takeScalings(int row) {
  QStringList changes;  // allocates nothing while it stays empty
  for (int c = 1; c <= kChannels; ++c) {
    const ChannelScaling scaling = fields_.scaling(c);
    // Row 1 carries the whole set-up in its start note.
    if (row > 1 && fields_.channelSelected(c) && scaling != appliedScalings_[c]) {
      changes << scalingDescription(c, scaling, fields_.unitLabel(c), noteSeparator_);
    }
    // The decimals follow the scaling: set with a record's first row and at a change only.
    if (row == 1 || scaling != appliedScalings_[c])
      store_.valueDecimals[c] = valueDecimals(scaling);
    appliedScalings_[c] = scaling;
  }
  return changes.join(QStringLiteral("  "));
}

void Recorder::setReadingInterval(int milliseconds) {
  milliseconds = std::max(milliseconds, kMinimumIntervalMs);
  if (milliseconds != store_.readingInterval && timers_.rowEnabled()) {
    // The rows due under the old interval come first, so that a gap just before the change
    // keeps its rows; the new period restarts the row timer, and the schedule with it.
    const int64_t now = clock_();
    noteActivity(now);
    storeDueRows(now, false);
    restartSchedule(now);
  }
  store_.readingInterval = milliseconds;
  timers_.setRowPeriod(store_.readingInterval);
}

void Recorder::restartSchedule(int64_t now) {
  scheduleStartClock_ = now;
  scheduledIntervals_ = 0;
}

void Recorder::setClock(MonotonicClock clock) {
  clock_ = std::move(clock);
  restartSchedule(clock_());
  lastActivityClock_ = clock_();
}

void Recorder::resetRecord() {
  clearRecord();
  store_.time[0] = 0;
  clearAccumulators();
  latestMillivolts_.fill(kMissingValue);  // no earlier run's reading for a calibration
  for (LimitWatch& watch : limitWatches_) watch.reset();  // a new run starts inside its limits
}

void Recorder::beginNextPart(double carriedSeconds) {
  clearRecord();
  store_.time[0] = carriedSeconds;
}

void Recorder::clearRecord() {
  // Rows beyond the 25 kept are dropped; the kept ones must not show the previous record.
  table_.setTableRowCount(DataTable::kInitialRows);
  for (int row = 1; row < DataTable::kInitialRows; ++row) {
    for (int column = 0; column < DataTable::kColumns; ++column) {
      table_.setCell(column, row, DataTable::blank());
    }
  }
  table_.setTopRow(1);
  store_.rowCount = 0;
  ++store_.recordId;
  // A new record never shows an older record's values in rows it did not measure.
  for (int c = 1; c <= kChannels; ++c) store_.value[c].fill(kMissingValue);
  for (RecordListener* listener : listeners_) listener->recordReset();
}

void Recorder::clearAccumulators() {
  store_.pollCount = 0;
  store_.readingSum.fill(0.0);
  store_.readingCount.fill(0);
}

bool Recorder::openConverter() {
  if (store_.converterOpen) return true;
  store_.converterOpen = driver_.openUnit(store_.portNumber) != 0;
  if (store_.converterOpen) {
    for (int c = 1; c <= kChannels; ++c) {
      if (fields_.channelSelected(c))
        driver_.setChannel(store_.portNumber, c, driver_.model().bits, 0, 10);
    }
  }
  return store_.converterOpen;
}

bool Recorder::closeConverter() {
  if (!store_.converterOpen) return false;
  driver_.closeUnit(store_.portNumber);
  store_.converterOpen = false;
  return true;
}

void Recorder::startTimers() {
  restartSchedule(clock_());
  lastActivityClock_ = scheduleStartClock_;
  unattendedMs_ = 0;
  timers_.setRowEnabled(true);
  timers_.setPollEnabled(true);
}

QString Recorder::addNote(const QString& text) { return addNoteAt(store_.rowCount, text); }

QString Recorder::addNoteAt(int row, const QString& text) {
  const QString note =
      formatFixed(store_.time[row] / 60.0, 5, 2, noteSeparator_) + QStringLiteral("-> ") + text;
  // Joined after what the row holds (its start note, a gap, a scaling): no note is ever lost.
  // Row 0 is the heading: a note before the first row takes its place.
  const QString held = row > 0 ? table_.cell(DataTable::kNotesColumn, row) : QString();
  QString cell = cellHasText(held) ? held + QStringLiteral("  ") + note : note;
  table_.setCell(DataTable::kNotesColumn, row, cell);
  for (RecordListener* listener : listeners_) listener->noteAdded(row, note, cell);
  return cell;
}
