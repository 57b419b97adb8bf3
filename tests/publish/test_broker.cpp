#include "test_broker.h"

#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QStandardPaths>
#include <QThread>

namespace {
int listenOn(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 8) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int portOf(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

int connectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}
}  // namespace

int freePort() {
  const int fd = listenOn(0);
  const int port = portOf(fd);
  ::close(fd);
  return port;
}

SilentBroker::SilentBroker() : fd_(listenOn(0)), port_(portOf(fd_)) {}

SilentBroker::~SilentBroker() { ::close(fd_); }

namespace {
// A CA of its own signs a certificate for localhost; another CA signs nothing.
void makeCertificates(const QString& folder) {
  const auto openssl = [&folder](const QString& arguments) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral("openssl"), QProcess::splitCommand(arguments));
    process.waitForFinished(10000);
  };
  for (const char* ca : {"ca", "other-ca"}) {
    openssl(QStringLiteral("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                           "-days 2 -subj /CN=%1 -keyout %1.key -out %1.pem")
                .arg(QLatin1String(ca)));
  }
  openssl(
      QStringLiteral("req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                     "-subj /CN=localhost -keyout server.key -out server.csr"));
  QFile extensions(folder + QStringLiteral("/san.ext"));
  extensions.open(QIODevice::WriteOnly);
  extensions.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n");
  extensions.close();
  openssl(
      QStringLiteral("x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
                     "-days 2 -extfile san.ext -out server.pem"));
  for (const char* file : {"server.key", "server.pem", "ca.pem"}) {
    QFile::setPermissions(folder + QLatin1Char('/') + QLatin1String(file),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
  }
}
}  // namespace

TestBroker::TestBroker(const QString& user, const QString& password, bool tls) {
  const QString program = QStandardPaths::findExecutable(
      QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
  if (program.isEmpty()) return;
  // Started by root, mosquitto reads its files as the user "mosquitto".
  QFile::setPermissions(folder_.path(),
                        QFile::permissions(folder_.path()) | QFile::ReadOther | QFile::ExeOther);
  const int port = freePort();
  QFile config(folder_.filePath(QStringLiteral("broker.conf")));
  config.open(QIODevice::WriteOnly);
  config.write(QStringLiteral("listener %1 127.0.0.1\npersistence false\n").arg(port).toUtf8());
  if (tls) {
    makeCertificates(folder_.path());
    config.write(QStringLiteral("cafile %1/ca.pem\ncertfile %1/server.pem\nkeyfile %1/server.key\n")
                     .arg(folder_.path())
                     .toUtf8());
  }
  if (user.isEmpty()) {
    config.write("allow_anonymous true\n");
  } else {
    const QString passwords = folder_.filePath(QStringLiteral("passwords"));
    QProcess::execute(QStringLiteral("mosquitto_passwd"),
                      {QStringLiteral("-c"), QStringLiteral("-b"), passwords, user, password});
    config.write(("allow_anonymous false\npassword_file " + passwords + "\n").toUtf8());
  }
  config.close();
  process_.setProgram(program);
  process_.setArguments({QStringLiteral("-c"), config.fileName()});
  process_.start();
  for (int tries = 0; tries < 300; ++tries) {  // until it listens
    const int fd = connectTo(port);
    if (fd >= 0) {
      ::close(fd);
      port_ = port;
      return;
    }
    QThread::msleep(10);
  }
}

TestBroker::~TestBroker() {
  process_.terminate();
  process_.waitForFinished(3000);
}

LinkCutter::LinkCutter(int brokerPort) : brokerPort_(brokerPort) {
  listener_ = listenOn(0);
  port_ = portOf(listener_);
  thread_ = std::thread([this] { run(); });
}

LinkCutter::~LinkCutter() {
  stop_ = true;
  thread_.join();
  ::close(listener_);
}

void LinkCutter::run() {
  std::vector<std::pair<int, int>> links;  // (recorder side, broker side)
  while (!stop_) {
    if (cut_) {
      for (const auto& [a, b] : links) {
        ::close(a);
        ::close(b);
      }
      links.clear();
    }
    std::vector<pollfd> fds = {{listener_, POLLIN, 0}};
    for (const auto& [a, b] : links) {
      fds.push_back({a, POLLIN, 0});
      fds.push_back({b, POLLIN, 0});
    }
    ::poll(fds.data(), fds.size(), 20);
    const size_t polled = links.size();
    if (fds[0].revents & POLLIN) {
      const int accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      const int broker = cut_ ? -1 : connectTo(brokerPort_);
      if (broker < 0) {
        ::close(accepted);
      } else {
        links.emplace_back(accepted, broker);
      }
    }
    for (size_t i = 0; i < polled; ++i) {
      bool closed = false;
      for (int side = 0; side < 2; ++side) {
        if (!(fds[1 + 2 * i + side].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const int from = side == 0 ? links[i].first : links[i].second;
        const int to = side == 0 ? links[i].second : links[i].first;
        char buffer[65536];
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got > 0 && side == 1 && mute_) continue;
        if (got <= 0 || ::write(to, buffer, static_cast<size_t>(got)) != got) closed = true;
      }
      if (closed) {
        ::close(links[i].first);
        ::close(links[i].second);
        links[i] = {-1, -1};
      }
    }
    std::erase_if(links, [](const auto& link) { return link.first < 0; });
  }
  for (const auto& [a, b] : links) {
    ::close(a);
    ::close(b);
  }
}

TestSubscriber::TestSubscriber(int port, const QString& topics) {
  mosquitto_lib_init();
  client_ = mosquitto_new(nullptr, true, this);
  mosquitto_message_callback_set(client_, &TestSubscriber::onMessage);
  mosquitto_subscribe_callback_set(client_, &TestSubscriber::onSubscribe);
  mosquitto_connect(client_, "127.0.0.1", port, 30);
  int id = 0;
  mosquitto_subscribe(client_, &id, topics.toUtf8().constData(), 1);
  mosquitto_loop_start(client_);
  for (int waited = 0; waited < 5000 && !subscribed_; waited += 5) QThread::msleep(5);
}

void TestSubscriber::onSubscribe(mosquitto*, void* self, int, int, const int*) {
  static_cast<TestSubscriber*>(self)->subscribed_ = true;
}

TestSubscriber::~TestSubscriber() {
  mosquitto_disconnect(client_);
  mosquitto_loop_stop(client_, false);
  mosquitto_destroy(client_);
}

void TestSubscriber::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
  auto* subscriber = static_cast<TestSubscriber*>(self);
  const std::lock_guard lock(subscriber->mutex_);
  subscriber->heard_.push_back(
      {QString::fromUtf8(message->topic),
       QByteArray(static_cast<const char*>(message->payload), message->payloadlen),
       message->retain});
}

std::vector<TestSubscriber::Heard> TestSubscriber::heard() {
  const std::lock_guard lock(mutex_);
  return heard_;
}
