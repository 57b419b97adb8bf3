// The channels' scalings: the dialog, where they are kept, and how a record names them.
#include <QStringList>

#include "channel_scaling_dialog.h"
#include "main_window.h"
#include "user_settings.h"

ChannelScaling TForm1::scaling(int channel) const { return scalings_[channel]; }

void TForm1::setScaling(int channel, const ChannelScaling& scaling) {
  if (scaling == scalings_[channel]) return;
  scalings_[channel] = scaling;
  UserSettings::setChannelScaling(channel, scaling);  // part of the user's working set-up
}

void TForm1::loadScalings() {
  for (int c = 1; c <= kChannels; ++c) scalings_[c] = UserSettings::channelScaling(c);
}

QString TForm1::scalingsText() const {
  QStringList scaled;
  for (int c = 1; c <= kChannels; ++c) {
    if (channelSelected(c) && !scalings_[c].isIdentity()) {
      scaled << scalingDescription(c, scalings_[c], unitLabel(c), separator_);
    }
  }
  return scaled.join(QStringLiteral("  "));
}

void TForm1::setFirstNote(const QString& remarks) {
  firstNoteRemarks_ = remarks;
  // The start time, then how the values relate to the millivolts, so that a saved file
  // documents its own conversion.
  QStringList parts = {startTime(), scalingsText(), remarks};
  parts.removeAll(QString());
  const QString note = parts.join(QStringLiteral("  "));
  table_.setCell(DataTable::kNotesColumn, 1, note);
  journal_.noteAdded(1, note);  // row 1's note, journaled like any other
}

void TForm1::channelScalingClick() {
  std::array<QString, kChannels + 1> units;
  for (size_t c = 1; c < units.size(); ++c) units[c] = unitLabel(static_cast<int>(c));
  std::function<double(int)> latest;
  if (recording()) latest = [this](int c) { return recorder_.latestMillivolts(c); };
  ChannelScalingDialog dialog(scalings_, units, separator_, latest, this);
  if (dialog.exec() != QDialog::Accepted) return;
  for (int c = 1; c <= kChannels; ++c) setScaling(c, dialog.scalings()[c]);
  // Row 1 is not stored yet: its start note names the scalings it will be stored with. Later
  // rows note a change themselves.
  if (recording() && store_.rowCount == 0) setFirstNote(firstNoteRemarks_);
}
