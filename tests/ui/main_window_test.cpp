#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QShortcut>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "contrast.h"
#include "elided_label.h"
#include "publish_settings.h"
#include "qt_user_prompts.h"
#include "ui_fixture.h"
#include "user_settings.h"

namespace {

using Answer = UserPrompts::Answer;

TEST_F(WindowsTest, StartUpShowsTheIdleState) {
  EXPECT_EQ(main->windowTitle(), QStringLiteral("Velan 2026"));
  EXPECT_EQ(table->tableRowCount(), 25);
  const char* headings[] = {"Time (s)", "Ch. 1", "Ch. 2", "Ch. 3", "Ch. 4", "Notes"};
  for (int c = 0; c < 6; ++c) EXPECT_EQ(table->cell(c, 0), QString::fromLatin1(headings[c]));
  EXPECT_FALSE(shown("Stop"));
  EXPECT_FALSE(shown("BnPlot"));
  EXPECT_FALSE(shown("GBInfo"));
  EXPECT_TRUE(shown("Start"));
  EXPECT_FALSE(action("Save1")->isEnabled());
  EXPECT_FALSE(action("Saveas1")->isEnabled());
  EXPECT_EQ(child<QLineEdit>("EdComNr")->text(), QStringLiteral("3"));
  EXPECT_TRUE(child<QCheckBox>("CBCh1")->isChecked());
  EXPECT_FALSE(child<QCheckBox>("CbCh2")->isChecked());
  EXPECT_FALSE(child<QPushButton>("BnAddRemark")->isEnabled());
  EXPECT_FALSE(child<QLabel>("Lbdatetime")->text().isEmpty());
  EXPECT_TRUE(store->dataSaved);
  EXPECT_EQ(store->readingInterval, 1000);
  EXPECT_EQ(child<QLabel>("LbInterval")->text(), QStringLiteral("1.0"));
  EXPECT_TRUE(notes->isHidden());
  EXPECT_TRUE(help->isHidden());
  auto* view = child<QTableView>("SGData");
  EXPECT_EQ(view->columnWidth(5), 178);
  EXPECT_EQ(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(WindowsTest, KeyboardWalksTheControlsInOrderAndLeavesTheTable) {
  main->StartClick();
  storeRows(2);
  main->StopClick();  // Start, the port and channel group, notes, the table and "Plot data"
  main->activateWindow();
  QApplication::setActiveWindow(main);
  child<QPushButton>("Start")->setFocus();
  QStringList forward;
  for (int i = 0; i < 14; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    forward << QApplication::focusWidget()->objectName();
  }
  EXPECT_EQ(forward,
            QStringList({"EdComNr", "CBCh1", "EdCH1", "CbCh2", "EdCH2", "CBCh3", "EdCH3", "CBCh4",
                         "EdCH4", "edRem", "EdExperiment", "SGData", "BnPlot", "Start"}));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("SGData"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("EdExperiment"));
  // A field that still holds its prompt is selected whole, so typing replaces it.
  QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("x"));
  QCoreApplication::processEvents();
  EXPECT_EQ(child<QLineEdit>("EdExperiment")->text(), QStringLiteral("x"));
  auto* note = child<QLineEdit>("edRem");
  QTest::mouseClick(note, Qt::LeftButton, {}, QPoint(5, 5));
  QCoreApplication::processEvents();
  EXPECT_EQ(note->selectedText(), QStringLiteral("(Click [^] to add note)"));
}

TEST_F(WindowsTest, FocusStartsOnStartRecording) {
  EXPECT_EQ(main->focusWidget(), child<QPushButton>("Start"));
}

TEST_F(WindowsTest, DraggedRowsMoveTheirTextsNeverTheStore) {
  main->StartClick();
  QSignalSpy inserted(table, &QAbstractItemModel::rowsInserted);
  storeRows(4);
  EXPECT_EQ(inserted.last().at(1).toInt(), table->rowCount() - 1) << "a new row is the last";
  main->StopClick();
  table->setCell(5, 2, QStringLiteral("second"));
  const double secondTime = store->time[2];
  const auto drag = [this](int from, int onto) {
    std::unique_ptr<QMimeData> data(table->mimeData({table->index(from - 1, 0)}));
    return table->dropMimeData(data.get(), Qt::CopyAction, -1, -1, table->index(onto - 1, 0));
  };
  EXPECT_TRUE(table->flags(table->index(1, 0)) & Qt::ItemIsDragEnabled);
  EXPECT_FALSE(table->flags(table->index(1, 1)) & Qt::ItemIsDragEnabled) << "by the time cell";
  EXPECT_FALSE(table->flags(table->index(10, 0)) & Qt::ItemIsDragEnabled) << "beyond the record";
  EXPECT_TRUE(drag(2, 4));
  EXPECT_EQ(table->cell(5, 4), QStringLiteral("second"));
  EXPECT_EQ(table->cell(0, 4), QStringLiteral("  2.0"));
  EXPECT_EQ(table->cell(0, 2), QStringLiteral("  3.0"));
  EXPECT_EQ(store->time[2], secondTime);
  drag(4, 1);
  EXPECT_EQ(table->cell(0, 1), QStringLiteral("  2.0"));
  EXPECT_EQ(table->cell(0, 2), QStringLiteral("  1.0"));
  drag(1, 20);  // dropped beyond the record: lands on its last row
  EXPECT_EQ(table->cell(0, 4), QStringLiteral("  2.0"));
  EXPECT_EQ(table->cell(0, 5), DataTable::blank());
  std::unique_ptr<QMimeData> between(table->mimeData({table->index(3, 0)}));  // table row 4
  EXPECT_TRUE(table->dropMimeData(between.get(), Qt::CopyAction, 1, 0, {}));  // above model row 1
  EXPECT_EQ(table->cell(0, 2), QStringLiteral("  2.0")) << "onto the row below the gap";
  for (int row = 0; row <= 5; ++row) {  // the notes the monitor marks moved with their texts
    EXPECT_EQ(table->rowHasNote(row), cellHasText(table->cell(5, row))) << row;
  }
}

TEST_F(WindowsTest, SimulatedRunFromStartToStop) {
  EXPECT_EQ(child<QLineEdit>("EdComNr")->toolTip(), QStringLiteral("COM 3 is /dev/ttyS2"));
  UserSettings::assignSerialDevice(3, QStringLiteral("/dev/ttyUSB0"));
  child<QLineEdit>("EdComNr")->setText(QStringLiteral("4"));
  EXPECT_EQ(child<QLineEdit>("EdComNr")->toolTip(), QStringLiteral("COM 4 is /dev/ttyS3"));
  child<QLineEdit>("EdComNr")->setText(QStringLiteral("3"));
  EXPECT_EQ(child<QLineEdit>("EdComNr")->accessibleDescription(),
            QStringLiteral("COM 3 is /dev/ttyUSB0"));
  driver.failure = QStringLiteral("No such device: /dev/ttyUSB0");
  main->StartClick();
  EXPECT_EQ(main->statusText(), QStringLiteral("No ADC16: Simulation"));
  EXPECT_EQ(child<QLabel>("LbStatus")->toolTip(), "No ADC16: Simulation\n" + driver.failure)
      << "why, for the user";
  EXPECT_EQ(driver.calls, QStringList({"open 3"}));
  EXPECT_TRUE(shown("Stop"));
  EXPECT_FALSE(shown("Start"));
  EXPECT_FALSE(child<QLineEdit>("EdComNr")->isEnabled());
  for (const char* box : {"CBCh1", "CbCh2", "CBCh3", "CBCh4"}) EXPECT_TRUE(shown(box));
  EXPECT_EQ(child<QLabel>("LbFile")->text(), QStringLiteral("(Data not saved)"));
  EXPECT_TRUE(child<QPushButton>("BnAddRemark")->isEnabled());
  EXPECT_TRUE(shown("BnPlot"));
  EXPECT_EQ(table->cell(5, 1), child<QLabel>("Lbdatetime")->text() +
                                   "  (simulated readings: no converter answered on COM 3)")
      << "a saved record says that its numbers are simulated";
  EXPECT_TRUE(main->recorder().timers().rowEnabled());
  EXPECT_TRUE(main->recorder().timers().pollEnabled());
  EXPECT_FALSE(notes->isHidden());
  EXPECT_EQ(monitor->monitor().view().displayMode, kRecording);

  storeRows(2, 5);
  EXPECT_EQ(table->cell(0, 1), QStringLiteral("  1.0"));
  EXPECT_EQ(table->cell(0, 2), QStringLiteral("  2.0"));
  EXPECT_NE(table->cell(1, 2), DataTable::blank());
  EXPECT_EQ(child<QLabel>("LbRuntime")->text(), QStringLiteral("0 : 2.0"));

  main->StopClick();
  EXPECT_FALSE(store->dataSaved);
  EXPECT_EQ(main->statusText(), QStringLiteral("No ADC16: Simulation"));
  EXPECT_TRUE(shown("Start"));
  EXPECT_FALSE(shown("Stop"));
  EXPECT_TRUE(action("Saveas1")->isEnabled());
  EXPECT_FALSE(action("Save1")->isEnabled());
  EXPECT_TRUE(shown("BnPlot"));
  EXPECT_FALSE(main->recorder().timers().rowEnabled());
  EXPECT_EQ(monitor->monitor().view().displayMode, kIdle);
}

TEST_F(WindowsTest, ConverterRunHidesUnselectedChannelsAndClosesOnce) {
  driver.opens = true;
  child<QCheckBox>("CBCh1")->setChecked(false);
  child<QCheckBox>("CBCh3")->setChecked(true);
  main->StartClick();
  EXPECT_EQ(main->statusText(), QStringLiteral("Recording"));
  for (const char* hidden : {"CBCh1", "EdCH1", "CbCh2", "EdCH2", "CBCh4", "EdCH4"}) {
    EXPECT_FALSE(shown(hidden)) << hidden;
  }
  EXPECT_TRUE(shown("CBCh3"));
  EXPECT_FALSE(monitor->findChild<QWidget*>(QStringLiteral("GBCh2"))->isVisibleTo(monitor));
  EXPECT_TRUE(monitor->findChild<QWidget*>(QStringLiteral("GBCh3"))->isVisibleTo(monitor));
  main->StopClick();
  EXPECT_EQ(main->statusText(), QStringLiteral("Stopped"));
  EXPECT_TRUE(shown("CbCh2"));
  EXPECT_FALSE(shown("BnPlot")) << "Stop before the first row hides Plot data";
  EXPECT_FALSE(store->dataSaved);
  EXPECT_EQ(driver.calls, QStringList({"open 3", "set_channel 3 3 12 0 10", "close 3"}));
}

TEST_F(WindowsTest, UnsavedDataQuestionOnStart) {
  main->StartClick();
  storeRows(3);
  main->StopClick();
  prompts.answers = {Answer::Cancel};
  main->StartClick();
  EXPECT_EQ(prompts.questions, QStringList({"UNSAVED DATA - Start new record anyway?"}));
  EXPECT_TRUE(shown("Start"));
  EXPECT_EQ(store->rowCount, 3) << "Abbrechen leaves the old record";
  EXPECT_NE(table->cell(0, 3), DataTable::blank());
  prompts.answers = {Answer::Yes};
  main->StartClick();
  EXPECT_EQ(store->rowCount, 0);
  EXPECT_EQ(table->cell(0, 3), DataTable::blank());
  EXPECT_TRUE(notes->memo()->toPlainText().isEmpty()) << "Start clears the notes";
}

TEST_F(WindowsTest, PortTextThatIsNoNumberStopsStart) {
  child<QLineEdit>("EdComNr")->setText(QStringLiteral("COM3"));
  main->StartClick();
  EXPECT_EQ(prompts.errors, QStringList({"'COM3' ist kein gültiger Integerwert."}));
  EXPECT_TRUE(shown("Start"));
  EXPECT_TRUE(driver.calls.isEmpty());
  EXPECT_FALSE(main->recorder().timers().rowEnabled());
}

TEST_F(WindowsTest, NotesGoToTheNewestRowAndTheNotesWindow) {
  auto* note = child<QLineEdit>("edRem");
  note->setText(QStringLiteral("before"));
  main->BnAddRemarkClick();
  EXPECT_EQ(table->cell(5, 0), QStringLiteral("0.00-> before")) << "row 0: replaces the heading";
  main->StartClick();
  storeRows(1);
  note->setText(QStringLiteral("one"));
  child<QPushButton>("BnAddRemark")->click();
  note->setText(QStringLiteral("two"));
  emit note->returnPressed();
  EXPECT_TRUE(table->cell(5, 1).startsWith(main->startTime()));
  EXPECT_TRUE(table->cell(5, 1).endsWith(QLatin1String("  0.02-> one  0.02-> two")))
      << "after the start note, in order";
  EXPECT_EQ(notes->memo()->toPlainText(), QStringLiteral("0.02-> one\n0.02-> two"));
  EXPECT_EQ(child<QLineEdit>("EdRemark")->text(), QStringLiteral("two"));
}

TEST_F(WindowsTest, ClosingAsksOnlyWhenSomethingWouldBeLost) {
  QSignalSpy closed(main, &TForm1::closed);
  EXPECT_TRUE(main->close());
  EXPECT_TRUE(prompts.questions.isEmpty());
  EXPECT_EQ(closed.count(), 1);
}

TEST_F(WindowsTest, ClosingAfterStopAsksAndCancelKeepsTheRecord) {
  main->StartClick();
  storeRows(2);
  main->StopClick();
  prompts.answers = {Answer::Cancel};
  EXPECT_FALSE(main->close());
  EXPECT_EQ(prompts.questions, QStringList({"UNSAVED DATA - Exit anyway?"}));
  EXPECT_EQ(store->rowCount, 2);
}

TEST_F(WindowsTest, ClosingDuringAConverterRunAsksAndClosesTheConverterOnce) {
  driver.opens = true;
  main->StartClick();
  prompts.answers = {Answer::Yes};
  EXPECT_TRUE(main->close());
  EXPECT_EQ(prompts.questions, QStringList({"UNSAVED DATA - Exit anyway?"}))
      << "a running record is never saved, so closing always asks";
  EXPECT_EQ(driver.calls.filter(QStringLiteral("close")).size(), 1);
  EXPECT_EQ(main->statusText(), QStringLiteral("Stopped"));
}

TEST_F(WindowsTest, NotesAndHelpWindowsCloseAsSpecified) {
  main->StartClick();
  notes->close();
  EXPECT_TRUE(notes->isMinimized());
  EXPECT_FALSE(notes->isHidden());
  monitor->close();
  EXPECT_TRUE(monitor->isMinimized());
  main->StopClick();
  store->dataSaved = true;
  main->StartClick();
  EXPECT_FALSE(notes->isMinimized()) << "Start restores the notes window";
  main->Manual1Click();
  EXPECT_FALSE(help->isHidden());
  EXPECT_TRUE(help->text()->toPlainText().contains(QStringLiteral("[Open vln files]")));
  help->close();
  EXPECT_TRUE(help->isHidden());
}

TEST_F(WindowsTest, HelpTextHasEverySection) {
  const QString text = TForm4::helpText();
  for (const char* section : {"[Installation]", "[Connection of the converter]", "[Program start]",
                              "[Recording an experiment]", "[Plotting data]", "[Data format]",
                              "[Open vln files]", "[Publishing]", "[Keys]"}) {
    EXPECT_TRUE(text.contains(QString::fromLatin1(section))) << section;
  }
  for (const char* named :
       {"libadc1632.so", "\"Export as CSV...\"", "\"Save picture with legend...\""}) {
    EXPECT_TRUE(text.contains(QString::fromLatin1(named))) << named;
  }  // The keys it says work in every window are the ones bound for every window.
  const QString everyWindow = text.section(QStringLiteral("These work in every Velan window:\n"), 1)
                                  .section(QStringLiteral("\nIn the main window"), 0, 0);
  QStringList told;
  for (const QString& line : everyWindow.split('\n')) told << line.trimmed().section("  ", 0, 0);
  QStringList bound;
  for (const QShortcut* shortcut : main->findChildren<QShortcut*>()) {
    if (shortcut->context() == Qt::ApplicationShortcut) bound << shortcut->key().toString();
  }
  told.sort();
  bound.sort();
  EXPECT_EQ(told, bound);
}

TEST_F(WindowsTest, AboutPanelShowsAndHidesOnClick) {
  main->AboutVelan1Click();
  auto* panel = child<QWidget>("GBInfo");
  EXPECT_FALSE(panel->isHidden());
  QTest::mouseClick(panel, Qt::RightButton);
  EXPECT_TRUE(panel->isHidden());
}

TEST_F(WindowsTest, StatusLineReadsAtAContrastOfFourAndAHalf) {
  EXPECT_NEAR(contrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
  EXPECT_NEAR(contrastRatio(QColor(0x76, 0x76, 0x76), Qt::white), 4.54, 0.01);
  auto* status = child<QLabel>("LbStatus");
  const QColor text(status->styleSheet().section(QLatin1Char(' '), 1));
  EXPECT_EQ(text.red(), text.blue()) << "still grey";
  EXPECT_GE(contrastRatio(text, main->palette().color(QPalette::Window)), 4.5);
  EXPECT_EQ(status->font().pixelSize(), 11);
  // A text longer than the line ends in "…", never cut mid-word, and is its text in full.
  ASSERT_TRUE(dynamic_cast<ElidedLabel*>(status));
  ElidedLabel line(QStringLiteral("Recording; ") + QStringLiteral("rows waiting ").repeated(40));
  line.resize(300, 20);
  EXPECT_TRUE(line.shownText().endsWith(QChar(0x2026))) << line.shownText().toStdString();
  EXPECT_LE(line.fontMetrics().horizontalAdvance(line.shownText()), 300);
  EXPECT_LE(line.minimumSizeHint().width(), 300) << "the window never grows for it";
}

// The menus and captions as the user reads them ("" is a separator).
TEST_F(WindowsTest, MenusAndCaptionsReadAsTheProgramHasThem) {
  QStringList menus;
  for (QAction* menu : main->menuBar()->actions()) {
    QStringList items;
    for (QAction* item : menu->menu()->actions()) items << item->text();
    menus << menu->text() + ": " + items.join(QLatin1String(" | "));
  }
  EXPECT_EQ(menus, QStringList({"&File: &Open | &Save | Save &as | &Export as CSV... | &Recent "
                                "files |  | E&xit Program",
                                "&Options: Save currents settings as &Velan.ini | Save numbers "
                                "with &comma/point: = c | Serial &ports... | Channel &scaling... | "
                                "&Recordings folder... | &Limits... | P&ublishing...",
                                "&View: &Statistics", "&Help: &Help | &About Velan"}));
  for (const char* name :
       {"Open1", "Save1", "Saveas1", "ExportCsv1", "RecentFiles1", "Quit1", "SaveSettings1",
        "Help1", "SerialPorts1", "ChannelScaling1", "RecordingsFolder1", "Limits1", "Publishing1",
        "Statistics1", "Manual1", "AboutVelan1"}) {
    EXPECT_TRUE(main->findChild<QObject*>(QString::fromLatin1(name))) << name;
  }
  QStringList captions;
  for (QLabel* label : main->findChildren<QLabel*>()) captions << label->text();
  for (const char* caption : {"File:", "Experiment:", "COM Port #"}) {
    EXPECT_TRUE(captions.contains(QString::fromLatin1(caption))) << caption;
  }
  // The top line is laid out side by side, not piled up in a corner.
  const auto place = [this](const char* name) {
    QWidget* widget = child<QWidget>(name);
    return QRect(widget->mapTo(main, QPoint(0, 0)), widget->size());
  };
  EXPECT_FALSE(place("Lbdatetime").intersects(place("LbFile")));
  EXPECT_FALSE(place("LbFile").intersects(place("EdExperiment")));
}

// Return and Escape never discard: the real question boxes, answered from the keyboard.
TEST_F(WindowsTest, QuestionsAnswerReturnAndEscapeWithWhatLosesNothing) {
  using Buttons = UserPrompts::Buttons;
  using Answer = UserPrompts::Answer;
  QtUserPrompts real(main);
  for (const auto& [buttons, keeping] : {std::pair{Buttons::YesCancel, Answer::Cancel},
                                         {Buttons::YesNoCancel, Answer::Cancel},
                                         {Buttons::YesNo, Answer::Yes}}) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
      QTimer::singleShot(0, [key] { QTest::keyClick(QApplication::activeModalWidget(), key); });
      EXPECT_EQ(real.confirm(QStringLiteral("?"), buttons), keeping) << static_cast<int>(key);
    }
  }
}

TEST_F(WindowsTest, StartKeepsTheKeyboardOnTheMainWindowAndTheStripStaysPut) {
  QWidget* minus = monitor->findChild<QWidget*>("BnTimeMinus");
  const QPoint before = minus->mapTo(monitor, QPoint(0, 0));
  main->activateWindow();
  main->StartClick();
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::activeWindow(), main);
  EXPECT_EQ(main->focusWidget(), child<QWidget>("edRem")) << "a note can be typed at once";
  EXPECT_EQ(minus->mapTo(monitor, QPoint(0, 0)), before) << "Plot hid without moving the strip";
  main->StopClick();
  EXPECT_EQ(main->focusWidget(), child<QWidget>("Start"));
}

TEST_F(WindowsTest, KeysWorkFromEveryWindow) {
  QApplication::setActiveWindow(monitor);
  QTest::keyClick(monitor, Qt::Key_F5);
  EXPECT_TRUE(main->recorder().timers().rowEnabled()) << "F5 starts, from the monitor too";
  storeRows(2);
  QApplication::setActiveWindow(notes);
  QTest::keyClick(notes, Qt::Key_F5, Qt::ShiftModifier);
  EXPECT_FALSE(main->recorder().timers().rowEnabled()) << "Shift+F5 stops";
  QApplication::setActiveWindow(main);
  QTest::keyClick(main, Qt::Key_P, Qt::ControlModifier);
  EXPECT_EQ(monitor->monitor().view().displayMode, kPlot) << "Ctrl+P plots";
  QTest::keyClick(main, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(prompts.dialogs.size(), 1u) << "Ctrl+Shift+S saves as, with no standard key too";
  for (const auto& [key, window] :
       {std::pair<Qt::Key, QWidget*>{Qt::Key_1, main}, {Qt::Key_2, monitor}, {Qt::Key_3, notes}}) {
    window->showMinimized();
    QTest::keyClick(notes, key, Qt::ControlModifier);
    EXPECT_FALSE(window->isMinimized()) << "Ctrl+" << key - Qt::Key_0 << " brings it back";
  }
  QApplication::setActiveWindow(monitor);
  QTest::keyClick(monitor, Qt::Key_F1);
  EXPECT_FALSE(help->isHidden()) << "F1 shows the help from the monitor too";
  EXPECT_EQ(child<QPushButton>("Start")->toolTip(), QStringLiteral("Start recording (F5)"));
}

TEST_F(WindowsTest, StopSendsTheRowsWaitingBesideTheWindowAndANewRunTakesThemOver) {
  PublishSettings settings;
  settings.enabled = true;
  settings.broker = QStringLiteral("mqtt://127.0.0.1:1");  // nobody listens: refused at once
  keepPublishSettings(settings);
  main->StartClick();
  // What the publisher hears shows at once, not with the next row (500 s away, perhaps).
  EXPECT_TRUE(
      QTest::qWaitFor([this] { return main->statusText().contains("broker away since"); }, 5000));
  storeRows(3);
  main->StopClick();
  EXPECT_EQ(main->statusText(),
            "No ADC16: Simulation; sending 3 rows to the broker... (Start gives up: they wait on "
            "disk and go with the next run)")
      << main->statusText().toStdString();
  prompts.answers = {Answer::Yes};  // the unsaved record
  main->StartClick();
  storeRows(1);  // the status is written before the new row reaches the publisher
  EXPECT_TRUE(main->statusText().endsWith(", 3 rows waiting")) << main->statusText().toStdString();
}

}  // namespace
