#pragma once

#include <QDateTime>
#include <QString>

#include "data_table.h"
#include "record_store.h"

/// Where the parts of a long run go when no folder was chosen: the given folder (the file
/// dialogs' initial one) where there is one, else "Velan" in the user's documents folder.
QString defaultRecordingsFolder(const QString& dialogFolder);

/// A new file in `folder`: the experiment made safe for a file name (or "Velan"), the start date
/// and time and `label` (" part 3", " recovered"), ".vln"; never an existing file.
QString recordFilePath(const QString& folder, const QString& experiment, const QDateTime& start,
                       const QString& label);

/// A new file in `folder` for part `part` of a run: the experiment made safe for a file name
/// (or "Velan"), the part's start date and time and " part N", ".vln"; never an existing file.
QString partFilePath(const QString& folder, const QString& experiment, const QDateTime& start,
                     int part);

/// Saves the record as a new file in `folder` named by recordFilePath (`label`: " recovered")
/// and returns its path. Throws VelanError with the reason when it cannot.
QString saveRecordFile(const QString& folder, const QString& label, const QDateTime& start,
                       const RecordStore& store, const DataTable& table, const RecordFields& fields,
                       bool decimalComma, QChar separator);

/// Saves the full record as a new part file in `folder` (made when missing) and returns its
/// path. Throws VelanError with the reason when it cannot.
QString saveRecordPart(const QString& folder, int part, const QDateTime& start,
                       const RecordStore& store, const DataTable& table, const RecordFields& fields,
                       bool decimalComma, QChar separator);
