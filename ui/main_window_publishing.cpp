// Publishing a run's rows to an MQTT broker: the set-up dialog and the run's publisher.

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
  if (drainingPublisher_) {
    // Given up: its rows wait on disk, and the new run's publisher sends them first.
    drainingTimer_.stop();
    drainingPublisher_.reset();
  }
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
                        [this] { return store_.readingInterval; },
                        [this] { return parts_.startNote(); }},
      [this](const QString& heard) {
        publishingProblem_ = heard;
        showRunStatus();
      },
      settings.homeAssistant);
  recorder_.addListener(publisher_.get());  // after the journal: a row is on disk first
  publisher_->beginRun();
}

void TForm1::stopPublishing(bool waitForIt) {
  if (!publisher_) return;
  recorder_.removeListener(publisher_.get());
  // The status as it was, without what the publisher said: no longer true.
  // The line was written before the newest row was counted: its lead alone is looked for.
  stoppedStatus_ = statusText();
  const QString lead = publisher_->statusText().section(QLatin1Char(','), 0, 0);
  const qsizetype publishing = stoppedStatus_.lastIndexOf(QStringLiteral("; ") + lead);
  if (publishing >= 0) stoppedStatus_.truncate(publishing);
  stoppedDetail_ = statusDetail_;
  drainingPublisher_ = std::move(publisher_);
  drainingPublisher_->beginFinish();
  publishingProblem_.clear();
  if (waitForIt) {
    drainingEnded();  // waits for the end
    return;
  }
  // The window stays at the user's hand meanwhile: the status line counts the rows down.
  drainingTick();
  drainingTimer_.start(100);
}

void TForm1::drainingTick() {
  if (drainingPublisher_->finished()) {
    drainingEnded();
    return;
  }
  setStatus(stoppedStatus_ +
                QStringLiteral("; sending %1 rows to the broker... (Start gives up: they wait on "
                               "disk and go with the next run)")
                    .arg(drainingPublisher_->rowsWaiting()),
            stoppedDetail_);
}

void TForm1::drainingEnded() {
  drainingTimer_.stop();
  const int64_t unsent = drainingPublisher_->unsent();
  drainingPublisher_.reset();
  publishingProblem_ = unsent > 0 ? QStringLiteral(
                                        "%1 rows were not published (the broker did "
                                        "not take them); they wait on disk and go "
                                        "with the next run that publishes")
                                        .arg(unsent)
                                  : QString();
  setStatus(publishingProblem_.isEmpty()
                ? stoppedStatus_
                : stoppedStatus_ + QStringLiteral("; ") + publishingProblem_,
            stoppedDetail_);
}
