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
  int count = 0;
  ValueExtremes extremes;
  void take(double v, int r) {
    if (isMissing(v)) return;
    sum += v;
    ++count;
    extremes.take(v, r);
  }
  /// Takes in another lane (their rows interleave).
  void merge(const Lane& other) {
    sum += other.sum;
    count += other.count;
    extremes.merge(other.extremes);
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

RowSummary summarizeRows(const double* values, RowSpan rows) {
  Lane lanes[4];
  inFourLanes(rows, [&](int lane, int r) { lanes[lane].take(values[r], r); });
  lanes[0].merge(lanes[1]);
  lanes[2].merge(lanes[3]);
  lanes[0].merge(lanes[2]);
  const Lane& all = lanes[0];
  RowSummary summary{all.count, 0, 0, all.extremes};
  if (all.count == 0) return summary;
  // A mean of many values may round outside them (all values alike): it stays within.
  const double mean = std::clamp(all.sum / all.count, all.extremes.min, all.extremes.max);
  summary.mean = mean;
  // The second pass: the squared deviations from the mean.
  double squares[4] = {};
  inFourLanes(rows, [&](int lane, int r) {
    const double deviation = isMissing(values[r]) ? 0.0 : values[r] - mean;
    squares[lane] += deviation * deviation;
  });
  summary.squares = (squares[0] + squares[1]) + (squares[2] + squares[3]);
  return summary;
}

ChannelStatistics statisticsOf(const RecordStore& store, const RowSummary& summary, RowSpan rows) {
  ChannelStatistics result;
  result.count = summary.count;
  result.missing = rows.count() - summary.count;
  if (summary.count == 0) return result;
  result.mean = summary.mean;
  result.min = summary.extremes.min;
  result.max = summary.extremes.max;
  result.minSeconds = store.time[static_cast<size_t>(summary.extremes.minRow)];
  result.maxSeconds = store.time[static_cast<size_t>(summary.extremes.maxRow)];
  if (summary.count > 1) result.deviation = std::sqrt(summary.squares / (summary.count - 1));
  return result;
}
}  // namespace

void ValueExtremes::merge(const ValueExtremes& other) {
  if (other.min < min || (other.min == min && other.minRow < minRow)) {
    min = other.min;
    minRow = other.minRow;
  }
  if (other.max > max || (other.max == max && other.maxRow < maxRow)) {
    max = other.max;
    maxRow = other.maxRow;
  }
}

void RowSummary::merge(const RowSummary& later) {
  if (later.count == 0) return;
  if (count == 0) {
    *this = later;
    return;
  }
  // Chan, Golub and LeVeque's pairwise update: exact in the same way as the two passes.
  const double n = static_cast<double>(count) + later.count;
  const double delta = later.mean - mean;
  extremes.merge(later.extremes);
  mean = std::clamp(mean + delta * (later.count / n), extremes.min, extremes.max);
  squares += later.squares + delta * delta * (count * (later.count / n));
  count += later.count;
}

ChannelStatistics channelStatistics(const RecordStore& store, int channel, RowSpan rows) {
  return statisticsOf(store, summarizeRows(store.value[static_cast<size_t>(channel)].data(), rows),
                      rows);
}

ChannelStatistics StatisticsCache::statistics(const RecordStore& store, int channel, RowSpan rows) {
  if (store.recordId != recordId_) {
    for (auto& blocks : blocks_) blocks.clear();
    recordId_ = store.recordId;
  }
  std::vector<std::optional<RowSummary>>& blocks = blocks_[static_cast<size_t>(channel)];
  const double* values = store.value[static_cast<size_t>(channel)].data();
  RowSummary total;
  int r = rows.first;
  while (r <= rows.last) {
    const int block = (r - 1) / kBlockRows;
    const int blockFirst = block * kBlockRows + 1;
    const int blockLast = blockFirst + kBlockRows - 1;
    // Whole stored blocks are kept (rows are only ever added); the ends of the span are not.
    if (r == blockFirst && blockLast <= rows.last && blockLast <= store.rowCount) {
      if (blocks.size() <= static_cast<size_t>(block))
        blocks.resize(static_cast<size_t>(block) + 1);
      std::optional<RowSummary>& kept = blocks[static_cast<size_t>(block)];
      if (!kept) kept = summarizeRows(values, {blockFirst, blockLast});
      total.merge(*kept);
    } else {
      total.merge(summarizeRows(values, {r, std::min(blockLast, rows.last)}));
    }
    r = blockLast + 1;
  }
  return statisticsOf(store, total, rows);
}

QString statisticsNote(int channel, const ChannelStatistics& statistics, const QString& unit,
                       int decimals, double fromSeconds, double toSeconds, QChar separator) {
  const auto number = [&](double value) {
    return isMissing(value) ? QStringLiteral("-") : formatDecimals(value, decimals, separator);
  };
  // The smallest and largest are rows' values: quoted as the file has them.
  const auto rowValue = [&](double value) {
    return isMissing(value) ? QStringLiteral("-") : fileValueText(value, decimals, separator);
  };
  return QStringLiteral("Ch. %1 mean %2 %3, sd %4, min %5, max %6, n %7 (%8-%9 s)")
      .arg(QString::number(channel), number(statistics.mean), unit.trimmed(),
           number(statistics.deviation), rowValue(statistics.min), rowValue(statistics.max),
           QString::number(statistics.count), formatDecimals(fromSeconds, 1, separator),
           formatDecimals(toSeconds, 1, separator));
}

int statisticsDecimals(double value, int decimals) {
  if (value == 0 || !std::isfinite(value) || std::fabs(value) >= 1) return decimals;
  const int needed = static_cast<int>(std::ceil(-std::log10(std::fabs(value)))) + 1;
  return std::clamp(needed, decimals, 12);
}
