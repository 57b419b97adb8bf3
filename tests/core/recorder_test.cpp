#include "recorder.h"

#include <gtest/gtest.h>

#include <memory>

#include "data_table.h"
#include "plain_record_fields.h"
#include "record_store.h"
#include "recorder_fixture.h"
#include "test_doubles.h"

namespace {

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
  // Another converter model: its resolution set up, its counts a millivolt divided by.
  driver.converter = {4, 16, 26.208L, 2500, std::chrono::milliseconds{1000}};
  driver.calls.clear();
  EXPECT_TRUE(recorder.openConverter());
  EXPECT_EQ(driver.calls.value(1), QStringLiteral("set_channel 3 1 16 0 10"));
  feed(1, {26208, 26208, 26208});
  poll(3);
  recorder.Timer1Timer();
  EXPECT_DOUBLE_EQ(store->value[1][1], 1000.0);
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

}  // namespace
