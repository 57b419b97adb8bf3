#include "channel_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

std::unique_ptr<RecordStore> recordOf(const std::vector<double>& values, double step) {
  auto store = std::make_unique<RecordStore>();
  for (const double v : values) {
    const int n = ++store->rowCount;
    store->time[n] = n * step;
    store->value[2][n] = v;
  }
  return store;
}

TEST(ChannelStatisticsTest, RangesOfAKnownRecordWithMissingValuesCountedApart) {
  const double x = kMissingValue;
  // Rows at 0.5 s ... 4.0 s; the extremes repeat at the end: each is told at its first row.
  const auto store = recordOf({1, 2, x, 4, 10, 3, 1, 10}, 0.5);
  const struct {
    double from, to;
    int rows, count, missing;
    double min, minAt, max, maxAt, mean, deviation;
  } cases[] = {
      {0.5, 4.0, 8, 7, 1, 1, 0.5, 10, 2.5, 31.0 / 7, std::sqrt(656.0 / 42)},  // whole record
      {1.0, 2.0, 3, 2, 1, 2, 1.0, 4, 2.0, 3, std::sqrt(2.0)},                 // a window
      {2.2, 3.0, 2, 2, 0, 3, 3.0, 10, 2.5, 6.5, std::sqrt(24.5)},             // a selection
      {1.4, 1.6, 1, 0, 1, x, x, x, x, x, x},                                  // one missing value
      {0.5, 0.5, 1, 1, 0, 1, 0.5, 1, 0.5, 1, x},  // one value: no deviation
  };
  for (const auto& c : cases) {
    const RowSpan rows = rowsBetween(*store, c.from, c.to);
    const ChannelStatistics s = channelStatistics(*store, 2, rows);
    const auto same = [](double a, double b) { return (isMissing(a) && isMissing(b)) || a == b; };
    EXPECT_EQ(rows.count(), c.rows) << c.from;
    EXPECT_EQ(s.count, c.count) << c.from;
    EXPECT_EQ(s.missing, c.missing) << c.from;
    EXPECT_TRUE(same(s.min, c.min) && same(s.minSeconds, c.minAt)) << c.from;
    EXPECT_TRUE(same(s.max, c.max) && same(s.maxSeconds, c.maxAt)) << c.from;
    EXPECT_TRUE(same(s.mean, c.mean)) << c.from << ": " << s.mean;
    EXPECT_TRUE(same(s.deviation, c.deviation) || std::fabs(s.deviation - c.deviation) < 1e-12)
        << c.from << ": " << s.deviation;
    EXPECT_TRUE(same(s.peakToPeak(), c.max - c.min)) << c.from;
  }
  // Ties four rows apart, which one tally of the four compares: still the first row's time.
  const auto ties = recordOf({1, 2, 3, 4, 1, 2, 3, 4}, 0.5);
  const ChannelStatistics tied = channelStatistics(*ties, 2, allRows(*ties));
  EXPECT_EQ(tied.minSeconds, 0.5);
  EXPECT_EQ(tied.maxSeconds, 2.0);
}

// A scaled channel with a large offset: the one-pass sum of squares gives 0.137 at 1e6 and 0
// at 1e8 for noise of 0.001.
TEST(ChannelStatisticsTest, NoiseOnALargeOffsetKeepsItsDeviation) {
  for (const double offset : {1e6, 1e8}) {
    std::vector<double> values;
    for (int i = 0; i < 1000; ++i) values.push_back(offset + (i % 2 ? 0.001 : -0.001));
    const auto store = recordOf(values, 0.25);
    const ChannelStatistics s = channelStatistics(*store, 2, allRows(*store));
    EXPECT_NEAR(s.deviation, 0.001 * std::sqrt(1000.0 / 999), 5e-7) << offset;
    EXPECT_NEAR(s.mean, offset, 1e-6) << offset;
  }
}

// The kept block summaries give what a pass over the span gives, across block edges, and are
// dropped with the record they came from.
TEST(ChannelStatisticsTest, KeptBlocksGiveWhatAPassOverTheSpanGives) {
  std::vector<double> values;
  uint32_t state = 12345;
  for (int i = 0; i < 5000; ++i) {
    state = state * 1664525u + 1013904223u;
    values.push_back(i % 97 == 0 ? kMissingValue : 1e6 + (state >> 8) % 1000 * 0.001);
  }
  const auto store = recordOf(values, 0.25);
  StatisticsCache cache;
  const int k = StatisticsCache::kBlockRows;
  for (int round = 0; round < 2; ++round) {
    for (const RowSpan rows : {RowSpan{1, 5000}, RowSpan{2, k + 1}, RowSpan{k, 3 * k + 7},
                               RowSpan{k + 1, 2 * k}, RowSpan{4 * k + 1, 5000}}) {
      const ChannelStatistics kept = cache.statistics(*store, 2, rows);
      const ChannelStatistics pass = channelStatistics(*store, 2, rows);
      EXPECT_EQ(kept.count, pass.count) << rows.first;
      EXPECT_EQ(kept.missing, pass.missing) << rows.first;
      EXPECT_EQ(kept.min, pass.min) << rows.first;
      EXPECT_EQ(kept.maxSeconds, pass.maxSeconds) << rows.first;
      EXPECT_NEAR(kept.mean, pass.mean, 1e-8) << rows.first;  // a few units in the last place
      EXPECT_NEAR(kept.deviation, pass.deviation, 1e-10) << rows.first;
    }
    std::fill_n(store->value[2].begin() + 1, 5000, 7.0);  // another record's rows
    ++store->recordId;
  }
}

TEST(ChannelStatisticsTest, SmallFiguresKeepTwoSignificantDigits) {
  const struct {
    double value;
    int channelDecimals, shown;
  } cases[] = {{0.0015, 2, 4}, {-0.00099, 2, 5}, {0.05, 2, 3}, {0.5, 2, 2},
               {0.5, 3, 3},    {12.5, 1, 1},     {0, 2, 2},    {1e-20, 2, 12}};
  for (const auto& c : cases) {
    EXPECT_EQ(statisticsDecimals(c.value, c.channelDecimals), c.shown) << c.value;
  }
}

TEST(ChannelStatisticsTest, TheNoteNamesTheRangeInTheChannelsDecimals) {
  const auto store = recordOf({21.3, 21.55, 21.45}, 12.0);
  const ChannelStatistics s = channelStatistics(*store, 2, allRows(*store));
  EXPECT_EQ(
      statisticsNote(2, s, QStringLiteral("°C"), 2, 12.0, 72.0, QLatin1Char(',')),
      QStringLiteral("Ch. 2 mean 21,43 °C, sd 0,13, min 21,30, max 21,55, n 3 (12,0-72,0 s)"));
  // Rows' values as the file writes them (five significant digits), not as a mean is written.
  const auto large = recordOf({1200.24, 999.5}, 12.0);
  EXPECT_TRUE(statisticsNote(2, channelStatistics(*large, 2, allRows(*large)), "mV", 2, 0, 1,
                             QLatin1Char('.'))
                  .contains("min 999.50, max 1200.20, n 2"));
}

}  // namespace
