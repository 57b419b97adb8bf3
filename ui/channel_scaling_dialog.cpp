#include "channel_scaling_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "numbers.h"
#include "velan_error.h"

namespace {

QLineEdit* numberEdit(const QString& name, const QString& text, QWidget* parent) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(name);
  edit->setAccessibleName(name);
  return edit;
}

}  // namespace

ChannelScalingDialog::ChannelScalingDialog(
    const std::array<ChannelScaling, kChannels + 1>& scalings,
    const std::array<QString, kChannels + 1>& units, QChar separator,
    std::function<double(int)> latestMillivolts, QWidget* parent)
    : QDialog(parent),
      separator_(separator),
      units_(units),
      latestMillivolts_(std::move(latestMillivolts)),
      scalings_(scalings) {
  setObjectName(QStringLiteral("ChannelScalingDialog"));
  setWindowTitle(QStringLiteral("Channel scaling"));
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      QStringLiteral("Each row is stored as factor x mV + offset, in the channel's unit (the "
                     "unit beside the channel on the main window). Factor 1 and offset 0 store "
                     "millivolts."),
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);
  if (latestMillivolts_) {  // a run: a file holds one unit per column
    auto* during = new QLabel(
        QStringLiteral("Recording now: a changed scaling or unit of a recorded channel saves the "
                       "rows so far as a part and goes on in a new part."),
        this);
    during->setObjectName(QStringLiteral("ScalingNewPart"));
    during->setWordWrap(true);
    layout->addWidget(during);
  }

  layout->addLayout(buildScalingGrid());
  layout->addWidget(buildCalibration());
  message_ = new QLabel(this);
  message_->setObjectName(QStringLiteral("ScalingMessage"));
  message_->setWordWrap(true);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(message_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
  connect(buttons, &QDialogButtonBox::accepted, this, &ChannelScalingDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QGridLayout* ChannelScalingDialog::buildScalingGrid() {
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Factor"), this), 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Offset"), this), 0, 3);
  grid->addWidget(new QLabel(QStringLiteral("Unit"), this), 0, 5);
  for (int c = 1; c <= kChannels; ++c) {
    auto* name = new QLabel(QStringLiteral("Ch. %1:").arg(c), this);
    factorEdits_[c] = numberEdit(QStringLiteral("Ch. %1 factor").arg(c),
                                 scalingNumberText(scalings_[c].factor, separator_), this);
    offsetEdits_[c] = numberEdit(QStringLiteral("Ch. %1 offset").arg(c),
                                 scalingNumberText(scalings_[c].offset, separator_), this);
    name->setBuddy(factorEdits_[c]);
    grid->addWidget(name, c, 0);
    grid->addWidget(factorEdits_[c], c, 1);
    grid->addWidget(new QLabel(QStringLiteral("x mV +"), this), c, 2);
    grid->addWidget(offsetEdits_[c], c, 3);
    unitEdits_[c] = numberEdit(QStringLiteral("Ch. %1 unit").arg(c), units_[c], this);
    grid->addWidget(new QLabel(QStringLiteral("="), this), c, 4);
    grid->addWidget(unitEdits_[c], c, 5);
  }
  return grid;
}

QGroupBox* ChannelScalingDialog::buildCalibration() {
  auto* calibration = new QGroupBox(QStringLiteral("Two-point calibration"), this);
  auto* points = new QGridLayout(calibration);
  channelChoice_ = new QComboBox(calibration);
  channelChoice_->setAccessibleName(QStringLiteral("Calibrated channel"));
  for (int c = 1; c <= kChannels; ++c) channelChoice_->addItem(QStringLiteral("Ch. %1").arg(c));
  auto* channelLabel = new QLabel(QStringLiteral("C&hannel:"), calibration);
  channelLabel->setBuddy(channelChoice_);
  points->addWidget(channelLabel, 0, 0);
  points->addWidget(channelChoice_, 0, 1);
  points->addWidget(new QLabel(QStringLiteral("Reading (mV)"), calibration), 1, 1);
  points->addWidget(new QLabel(QStringLiteral("True value"), calibration), 1, 3);
  for (int point = 1; point <= 2; ++point) {
    readingEdits_[point] =
        numberEdit(QStringLiteral("Reading %1 (mV)").arg(point), QString(), calibration);
    trueValueEdits_[point] =
        numberEdit(QStringLiteral("True value %1").arg(point), QString(), calibration);
    auto* latest = new QPushButton(QStringLiteral("Latest"), calibration);
    latest->setObjectName(QStringLiteral("TakeLatest%1").arg(point));
    latest->setAccessibleName(QStringLiteral("Take the latest reading as reading %1").arg(point));
    latest->setToolTip(QStringLiteral("The channel's newest row, in mV"));
    latest->setEnabled(static_cast<bool>(latestMillivolts_));  // only during a run
    connect(latest, &QPushButton::clicked, this, [this, point] { takeLatestReading(point); });
    points->addWidget(new QLabel(QStringLiteral("Point %1:").arg(point), calibration), point + 1,
                      0);
    points->addWidget(readingEdits_[point], point + 1, 1);
    points->addWidget(latest, point + 1, 2);
    points->addWidget(trueValueEdits_[point], point + 1, 3);
  }
  auto* use = new QPushButton(QStringLiteral("&Calculate factor and offset"), calibration);
  use->setObjectName(QStringLiteral("ApplyCalibration"));
  use->setAutoDefault(false);
  connect(use, &QPushButton::clicked, this, &ChannelScalingDialog::applyCalibration);
  points->addWidget(use, 4, 1, 1, 3);
  return calibration;
}

int ChannelScalingDialog::calibratedChannel() const { return channelChoice_->currentIndex() + 1; }

void ChannelScalingDialog::showMessage(const QString& text) {
  message_->setText(text);
  message_->setAccessibleName(text);
}

void ChannelScalingDialog::takeLatestReading(int point) {
  const int channel = calibratedChannel();
  const double latest = latestMillivolts_ ? latestMillivolts_(channel) : kMissingValue;
  if (isMissing(latest)) {
    showMessage(QStringLiteral("Ch. %1 has no reading in the newest row.").arg(channel));
    return;
  }
  // As the millivolts show in a row: two decimals, far below a converter step (0.61 mV).
  readingEdits_[point]->setText(formatDecimals(latest, 2, separator_));
}

bool ChannelScalingDialog::applyCalibration() {
  const int channel = calibratedChannel();
  try {
    std::array<double, 4> numbers{};
    const std::array<QLineEdit*, 4> fields = {readingEdits_[1], trueValueEdits_[1],
                                              readingEdits_[2], trueValueEdits_[2]};
    for (size_t i = 0; i < fields.size(); ++i) {
      try {
        numbers[i] = parseNumber(fields[i]->text(), separator_);
      } catch (const VelanError& error) {
        throw VelanError(fields[i]->accessibleName() + QStringLiteral(": ") + error.message());
      }
    }
    const ChannelScaling scaling = twoPointScaling(numbers[0], numbers[1], numbers[2], numbers[3]);
    if (const std::optional<QString> problem = scalingProblem(channel, scaling)) {
      throw VelanError(*problem);  // nothing filled in that OK would refuse
    }
    factorEdits_[channel]->setText(scalingNumberText(scaling.factor, separator_));
    offsetEdits_[channel]->setText(scalingNumberText(scaling.offset, separator_));
    showMessage(scalingDescription(channel, scaling, unitEdits_[channel]->text(), separator_) +
                QStringLiteral(" (taken on OK)"));
    return true;
  } catch (const VelanError& error) {
    showMessage(error.message());
    return false;
  }
}

void ChannelScalingDialog::accept() {
  std::array<ChannelScaling, kChannels + 1> entered{};
  try {
    for (size_t c = 1; c < entered.size(); ++c) {
      entered[c] = parseScaling(static_cast<int>(c), factorEdits_[c]->text(),
                                offsetEdits_[c]->text(), separator_);
    }
  } catch (const VelanError& error) {
    showMessage(error.message());  // nothing taken: the dialog stays open
    return;
  }
  for (size_t c = 1; c < entered.size(); ++c) {
    if (!entered[c].isIdentity() && unitEdits_[c]->text().trimmed() == kMillivolts) {
      showMessage(QStringLiteral("Ch. %1 unit: scaled values are not millivolts; type their "
                                 "unit (°C, V, bar ...).")
                      .arg(static_cast<int>(c)));
      unitEdits_[c]->setFocus();
      return;
    }
  }
  scalings_ = entered;
  for (int c = 1; c <= kChannels; ++c) units_[c] = unitEdits_[c]->text();
  QDialog::accept();
}
