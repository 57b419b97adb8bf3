#include "data_file.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "file_access.h"
#include "numbers.h"
#include "text_lines.h"

namespace {
const QString kFileTag = QStringLiteral("<Velan data file>");
const QString kCountTag = QStringLiteral("<lines with data: sec;Ch1;Ch2;Ch3;Ch4;Note>");

// The decimals of a number field in fixed notation (0 for one in exponent form): the digits at
// its end, when a separator stands before them. Read from the end: a few characters a field.
int decimalsOf(QStringView field, QChar separator) {
  qsizetype digits = field.size();
  while (digits > 0 && field[digits - 1] >= QLatin1Char('0') &&
         field[digits - 1] <= QLatin1Char('9')) {
    --digits;
  }
  if (digits == 0) return 0;
  const QChar before = field[digits - 1];
  const bool point =
      before == separator || before == QLatin1Char('.') || before == QLatin1Char(',');
  return point ? static_cast<int>(field.size() - digits) : 0;
}

// INF, -INF, NAN as a Delphi-style writer spells them.
bool isNotFiniteText(QStringView field) {
  QStringView text = field.trimmed();
  if (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'))) text = text.sliced(1);
  return text.compare(QLatin1String("INF"), Qt::CaseInsensitive) == 0 ||
         text.compare(QLatin1String("NAN"), Qt::CaseInsensitive) == 0;
}

void writeLine(QIODevice& device, const QString& line) { writeBytes(device, encodeLine(line)); }

// The field before the next ";" of a data line, from `position` on; the position moves past the
// ";". Without a ";" the field is empty and the position stays, as such lines have always read.
QStringView takeField(QStringView line, qsizetype& position) {
  const qsizetype semicolon = line.indexOf(QLatin1Char(';'), position);
  if (semicolon < 0) return {};
  const QStringView field = line.sliced(position, semicolon - position);
  position = semicolon + 1;
  return field;
}
}  // namespace

void writeDataFile(QIODevice& device, const RecordStore& store, const DataTable& table,
                   const RecordFields& fields, bool decimalComma, QChar separator) {
  writeLine(device, kFileTag + fields.experiment());
  writeLine(device, fields.startTime() + QStringLiteral("<Start time of recording>"));
  for (int c = 1; c <= kChannels; ++c) {
    writeLine(device, channelLine(c, fields.channelSelected(c), fields.unitLabel(c)));
  }
  const int rows = store.rowCount;
  writeLine(device, QString::number(rows) + kCountTag);

  // Number fields are ASCII but for the separator: build each line as bytes. In point mode every
  // comma of the number fields becomes a point, so a comma separator is written as a point.
  const bool asciiSeparator = separator.unicode() < 0x80;
  char fileSeparator = asciiSeparator ? static_cast<char>(separator.unicode()) : '.';
  if (!decimalComma && fileSeparator == ',') fileSeparator = '.';

  QByteArray block;
  block.reserve(kWriteBlockBytes + 1024);
  char numbers[(kChannels + 1) * (kFormattedCapacity + 1)];
  for (int r = 1; r <= rows; ++r) {
    int length = formatTimeInto(numbers, store.time[r], fileSeparator);
    numbers[length++] = ';';
    for (int c = 1; c <= kChannels; ++c) {
      // The selection is read for every line, as a change during a save would show.
      if (!fields.channelSelected(c)) continue;
      const double value = store.value[c][r];
      if (!isMissing(value))
        length += formatFixedInto(numbers + length, value, kFileValueDigits, store.valueDecimals[c],
                                  fileSeparator);
      numbers[length++] = ';';
    }
    // Most rows have no note: asked without touching the row's texts.
    const bool noted = table.rowHasNote(r);
    if (asciiSeparator) {
      block.append(numbers, length);
      if (noted) block += table.cellView(DataTable::kNotesColumn, r).toLocal8Bit();
      block.append("\r\n", 2);
    } else {  // the same fields as text with the separator put in, then encoded as a whole
      QString line = QString::fromLatin1(numbers, length).replace(QLatin1Char('.'), separator);
      block += encodeLine(noted ? line + table.cell(DataTable::kNotesColumn, r) : line);
    }
    if (block.size() > kWriteBlockBytes) {
      writeBytes(device, block);
      block.resize(0);  // keeps the allocation for the next block
    }
  }
  writeBytes(device, block);
}

namespace {
// One data line into row `row` of `staged`: its time, values and cells as they stand.
void readDataLine(const QString& line, size_t row, StagedRecord& staged, bool decimalComma,
                  QChar separator) {
  qsizetype position = 0;
  RowTexts::RowViews cells;
  cells.fill(DataTable::blank());
  QStringView field = takeField(line, position);
  staged.time[row] = parseNumber(field, separator);
  cells[0] = field;
  for (int c = 1; c <= kChannels; ++c) {
    if (!staged.selected[c]) continue;
    field = takeField(line, position);
    if (isBlankText(field)) {  // a value that was not measured
      staged.value[c][row] = kMissingValue;
      continue;
    }
    try {
      staged.value[c][row] = parseNumber(field, separator);
    } catch (const VelanError&) {
      if (!isNotFiniteText(field)) throw;
      // Written by an older Velan from an overflowing scaling: missing, and counted.
      staged.value[c][row] = kMissingValue;
      ++staged.notFiniteValues;
      continue;
    }
    staged.valueDecimals[c] = std::max(staged.valueDecimals[c], decimalsOf(field, separator));
    cells[c] = field;
  }
  const QStringView rest = QStringView(line).sliced(position);
  if (cellHasText(rest)) cells[DataTable::kNotesColumn] = rest;
  staged.cells.setRow(row, cells);
  if (decimalComma) {
    // Display step: the first comma of each number cell shows as a point.
    for (int column = 0; column <= kChannels; ++column) {
      staged.cells.replaceFirst(row, column, QLatin1Char(','), QLatin1Char('.'));
    }
  }
}
}  // namespace

std::optional<StagedRecord> readDataFile(QIODevice& device, bool decimalComma, QChar separator) {
  LineReader reader(device);
  const QString first = reader.readLine();
  if (!first.startsWith(kFileTag)) return std::nullopt;

  StagedRecord staged;
  staged.experiment = first.mid(first.indexOf(QLatin1Char('>')) + 1);
  staged.startTime = taggedValue(reader.readLine());
  for (int c = 1; c <= kChannels; ++c) {
    const QString line = reader.readLine();
    staged.selected[c] = !line.contains(QStringLiteral("%1 not used").arg(c));
    if (staged.selected[c]) staged.unitLabels[c] = taggedValue(line);
  }
  const QString countText = taggedValue(reader.readLine());
  const int rows = parseInteger(countText);
  if (rows < 0)
    throw VelanError(QStringLiteral("'%1' ist kein gültiger Integerwert").arg(countText));
  if (rows > kMaxRows) {
    throw VelanError(
        QStringLiteral("Too many data lines: %1 (at most %2)").arg(rows).arg(kMaxRows));
  }

  staged.rowCount = rows;
  staged.time.resize(static_cast<size_t>(rows));
  for (int c = 1; c <= kChannels; ++c) {
    if (staged.selected[c]) staged.value[c].resize(static_cast<size_t>(rows));
  }
  staged.cells.resize(static_cast<size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    readDataLine(reader.readLine(), static_cast<size_t>(r), staged, decimalComma, separator);
  }
  return staged;
}

void applyStagedRecord(StagedRecord&& staged, RecordStore& store, DataTable& table,
                       RecordFields& fields) {
  fields.setExperiment(staged.experiment);
  fields.setStartTime(staged.startTime);
  for (int c = 1; c <= kChannels; ++c) {
    fields.setChannelSelected(c, staged.selected[c]);
    if (staged.selected[c]) fields.setUnitLabel(c, staged.unitLabels[c]);
  }
  const int rows = staged.rowCount;
  for (int r = 1; r <= rows; ++r) {
    store.time[r] = staged.time[static_cast<size_t>(r - 1)];
    for (int c = 1; c <= kChannels; ++c) {
      // A channel without values in the source has none here either, not an older record's.
      const auto& values = staged.value[c];
      store.value[c][r] = values.empty() ? kMissingValue : values[static_cast<size_t>(r - 1)];
    }
  }
  store.rowCount = rows;
  ++store.recordId;
  store.valueDecimals = staged.valueDecimals;
  table.loadRows(std::move(staged.cells));
}

void saveDataFile(const QString& path, const RecordStore& store, const DataTable& table,
                  const RecordFields& fields, bool decimalComma, QChar separator) {
  saveFile(path, [&](QIODevice& file) {
    writeDataFile(file, store, table, fields, decimalComma, separator);
  });
}

std::optional<StagedRecord> loadDataFile(const QByteArray& nativePath, bool decimalComma,
                                         QChar separator) {
  QFile file;
  openRegularFile(file, nativePath);
  return readDataFile(file, decimalComma, separator);
}

QString applyExtensionRule(const QString& name) {
  if (name.contains(QStringLiteral(".VLN")) || name.contains(QStringLiteral(".vln"))) return name;
  return name + QStringLiteral(".vln");
}

bool fileExists(const QString& name) {
  if (name.isEmpty()) return false;
  const QFileInfo info(name);
  if (!info.isFile()) return false;
  QFile file(name);
  return file.open(QIODevice::ReadOnly);
}

QString bareFileName(const QString& path) {
  return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString folderPart(const QString& path) {
  return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}
