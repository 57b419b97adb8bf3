#include "settings_file.h"

#include <QFile>
#include <QStringList>
#include <cerrno>
#include <cmath>

#include "data_file.h"
#include "file_access.h"
#include "numbers.h"
#include "text_lines.h"
#include "velan_error.h"

namespace {

QString scalingTag(int channel, bool factor) {
  return factor ? QStringLiteral("<Channel %1 factor>").arg(channel)
                : QStringLiteral("<Channel %1 offset>").arg(channel);
}

void readScalings(LineReader& reader, RecordFields& fields, QChar separator) {
  std::array<QString, kChannels + 1> factors;
  std::array<QString, kChannels + 1> offsets;
  std::array<bool, kChannels + 1> given{};
  // Lines past the end read empty: two lines a channel at most are looked at.
  for (int line = 0; line < 2 * kChannels; ++line) {
    const QString text = reader.readLine();
    const QString tag = text.mid(text.indexOf(QLatin1Char('<')));
    for (int c = 1; c <= kChannels; ++c) {
      if (tag == scalingTag(c, true)) factors[c] = taggedValue(text);
      if (tag == scalingTag(c, false)) offsets[c] = taggedValue(text);
      given[c] = given[c] || tag == scalingTag(c, true) || tag == scalingTag(c, false);
    }
  }
  // Each channel's lines on their own: a bad one is reported, the others still apply.
  QStringList refused;
  for (size_t c = 1; c < given.size(); ++c) {
    if (!given[c]) continue;
    try {
      const int channel = static_cast<int>(c);
      fields.setScaling(channel, parseScaling(channel, factors[c], offsets[c], separator));
    } catch (const VelanError& error) {
      refused << error.message();
    }
  }
  if (!refused.isEmpty()) throw VelanError(refused.join(QLatin1Char('\n')));
}

}  // namespace

void readSettings(QIODevice& device, SettingsTarget& target, QChar separator) {
  LineReader reader(device);
  const auto onLine = [](int line, const auto& read) {
    try {
      return read();
    } catch (const SettingsLineError&) {
      throw;
    } catch (const VelanError& error) {
      throw SettingsLineError(error.message(), line);
    }
  };
  target.setPortText(taggedValue(reader.readLine()));
  target.setPortNumber(onLine(1, [&] { return parseInteger(target.portText()); }));
  RecordFields& fields = target.recordFields();
  fields.setExperiment(taggedValue(reader.readLine()));
  for (int c = 1; c <= kChannels; ++c) {
    const QString line = reader.readLine();
    const bool notUsed = line.startsWith(QStringLiteral("<Channel %1 not used>").arg(c));
    fields.setChannelSelected(c, !notUsed);
    if (!notUsed) fields.setUnitLabel(c, taggedValue(line));
  }
  const QString intervalText = taggedValue(reader.readLine());
  const double seconds = onLine(7, [&] { return parseNumber(intervalText, separator); });
  // Ties to even, as the interval has always been rounded; kept within what a run can use.
  const double milliseconds = std::nearbyint(seconds * 1000.0);
  const double bounded =
      std::isnan(milliseconds)
          ? 1000.0
          : std::clamp(milliseconds, double(kMinimumIntervalMs), double(kMaximumIntervalMs));
  target.setReadingInterval(static_cast<int>(bounded));
  const QString folderLine = reader.readLine();
  if (!folderLine.contains(QStringLiteral("<No initial directory defined>"))) {
    target.setInitialDirectory(taggedValue(folderLine));
  }
  onLine(9, [&] {
    readScalings(reader, fields, separator);
    return 0;
  });
}

void writeSettings(QIODevice& device, const SettingsValues& values) {
  QByteArray bytes;
  bytes += encodeLine(values.portText + QStringLiteral("<COM Port #>"));
  bytes += encodeLine(values.experiment + QStringLiteral("<Experiment description>"));
  for (int c = 1; c <= kChannels; ++c) {
    bytes += encodeLine(channelLine(c, values.selected[c], values.unitLabels[c]));
  }
  bytes += encodeLine(values.intervalCaption + QStringLiteral("<sec Reading interval>"));
  bytes += encodeLine(cellHasText(values.lastSaveName)
                          ? folderPart(values.lastSaveName) + QStringLiteral("<Initial directory>")
                          : QStringLiteral("<No initial directory defined>"));
  for (int c = 1; c <= kChannels; ++c) {
    const ChannelScaling& scaling = values.scalings[c];
    if (scaling.isIdentity()) continue;  // a set-up without scalings keeps its eight lines
    bytes += encodeLine(scalingNumberText(scaling.factor, values.separator) + scalingTag(c, true));
    bytes += encodeLine(scalingNumberText(scaling.offset, values.separator) + scalingTag(c, false));
  }
  errno = 0;
  if (device.write(bytes) != bytes.size()) {
    throw VelanError(fileErrorMessage(errno ? errno : ENOSPC));
  }
}

bool loadSettingsFile(SettingsTarget& target, QChar separator) {
  if (!fileExists(kSettingsFileName)) return false;
  QFile file(kSettingsFileName);
  if (!file.open(QIODevice::ReadOnly)) return false;
  readSettings(file, target, separator);
  return true;
}

void saveSettingsFile(const SettingsValues& values) {
  saveFile(kSettingsFileName, [&](QIODevice& file) { writeSettings(file, values); });
}
