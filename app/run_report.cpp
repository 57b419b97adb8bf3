#include "run_report.h"

#include "record_exit.h"

namespace {
QString clockText(const QDateTime& at) { return at.toString(QStringLiteral("hh:mm:ss")); }
}  // namespace

std::optional<int> RunReport::converterMissing(const QString& failure, bool simulate) {
  say_(QStringLiteral("no converter on COM %1: %2")
           .arg(port_)
           .arg(failure.isEmpty() ? QStringLiteral("it did not answer") : failure));
  if (failure.contains(QLatin1String("in use by another program"))) return kRecordPortInUse;
  if (!simulate) return kRecordNoConverter;
  say_(QStringLiteral("recording simulated readings (--simulate)"));
  return std::nullopt;
}

void RunReport::rowStored(const RecordStore& store, const RecordFields& fields,
                          const QDateTime& now, const QString& trouble,
                          const ChannelSilence::Reason& reason) {
  ++rows_;
  if (!store.converterOpen) return;  // simulated readings: nothing to tell
  const bool reading = rowHasReading(store, fields, store.rowCount);
  if (reading && silent_) say_(QStringLiteral("readings again from COM %1").arg(port_));
  if (!reading && !silent_) {
    say_(QStringLiteral("no readings from COM %1 since %2%3")
             .arg(port_)
             .arg(clockText(lastReadingAt_))
             .arg(trouble.isEmpty() ? QString() : QStringLiteral(": ") + trouble));
  }
  if (reading) lastReadingAt_ = now;
  silent_ = !reading;
  // Channels without values while others have theirs: told when that changes.
  const QString silence = channelSilence_.text();
  channelSilence_.rowStored(store, fields, store.rowCount, now, reason);
  if (channelSilence_.text() != silence) {
    say_(channelSilence_.text().isEmpty() ? QStringLiteral("every channel has values again")
                                          : channelSilence_.text());
  }
}

void RunReport::partSaved(const RunParts::Saved& saved) {
  if (saved.part == 0) return;  // no rows: no part
  QString line = partOutcomeText(saved);
  line[0] = line[0].toLower();
  say_(line);
  if (saved.ok()) {
    files_ << saved.path;
    unsaved_.erase(saved.part);
    return;
  }
  unsaved_.insert(saved.part);
  if (saved.final) rowsLost_ += saved.rowsOnlyInMemory();
}

void RunReport::unpublished(int64_t rows) {
  if (rows <= 0) return;
  say_(QStringLiteral("%1 rows could not be published (the broker did not take them); they are "
                      "in the saved parts, and go to the broker first with the next run that "
                      "publishes")
           .arg(rows));
}

int RunReport::finish() {
  say_(QStringLiteral("done: %1 rows in %2 %3%4%5")
           .arg(rows_)
           .arg(files_.size())
           .arg(files_.size() == 1 ? QStringLiteral("file") : QStringLiteral("files"))
           .arg(files_.isEmpty() ? QString() : QStringLiteral(": ") + files_.join(", "))
           .arg(rowsLost_ > 0 ? QStringLiteral("; %1 rows lost").arg(rowsLost_) : QString()));
  return unsaved_.empty() ? kRecordDone : kRecordNotSaved;
}

QString RunReport::endStatus(const QString& why) const {
  QString status = QStringLiteral("Stopped (%1): %2 rows, %3 %4 saved")
                       .arg(why)
                       .arg(rows_)
                       .arg(files_.size())
                       .arg(files_.size() == 1 ? QStringLiteral("part") : QStringLiteral("parts"));
  if (!unsaved_.empty()) {
    status += QStringLiteral(", %1 not saved (offered at the next start)").arg(unsaved_.size());
  }
  if (rowsLost_ > 0) status += QStringLiteral(", %1 rows lost").arg(rowsLost_);
  return status;
}

QString RunReport::status(const RecordStore& store, int part, const QString& publishing) const {
  const QString place = QStringLiteral("part %1, row %2").arg(part).arg(store.rowCount);
  // The broker in every state: a silent or simulated run is published all the same.
  const QString broker = publishing.isEmpty() ? QString() : QStringLiteral("; ") + publishing;
  if (!store.converterOpen) {
    return QStringLiteral("Recording simulated readings (no converter on COM %1), %2%3")
        .arg(port_)
        .arg(place, broker);
  }
  if (silent_) {
    return QStringLiteral("No readings from COM %1 since %2, %3%4")
        .arg(port_)
        .arg(clockText(lastReadingAt_), place, broker);
  }
  const QString silence = channelSilence_.text();
  return QStringLiteral("Recording COM %1, %2%3%4")
      .arg(port_)
      .arg(place, silence.isEmpty() ? QString() : QStringLiteral(" (") + silence + ")", broker);
}
