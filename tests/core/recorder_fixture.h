#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "data_table.h"
#include "plain_record_fields.h"
#include "record_store.h"
#include "recorder.h"
#include "test_doubles.h"

/// A recorder over a scripted driver, a stopped clock and a listener that counts.
struct CountingListener : RecordListener {
  int resets = 0;
  int crossings = 0;
  void limitCrossed(int, const QString&) override { ++crossings; }
  int rows = 0;
  int full = 0;
  QStringList notes;
  void recordReset() override { ++resets; }
  void rowStored() override { ++rows; }
  void recordFull() override { ++full; }
  void noteAdded(int row, const QString& /*note*/, const QString& cell) override {
    notes << QString::number(row) + cell;
  }
};

class RecorderTest : public ::testing::Test {
 protected:
  RecorderTest() : store(std::make_unique<RecordStore>()), recorder(*store, table, driver, fields) {
    recorder.addListener(&listener);
    recorder.setClock([this] { return now; });
  }

  void poll(int times) {
    for (int i = 0; i < times; ++i) recorder.Timer2Timer();
  }
  void feed(int channel, std::initializer_list<int32_t> values) {
    for (int32_t v : values) driver.readings[channel].push_back(v);
  }

  std::unique_ptr<RecordStore> store;
  DataTable table;
  ScriptedDriver driver;
  PlainRecordFields fields;
  Recorder recorder;
  CountingListener listener;
  int64_t now = 0;  ///< the recorder's clock, in ms
};
