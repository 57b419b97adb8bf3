// The scales that follow the data: fitted on request, for a channel that left its scale while
// "Follow the data" is set, and the span of rows selected on the picture.
#include <cmath>

#include "monitor.h"
#include "numbers.h"

namespace {
// The scale series the controls walk: 1, 2.5, 5 times the powers of ten, from 0.001 up.
double seriesValue(int index) {
  static constexpr double kMantissas[] = {1.0, 2.5, 5.0};
  const int decade = index >= 0 ? index / 3 : (index - 2) / 3;
  return kMantissas[index - 3 * decade] * std::pow(10.0, decade);
}
constexpr int kSmallestSeriesIndex = -9;  // 0.001, where the downward steps end
constexpr int kLargestSeriesIndex = 900;  // far beyond any value a double holds
constexpr double kFinestFitSteps = 4;     // the finest followed scale, in converter steps
}  // namespace

void Monitor::fitScalesToData() {
  findFirstVisibleRow();
  for (int c = 1; c <= kChannels; ++c) {
    if (fields_.channelSelected(c)) fitChannelToData(c);
  }
  refreshView();
}

bool Monitor::fitChannelToData(int c, double finest) {
  const long double start = view_.origin[0] * 60.0L;
  const long double end = (static_cast<long double>(view_.origin[0]) + view_.span[0]) * 60;
  {
    double low = INFINITY;
    double high = -INFINITY;
    for (int r = std::max(view_.firstVisibleRow, 1); r <= store_.rowCount; ++r) {
      if (store_.time[r] > end) break;
      const double v = store_.value[c][r];
      if (store_.time[r] < start || isMissing(v)) continue;
      low = std::min(low, v);
      high = std::max(high, v);
    }
    if (!(low <= high)) return false;  // no values in the window: the captions stay
    const double middle = low / 2 + high / 2;
    const double current = view_.span[c];
    for (int index = kSmallestSeriesIndex; index <= kLargestSeriesIndex; ++index) {
      const double scale = seriesValue(index);
      if (!std::isfinite(scale)) break;
      if (scale < finest) continue;
      // As the scale control writes it: its decimals follow the value it steps from.
      const int from = scale < current || index == kSmallestSeriesIndex ? index + 1 : index - 1;
      const QString scaleText = scale == current
                                    ? captions_.text(MonitorCaptions::scale(c))
                                    : format(scale, 3, decimalsForSpan(seriesValue(from)));
      const long double shownScale = parseNumber(scaleText, separator_);
      const long double step = shownScale / 10;
      const long double nearest = std::round(middle / step);
      const int closerSide = middle / step < nearest ? -1 : 1;
      // The midpoints nearest the middle first; captions hold three significant digits, so a
      // midpoint counts only as the text the label will show.
      bool fitted = false;
      // A window of this scale that holds the values has its midpoint within five tenth-steps
      // of their middle; twelve leave room for the midpoints a label cannot show.
      for (int offset = 0; offset <= 12 && !fitted; ++offset) {
        for (const int sign : {closerSide, -closerSide}) {
          if (offset == 0 && sign != closerSide) continue;
          const long double midpoint = (nearest + sign * offset) * step;
          const QString midText =
              format(static_cast<double>(midpoint), 3, decimalsForSpan(shownScale));
          const long double shown = parseNumber(midText, separator_);
          const long double steps = shown / step;
          // A midpoint the label cannot show exactly at this scale's tenth-steps is skipped; 1e-6
          // of a step is far above long double rounding and far below a shown digit.
          if (std::fabs(steps - std::round(steps)) > 1e-6L) continue;
          if (shown - shownScale / 2 > low || high > shown + shownScale / 2) continue;
          captions_.setText(MonitorCaptions::scale(c), scaleText);
          captions_.setText(MonitorCaptions::mid(c), midText);
          fitted = true;
          break;
        }
      }
      if (fitted) return true;
    }
  }
  return false;
}

bool Monitor::followNewestRow() {
  if (!followData_) return false;
  const int n = store_.rowCount;
  bool refitted = false;
  for (int c = 1; c <= kChannels; ++c) {
    const double v = store_.value[c][n];
    if (!fields_.channelSelected(c) || followPaused_[c] || isMissing(v) || inVisibleRange(c, v))
      continue;
    findFirstVisibleRow();
    // A steady channel followed is not blown up past a few converter steps: finer shows noise.
    refitted = fitChannelToData(c, kFinestFitSteps * converterStep(fields_.scaling(c))) || refitted;
  }
  if (refitted) refreshView();
  return refitted;
}

void Monitor::selectSpan(int fromX, int toX) {
  const auto seconds = [this](int x) { return static_cast<double>(minutesAt(x) * 60); };
  const double from = seconds(std::clamp(std::min(fromX, toX), int{plotLeft}, int{plotRight}));
  const double to = seconds(std::clamp(std::max(fromX, toX), int{plotLeft}, int{plotRight}));
  selection_ = from < to ? std::optional(TimeSpan{from, to}) : std::nullopt;
  selectionRecord_ = store_.recordId;
  if (window_) window_->viewChanged();
}

void Monitor::clearSelection() {
  if (!selection_) return;
  selection_.reset();
  if (window_) window_->viewChanged();
}

double Monitor::xAtSeconds(double seconds) const {
  return static_cast<double>((seconds - view_.origin[0] * 60.0L) * view_.factor[0] + plotLeft);
}

TimeSpan Monitor::visibleSpan() const {
  return {static_cast<double>(view_.origin[0] * 60.0L),
          static_cast<double>((static_cast<long double>(view_.origin[0]) + view_.span[0]) * 60)};
}
