#include "monitor_view.h"

#include <algorithm>
#include <cmath>

MonitorCaptions::MonitorCaptions() {
  texts_[TimeStart] = QStringLiteral("0");
  texts_[TimeScale] = QStringLiteral("1");
  for (int c = 1; c <= 4; ++c) {
    texts_[scale(c)] = QStringLiteral("1000");
    texts_[mid(c)] = QStringLiteral("0");
  }
  texts_[Interval] = QStringLiteral("1");
  texts_[Runtime] = QStringLiteral("0");
  texts_[CursorTime] = QStringLiteral("0");
  texts_[CursorValue] = QStringLiteral("0");
}

void MonitorCaptions::setText(Id id, const QString& text) {
  if (texts_[id] == text) return;
  texts_[id] = text;
  emit changed(id, text);
}

std::optional<UpDownLogic::Direction> UpDownLogic::press(bool upperArrow) {
  const int old = position_;
  int requested = position_ + (upperArrow ? 1 : -1);
  if (requested > maximum_) {
    if (!wrap_) return std::nullopt;
    requested = minimum_;
  } else if (requested < minimum_) {
    if (!wrap_) return std::nullopt;
    requested = maximum_;
  }
  position_ = requested;
  if (position_ == old) return std::nullopt;
  return position_ > old ? Direction::Up : Direction::Down;
}

int decimalsForSpan(double span) {
  // The 0.3 bound is compared at extended precision: the double nearest 0.3 lies below it.
  const long double s = span;
  if (s < 0.3L) return 3;
  if (s < 3.0L) return 2;
  if (s < 30.0L) return 1;
  return 0;
}

int exactDecimals(long double step) {
  for (int decimals = 0; decimals < 12; ++decimals) {
    const long double scaled = step * std::pow(10.0L, decimals);
    if (std::fabs(scaled - std::round(scaled)) < 1e-9L * std::max(1.0L, scaled)) return decimals;
  }
  return 12;
}
