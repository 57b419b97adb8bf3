// Channels without values while others have theirs, as the status line names them.
#include "channel_silence.h"

#include <gtest/gtest.h>

#include <memory>

#include "plain_record_fields.h"

namespace {

TEST(ChannelSilenceTest, NamesTheChannelsWithoutValuesForAWhileByTheirLastValue) {
  auto store = std::make_unique<RecordStore>();
  PlainRecordFields fields;
  for (int c = 1; c <= 3; ++c) fields.setChannelSelected(c, true);
  fields.setChannelSelected(4, false);
  const QDateTime start(QDate(2026, 12, 9), QTime(12, 3, 4));
  // Rows every 5 s: which of channels 1-4 have a value, and what the status names then; from
  // row 5 on the driver knows why channel 3 has none.
  const struct {
    const char* values;
    const char* named;
  } rows[] = {
      {"1111", ""},
      {"1--1", ""},  // channel 4 is not selected: never named
      {"1---", ""},  // two rows, 10 s: not yet
      {"1---", "Ch. 2-3: no value since 12:03:04"},
      {"1---",
       "Ch. 2: no value since 12:03:04, Ch. 3: no value since 12:03:04 (its answers are out of "
       "range)"},
      {"1-1-", "Ch. 2: no value since 12:03:04"},
      {"11--", ""},
      {"11--", ""},
      {"11--", "Ch. 3: no value since 12:03:29 (its answers are out of range)"},
      {"----", ""},  // the whole converter silent is told apart
      {"111-", ""},
  };
  ChannelSilence silence;
  int row = 0;
  for (const auto& r : rows) {
    ++row;
    for (int c = 1; c <= 4; ++c) {
      store->value[c][row] = r.values[c - 1] == '1' ? 1.0 : kMissingValue;
    }
    silence.rowStored(*store, fields, row, start.addSecs(5 * (row - 1)), [row](int channel) {
      return channel == 3 && row >= 5 ? QStringLiteral("its answers are out of range") : QString();
    });
    EXPECT_EQ(silence.text(), QString::fromLatin1(r.named)) << "row " << row;
  }
}

}  // namespace
