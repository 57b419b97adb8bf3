// Publishing a run's rows to an MQTT broker: the set-up dialog and the run's publisher.
#include <QApplication>

#include "main_window.h"
#include "publishing_dialog.h"

void TForm1::publishingClick() {
  PublishingDialog dialog(keptPublishSettings(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  keepPublishSettings(dialog.settings());
  if (dialog.password().isEmpty()) return;
  if (const QString why = writePasswordFile(userPasswordFile(), dialog.password());
      !why.isEmpty()) {
    prompts_.showError(
        QStringLiteral("The password could not be kept in %1: %2").arg(userPasswordFile(), why));
  }
}

void TForm1::startPublishing() {
  if (publisher_) {
    recorder_.removeListener(publisher_.get());
    publisher_.reset();
  }
  publishingProblem_.clear();
  const PublishSettings settings = keptPublishSettings();
  if (!settings.enabled || settings.broker.isEmpty()) return;
  const auto connection = RowPublisher::connectionFor(settings);
  if (const auto* problem = std::get_if<RowPublisher::Problem>(&connection)) {
    // The run records all the same; the status line's tool tip says why nothing is published.
    publishingProblem_ = QStringLiteral("Not publishing: ") + problem->message;
    return;
  }
  publisher_ = std::make_unique<RowPublisher>(
      std::get<MqttSender::Connection>(connection), store_, *this,
      RowPublisher::Run{[this] { return parts_.partStartTime(); }, [this] { return parts_.part(); },
                        [this] { return store_.readingInterval; }},
      [this](const QString& heard) {
        publishingProblem_ = heard;
        showRunStatus();
      },
      settings.homeAssistant);
  recorder_.addListener(publisher_.get());  // after the journal: a row is on disk first
  publisher_->beginRun();
}

void TForm1::stopPublishing() {
  if (!publisher_) return;
  QString text = statusText();
  const QString publishing = QStringLiteral("; ") + publisher_->statusText();
  if (text.endsWith(publishing)) text.chop(publishing.size());  // no longer true
  const QString detail = statusDetail_;
  setStatus(QStringLiteral("Publishing the %1 rows waiting").arg(publisher_->rowsWaiting()));
  repaint();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const int64_t unsent = publisher_->finish();
  QApplication::restoreOverrideCursor();
  recorder_.removeListener(publisher_.get());
  publisher_.reset();
  publishingProblem_ =
      unsent > 0
          ? QStringLiteral("%1 rows were not published (the broker did not take them)").arg(unsent)
          : QString();
  setStatus(publishingProblem_.isEmpty() ? text : text + QStringLiteral("; ") + publishingProblem_,
            detail);
}
