#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <variant>

#include "record_store.h"

/// What the command line of `velan record` asks for; unset: the user's own set-up.
struct RecordOptions {
  std::optional<int> port;
  std::optional<std::array<bool, kChannels + 1>> channels;
  std::optional<int> intervalMs;
  std::optional<QString> experiment;
  std::optional<QString> folder;
  std::optional<QString> settings;  ///< a Velan.ini
  std::optional<double> durationSeconds;
  std::optional<int> rows;
  std::optional<QString> mqttUrl;
  std::optional<QString> mqttTopic;
  std::optional<QString> mqttPasswordFile;
  std::optional<QString> mqttCaFile;
  bool simulate = false;
  bool help = false;
};

/// The usage text of `velan record`.
QString recordUsage();

/// The options after "record"; the mistake in words when there is one.
std::variant<RecordOptions, QString> parseRecordOptions(const QStringList& arguments);
