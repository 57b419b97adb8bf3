#include "desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

void DesktopNotifier::sendOverDBus(uint replacesId, const QString& text,
                                   std::function<void(uint)> shown) {
  QDBusMessage message = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  message << QStringLiteral("Velan") << replacesId << QStringLiteral("org.velan.Velan")
          << QStringLiteral("Velan: limit") << text << QStringList() << QVariantMap() << -1;
  // Never waited for: a desktop without the service costs nothing; the id comes when it comes.
  auto* watcher =
      new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), nullptr);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                   [shown = std::move(shown)](QDBusPendingCallWatcher* call) {
                     const QDBusPendingReply<uint> reply = *call;
                     if (reply.isValid()) shown(reply.value());
                     call->deleteLater();
                   });
}

DesktopNotifier::DesktopNotifier(Send send, QObject* parent)
    : QObject(parent), send_(std::move(send)) {
  for (int c = 1; c <= kChannels; ++c) {
    QTimer& quiet = channels_[c].quiet;
    quiet.setSingleShot(true);
    quiet.setInterval(kQuietSeconds * 1000);
    connect(&quiet, &QTimer::timeout, this, [this, c] { quietTimeEnded(c); });
  }
}

bool DesktopNotifier::notify(int channel, const QString& text) {
  Channel& state = channels_[channel];
  if (state.quiet.isActive()) {
    state.waiting = text;  // only the latest state matters
    return false;
  }
  send(channel, text);
  return true;
}

void DesktopNotifier::quietTimeEnded(int channel) {
  Channel& state = channels_[channel];
  state.quiet.stop();
  if (!state.waiting) return;
  const QString text = *state.waiting;
  state.waiting.reset();
  send(channel, text);
}

void DesktopNotifier::send(int channel, const QString& text) {
  Channel& state = channels_[channel];
  state.quiet.start();
  send_(state.id, text, [this, channel](uint id) { channels_[channel].id = id; });
}
