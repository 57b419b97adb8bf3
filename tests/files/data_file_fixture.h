#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <memory>
#include <thread>

#include "csv_export.h"
#include "data_file.h"
#include "date_time_text.h"
#include "file_access.h"
#include "numbers.h"
#include "ordinary_user.h"
#include "plain_record_fields.h"
#include "text_lines.h"
#include "velan_error.h"

/// A record of three rows over two channels, written and read in memory.
class DataFileTest : public ::testing::Test {
 protected:
  DataFileTest() : store(std::make_unique<RecordStore>()) {
    fields.setExperiment(QStringLiteral("Glucose"));
    fields.setStartTime(QStringLiteral("21.10.2005  16:08:42"));
    fields.setChannelSelected(3, true);
    store->rowCount = 2;
    store->time[1] = 1;
    store->time[2] = 2;
    store->value[1][1] = -14.04;
    store->value[3][1] = 0.5;
    store->value[1][2] = -9.24;
    store->value[3][2] = 0;
    store->value[2][1] = 99;  // not selected: never written
    table.setCell(5, 1, QStringLiteral("21.10.2005  16:08:42"));
  }

  QByteArray write(bool decimalComma, QChar separator) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeDataFile(buffer, *store, table, fields, decimalComma, separator);
    return buffer.data();
  }

  std::optional<StagedRecord> read(const QByteArray& bytes, bool decimalComma = true,
                                   QChar separator = QLatin1Char('.')) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return readDataFile(buffer, decimalComma, separator);
  }

  /// A staged record taken into a fresh program and written again (comma mode, ".").
  static QByteArray rewritten(StagedRecord&& staged, DataTable& table) {
    auto store = std::make_unique<RecordStore>();
    PlainRecordFields fields;
    applyStagedRecord(std::move(staged), *store, table, fields);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeDataFile(buffer, *store, table, fields, true, QLatin1Char('.'));
    return buffer.data();
  }

  static QString errorOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const VelanError& error) {
      return error.message();
    }
    return QStringLiteral("(no error)");
  }

  std::unique_ptr<RecordStore> store;
  DataTable table;
  PlainRecordFields fields;
};
