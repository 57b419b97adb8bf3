#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <variant>

#include "message_backlog.h"
#include "mqtt_sender.h"
#include "publish_settings.h"
#include "record_store.h"

/// Publishes a run to an MQTT broker: every stored row and note goes into the backlog on disk
/// as it is stored (never waiting on the network), and the sender's thread takes it from there.
/// Lives on the recording thread; tells its front end what becomes of the broker.
class RowPublisher : public RecordListener {
 public:
  struct Run {
    std::function<QDateTime()> partStart;
    std::function<int()> part;
    std::function<int()> intervalMs;
    /// Row 1's note of the part (its start, scalings, where the readings came from).
    std::function<QString()> startNote;
  };
  /// What the settings give: a publisher, or why there is none (a bad URL or topic, a password
  /// or CA file that cannot be used).
  struct Problem {
    QString message;
    /// A file named for the login that cannot serve: the recorder refuses to start rather than
    /// publish otherwise than asked.
    bool refusesStart = false;
  };
  static std::variant<MqttSender::Connection, Problem> connectionFor(
      const PublishSettings& settings);

  RowPublisher(MqttSender::Connection connection, const RecordStore& store,
               const RecordFields& fields, Run run, std::function<void(const QString&)> tell,
               bool homeAssistant = false);
  ~RowPublisher() override;

  /// A new run: a run id of its own (its start), seq from 1, and the status says "recording".
  void beginRun();
  /// The run changed its part, interval or set-up: the status says so.
  void updateStatus();
  /// The run ended: tries the broker at once and sends what waits (at most `timeoutMs`), then
  /// "stopped"; returns the rows that could not be sent (they stay on disk for the next start).
  int64_t finish(int timeoutMs = kDrainMs);
  /// The same begun, for a front end that goes on meanwhile: finished() says when it is over,
  /// unsent() waits for it and counts the rows that could not be sent.
  void beginFinish(int timeoutMs = kDrainMs);
  bool finished() const { return sender_->ended(); }
  int64_t unsent() { return sender_->finish(); }
  static constexpr int kDrainMs = 10000;

  /// "publishing to HOST" or "broker away since hh:mm:ss, N rows waiting", and the rows the
  /// disk refused.
  QString statusText() const;
  int64_t rowsWaiting() const { return backlog_.rowsWaiting(); }

  // RecordListener
  void rowStored() override;
  void noteAdded(int row, const QString& note, const QString& cell) override;

 private:
  void heard(const MqttSender::Event& event);
  std::vector<MqttSender::Retained> retainedMessages(const QString& state,
                                                     int64_t unpublished = 0) const;
  QString topic(const char* suffix) const;
  bool appendNote(int64_t seq, const QString& note);
  void keptOnDisk(bool kept);

  MqttSender::Connection connection_;
  const RecordStore& store_;
  const RecordFields& fields_;
  Run run_;
  std::function<void(const QString&)> tell_;
  bool homeAssistant_;
  MessageBacklog backlog_;
  QObject context_;  ///< the sender's news arrive on this thread through it
  std::unique_ptr<MqttSender> sender_;
  QString runId_;
  int64_t seq_ = 0;
  bool reached_ = false;
  bool away_ = true;
  QDateTime awaySince_;
  bool diskRefused_ = false;
};
