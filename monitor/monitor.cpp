#include "monitor.h"

#include <algorithm>
#include <cmath>

#include "numbers.h"
#include "recorder.h"

namespace {
// Ties to even, then reduced to 16 bits unsigned as the drawing routines take coordinates.
uint16_t toPixel(long double coordinate) {
  // rint rounds ties to even in the default rounding mode, like nearbyint, without saving and
  // restoring the floating-point environment on every call.
  const long double rounded = std::rint(coordinate);
  if (!std::isfinite(rounded) || std::fabs(rounded) > 1e18L) return 65535;
  return static_cast<uint16_t>(static_cast<int64_t>(rounded) & 0xFFFF);
}
}  // namespace

Monitor::Monitor(RecordStore& store, DataTable& table, const RecordFields& fields,
                 Recorder& recorder, Surface& surface)
    : store_(store),
      table_(table),
      fields_(fields),
      recorder_(recorder),
      surface_(surface),
      // (minimum, maximum, start position, wrap) of UpDown1 to UpDown10. The positions only limit
      // how many steps in one direction take effect: channel 1's scale and midpoint wrap (a wrap
      // reads as a step the other way), the others stop at their ends; the time range starts at
      // 1 min with 8 steps down and 12 up, the interval at 1 s with 2 steps down to 0.25 s.
      upDowns_{UpDownLogic(0, 11, 9, true),    UpDownLogic(0, 125, 63, true),
               UpDownLogic(0, 100, 50, false), UpDownLogic(0, 100, 50, false),
               UpDownLogic(0, 100, 59, false), UpDownLogic(0, 100, 50, false),
               UpDownLogic(0, 100, 50, false), UpDownLogic(0, 100, 50, false),
               UpDownLogic(-8, 12, 0, false),  UpDownLogic(0, 10, 2, false)} {}

double Monitor::parse(MonitorCaptions::Id id) const {
  return parseNumber(captions_.text(id), separator_);
}

QString Monitor::format(double value, int precision, int decimals) const {
  return formatFixed(value, precision, decimals, separator_);
}

void Monitor::defineworlds() {
  surface_.fillRect(0, 450, 640, 480);
  view_.origin[0] = parse(MonitorCaptions::TimeStart);
  view_.span[0] = parse(MonitorCaptions::TimeScale);
  view_.factor[0] = (plotRight - plotLeft) / (60.0 * view_.span[0]);
  surface_.fillRect(0, 0, 34, 480);
  for (int c = 1; c <= kChannels; ++c) {
    if (!fields_.channelSelected(c)) continue;
    view_.span[c] = parse(MonitorCaptions::scale(c));
    view_.origin[c] = parse(MonitorCaptions::mid(c));
    view_.factor[c] = (plotTop - plotBottom) / view_.span[c];
  }
  drawAxes();
}

uint16_t Monitor::timeToX(int row) const {
  const long double x =
      (static_cast<long double>(store_.time[row]) - view_.origin[0] * 60.0L) * view_.factor[0] +
      plotLeft;
  return toPixel(x);
}

uint16_t Monitor::valueToY(int channel, double value) const {
  const long double y =
      (static_cast<long double>(value) - view_.origin[channel] - 0.5L * view_.span[channel]) *
          view_.factor[channel] +
      plotTop;
  return toPixel(y);
}

bool Monitor::inVisibleRange(int channel, double value) const {
  const long double v = value;
  const long double half = 0.5L * view_.span[channel];
  return view_.origin[channel] - half <= v && v <= view_.origin[channel] + half;  // NaN: false
}

QString Monitor::stepSpanUp(const QString& text, int axis) const {
  double x = parseNumber(text, separator_);
  x = text.contains(QLatin1Char('1')) ? x * 2.5 : x * 2;
  return format(x, 3, decimalsForSpan(view_.span[axis]));
}

QString Monitor::stepSpanDown(const QString& text, int axis) const {
  double x = parseNumber(text, separator_);
  const bool twoAndFive = text.contains(QLatin1Char('2')) && text.contains(QLatin1Char('5'));
  x = twoAndFive ? x / 2.5 : x / 2;
  return format(x, 3, decimalsForSpan(view_.span[axis]));
}

void Monitor::drawAxes() {
  surface_.place(100, 10, Surface::kWidth, Surface::kHeight);
  surface_.setPenDotted(false);
  surface_.setPenColor(colors::kBlack);
  surface_.rectangle(plotLeft, plotTop, plotRight, plotBottom);
  surface_.setPenDotted(true);
  surface_.setPenColor(colors::kGrid);
  for (int i = 1; i <= 9; ++i) {
    surface_.polyline({{plotLeft - 4, plotTop + 44 * i}, {plotRight + 4, plotTop + 44 * i}});
    surface_.polyline({{plotLeft + 60 * i, plotTop - 4}, {plotLeft + 60 * i, plotBottom + 4}});
  }
  surface_.setPenDotted(false);
  surface_.setPenColor(colors::kBlack);
  // Each label names its own grid line: as many digits as the line needs (three significant
  // digits would print 1.020 at the line of 1.025).
  // A start dragged to the pixel keeps its digits too.
  const QString& start = captions_.text(MonitorCaptions::TimeStart);
  int startDecimals = 0;
  for (qsizetype i = start.indexOf(separator_) + 1; i > 0 && i < start.size() && start[i].isDigit();
       ++i) {
    ++startDecimals;
  }
  const int timeDecimals = std::max(
      {decimalsForSpan(view_.span[0]), exactDecimals(view_.span[0] / 10.0L), startDecimals});
  for (int i = 0; i <= 9; ++i) {
    const long double minutes = 0.1L * view_.span[0] * i + view_.origin[0];
    surface_.textOut(plotLeft + i * ((plotRight - plotLeft) / 10) - 8, plotBottom + 10,
                     format(static_cast<double>(minutes), kFullDigits, timeDecimals));
  }
  if (fields_.channelSelected(1)) {
    const int valueDecimals = decimalsForSpan(view_.span[1]);
    for (int i = 0; i <= 10; ++i) {
      const long double mV =
          (i - 5) * static_cast<long double>(view_.span[1]) / 10 + view_.origin[1];
      surface_.textOut(3, plotBottom + i * ((plotTop - plotBottom) / 10) - 6,
                       format(static_cast<double>(mV), 5, valueDecimals));
    }
  }
}

void Monitor::drawChannelMark(int channel, int x, int y) {
  if (channel < 1 || channel > kChannels) return;
  surface_.mark(x, y, kChannelColors[channel], channel == 1 || channel == 3);
}

void Monitor::drawNoteMarker(int x) {
  const Rgb saved = surface_.penColor();
  surface_.setPenColor(colors::kMagenta);
  surface_.polyline({{x - 3, plotBottom - 1}, {x, plotBottom - 7}, {x + 3, plotBottom - 1}});
  surface_.polyline({{x - 3, plotTop + 1}, {x, plotTop + 7}, {x + 3, plotTop}});
  surface_.setPenColor(saved);
}

int Monitor::firstRowAfterWindowStart() const {
  int hi = store_.rowCount;
  int lo = 0;
  const long double start = view_.origin[0] * 60.0L;
  while (hi - lo > 1) {
    const int mid = (hi + lo) / 2;
    if (start >= store_.time[mid]) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return hi;
}

void Monitor::findFirstVisibleRow() { view_.firstVisibleRow = firstRowAfterWindowStart(); }

void Monitor::refreshView() {
  defineworlds();
  findFirstVisibleRow();
  redrawFrom(view_.firstVisibleRow);
  if (pointer_) ImScreenMouseMove(pointer_->x, pointer_->y);
  if (window_) window_->viewChanged();
}

void Monitor::drawLatestRow() {
  const int n = store_.rowCount;
  const long double minutes = store_.time[n] / 60.0L;
  // A row past 90 % of the window moves the window on by 40 % of its length: the newest rows
  // stay in sight with room ahead, and the window moves seldom (each move is a full redraw).
  // A row many windows on (a long interval in a short window) moves it as many steps at once.
  // (A window never drawn yet has no length: nothing to move.)
  if (view_.span[0] > 0 && minutes > view_.origin[0] + 0.9L * view_.span[0]) {
    const long double step = 0.4L * view_.span[0];
    const long double steps =
        std::ceil((minutes - view_.origin[0] - 0.9L * view_.span[0]) / step - 1e-12L);
    setTimeStart(view_.origin[0] + std::max(1.0L, steps) * step, step);
    refreshView();
  }
  const long double wholeMinutes = std::trunc(minutes);
  const long double seconds = (minutes - wholeMinutes) * 60;
  captions_.setText(MonitorCaptions::Runtime,
                    QString::number(static_cast<long long>(wholeMinutes)) + QStringLiteral(" : ") +
                        format(static_cast<double>(seconds), 2, 1));

  followNewestRow();
  // Live marks only while channel 1's newest value is on screen. A missing channel 1 value
  // (not measured, or channel 1 not selected) holds nothing back.
  const double first = store_.value[1][n];
  if (!isMissing(first) && !inVisibleRange(1, first)) return;
  const int x = timeToX(n);
  for (int c = 1; c <= kChannels; ++c) {
    const double v = store_.value[c][n];
    if (!fields_.channelSelected(c)) continue;
    if (isMissing(v)) {
      captions_.setText(MonitorCaptions::value(c), QString());  // no reading, no stale number
      continue;
    }
    if (!inVisibleRange(c, v)) continue;
    const int y = valueToY(c, v);
    captions_.setText(MonitorCaptions::value(c), table_.cell(c, n));
    drawChannelMark(c, x, y);
  }
}

void Monitor::BnPlotClick() {
  if (store_.rowCount == 0) return;
  view_.displayMode = kPlot;
  if (window_) {
    window_->bringUp();
    for (int c = 1; c <= kChannels; ++c)
      window_->setChannelGroupVisible(c, fields_.channelSelected(c));
    window_->setRunGroupsVisible(false);
  }
  captions_.setText(MonitorCaptions::TimeStart, QStringLiteral("0"));
  captions_.setText(MonitorCaptions::TimeScale, QStringLiteral("1"));
  const double lastMinutes = store_.time[store_.rowCount] / 60;
  // Bounded: a time near the largest double would otherwise step until the caption overflows.
  for (int step = 0; step < 2100 && parse(MonitorCaptions::TimeScale) < lastMinutes; ++step) {
    captions_.setText(MonitorCaptions::TimeScale,
                      stepSpanUp(captions_.text(MonitorCaptions::TimeScale), 0));
  }
  defineworlds();
  redrawFrom(1);
  if (notes_) notes_->showRestored();
  if (window_) window_->viewChanged();  // the statistics and the selection follow the record
}

void Monitor::scaleClick(int channel, Direction direction) {
  followPaused_[channel] = true;  // a hand change stands
  const MonitorCaptions::Id id = MonitorCaptions::scale(channel);
  const QString& text = captions_.text(id);
  captions_.setText(
      id, direction == Direction::Up ? stepSpanUp(text, channel) : stepSpanDown(text, channel));
  refreshView();
}

void Monitor::midpointClick(int channel, Direction direction) {
  followPaused_[channel] = true;  // a hand change stands
  const long double step = 0.1L * view_.span[channel];
  const long double midpoint = view_.origin[channel] + (direction == Direction::Up ? step : -step);
  captions_.setText(MonitorCaptions::mid(channel),
                    format(static_cast<double>(midpoint), 3, decimalsForSpan(view_.span[channel])));
  refreshView();
}

void Monitor::UpDown10Click(Direction direction) {
  const QString old = captions_.text(MonitorCaptions::Interval);
  QString stepped = old;
  if (direction == Direction::Up) {
    stepped = stepSpanUp(old, 0);
  } else if (store_.readingInterval > kMinimumIntervalMs) {
    stepped = stepSpanDown(old, 0);
  }
  const double milliseconds = std::nearbyint(parseNumber(stepped, separator_) * 1000.0);
  // A step that reads back below the shortest interval is refused: nothing changes.
  if (stepped != old && !(milliseconds >= kMinimumIntervalMs)) return;
  captions_.setText(MonitorCaptions::Interval, stepped);
  recorder_.setReadingInterval(static_cast<int>(std::min(milliseconds, 2.0e9)));
}

void Monitor::pressUpDown(int control, bool upperArrow) {
  const std::optional<Direction> direction = upDowns_[control - 1].press(upperArrow);
  if (!direction) return;
  if (control == 9) {
    UpDown9Click(*direction);
  } else if (control == 10) {
    UpDown10Click(*direction);
  } else if (control % 2 == 1) {
    scaleClick((control + 1) / 2, *direction);
  } else {
    midpointClick(control / 2, *direction);
  }
}

void Monitor::FormShow() {
  captions_.setText(MonitorCaptions::Interval, format(store_.readingInterval / 1000.0, 3, 1));
  defineworlds();
}

void Monitor::ImScreenMouseMove(int x, int y) {
  pointer_ = SurfacePoint{x, y};
  const long double minutes = minutesAt(x);
  const long double mV =
      0.5L * view_.span[1] + view_.origin[1] +
      static_cast<long double>(y - plotTop) * view_.span[1] / (plotTop - plotBottom);
  captions_.setText(MonitorCaptions::CursorTime,
                    format(static_cast<double>(minutes), 5, decimalsForSpan(view_.span[0])));
  captions_.setText(MonitorCaptions::CursorValue,
                    format(static_cast<double>(mV), 5, decimalsForSpan(view_.span[1])));
}

void Monitor::forgetRecord() {
  selection_.reset();
  for (int c = 1; c <= kChannels; ++c) captions_.setText(MonitorCaptions::value(c), QString());
  // All of it: a mark on the frame reaches past the strips the axes clear.
  surface_.fillRect(0, 0, Surface::kWidth, Surface::kHeight);
  defineworlds();
}

void Monitor::recordReset() {
  view_.origin[0] = parse(MonitorCaptions::TimeStart);
  view_.span[0] = parse(MonitorCaptions::TimeScale);
  // A window left far from the start (a plot, a scroll) would draw the new rows out of sight.
  if (view_.origin[0] > 0 || view_.origin[0] + view_.span[0] <= 0) setTimeStart(0, 0);
  forgetRecord();
}
