#pragma once

#include <QElapsedTimer>
#include <QString>
#include <array>

#include "record_store.h"

/// Desktop notifications of limit crossings (org.freedesktop.Notifications over D-Bus: Qt's
/// tray messages do not show on a desktop without a tray), at most one a channel in
/// kQuietSeconds, so that a value hovering at a limit does not flood the desktop.
class DesktopNotifier {
 public:
  static constexpr int kQuietSeconds = 10;
  /// Shows `text` for channel `channel` unless that channel had one within kQuietSeconds;
  /// returns whether it was sent. Nothing happens on a desktop without the service.
  bool notify(int channel, const QString& text);

 private:
  std::array<QElapsedTimer, kChannels + 1> lastSent_{};
};
