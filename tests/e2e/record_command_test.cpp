// `velan record` as a service runs it: no display, stopped by a signal, its log read back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstring>
#include <memory>

#include "converter_emulator.h"
#include "data_file.h"

namespace {

class RecordCommandTest : public ::testing::Test {
 protected:
  RecordCommandTest() {
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), path("data"));
    QDir().mkpath(path("config/Velan"));
    QFile conf(path("config/Velan/Velan.conf"));
    conf.open(QIODevice::WriteOnly);
    conf.write("[SerialPorts]\n3=" + QFile::encodeName(path("ttyEMU")) + "\n");
  }
  QString path(const QString& name) const { return home.filePath(name); }
  void start(QProcess& velan, const QStringList& arguments) {
    velan.setProcessEnvironment(environment);
    velan.setWorkingDirectory(home.path());
    velan.setReadChannel(QProcess::StandardError);
    velan.start(QStringLiteral(VELAN_PROGRAM), QStringList{"record"} + arguments);
    ASSERT_TRUE(velan.waitForStarted());
  }
  // The exit status, and all it said.
  std::pair<int, QString> finish(QProcess& velan) {
    EXPECT_TRUE(velan.waitForFinished(20000));
    return {velan.exitCode(), QString::fromUtf8(velan.readAllStandardError())};
  }
  QStringList records(const QString& folder) const {
    return QDir(path(folder)).entryList({QStringLiteral("*.vln")});
  }
  // Waits until the running journal holds row `row`.
  bool waitForJournalRow(int row) const {
    QElapsedTimer waited;
    waited.start();
    const QByteArray line = "\nrow;" + QByteArray::number(row) + ';';
    while (waited.elapsed() < 10000) {
      for (const QString& name : QDir(path("data/Velan/recovery")).entryList({"*.journal"})) {
        QFile journal(path("data/Velan/recovery/") + name);
        if (journal.open(QIODevice::ReadOnly) && journal.readAll().contains(line)) return true;
      }
      QThread::msleep(20);
    }
    return false;
  }
  int journals() const {
    return static_cast<int>(QDir(path("data/Velan/recovery")).entryList({"*.journal"}).size());
  }

  QTemporaryDir home;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

TEST_F(RecordCommandTest, ExitStatusesTellAServiceManagerWhatHappened) {
  QFile blocker(path("blocker"));  // no folder can be made under a plain file, not even by root
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  QFile broken(path("broken.ini"));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("<COM Port #>\r\n");
  broken.close();
  QFile loose(path("loose"));  // a password file others may read: refused, as ssh would
  ASSERT_TRUE(loose.open(QIODevice::WriteOnly));
  loose.setPermissions(loose.permissions() | QFile::ReadOther);
  loose.close();
  const struct {
    QStringList arguments;
    int status;
    const char* said;
  } cases[] = {
      {{"--interval", "0.2"}, 64, "--interval takes seconds from 0.25 to 500, to the millisecond"},
      {{"--settings", path("none.ini")}, 64, "none.ini cannot be read"},
      {{"--rows", "2", "--port"}, 64, "--port needs a value"},
      {{"--rows", "2.5"}, 64, "--rows takes a number of rows (1 or more)"},
      {{"--port", "3.7"}, 64, "--port takes a port number"},
      {{"--settings", "broken.ini"}, 64, "/broken.ini, line 1: '' ist kein gültiger Integerwert"},
      {{"--folder", path("blocker/parts"), "--port", "9"}, 73, "cannot be made"},
      {{"--mqtt", "mqtt://lab@localhost", "--mqtt-password-file", path("loose")},
       64,
       "may be read by others"},
      // Joined values; an interval of the window's steps other than the default.
      {{"--folder", path("parts"), "--port=9", "--interval=200"},
       69,
       "no converter on COM 9: No such device"},
      {{"--folder", path("parts"), "--port", "9", "--simulate", "--rows", "2", "--interval",
        "0.25"},
       0,
       "done: 2 rows in 1 file"},
      {{"--folder", path("parts"), "--port", "9", "--simulate", "--duration", "1", "--interval",
        "0.25"},
       0,
       "done: 4 rows in 1 file"},
      {{"--folder", path("parts"), "--port", "9", "--simulate", "--rows", "1", "--channels", "4"},
       0,
       "(--simulate)\nvelan record: recording COM 9 (/dev/ttyS8): Ch. 4 in mV, every 1 s"},
      // A broker that cannot be one: recorded all the same.
      {{"--folder", path("parts"), "--port", "9", "--simulate", "--rows", "1", "--mqtt",
        "mqtt://localhost:70000"},
       0,
       "out of range (1 to 65535)\nvelan record: recording without publishing"},
  };
  std::vector<std::unique_ptr<QProcess>> runs;  // side by side: each is a process start
  for (const auto& c : cases) {
    runs.push_back(std::make_unique<QProcess>());
    start(*runs.back(), c.arguments);
  }
  for (size_t i = 0; i < runs.size(); ++i) {
    const auto [status, said] = finish(*runs[i]);
    EXPECT_EQ(status, cases[i].status) << said.toStdString();
    EXPECT_TRUE(said.contains(QString::fromUtf8(cases[i].said))) << said.toStdString();
  }
  EXPECT_EQ(records("parts").size(), 4);
  EXPECT_EQ(journals(), 0);
  QProcess help;
  start(help, {"--help"});
  ASSERT_TRUE(help.waitForFinished(20000));
  EXPECT_EQ(help.exitCode(), 0);
  EXPECT_TRUE(help.readAllStandardOutput().startsWith("usage: velan record [options]"));
  QFile conf(path("config/Velan/Velan.conf"));  // garbled: never taken as the defaults
  ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
  conf.write("[SerialPorts\n3=\"/dev/tty\n");
  conf.close();
  QProcess velan;
  start(velan, {"--simulate", "--rows", "1"});
  const auto [status, said] = finish(velan);
  EXPECT_EQ(status, 64) << said.toStdString();
  EXPECT_TRUE(said.contains("Velan.conf cannot be read")) << said.toStdString();
}

// Values exact, files as the window's, a SIGTERM mid-run saves a whole part and leaves no
// journal; a second recorder on the same device under its other name is told it is in use.
TEST_F(RecordCommandTest, RecordsTheConverterUntilSigtermAndSavesTheRun) {
  ConverterEmulator emulator(QFile::encodeName(path("ttyEMU")).toStdString());
  emulator.setValues(1, {1638});
  emulator.setValues(2, {-819});
  QProcess velan;
  start(velan, {"--channels", "1,2", "--interval", "0.25", "--folder", path("parts"),
                "--experiment", "Night run"});
  ASSERT_TRUE(waitForJournalRow(2)) << velan.peek(4096).data();
  QFile maps(QStringLiteral("/proc/%1/maps").arg(velan.processId()));
  ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
  EXPECT_FALSE(maps.readAll().contains("libQt6Gui")) << "a recorder carries no window system";
  QFile conf(path("config/Velan/Velan.conf"));  // port 4: the same device by its own name
  ASSERT_TRUE(conf.open(QIODevice::Append));
  conf.write("4=" + QFile::encodeName(QFileInfo(path("ttyEMU")).canonicalFilePath()) + "\n");
  conf.close();
  QProcess second;
  start(second, {"--port", "4", "--folder", path("parts2")});
  const auto [inUse, inUseSaid] = finish(second);
  ::kill(static_cast<pid_t>(velan.processId()), SIGTERM);
  const auto [status, said] = finish(velan);
  EXPECT_EQ(status, 0) << said.toStdString();
  EXPECT_TRUE(said.contains("Ch. 1 in mV, Ch. 2 in mV, every 0.25 s")) << said.toStdString();
  EXPECT_TRUE(said.contains("stopping: SIGTERM")) << said.toStdString();
  EXPECT_FALSE(said.contains("no readings") || said.contains("readings again"))
      << "a converter that answered all along was never lost";
  const QStringList saved = records("parts");
  ASSERT_EQ(saved.size(), 1) << said.toStdString();
  EXPECT_TRUE(saved[0].startsWith("Night run ") && saved[0].endsWith(" part 1.vln"));
  const auto file = loadDataFile(QDir(path("parts")).filePath(saved[0]), true, QLatin1Char('.'));
  ASSERT_TRUE(file && file->rowCount >= 2);
  for (size_t r = 0; r < static_cast<size_t>(file->rowCount); ++r) {
    EXPECT_DOUBLE_EQ(file->value[1][r], 1000.0) << r;
    // Row 1 may hold too few readings of channel 2, converted only after the open's proof.
    if (r > 0 || !isMissing(file->value[2][r])) {
      EXPECT_DOUBLE_EQ(file->value[2][r], -500.0) << r;
    }
  }
  EXPECT_TRUE(file->cells.back()[DataTable::kNotesColumn].endsWith("(ended by the system)"));
  EXPECT_EQ(journals(), 0) << "saved: no journal left";
  EXPECT_EQ(inUse, 75) << inUseSaid.toStdString();
}

// A part that cannot be saved keeps its journal and says so with status 74; the next start of
// the same set-up saves that journal as a record, since nobody is there to answer the window's
// question, and leaves the window's own journal for the window.
TEST_F(RecordCommandTest, AnUnsavedPartIsKeptAndSavedByTheNextStart) {
  QDir().mkpath(path("parts"));
  QProcess velan;
  start(velan, {"--folder", path("parts"), "--port", "9", "--simulate", "--duration", "0.8",
                "--interval", "0.25", "--experiment", "Lost"});
  ASSERT_TRUE(waitForJournalRow(1));
  ASSERT_TRUE(QDir(path("parts")).removeRecursively());
  QFile blocker(path("parts"));  // where the folder was: no folder can be made there now
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const auto [status, said] = finish(velan);
  EXPECT_EQ(status, 74) << said.toStdString();
  EXPECT_TRUE(said.contains("part 1 could not be saved")) << said.toStdString();
  EXPECT_EQ(journals(), 1);
  QFile windows(path("data/Velan/recovery/20261208-010203-1.journal"));
  ASSERT_TRUE(windows.open(QIODevice::WriteOnly));
  windows.write("Velan recovery journal 1\nrow;1;0.25;1;;;\n");
  windows.close();
  ASSERT_TRUE(blocker.remove());
  QProcess next;
  start(next, {"--folder", path("parts"), "--port", "9", "--simulate", "--rows", "1", "--interval",
               "0.25"});
  const auto [nextStatus, nextSaid] = finish(next);
  EXPECT_EQ(nextStatus, 0) << nextSaid.toStdString();
  const QStringList saved = records("parts");
  ASSERT_EQ(saved.size(), 2) << nextSaid.toStdString();
  EXPECT_TRUE(saved[0].startsWith("Lost ") && saved[0].endsWith(" recovered.vln"));
  EXPECT_TRUE(nextSaid.contains("saved as " + QDir(path("parts")).filePath(saved[0])));
  EXPECT_TRUE(nextSaid.contains("Left for its own program: " + windows.fileName()))
      << nextSaid.toStdString();
  EXPECT_EQ(journals(), 1) << "the window's";
}

// As systemd runs the unit: ready once the converter answered (not at row 1, which a 100 s
// interval puts 100 s away), stopping on SIGTERM; a SIGTERM while the converter opens ends the
// program then, cleanly.
TEST_F(RecordCommandTest, TellsTheServiceManagerAndStopsFromTheFirstInstant) {
  const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray socketPath = QFile::encodeName(path("notify"));
  std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
  ASSERT_EQ(::bind(notify, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  environment.insert("NOTIFY_SOCKET", path("notify"));
  const auto heard = [notify] {
    QStringList messages;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(notify, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
      messages << QString::fromUtf8(buffer, int(n));
    }
    return messages.join('\n');
  };
  ConverterEmulator emulator(QFile::encodeName(path("ttyEMU")).toStdString());
  QProcess velan;
  start(velan, {"--interval", "100", "--folder", path("parts")});
  QString told;
  QElapsedTimer waited;
  waited.start();
  while (!told.contains("READY=1") && waited.elapsed() < 10000) {
    QThread::msleep(20);
    told += heard();
  }
  EXPECT_TRUE(told.contains("READY=1\nSTATUS=Recording COM 3, part 1, row 0"))
      << told.toStdString();
  ::kill(static_cast<pid_t>(velan.processId()), SIGTERM);
  auto [status, said] = finish(velan);
  EXPECT_EQ(status, 0) << said.toStdString();
  EXPECT_TRUE(heard().startsWith("STOPPING=1\n"));
  EXPECT_TRUE(said.contains("done: 0 rows in 0 files")) << said.toStdString();

  // Stopped while the open waits for the converter to settle: once it has locked the device.
  start(velan, {"--folder", path("parts")});
  const int device = ::open(QFile::encodeName(path("ttyEMU")).constData(), O_RDWR | O_NOCTTY);
  waited.restart();
  while (::flock(device, LOCK_EX | LOCK_NB) == 0 && waited.elapsed() < 10000) {
    ::flock(device, LOCK_UN);
    QThread::msleep(5);
  }
  ::close(device);
  ::kill(static_cast<pid_t>(velan.processId()), SIGTERM);
  std::tie(status, said) = finish(velan);
  EXPECT_EQ(velan.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(status, 0) << said.toStdString();
  EXPECT_TRUE(said.contains("stopping: SIGTERM before the run began: nothing recorded"))
      << said.toStdString();
  EXPECT_TRUE(records("parts").isEmpty());
  EXPECT_EQ(journals(), 0);
  ::close(notify);
}

}  // namespace
