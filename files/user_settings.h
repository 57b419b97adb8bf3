#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include "channel_limits.h"
#include "channel_scaling.h"
#include "record_store.h"

/// The per-user settings, in the user's configuration folder (~/.config/Velan/Velan.conf): the
/// recent files, which device each serial port number means, the channels' scalings and limits.
/// Never in
/// Velan.ini, whose lines belong to the working set-up.
class UserSettings {
 public:
  /// Why the settings file cannot be read (its path and the reason); empty when it can, or
  /// when there is none yet. A file that cannot be read is never taken as the defaults. Ask
  /// before any other use of the settings: Qt keeps a file it has parsed, and says no more.
  static QString readProblem();

  static QStringList recentFiles();
  static void setRecentFiles(const QStringList& paths);

  /// The device that port `port` means: the one assigned to it, else /dev/ttyS<port - 1>
  /// (COM1 is ttyS0).
  static QString serialDevice(int port);
  /// Assigns `device` to `port`; an empty device removes the assignment.
  static void assignSerialDevice(int port, const QString& device);

  /// The folder chosen for the parts of long runs; empty when none was.
  static QString recordingsFolder();
  static void setRecordingsFolder(const QString& folder);

  /// What became of a run the system ended (a signal, the end of the desktop session), for the
  /// next start to say; taking it clears it.
  static QString takeEndedRunMessage();
  static void setEndedRunMessage(const QString& message);

  /// The scaling of channel `channel` last set; the identity when none was.
  static ChannelScaling channelScaling(int channel);
  /// The unit kept with the channel's scaling; empty when none was.
  static QString channelUnit(int channel);
  /// Gives each scaled channel of `fields` whose unit reads "mV" (a Velan.ini without scaling
  /// lines, the field's first text) the unit kept with its scaling.
  static void restoreScaledUnits(RecordFields& fields);
  /// Keeps a scaling with its unit, which belong together (the identity keeps neither).
  static void setChannelScaling(int channel, const ChannelScaling& scaling, const QString& unit);

  /// The limits of channel `channel`, in its unit; none when none were set.
  static ChannelLimits channelLimits(int channel);
  static void setChannelLimits(int channel, const ChannelLimits& limits);

  /// A setting of a layer above (publishing), by key.
  static QVariant value(const QString& key, const QVariant& fallback = {});
  static void setValue(const QString& key, const QVariant& value);
};
