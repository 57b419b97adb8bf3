#include "monitor.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

#include "numbers.h"
#include "plain_record_fields.h"
#include "recorder.h"
#include "test_doubles.h"

namespace {

struct FakeNotes : NotesSink {
  QStringList lines;
  int shows = 0;
  void clearNotes() override { lines.clear(); }
  void appendNote(const QString& line) override { lines << line; }
  void showRestored() override { ++shows; }
};

struct FakeWindow : MonitorWindow {
  std::array<bool, 5> channelGroups{};
  bool runGroups = true;
  int bringUps = 0;
  void setChannelGroupVisible(int c, bool v) override { channelGroups[c] = v; }
  void setRunGroupsVisible(bool v) override { runGroups = v; }
  void bringUp() override { ++bringUps; }
};

class MonitorTest : public ::testing::Test {
 protected:
  MonitorTest()
      : store(std::make_unique<RecordStore>()),
        recorder(*store, table, driver, fields),
        monitor(*store, table, fields, recorder, surface) {
    monitor.setNotesSink(&notes);
    monitor.setWindow(&window);
    monitor.FormShow();
  }

  /// Stores rows at the given times (s) with channel 1 values (mV), as a run would.
  void addRows(std::initializer_list<std::pair<double, double>> rows) {
    for (const auto& [t, v] : rows) {
      const int n = ++store->rowCount;
      store->time[n] = t;
      store->value[1][n] = v;
      table.setTableRowCount(std::max(table.tableRowCount(), n + 25));
      table.setCell(1, n, QString::number(v));
    }
  }
  void addSecondRows(int count) {
    for (int i = 1; i <= count; ++i) addRows({{double(i), 0.0}});
  }
  const QString& caption(MonitorCaptions::Id id) { return monitor.captions().text(id); }
  void press(int control, bool up, int times = 1) {
    for (int i = 0; i < times; ++i) monitor.pressUpDown(control, up);
  }

  std::unique_ptr<RecordStore> store;
  DataTable table;
  ScriptedDriver driver;
  PlainRecordFields fields;
  Recorder recorder;
  TextlessPixelSurface surface;
  FakeNotes notes;
  FakeWindow window;
  Monitor monitor;
};

TEST_F(MonitorTest, DefaultViewMapsValuesAndTimes) {
  struct Case {
    double mV;
    int y;
  } const cases[] = {{0, 230}, {500, 10}, {-500, 450}, {250, 120}};
  for (const Case& c : cases) EXPECT_EQ(monitor.valueToY(1, c.mV), c.y) << c.mV;
  EXPECT_TRUE(monitor.inVisibleRange(1, 500));
  EXPECT_TRUE(monitor.inVisibleRange(1, -500));
  EXPECT_FALSE(monitor.inVisibleRange(1, 500.01));
  EXPECT_FALSE(monitor.inVisibleRange(1, NAN));
  addRows({{30, 0}});
  EXPECT_EQ(monitor.timeToX(1), 335);
  EXPECT_DOUBLE_EQ(monitor.view().factor[0], 10.0);
  EXPECT_DOUBLE_EQ(monitor.view().factor[1], -0.44);
  EXPECT_DOUBLE_EQ(monitor.view().span[2], 0.0) << "unselected channels are not loaded";
}

TEST_F(MonitorTest, PixelsRoundHalfToEvenAndWrapTo16Bits) {
  monitor.captions().setText(MonitorCaptions::TimeScale, QStringLiteral("5"));
  monitor.defineworlds();
  addRows({{0.75, 0}, {1.25, 0}});
  EXPECT_EQ(monitor.timeToX(1), 36);
  EXPECT_EQ(monitor.timeToX(2), 38);
  monitor.captions().setText(MonitorCaptions::TimeScale, QStringLiteral("1"));
  monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("0.4"));
  monitor.defineworlds();
  store->time[1] = 20;  // (20 - 24) * 10 + 35 = -5
  EXPECT_EQ(monitor.timeToX(1), 65531);
}

TEST_F(MonitorTest, DecimalsFollowTheSpanWithAnExtendedPrecisionBound) {
  struct Case {
    double span;
    int decimals;
  } const cases[] = {{0.25, 3}, {0.3, 3}, {0.5, 2}, {2.5, 2}, {5, 1}, {25, 1}, {30, 0}, {1000, 0}};
  for (const Case& c : cases) EXPECT_EQ(decimalsForSpan(c.span), c.decimals) << c.span;
}

TEST_F(MonitorTest, SeriesStepsOnCaptions) {
  EXPECT_EQ(monitor.stepSpanUp(QStringLiteral("1E3"), 1), QStringLiteral("2.5E3"));
  EXPECT_EQ(monitor.stepSpanDown(QStringLiteral("2.5E3"), 1), QStringLiteral("1E3"));
  EXPECT_EQ(monitor.stepSpanDown(QStringLiteral("1E3"), 1), QStringLiteral("500"));
}

TEST_F(MonitorTest, TimeRangeWalksTheSeriesWithinItsControlsBounds) {
  const char* up[] = {"2.50", "5.00", "10.0", "25.0",  "50.0", "100",
                      "250",  "500",  "1E3",  "2.5E3", "5E3",  "1E4"};
  for (const char* text : up) {
    press(9, true);
    EXPECT_EQ(caption(MonitorCaptions::TimeScale), QString::fromLatin1(text));
  }
  press(9, true);
  EXPECT_EQ(caption(MonitorCaptions::TimeScale), QStringLiteral("1E4")) << "control at its maximum";
  press(9, false, 12);
  EXPECT_EQ(caption(MonitorCaptions::TimeScale), QStringLiteral("1.00"));
  const char* down[] = {"0.50", "0.25", "0.100", "0.050", "0.025", "0.010", "0.005", "0.003"};
  for (const char* text : down) {
    press(9, false);
    EXPECT_EQ(caption(MonitorCaptions::TimeScale), QString::fromLatin1(text));
  }
  press(9, false);
  EXPECT_EQ(caption(MonitorCaptions::TimeScale), QStringLiteral("0.003"));
  const char* back[] = {"0.006", "0.012", "0.030", "0.060", "0.120", "0.300", "0.600", "1.20"};
  for (const char* text : back) {
    press(9, true);
    EXPECT_EQ(caption(MonitorCaptions::TimeScale), QString::fromLatin1(text));
  }
}

TEST_F(MonitorTest, ChannelOneScaleUpWrapsAndIsReportedAsDown) {
  press(1, true);
  EXPECT_EQ(caption(MonitorCaptions::Scale1), QStringLiteral("2.5E3"));
  press(1, true);
  EXPECT_EQ(caption(MonitorCaptions::Scale1), QStringLiteral("5E3"));
  press(1, true);
  EXPECT_EQ(caption(MonitorCaptions::Scale1), QStringLiteral("2.5E3"));
  EXPECT_EQ(monitor.upDown(1).position(), 0);
}

TEST_F(MonitorTest, ChannelOneScaleDownWrapsAndIsReportedAsUp) {
  const char* down[] = {"500", "250", "100", "50", "25", "10.0", "5.0", "2.5", "1.00"};
  for (const char* text : down) {
    press(1, false);
    EXPECT_EQ(caption(MonitorCaptions::Scale1), QString::fromLatin1(text));
  }
  press(1, false);
  EXPECT_EQ(caption(MonitorCaptions::Scale1), QStringLiteral("2.50"));
}

TEST_F(MonitorTest, MidpointsAndWindowStartMoveByFractionsOfTheSpan) {
  press(2, true);
  EXPECT_EQ(caption(MonitorCaptions::Mid1), QStringLiteral("100"));
  press(2, true);
  EXPECT_EQ(caption(MonitorCaptions::Mid1), QStringLiteral("200"));
  monitor.captions().setText(MonitorCaptions::Mid1, QStringLiteral("0"));
  monitor.defineworlds();
  press(2, false);
  EXPECT_EQ(caption(MonitorCaptions::Mid1), QStringLiteral("-100"));

  monitor.BnTimeplusClick();
  EXPECT_EQ(caption(MonitorCaptions::TimeStart), QStringLiteral("0.20"));
  monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("0"));
  monitor.defineworlds();
  monitor.BnTimeMinusClick();
  EXPECT_EQ(caption(MonitorCaptions::TimeStart), QStringLiteral("-0.20"));

  monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("100.00"));
  monitor.defineworlds();
  monitor.BnTimeplusClick();
  EXPECT_EQ(caption(MonitorCaptions::TimeStart), QStringLiteral("100.00"))
      << "step lost in 3 digits";
  monitor.BnTimeMinusClick();
  EXPECT_EQ(caption(MonitorCaptions::TimeStart), QStringLiteral("99.80"));
}

TEST_F(MonitorTest, ReadingIntervalLadderAnd250Floor) {
  EXPECT_EQ(caption(MonitorCaptions::Interval), QStringLiteral("1.0"));
  const char* up[] = {"2.50", "5.00", "10.00", "25.00", "50.00", "100.00", "250.00", "500.00"};
  for (const char* text : up) {
    press(10, true);
    EXPECT_EQ(caption(MonitorCaptions::Interval), QString::fromLatin1(text));
  }
  EXPECT_EQ(store->readingInterval, 500000);
  EXPECT_EQ(recorder.timers().rowPeriod(), 500000);
  press(10, true);
  EXPECT_EQ(store->readingInterval, 500000) << "control at its maximum";
  press(10, false, 8);
  EXPECT_EQ(caption(MonitorCaptions::Interval), QStringLiteral("1.00"));
  press(10, false);
  EXPECT_EQ(caption(MonitorCaptions::Interval), QStringLiteral("0.50"));
  press(10, false);
  EXPECT_EQ(caption(MonitorCaptions::Interval), QStringLiteral("0.25"));
  EXPECT_EQ(store->readingInterval, 250);
  press(10, false);
  EXPECT_EQ(caption(MonitorCaptions::Interval), QStringLiteral("0.25")) << "control at its minimum";
}

TEST_F(MonitorTest, IntervalFromSettingsAndCoarseTimeRanges) {
  recorder.setReadingInterval(250);
  monitor.FormShow();
  EXPECT_EQ(caption(MonitorCaptions::Interval), QStringLiteral("0.3"));
  EXPECT_EQ(store->readingInterval, 250);
  monitor.UpDown10Click(UpDownLogic::Direction::Down);  // refused, but read back from the caption
  EXPECT_EQ(store->readingInterval, 300);
  monitor.UpDown10Click(UpDownLogic::Direction::Up);
  EXPECT_EQ(caption(MonitorCaptions::Interval), QStringLiteral("0.60"));

  // With a 30 min range the caption has no decimals: 0.50 down would read back as 0 ms.
  monitor.captions().setText(MonitorCaptions::Interval, QStringLiteral("0.50"));
  recorder.setReadingInterval(500);
  monitor.captions().setText(MonitorCaptions::TimeScale, QStringLiteral("50"));
  monitor.defineworlds();
  monitor.UpDown10Click(UpDownLogic::Direction::Down);
  EXPECT_EQ(caption(MonitorCaptions::Interval), QStringLiteral("0.50"));
  EXPECT_EQ(store->readingInterval, 500);
}

TEST_F(MonitorTest, AxesGridAndLabelsAreDrawnExactly) {
  EXPECT_EQ(surface.pixel(35, 10), colors::kBlack);
  EXPECT_EQ(surface.pixel(634, 449), colors::kBlack);
  EXPECT_EQ(surface.pixel(635, 449), colors::kWhite) << "right edge exclusive";
  EXPECT_EQ(surface.pixel(35, 450), colors::kWhite) << "bottom edge exclusive";
  // Dotted grid: alternate pixels, starting 4 px left of the frame; the end point is not painted.
  EXPECT_EQ(surface.pixel(31, 54), colors::kGrid);
  EXPECT_EQ(surface.pixel(32, 54), colors::kWhite);
  EXPECT_EQ(surface.pixel(95, 6), colors::kGrid);
  EXPECT_EQ(surface.pixel(95, 454), colors::kWhite);
  EXPECT_EQ(surface.pixel(637, 406), colors::kGrid) << "the last grid line level to its end";
  EXPECT_EQ(surface.texts.size(), 21u);
  EXPECT_EQ(surface.texts[0], QStringLiteral("0.00"));
  EXPECT_EQ(surface.texts[9], QStringLiteral("0.90"));
  EXPECT_EQ(surface.texts[10], QStringLiteral("-500"));
  EXPECT_EQ(surface.texts[20], QStringLiteral("500"));
  // Each time label names its grid line, however many digits that takes.
  monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("1"));
  monitor.captions().setText(MonitorCaptions::TimeScale, QStringLiteral("0.25"));
  surface.texts.clear();
  monitor.defineworlds();
  EXPECT_EQ(surface.texts[1], QStringLiteral("1.025"));
  monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("0"));
  monitor.captions().setText(MonitorCaptions::TimeScale, QStringLiteral("1"));
  surface.texts.clear();
  surface.textPlaces.clear();
  monitor.defineworlds();
  // Time labels 8 px left of their grid line, 10 px below the frame; value labels at x 3, 6 px
  // above their line.
  for (const auto& [index, x, y] :
       {std::tuple{0, 27, 460}, {9, 567, 460}, {10, 3, 444}, {20, 3, 4}}) {
    EXPECT_EQ(surface.textPlaces[index].x, x) << surface.texts[index].toStdString();
    EXPECT_EQ(surface.textPlaces[index].y, y) << surface.texts[index].toStdString();
  }
  fields.setChannelSelected(1, false);
  surface.texts.clear();
  monitor.defineworlds();
  EXPECT_EQ(surface.texts.size(), 10u) << "no value labels without channel 1";
}

TEST_F(MonitorTest, ChannelMarksAndNoteMarkers) {
  monitor.drawChannelMark(1, 100, 100);
  EXPECT_EQ(surface.pixel(99, 99), colors::kRed);
  EXPECT_EQ(surface.pixel(101, 101), colors::kRed);
  EXPECT_EQ(surface.pixel(100, 99), colors::kWhite);
  EXPECT_EQ(surface.pixel(100, 100), colors::kBlack);
  monitor.drawChannelMark(4, 200, 200);
  EXPECT_EQ(surface.pixel(200, 199), colors::kPurple);
  EXPECT_EQ(surface.pixel(199, 199), colors::kWhite);
  monitor.drawChannelMark(3, 300, 300);
  EXPECT_EQ(surface.pixel(301, 299), colors::kGreen);
  monitor.drawChannelMark(2, 400, 400);
  EXPECT_EQ(surface.pixel(401, 400), colors::kBlue);
  monitor.drawNoteMarker(335);
  EXPECT_EQ(surface.pixel(332, 449), colors::kMagenta);
  EXPECT_EQ(surface.pixel(335, 443), colors::kMagenta);
  EXPECT_NE(surface.pixel(338, 449), colors::kMagenta) << "the chevron's end point is not painted";
  EXPECT_EQ(surface.pixel(338, 450), colors::kWhite) << "nor anything below it";
  EXPECT_TRUE(surface.pixel(337, 448) == colors::kMagenta ||
              surface.pixel(338, 448) == colors::kMagenta);
  EXPECT_EQ(surface.pixel(332, 11), colors::kMagenta);
  EXPECT_EQ(surface.penColor(), colors::kBlack) << "pen colour restored";
}

TEST_F(MonitorTest, FindFirstVisibleRowBisects) {
  addSecondRows(100);
  struct Case {
    const char* start;
    int row;
  } const cases[] = {{"0", 1}, {"0.5", 31}, {"1", 61}, {"1.6", 97}, {"2", 100}, {"-1", 1}};
  for (const Case& c : cases) {
    monitor.captions().setText(MonitorCaptions::TimeStart, QString::fromLatin1(c.start));
    monitor.defineworlds();
    monitor.findFirstVisibleRow();
    EXPECT_EQ(monitor.view().firstVisibleRow, c.row) << c.start;
  }
}

TEST_F(MonitorTest, LatestRowScrollsAtNinetyPercent) {
  addRows({{30, 0}});
  monitor.drawLatestRow();
  EXPECT_EQ(caption(MonitorCaptions::TimeStart), QStringLiteral("0"));
  EXPECT_EQ(surface.pixel(335, 230), colors::kBlack);
  EXPECT_EQ(surface.pixel(334, 229), colors::kRed);
  EXPECT_EQ(caption(MonitorCaptions::Value1), QStringLiteral("0"));
  addRows({{57, 0}});
  monitor.drawLatestRow();
  EXPECT_EQ(caption(MonitorCaptions::TimeStart), QStringLiteral("0.40"));
  monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("10"));
  monitor.defineworlds();
  addRows({{657, 0}});
  monitor.drawLatestRow();
  EXPECT_EQ(caption(MonitorCaptions::TimeStart), QStringLiteral("10.40"));
}

TEST_F(MonitorTest, RecordingTimeText) {
  struct Case {
    double seconds;
    const char* text;
  } const cases[] = {
      {5.3, "0 : 5.3"}, {225.7, "3 : 46.0"}, {3600, "60 : 0.0"}, {59.96, "0 : 60.0"}};
  for (const Case& c : cases) {
    addRows({{c.seconds, 0}});
    monitor.drawLatestRow();
    EXPECT_EQ(caption(MonitorCaptions::Runtime), QString::fromLatin1(c.text)) << c.seconds;
  }
}

TEST_F(MonitorTest, ChannelOneGateHoldsBackOtherChannels) {
  fields.setChannelSelected(2, true);
  monitor.defineworlds();
  addRows({{30, 900}});  // channel 1 out of range
  store->value[2][1] = 100;
  table.setCell(2, 1, QStringLiteral("100.00"));
  monitor.drawLatestRow();
  const int x = monitor.timeToX(1);
  const int y = monitor.valueToY(2, 100);
  EXPECT_NE(surface.pixel(x, y - 1), colors::kBlue);
  EXPECT_TRUE(caption(MonitorCaptions::Value2).isEmpty());
  monitor.refreshView();  // a full redraw has no gate
  EXPECT_EQ(surface.pixel(x, y - 1), colors::kBlue);
  // Following the data, channel 1 is fitted again at once; channel 2, on its scale, is not.
  const QString scale2 = caption(MonitorCaptions::Scale2);
  monitor.setFollowData(true);
  addRows({{31, 950}});
  store->value[2][2] = 100;
  table.setCell(2, 2, QStringLiteral("100.00"));
  monitor.drawLatestRow();
  EXPECT_TRUE(monitor.inVisibleRange(1, 950)) << caption(MonitorCaptions::Scale1).toStdString();
  EXPECT_EQ(caption(MonitorCaptions::Scale2), scale2);
  EXPECT_EQ(caption(MonitorCaptions::Value2), QStringLiteral("100.00"));
  // A scale set by hand stands until the box is checked again.
  monitor.scaleClick(1, UpDownLogic::Direction::Down);
  const QString byHand = caption(MonitorCaptions::Scale1);
  addRows({{32, 2000}});
  monitor.drawLatestRow();
  EXPECT_EQ(caption(MonitorCaptions::Scale1), byHand);
  monitor.setFollowData(true);
  addRows({{33, 2000}, {34, 2000}});
  monitor.drawLatestRow();
  EXPECT_NE(caption(MonitorCaptions::Scale1), byHand);
  // A steady channel is followed no finer than a few converter steps (0.61 mV each).
  monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("0.54"));
  monitor.captions().setText(MonitorCaptions::Scale1, QStringLiteral("1"));
  monitor.captions().setText(MonitorCaptions::Mid1, QStringLiteral("0"));
  monitor.defineworlds();
  addRows({{35, 2000}});
  monitor.drawLatestRow();
  EXPECT_EQ(caption(MonitorCaptions::Scale1), QStringLiteral("2.50"));
}

TEST_F(MonitorTest, MissingValuesDrawNothingBlankTheirLabelAndOpenNoGate) {
  fields.setChannelSelected(2, true);
  monitor.defineworlds();
  addRows({{6, 100}});
  store->value[2][1] = 50;
  table.setCell(2, 1, QStringLiteral("50.00"));
  monitor.drawLatestRow();
  EXPECT_EQ(caption(MonitorCaptions::Value2), QStringLiteral("50.00"));
  addRows({{12, kMissingValue}});  // channel 1 not measured: channel 2 still shows live
  store->value[2][2] = 70;
  table.setCell(2, 2, QStringLiteral("70.00"));
  monitor.drawLatestRow();
  EXPECT_EQ(surface.pixel(monitor.timeToX(2), monitor.valueToY(2, 70) - 1), colors::kBlue);
  EXPECT_TRUE(caption(MonitorCaptions::Value1).isEmpty());
  addRows({{18, 100}});
  store->value[2][3] = kMissingValue;
  monitor.drawLatestRow();
  EXPECT_TRUE(caption(MonitorCaptions::Value2).isEmpty()) << "no stale number for a gap";
  monitor.refreshView();
  for (int y = plotTop + 1; y < plotBottom; ++y) {
    EXPECT_NE(surface.pixel(monitor.timeToX(2) - 1, y), colors::kRed) << "no channel 1 mark";
  }
}

TEST_F(MonitorTest, FullRedrawDrawsTheWindowAndMarksNotes) {
  addSecondRows(100);
  table.setCell(5, 10, QStringLiteral("0.17-> note"));
  table.setCell(5, 20, QStringLiteral(" "));
  table.setCell(5, 80, QStringLiteral("late"));
  monitor.refreshView();
  EXPECT_EQ(surface.pixel(monitor.timeToX(10), 443), colors::kMagenta);
  EXPECT_EQ(surface.pixel(monitor.timeToX(20), 443), colors::kWhite);
  EXPECT_EQ(surface.pixel(monitor.timeToX(60), 230), colors::kBlack) << "row at 60 s, x = 635";
  EXPECT_TRUE(notes.lines.isEmpty()) << "outside plot mode the notes window is left alone";
}

TEST_F(MonitorTest, RowsOutsideTheWindow) {
  addRows({{10, 0}});
  monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("5"));
  monitor.refreshView();  // the last row lies before the window: drawn left of the frame
  EXPECT_EQ(monitor.view().firstVisibleRow, 1);
  addRows({{1000, 0}});
  monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("1"));
  monitor.refreshView();
  EXPECT_EQ(monitor.view().firstVisibleRow, 2);
}

TEST_F(MonitorTest, PlotFitsTheWindowAndListsTheNotes) {
  struct Case {
    int rows;
    const char* scale;
  } const cases[] = {{30, "1"}, {60, "1"}, {61, "2.50"}, {3000, "50.00"}};
  for (const Case& c : cases) {
    store->rowCount = 0;
    addSecondRows(c.rows);
    monitor.captions().setText(MonitorCaptions::TimeScale, QStringLiteral("1"));
    monitor.defineworlds();
    monitor.BnPlotClick();
    EXPECT_EQ(caption(MonitorCaptions::TimeScale), QString::fromLatin1(c.scale)) << c.rows;
    EXPECT_EQ(caption(MonitorCaptions::TimeStart), QStringLiteral("0"));
  }
  EXPECT_EQ(surface.texts.size() >= 10, true);
  EXPECT_EQ(monitor.view().displayMode, kPlot);
  EXPECT_FALSE(window.runGroups);
  EXPECT_TRUE(window.channelGroups[1]);
  EXPECT_FALSE(window.channelGroups[2]);

  table.setCell(5, 1, QStringLiteral("start"));
  table.setCell(5, 2000, QStringLiteral("late"));
  monitor.BnPlotClick();
  EXPECT_EQ(notes.lines, QStringList({"start", "late"}));
  monitor.captions().setText(MonitorCaptions::TimeScale, QStringLiteral("10"));
  monitor.refreshView();  // every later full redraw lists the notes shown
  EXPECT_EQ(notes.lines, QStringList({"start"}));
}

TEST_F(MonitorTest, PlotBeyondTheControlsRangeAndOfAnEmptyRecord) {
  monitor.BnPlotClick();
  EXPECT_EQ(window.bringUps, 0) << "an empty record is ignored";
  addRows({{60.0 * 20000, 0}});
  monitor.BnPlotClick();
  EXPECT_EQ(caption(MonitorCaptions::TimeScale), QStringLiteral("2.5E4"));
}

TEST_F(MonitorTest, CursorReadout) {
  struct Case {
    int x, y;
    const char* time;
    const char* value;
  } const cases[] = {{35, 10, "0.00", "500"},
                     {335, 230, "0.50", "0"},
                     {635, 450, "1.00", "-500"},
                     {5, 230, "-0.05", "0"}};
  for (const Case& c : cases) {
    monitor.ImScreenMouseMove(c.x, c.y);
    EXPECT_EQ(caption(MonitorCaptions::CursorTime), QString::fromLatin1(c.time));
    EXPECT_EQ(caption(MonitorCaptions::CursorValue), QString::fromLatin1(c.value));
  }
  monitor.captions().setText(MonitorCaptions::Scale1, QStringLiteral("2.5"));
  monitor.captions().setText(MonitorCaptions::TimeScale, QStringLiteral("0.25"));
  monitor.defineworlds();
  monitor.ImScreenMouseMove(35, 10);
  EXPECT_EQ(caption(MonitorCaptions::CursorTime), QStringLiteral("0.000"));
  EXPECT_EQ(caption(MonitorCaptions::CursorValue), QStringLiteral("1.25"));
}

TEST_F(MonitorTest, FitScalesShowsTheWindowsValuesOnTheSmallestScale) {
  const double x = kMissingValue;
  struct Case {
    std::vector<double> values;  // channel 1, one row each, all in the time window
    const char* scale;
    const char* mid;
  } const cases[] = {
      {{1490, 1510}, "25", "1.5E3"},
      {{-1510, -1490}, "25", "-1.5E3"},
      {{-30, 40}, "100", "10"},
      {{-50, 50}, "100", "0"},  // on both edges of the window: it holds them
      {{1500}, "0.001", "1.5E3"},
      {{x, x}, "1000", "0"},
      {{0.12, x, 0.18}, "0.100", "0.150"},
      {{1.2, 1.8}, "1.00", "1.50"},
      {{12, 18}, "10.0", "15.0"},
      {{120, 180}, "100", "150"},
      {{1200, 1800}, "1000", "1.5E3"},
      {{12000, 18000}, "1E4", "1.5E4"},
      {{1e9, 1e9 + 4e8}, "5E8", "1.2E9"},
  };
  fields.setChannelSelected(4, true);
  for (const int channel : {1, 4}) {
    for (const Case& c : cases) {
      monitor.captions().setText(MonitorCaptions::scale(channel), QStringLiteral("1000"));
      monitor.captions().setText(MonitorCaptions::mid(channel), QStringLiteral("0"));
      monitor.defineworlds();
      store->rowCount = 0;
      for (size_t i = 0; i < c.values.size(); ++i) {
        // The last value on the window's end, which belongs to the window.
        addRows({{i + 1 == c.values.size() ? 60.0 : 6.0 * (i + 1), kMissingValue}});
        store->value[channel][store->rowCount] = c.values[i];
      }
      addRows({{90, 5e9}});  // beyond the window: not fitted
      store->value[channel][store->rowCount] = 5e9;
      monitor.fitScalesToData();
      const std::string at = QStringLiteral("ch%1 %2").arg(channel).arg(c.values[0]).toStdString();
      EXPECT_EQ(caption(MonitorCaptions::scale(channel)), QString::fromLatin1(c.scale)) << at;
      EXPECT_EQ(caption(MonitorCaptions::mid(channel)), QString::fromLatin1(c.mid)) << at;
      for (int r = 1; r < store->rowCount; ++r) {
        if (!isMissing(store->value[channel][r])) {
          EXPECT_TRUE(monitor.inVisibleRange(channel, store->value[channel][r])) << at;
        }
      }
    }
  }
  EXPECT_EQ(monitor.upDown(1).position(), 9) << "the up-down positions stay";
}

// The full redraw as the drawing rules state it, through the exact mapping of every mark.
void redrawExactly(Monitor& monitor, const RecordStore& store, const DataTable& table,
                   const RecordFields& fields, int row) {
  const MonitorView& view = monitor.view();
  const long double windowEnd = (static_cast<long double>(view.origin[0]) + view.span[0]) * 60;
  for (; row <= store.rowCount; ++row) {
    const int x = monitor.timeToX(row);
    for (int c = 1; c <= kChannels; ++c) {
      const double v = store.value[c][row];
      if (fields.channelSelected(c) && monitor.inVisibleRange(c, v)) {
        monitor.drawChannelMark(c, x, monitor.valueToY(c, v));
      }
    }
    if (cellHasText(table.cell(DataTable::kNotesColumn, row))) monitor.drawNoteMarker(x);
    if (row == store.rowCount || store.time[row + 1] > windowEnd) break;
  }
}

TEST_F(MonitorTest, FastRedrawMatchesTheExactMappingPixelForPixel) {
  std::mt19937_64 random(20261208);
  auto uniform = [&](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random);
  };
  auto pick = [&](std::initializer_list<const char*> texts) {
    return QString::fromLatin1(texts.begin()[random() % texts.size()]);
  };
  TextlessPixelSurface exactSurface;
  Monitor exact(*store, table, fields, recorder, exactSurface);
  for (int c = 2; c <= kChannels; ++c) fields.setChannelSelected(c, true);
  table.setTableRowCount(2000 + 25);
  long mismatches = 0;
  for (int view = 0; view < 300; ++view) {
    const QString timeScale = pick({"0.003", "0.025", "0.50", "1", "2.50", "25.0", "500", "1E4"});
    const double minutes = parseNumber(timeScale, QLatin1Char('.'));
    const QString timeStart =
        formatFixed(uniform(-minutes, 3 * minutes), 3, decimalsForSpan(minutes), QLatin1Char('.'));
    for (Monitor* m : {&monitor, &exact}) {
      m->captions().setText(MonitorCaptions::TimeScale, timeScale);
      m->captions().setText(MonitorCaptions::TimeStart, timeStart);
    }
    // Rows from before the window to beyond it; some views put every row far outside, where
    // the x coordinates wrap around 16 bits, some beyond 2^30 pixels.
    store->rowCount = 2000;
    const double far = view % 7 == 0 ? (view % 2 ? 1e5 : 1e7) : 0;
    double t = uniform(-0.5, 1.5) * minutes * 60 + far;
    for (int r = 1; r <= store->rowCount; ++r) {
      t += uniform(0, 3.0 * minutes * 60 / store->rowCount);
      store->time[r] = t;
      table.setCell(DataTable::kNotesColumn, r,
                    random() % 50 == 0 ? QStringLiteral("n") : DataTable::blank());
    }
    for (int c = 1; c <= kChannels; ++c) {
      const QString scale =
          pick({"0.001", "0.003", "0.25", "1.00", "2.5", "10.0", "1000", "5E3", "2.5E4", "1E5"});
      const double span = parseNumber(scale, QLatin1Char('.'));
      const QString mid = formatFixed(0.1 * span * std::round(uniform(-40, 40)), 3,
                                      decimalsForSpan(span), QLatin1Char('.'));
      const double origin = parseNumber(mid, QLatin1Char('.'));
      for (Monitor* m : {&monitor, &exact}) {
        m->captions().setText(MonitorCaptions::scale(c), scale);
        m->captions().setText(MonitorCaptions::mid(c), mid);
      }
      const double factor = -440.0 / span;
      for (int r = 1; r <= store->rowCount; ++r) {
        double& v = store->value[c][r];
        switch (random() % 6) {
          case 0:  // on a half pixel, as near as a double gets
            v = origin + 0.5 * span + (std::floor(uniform(0, 440)) + 0.5) / factor;
            break;
          case 1:  // at an edge of the range
            v = random() % 2 ? origin + 0.5 * span : origin - 0.5 * span;
            break;
          case 2:
            v = random() % 3 ? kMissingValue : uniform(-1e9, 1e9);
            break;
          default:
            v = origin + uniform(-0.6, 0.6) * span;
        }
      }
    }
    for (Monitor* m : {&monitor, &exact}) {
      m->defineworlds();
      m->findFirstVisibleRow();
    }
    const int from = view % 3 == 0 ? 1 : monitor.view().firstVisibleRow;
    monitor.redrawFrom(from);
    redrawExactly(exact, *store, table, fields, from);
    for (int i = 0; i < Surface::kWidth * Surface::kHeight; ++i) {
      if (surface.bits()[i] != exactSurface.bits()[i]) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(UpDownLogic, BoundsAndWrap) {
  UpDownLogic bounded(0, 2, 1, false);
  EXPECT_EQ(bounded.press(true), UpDownLogic::Direction::Up);
  EXPECT_EQ(bounded.press(true), std::nullopt);
  EXPECT_EQ(bounded.position(), 2);
  UpDownLogic wrapping(0, 2, 2, true);
  EXPECT_EQ(wrapping.press(true), UpDownLogic::Direction::Down);
  EXPECT_EQ(wrapping.position(), 0);
  EXPECT_EQ(wrapping.press(false), UpDownLogic::Direction::Up);
  EXPECT_EQ(wrapping.position(), 2);
}

TEST_F(MonitorTest, WheelAndDragStepTheViewAsTheControlsDo) {
  using Steps = std::function<void()>;
  const Steps earlier = [this] { monitor.BnTimeMinusClick(); };
  const Steps later = [this] { monitor.BnTimeplusClick(); };
  const Steps shorter = [this] { monitor.pressUpDown(9, false); };
  const Steps longer = [this] { monitor.pressUpDown(9, true); };
  struct Case {
    const char* what;
    Steps mouse;
    std::vector<Steps> controls;
  } const cases[] = {
      {"wheel away at the left edge",
       [this] { monitor.wheelOnPicture(plotLeft, 1, false); },
       {shorter}},
      {"wheel towards the user",
       [this] { monitor.wheelOnPicture(300, -2, false); },
       {longer, longer}},
      // The pointed time (0.998 min) stays in view: five fifths of the new half-minute window.
      {"wheel away at the right edge",
       [this] { monitor.wheelOnPicture(plotRight - 1, 1, false); },
       {shorter, later, later, later, later, later}},
      {"Shift+wheel away", [this] { monitor.wheelOnPicture(300, 1, true); }, {earlier}},
      {"Shift+wheel towards the user", [this] { monitor.wheelOnPicture(300, -1, true); }, {later}},
      {"a drag of 250 px to the right",
       [this] { EXPECT_EQ(monitor.dragOnPicture(250), 10); },
       {earlier, earlier}},
      {"a drag of 130 px to the left",
       [this] { EXPECT_EQ(monitor.dragOnPicture(-130), -10); },
       {later}},
  };
  for (const Case& c : cases) {
    const auto view = [this] {
      return caption(MonitorCaptions::TimeStart) + " " + caption(MonitorCaptions::TimeScale);
    };
    const auto reset = [this] {
      monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("0"));
      monitor.captions().setText(MonitorCaptions::TimeScale, QStringLiteral("1"));
      monitor.refreshView();
    };
    reset();
    c.mouse();
    const QString byMouse = view();
    reset();
    for (const Steps& step : c.controls) step();
    EXPECT_EQ(byMouse, view()) << c.what;
  }
  // The readout follows every view change, without the mouse moving.
  monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("0"));
  monitor.refreshView();
  monitor.ImScreenMouseMove(335, 230);
  EXPECT_EQ(caption(MonitorCaptions::CursorTime), QStringLiteral("0.50"));
  monitor.BnTimeplusClick();
  EXPECT_EQ(caption(MonitorCaptions::CursorTime), QStringLiteral("0.70"));
}

}  // namespace
