#pragma once

#include <QIODevice>
#include <QString>

#include "data_table.h"
#include "record_store.h"

/// Writes the record as CSV after RFC 4180, for spreadsheets and scripts: UTF-8, commas, '.' as
/// the decimal point whatever the locale, CR LF. A header row names the columns: the time in
/// seconds, the clock time, one column per selected channel "Ch. <n> (<unit>)", the notes. Each
/// row has its time to the millisecond, the values with the data file's digits (a missing value
/// is empty), its clock time in ISO 8601 with the UTC offset (empty when the start time cannot be
/// read) and its note. Returns false when rows were written with an empty clock column.
bool writeCsv(QIODevice& device, const RecordStore& store, const DataTable& table,
              const RecordFields& fields);

/// Writes the CSV file at `path` as a save writes a data file; false as writeCsv. Throws
/// VelanError.
bool exportCsv(const QString& path, const RecordStore& store, const DataTable& table,
               const RecordFields& fields);
