// The time window: where it starts and how long it is, as the buttons, the wheel, drags, the
// box and Home move it, each writing the captions the view is read from.
#include <algorithm>
#include <cmath>

#include "monitor.h"
#include "numbers.h"

void Monitor::setTimeStart(long double minutes, long double step) {
  // Three significant digits, or as many as the step needs: a window at 100 min or later still
  // moves by its step (three digits would round 100.4 back to 100).
  const int stepDecimals = exactDecimals(std::fabs(step));
  const long double whole = std::max(std::fabs(minutes), 1.0L);
  const int integerDigits = static_cast<int>(std::floor(std::log10(whole))) + 1;
  captions_.setText(MonitorCaptions::TimeStart,
                    format(static_cast<double>(minutes), std::max(3, integerDigits + stepDecimals),
                           std::max(decimalsForSpan(view_.span[0]), stepDecimals)));
}

void Monitor::setTimeStartToThePixel(long double minutes) {
  const long double halfPixel = view_.span[0] / (2.0L * (plotRight - plotLeft));
  const int shortest = decimalsForSpan(view_.span[0]);
  int decimals = shortest;
  while (decimals < 12 && std::pow(10.0L, -decimals) > halfPixel) ++decimals;
  QString text = format(static_cast<double>(minutes), kFullDigits, decimals);
  // Zeros a pixel does not need are not shown: a drag of half the window reads "0.50".
  while (decimals-- > shortest && text.endsWith(QLatin1Char('0'))) text.chop(1);
  if (text.endsWith(separator_)) text.chop(1);
  captions_.setText(MonitorCaptions::TimeStart, text);
}

void Monitor::UpDown9Click(Direction direction) {
  stepTimeRange(direction);
  refreshView();
}

void Monitor::stepTimeRange(Direction direction) {
  const QString& text = captions_.text(MonitorCaptions::TimeScale);
  captions_.setText(MonitorCaptions::TimeScale,
                    direction == Direction::Up ? stepSpanUp(text, 0) : stepSpanDown(text, 0));
}

void Monitor::BnTimeplusClick() {
  setTimeStart(view_.origin[0] + 0.2L * view_.span[0], 0.2L * view_.span[0]);
  refreshView();
}

void Monitor::BnTimeMinusClick() {
  setTimeStart(view_.origin[0] - 0.2L * view_.span[0], 0.2L * view_.span[0]);
  refreshView();
}

void Monitor::setTimeRangeHolding(long double minutes) {
  // Walked from 1 min with each step's own decimals: the captions the arrows give, whatever
  // range was on show.
  captions_.setText(MonitorCaptions::TimeScale, QStringLiteral("1"));
  view_.span[0] = 1;
  const auto step = [this](Direction direction) {
    stepTimeRange(direction);
    view_.span[0] = parse(MonitorCaptions::TimeScale);
  };
  for (int up = 0; up < 2100 && view_.span[0] < minutes; ++up) step(Direction::Up);
  for (int down = 0; down < 8; ++down) {
    if (parseNumber(stepSpanDown(captions_.text(MonitorCaptions::TimeScale), 0), separator_) <
        minutes) {
      break;
    }
    step(Direction::Down);
  }
}

void Monitor::showWholeRecord() {
  if (store_.rowCount == 0) return;
  captions_.setText(MonitorCaptions::TimeStart, QStringLiteral("0"));
  setTimeRangeHolding(store_.time[store_.rowCount] / 60.0L);
  refreshView();
}

void Monitor::zoomToColumns(int fromX, int toX) {
  const int left = std::clamp(std::min(fromX, toX), int{plotLeft}, int{plotRight});
  const int right = std::clamp(std::max(fromX, toX), int{plotLeft}, int{plotRight});
  if (right <= left) return;
  const long double start = minutesAt(left);
  setTimeRangeHolding(minutesAt(right) - start);
  setTimeStartToThePixel(start);
  refreshView();
}

void Monitor::wheelOnPicture(int x, int notches, bool movesWindow) {
  if (movesWindow) {
    for (int i = 0; i < std::abs(notches); ++i)
      notches > 0 ? BnTimeMinusClick() : BnTimeplusClick();
    return;
  }
  const long double pointed = minutesAt(x);
  const long double fromLeft = static_cast<long double>(x - plotLeft) / (plotRight - plotLeft);
  // UpDown9's bounds hold for the wheel too, its arrows set to the range on show first: a
  // range Plot set (the arrows do not move with it) would else leave the wheel stuck at an end.
  UpDownLogic& timeRange = upDowns_[9 - 1];
  timeRange = UpDownLogic(-8, 12, timeRangeSteps(), false);
  bool stepped = false;
  for (int i = 0; i < std::abs(notches); ++i) {
    const std::optional<Direction> direction = timeRange.press(notches < 0);
    if (!direction) break;
    stepTimeRange(*direction);
    view_.span[0] = parse(MonitorCaptions::TimeScale);  // the next step's decimals follow it
    stepped = true;
  }
  if (!stepped) return;
  setTimeStartToThePixel(pointed - fromLeft * view_.span[0]);
  refreshView();
}

int Monitor::timeRangeSteps() const {
  // The series from 1 min, 8 steps down and 12 up; the nearest by ratio (the shortest range
  // reads "0.003").
  static constexpr double kSeries[] = {0.0025, 0.005, 0.01, 0.025, 0.05,  0.1, 0.25,
                                       0.5,    1,     2.5,  5,     10,    25,  50,
                                       100,    250,   500,  1e3,   2.5e3, 5e3, 1e4};
  const auto distance = [this](double range) { return std::fabs(std::log(view_.span[0] / range)); };
  const double* nearest =
      std::min_element(std::begin(kSeries), std::end(kSeries),
                       [&distance](double a, double b) { return distance(a) < distance(b); });
  return static_cast<int>(nearest - std::begin(kSeries)) - 8;
}

void Monitor::dragOnPicture(int dx) {
  if (captions_.text(MonitorCaptions::TimeStart) != drag_.writtenStart ||
      view_.span[0] != drag_.span) {
    drag_ = {view_.origin[0], view_.span[0], 0, {}};
  }
  drag_.pixels += dx;
  setTimeStartToThePixel(drag_.origin - drag_.pixels * drag_.span /
                                            static_cast<long double>(plotRight - plotLeft));
  drag_.writtenStart = captions_.text(MonitorCaptions::TimeStart);
  refreshView();
}

long double Monitor::minutesAt(int x) const {
  return static_cast<long double>(x - plotLeft) * view_.span[0] / (plotRight - plotLeft) +
         view_.origin[0];
}

void Monitor::restartTimeWindow() {
  setTimeStart(0, 0);
  defineworlds();
}
