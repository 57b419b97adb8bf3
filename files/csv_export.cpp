#include "csv_export.h"

#include <QDateTime>
#include <QStringList>
#include <cmath>

#include "date_time_text.h"
#include "file_access.h"
#include "numbers.h"

namespace {
// A field in quotes (quotes doubled) where it holds a comma, a quote or a line break.
QString field(const QString& text) {
  if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
      !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n'))) {
    return text;
  }
  return QLatin1Char('"') + QString(text).replace(QStringLiteral("\""), QStringLiteral("\"\"")) +
         QLatin1Char('"');
}

// The digits the data file has, without its padding.
QString number(double value, int decimals) {
  return isMissing(value) ? QString() : fileValueText(value, decimals, QLatin1Char('.')).trimmed();
}

// A row time to the millisecond, with as many decimals as it needs: 9999.75, 10000, 10000.25.
QString exactTime(double seconds) {
  if (!std::isfinite(seconds)) return {};
  const long long milliseconds = std::llround(seconds * 1000);
  const long long whole = std::llabs(milliseconds) / 1000;
  int fraction = static_cast<int>(std::llabs(milliseconds) % 1000);
  QString text = (milliseconds < 0 ? QStringLiteral("-") : QString()) + QString::number(whole);
  if (fraction == 0) return text;
  int digits = 3;
  for (; fraction % 10 == 0; fraction /= 10) --digits;
  return text + QLatin1Char('.') + QStringLiteral("%1").arg(fraction, digits, 10, QLatin1Char('0'));
}
}  // namespace

bool writeCsv(QIODevice& device, const RecordStore& store, const DataTable& table,
              const RecordFields& fields) {
  QStringList columns = {QStringLiteral("Time (s)"), QStringLiteral("Date and time")};
  for (int c = 1; c <= kChannels; ++c) {
    if (fields.channelSelected(c)) {
      columns << field(QStringLiteral("Ch. %1 (%2)").arg(c).arg(fields.unitLabel(c)));
    }
  }
  columns << QStringLiteral("Notes");
  QByteArray block = columns.join(QLatin1Char(',')).toUtf8() + "\r\n";
  const std::optional<QDateTime> start = parseDateTimeText(fields.startTime());
  std::optional<QDateTime> startWithOffset;
  if (start) startWithOffset = start->toOffsetFromUtc(start->offsetFromUtc());
  for (int r = 1; r <= store.rowCount; ++r) {
    QStringList line = {exactTime(store.time[r])};
    line << (startWithOffset ? startWithOffset->addMSecs(std::llround(store.time[r] * 1000))
                                   .toString(Qt::ISODateWithMs)
                             : QString());
    for (int c = 1; c <= kChannels; ++c) {
      if (fields.channelSelected(c)) line << number(store.value[c][r], store.valueDecimals[c]);
    }
    const QString& note = table.cell(DataTable::kNotesColumn, r);
    line << (cellHasText(note) ? field(note) : QString());
    block += line.join(QLatin1Char(',')).toUtf8() + "\r\n";
    if (block.size() > kWriteBlockBytes) {
      writeBytes(device, block);
      block.clear();
    }
  }
  writeBytes(device, block);
  return start.has_value() || store.rowCount == 0;
}

bool exportCsv(const QString& path, const RecordStore& store, const DataTable& table,
               const RecordFields& fields) {
  bool clockFilled = true;
  saveFile(path, [&](QIODevice& file) { clockFilled = writeCsv(file, store, table, fields); });
  return clockFilled;
}
