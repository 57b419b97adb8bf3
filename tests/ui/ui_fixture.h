#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "help_window.h"
#include "main_window.h"
#include "monitor_window.h"
#include "notes_window.h"
#include "test_doubles.h"

/// The four windows as main() builds them, over a scripted driver and scripted prompts, in a
/// fresh current folder (where Velan.ini lives).
class WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    previousFolder = QDir::currentPath();
    QDir::setCurrent(folder.path());
    build();
  }
  void TearDown() override {
    destroy();
    QDir::setCurrent(previousFolder);
  }
  void build() {
    store = std::make_unique<RecordStore>();
    table = std::make_unique<DataTable>();
    main = std::make_unique<TForm1>(*store, *table, driver, prompts);
    monitor = std::make_unique<TForm2>(*main, prompts);
    monitor->show();
    notes = std::make_unique<TForm3>();
    help = std::make_unique<TForm4>();
    monitor->monitor().setNotesSink(notes.get());
    main->attachWindows(monitor.get(), notes.get(), help.get());
    main->show();
  }
  void destroy() {
    help.reset();
    notes.reset();
    monitor.reset();
    main.reset();
  }

  template <typename T>
  T* child(const char* name) {
    T* found = main->findChild<T*>(QString::fromLatin1(name));
    if (!found) found = monitor->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  bool shown(const char* name) { return !child<QWidget>(name)->isHidden(); }
  QAction* action(const char* name) { return main->findChild<QAction*>(QString::fromLatin1(name)); }
  void storeRows(int count, int pollsPerRow = 3) {
    for (int i = 0; i < count; ++i) {
      for (int p = 0; p < pollsPerRow; ++p) main->recorder().Timer2Timer();
      main->recorder().Timer1Timer();
    }
  }
  QString path(const char* name) const { return folder.filePath(QString::fromLatin1(name)); }

  QTemporaryDir folder;
  QString previousFolder;
  ScriptedDriver driver;
  ScriptedPrompts prompts;
  std::unique_ptr<RecordStore> store;
  std::unique_ptr<DataTable> table;
  std::unique_ptr<TForm1> main;
  std::unique_ptr<TForm2> monitor;
  std::unique_ptr<TForm3> notes;
  std::unique_ptr<TForm4> help;
};
