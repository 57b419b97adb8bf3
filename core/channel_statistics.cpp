#include "channel_statistics.h"

#include <cmath>

#include "numbers.h"

RowSpan rowsBetween(const RecordStore& store, double fromSeconds, double toSeconds) {
  const double* rows = store.time.data() + 1;
  const double* end = rows + store.rowCount;
  const double* first = std::lower_bound(rows, end, fromSeconds);
  const double* last = std::upper_bound(first, end, toSeconds);
  return {static_cast<int>(first - rows) + 1, static_cast<int>(last - rows)};
}

namespace {
// One of four running tallies, one for each row in turn, so that four of each addition and
// comparison are in flight at a time (a single tally waits on each before the next).
struct Lane {
  double sum = 0;
  double min = INFINITY;
  double max = -INFINITY;
  int minRow = 0;
  int maxRow = 0;
  int count = 0;
  void take(double v, int r) {
    if (isMissing(v)) return;
    sum += v;
    ++count;
    if (v < min) {
      min = v;
      minRow = r;
    }
    if (v > max) {
      max = v;
      maxRow = r;
    }
  }
  /// Takes another lane in: the extremes' first rows stay the first.
  void merge(const Lane& other) {
    sum += other.sum;
    count += other.count;
    if (other.min < min || (other.min == min && other.minRow < minRow)) {
      min = other.min;
      minRow = other.minRow;
    }
    if (other.max > max || (other.max == max && other.maxRow < maxRow)) {
      max = other.max;
      maxRow = other.maxRow;
    }
  }
};

template <typename Take>
void inFourLanes(RowSpan rows, Take take) {
  int r = rows.first;
  for (; r + 3 <= rows.last; r += 4) {
    take(0, r);
    take(1, r + 1);
    take(2, r + 2);
    take(3, r + 3);
  }
  for (; r <= rows.last; ++r) take(0, r);
}
}  // namespace

ChannelStatistics channelStatistics(const RecordStore& store, int channel, RowSpan rows) {
  ChannelStatistics result;
  const double* values = store.value[static_cast<size_t>(channel)].data();
  Lane lanes[4];
  inFourLanes(rows, [&](int lane, int r) { lanes[lane].take(values[r], r); });
  lanes[0].merge(lanes[1]);
  lanes[2].merge(lanes[3]);
  lanes[0].merge(lanes[2]);
  const Lane& all = lanes[0];
  result.count = all.count;
  result.missing = rows.count() - all.count;
  if (all.count == 0) return result;
  // A mean of many values may round outside them (all values alike): it stays within.
  const double mean = std::clamp(all.sum / all.count, all.min, all.max);
  result.mean = mean;
  result.min = all.min;
  result.max = all.max;
  result.minSeconds = store.time[static_cast<size_t>(all.minRow)];
  result.maxSeconds = store.time[static_cast<size_t>(all.maxRow)];
  if (all.count < 2) return result;
  // The second pass: the squared deviations from the mean.
  double squares[4] = {};
  inFourLanes(rows, [&](int lane, int r) {
    const double deviation = isMissing(values[r]) ? 0.0 : values[r] - mean;
    squares[lane] += deviation * deviation;
  });
  result.deviation =
      std::sqrt(((squares[0] + squares[1]) + (squares[2] + squares[3])) / (all.count - 1));
  return result;
}

QString statisticsNote(int channel, const ChannelStatistics& statistics, const QString& unit,
                       int decimals, double fromSeconds, double toSeconds, QChar separator) {
  const auto number = [&](double value) {
    return isMissing(value) ? QStringLiteral("-") : formatDecimals(value, decimals, separator);
  };
  return QStringLiteral("Ch. %1 mean %2 %3, sd %4, min %5, max %6, n %7 (%8-%9 s)")
      .arg(QString::number(channel), number(statistics.mean), unit.trimmed(),
           number(statistics.deviation), number(statistics.min), number(statistics.max),
           QString::number(statistics.count), formatDecimals(fromSeconds, 1, separator),
           formatDecimals(toSeconds, 1, separator));
}
