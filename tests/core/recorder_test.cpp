#include "recorder.h"

#include <gtest/gtest.h>

#include <memory>

#include "data_table.h"
#include "plain_record_fields.h"
#include "record_store.h"
#include "test_doubles.h"

namespace {

struct CountingListener : RecordListener {
  int resets = 0;
  int crossings = 0;
  void limitCrossed(int, const QString&) override { ++crossings; }
  int rows = 0;
  int full = 0;
  QStringList notes;
  void recordReset() override { ++resets; }
  void rowStored() override { ++rows; }
  void recordFull() override { ++full; }
  void noteAdded(int row, const QString& /*note*/, const QString& cell) override {
    notes << QString::number(row) + cell;
  }
};

class RecorderTest : public ::testing::Test {
 protected:
  RecorderTest() : store(std::make_unique<RecordStore>()), recorder(*store, table, driver, fields) {
    recorder.addListener(&listener);
    recorder.setClock([this] { return now; });
  }

  void poll(int times) {
    for (int i = 0; i < times; ++i) recorder.Timer2Timer();
  }
  void feed(int channel, std::initializer_list<int32_t> values) {
    for (int32_t v : values) driver.readings[channel].push_back(v);
  }

  std::unique_ptr<RecordStore> store;
  DataTable table;
  ScriptedDriver driver;
  PlainRecordFields fields;
  Recorder recorder;
  CountingListener listener;
  int64_t now = 0;  ///< the recorder's clock, in ms
};

TEST_F(RecorderTest, TrimmedMeanDropsOneLargestAndOneSmallestReading) {
  store->converterOpen = true;
  store->valueDecimals[1] = 4;  // an opened file's: a new record's row 1 has its own
  for (int i = 0; i < 18; ++i) feed(1, {1638});
  feed(1, {2000, 1000});
  poll(20);
  recorder.Timer1Timer();
  EXPECT_DOUBLE_EQ(store->value[1][1], 1000.0);
  EXPECT_EQ(table.cell(1, 1), QStringLiteral("1000.00"));
}

TEST_F(RecorderTest, ThreePollsGiveAValueTwoPollsOnlyATime) {
  store->converterOpen = true;
  feed(1, {10, 20, 30});
  poll(3);
  recorder.Timer1Timer();
  EXPECT_EQ(table.cell(1, 1), QStringLiteral(" 12.21"));
  store->value[1][2] = -7;  // an old value that a row without readings must not keep
  table.setCell(1, 2, QStringLiteral("typed"));
  feed(1, {10, 20});
  poll(2);
  recorder.Timer1Timer();
  EXPECT_TRUE(isMissing(store->value[1][2]));
  EXPECT_EQ(table.cell(1, 2), DataTable::blank());
  EXPECT_EQ(table.cell(0, 2), QStringLiteral("  2.0"));
}

TEST_F(RecorderTest, MeanDividesBySuccessfulReadingsOfEachChannel) {
  const std::optional<int32_t> x;  // a failed reading
  struct Case {
    const char* what;
    std::deque<std::optional<int32_t>> readings;
    double expected;  // NaN: missing
  } const cases[] = {
      {"one in three fails", {3276, 3276, x, 3276, 3276, x, 3276}, 2000.0},
      {"first poll fails", {x, 1638, 1638, 1638}, 1000.0},
      {"only two succeed", {x, 100, x, 200, x}, kMissingValue},
      {"all fail", {x, x, x, x}, kMissingValue},
      {"no failures", {100, 300, 200, 400}, static_cast<double>(500.0L / (2 * 1.638L))},
  };
  store->converterOpen = true;
  for (const Case& c : cases) {
    // An interval with other extremes first: they must not leak into the next.
    driver.readings[1] = {9000, 9000, 9000};
    poll(3);
    recorder.Timer1Timer();
    driver.readings[1] = c.readings;
    poll(static_cast<int>(c.readings.size()));
    recorder.Timer1Timer();
    const double stored = store->value[1][store->rowCount];
    if (std::isnan(c.expected)) {
      EXPECT_TRUE(isMissing(stored)) << c.what;
    } else {
      EXPECT_DOUBLE_EQ(stored, c.expected) << c.what;
    }
  }
}

TEST_F(RecorderTest, SimulationFeedsChannelOneAndGoesOnAcrossRuns) {
  poll(5);
  EXPECT_EQ(store->readingSum[1], 0 + 4 + 110 + 25 + 34);
  recorder.resetRecord();  // a new run does not reseed
  poll(5);
  EXPECT_EQ(store->readingSum[1], 85 + 40 + 20 + 47 + 54);
  EXPECT_EQ(store->readingMax[1], 85);
  EXPECT_EQ(store->readingMin[1], 20);
}

TEST_F(RecorderTest, SimulationFirstTenDraws) {
  const int32_t expected[] = {0, 4, 110, 25, 34, 85, 40, 20, 47, 54};
  for (int32_t value : expected) EXPECT_EQ(recorder.nextSimulatedReading(), value);
}

TEST_F(RecorderTest, PollTimerSwitchesItselfOffAtTheCap) {
  for (int interval : {250, 1000}) {
    recorder.setReadingInterval(interval);
    store->pollCount = 0;
    recorder.timers().setPollEnabled(true);
    const int cap = recorder.pollCap();
    EXPECT_EQ(cap, interval == 250 ? 13 : 55);
    poll(cap);
    EXPECT_TRUE(recorder.timers().pollEnabled());
    EXPECT_EQ(store->pollCount, cap);
    poll(1);
    EXPECT_FALSE(recorder.timers().pollEnabled());
    EXPECT_EQ(store->pollCount, cap) << "the capped poll reads nothing";
    recorder.Timer1Timer();
    EXPECT_TRUE(recorder.timers().pollEnabled()) << "every row re-enables polling";
  }
}

TEST_F(RecorderTest, ShortIntervalTimesAreRunningSums) {
  recorder.setReadingInterval(250);
  const char* texts[] = {"  0.3", "  0.5", "  0.8", "  1.0"};
  for (const char* text : texts) {
    recorder.Timer1Timer();
    EXPECT_EQ(table.cell(0, store->rowCount), QString::fromLatin1(text));
  }
  EXPECT_DOUBLE_EQ(store->time[4], 1.0);
  recorder.setReadingInterval(2000);
  recorder.Timer1Timer();
  EXPECT_DOUBLE_EQ(store->time[5], 3.0);
}

TEST_F(RecorderTest, UncheckedChannelGetsNoValueWhileUnchecked) {
  store->converterOpen = true;
  fields.setChannelSelected(2, true);
  feed(1, {1, 2, 3});
  feed(2, {5, 6, 7});
  poll(3);
  recorder.Timer1Timer();
  EXPECT_NE(table.cell(2, 1), DataTable::blank());
  fields.setChannelSelected(2, false);
  feed(1, {1, 2, 3});
  feed(2, {5, 6, 7});
  poll(3);
  recorder.Timer1Timer();
  EXPECT_EQ(table.cell(2, 2), DataTable::blank());
  EXPECT_EQ(driver.readings[2].size(), 3u) << "an unchecked channel is not polled";
}

TEST_F(RecorderTest, TableGrowsAndScrollsFromTheTenthRow) {
  for (int i = 0; i < 9; ++i) recorder.Timer1Timer();
  EXPECT_EQ(table.tableRowCount(), 34);
  EXPECT_EQ(table.topRow(), 1);
  recorder.Timer1Timer();
  EXPECT_EQ(table.tableRowCount(), 35);
  EXPECT_EQ(table.topRow(), 2);
  EXPECT_EQ(listener.rows, 10);
}

TEST_F(RecorderTest, ResetAfterALongRecordBlanksTheTableAndTheValues) {
  for (int i = 0; i < 100; ++i) recorder.Timer1Timer();
  table.setCell(DataTable::kNotesColumn, 3, QStringLiteral("old note"));
  recorder.resetRecord();
  EXPECT_EQ(table.tableRowCount(), 25);
  EXPECT_EQ(store->rowCount, 0);
  EXPECT_EQ(listener.resets, 1);
  for (int row = 1; row < 25; ++row) {
    for (int column = 0; column < DataTable::kColumns; ++column) {
      EXPECT_EQ(table.cell(column, row), DataTable::blank()) << row << "," << column;
    }
  }
  EXPECT_DOUBLE_EQ(store->time[100], 100.0);
  EXPECT_TRUE(isMissing(store->value[1][100])) << "no older record's value in a new one";
  table.setTableRowCount(120);  // rows that come back are blank too
  EXPECT_EQ(table.cell(0, 100), DataTable::blank());
}

TEST_F(RecorderTest, OpenSetsUpSelectedChannelsInOrderAndCloseOnlyWhenOpen) {
  store->portNumber = 3;
  fields.setChannelSelected(3, true);
  EXPECT_FALSE(recorder.closeConverter());
  driver.opens = true;
  EXPECT_TRUE(recorder.openConverter());
  EXPECT_TRUE(recorder.openConverter()) << "no second open while open";
  EXPECT_TRUE(recorder.closeConverter());
  EXPECT_FALSE(recorder.closeConverter());
  EXPECT_EQ(driver.calls, QStringList({"open 3", "set_channel 3 1 12 0 10",
                                       "set_channel 3 3 12 0 10", "close 3"}));
}

TEST_F(RecorderTest, RowTimerFollowsTheIntervalAndNeverGoesBelow250) {
  recorder.startTimers();
  recorder.setReadingInterval(2500);
  EXPECT_EQ(recorder.timers().rowPeriod(), 2500);
  recorder.setReadingInterval(0);
  EXPECT_EQ(recorder.timers().rowPeriod(), 250);
  EXPECT_EQ(store->readingInterval, 250);
  recorder.setReadingInterval(-40);
  EXPECT_EQ(recorder.timers().rowPeriod(), 250);
  EXPECT_TRUE(recorder.timers().rowEnabled());
  recorder.stopRowTimer();
  EXPECT_FALSE(recorder.timers().rowEnabled());
  EXPECT_TRUE(recorder.timers().pollEnabled()) << "Stop leaves polling to stop itself";
}

TEST_F(RecorderTest, NotesCarryTheRowTimeInMinutes) {
  recorder.setNoteSeparator(QLatin1Char(','));
  EXPECT_EQ(recorder.addNote(QStringLiteral("before")), QStringLiteral("0,00-> before"));
  EXPECT_EQ(table.cell(DataTable::kNotesColumn, 0), QStringLiteral("0,00-> before"));
  recorder.setReadingInterval(90000);
  recorder.Timer1Timer();
  recorder.setNoteSeparator(QLatin1Char('.'));
  recorder.addNote(QStringLiteral("first"));
  recorder.addNote(QStringLiteral("glucose added"));
  EXPECT_EQ(table.cell(DataTable::kNotesColumn, 1),
            QStringLiteral("1.50-> first  1.50-> glucose added"))
      << "a second note is added after the first, never over it";
}

// Each row's trimmed mean is scaled once, a missing value stays missing, and a change during
// the run applies from the next row, which notes it.
TEST_F(RecorderTest, ScalingsApplyToTheTrimmedMeanFromTheNextRowWithANote) {
  store->converterOpen = true;
  for (int c : {1, 2, 4}) fields.setChannelSelected(c, true);
  fields.setUnitLabel(2, QStringLiteral("°C"));
  fields.setScaling(2, {0.1, -50.0});
  fields.setScaling(4, {2.0, 1.0});
  const auto row = [&](int32_t reading, int channel4Polls) {
    for (int p = 0; p < 3; ++p) {
      feed(1, {reading});
      feed(2, {reading});
      if (p < channel4Polls) feed(4, {reading});
    }
    poll(3);
    recorder.Timer1Timer();
  };
  row(1638, 2);  // 1000 mV; channel 4 not measured
  fields.setScaling(2, {2.0, 5.0});
  row(3276, 2);  // 2000 mV
  row(3276, 3);
  EXPECT_TRUE(isMissing(store->value[4][1]));
  EXPECT_DOUBLE_EQ(store->value[2][2], 4005.0);
  EXPECT_DOUBLE_EQ(store->value[4][3], 4001.0);
  EXPECT_DOUBLE_EQ(recorder.latestMillivolts(2), 2000.0) << "the reading before its scaling";
  EXPECT_EQ(listener.notes, QStringList({"20.03-> Ch. 2 scaling: °C = 2 x mV + 5"}))
      << "noted once, on the first row stored with it";
}

// A value hovering at a limit is noted once on the way out and once on the way back, past the
// dead band on the inner side of either limit; a missing value is neither.
TEST_F(RecorderTest, ALimitCrossedHeldWithinTheDeadBandAndLeftGivesTwoNotes) {
  store->converterOpen = true;
  const struct {
    std::vector<int32_t> counts;  // 0: a row without readings
    QStringList notes;
  } cases[] = {
      // About 1000, 1250, 1190, 1210, -, 1140 and 1100 mV.
      {{1638, 2048, 1949, 1982, 0, 1867, 1802},
       {"Ch. 1 above high limit 1200 mV", "Ch. 1 back within limits"}},
      // About 1000, 750, 810, 790, -, 840 and 860 mV.
      {{1638, 1229, 1327, 1294, 0, 1376, 1409},
       {"Ch. 1 below low limit 800 mV", "Ch. 1 back within limits"}},
  };
  for (const auto& c : cases) {
    recorder.resetRecord();
    listener.notes.clear();
    recorder.setLimits(1, {800.0, 1200.0, 50.0});
    for (const int32_t counts : c.counts) {
      if (counts > 0) feed(1, {counts, counts, counts});
      poll(counts > 0 ? 3 : 0);
      recorder.Timer1Timer();
    }
    QStringList notes;
    for (const QString& note : listener.notes) notes << note.section(QStringLiteral("-> "), 1);
    EXPECT_EQ(notes, c.notes);
    EXPECT_TRUE(listener.notes.value(0).startsWith(QStringLiteral("2"))) << "on row 2";
  }
  EXPECT_EQ(listener.crossings, 4);
  EXPECT_FALSE(limitsProblem(1, {800.0, 1200.0, 200.0}));
  EXPECT_EQ(limitsProblem(2, {800.0, 1200.0, 200.5}).value_or(QString()),
            QStringLiteral("Ch. 2: the dead band must be at most half the band between the "
                           "limits."));
}

TEST_F(RecorderTest, StoreFullStopsAtTheLastRowAndWritesNothingBeyond) {
  store->rowCount = kMaxRows - 2;
  store->time[kMaxRows - 2] = 1.0;
  recorder.Timer1Timer();
  EXPECT_EQ(listener.full, 0);
  recorder.Timer1Timer();
  EXPECT_EQ(store->rowCount, kMaxRows);
  EXPECT_EQ(listener.full, 1);
  recorder.Timer1Timer();  // a tick that still arrives is ignored
  EXPECT_EQ(store->rowCount, kMaxRows);
  EXPECT_EQ(listener.rows, 2);
}

// Qt's timers as the recorder meets them: polls every 50 ms, row ticks on the row timer's phase
// (a late tick keeps the phase unless the next deadline has passed too, or the recorder realigns
// it); a stall holds both, and each overdue timer fires once when it ends.
class ScheduledRecorderTest : public RecorderTest {
 protected:
  void start(int interval) {
    recorder.resetRecord();
    listener.notes.clear();
    recorder.setReadingInterval(interval);
    recorder.startTimers();
    runStart = now;
    nextPoll = now + kPollPeriodMs;
    nextRow = now + interval;
  }
  void runFor(int64_t milliseconds) {
    const int64_t end = now + milliseconds;
    while (std::min(nextPoll, nextRow) <= end) {
      const bool poll = nextPoll <= nextRow;
      int64_t& deadline = poll ? nextPoll : nextRow;
      const int period = poll ? kPollPeriodMs : store->readingInterval;
      now = std::max(now, deadline);
      deadline += period;
      if (deadline < now) deadline = now + period;
      if (poll) {
        recorder.Timer2Timer();
        continue;
      }
      RunTimers& timers = recorder.timers();
      if (timers.rowRealigning()) {  // what the realigning timer's timeout does
        timers.rowRealignTimer().stop();
        timers.setRowEnabled(true);
      }
      recorder.Timer1Timer();
      if (timers.rowRealigning()) nextRow = now + timers.rowRealignDelay();
      // How far the newest row's time is behind the clock when it is stored.
      const int64_t lag = now - runStart - std::llround(store->time[store->rowCount] * 1000);
      smallestLag = std::min(smallestLag, lag);
      largestLag = std::max(largestLag, lag);
    }
    now = end;
  }
  void stall(int64_t milliseconds) { now += milliseconds; }
  void changeInterval(int interval) {
    recorder.setReadingInterval(interval);
    nextRow = now + interval;  // a new period restarts the timer
  }
  int filledRows() const {
    int rows = 0;
    for (int r = 1; r <= store->rowCount; ++r) rows += isMissing(store->value[1][r]);
    return rows;
  }
  int64_t runStart = 0;
  int64_t smallestLag = 0;
  int64_t largestLag = 0;
  int64_t nextPoll = 0;
  int64_t nextRow = 0;
};

TEST_F(ScheduledRecorderTest, AStallFillsTheIntervalsThatPassedWithoutAPoll) {
  struct Case {
    int interval;      // ms
    int64_t stall;     // ms, right after row 2
    int filled;        // rows without values after row 2 (the row due when the stall ends
                       // has a reading or two at most)
    double lastTime;   // s, of the newest row once the run has gone on for one more interval
    const char* note;  // on row 3
  } const cases[] = {
      {1000, 900, 0, 3.0, nullptr},  // polls resume before a whole interval passed
      {1000, 1400, 1, 4.0, "0.05-> (no readings: the program was not running for 1.4 s)"},
      {250, 2600, 10, 3.25, "0.01-> (no readings: the program was not running for 2.6 s)"},
      {1000, 10200, 10, 13.0, "0.05-> (no readings: the program was not running for 10.2 s)"},
      // A night's sleep: one row spans the gap, stamped at its end, and the record goes on.
      {1000, 150000, 2, 153.0, "2.52-> (no readings: the program was not running for 150.0 s)"},
  };
  for (const Case& c : cases) {
    start(c.interval);
    runFor(2 * c.interval);
    ASSERT_EQ(store->rowCount, 2);
    stall(c.stall);
    runFor(c.interval);
    EXPECT_EQ(filledRows(), c.filled) << c.interval << " " << c.stall;
    EXPECT_DOUBLE_EQ(store->time[store->rowCount], c.lastTime) << c.stall;
    EXPECT_FALSE(isMissing(store->value[1][store->rowCount])) << "the run goes on measuring";
    if (c.note) {
      EXPECT_EQ(listener.notes, QStringList({QStringLiteral("3") + QString::fromLatin1(c.note)}));
    } else {
      EXPECT_TRUE(listener.notes.isEmpty()) << c.stall;
    }
  }
  EXPECT_EQ(store->time[3], 151.0) << "the long gap's row is stamped at its end";
}

TEST_F(ScheduledRecorderTest, ManyStallsNeverPutTheTimeColumnAheadOfTheClock) {
  start(250);
  uint32_t random = 12345;
  const auto next = [&random](int64_t below) {
    random = random * 1103515245u + 12345u;
    return static_cast<int64_t>((random >> 8) % below);
  };
  for (int i = 0; i < 40; ++i) {
    runFor(250 + next(1000));
    stall(100 + next(601));  // 0.4 to 2.8 intervals
  }
  runFor(250);
  EXPECT_GE(smallestLag, 0) << "a row's time never runs ahead of the clock";
  EXPECT_LT(largestLag, 250) << "nor lags it by a whole interval";
  EXPECT_LE(listener.notes.size(), filledRows()) << "a note only where rows went unmeasured";
}

TEST_F(ScheduledRecorderTest, AnIntervalChangeAfterAStallKeepsTheGap) {
  start(1000);
  runFor(2000);
  stall(3500);
  changeInterval(2000);  // handled before the overdue timers fire
  runFor(2000);
  ASSERT_EQ(store->rowCount, 6);
  EXPECT_EQ(filledRows(), 3) << "rows 3 to 5 had no polls";
  EXPECT_DOUBLE_EQ(store->time[5], 5.0);
  EXPECT_DOUBLE_EQ(store->time[6], 7.0) << "the new interval counts from the change";
  EXPECT_EQ(listener.notes.join(QString()),
            QStringLiteral("30.05-> (no readings: the program was not running for 3.5 s)"));
}

// The run goes on in a new record when the full one is taken care of: the row the schedule has
// due next is row 1 of the next part, with the readings taken for it, even across a stall.
TEST_F(ScheduledRecorderTest, AFullRecordGoesOnInTheNextPartOnTheSameSchedule) {
  struct NextPart : RecordListener {
    Recorder& recorder;
    explicit NextPart(Recorder& r) : recorder(r) {}
    void recordFull() override { recorder.beginNextPart(); }
  } nextPart(recorder);
  recorder.addListener(&nextPart);
  start(250);
  store->rowCount = kMaxRows - 1;
  store->time[kMaxRows - 1] = (kMaxRows - 1) * 0.25;
  runFor(240);  // four polls for the row in progress
  stall(600);   // then two intervals pass without a poll: row 100000 is one of them
  runFor(10);
  EXPECT_EQ(listener.full, 1);
  ASSERT_EQ(store->rowCount, 2) << "no row lost or stored twice at the seam";
  EXPECT_DOUBLE_EQ(store->time[2], 0.5) << "due one interval after the full record's last row";
  EXPECT_TRUE(isMissing(store->value[1][1])) << "an interval without a poll";
  EXPECT_FALSE(isMissing(store->value[1][2])) << "the readings of the row due carried over";
  EXPECT_TRUE(recorder.timers().rowEnabled());
}

TEST_F(RecorderTest, ARecordFullOfGapsEndsAtTheBound) {
  recorder.startTimers();
  store->rowCount = kMaxRows - 3;
  now += 20000;
  recorder.Timer1Timer();
  EXPECT_EQ(store->rowCount, kMaxRows);
  EXPECT_EQ(listener.full, 1);
}

TEST(CellHasText, ByteWiseAboveASingleSpace) {
  EXPECT_FALSE(cellHasText(QString()));
  EXPECT_FALSE(cellHasText(QStringLiteral(" ")));
  EXPECT_FALSE(cellHasText(QStringLiteral("\tx")));
  EXPECT_TRUE(cellHasText(QStringLiteral("  ")));
  EXPECT_TRUE(cellHasText(QStringLiteral(" a")));
  EXPECT_TRUE(cellHasText(QStringLiteral("a")));
}

}  // namespace
