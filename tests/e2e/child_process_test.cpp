// Recordings in a child process that is suspended or killed, as a sleeping laptop or a crash
// would do to the program.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <csignal>

#include "../ui/ui_fixture.h"
#include "data_file.h"

namespace {

class ChildRunTest : public WindowsTest {
 protected:
  void startChild(const QStringList& arguments) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), path("data"));  // where this test looks
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
    environment.insert(QStringLiteral("FAKE_ADC16_SCRIPT"),
                       QStringLiteral("ports=3;ch1=1600,1650,x,1700;ch2=x"));
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(folder.path());
    child.start(QStringLiteral(VELAN_RUN_CHILD), arguments);
    ASSERT_TRUE(child.waitForStarted());
  }
  /// Reads the child's lines until one starts with `prefix` (or the child ends).
  QString waitForLine(const QString& prefix, int timeoutMs = 20000) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
      while (child.canReadLine()) {
        const QString line = QString::fromUtf8(child.readLine()).trimmed();
        lines << line;
        if (line.startsWith(prefix)) return line;
      }
      if (child.state() == QProcess::NotRunning) break;
      child.waitForReadyRead(100);
    }
    return {};
  }
  void signalChild(int signal) { ::kill(static_cast<pid_t>(child.processId()), signal); }

  QProcess child;
  QStringList lines;
};

TEST_F(ChildRunTest, SuspendedRunKeepsItsTimeColumnTrue) {
  startChild({QStringLiteral("250"), QStringLiteral("2")});
  ASSERT_FALSE(waitForLine(QStringLiteral("row 3 ")).isEmpty());
  signalChild(SIGSTOP);
  QTest::qWait(700);
  signalChild(SIGCONT);
  const QString end = waitForLine(QStringLiteral("end "));
  ASSERT_FALSE(end.isEmpty()) << lines.join(QLatin1Char('\n')).toStdString();
  const double elapsed = end.section(QLatin1Char(' '), 1, 1).toDouble();
  const QString lastRow = lines.filter(QRegularExpression(QStringLiteral("^row "))).last();
  const double lastTime = lastRow.section(QLatin1Char(' '), 2, 2).toDouble();
  // Within one interval of the real time; 0.2 s more for the moment the end was taken on a
  // busy machine. Without the stall rule the column would lag by the 0.7 s of the stop.
  EXPECT_GT(lastTime, elapsed - 0.25 - 0.2) << lines.join(QLatin1Char('\n')).toStdString();
  EXPECT_LT(lastTime, elapsed + 0.2);
  EXPECT_GE(lines.filter(QStringLiteral("(no readings: the program was not running for")).size(),
            1);
  child.waitForFinished();
}

// The system ending the program (systemctl stop, a logout) saves the run as a part and removes
// its journal; the next start says where it went.
TEST_F(ChildRunTest, TerminatedRunIsSavedAsAPart) {
  QDir().mkpath(path("config/Velan"));
  QSettings(path("config/Velan/Velan.conf"), QSettings::IniFormat)
      .setValue("recordingsFolder", path("parts"));
  startChild({QStringLiteral("250"), QStringLiteral("60")});
  ASSERT_FALSE(waitForLine(QStringLiteral("row 3 ")).isEmpty());
  signalChild(SIGTERM);
  ASSERT_TRUE(child.waitForFinished());
  EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(child.exitCode(), 0);
  const QStringList parts = QDir(path("parts")).entryList({QStringLiteral("*.vln")});
  ASSERT_EQ(parts.size(), 1);
  const auto part = loadDataFile(QDir(path("parts")).filePath(parts[0]), true, QLatin1Char('.'));
  ASSERT_TRUE(part && part->rowCount >= 3);
  EXPECT_TRUE(part->cells.back()[DataTable::kNotesColumn].endsWith("-> (ended by the system)"));
  EXPECT_TRUE(QDir(path("data/Velan/recovery")).entryList({QStringLiteral("*.journal")}).isEmpty());
  const QString said =
      QSettings(path("config/Velan/Velan.conf"), QSettings::IniFormat).value("endedRun").toString();
  EXPECT_TRUE(said.startsWith("The last recording was ended by SIGTERM and saved as "))
      << said.toStdString();
}

TEST_F(ChildRunTest, KilledRunIsRestoredToItsLastRow) {
  // Killed right after a note and a typed cell, and at a moment between rows.
  for (const char* moment : {"cell ", "row 3 "}) {
    startChild({QStringLiteral("250"), QStringLiteral("60"), QStringLiteral("2")});
    const QString start = waitForLine(QStringLiteral("start "));
    ASSERT_FALSE(waitForLine(QString::fromLatin1(moment)).isEmpty()) << moment;
    if (QString::fromLatin1(moment).startsWith(QLatin1String("row"))) QTest::qWait(120);
    signalChild(SIGKILL);
    child.waitForFinished();
    for (const QByteArray& line : child.readAll().split('\n')) {
      if (!line.isEmpty()) lines << QString::fromUtf8(line).trimmed();
    }

    prompts.answers = {UserPrompts::Answer::Yes};
    prompts.questions.clear();
    main->recoverUnsavedRecordings();
    ASSERT_EQ(prompts.questions.size(), 1) << moment;
    const QStringList rows = lines.filter(QRegularExpression(QStringLiteral("^row ")));
    EXPECT_GE(store->rowCount, rows.size()) << "every row the child had stored";
    EXPECT_LE(store->rowCount, rows.size() + 1);
    for (const QString& row : rows) {
      const QStringList fields = row.split(QLatin1Char(' '));
      const int n = fields[1].toInt();
      QString restored = QStringLiteral("row %1").arg(n);
      for (double value : {store->time[n], store->value[1][n], store->value[2][n],
                           store->value[3][n], store->value[4][n]}) {
        restored += QLatin1Char(' ') + QString::asprintf("%.17g", value);
      }
      EXPECT_EQ(restored, row);
    }
    for (const QString& note : lines.filter(QRegularExpression(QStringLiteral("^(note|cell) ")))) {
      const int n = note.section(QLatin1Char(' '), 1, 1).toInt();
      EXPECT_EQ(table->cell(DataTable::kNotesColumn, n), note.section(QLatin1Char(' '), 2));
    }
    EXPECT_EQ(main->startTime(), start.mid(6));
    EXPECT_TRUE(isMissing(store->value[2][1])) << "channel 2 never answered";

    prompts.saveNames = {path("restored.vln")};
    main->Saveas1Click();
    prompts.questions.clear();
    destroy();
    build();
    main->recoverUnsavedRecordings();
    EXPECT_TRUE(prompts.questions.isEmpty()) << "the saved record's journal is gone";
    lines.clear();
    QFile::remove(path("restored.vln"));
  }
}

}  // namespace
