#pragma once

#include <QDateTime>
#include <QString>

#include "data_table.h"
#include "record_store.h"

/// Where the parts of a long run go when no folder was chosen: the given folder (the file
/// dialogs' initial one) where there is one, else "Velan" in the user's documents folder.
QString defaultRecordingsFolder(const QString& dialogFolder);

/// The name of a record's file in `folder`: the experiment made safe for a file name (or
/// "Velan"), the start date and time and `label` (" part 3", " recovered"), ".vln"; from copy 2
/// on, " (2)", " (3)", ... before ".vln".
QString recordFileName(const QString& folder, const QString& experiment, const QDateTime& start,
                       const QString& label, int copy = 1);

/// Saves the record as a new file in `folder` named by recordFileName (`label`: " recovered"),
/// the first copy whose name is free when the file is complete, and returns its path. Throws
/// VelanError with the reason when it cannot.
QString saveRecordFile(const QString& folder, const QString& label, const QDateTime& start,
                       const RecordStore& store, const DataTable& table, const RecordFields& fields,
                       bool decimalComma, QChar separator);

/// Saves a part's file `bytes` (recordFileBytes) as a new file in `folder` (made when missing)
/// and returns its path. Throws VelanError with the reason when it cannot.
QString saveRecordPart(const QString& folder, int part, const QDateTime& start,
                       const QString& experiment, const QByteArray& bytes);

/// The record as its data file holds it.
QByteArray recordFileBytes(const RecordStore& store, const DataTable& table,
                           const RecordFields& fields, bool decimalComma, QChar separator);

/// Saves `bytes` as a new file in `folder` (made when missing), named as saveRecordFile names
/// the record of `experiment` begun at `start`, and returns its path. Throws VelanError.
QString saveRecordBytes(const QString& folder, const QString& label, const QDateTime& start,
                        const QString& experiment, const QByteArray& bytes);
