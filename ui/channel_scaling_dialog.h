#pragma once

#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <array>
#include <functional>

#include "channel_scaling.h"
#include "record_store.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// Options > "Channel scaling...": factor, offset and unit of each channel, and a two-point
/// calibration that fills them in. "OK" takes them only when every field is a number, every
/// scaling can be applied and no scaled channel is labelled mV; otherwise it says why and
/// changes nothing.
class ChannelScalingDialog : public QDialog {
  Q_OBJECT
 public:
  /// `latestMillivolts` gives a channel's newest reading in mV (missing when there is none);
  /// without it (no run) the readings are typed.
  ChannelScalingDialog(const std::array<ChannelScaling, kChannels + 1>& scalings,
                       const std::array<QString, kChannels + 1>& units, QChar separator,
                       std::function<double(int)> latestMillivolts, QWidget* parent = nullptr);

  /// The scalings the dialog was accepted with.
  const std::array<ChannelScaling, kChannels + 1>& scalings() const { return scalings_; }
  /// The units the dialog was accepted with.
  const std::array<QString, kChannels + 1>& units() const { return units_; }

  /// Computes the calibration of the chosen channel into its fields; false (and why, in the
  /// message line) when the points give none.
  bool applyCalibration();
  /// Takes the chosen channel's latest reading into point `point` (1 or 2).
  void takeLatestReading(int point);
  void accept() override;

 private:
  QGridLayout* buildScalingGrid();  ///< each channel's factor, offset and unit
  QGroupBox* buildCalibration();    ///< the two-point calibration
  int calibratedChannel() const;
  void showMessage(const QString& text);

  QChar separator_;
  std::array<QString, kChannels + 1> units_;
  std::function<double(int)> latestMillivolts_;
  std::array<ChannelScaling, kChannels + 1> scalings_;
  std::array<QLineEdit*, kChannels + 1> factorEdits_{};
  std::array<QLineEdit*, kChannels + 1> offsetEdits_{};
  std::array<QLineEdit*, kChannels + 1> unitEdits_{};
  QComboBox* channelChoice_ = nullptr;
  std::array<QLineEdit*, 3> readingEdits_{};
  std::array<QLineEdit*, 3> trueValueEdits_{};
  QLabel* message_ = nullptr;
};
