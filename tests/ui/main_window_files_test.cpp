// The main window and its files: save, open, recent files, Velan.ini, the records offered back
// from crash journals, CSV.
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "contrast.h"
#include "desktop_notifier.h"
#include "publish_settings.h"
#include "qt_user_prompts.h"
#include "ui_fixture.h"
#include "user_settings.h"

namespace {

using Answer = UserPrompts::Answer;

TEST_F(WindowsTest, ChannelsChosenDuringARunAreJournaled) {
  main->StartClick();
  child<QCheckBox>("CBCh3")->setChecked(true);
  const std::optional<JournalRecord> recovered = runningJournal();
  EXPECT_TRUE(recovered && recovered->staged.selected[3]);
}

TEST_F(WindowsTest, SaveAsThenSaveThenOpen) {
  main->Saveas1Click();
  EXPECT_TRUE(prompts.dialogs.empty()) << "an empty record opens no dialog";
  main->StartClick();
  storeRows(3);
  table->setCell(5, 2, QStringLiteral("a, b; c"));
  main->StopClick();

  main->setExperiment(QStringLiteral("Oven: run/2"));
  QDir().mkpath(path("elsewhere"));
  prompts.saveNames = {path("elsewhere/run1.txt")};
  main->Saveas1Click();
  ASSERT_EQ(prompts.dialogs.size(), 1u);
  EXPECT_EQ(prompts.dialogs[0].title, QStringLiteral("Save Data (Velan File)"));
  EXPECT_EQ(prompts.dialogs[0].defaultSuffix, QStringLiteral("vln"));
  EXPECT_TRUE(prompts.dialogs[0].proposedName.startsWith(QStringLiteral("Oven_ run_2 20")))
      << prompts.dialogs[0].proposedName.toStdString();
  EXPECT_TRUE(prompts.dialogs[0].proposedName.endsWith(QStringLiteral(".vln")));
  ASSERT_TRUE(QFile::copy(path("elsewhere/run1.txt.vln"), path("run1.txt.vln")));
  EXPECT_TRUE(QFile::exists(path("run1.txt.vln")));
  EXPECT_EQ(child<QLabel>("LbFile")->text(), QStringLiteral("run1.txt"));
  EXPECT_TRUE(store->dataSaved);
  EXPECT_TRUE(action("Save1")->isEnabled());

  // Saving over it asks; No and Cancel leave everything as it was.
  for (Answer answer : {Answer::No, Answer::Cancel}) {
    store->dataSaved = false;
    prompts.answers = {answer};
    main->Save1Click();
    EXPECT_FALSE(store->dataSaved);
  }
  prompts.answers = {Answer::Yes};
  main->Save1Click();
  EXPECT_TRUE(store->dataSaved);
  EXPECT_EQ(prompts.questions.count(QStringLiteral("Overwite existing file?")), 3);

  store->dataSaved = true;
  main->StartClick();  // a new record, then open the saved one over it
  storeRows(1);
  main->StopClick();
  const MonitorCaptions& captions = monitor->monitor().captions();
  EXPECT_FALSE(captions.text(MonitorCaptions::Value1).isEmpty());
  store->dataSaved = true;
  prompts.openNames = {path("run1.txt.vln")};
  main->Open1Click();
  EXPECT_EQ(captions.text(MonitorCaptions::Value1), QString()) << "the old record's value";
  EXPECT_EQ(prompts.dialogs.back().title, QStringLiteral("Open Velan File"));
  EXPECT_EQ(prompts.dialogs.back().initialDirectory, path("elsewhere/"))
      << "where the last data file went";
  EXPECT_EQ(store->rowCount, 3);
  EXPECT_EQ(table->cell(5, 2), QStringLiteral("a, b; c"));
  EXPECT_EQ(table->cell(0, 1), QStringLiteral("1.0"));
  EXPECT_EQ(table->tableRowCount(), 28);
  EXPECT_EQ(child<QLabel>("LbFile")->text(), QStringLiteral("run1.txt.vln"));
  EXPECT_TRUE(shown("BnPlot"));
  EXPECT_TRUE(action("Save1")->isEnabled());
  EXPECT_TRUE(action("Saveas1")->isEnabled());

  // A new run after the file, plotted and looked at far on: its own view and its own name.
  main->BnPlotClick();
  monitor->monitor().captions().setText(MonitorCaptions::TimeStart, QStringLiteral("1642"));
  monitor->monitor().refreshView();
  main->StartClick();
  storeRows(1);
  main->StopClick();
  EXPECT_EQ(captions.text(MonitorCaptions::TimeStart), QStringLiteral("0.00"));
  EXPECT_LT(monitor->monitor().timeToX(1), plotRight) << "drawn in sight";
  main->Saveas1Click();
  EXPECT_TRUE(prompts.dialogs.back().proposedName.startsWith(QStringLiteral("Oven_ run_2 20")))
      << prompts.dialogs.back().proposedName.toStdString();
}

TEST_F(WindowsTest, LongTextsSurviveOpenSaveAndSettings) {
  const QByteArray description(1 << 20, 'd');
  const QByteArray unit(40000, 'u');
  const QByteArray bytes =
      "<Velan data file>" + description + "\r\nT<Start time of recording>\r\n" + unit +
      "<Channel 1>\r\n<Channel 2 not used>\r\n<Channel 3 not used>\r\n"
      "<Channel 4 not used>\r\n1<lines with data: sec;Ch1;Ch2;Ch3;Ch4;Note>\r\n"
      "1.0;;\r\n";
  QFile in(path("long.vln"));
  ASSERT_TRUE(in.open(QIODevice::WriteOnly));
  in.write(bytes);
  in.close();
  main->openProcedure(path("long.vln"));
  main->saveProcedure(path("again.vln"), path("again.vln"));
  QFile out(path("again.vln"));
  ASSERT_TRUE(out.open(QIODevice::ReadOnly));
  EXPECT_TRUE(out.readAll() == bytes) << "a long text was cut";
  main->saveSettingsClick();
  destroy();
  build();
  EXPECT_EQ(child<QLineEdit>("EdExperiment")->text().size(), description.size());
  EXPECT_EQ(child<QLineEdit>("EdCH1")->text().size(), unit.size());
}

TEST_F(WindowsTest, RunLeftUnsavedIsOfferedBackUntilSavedOrRefused) {
  const auto journals = [] {
    return QDir(RecordJournal::directory()).entryList({QStringLiteral("*.journal")}).size();
  };
  for (Answer answer : {Answer::Yes, Answer::No}) {
    prompts.questions.clear();
    main->StartClick();
    storeRows(3);
    main->BnAddRemarkClick();
    const QString started = child<QLabel>("Lbdatetime")->text();
    std::vector<QString> cells;
    for (int column = 0; column < DataTable::kColumns; ++column)
      cells.push_back(table->cell(column, 3));
    destroy();  // no save, no close: the journal stays behind as after a crash
    build();
    prompts.answers = {answer};
    main->recoverUnsavedRecordings();
    EXPECT_EQ(prompts.questions,
              QStringList({"UNSAVED RECORDING FOUND - " + started + ", 3 rows. Restore it?"}));
    if (answer == Answer::Yes) {
      EXPECT_EQ(store->rowCount, 3);
      for (int column = 0; column < DataTable::kColumns; ++column) {
        EXPECT_EQ(table->cell(column, 3), cells[static_cast<size_t>(column)]) << column;
      }
      EXPECT_EQ(child<QLabel>("Lbdatetime")->text(), started);
      EXPECT_EQ(child<QLabel>("LbFile")->text(), QStringLiteral("(Data not saved)"));
      EXPECT_FALSE(store->dataSaved);
      EXPECT_TRUE(action("Saveas1")->isEnabled());
      EXPECT_FALSE(action("Save1")->isEnabled());
      EXPECT_TRUE(shown("BnPlot"));
      EXPECT_EQ(journals(), 1) << "kept until the record is saved";
      prompts.saveNames = {path("restored.vln")};
      main->Saveas1Click();
      EXPECT_TRUE(store->dataSaved);
    }
    EXPECT_EQ(journals(), 0);
    store->dataSaved = true;
  }
  destroy();
  build();
  prompts.questions.clear();
  main->recoverUnsavedRecordings();
  EXPECT_TRUE(prompts.questions.isEmpty());
}

TEST_F(WindowsTest, JournalThatCannotBeWrittenIsReportedOnceAndTheRunGoesOn) {
  QFile blocker(path("not-a-folder"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  qputenv("XDG_DATA_HOME", QFile::encodeName(path("not-a-folder")));
  main->StartClick();
  storeRows(2);
  QCoreApplication::processEvents();
  ASSERT_EQ(prompts.errors.size(), 1);
  EXPECT_EQ(prompts.errors[0].toStdString(),
            "Recovery file could not be written: Ungültiger Dateiname. The recording goes on; its "
            "rows stay in memory until the file can be written again.");
  EXPECT_TRUE(main->statusText().contains("recovery file not written since "));
  EXPECT_TRUE(main->statusText().endsWith("): 2 rows only in memory"));
  EXPECT_EQ(store->rowCount, 2);
  EXPECT_TRUE(main->recorder().timers().rowEnabled());
}

TEST_F(WindowsTest, RecentFilesNewestFirstFiveAtMostAndGoneWhenMissing) {
  main->StartClick();
  storeRows(2);
  main->StopClick();
  for (const char* name : {"a.vln", "b.vln", "c.vln", "d.vln", "e.vln", "f.vln", "b.vln"}) {
    prompts.answers = {Answer::Yes};  // b.vln the second time: "Overwite existing file?"
    main->saveProcedure(path(name), path(name));
  }
  prompts.questions.clear();
  EXPECT_EQ(main->recentFiles(), QStringList({path("b.vln"), path("f.vln"), path("e.vln"),
                                              path("d.vln"), path("c.vln")}));
  auto* menu = main->findChild<QMenu*>(QStringLiteral("RecentFiles1"));
  ASSERT_EQ(menu->actions().size(), 5);
  EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("b.vln"));
  EXPECT_EQ(menu->actions()[0]->toolTip(), path("b.vln"));

  store->dataSaved = false;
  prompts.answers = {Answer::Cancel};
  main->openRecentFile(path("e.vln"));
  EXPECT_EQ(prompts.questions.back(), QStringLiteral("UNSAVED DATA - Open file anyway?"));
  EXPECT_EQ(child<QLabel>("LbFile")->text(), QStringLiteral("b.vln")) << "nothing opened";
  prompts.answers = {Answer::Yes};
  main->openRecentFile(path("e.vln"));
  EXPECT_EQ(child<QLabel>("LbFile")->text(), QStringLiteral("e.vln"));
  EXPECT_EQ(main->recentFiles().front(), path("e.vln"));

  QFile::remove(path("d.vln"));
  prompts.answers = {Answer::Yes};
  main->openRecentFile(path("d.vln"));
  EXPECT_EQ(prompts.errors, QStringList({"Datei nicht gefunden."}));
  EXPECT_FALSE(main->recentFiles().contains(path("d.vln")));
  EXPECT_FALSE(QFile::exists(path("Velan.ini"))) << "never in Velan.ini";
  store->dataSaved = true;
  main->StartClick();
  EXPECT_FALSE(menu->isEnabled()) << "not during a recording";
}

TEST_F(WindowsTest, FileOnTheCommandLineOpensAsFileOpenWould) {
  main->openFileAtStartUp(QFile::encodeName(path("missing.vln")));
  EXPECT_EQ(prompts.errors, QStringList({"Datei nicht gefunden."}));
  EXPECT_EQ(store->rowCount, 0);
  EXPECT_EQ(child<QLabel>("LbFile")->text(), QStringLiteral("(no File)"));
  QFile file(path("run.vln"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "<Velan data file>cli\r\nT<>\r\nmV<Channel 1>\r\n<Channel 2 not used>\r\n"
      "<Channel 3 not used>\r\n<Channel 4 not used>\r\n1<>\r\n1.0;1500.00;\r\n");
  file.close();
  QDir::setCurrent(folder.path());
  EXPECT_FALSE(action("Saveas1")->isEnabled());
  main->openFileAtStartUp("run.vln");  // relative to the current folder
  EXPECT_EQ(store->rowCount, 1);
  EXPECT_TRUE(action("Saveas1")->isEnabled());
  EXPECT_EQ(monitor->monitor().view().displayMode, kPlot) << "plotted at once";
  EXPECT_EQ(child<QLabel>("LbFile")->text(), QStringLiteral("run.vln"));
  EXPECT_EQ(main->recentFiles(), QStringList({path("run.vln")}));
  // A name whose bytes are no UTF-8 opens too; no text names it, so it is not saved to.
  ASSERT_TRUE(QFile::copy(path("run.vln"), path("copy.vln")));
  const QByteArray latin1Name = QFile::encodeName(folder.path()) + "/r\xe9sum\xe9.vln";
  ASSERT_EQ(::rename(QFile::encodeName(path("copy.vln")).constData(), latin1Name.constData()), 0);
  store->rowCount = 0;
  main->openFileAtStartUp(latin1Name);
  EXPECT_EQ(store->rowCount, 1);
  EXPECT_EQ(prompts.errors.size(), 1) << "nothing more than the missing file's";
  EXPECT_FALSE(action("Save1")->isEnabled());
  EXPECT_EQ(main->recentFiles().size(), 1);
}

TEST_F(WindowsTest, FailedOpenChangesNothing) {
  QFile bad(path("bad.vln"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("<Velan data file>new\r\nT<>\r\n<>\r\n<>\r\n<>\r\n<>\r\n2<>\r\n1.0;1;1;1;1;\r\nx;\r\n");
  bad.close();
  main->StartClick();
  storeRows(2);
  main->StopClick();
  store->dataSaved = true;
  const QString before = table->cell(0, 1);
  prompts.openNames = {path("bad.vln")};
  main->Open1Click();
  EXPECT_EQ(prompts.errors, QStringList({"'x' ist kein gültiger Gleitkommawert."}));
  EXPECT_EQ(store->rowCount, 2);
  EXPECT_EQ(table->cell(0, 1), before);
  EXPECT_EQ(child<QLineEdit>("EdExperiment")->text(), QStringLiteral("(Describe experiment here)"));
  EXPECT_EQ(child<QLabel>("LbFile")->text(), QStringLiteral("(Data not saved)"));
}

TEST_F(WindowsTest, OpenAsksAboutUnsavedDataAndIsRefusedDuringARun) {
  main->StartClick();
  EXPECT_FALSE(action("Open1")->isEnabled());
  prompts.openNames = {path("x.vln")};
  main->Open1Click();
  EXPECT_TRUE(prompts.dialogs.empty());
  main->StopClick();
  EXPECT_TRUE(action("Open1")->isEnabled());
  prompts.answers = {Answer::Cancel};
  main->Open1Click();
  EXPECT_EQ(prompts.questions, QStringList({"UNSAVED DATA - Open file anyway?"}));
  EXPECT_TRUE(prompts.dialogs.empty());
}

TEST_F(WindowsTest, CommaPointOptionCaptions) {
  QAction* option = action("Help1");
  EXPECT_EQ(option->text().remove('&'), QStringLiteral("Save numbers with comma/point: = c"));
  main->Help1Click();
  EXPECT_EQ(option->text().remove('&'), QStringLiteral("Save with comma/point: = p"));
  EXPECT_FALSE(main->decimalComma());
  main->Help1Click();
  EXPECT_EQ(option->text().remove('&'), QStringLiteral("Save with comma/point: = c"));
}

TEST_F(WindowsTest, SettingsAreSavedAndReadAtTheNextStart) {
  child<QLineEdit>("EdComNr")->setText(QStringLiteral("5"));
  child<QCheckBox>("CBCh4")->setChecked(true);
  child<QLineEdit>("EdCH4")->setText(QStringLiteral("pH"));
  monitor->pressUpDown(10, true);  // 2.5 s
  main->saveSettingsClick();
  ASSERT_TRUE(QFile::exists(path("Velan.ini")));
  const PublishSettings publishing{
      "mqtts://broker.lab", "lab/oven", "lab", {}, "ca.pem", true, true};
  keepPublishSettings(publishing);  // per user, beside the recent files
  destroy();
  build();
  const PublishSettings kept = keptPublishSettings();
  EXPECT_EQ(std::tie(kept.broker, kept.topic, kept.userName, kept.caFile, kept.enabled,
                     kept.homeAssistant),
            std::tie(publishing.broker, publishing.topic, publishing.userName, publishing.caFile,
                     publishing.enabled, publishing.homeAssistant));
  EXPECT_EQ(child<QLineEdit>("EdComNr")->text(), QStringLiteral("5"));
  EXPECT_TRUE(child<QCheckBox>("CBCh4")->isChecked());
  EXPECT_EQ(child<QLineEdit>("EdCH4")->text(), QStringLiteral("pH"));
  EXPECT_EQ(store->readingInterval, 2500);
  EXPECT_EQ(main->recorder().timers().rowPeriod(), 2500);
  EXPECT_EQ(child<QLabel>("LbInterval")->text(), QStringLiteral("2.5"));
  EXPECT_TRUE(store->dataSaved);
  // A set-up that cannot be written says so (a folder where the file would go).
  ASSERT_TRUE(QFile::remove(path("Velan.ini")) && QDir(folder.path()).mkdir("Velan.ini"));
  main->saveSettingsClick();
  EXPECT_EQ(prompts.errors.size(), 1);
}

TEST_F(WindowsTest, BrokenSettingsFileIsShownAndLeavesDataUnsaved) {
  QFile ini(path("Velan.ini"));
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("COM3<COM Port #>\r\n");
  ini.close();
  destroy();
  build();
  EXPECT_EQ(prompts.errors, QStringList({"'COM3' ist kein gültiger Integerwert."}));
  EXPECT_FALSE(store->dataSaved);
  prompts.answers = {Answer::Cancel};
  EXPECT_FALSE(main->close());
}

TEST_F(WindowsTest, ExportAsCsvWheneverTheRecordHasRowsWithoutSavingIt) {
  QMenu* file = main->menuBar()->actions().front()->menu();
  QMetaObject::invokeMethod(file, "aboutToShow");
  EXPECT_FALSE(action("ExportCsv1")->isEnabled()) << "no rows yet";
  main->StartClick();
  storeRows(3);
  QMetaObject::invokeMethod(file, "aboutToShow");
  EXPECT_TRUE(action("ExportCsv1")->isEnabled()) << "during a run too";
  main->StopClick();
  prompts.saveNames = {path("run")};
  main->exportCsvClick();
  EXPECT_TRUE(QFile::exists(path("run.csv"))) << "the extension added";
  EXPECT_FALSE(store->dataSaved) << "an export is no save";
}

}  // namespace
