#include "channel_silence.h"

#include <QStringList>

void ChannelSilence::rowStored(const RecordStore& store, const RecordFields& fields, int row,
                               const QDateTime& now, const Reason& reason) {
  std::array<bool, kChannels + 1> silent{};
  bool anyValue = false;
  for (int c = 1; c <= kChannels; ++c) {
    if (!fields.channelSelected(c)) {
      lastValue_[c].reset();
      rowsWithout_[c] = 0;
      continue;
    }
    if (!isMissing(store.value[c][row])) {
      lastValue_[c] = now;
      rowsWithout_[c] = 0;
      anyValue = true;
      continue;
    }
    if (!lastValue_[c]) lastValue_[c] = now;  // none yet: counted from the first row without
    ++rowsWithout_[c];
    silent[c] = rowsWithout_[c] >= 3 && lastValue_[c]->msecsTo(now) >= kQuietMs;
  }
  // Consecutive channels silent since the same second, for the same reason, share one name:
  // "Ch. 2-4".
  std::array<QString, kChannels + 1> why;
  for (int c = 1; c <= kChannels; ++c) {
    if (silent[c] && reason) why[c] = reason(c);
  }
  QStringList named;
  int c = 1;
  while (c <= kChannels) {
    if (!anyValue || !silent[c]) {
      ++c;
      continue;
    }
    const QString since = lastValue_[c]->toString(QStringLiteral("hh:mm:ss"));
    int last = c;
    while (static_cast<size_t>(last) + 1 < silent.size() && silent[last + 1] &&
           lastValue_[last + 1]->toString(QStringLiteral("hh:mm:ss")) == since &&
           why[last + 1] == why[c]) {
      ++last;
    }
    const QString channels =
        last == c ? QStringLiteral("Ch. %1").arg(c) : QStringLiteral("Ch. %1-%2").arg(c).arg(last);
    named << QStringLiteral("%1: no value since %2%3")
                 .arg(channels, since,
                      why[c].isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why[c]));
    c = last + 1;
  }
  text_ = named.join(QStringLiteral(", "));
}
