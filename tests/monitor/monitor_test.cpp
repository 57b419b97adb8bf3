#include "monitor.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "monitor_fixture.h"
#include "numbers.h"

namespace {

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

  // The start keeps the digits its step needs, however far into the run.
  const struct {
    const char* start;
    const char* range;
    const char* forward;  // ">" from the start
    const char* back;     // then "<"
  } starts[] = {
      {"99.9", "1", "100.10", "99.90"},          {"100.00", "1", "100.20", "100.00"},
      {"1E3", "1", "1000.20", "1000.00"},        {"3600", "24", "3604.8", "3600.0"},
      {"100000", "1", "100000.20", "100000.00"}, {"5", "0.0025", "5.0005", "5.0000"},
  };
  for (const auto& c : starts) {
    monitor.captions().setText(MonitorCaptions::TimeStart, QString::fromLatin1(c.start));
    monitor.captions().setText(MonitorCaptions::TimeScale, QString::fromLatin1(c.range));
    monitor.defineworlds();
    monitor.BnTimeplusClick();
    EXPECT_EQ(caption(MonitorCaptions::TimeStart), QString::fromLatin1(c.forward)) << c.start;
    monitor.BnTimeMinusClick();
    EXPECT_EQ(caption(MonitorCaptions::TimeStart), QString::fromLatin1(c.back)) << c.start;
  }
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
  monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("1.0004"));  // dragged
  surface.texts.clear();
  monitor.defineworlds();
  EXPECT_EQ(surface.texts[1], QStringLiteral("1.0254"));
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

  // A run is followed to its end past 100 and 1000 min, at a short and at the longest
  // interval in the shortest window: the newest row is always in the window.
  const struct {
    double interval;  // s
    const char* range;
    int rows;
  } runs[] = {{15, "1", 4500}, {500, "1", 150}, {500, "0.0025", 150}};
  for (const auto& run : runs) {
    store->rowCount = 0;
    monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("0"));
    monitor.captions().setText(MonitorCaptions::TimeScale, QString::fromLatin1(run.range));
    monitor.defineworlds();
    for (int n = 1; n <= run.rows; ++n) {
      addRows({{n * run.interval, 0}});
      monitor.drawLatestRow();
      const double minutes = n * run.interval / 60;
      const MonitorView& view = monitor.view();
      if (minutes < view.origin[0] || minutes > view.origin[0] + view.span[0]) {
        ADD_FAILURE() << "at " << minutes << " min (every " << run.interval << " s) the window is "
                      << view.origin[0] << " + " << view.span[0];
        break;
      }
    }
  }
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

// The wheel zooms about the time under the pointer; drags move the window with the pointer,
// to the pixel, and add up exactly. Shift+wheel and the buttons keep their fifth-of-window steps.
TEST_F(MonitorTest, WheelZoomsAtThePointerAndDragsMoveThePixelsDragged) {
  struct Case {
    const char* what;
    std::function<void()> mouse;
    const char* view;  // the start and range captions after it, from "0" and "1"
  } const cases[] = {
      {"wheel away mid-window (0.5 min)", [this] { monitor.wheelOnPicture(335, 1, false); },
       "0.25 0.50"},
      {"wheel away at the right edge (0.9983 min)",
       [this] { monitor.wheelOnPicture(plotRight - 1, 1, false); }, "0.4992 0.50"},
      {"two notches in, then two out",
       [this] {
         monitor.wheelOnPicture(335, 2, false);
         EXPECT_EQ(caption(MonitorCaptions::TimeStart), QStringLiteral("0.375"));
         monitor.wheelOnPicture(335, -2, false);
       },
       "0.00 1.00"},
      {"Shift+wheel away", [this] { monitor.wheelOnPicture(300, 1, true); }, "-0.20 1"},
      {"Shift+wheel towards the user", [this] { monitor.wheelOnPicture(300, -1, true); }, "0.20 1"},
      {"a drag of one pixel", [this] { monitor.dragOnPicture(1); }, "-0.0017 1"},
      {"a drag of 250 px to the right", [this] { monitor.dragOnPicture(250); }, "-0.4167 1"},
      {"300 px right in two moves, then 300 px back",
       [this] {
         monitor.dragOnPicture(120);
         monitor.dragOnPicture(180);
         monitor.dragOnPicture(-300);
       },
       "0.00 1"},
      {"a box over a quarter of the window", [this] { monitor.zoomToColumns(335, 185); },
       "0.250 0.25"},
      {"a box in a range off the series (Plot after a wide window)",
       [this] {
         monitor.captions().setText(MonitorCaptions::TimeScale, QStringLiteral("6E3"));
         monitor.refreshView();
         monitor.zoomToColumns(35, 95);
       },
       "0 1E3"},
      {"a box of a few pixels", [this] { monitor.zoomToColumns(335, 345); }, "0.500 0.025"},
      {"a drag, a longer range, a drag: each at the pointer's speed",
       [this] {
         monitor.dragOnPicture(60);
         press(9, true);
         monitor.dragOnPicture(60);
       },
       "-0.35 2.50"},
      {"a drag, \">\", a drag back: the button's step stands",
       [this] {
         monitor.dragOnPicture(100);
         monitor.BnTimeplusClick();
         monitor.dragOnPicture(-100);
       },
       "0.1967 1"},
  };
  for (const Case& c : cases) {
    monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("0"));
    monitor.captions().setText(MonitorCaptions::TimeScale, QStringLiteral("1"));
    monitor.refreshView();
    c.mouse();
    EXPECT_EQ(caption(MonitorCaptions::TimeStart) + " " + caption(MonitorCaptions::TimeScale),
              QString::fromLatin1(c.view))
        << c.what;
  }
  // The wheel's ends are the series', whatever the arrows did: after its floor and a Plot it
  // zooms in again. Home shows the whole record again.
  monitor.wheelOnPicture(335, 20, false);
  EXPECT_EQ(caption(MonitorCaptions::TimeScale), QStringLiteral("0.003"));
  addRows({{240000, 0}});
  monitor.BnPlotClick();
  monitor.wheelOnPicture(335, 1, false);
  EXPECT_EQ(caption(MonitorCaptions::TimeStart) + " " + caption(MonitorCaptions::TimeScale),
            QStringLiteral("1250 2.5E3"));
  monitor.dragOnPicture(100);
  monitor.showWholeRecord();
  EXPECT_EQ(caption(MonitorCaptions::TimeStart) + " " + caption(MonitorCaptions::TimeScale),
            QStringLiteral("0 5E3"));
  store->rowCount = 0;
  // The readout follows every view change, without the mouse moving.
  monitor.captions().setText(MonitorCaptions::TimeScale, QStringLiteral("1"));
  monitor.captions().setText(MonitorCaptions::TimeStart, QStringLiteral("0"));
  monitor.refreshView();
  monitor.ImScreenMouseMove(335, 230);
  EXPECT_EQ(caption(MonitorCaptions::CursorTime), QStringLiteral("0.50"));
  monitor.BnTimeplusClick();
  EXPECT_EQ(caption(MonitorCaptions::CursorTime), QStringLiteral("0.70"));
}

}  // namespace
