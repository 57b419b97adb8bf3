#include <QAccessible>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include "contrast.h"
#include "statistics_window.h"
#include "ui_fixture.h"

namespace {

TEST_F(WindowsTest, MonitorStartsWithAnEmptyFrameAndRefusesToClose) {
  EXPECT_EQ(monitor->windowTitle(), QStringLiteral("Monitor Velan"));
  EXPECT_GE(monitor->width(), 770);
  const QImage& image = monitor->surface().image();
  EXPECT_EQ(image.pixel(35, 10) & 0xFFFFFF, 0x000000u);
  EXPECT_EQ(image.pixel(300, 300) & 0xFFFFFF, 0xFFFFFFu);
  // Labels are opaque text: some dark pixels in the time label strip.
  bool text = false;
  for (int x = 27; x < 60 && !text; ++x) {
    for (int y = 460; y < 475; ++y) text |= (image.pixel(x, y) & 0xFFFFFF) == 0;
  }
  EXPECT_TRUE(text);
  monitor->close();
  EXPECT_TRUE(monitor->isMinimized());
}

TEST_F(WindowsTest, BottomStripShowsTheWholeNotePromptAndKeepsItsGroupsTogether) {
  auto* note = child<QLineEdit>("EdRemark");
  EXPECT_GT(note->width(), note->fontMetrics().horizontalAdvance(note->text()));
  main->StartClick();
  storeRows(3);
  main->StopClick();
  main->BnPlotClick();
  QCoreApplication::processEvents();
  auto* timeStart = child<QWidget>("GBTimestart");

  EXPECT_EQ(timeStart->width(),
            std::max(timeStart->sizeHint().width(), timeStart->minimumSizeHint().width()))
      << "no stretched group in plot mode";
  EXPECT_LE(child<QWidget>("GBTimerange")->x() - timeStart->geometry().right(), 8);
  // The shown channel groups one below the other, the Fit button under them.
  main->setChannelSelected(3, true);
  monitor->startRun();
  QCoreApplication::processEvents();
  EXPECT_GE(child<QWidget>("GBCh3")->y(), child<QWidget>("GBCH1")->geometry().bottom());
  EXPECT_GE(child<QWidget>("BnFit")->y(), child<QWidget>("GBCh3")->geometry().bottom());
}

TEST_F(WindowsTest, PictureMenuFromTheKeyboardNamesItsItemsAndFitsTheScales) {
  main->StartClick();
  storeRows(3);
  monitor->activateWindow();
  QApplication::setActiveWindow(monitor);
  auto* plot = child<QWidget>("ImScreen");
  plot->setFocus();
  QStringList names;
  const auto listAndClose = [&names] {
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(popup);
    ASSERT_NE(menu, nullptr);
    for (int i = 0; i < menu->childCount(); ++i) names << menu->child(i)->text(QAccessible::Name);
    popup->close();
  };
  // The Menu key reaches a widget as a keyboard context menu event; Shift+F10 as a key.
  QTimer::singleShot(0, listAndClose);
  QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5),
                            plot->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(plot, &menuKey);
  QTimer::singleShot(0, listAndClose);
  QTest::keyClick(plot, Qt::Key_F10, Qt::ShiftModifier);
  const QStringList items = {"Save picture as...", "Save picture with legend...",
                             "Fit scales to the data", "Show whole record", "Statistics"};
  EXPECT_EQ(names, items + items);
  // A span selected for the statistics is drawn over the picture and moves with the time
  // window (its duration the same); it goes with Escape.
  const auto selectionEdges = [plot] {
    const QImage shown = plot->grab().toImage();
    const QRgb edge = plot->palette().color(QPalette::Highlight).rgb();
    QList<int> columns;
    for (int x = 10; x < shown.width() - 10; ++x) {
      if (shown.pixel(x, shown.height() / 2) == edge) columns << x;
    }
    return columns;
  };
  monitor->monitor().selectSpan(300, 400);
  ASSERT_TRUE(monitor->monitor().selection().has_value());
  const QList<int> edges = selectionEdges();
  ASSERT_EQ(edges.size(), 2);
  child<QPushButton>("BnTimeplus")->click();
  const QList<int> moved = selectionEdges();
  ASSERT_EQ(moved.size(), 2);
  EXPECT_LT(moved[0], edges[0]);
  EXPECT_NEAR(moved[1] - moved[0], edges[1] - edges[0], 1);
  child<QPushButton>("BnTimeMinus")->click();
  QTest::keyClick(plot, Qt::Key_Escape);
  EXPECT_FALSE(monitor->monitor().selection().has_value());
  // Ctrl+F from anywhere in the window, or the button in the left strip: the simulated
  // readings (0..127) fill a smaller scale.
  QApplication::setActiveWindow(monitor);
  QTest::keyClick(child<QWidget>("EdRemark"), Qt::Key_F, Qt::ControlModifier);
  const QString fitted = child<QLabel>("Scale1")->text();
  EXPECT_NE(fitted, QStringLiteral("1000"));
  monitor->monitor().captions().setText(MonitorCaptions::scale(1), QStringLiteral("1000"));
  monitor->monitor().defineworlds();
  child<QPushButton>("BnFit")->click();
  EXPECT_EQ(child<QLabel>("Scale1")->text(), fitted);
}

TEST(MonitorPlace, BesideTheMainWindowWhereTheScreenAllows) {
  const QRect main(234, 273, 720, 390);
  const QSize monitor(790, 620);
  EXPECT_EQ(TForm2::placeBeside(main, monitor, {0, 0, 1920, 1080}), QPoint(962, 273));
  EXPECT_EQ(TForm2::placeBeside(main, monitor, {0, 0, 1920, 1200}), QPoint(962, 273));
  EXPECT_EQ(TForm2::placeBeside({1100, 273, 720, 390}, monitor, {0, 0, 1920, 1080}),
            QPoint(302, 273))
      << "left of it";
  EXPECT_EQ(TForm2::placeBeside(main, monitor, {0, 0, 1280, 1400}), QPoint(234, 671)) << "below it";
  EXPECT_EQ(TForm2::placeBeside(main, monitor, {0, 0, 1280, 800}), QPoint(0, 0));
}

TEST_F(WindowsTest, NotesWindowOpensAtItsPlaceOrAsNearAsTheScreenAllows) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(notes->pos(), QPoint(std::min(817, screen.right() + 1 - notes->width()),
                                 std::min(117, screen.bottom() + 1 - notes->height())));
}

TEST_F(WindowsTest, ArrowButtonsStepTheCaptionsAndCarryAccessibleNames) {
  auto* up = child<QToolButton>("UpDown9Up");
  EXPECT_EQ(up->accessibleName(), QStringLiteral("Time range up"));
  QTest::mouseClick(up, Qt::LeftButton);
  EXPECT_EQ(child<QLabel>("LbTimescale")->text(), QStringLiteral("2.50"));
  EXPECT_EQ(child<QLabel>("LbTimescale")->accessibleName(), QStringLiteral("2.50"));
  EXPECT_EQ(child<QLabel>("LbTimescale")->accessibleDescription(), QStringLiteral("Time range"));
  QTest::mouseClick(child<QToolButton>("UpDown1Down"), Qt::LeftButton);
  EXPECT_EQ(child<QLabel>("Scale1")->text(), QStringLiteral("500"));
  QTest::mouseClick(child<QPushButton>("BnTimeplus"), Qt::LeftButton);
  EXPECT_EQ(child<QLabel>("LbTimestart")->text(), QStringLiteral("0.50"));
}

TEST_F(WindowsTest, PlotDataDrawsTheWholeRecordAndFillsTheNotesWindow) {
  main->StartClick();
  storeRows(61, 5);
  child<QLineEdit>("edRem")->setText(QStringLiteral("late"));
  main->BnAddRemarkClick();
  main->StopClick();
  QTest::mouseClick(child<QPushButton>("BnPlot"), Qt::LeftButton);
  EXPECT_EQ(child<QLabel>("LbTimescale")->text(), QStringLiteral("2.50"));
  EXPECT_EQ(monitor->monitor().view().displayMode, kPlot);
  EXPECT_TRUE(monitor->findChild<QWidget*>(QStringLiteral("GBinterval"))->isHidden());
  const QStringList lines = notes->memo()->toPlainText().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].startsWith(child<QLabel>("Lbdatetime")->text() + "  (simulated"));
  EXPECT_EQ(lines[1], QStringLiteral("1.02-> late"));
  // The table followed the newest rows; a new record shows its row 1 at the top again.
  const auto* rows = child<QTableView>("SGData");
  EXPECT_GT(rows->rowAt(0), 0);
  main->recorder().resetRecord();
  EXPECT_EQ(rows->rowAt(0), 0);
}

TEST_F(WindowsTest, MonitorNoteBeforeTheFirstRowIsMarkedAtTheFrameStart) {
  auto* edit = child<QLineEdit>("EdRemark");
  edit->setText(QStringLiteral("calibrated"));
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(table->cell(5, 0), QStringLiteral("0.00-> calibrated"));
  EXPECT_EQ(child<QLineEdit>("edRem")->text(), QStringLiteral("calibrated"));
  EXPECT_EQ(monitor->surface().pixel(35, 443), colors::kMagenta);
}

TEST_F(WindowsTest, CursorReadoutFollowsThePointer) {
  QWidget* canvas = child<QWidget>("ImScreen");
  QTest::mouseMove(canvas, QPoint(335, 230));
  monitor->ImScreenMouseMove(335, 230);
  EXPECT_EQ(child<QLabel>("Lbtmaus")->text(), QStringLiteral("0.50"));
  EXPECT_EQ(child<QLabel>("Lbymaus")->text(), QStringLiteral("0"));
}

// A touchpad's wheel turns smaller than a notch and a drag made of fractional moves (fractional
// scaling) step the view as one notch and one whole move would.
TEST_F(WindowsTest, SubNotchWheelTurnsAndFractionalDragsAddUp) {
  // `times` wheel turns of `amount` eighths of a degree, or a drag of `times` moves of `amount`
  // pixels, sent to the plot of fresh windows; the time window they leave.
  const auto send = [this](bool drag, double amount, int times) {
    QWidget* canvas = child<QWidget>("ImScreen");
    const auto mouse = [canvas](QEvent::Type type, QPointF at) {
      QMouseEvent event(type, at, canvas->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
      QApplication::sendEvent(canvas, &event);
    };
    if (drag) mouse(QEvent::MouseButtonPress, {300, 200});
    for (int i = 1; i <= times; ++i) {
      const QPointF at(300 + (drag ? i * amount : 0.5), 200);
      QWheelEvent wheel(at, canvas->mapToGlobal(at), {}, {0, static_cast<int>(amount)}, {}, {},
                        Qt::NoScrollPhase, false);
      drag ? mouse(QEvent::MouseMove, at) : (void)QApplication::sendEvent(canvas, &wheel);
    }
    const MonitorCaptions& captions = monitor->monitor().captions();
    const QString view = captions.text(MonitorCaptions::TimeStart) + " / " +
                         captions.text(MonitorCaptions::TimeScale);
    destroy();
    build();
    return view;
  };
  const QString untouched = send(false, 0, 0);
  EXPECT_NE(send(false, -120, 1), untouched);
  EXPECT_EQ(send(false, -30, 4), send(false, -120, 1)) << "four quarter notches are one";
  EXPECT_NE(send(true, -150, 1), untouched);
  EXPECT_EQ(send(true, -0.5, 300), send(true, -150, 1)) << "300 half-pixel moves are 150";
}

TEST_F(WindowsTest, SavedPictureIsTheSurfacePixelForPixel) {
  main->StartClick();
  storeRows(5, 5);
  const QString file = path("shot.png");
  ASSERT_TRUE(monitor->savePicture(file));
  QImage saved(file);
  ASSERT_EQ(saved.size(), QSize(640, 480));
  const QImage& live = monitor->surface().image();
  int differences = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x)
      differences += (saved.pixel(x, y) & 0xFFFFFF) != (live.pixel(x, y) & 0xFFFFFF);
  }
  EXPECT_EQ(differences, 0);
}

// What assistive technology announces for each control (a label's value is its text).
TEST_F(WindowsTest, EveryControlIsAnnouncedByItsName) {
  struct Case {
    bool onMonitor;
    const char* object;
    const char* name;  // nullptr: the control's own text
    const char* description;
  } const cases[] = {
      {false, "Lbdatetime", nullptr, "Start time"},
      {false, "LbFile", nullptr, "File"},
      {false, "LbStatus", nullptr, "Status"},
      {false, "EdExperiment", "Experiment", ""},
      {false, "EdComNr", "COM Port #", "COM 3 is /dev/ttyS2"},
      {false, "EdCH1", "Ch. 1 unit", ""},
      {false, "EdCH4", "Ch. 4 unit", ""},
      {false, "SGData", "Data", ""},
      {false, "Start", "Start recording", ""},
      {false, "Stop", "Stop recording", ""},
      {false, "BnPlot", "Plot data", ""},
      {false, "edRem", "Note", ""},
      {false, "BnAddRemark", "Add note", ""},
      {false, "GBInfo", "About Velan", ""},
      {true, "ImScreen", "Monitor plot", ""},
      {true, "BnPlot", "Plot", ""},
      {true, "BnTimeMinus", "Time window earlier", ""},
      {true, "BnTimeplus", "Time window later", ""},
      {true, "EdRemark", "Monitor note", ""},
      {true, "BnRemarkok", "Add monitor note", ""},
      {true, "Scale1", nullptr, "Ch. 1 scale"},
      {true, "mid4", nullptr, "Ch. 4 midpoint"},
      {true, "LbTimestart", nullptr, "Time start"},
      {true, "LbTimescale", nullptr, "Time range"},
      {true, "LbInterval", nullptr, "Reading interval"},
      {true, "LbRuntime", nullptr, "Recording time"},
      {true, "Lbymaus", nullptr, "Cursor value"},
      {true, "Lbtmaus", nullptr, "Cursor time"},
  };
  for (const Case& c : cases) {
    QWidget* window = c.onMonitor ? static_cast<QWidget*>(monitor) : main;
    auto* widget = window->findChild<QWidget*>(QString::fromLatin1(c.object));
    ASSERT_NE(widget, nullptr) << c.object;
    QString text;
    if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
    EXPECT_EQ(widget->accessibleName(), c.name ? QString::fromLatin1(c.name) : text) << c.object;
    EXPECT_EQ(widget->accessibleDescription(), QString::fromLatin1(c.description)) << c.object;
  }
  EXPECT_EQ(monitor->findChild<QWidget*>("ImScreen")->focusPolicy(), Qt::StrongFocus)
      << "the plot is reached with Tab";
}

TEST_F(WindowsTest, PictureWithLegendKeepsThePictureAndNamesWhatItShows) {
  main->StartClick();
  storeRows(20, 5);
  ASSERT_TRUE(monitor->savePicture(path("plain.png")));
  const QImage legend = monitor->pictureWithLegend();
  EXPECT_EQ(legend.copy(0, 0, 640, 480).convertToFormat(QImage::Format_RGB32),
            QImage(path("plain.png")).convertToFormat(QImage::Format_RGB32));
  EXPECT_EQ(legend.height(), 480 + 16 + 18 * 5) << "channel 1, time, experiment, file, start";
  EXPECT_EQ(legend.pixelColor(12, 480 + 8 + 8), QColor(Qt::red)) << "channel 1's colour";
  EXPECT_EQ(monitor->legendLines()[0].text, QStringLiteral("Ch. 1 (mV)   scale 1000, midpoint 0"));
  EXPECT_EQ(monitor->legendLines()[1].text, QStringLiteral("Time: 1 min from 0 min"));
  // Each colour beside its own channel, also where a channel before it is not shown.
  main->setChannelSelected(1, false);
  main->setChannelSelected(2, true);
  main->setChannelSelected(4, true);
  const QImage twoAndFour = monitor->pictureWithLegend();
  EXPECT_TRUE(monitor->legendLines()[0].channel == 2 && monitor->legendLines()[1].channel == 4);
  EXPECT_EQ(twoAndFour.pixelColor(12, 480 + 8 + 8), QColor(Qt::blue));
  EXPECT_EQ(twoAndFour.pixelColor(12, 480 + 8 + 18 + 8), QColor(0x80, 0x00, 0x80));

  // The commands save as the data files are saved: names of their own, a question before
  // replacing a file, the system's reason when the disk refuses.
  prompts.saveNames = {path("plain.png"), path("plain.png"), path("missing/folder/picture.png")};
  prompts.answers = {UserPrompts::Answer::No, UserPrompts::Answer::Yes};
  monitor->savePictureWithLegendClick();  // refused: the plain picture stays
  EXPECT_EQ(QImage(path("plain.png")).height(), 480);
  monitor->savePictureWithLegendClick();                             // allowed: replaced
  EXPECT_EQ(QImage(path("plain.png")).height(), 480 + 16 + 18 * 6);  // two channels
  monitor->savePictureClick();
  EXPECT_EQ(prompts.errors, QStringList({"Ungültiger Dateiname."}));
  ASSERT_EQ(prompts.dialogs.size(), 3u);
  EXPECT_EQ(prompts.dialogs[0].proposedName,
            prompts.dialogs[2].proposedName.chopped(4) + " legend.png");
}

TEST_F(WindowsTest, ChannelTextsReadUnderADarkPalette) {
  const QPalette light = QApplication::palette();
  for (const QColor window : {QColor(0x20, 0x20, 0x20), QColor(0xef, 0xef, 0xef)}) {
    destroy();
    QPalette palette = light;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::Base, window);
    QApplication::setPalette(palette);
    build();
    for (const char* name :
         {"LbmV1", "LbmV2", "LbmV3", "LbmV4", "GBCH1", "GBCh2", "GBCh3", "GBCh4"}) {
      QWidget* text = child<QWidget>(name);
      text->ensurePolished();
      EXPECT_GE(contrastRatio(text->palette().color(QPalette::WindowText), window), 4.5)
          << name << " on " << window.name().toStdString();
    }
  }
  QApplication::setPalette(light);
}

TEST_F(WindowsTest, OnAScaledScreenThePictureIsTheSamePixelsEnlarged) {
  main->StartClick();
  storeRows(20, 5);
  auto* canvas = monitor->findChild<MonitorCanvas*>("ImScreen");
  ASSERT_TRUE(monitor->savePicture(path("plain.png")));
  const QImage plain = QImage(path("plain.png")).convertToFormat(QImage::Format_RGB32);
  constexpr int kFrame = MonitorCanvas::kFrame;
  EXPECT_EQ(canvas->sizeHint(), QSize(640 + 2 * kFrame, 480 + 2 * kFrame));
  QImage shot(canvas->sizeHint() * 2, QImage::Format_RGB32);
  shot.setDevicePixelRatio(2);  // as at QT_SCALE_FACTOR=2
  canvas->render(&shot);
  int differing = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      const QRgb pixel = plain.pixel(x, y);
      for (const auto& [dx, dy] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}}) {
        differing += shot.pixel(2 * (x + kFrame) + dx, 2 * (y + kFrame) + dy) != pixel;
      }
    }
  }
  EXPECT_EQ(differing, 0) << "each picture pixel is a 2 x 2 block of itself";
}

// The statistics and the selection belong to the record on show: a file opened (and plotted)
// replaces both; the whole record is all rows, the window the rows it draws.
TEST_F(WindowsTest, StatisticsAndTheSelectionFollowTheRecordOnShow) {
  const auto write = [this](const char* name, const QByteArray& rows, int count) {
    QFile file(path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "<Velan data file>x\r\nT<Start time of recording>\r\nV<Channel 1>\r\n"
        "<Channel 2 not used>\r\n<Channel 3 not used>\r\n<Channel 4 not used>\r\n" +
        QByteArray::number(count) + "<lines with data: sec;Ch1;Ch2;Ch3;Ch4;Note>\r\n" + rows);
  };
  write("a.vln", "60.0;1.00;\r\n120.0;2.00;\r\n180.0;3.00;\r\n", 3);
  write("b.vln", "10.0;0.0015;\r\n20.0;0.0025;\r\n30.0;1.00;\r\n5.0;2.00;\r\n", 4);
  StatisticsWindow& statistics = program->statistics();
  statistics.show();
  EXPECT_EQ(statistics.findChild<QWidget*>("StatisticsRange")->accessibleName(),
            QStringLiteral("Statistics range"));
  const auto text = [&] { return statistics.findChild<QLabel*>("StatisticsRangeText")->text(); };
  const auto cell = [&](int column) {
    return statistics.findChild<QTableWidget*>("Statistics")->item(0, column)->text();
  };
  ASSERT_TRUE(main->openProcedure(path("a.vln")));
  statistics.setRange(StatisticsWindow::VisibleWindow);  // 0-1 min after Plot data: the row at
  EXPECT_EQ(text(), QStringLiteral("0.0 s to 60.0 s, 1 row as drawn"));  // 1 min is drawn
  monitor->monitor().selectSpan(plotLeft, plotRight);
  ASSERT_TRUE(monitor->monitor().selection());
  ASSERT_TRUE(main->openProcedure(path("b.vln")));
  EXPECT_FALSE(monitor->monitor().selection()) << "made on another record";
  statistics.setRange(StatisticsWindow::WholeRecord);
  EXPECT_EQ(text(), QStringLiteral("All 4 rows (10.0 s to 5.0 s)"));
  EXPECT_EQ(cell(3), QStringLiteral("0.0015")) << "a small value keeps its digits";
  statistics.setRange(StatisticsWindow::VisibleWindow);
  ASSERT_TRUE(main->openProcedure(path("a.vln")));
  EXPECT_EQ(cell(1), QStringLiteral("1")) << "refreshed by the open, not by the combo";
  // "Add as note" while a run has rows, and only then.
  const auto* addNote = statistics.findChild<QPushButton*>("StatisticsAddNote");
  store->dataSaved = true;
  main->StartClick();
  storeRows(1);
  EXPECT_TRUE(addNote->isEnabled());
  main->StopClick();
  EXPECT_FALSE(addNote->isEnabled());
}

}  // namespace
