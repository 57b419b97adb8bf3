// The recorder on Qt's timers as it meets them: polls, row ticks, stalls, interval changes
// and the next part on the same schedule.
#include <gtest/gtest.h>

#include <memory>

#include "data_table.h"
#include "plain_record_fields.h"
#include "record_store.h"
#include "recorder.h"
#include "recorder_fixture.h"
#include "test_doubles.h"

namespace {
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
