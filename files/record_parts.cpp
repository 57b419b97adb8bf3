#include "record_parts.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "data_file.h"
#include "velan_error.h"

QString defaultRecordingsFolder(const QString& dialogFolder) {
  if (!dialogFolder.isEmpty()) return dialogFolder;
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
         QStringLiteral("/Velan");
}

QString partFilePath(const QString& folder, const QString& experiment, const QDateTime& start,
                     int part) {
  return recordFilePath(folder, experiment, start, QStringLiteral(" part %1").arg(part));
}

QString recordFilePath(const QString& folder, const QString& experiment, const QDateTime& start,
                       const QString& label) {
  // Characters that some file system or the file dialogs of another system refuse.
  QString stem;
  const QString described =
      experiment.trimmed() == experimentPlaceholder() ? QString() : experiment;
  for (const QChar c : described.trimmed().left(80)) {
    const bool refused = c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c);
    stem += refused ? QLatin1Char('_') : c;
  }
  if (stem.isEmpty() || stem.startsWith(QLatin1Char('.'))) stem.prepend(QStringLiteral("Velan"));
  const QString base =
      QStringLiteral("%1 %2").arg(stem, start.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"))) +
      label;
  const QDir dir(folder);
  QString path = dir.filePath(base + QStringLiteral(".vln"));
  for (int copy = 2; QFileInfo::exists(path); ++copy) {
    path = dir.filePath(QStringLiteral("%1 (%2).vln").arg(base).arg(copy));
  }
  return path;
}

QString saveRecordFile(const QString& folder, const QString& label, const QDateTime& start,
                       const RecordStore& store, const DataTable& table, const RecordFields& fields,
                       bool decimalComma, QChar separator) {
  if (!QDir().mkpath(folder)) {
    throw VelanError(QStringLiteral("The folder %1 cannot be made").arg(folder));
  }
  QString path = recordFilePath(folder, fields.experiment(), start, label);
  saveDataFile(path, store, table, fields, decimalComma, separator);
  return path;
}

QString saveRecordPart(const QString& folder, int part, const QDateTime& start,
                       const RecordStore& store, const DataTable& table, const RecordFields& fields,
                       bool decimalComma, QChar separator) {
  return saveRecordFile(folder, QStringLiteral(" part %1").arg(part), start, store, table, fields,
                        decimalComma, separator);
}
