// The monitor's drawing of rows: the live gate, missing values, full redraws and plots, the
// cursor, fitted scales and the fast mapping against the exact one.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "monitor.h"
#include "monitor_fixture.h"
#include "numbers.h"

namespace {

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
  EXPECT_EQ(window.viewChanges, 4) << "the statistics hear of every Plot";
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

}  // namespace
