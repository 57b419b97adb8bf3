#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

struct mosquitto;

/// Debian's mosquitto on a free loopback port of its own, optionally with a password file or
/// TLS (a certificate for "localhost" that tlsCa() signed).
class TestBroker {
 public:
  explicit TestBroker(const QString& user = {}, const QString& password = {}, bool tls = false);
  /// With TLS: the CA that signed the broker's certificate, and one that did not.
  QString tlsCa() const { return folder_.filePath(QStringLiteral("ca.pem")); }
  QString otherCa() const { return folder_.filePath(QStringLiteral("other-ca.pem")); }
  ~TestBroker();
  bool running() const { return port_ > 0; }
  int port() const { return port_; }

 private:
  QTemporaryDir folder_;
  QProcess process_;
  int port_ = 0;
};

/// A link between the recorder and the broker that the test cuts and mends: it forwards bytes
/// both ways, and while cut it closes every connection and takes no new one.
class LinkCutter {
 public:
  explicit LinkCutter(int brokerPort);
  ~LinkCutter();
  int port() const { return port_; }
  void cut() { cut_ = true; }
  void mend() { cut_ = false; }
  /// The broker's answers are dropped (its PUBACKs lost); the recorder's words still go.
  void muteBroker() { mute_ = true; }

 private:
  void run();
  int listener_ = -1;
  int port_ = 0;
  int brokerPort_;
  std::atomic<bool> cut_ = false;
  std::atomic<bool> mute_ = false;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

/// A subscriber to everything under a topic, QoS 1, that keeps what it hears.
class TestSubscriber {
 public:
  struct Heard {
    QString topic;
    QByteArray payload;
    bool retained;
  };
  TestSubscriber(int port, const QString& topics);
  ~TestSubscriber();
  std::vector<Heard> heard();
  /// Waits (at most `ms`) until `done` holds for what was heard.
  template <class Done>
  bool waitFor(Done done, int ms = 5000);

 private:
  static void onMessage(mosquitto*, void*, const struct mosquitto_message*);
  static void onSubscribe(mosquitto*, void*, int, int, const int*);
  std::atomic<bool> subscribed_ = false;
  mosquitto* client_ = nullptr;
  std::mutex mutex_;
  std::vector<Heard> heard_;
};

template <class Done>
bool TestSubscriber::waitFor(Done done, int ms) {
  for (int waited = 0; waited < ms; waited += 10) {
    if (done(heard())) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done(heard());
}

/// A free TCP port on the loopback.
int freePort();

/// A loopback socket that takes connections and never says a word: a broker that hangs.
class SilentBroker {
 public:
  SilentBroker();
  ~SilentBroker();
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};
