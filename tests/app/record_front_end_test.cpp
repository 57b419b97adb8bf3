// What velan record tells its log, its service manager and its caller, seen in memory.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cstring>
#include <memory>

#include "plain_record_fields.h"
#include "record_exit.h"
#include "run_report.h"
#include "service_notify.h"

namespace {

// A run that goes silent hours in and comes back: each line once, the status naming the last
// reading (not the run's start).
TEST(RunReportTest, TellsSilenceOnceByItsLastReadingAndWhatWasNotPublished) {
  auto store = std::make_unique<RecordStore>();
  store->converterOpen = true;
  PlainRecordFields fields;
  fields.setChannelSelected(1, true);
  QStringList said;
  RunReport report(3, [&said](const QString& line) { said << line; });
  const QDateTime start(QDate(2026, 12, 9), QTime(8, 0, 0));
  report.begin(start);
  const struct {
    int seconds;  // after the start
    bool reading;
    const char* line;    // what the row adds to the log
    const char* status;  // what the service manager shows after it
  } rows[] = {
      {1, true, "", "Recording COM 3, part 1, row 1"},
      {3 * 3600 + 59 * 60 + 59, true, "", "Recording COM 3, part 1, row 2"},
      {4 * 3600, false, "no readings from COM 3 since 11:59:59: the line is cut",
       "No readings from COM 3 since 11:59:59, part 1, row 3"},
      {4 * 3600 + 1, false, "", "No readings from COM 3 since 11:59:59, part 1, row 4"},
      {4 * 3600 + 300, true, "readings again from COM 3", "Recording COM 3, part 1, row 5"},
  };
  for (const auto& r : rows) {
    ++store->rowCount;
    store->value[1][store->rowCount] = r.reading ? 1.0 : kMissingValue;
    said.clear();
    report.rowStored(*store, fields, start.addSecs(r.seconds), QStringLiteral("the line is cut"));
    EXPECT_EQ(said.join('\n'), QString::fromUtf8(r.line)) << r.seconds;
    EXPECT_EQ(report.status(*store, 1, {}), QString::fromUtf8(r.status)) << r.seconds;
  }
  EXPECT_EQ(report.status(*store, 1, QStringLiteral("publishing to broker")),
            QStringLiteral("Recording COM 3, part 1, row 5; publishing to broker"));
  // The saves' lines and statuses are seen end to end; what a broker left unsent is not.
  said.clear();
  report.partSaved(RunParts::Saved{});  // a part without rows is none
  report.unpublished(0);
  report.unpublished(7);
  EXPECT_EQ(report.finish(), kRecordDone);
  EXPECT_EQ(said, QStringList({"7 rows could not be published (the broker did not take them); "
                               "they are in the saved parts, and go to the broker first with "
                               "the next run that publishes",
                               "done: 5 rows in 0 files"}));

  // Silent from the first row: silent since the run began. Simulated readings tell nothing.
  RunReport silentFromTheStart(3, [&said](const QString& line) { said << line; });
  silentFromTheStart.begin(start);
  store->rowCount = 1;
  store->value[1][1] = kMissingValue;
  said.clear();
  silentFromTheStart.rowStored(*store, fields, start.addSecs(1), {});
  EXPECT_EQ(said, QStringList({"no readings from COM 3 since 08:00:00"}));
  store->converterOpen = false;
  silentFromTheStart.rowStored(*store, fields, start.addSecs(2), {});
  EXPECT_EQ(said.size(), 1);
  EXPECT_EQ(silentFromTheStart.status(*store, 1, QStringLiteral("publishing to broker")),
            QStringLiteral("Recording simulated readings (no converter on COM 3), part 1, row 1; "
                           "publishing to broker"));
  EXPECT_EQ(silentFromTheStart.finish(), kRecordDone);
  EXPECT_EQ(said.last(), QStringLiteral("done: 2 rows in 0 files"));
}

// The service manager's socket, a path or an abstract name, as systemd gives it; anything
// else is no socket and nothing is sent.
TEST(ServiceNotifyTest, ReachesThePathAndTheAbstractSocketsOnly) {
  QTemporaryDir folder;
  const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("notify")));
  const QByteArray abstract = "@velan-test-" + QByteArray::number(::getpid());
  const struct {
    QByteArray bound;     // the socket the test listens on
    QByteArray variable;  // NOTIFY_SOCKET
    bool heard;
  } cases[] = {{path, path, true}, {abstract, abstract, true}, {path, "notify", false}};
  for (const auto& c : cases) {
    const int listener = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, c.bound.constData(), size_t(c.bound.size()));
    if (c.bound.startsWith('@')) address.sun_path[0] = '\0';
    const auto size = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(c.bound.size()));
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), size), 0);
    qputenv("NOTIFY_SOCKET", c.variable);
    notifyServiceManager("READY=1\nSTATUS=Recording COM 3, part 1, row 0");
    char buffer[256];
    const ssize_t n = ::recv(listener, buffer, sizeof buffer, MSG_DONTWAIT);
    EXPECT_EQ(n > 0 ? QByteArray(buffer, int(n)) : QByteArray(),
              c.heard ? QByteArray("READY=1\nSTATUS=Recording COM 3, part 1, row 0") : QByteArray())
        << c.variable.constData();
    ::close(listener);
    ::unlink(path.constData());
  }
  qunsetenv("NOTIFY_SOCKET");
}

}  // namespace
