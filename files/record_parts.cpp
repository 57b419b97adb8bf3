#include "record_parts.h"

#include <QBuffer>
#include <QDir>
#include <QStandardPaths>

#include "data_file.h"
#include "file_access.h"
#include "velan_error.h"

QString defaultRecordingsFolder(const QString& dialogFolder) {
  if (!dialogFolder.isEmpty()) return dialogFolder;
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
         QStringLiteral("/Velan");
}

QString recordFileName(const QString& folder, const QString& experiment, const QDateTime& start,
                       const QString& label, int copy) {
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
  return copy <= 1 ? dir.filePath(base + QStringLiteral(".vln"))
                   : dir.filePath(QStringLiteral("%1 (%2).vln").arg(base).arg(copy));
}

QString saveRecordBytes(const QString& folder, const QString& label, const QDateTime& start,
                        const QString& experiment, const QByteArray& bytes) {
  if (!QDir().mkpath(folder)) {
    throw VelanError(QStringLiteral("The folder %1 cannot be made").arg(folder));
  }
  return saveNewFile(
      [&](int copy) { return recordFileName(folder, experiment, start, label, copy); },
      [&](QIODevice& file) { writeBytes(file, bytes); });
}

QByteArray recordFileBytes(const RecordStore& store, const DataTable& table,
                           const RecordFields& fields, bool decimalComma, QChar separator) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  writeDataFile(buffer, store, table, fields, decimalComma, separator);
  return bytes;
}

QString saveRecordFile(const QString& folder, const QString& label, const QDateTime& start,
                       const RecordStore& store, const DataTable& table, const RecordFields& fields,
                       bool decimalComma, QChar separator) {
  return saveRecordBytes(folder, label, start, fields.experiment(),
                         recordFileBytes(store, table, fields, decimalComma, separator));
}

QString saveRecordPart(const QString& folder, int part, const QDateTime& start,
                       const QString& experiment, const QByteArray& bytes) {
  return saveRecordBytes(folder, QStringLiteral(" part %1").arg(part), start, experiment, bytes);
}
