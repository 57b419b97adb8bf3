#pragma once

#include <QString>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "record_store.h"

/// Rows first..last of a record; empty when last < first.
struct RowSpan {
  int first = 1;
  int last = 0;
  int count() const { return std::max(0, last - first + 1); }
};

/// The rows whose times lie within [fromSeconds, toSeconds] (row times rise with the row).
RowSpan rowsBetween(const RecordStore& store, double fromSeconds, double toSeconds);
inline RowSpan allRows(const RecordStore& store) { return {1, store.rowCount}; }

/// One channel over a span of rows. Missing values are counted apart and take no part in the
/// rest; without values the figures are missing (NaN).
struct ChannelStatistics {
  int count = 0;
  int missing = 0;
  double min = kMissingValue;
  double max = kMissingValue;
  double mean = kMissingValue;
  /// The sample standard deviation (divided by n - 1); missing below two values.
  double deviation = kMissingValue;
  double minSeconds = kMissingValue;  ///< the row time of the first smallest value
  double maxSeconds = kMissingValue;  ///< ... and of the first largest
  double peakToPeak() const { return max - min; }
};

/// Two passes over the rows: the mean, then the squared deviations from it. Exact to the
/// values' own digits at any offset, where the one-pass sum of squares (sum x^2 / n - mean^2)
/// cancels to nothing (a channel at 1e8 with noise 0.001).
ChannelStatistics channelStatistics(const RecordStore& store, int channel, RowSpan rows);

/// The smallest and largest value of some rows, and the first row with each.
struct ValueExtremes {
  double min = INFINITY;
  double max = -INFINITY;
  int minRow = 0;
  int maxRow = 0;
  void take(double value, int row) {
    if (value < min) {
      min = value;
      minRow = row;
    }
    if (value > max) {
      max = value;
      maxRow = row;
    }
  }
  /// Takes in the extremes of other rows: of equal values the earlier row's stays.
  void merge(const ValueExtremes& other);
};

/// What two passes over some rows of one channel leave: enough to merge with the rows after.
struct RowSummary {
  int count = 0;
  double mean = 0;
  double squares = 0;  ///< the sum of the squared deviations from the mean
  ValueExtremes extremes;
  /// Takes in the summary of the rows after these.
  void merge(const RowSummary& later);
};

/// channelStatistics for a view that moves over a record that grows: the summaries of whole
/// blocks of stored rows are kept, so a span costs the rows at its two ends and a merge per
/// block. Void when the record's rows are replaced (RecordStore::recordId).
class StatisticsCache {
 public:
  static constexpr int kBlockRows = 1024;
  ChannelStatistics statistics(const RecordStore& store, int channel, RowSpan rows);

 private:
  uint32_t recordId_ = 0;
  std::array<std::vector<std::optional<RowSummary>>, kChannels + 1> blocks_;
};

/// The statistics as a note on the record:
/// "Ch. 2 mean 21.43 °C, sd 0.05, min 21.30, max 21.55, n 240 (12.0-72.0 s)".
QString statisticsNote(int channel, const ChannelStatistics& statistics, const QString& unit,
                       int decimals, double fromSeconds, double toSeconds, QChar separator);

/// The channel's decimals, or enough for two significant digits of a small value (1.5E-3 V
/// must not show as 0.00).
int statisticsDecimals(double value, int decimals);
