// The program itself, started as a user or a file manager starts it.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

namespace {

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath("config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), folder.filePath("data"));
    velan.setProcessEnvironment(environment);
    velan.setWorkingDirectory(folder.path());
  }
  void TearDown() override {
    velan.kill();
    velan.waitForFinished();
  }
  QTemporaryDir folder;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  QProcess velan;
};

TEST_F(CommandLineTest, AnswersWithoutADisplayAndRefusesTwoFiles) {
  struct Case {
    QStringList arguments;
    int exitCode;
    const char* output;  // in standard output and error together
  } const cases[] = {
      {{"--version"}, 0, "Velan 1."},
      {{"--help"}, 0, "[FILE]"},
      {{"a.vln", "b.vln"}, 1, "one file at most"},
  };
  environment.remove(QStringLiteral("DISPLAY"));
  for (const Case& c : cases) {
    // Help and version need no window system at all; the rest is refused before one is used.
    if (c.exitCode == 0)
      environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    velan.setProcessEnvironment(environment);
    velan.start(QStringLiteral(VELAN_PROGRAM), c.arguments);
    ASSERT_TRUE(velan.waitForFinished(20000)) << c.output;
    EXPECT_EQ(velan.exitCode(), c.exitCode) << c.output;
    const QByteArray said = velan.readAllStandardOutput() + velan.readAllStandardError();
    EXPECT_TRUE(said.contains(c.output)) << said.toStdString();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  }
}

TEST_F(CommandLineTest, AFileArgumentIsOpenedAsFileOpenWould) {
  const QString name = folder.filePath("run.vln");
  QFile file(name);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "<Velan data file>cli\r\nT<>\r\nmV<Channel 1>\r\n<Channel 2 not used>\r\n"
      "<Channel 3 not used>\r\n<Channel 4 not used>\r\n1<>\r\n1.0;1500.00;\r\n");
  file.close();
  velan.start(QStringLiteral(VELAN_PROGRAM), {QStringLiteral("run.vln")});
  ASSERT_TRUE(velan.waitForStarted());
  // An opened file becomes the first of the recent files.
  const QString settings = folder.filePath("config/Velan/Velan.conf");
  QElapsedTimer waited;
  waited.start();
  QStringList recent;
  while (recent.isEmpty() && waited.elapsed() < 20000 && velan.state() == QProcess::Running) {
    QThread::msleep(50);
    recent = QSettings(settings, QSettings::IniFormat).value("recentFiles").toStringList();
  }
  EXPECT_EQ(recent, QStringList({name})) << velan.readAllStandardError().toStdString();
}

}  // namespace
