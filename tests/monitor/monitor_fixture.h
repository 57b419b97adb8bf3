#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "monitor.h"
#include "plain_record_fields.h"
#include "recorder.h"
#include "test_doubles.h"

/// A monitor over a record of its own, a notes sink and a window that only count.
struct FakeNotes : NotesSink {
  QStringList lines;
  int shows = 0;
  void clearNotes() override { lines.clear(); }
  void appendNote(const QString& line) override { lines << line; }
  void showRestored() override { ++shows; }
};

struct FakeWindow : MonitorWindow {
  std::array<bool, 5> channelGroups{};
  bool runGroups = true;
  int bringUps = 0;
  int viewChanges = 0;
  void viewChanged() override { ++viewChanges; }
  void setChannelGroupVisible(int c, bool v) override { channelGroups[c] = v; }
  void setRunGroupsVisible(bool v) override { runGroups = v; }
  void bringUp() override { ++bringUps; }
};

class MonitorTest : public ::testing::Test {
 protected:
  MonitorTest()
      : store(std::make_unique<RecordStore>()),
        recorder(*store, table, driver, fields),
        monitor(*store, table, fields, recorder, surface) {
    monitor.setNotesSink(&notes);
    monitor.setWindow(&window);
    monitor.FormShow();
  }

  /// Stores rows at the given times (s) with channel 1 values (mV), as a run would.
  void addRows(std::initializer_list<std::pair<double, double>> rows) {
    for (const auto& [t, v] : rows) {
      const int n = ++store->rowCount;
      store->time[n] = t;
      store->value[1][n] = v;
      table.setTableRowCount(std::max(table.tableRowCount(), n + 25));
      table.setCell(1, n, QString::number(v));
    }
  }
  void addSecondRows(int count) {
    for (int i = 1; i <= count; ++i) addRows({{double(i), 0.0}});
  }
  const QString& caption(MonitorCaptions::Id id) { return monitor.captions().text(id); }
  void press(int control, bool up, int times = 1) {
    for (int i = 0; i < times; ++i) monitor.pressUpDown(control, up);
  }

  std::unique_ptr<RecordStore> store;
  DataTable table;
  ScriptedDriver driver;
  PlainRecordFields fields;
  Recorder recorder;
  TextlessPixelSurface surface;
  FakeNotes notes;
  FakeWindow window;
  Monitor monitor;
};
