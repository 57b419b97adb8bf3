#include "row_publisher.h"

#include <QFile>
#include <QStandardPaths>

#include "mqtt_messages.h"

std::variant<MqttSender::Connection, RowPublisher::Problem> RowPublisher::connectionFor(
    const PublishSettings& settings) {
  MqttSender::Connection connection;
  const auto address = parseBrokerUrl(settings.broker);
  if (const QString* problem = std::get_if<QString>(&address)) return Problem{*problem};
  connection.address = std::get<BrokerAddress>(address);
  if (!settings.userName.isEmpty()) connection.address.userName = settings.userName;
  const CheckedText prefix = topicPrefix(settings.topic);
  if (!prefix.ok()) return Problem{prefix.problem};
  connection.prefix = prefix.text;
  connection.caFile = settings.caFile;
  if (!settings.caFile.isEmpty()) {
    QFile ca(settings.caFile);
    if (!ca.open(QIODevice::ReadOnly)) {
      return Problem{QStringLiteral("the CA certificate %1 cannot be read: %2")
                         .arg(settings.caFile, ca.errorString()),
                     true};
    }
  }
  if (connection.address.userName.isEmpty()) {
    if (!settings.passwordFile.isEmpty()) {
      return Problem{QStringLiteral("a password file (%1) needs a user name: mqtt://USER@host")
                         .arg(settings.passwordFile),
                     true};
    }
    return connection;
  }
  const QString passwordFile =
      settings.passwordFile.isEmpty() ? defaultPasswordFile() : settings.passwordFile;
  if (passwordFile.isEmpty()) return connection;  // a broker may take the name alone
  const CheckedText password = readPasswordFile(passwordFile);
  if (!password.ok()) return Problem{password.problem, true};
  connection.password = password.text;
  return connection;
}

RowPublisher::RowPublisher(MqttSender::Connection connection, const RecordStore& store,
                           const RecordFields& fields, Run run,
                           std::function<void(const QString&)> tell, bool homeAssistant)
    : connection_(std::move(connection)),
      store_(store),
      fields_(fields),
      run_(std::move(run)),
      tell_(std::move(tell)),
      homeAssistant_(homeAssistant),
      backlog_(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
               QStringLiteral("/publishing")),
      awaySince_(QDateTime::currentDateTime()) {
  if (!backlog_.ok()) {
    tell_(QStringLiteral("rows cannot wait for the broker on disk (%1): they wait in memory")
              .arg(backlog_.failure()));
  }
  if (!connection_.address.userName.isEmpty() && !connection_.password) {
    tell_(QStringLiteral("no password for %1 (%2): logging in with the name alone")
              .arg(connection_.address.userName, passwordPlaces()));
  }
  if (backlog_.rowsTakenOver() > 0) {
    tell_(QStringLiteral("%1 rows of an earlier run that the broker never confirmed are sent "
                         "first, late")
              .arg(backlog_.rowsTakenOver()));
  }
  sender_ =
      std::make_unique<MqttSender>(connection_, backlog_, [this](const MqttSender::Event& event) {
        // From the sender's thread: heard on this one.
        QMetaObject::invokeMethod(
            &context_, [this, event] { heard(event); }, Qt::QueuedConnection);
      });
}

RowPublisher::~RowPublisher() { sender_.reset(); }

void RowPublisher::heard(const MqttSender::Event& event) {
  const QString broker = connection_.address.host;
  if (event.kind == MqttSender::Event::Reached) {
    away_ = false;
    if (!reached_) {
      tell_(QStringLiteral("publishing to %1:%2 under %3")
                .arg(broker)
                .arg(connection_.address.port)
                .arg(connection_.prefix));
    } else {
      tell_(QStringLiteral("broker %1 back: %2 rows waiting are sent")
                .arg(broker)
                .arg(event.rowsWaiting));
    }
    reached_ = true;
    return;
  }
  if (!away_) awaySince_ = QDateTime::currentDateTime();
  away_ = true;
  tell_(QStringLiteral("broker %1 %2 (%3): rows wait on disk, %4 so far")
            .arg(broker, reached_ ? QStringLiteral("lost") : QStringLiteral("not reached"),
                 event.reason)
            .arg(event.rowsWaiting));
}

QString RowPublisher::statusText() const {
  QString text = away_ ? QStringLiteral("broker away since %1, %2 rows waiting")
                             .arg(awaySince_.toString(QStringLiteral("hh:mm:ss")))
                             .arg(backlog_.rowsWaiting())
                       : QStringLiteral("publishing to %1").arg(connection_.address.host);
  if (const int64_t inMemory = backlog_.rowsInMemory(); inMemory > 0) {
    text += QStringLiteral(", %1 rows in memory (the disk refused them)").arg(inMemory);
  }
  return text;
}

QString RowPublisher::topic(const char* suffix) const {
  return connection_.prefix + QLatin1Char('/') + QLatin1String(suffix);
}

std::vector<MqttSender::Retained> RowPublisher::retainedMessages(const QString& state,
                                                                 int64_t unpublished) const {
  RunStatus status;
  status.state = state;
  status.run = runId_;
  status.unpublished = unpublished;
  status.experiment = fields_.experiment();
  status.intervalSeconds = (run_.intervalMs ? run_.intervalMs() : store_.readingInterval) / 1000.0;
  status.part = run_.part ? run_.part() : 1;
  std::vector<MqttSender::Retained> messages;
  for (int c = 1; c <= kChannels; ++c) {
    if (!fields_.channelSelected(c)) continue;
    status.units[c] = fields_.unitLabel(c);
    if (homeAssistant_) {
      const DiscoveryMessage discovery = discoveryMessage(connection_.prefix, c, status.units[c]);
      messages.push_back({discovery.topic, discovery.payload});
    }
  }
  messages.insert(messages.begin(), {topic(kStatusTopic.suffix), statusMessage(status)});
  return messages;
}

void RowPublisher::beginRun() {
  runId_ = isoTime(QDateTime::currentDateTime());
  seq_ = 0;
  updateStatus();
}

void RowPublisher::updateStatus() {
  sender_->setRetained(retainedMessages(QStringLiteral("recording")));
}

void RowPublisher::beginFinish(int timeoutMs) {
  backlog_.sync();  // what the disk refused may fit now
  // Rows still in memory when the rest is drained are the ones never published.
  sender_->beginFinish(timeoutMs,
                       retainedMessages(QStringLiteral("stopped"), backlog_.rowsInMemory()));
}

int64_t RowPublisher::finish(int timeoutMs) {
  beginFinish(timeoutMs);
  return unsent();
}

void RowPublisher::rowStored() {
  const int row = store_.rowCount;
  PublishedRow published;
  published.run = runId_;
  published.seq = ++seq_;
  published.part = run_.part ? run_.part() : 1;
  published.row = row;
  published.seconds = store_.time[row];
  const QDateTime start = run_.partStart ? run_.partStart() : QDateTime::currentDateTime();
  published.time = start.addMSecs(static_cast<qint64>(std::llround(store_.time[row] * 1000)));
  const int64_t now = QDateTime::currentMSecsSinceEpoch();
  for (int c = 1; c <= kChannels; ++c) {
    published.selected[c] = fields_.channelSelected(c);
    const double value = store_.value[c][row];
    if (published.selected[c] && !isMissing(value)) {
      published.values[c] = fileRounded(value, store_.valueDecimals[c]);
    }
  }
  bool kept = backlog_.append(MessageBacklog::Kind::Row, now, topic(kRowsTopic.suffix),
                              rowMessage(published));
  for (int c = 1; c <= kChannels; ++c) {
    if (!published.values[c]) continue;
    kept = backlog_.append(MessageBacklog::Kind::Value, now,
                           topic(kChannelTopic.suffix) + QString::number(c),
                           channelValueMessage(*published.values[c])) &&
           kept;
  }
  // Row 1's note is written with the part, never added: it goes out with its row.
  if (row == 1 && run_.startNote) {
    if (const QString note = run_.startNote(); !note.isEmpty()) {
      kept = appendNote(published.seq, note) && kept;
    }
  }
  keptOnDisk(kept);
  sender_->wake();
}

void RowPublisher::noteAdded(int row, const QString& note, const QString&) {
  // Notes go with the newest row; one before the first row goes with row 0.
  const int64_t seq = row > 0 ? seq_ - (store_.rowCount - row) : 0;
  keptOnDisk(appendNote(seq, note));
  sender_->wake();
}

bool RowPublisher::appendNote(int64_t seq, const QString& note) {
  return backlog_.append(MessageBacklog::Kind::Note, QDateTime::currentMSecsSinceEpoch(),
                         topic(kNotesTopic.suffix),
                         noteMessage(runId_, seq, QDateTime::currentDateTime(), note));
}

void RowPublisher::keptOnDisk(bool kept) {
  if (kept == !diskRefused_) return;
  diskRefused_ = !kept;
  tell_(kept ? QStringLiteral("the backlog is on the disk again: no row waits in memory")
             : QStringLiteral("the disk refused the backlog: rows wait in memory for room "
                              "(%1 so far)")
                   .arg(backlog_.rowsInMemory()));
}
