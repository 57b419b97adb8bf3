#include "run_parts.h"

#include <QStringList>
#include <cmath>

#include "date_time_text.h"
#include "numbers.h"
#include "record_parts.h"
#include "velan_error.h"

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
      now_(now ? std::move(now) : Clock(&QDateTime::currentDateTime)) {}

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
  const QString note = parts.join(QStringLiteral("  "));
  table_.setCell(DataTable::kNotesColumn, 1, note);
  journal_.noteAdded(1, note);  // row 1's note, journaled like any other
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

RunParts::Saved RunParts::save() {
  Saved saved;
  saved.part = part_;
  saved.folder = folder_();
  try {
    saved.path = saveRecordPart(saved.folder, part_, partStart(), store_, table_, fields_,
                                decimalComma_, separator_);
    journal_.discard();
  } catch (const VelanError& error) {
    saved.failure = error.message();
    saved.journal = journal_.path();
    journal_.keepForRecovery();  // offered at the next start, like a crash's
  }
  return saved;
}

RunParts::Saved RunParts::next() {
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
                   "(part %1 could not be saved: %2; its rows wait in the recovery file)")
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
    return {};
  }
  if (!lastRowNote.isEmpty()) recorder_.addNote(lastRowNote);
  return save();
}
