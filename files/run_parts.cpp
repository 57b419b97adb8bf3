#include "run_parts.h"

#include <QStringList>
#include <cmath>
#include <utility>

#include "date_time_text.h"
#include "numbers.h"
#include "record_parts.h"
#include "velan_error.h"

namespace {
// A part that could not be saved is tried again this often.
constexpr int kRetryIntervalMs = 10000;
}  // namespace

std::optional<QString> scaledUnitProblem(const RecordFields& fields, QChar separator) {
  for (int c = 1; c <= kChannels; ++c) {
    const ChannelScaling scaling = fields.scaling(c);
    if (fields.channelSelected(c) && !scaling.isIdentity() &&
        fields.unitLabel(c).trimmed() == kMillivolts) {
      return QStringLiteral(
                 "Ch. %1 is scaled (%2), so its values are not in mV: type their unit beside "
                 "the channel (or in Velan.ini), or give it factor 1 and offset 0 in Options - "
                 "Channel scaling.")
          .arg(c)
          .arg(scalingDescription(c, scaling, QStringLiteral("value"), separator));
    }
  }
  return std::nullopt;
}

RunParts::RunParts(RecordStore& store, DataTable& table, RecordFields& fields, Recorder& recorder,
                   RecordJournal& journal, std::function<QString()> folder, Clock now)
    : store_(store),
      table_(table),
      fields_(fields),
      recorder_(recorder),
      journal_(journal),
      folder_(std::move(folder)),
      now_(now ? std::move(now) : Clock(&QDateTime::currentDateTime)) {
  retryTimer_.setInterval(kRetryIntervalMs);
  QObject::connect(&retryTimer_, &QTimer::timeout, [this] { retrySaves(); });
}

void RunParts::setFileFormat(bool decimalComma, QChar separator) {
  decimalComma_ = decimalComma;
  separator_ = separator;
}

void RunParts::begin() {
  part_ = 1;
  const QDateTime now = now_();
  start_ = now.addMSecs(-now.time().msec());
  fields_.setStartTime(dateTimeText(start_));
  journal_.begin();  // replaces the old record's journal: saved, or given up by the question
  setStartNote(readingsRemark());
}

void RunParts::rewriteStartNote() {
  if (store_.rowCount == 0) setStartNote(startRemarks_);
}

QString RunParts::scalingsText() const {
  QStringList scaled;
  for (int c = 1; c <= kChannels; ++c) {
    const ChannelScaling scaling = fields_.scaling(c);
    if (fields_.channelSelected(c) && !scaling.isIdentity()) {
      scaled << scalingDescription(c, scaling, fields_.unitLabel(c), separator_);
    }
  }
  return scaled.join(QStringLiteral("  "));
}

void RunParts::setStartNote(const QString& remarks) {
  startRemarks_ = remarks;
  // The start time, then how the values relate to the millivolts, so that a saved file
  // documents its own conversion.
  QStringList parts = {fields_.startTime(), scalingsText(), remarks};
  parts.removeAll(QString());
  startNote_ = parts.join(QStringLiteral("  "));
  table_.setCell(DataTable::kNotesColumn, 1, startNote_);
  journal_.noteAdded(1, startNote_);  // row 1's note, journaled like any other
}

QString RunParts::readingsRemark() const {
  QStringList remarks;
  if (!source_.isEmpty()) remarks << QStringLiteral("(recorded from %1)").arg(source_);
  if (!store_.converterOpen) {
    remarks << QStringLiteral("(simulated readings: no converter answered on COM %1)")
                   .arg(store_.portNumber);
  }
  return remarks.join(QStringLiteral("  "));
}

QDateTime RunParts::partStart() const {
  // The start a file shows is its start text; one typed over since counts where it reads.
  return parseDateTimeText(fields_.startTime()).value_or(start_);
}

bool RunParts::trySave(Pending& part) const {
  try {
    part.saved.path =
        saveRecordPart(part.saved.folder, part.saved.part, part.start, part.experiment, part.bytes);
    part.saved.failure.clear();
    return true;
  } catch (const VelanError& error) {
    part.saved.failure = error.message();
    return false;
  }
}

RunParts::Saved RunParts::save() {
  Pending part;
  part.saved.part = part_;
  part.saved.folder = folder_();
  part.saved.rows = store_.rowCount;
  part.start = partStart();
  part.experiment = fields_.experiment();
  part.bytes = recordFileBytes(store_, table_, fields_, decimalComma_, separator_);
  if (trySave(part)) {
    journal_.discard();
    return part.saved;
  }
  part.journal = journal_.handOver();
  part.saved.journal = part.journal.path;
  part.saved.rowsInJournal = part.journal.rowsOnDisk;
  if (part.saved.rowsOnlyInMemory() > 0) {
    const auto clock = [&](int row) {
      return part.start.addMSecs(std::llround(store_.time[row] * 1000));
    };
    part.saved.lostFrom = clock(part.saved.rowsInJournal + 1);
    part.saved.lostTo = clock(part.saved.rows);
  }
  pending_.push_back(std::move(part));
  retryTimer_.start();
  return pending_.back().saved;
}

void RunParts::retrySaves() {
  for (auto part = pending_.begin(); part != pending_.end();) {
    if (!trySave(*part)) {
      ++part;
      continue;
    }
    part->journal.remove();
    part->saved.late = true;
    if (report_) report_(part->saved);
    part = pending_.erase(part);
  }
  if (pending_.empty()) retryTimer_.stop();
}

RunParts::Saved RunParts::giveUp(Pending& part) const {
  if (part.journal.rowsOnDisk == 0) {
    part.journal.remove();  // nothing in it to offer
    part.saved.journal.clear();
  }
  part.journal.lock.reset();  // unlocked: the next start offers its rows
  part.saved.final = true;
  return part.saved;
}

void RunParts::endPending() {
  retrySaves();
  for (Pending& part : pending_) {
    const Saved saved = giveUp(part);
    if (report_) report_(saved);
  }
  pending_.clear();
  retryTimer_.stop();
}

QString RunParts::trouble() const {
  QStringList troubles;
  if (const QString journal = journal_.trouble(); !journal.isEmpty()) troubles << journal;
  for (const Pending& part : pending_) {
    troubles << QStringLiteral("part %1 not saved yet (%2): its %3 rows wait in memory")
                    .arg(part.saved.part)
                    .arg(part.saved.failure)
                    .arg(part.saved.rows);
  }
  return troubles.join(QStringLiteral("; "));
}

RunParts::Saved RunParts::next() {
  retrySaves();  // the parts before first, in their order
  const QDateTime start = partStart();
  // The last row's clock, to the millisecond: the next part's start keeps its whole second and
  // its row times carry the fraction, so start time + row time stays every row's clock time.
  const double lastRowTime = store_.rowCount > 0 ? store_.time[store_.rowCount] : 0.0;
  const QDateTime lastRow = start.addMSecs(std::llround(lastRowTime * 1000));
  Saved saved = save();
  start_ = lastRow.addMSecs(-lastRow.time().msec());
  recorder_.beginNextPart(lastRow.time().msec() / 1000.0);
  ++part_;
  fields_.setStartTime(dateTimeText(start_));
  const QString previous =
      saved.ok() ? bareFileName(saved.path) : QStringLiteral("part %1").arg(saved.part);
  QStringList remarks = {QStringLiteral("(continues %1, part %2)").arg(previous).arg(part_)};
  if (!saved.ok()) {
    remarks << QStringLiteral(
                   "(part %1 could not be saved yet: %2; its rows wait in memory and are saved "
                   "as soon as there is room)")
                   .arg(saved.part)
                   .arg(saved.failure);
  }
  remarks << readingsRemark();
  // A reader of this part alone learns where the channels already stand.
  remarks << recorder_.limitsBeyond();
  remarks.removeAll(QString());
  journal_.begin();
  setStartNote(remarks.join(QStringLiteral("  ")));
  return saved;
}

RunParts::Saved RunParts::finish(const QString& lastRowNote) {
  if (store_.rowCount == 0) {
    journal_.discard();  // nothing recorded: nothing to keep
    endPending();
    return {};
  }
  if (!lastRowNote.isEmpty()) recorder_.addNote(lastRowNote);
  retrySaves();
  Saved saved = save();
  if (saved.ok()) {
    endPending();
    return saved;
  }
  Pending last = std::move(pending_.back());
  pending_.pop_back();
  endPending();
  return giveUp(last);
}

QString partOutcomeText(const RunParts::Saved& saved) {
  if (saved.ok()) {
    return QStringLiteral("Part %1 saved as %2%3")
        .arg(saved.part)
        .arg(saved.path, saved.late ? QStringLiteral(" (the disk took it again)") : QString());
  }
  const QString failed = QStringLiteral("Part %1 could not be saved into %2 (%3)")
                             .arg(saved.part)
                             .arg(saved.folder, saved.failure);
  if (!saved.final) {
    return failed +
           QStringLiteral(": its rows wait in memory and are saved as soon as there is room");
  }
  const int lost = saved.rowsOnlyInMemory();
  const QString span = QStringLiteral("%1 to %2")
                           .arg(saved.lostFrom.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")),
                                saved.lostTo.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
  if (lost == 0) {
    return failed + QStringLiteral(": its rows are kept in %1 and offered at the next start")
                        .arg(saved.journal);
  }
  if (saved.rowsInJournal == 0) {
    return failed + QStringLiteral(", nor into a recovery file: its %1 rows (%2) are lost")
                        .arg(lost)
                        .arg(span);
  }
  return failed + QStringLiteral(
                      ": %1 rows are kept in %2 and offered at the next start; %3 "
                      "rows (%4) could not be written anywhere and are lost")
                      .arg(saved.rowsInJournal)
                      .arg(saved.journal)
                      .arg(lost)
                      .arg(span);
}
