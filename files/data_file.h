#pragma once

#include <QFile>
#include <QIODevice>
#include <QString>
#include <array>
#include <optional>
#include <vector>

#include "data_table.h"
#include "record_store.h"

/// A data file read into memory but not yet taken by the program, so a failed open changes
/// nothing.
struct StagedRecord {
  QString experiment;
  QString startTime;
  std::array<bool, kChannels + 1> selected{};
  std::array<QString, kChannels + 1> unitLabels;  ///< only meaningful for selected channels
  int rowCount = 0;
  std::vector<double> time;                              ///< rows 1..rowCount at index 0..
  std::array<std::vector<double>, kChannels + 1> value;  ///< selected channels only
  RowTexts cells;
  /// The most decimals a channel's values had (at least two): saved again with as many.
  std::array<int, kChannels + 1> valueDecimals = {2, 2, 2, 2, 2};
  /// Values that were not finite (INF, NAN): taken as missing, and said so.
  int notFiniteValues = 0;
};

/// Writes the record to `device`: header, count line and one data line per row.
void writeDataFile(QIODevice& device, const RecordStore& store, const DataTable& table,
                   const RecordFields& fields, bool decimalComma, QChar separator);

/// Reads a data file from `device`. Returns nothing when the first line is not recognised.
/// Throws VelanError on conversion and read failures.
std::optional<StagedRecord> readDataFile(QIODevice& device, bool decimalComma, QChar separator);

/// Takes a staged record into the store, the table (cleared first) and the main window's fields.
void applyStagedRecord(StagedRecord&& staged, RecordStore& store, DataTable& table,
                       RecordFields& fields);

/// Writes the data file atomically: a failure leaves an existing file as it was.
void saveDataFile(const QString& path, const RecordStore& store, const DataTable& table,
                  const RecordFields& fields, bool decimalComma, QChar separator);

/// Opens and reads a data file (a regular file only, named by the system's file-name bytes);
/// nothing when not recognised. Throws VelanError.
std::optional<StagedRecord> loadDataFile(const QByteArray& nativePath, bool decimalComma,
                                         QChar separator);
inline std::optional<StagedRecord> loadDataFile(const QString& path, bool decimalComma,
                                                QChar separator) {
  return loadDataFile(QFile::encodeName(path), decimalComma, separator);
}

/// Appends ".vln" unless the name contains ".VLN" or ".vln".
QString applyExtensionRule(const QString& name);
/// True when the name is not empty and names a readable file (exact name).
bool fileExists(const QString& name);
/// The name without its folder part.
QString bareFileName(const QString& path);
/// The name up to and including its last path separator.
QString folderPart(const QString& path);
