#include "mqtt_sender.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QDateTime>
#include <algorithm>

#include "mqtt_messages.h"

namespace {
constexpr size_t kWindow = 200;  // messages in flight: a backlog drains fast, memory stays flat
// A link that stops forwarding without closing is given up after two of these (a ping unanswered):
// within 40 s.
constexpr int kKeepAliveSeconds = 20;
constexpr std::chrono::milliseconds kLongestRetryDelay{30000};
// While a stop drains: the broker is tried again soon, the stop's time is short.
constexpr std::chrono::milliseconds kFinishingRetryDelay{1000};

struct LibraryUse {
  LibraryUse() { mosquitto_lib_init(); }
};
}  // namespace

MqttSender::MqttSender(Connection connection, MessageBacklog& backlog,
                       std::function<void(Event)> onEvent)
    : connection_(std::move(connection)),
      backlog_(backlog),
      onEvent_(std::move(onEvent)),
      sending_(backlog, connection_.dueWithinMs) {
  static const LibraryUse library;
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  thread_ = std::thread([this] { run(); });
}

MqttSender::~MqttSender() {
  stopNow_ = true;
  wake();
  if (thread_.joinable()) thread_.join();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void MqttSender::wake() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t wrote = ::write(wakeFd_, &one, sizeof one);
}

void MqttSender::setRetained(std::vector<Retained> messages) {
  {
    const std::lock_guard lock(retainedMutex_);
    retained_ = std::move(messages);
    retainedChanged_ = true;
  }
  wake();
}

void MqttSender::beginFinish(int timeoutMs, std::vector<Retained> last) {
  {
    const std::lock_guard lock(retainedMutex_);
    last_ = std::move(last);
  }
  finishBy_ = Clock::now() + std::chrono::milliseconds(timeoutMs);
  finishing_ = true;
  wake();
}

int64_t MqttSender::finish() {
  if (thread_.joinable()) thread_.join();
  return backlog_.rowsWaiting();
}

void MqttSender::report(Event::Kind kind, const QString& reason) {
  if (onEvent_) onEvent_({kind, reason, backlog_.rowsWaiting()});
}

void MqttSender::connect() {
  lastLogError_.clear();
  client_ = mosquitto_new(nullptr, true, this);
  if (!client_) {
    drop_ = true;
    lastReason_ = QStringLiteral("the MQTT client could not be made");
    return;
  }
  mosquitto_connect_callback_set(client_, &MqttSender::onConnect);
  mosquitto_disconnect_callback_set(client_, &MqttSender::onDisconnect);
  mosquitto_publish_callback_set(client_, &MqttSender::onPublish);
  mosquitto_log_callback_set(client_, &MqttSender::onLog);
  mosquitto_int_option(client_, MOSQ_OPT_SEND_MAXIMUM, static_cast<int>(kWindow));
  const BrokerAddress& address = connection_.address;
  if (!address.userName.isEmpty()) {
    mosquitto_username_pw_set(
        client_, address.userName.toUtf8().constData(),
        connection_.password ? connection_.password->toUtf8().constData() : nullptr);
  }
  const QByteArray will = offlineMessage();
  const QByteArray statusTopic =
      (connection_.prefix + QLatin1Char('/') + QLatin1String(kStatusTopic.suffix)).toUtf8();
  mosquitto_will_set(client_, statusTopic.constData(), static_cast<int>(will.size()),
                     will.constData(), kStatusTopic.qos, kStatusTopic.retained);
  int code = MOSQ_ERR_SUCCESS;
  if (address.tls) {
    // The broker's certificate is always verified (its name included): never plain instead.
    if (connection_.caFile.isEmpty()) {
      mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
      code = mosquitto_tls_set(client_, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr);
    } else {
      code = mosquitto_tls_set(client_, connection_.caFile.toLocal8Bit().constData(), nullptr,
                               nullptr, nullptr, nullptr);
    }
  }
  if (code == MOSQ_ERR_SUCCESS) {
    code = mosquitto_connect_async(client_, address.host.toUtf8().constData(), address.port,
                                   kKeepAliveSeconds);
  }
  connectStarted_ = Clock::now();
  if (code != MOSQ_ERR_SUCCESS) {
    drop_ = true;
    lastReason_ = code == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                         : QString::fromUtf8(mosquitto_strerror(code));
    if (code == MOSQ_ERR_INVAL && address.tls) {
      lastReason_ = QStringLiteral("the CA certificate %1 cannot be used").arg(connection_.caFile);
    }
  }
}

std::chrono::milliseconds nextRetryDelay(std::chrono::milliseconds last, bool wasConnected) {
  // Soon after a working connection broke, then less and less often, but never so seldom that a
  // broker back is left waiting long.
  return wasConnected ? std::chrono::milliseconds(1000) : std::min(last * 2, kLongestRetryDelay);
}

void MqttSender::dropClient() {
  if (client_) mosquitto_destroy(client_);
  client_ = nullptr;
  const bool wasConnected = connected_;
  connected_ = false;
  drop_ = false;
  sending_.restart();
  retainedIds_.clear();
  if (!lastLogError_.isEmpty() && !wasConnected) {
    // OpenSSL's words after its codes: "certificate verify failed".
    const QString detail = lastLogError_.section(QStringLiteral("::"), -1).trimmed();
    if (lastReason_.endsWith(QLatin1Char('.'))) lastReason_.chop(1);
    lastReason_ = lastReason_.isEmpty() ? detail : lastReason_ + QStringLiteral(": ") + detail;
  }
  if (lastReason_.isEmpty()) lastReason_ = QStringLiteral("the connection was lost");
  if (wasConnected || !lostReported_) {
    report(Event::Lost, lastReason_);
    lostReported_ = true;
  }
  retryDelay_ = nextRetryDelay(retryDelay_, wasConnected);
  retryAt_ = Clock::now() + (finishing_ ? kFinishingRetryDelay : retryDelay_);
  lastSent_ = false;
  lastReason_.clear();
}

void MqttSender::onConnect(mosquitto*, void* self, int code) {
  auto* sender = static_cast<MqttSender*>(self);
  if (code != 0) {
    sender->lastReason_ = QStringLiteral("the broker refused the connection: %1")
                              .arg(QString::fromUtf8(mosquitto_connack_string(code)));
    sender->drop_ = true;
    return;
  }
  sender->connected_ = true;
  sender->lostReported_ = false;
  sender->sending_.restart();
  {
    const std::lock_guard lock(sender->retainedMutex_);
    sender->retainedChanged_ = true;  // a new connection hears them again
  }
  sender->everReached_ = true;
  sender->report(Event::Reached, {});
}

void MqttSender::onDisconnect(mosquitto*, void* self, int code) {
  auto* sender = static_cast<MqttSender*>(self);
  if (sender->lastReason_.isEmpty()) {
    sender->lastReason_ = code == 0 ? QStringLiteral("the connection was closed")
                                    : QString::fromUtf8(mosquitto_strerror(code));
  }
  sender->drop_ = true;
}

void MqttSender::onPublish(mosquitto*, void* self, int id) {
  static_cast<MqttSender*>(self)->confirmed(id);
}

void MqttSender::onLog(mosquitto*, void* self, int level, const char* text) {
  if (level == MOSQ_LOG_ERR)
    static_cast<MqttSender*>(self)->lastLogError_ = QString::fromUtf8(text);
}

void MqttSender::confirmed(int id) {
  const auto retained = std::find(retainedIds_.begin(), retainedIds_.end(), id);
  if (retained != retainedIds_.end()) {
    retainedIds_.erase(retained);
    return;
  }
  sending_.confirmed(id);
}

void MqttSender::sendWaiting() {
  const int64_t now = QDateTime::currentMSecsSinceEpoch();
  while (const std::optional<BacklogSending::Outgoing> message = sending_.next(now, kWindow)) {
    int id = 0;
    const int code = mosquitto_publish(client_, &id, message->topic.constData(),
                                       static_cast<int>(message->payload.size()),
                                       message->payload.constData(), message->qos, false);
    if (code != MOSQ_ERR_SUCCESS) {
      drop_ = true;
      lastReason_ = QString::fromUtf8(mosquitto_strerror(code));
      return;
    }
    sending_.sent(id);
  }
}

void MqttSender::sendRetained() {
  std::vector<Retained> messages;
  {
    const std::lock_guard lock(retainedMutex_);
    if (!retainedChanged_) return;
    retainedChanged_ = false;
    messages = retained_;
  }
  publishRetained(messages);
}

void MqttSender::sendLast() {
  std::vector<Retained> messages;
  {
    const std::lock_guard lock(retainedMutex_);
    messages = last_;
  }
  publishRetained(messages);
  lastSent_ = true;
}

void MqttSender::publishRetained(const std::vector<Retained>& messages) {
  for (const Retained& message : messages) {
    int id = 0;
    const QByteArray topic = message.topic.toUtf8();
    if (mosquitto_publish(client_, &id, topic.constData(), static_cast<int>(message.payload.size()),
                          message.payload.constData(), kStatusTopic.qos,
                          true) == MOSQ_ERR_SUCCESS) {
      retainedIds_.push_back(id);
    }
  }
}

void MqttSender::run() {
  while (!stopNow_) {
    const Clock::time_point now = Clock::now();
    if (finishing_) {
      if (now >= finishBy_ || (lastSent_ && retainedIds_.empty())) break;
      if (!finishConnectTried_) {
        retryAt_ = std::min(retryAt_, now);  // whatever the wait before the next attempt
        finishConnectTried_ = true;
      }
      const bool drained = connected_ && !drop_ && sending_.drained();
      if (drained && !lastSent_) sendLast();  // "stopped" only after the last row
    }
    if (!client_ && now >= retryAt_) connect();
    if (client_ && !connected_ && !drop_ &&
        now - connectStarted_ > std::chrono::milliseconds(kAnswerWithinMs)) {
      lastReason_ = QStringLiteral("no answer within %1 s").arg(kAnswerWithinMs / 1000);
      drop_ = true;
    }
    if (client_ && connected_ && !drop_) {
      if (!finishing_) sendRetained();
      sendWaiting();
    }
    if (drop_) {
      dropClient();
      continue;
    }
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {-1, 0, 0}};
    if (client_) {
      fds[1].fd = mosquitto_socket(client_);
      fds[1].events = static_cast<short>(POLLIN | (mosquitto_want_write(client_) ? POLLOUT : 0));
    }
    int timeout = 1000;
    if (!client_) {
      timeout = static_cast<int>(std::clamp<int64_t>(
          std::chrono::duration_cast<std::chrono::milliseconds>(retryAt_ - now).count(), 0, 1000));
    }
    if (finishing_) timeout = std::min(timeout, 100);
    ::poll(fds, fds[1].fd >= 0 ? 2 : 1, timeout);
    if (fds[0].revents & POLLIN) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &count, sizeof count);
    }
    if (!client_) continue;
    int code = MOSQ_ERR_SUCCESS;
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) code = mosquitto_loop_read(client_, 1);
    if (code == MOSQ_ERR_SUCCESS && (fds[1].revents & POLLOUT))
      code = mosquitto_loop_write(client_, 1);
    if (code == MOSQ_ERR_SUCCESS) code = mosquitto_loop_misc(client_);
    if (code != MOSQ_ERR_SUCCESS && !drop_) {
      if (lastReason_.isEmpty()) {
        lastReason_ = code == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                             : QString::fromUtf8(mosquitto_strerror(code));
      }
      drop_ = true;
    }
  }
  if (client_) {
    if (connected_ && lastSent_ && retainedIds_.empty()) {
      mosquitto_disconnect(client_);  // a clean end: the broker keeps the will to itself
      mosquitto_loop_write(client_, 1);
    }
    // Else gone without a word: the broker tells the last will ("offline"), never a
    // "recording" left behind by a recorder that ended.
    mosquitto_destroy(client_);
    client_ = nullptr;
  }
  ended_ = true;
}
