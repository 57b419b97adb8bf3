#pragma once

#include <QDialog>
#include <array>

#include "channel_limits.h"
#include "record_store.h"

class QLabel;
class QLineEdit;

/// Options > "Limits...": a low and a high limit and a dead band per channel, in the channel's
/// unit; an empty field is no limit. "OK" takes them only when every field is empty or a number
/// and each channel's band can be used; otherwise it says why and changes nothing.
class LimitsDialog : public QDialog {
  Q_OBJECT
 public:
  LimitsDialog(const std::array<ChannelLimits, kChannels + 1>& limits,
               const std::array<QString, kChannels + 1>& units, QChar separator,
               QWidget* parent = nullptr);
  /// The limits the dialog was accepted with.
  const std::array<ChannelLimits, kChannels + 1>& limits() const { return limits_; }
  void accept() override;

 private:
  QChar separator_;
  std::array<ChannelLimits, kChannels + 1> limits_;
  std::array<QLineEdit*, kChannels + 1> lowEdits_{};
  std::array<QLineEdit*, kChannels + 1> highEdits_{};
  std::array<QLineEdit*, kChannels + 1> deadBandEdits_{};
  QLabel* message_ = nullptr;
};
