#pragma once

#include <QDateTime>
#include <memory>

#include "disk_io.h"
#include "plain_record_fields.h"
#include "run_parts.h"
#include "test_doubles.h"

/// What a run records with, without a window: the record, the recorder on a scripted driver
/// and the journal.
struct RunPieces {
  std::unique_ptr<RecordStore> store = std::make_unique<RecordStore>();
  DataTable table;
  ScriptedDriver driver;
  PlainRecordFields fields;
  Recorder recorder{*store, table, driver, fields};
  RecordJournal journal{*store, table, fields};
};

/// A run's recorder, journal and parts without a window, on a clock the test moves: a row every
/// 250 ms at each tick(), the parts' clock from 08.12.2026 07:00:00 on, the journal flushed
/// through the disk in use.
struct RecordedRun : RunPieces {
  explicit RecordedRun(std::function<QString()> folder)
      : parts(*store, table, fields, recorder, journal, std::move(folder),
              [this] { return QDateTime(QDate(2026, 12, 8), QTime(7, 0)).addMSecs(now); }) {
    table.keepNotesOnly();
    recorder.setClock([this] { return now; });
    journal.setDiskSync([](int fd) { return diskIo().syncFile(fd, true); }, [this] { return now; });
    recorder.addListener(&journal);
    recorder.setReadingInterval(250);
    recorder.resetRecord();
    recorder.startTimers();
  }
  void tick() {
    now += 250;
    recorder.Timer1Timer();
  }

  int64_t now = 0;  ///< milliseconds
  RunParts parts;
};
