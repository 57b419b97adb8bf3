#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "backlog_sending.h"
#include "message_backlog.h"
#include "publish_settings.h"

struct mosquitto;

/// The wait before the next connection attempt: a second after a working connection broke,
/// else twice the last wait, 30 s at most.
std::chrono::milliseconds nextRetryDelay(std::chrono::milliseconds last, bool wasConnected);

/// Sends the backlog to the broker in order, on a thread of its own that owns the MQTT client
/// (libmosquitto): the recording never waits on the network. A lost connection is made anew,
/// and sending goes on from the first message the broker did not confirm.
class MqttSender {
 public:
  struct Connection {
    BrokerAddress address;
    std::optional<QString> password;
    QString caFile;
    QString prefix;
    /// Rows sent later than this after they were stored are marked late.
    int64_t dueWithinMs = 3000;
  };
  /// What the sender has to say, from its own thread.
  struct Event {
    enum Kind { Reached, Lost } kind;
    QString reason;  ///< why it was lost or could not be reached
    int64_t rowsWaiting = 0;
  };
  struct Retained {
    QString topic;  ///< the full topic
    QByteArray payload;
  };
  /// A connection the broker does not answer within this is given up and tried anew.
  static constexpr int kAnswerWithinMs = 10000;

  MqttSender(Connection connection, MessageBacklog& backlog, std::function<void(Event)> onEvent);
  ~MqttSender();
  MqttSender(const MqttSender&) = delete;
  MqttSender& operator=(const MqttSender&) = delete;

  /// New messages are in the backlog.
  void wake();
  /// Retained messages (the status, Home Assistant's configs): sent on every connection and
  /// whenever they change.
  void setRetained(std::vector<Retained> messages);
  /// Begins the end: sends what waits (connecting at once, whatever the wait before the next
  /// attempt), then `last` in place of the retained messages, within `timeoutMs`. Ends the
  /// connection cleanly only when the broker took them all; else it goes without a word, so
  /// that the broker tells the last will.
  void beginFinish(int timeoutMs, std::vector<Retained> last);
  /// Whether the end begun is over.
  bool ended() const { return ended_; }
  /// Waits for the end begun; returns the rows that could not be sent.
  int64_t finish();

 private:
  using Clock = std::chrono::steady_clock;
  void run();
  void connect();
  void dropClient();
  void sendWaiting();
  void sendRetained();
  void sendLast();
  void publishRetained(const std::vector<Retained>& messages);
  void confirmed(int id);
  void report(Event::Kind kind, const QString& reason);
  static void onConnect(mosquitto*, void* self, int code);
  static void onDisconnect(mosquitto*, void* self, int code);
  static void onPublish(mosquitto*, void* self, int id);
  static void onLog(mosquitto*, void* self, int level, const char* text);

  Connection connection_;
  MessageBacklog& backlog_;
  std::function<void(Event)> onEvent_;
  BacklogSending sending_;  ///< the sender's thread's own
  int wakeFd_ = -1;
  std::thread thread_;
  std::atomic<bool> finishing_ = false;
  std::atomic<bool> stopNow_ = false;
  std::atomic<bool> ended_ = false;
  Clock::time_point finishBy_;

  std::mutex retainedMutex_;
  std::vector<Retained> retained_;  ///< guarded by retainedMutex_
  bool retainedChanged_ = false;    ///< guarded by retainedMutex_
  std::vector<Retained> last_;      ///< guarded by retainedMutex_

  // The sender's thread's own.
  mosquitto* client_ = nullptr;
  bool connected_ = false;
  bool drop_ = false;
  bool everReached_ = false;
  bool lostReported_ = false;
  QString lastReason_;
  QString lastLogError_;
  Clock::time_point connectStarted_;
  Clock::time_point retryAt_;
  std::chrono::milliseconds retryDelay_{1000};
  std::vector<int> retainedIds_;
  bool lastSent_ = false;
  bool finishConnectTried_ = false;
};
