#include "limits_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "numbers.h"
#include "velan_error.h"

namespace {
QString fieldText(const std::optional<double>& limit, QChar separator) {
  return limit ? limitText(*limit, separator) : QString();
}
}  // namespace

LimitsDialog::LimitsDialog(const std::array<ChannelLimits, kChannels + 1>& limits,
                           const std::array<QString, kChannels + 1>& units, QChar separator,
                           QWidget* parent)
    : QDialog(parent), separator_(separator), limits_(limits) {
  setObjectName(QStringLiteral("LimitsDialog"));
  setWindowTitle(QStringLiteral("Limits"));
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      QStringLiteral("Every stored row is checked: a value beyond a limit is noted on its row, "
                     "and noted again once it is back inside by the dead band. Empty: no limit."),
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Low limit"), this), 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("High limit"), this), 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Dead band"), this), 0, 3);
  const auto edit = [this](const QString& name, const QString& text) {
    auto* field = new QLineEdit(text, this);
    field->setObjectName(name);
    field->setAccessibleName(name);
    return field;
  };
  for (int c = 1; c <= kChannels; ++c) {
    const ChannelLimits& band = limits[c];
    auto* name = new QLabel(QStringLiteral("Ch. %1 (%2):").arg(c).arg(units[c].trimmed()), this);
    lowEdits_[c] = edit(QStringLiteral("Ch. %1 low limit").arg(c), fieldText(band.low, separator));
    highEdits_[c] =
        edit(QStringLiteral("Ch. %1 high limit").arg(c), fieldText(band.high, separator));
    deadBandEdits_[c] = edit(QStringLiteral("Ch. %1 dead band").arg(c),
                             band.deadBand != 0 ? limitText(band.deadBand, separator) : QString());
    name->setBuddy(lowEdits_[c]);
    grid->addWidget(name, c, 0);
    grid->addWidget(lowEdits_[c], c, 1);
    grid->addWidget(highEdits_[c], c, 2);
    grid->addWidget(deadBandEdits_[c], c, 3);
  }
  layout->addLayout(grid);
  message_ = new QLabel(this);
  message_->setObjectName(QStringLiteral("LimitsMessage"));
  message_->setWordWrap(true);
  layout->addWidget(message_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
  connect(buttons, &QDialogButtonBox::accepted, this, &LimitsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void LimitsDialog::accept() {
  std::array<ChannelLimits, kChannels + 1> entered{};
  const auto read = [this](QLineEdit* field) -> std::optional<double> {
    if (isBlankText(field->text())) return std::nullopt;
    return parseNumber(field->text(), separator_);
  };
  for (int c = 1; c <= kChannels; ++c) {
    try {
      entered[c] = {read(lowEdits_[c]), read(highEdits_[c]), read(deadBandEdits_[c]).value_or(0)};
    } catch (const VelanError& error) {
      message_->setText(QStringLiteral("Ch. %1: %2").arg(c).arg(error.message()));
      return;  // nothing taken: the dialog stays open
    }
    if (const std::optional<QString> problem = limitsProblem(c, entered[c])) {
      message_->setText(*problem);
      lowEdits_[c]->setFocus();
      return;
    }
  }
  limits_ = entered;
  QDialog::accept();
}
