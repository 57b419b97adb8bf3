#include "journal_recovery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>

#include "date_time_text.h"
#include "numbers.h"
#include "plain_record_fields.h"
#include "record_parts.h"
#include "velan_error.h"

namespace {
QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

// Moves a damaged journal aside for good; returns where it is now.
QString keepDamaged(const QString& path) {
  const QString damaged = path + QStringLiteral(".damaged");
  QFile::remove(damaged);  // an older copy of the same journal
  return QFile::rename(path, damaged) ? damaged : path;
}

std::optional<JournalRecord> readJournalFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return readJournal(file);
}
}  // namespace

void saveOrphanedJournals(const QString& folder, const QString& owner, bool decimalComma,
                          QChar separator,
                          const std::function<void(const QString& message)>& report) {
  const auto save = [&](JournalRecord& record) {
    auto store = std::make_unique<RecordStore>();
    DataTable table;
    PlainRecordFields fields;
    const std::optional<QDateTime> start = parseDateTimeText(record.staged.startTime);
    applyStagedRecord(std::move(record.staged), *store, table, fields);
    if (record.headingNote) table.setCell(DataTable::kNotesColumn, 0, *record.headingNote);
    return saveRecordFile(folder, QStringLiteral(" recovered"),
                          start.value_or(QDateTime::currentDateTime()), *store, table, fields,
                          decimalComma, separator);
  };
  // Each call looks at every journal again: another owner's is named once.
  QStringList named;
  const auto nameOnce = [&](const QString& message) {
    if (!named.contains(message)) report(message);
    named << message;
  };
  const RecoveryDialogue unattended{[](const QString&) { return true; }, report, owner, nameOnce};
  while (std::optional<RecoveredRecording> found = offerUnsavedRecording(unattended)) {
    try {
      const QString path = save(found->record);
      if (QFile::exists(found->journal.path) && !QFile::remove(found->journal.path)) {
        report(QStringLiteral("Recovery file could not be deleted: %1")
                   .arg(shown(found->journal.path)));
        return;  // it would be offered again and again
      }
      report(QStringLiteral("An earlier run's unsaved recording was saved as %1").arg(shown(path)));
    } catch (const VelanError& error) {
      report(QStringLiteral("An earlier run's recording stays in %1: %2")
                 .arg(shown(found->journal.path), error.message()));
      return;
    }
  }
}

std::optional<RecoveredRecording> offerUnsavedRecording(const RecoveryDialogue& dialogue) {
  for (OrphanedJournal& found : findOrphanedJournals()) {
    std::optional<JournalRecord> record = readJournalFile(found.path);
    if (!record && QFileInfo(found.path).size() == 0) {
      QFile::remove(found.path);  // created, but the program died before it wrote anything
      continue;
    }
    if (record && record->owner != dialogue.owner) {
      (dialogue.leftAlone ? dialogue.leftAlone : dialogue.report)(
          QStringLiteral("Left for its own program: %1 (%2)")
              .arg(shown(found.path),
                   record->owner.isEmpty() ? QStringLiteral("Velan's window") : record->owner));
      continue;
    }
    const bool damaged = !record || record->damagedLines > 0;
    const QString keptAs = damaged ? keepDamaged(found.path) : QString();
    const bool recorded = record && (record->staged.rowCount > 0 || record->headingNote);
    if (!recorded) {
      if (damaged) {
        dialogue.report(QStringLiteral("Recovery file could not be read: %1. It was kept as %2")
                            .arg(shown(found.path), shown(keptAs)));
      } else {
        QFile::remove(found.path);  // a run that ended before its first row: nothing to give back
      }
      continue;
    }
    QString question = QStringLiteral("UNSAVED RECORDING FOUND - %1, %2 rows")
                           .arg(record->staged.startTime)
                           .arg(record->staged.rowCount);
    if (damaged) {
      question += QStringLiteral(" (%1 damaged lines skipped)").arg(record->damagedLines);
    }
    question += QStringLiteral(". Restore it?");
    if (dialogue.askRestore(question))
      return RecoveredRecording{std::move(*record), std::move(found)};
    if (!damaged && !QFile::remove(found.path)) {
      dialogue.report(
          QStringLiteral("Recovery file could not be deleted: %1").arg(shown(found.path)));
    }
  }
  return std::nullopt;
}
