#pragma once

#include <QIODevice>
#include <QString>

#include "record_store.h"
#include "velan_error.h"

/// Where the settings file's lines go, applied one by one as they are read.
class SettingsTarget {
 public:
  virtual ~SettingsTarget() = default;
  virtual void setPortText(const QString& text) = 0;
  virtual QString portText() const = 0;
  virtual void setPortNumber(int port) = 0;
  virtual RecordFields& recordFields() = 0;
  virtual void setReadingInterval(int milliseconds) = 0;
  virtual void setInitialDirectory(const QString& folder) = 0;
};

/// What the settings file is written from.
struct SettingsValues {
  QString portText;
  QString experiment;
  std::array<bool, kChannels + 1> selected{};
  std::array<QString, kChannels + 1> unitLabels;
  QString intervalCaption;  ///< the monitor's interval display, in seconds
  QString lastSaveName;     ///< the name last confirmed in the save dialog
  std::array<ChannelScaling, kChannels + 1> scalings{};
  QChar separator = QLatin1Char('.');  ///< of the scalings' numbers
};

/// A settings line that cannot be read: the program's message (as the window shows it) and the
/// line's number, for a reader that is told more than the message box says.
class SettingsLineError : public VelanError {
 public:
  SettingsLineError(const QString& message, int line) : VelanError(message), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

inline const QString kSettingsFileName = QStringLiteral("Velan.ini");

/// Reads the 8 lines and applies each at once; a conversion failure throws SettingsLineError
/// after the lines before it were applied. Then the scalings, in lines after the eighth, which a
/// reader of the eight never sees: a channel without them keeps its scaling.
void readSettings(QIODevice& device, SettingsTarget& target, QChar separator);
/// The 8 lines, then a factor and an offset line for each channel whose scaling is no identity.
void writeSettings(QIODevice& device, const SettingsValues& values);

/// Reads "Velan.ini" from the current folder if it exists; returns false when there is none.
bool loadSettingsFile(SettingsTarget& target, QChar separator);
/// Writes "Velan.ini" into the current folder atomically. Throws VelanError.
void saveSettingsFile(const SettingsValues& values);
