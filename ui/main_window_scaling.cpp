// The channels' scalings and limits: the dialogs, where they are kept, and how a record names
// them.
#include <QTime>

#include "channel_scaling_dialog.h"
#include "limits_dialog.h"
#include "main_window.h"
#include "user_settings.h"

ChannelScaling TForm1::scaling(int channel) const { return scalings_[channel]; }

void TForm1::setScaling(int channel, const ChannelScaling& scaling) {
  if (scaling == scalings_[channel]) return;
  scalings_[channel] = scaling;
  // Part of the user's working set-up, with the unit it converts into.
  UserSettings::setChannelScaling(channel, scaling, unitLabel(channel));
}

void TForm1::loadScalings() {
  for (int c = 1; c <= kChannels; ++c) {
    scalings_[c] = UserSettings::channelScaling(c);
    recorder_.setLimits(c, UserSettings::channelLimits(c));
  }
  UserSettings::restoreScaledUnits(*this);
}

void TForm1::limitsClick() {
  std::array<ChannelLimits, kChannels + 1> limits;
  std::array<QString, kChannels + 1> units;
  for (size_t c = 1; c < limits.size(); ++c) {
    limits[c] = recorder_.limits(static_cast<int>(c));
    units[c] = unitLabel(static_cast<int>(c));
  }
  LimitsDialog dialog(limits, units, separator_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  for (int c = 1; c <= kChannels; ++c) {
    recorder_.setLimits(c, dialog.limits()[c]);
    UserSettings::setChannelLimits(c, dialog.limits()[c]);
  }
}

void TForm1::limitCrossed(int channel, const QString& text) {
  limitCrossings_[channel] = QTime::currentTime().toString(QStringLiteral("hh:mm:ss ")) + text;
  notifier_.notify(channel, text);
  showRunStatus();
}

void TForm1::keepUnitWithScaling(int channel) {
  if (!scalings_[channel].isIdentity()) {
    UserSettings::setChannelScaling(channel, scalings_[channel], unitLabel(channel));
  }
}

void TForm1::channelScalingClick() {
  std::array<QString, kChannels + 1> units;
  for (size_t c = 1; c < units.size(); ++c) units[c] = unitLabel(static_cast<int>(c));
  std::function<double(int)> latest;
  if (recording()) latest = [this](int c) { return recorder_.latestMillivolts(c); };
  ChannelScalingDialog dialog(scalings_, units, separator_, latest, this);
  if (dialog.exec() != QDialog::Accepted) return;
  bool recordedChannelChanged = false;
  for (int c = 1; c <= kChannels; ++c) {
    recordedChannelChanged |= channelSelected(c) && (dialog.scalings()[c] != scalings_[c] ||
                                                     dialog.units()[c] != unitLabel(c));
  }
  // One unit per column in every file: the rows so far are saved as a part in their scaling,
  // and the run goes on in the next part in the new one.
  if (recording() && store_.rowCount > 0 && recordedChannelChanged) nextPart();
  for (int c = 1; c <= kChannels; ++c) {
    setUnitLabel(c, dialog.units()[c]);
    setScaling(c, dialog.scalings()[c]);
    keepUnitWithScaling(c);
  }
  // Row 1 is not stored yet: its start note names the scalings it will be stored with.
  if (recording()) parts_.rewriteStartNote();
}
