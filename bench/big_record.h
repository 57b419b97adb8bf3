#pragma once

#include <QBuffer>
#include <cmath>
#include <memory>

#include "data_file.h"
#include "plain_record_fields.h"

/// The largest record: 100000 rows at 0.25 s, four channels, a note every 100 rows.
struct BigRecord {
  BigRecord() : store(std::make_unique<RecordStore>()) {
    for (int c = 1; c <= kChannels; ++c) fields.setChannelSelected(c, true);
    store->rowCount = kMaxRows;
    table.setTableRowCount(kMaxRows + 25);
    for (int r = 1; r <= kMaxRows; ++r) {
      store->time[r] = r * 0.25;
      for (int c = 1; c <= kChannels; ++c) store->value[c][r] = 400.0 * std::sin(r * 0.001 * c);
      if (r % 100 == 0) table.setCell(5, r, QStringLiteral("%1-> note %2").arg(r / 240.0).arg(r));
    }
  }
  /// The record as data file bytes.
  QByteArray file() {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeDataFile(buffer, *store, table, fields, true, QLatin1Char('.'));
    return buffer.data();
  }
  std::unique_ptr<RecordStore> store;
  DataTable table;
  PlainRecordFields fields;
};
