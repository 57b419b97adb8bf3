// A day's backlog for the broker: 345600 rows of four channels (a day at 0.25 s) stored while
// the broker is away, then the broker comes (Debian's mosquitto on a free loopback port) and
// the backlog drains. Prints "rss_with_backlog_kB drained_rows_per_s".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <memory>

#include "plain_record_fields.h"
#include "resident_memory.h"
#include "row_publisher.h"

namespace {
constexpr int kRows = 345600;

int freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}
}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QTemporaryDir home;
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
  auto store = std::make_unique<RecordStore>();
  PlainRecordFields fields;
  for (int c = 1; c <= kChannels; ++c) fields.setChannelSelected(c, true);
  const int port = freePort();
  MqttSender::Connection connection;
  connection.address.host = QStringLiteral("127.0.0.1");
  connection.address.port = port;
  connection.prefix = QStringLiteral("velan/bench");
  int part = 1;
  RowPublisher publisher(
      connection, *store, fields,
      RowPublisher::Run{[] { return QDateTime::currentDateTime(); }, [&part] { return part; },
                        [] { return 250; }, [] { return QString(); }},
      [](const QString&) {});
  publisher.beginRun();
  for (int row = 0; row < kRows; ++row) {
    const int r = row % kMaxRows + 1;
    part = row / kMaxRows + 1;
    store->time[r] = r * 0.25;
    for (int c = 1; c <= kChannels; ++c) store->value[c][r] = 1000.0 + c + r * 0.01;
    store->rowCount = r;
    publisher.rowStored();
  }
  const long rss = residentKilobytes();

  QFile config(home.filePath("broker.conf"));
  config.open(QIODevice::WriteOnly);
  config.write(QStringLiteral("listener %1 127.0.0.1\npersistence false\nallow_anonymous true\n")
                   .arg(port)
                   .toUtf8());
  config.close();
  QFile::setPermissions(home.path(),
                        QFile::permissions(home.path()) | QFile::ReadOther | QFile::ExeOther);
  QProcess broker;
  broker.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), config.fileName()});
  // Timed from the first row the broker took to the last.
  while (publisher.rowsWaiting() == kRows) QThread::msleep(1);
  QElapsedTimer draining;
  draining.start();
  const int64_t atStart = publisher.rowsWaiting();
  while (publisher.rowsWaiting() > 0 && draining.elapsed() < 600000) QThread::msleep(1);
  const double seconds = draining.nsecsElapsed() / 1e9;
  std::printf("%ld %.0f\n", rss, static_cast<double>(atStart) / seconds);
  publisher.finish(0);
  broker.terminate();
  broker.waitForFinished();
  return 0;
}
