#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>

#include "record_store.h"

/// Desktop notifications of limit crossings (org.freedesktop.Notifications over D-Bus: Qt's
/// tray messages do not show on a desktop without a tray): one per channel, updated in place
/// (replaces_id), at most one update a channel in kQuietSeconds so that a value hovering at a
/// limit does not flood the desktop. What comes within the quiet time is not dropped: the
/// latest text is sent when it ends, so the desktop always ends on the channel's state.
class DesktopNotifier : public QObject {
  Q_OBJECT
 public:
  static constexpr int kQuietSeconds = 10;
  /// Shows `text`, replacing the notification `replacesId` (0: none); `shown` hears the id the
  /// desktop gave it.
  using Send =
      std::function<void(uint replacesId, const QString& text, std::function<void(uint id)> shown)>;
  /// Sends over the session bus; nothing happens on a desktop without the service.
  static void sendOverDBus(uint replacesId, const QString& text, std::function<void(uint)> shown);

  explicit DesktopNotifier(Send send = &DesktopNotifier::sendOverDBus, QObject* parent = nullptr);
  /// Shows `text` for channel `channel` now, or when its quiet time ends (the latest text
  /// only); returns whether it was sent now.
  bool notify(int channel, const QString& text);
  /// The channel's quiet time ended (its timer): the text that waited goes now.
  void quietTimeEnded(int channel);

 private:
  struct Channel {
    QTimer quiet;
    std::optional<QString> waiting;
    uint id = 0;  ///< the desktop's notification of this channel, replaced by the next
  };
  void send(int channel, const QString& text);

  Send send_;
  std::array<Channel, kChannels + 1> channels_;
};
