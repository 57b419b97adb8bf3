#pragma once

#include <memory>

#include "converter_driver.h"
#include "data_table.h"
#include "help_window.h"
#include "main_window.h"
#include "monitor_window.h"
#include "notes_window.h"
#include "qt_user_prompts.h"
#include "record_store.h"
#include "statistics_window.h"

/// The whole program: the record and the four windows, created in the order main window,
/// monitor (shown at once), notes window, help window.
class Program {
 public:
  /// Over `driver` (chosen by the application), with Qt's dialogs.
  explicit Program(std::unique_ptr<ConverterDriver> driver);
  /// With a given driver and prompts (tests); both must outlive the program.
  Program(ConverterDriver& driver, UserPrompts& prompts);

  RecordStore& store() { return *store_; }
  DataTable& table() { return table_; }
  TForm1& main() { return *main_; }
  TForm2& monitor() { return *monitor_; }
  TForm3& notes() { return *notes_; }
  TForm4& help() { return *help_; }
  StatisticsWindow& statistics() { return *statistics_; }

 private:
  void createWindows(ConverterDriver& driver, UserPrompts& prompts);

  std::unique_ptr<RecordStore> store_;  // 4 MB of columns: not on the stack
  DataTable table_;
  std::unique_ptr<ConverterDriver> ownDriver_;
  std::unique_ptr<QtUserPrompts> ownPrompts_;
  // Gone after the main window, whose recorder tells it of rows to the last.
  std::unique_ptr<StatisticsWindow> statistics_;
  std::unique_ptr<TForm1> main_;
  std::unique_ptr<TForm2> monitor_;
  std::unique_ptr<TForm3> notes_;
  std::unique_ptr<TForm4> help_;
};
