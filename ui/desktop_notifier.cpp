#include "desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

bool DesktopNotifier::notify(int channel, const QString& text) {
  QElapsedTimer& last = lastSent_[static_cast<size_t>(channel)];
  if (last.isValid() && last.elapsed() < kQuietSeconds * 1000) return false;
  last.start();
  QDBusMessage message = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  message << QStringLiteral("Velan") << 0u << QStringLiteral("org.velan.Velan")
          << QStringLiteral("Velan: limit") << text << QStringList() << QVariantMap() << -1;
  // Sent without waiting for an answer: a desktop without the service costs nothing.
  QDBusConnection::sessionBus().send(message);
  return true;
}
