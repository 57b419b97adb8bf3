// The program itself, started as a user or a file manager starts it.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include "record_command.h"

namespace {

TEST(CommandLine, AnswersWithoutADisplayRefusesTwoFilesAndOpensOne) {
  QTemporaryDir folder;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("DISPLAY"));
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath("config"));
  environment.insert(QStringLiteral("XDG_DATA_HOME"), folder.filePath("data"));
  QProcess velan;
  velan.setWorkingDirectory(folder.path());
  struct Case {
    const char* platform;  // xcb without a display: no window system at all
    QStringList arguments;
    int exitCode;
    const char* said;
  } const cases[] = {
      {"xcb", {"--version"}, 0, "Velan 1."},
      {"xcb", {"--help"}, 0, "velan record --help lists its options"},
      {"xcb", {"a.vln", "b.vln"}, 1, "one file at most"},
      {"xcb", {"--bogus"}, 1, "Unknown option 'bogus'"},
  };
  for (const Case& c : cases) {
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QString::fromLatin1(c.platform));
    velan.setProcessEnvironment(environment);
    velan.start(QStringLiteral(VELAN_PROGRAM), c.arguments);
    ASSERT_TRUE(velan.waitForFinished(20000)) << c.said;
    EXPECT_EQ(velan.exitCode(), c.exitCode) << c.said;
    EXPECT_TRUE((velan.readAllStandardOutput() + velan.readAllStandardError()).contains(c.said));
  }
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  velan.setProcessEnvironment(environment);
  QFile file(folder.filePath("run.vln"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "<Velan data file>cli\r\nT<>\r\nmV<Channel 1>\r\n<Channel 2 not used>\r\n"
      "<Channel 3 not used>\r\n<Channel 4 not used>\r\n1<>\r\n1.0;1500.00;\r\n");
  file.close();
  velan.start(QStringLiteral(VELAN_PROGRAM), {QStringLiteral("run.vln")});
  // An opened file becomes the first of the recent files.
  QElapsedTimer waited;
  waited.start();
  QStringList recent;
  while (recent.isEmpty() && waited.elapsed() < 20000 && velan.waitForStarted()) {
    QThread::msleep(50);
    recent = QSettings(folder.filePath("config/Velan/Velan.conf"), QSettings::IniFormat)
                 .value("recentFiles")
                 .toStringList();
  }
  velan.kill();
  velan.waitForFinished();
  EXPECT_EQ(recent, QStringList({file.fileName()}));
}

// Every place that tells `velan record`'s exit statuses tells the one table, and the service
// unit restarts on exactly the statuses a restart can help.
TEST(CommandLine, TheRecorderExitStatusesAreTheOneTableEverywhere) {
  const auto text = [](const char* name) {
    QFile file(QStringLiteral(VELAN_SOURCE_DIR "/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return QString::fromUtf8(file.readAll());
  };
  const QString usage = recordUsage();
  const QString manual = text("packaging/velan.1").replace(QLatin1String("\\-"), "-");
  const QString readme = text("README.md");
  const QString unit = text("packaging/velan-record@.service.in");
  QStringList noRestart;
  for (const RecordExitStatus& status : kRecordExitStatuses) {
    const QString code = QString::number(status.code);
    const QString meaning = QLatin1String(status.meaning);
    EXPECT_TRUE(usage.contains(QStringLiteral("%1  %2\n").arg(code, 3).arg(meaning)))
        << status.code;
    EXPECT_TRUE(manual.contains(QStringLiteral(".B %1\n%2\n").arg(code, meaning))) << status.code;
    EXPECT_TRUE(readme.contains(
        QStringLiteral("| %1 | %2 | %3 |").arg(code, QLatin1String(status.name), meaning)))
        << status.code;
    if (status.code != kRecordDone && !status.restartHelps) noRestart << code;
  }
  EXPECT_TRUE(unit.contains("\nRestartPreventExitStatus=" + noRestart.join(' ') + "\n"));
}

}  // namespace
