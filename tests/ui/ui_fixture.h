#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "program.h"
#include "test_doubles.h"

/// The four windows as main() builds them, over a scripted driver and scripted prompts, in a
/// fresh current folder (where Velan.ini lives).
class WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    previousFolder = QDir::currentPath();
    QDir::setCurrent(folder.path());
    qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));      // where the journals go
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("config")));  // the recent files
    build();
  }
  void TearDown() override {
    destroy();
    QDir::setCurrent(previousFolder);
  }
  void build() {
    program = std::make_unique<Program>(driver, prompts);
    store = &program->store();
    table = &program->table();
    main = &program->main();
    monitor = &program->monitor();
    notes = &program->notes();
    help = &program->help();
    main->recorder().setClock([] { return int64_t{0}; });  // no stalls unless a test makes one
    main->show();
  }
  void destroy() { program.reset(); }

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
  /// The running record's crash journal, read back.
  std::optional<JournalRecord> runningJournal() const {
    QFile journal(main->journalPath());
    return journal.open(QIODevice::ReadOnly) ? readJournal(journal) : std::nullopt;
  }

  QTemporaryDir folder;
  QString previousFolder;
  ScriptedDriver driver;
  ScriptedPrompts prompts;
  std::unique_ptr<Program> program;
  RecordStore* store = nullptr;
  DataTable* table = nullptr;
  TForm1* main = nullptr;
  TForm2* monitor = nullptr;
  TForm3* notes = nullptr;
  TForm4* help = nullptr;
};
