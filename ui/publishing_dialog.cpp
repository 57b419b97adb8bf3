#include "publishing_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {
QLineEdit* edit(const QString& name, const QString& text, QWidget* parent) {
  auto* line = new QLineEdit(text, parent);
  line->setObjectName(QString(name).remove(QLatin1Char(' ')));
  line->setAccessibleName(name);
  return line;
}
}  // namespace

PublishingDialog::PublishingDialog(const PublishSettings& settings, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("PublishingDialog"));
  setWindowTitle(QStringLiteral("Publishing"));
  setMinimumWidth(fontMetrics().averageCharWidth() * 64);
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      QStringLiteral("Every row goes to the MQTT broker as it is stored. While the broker is "
                     "away the rows wait on disk and follow, in order, when it is back. Changes "
                     "take effect at the next Start."),
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);

  publish_ = new QCheckBox(QStringLiteral("Publish rows"), this);
  publish_->setObjectName(QStringLiteral("PublishRows"));
  publish_->setChecked(settings.enabled);
  layout->addWidget(publish_);

  auto* form = new QFormLayout;
  broker_ = edit(QStringLiteral("Broker"), settings.broker, this);
  broker_->setPlaceholderText(QStringLiteral("mqtt://host:port or mqtts://..."));
  topic_ = edit(QStringLiteral("Topic"), settings.topic, this);
  topic_->setPlaceholderText(topicPrefix({}).text);
  userName_ = edit(QStringLiteral("User name"), settings.userName, this);
  password_ = edit(QStringLiteral("Password"), QString(), this);
  password_->setEchoMode(QLineEdit::Password);
  const bool kept = QFileInfo::exists(userPasswordFile());
  password_->setPlaceholderText(kept ? QStringLiteral("(kept; type to change)") : QString());
  caFile_ = edit(QStringLiteral("CA certificate"), settings.caFile, this);
  caFile_->setPlaceholderText(QStringLiteral("(the system's certificates)"));
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("  ...  ")) + 12);
  browse->setAccessibleName(QStringLiteral("Choose the CA certificate"));
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString file =
        QFileDialog::getOpenFileName(this, QStringLiteral("CA certificate"), caFile_->text());
    if (!file.isEmpty()) caFile_->setText(file);
  });
  auto* caRow = new QHBoxLayout;
  caRow->addWidget(caFile_);
  caRow->addWidget(browse);
  form->addRow(QStringLiteral("&Broker:"), broker_);
  form->addRow(QStringLiteral("&Topic:"), topic_);
  form->addRow(QStringLiteral("&User name:"), userName_);
  form->addRow(QStringLiteral("&Password:"), password_);
  auto* caLabel = new QLabel(QStringLiteral("&CA certificate:"), this);
  caLabel->setBuddy(caFile_);  // a row of a layout has no buddy of its own
  form->addRow(caLabel, caRow);
  layout->addLayout(form);

  homeAssistant_ = new QCheckBox(QStringLiteral("Announce the channels to Home Assistant"), this);
  homeAssistant_->setObjectName(QStringLiteral("HomeAssistantDiscovery"));
  homeAssistant_->setChecked(settings.homeAssistant);
  layout->addWidget(homeAssistant_);

  auto* where = new QLabel(QStringLiteral("The password is kept in %1, which only you may read.")
                               .arg(userPasswordFile()),
                           this);
  where->setWordWrap(true);
  layout->addWidget(where);
  problem_ = new QLabel(this);
  problem_->setObjectName(QStringLiteral("PublishingProblem"));
  problem_->setWordWrap(true);
  problem_->hide();
  layout->addWidget(problem_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));  // as every box
  connect(buttons, &QDialogButtonBox::accepted, this, &PublishingDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

PublishSettings PublishingDialog::settings() const {
  PublishSettings settings;
  settings.enabled = publish_->isChecked();
  settings.broker = broker_->text().trimmed();
  settings.topic = topic_->text().trimmed();
  settings.userName = userName_->text().trimmed();
  settings.caFile = caFile_->text().trimmed();
  settings.homeAssistant = homeAssistant_->isChecked();
  return settings;
}

QString PublishingDialog::password() const { return password_->text(); }

void PublishingDialog::accept() {
  // A set-up that cannot publish is said here, not at the next Start.
  const PublishSettings chosen = settings();
  QString problem;
  if (chosen.enabled || !chosen.broker.isEmpty()) {
    const auto address = parseBrokerUrl(chosen.broker);
    if (address.index() == 1) problem = std::get<1>(address);
    if (!QUrl(chosen.broker).password().isEmpty()) {
      problem = QStringLiteral(
          "A password never goes into the broker URL (it would show in the process list and the "
          "logs): type it in the Password field.");
    }
    if (const CheckedText topic = topicPrefix(chosen.topic); problem.isEmpty() && !topic.ok()) {
      problem = topic.problem;
    }
  }
  if (!problem.isEmpty()) {
    problem_->setText(problem);
    problem_->setAccessibleName(problem);
    problem_->show();
    return;
  }
  QDialog::accept();
}
