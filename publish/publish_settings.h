#pragma once

#include <QString>
#include <optional>
#include <variant>

/// Where and how rows are published: the broker, the topic prefix, the login and the CA
/// certificate. The password is never kept here in the clear: it is read from a file only its
/// user may read.
struct PublishSettings {
  QString broker;  ///< mqtt://[user@]host[:port] or mqtts://...
  QString topic;   ///< the prefix; empty: velan/<host name>
  QString userName;
  QString passwordFile;
  QString caFile;
  bool enabled = false;
  bool homeAssistant = false;
};

/// The publishing set-up kept per user (~/.config/Velan/Velan.conf, [Publishing]); the
/// password is not among it.
PublishSettings keptPublishSettings();
void keepPublishSettings(const PublishSettings& settings);

/// A broker URL taken apart.
struct BrokerAddress {
  bool tls = false;
  QString host;
  int port = 1883;
  QString userName;
};

/// The broker URL taken apart, or why it is not one.
std::variant<BrokerAddress, QString> parseBrokerUrl(const QString& url);

/// A text taken from the user's set-up, or why it cannot be used.
struct CheckedText {
  QString text;
  QString problem;
  bool ok() const { return problem.isEmpty(); }
};

/// The topic prefix to use (velan/<host name> for an empty one), or why it cannot be one:
/// wildcards and empty levels are refused, as a publisher may not use them.
CheckedText topicPrefix(const QString& prefix);

/// The password in `path` (its first line), or why it is not taken: a file that others may read
/// is refused, as ssh refuses a loose key.
CheckedText readPasswordFile(const QString& path);

/// The password file to use when none is named: systemd's credential "mqtt-password" where the
/// service has one, else ~/.config/Velan/mqtt-password when it exists; empty when neither.
QString defaultPasswordFile();
/// Where defaultPasswordFile() looked, for a user told that no password was found.
QString passwordPlaces();
/// ~/.config/Velan/mqtt-password: where the window keeps the password (mode 0600).
QString userPasswordFile();
/// Writes the password to `path` for its user alone (0600, created so, never readable by others
/// for an instant); the reason when it cannot.
QString writePasswordFile(const QString& path, const QString& password);
