// The status line: what a run is doing, why no readings come, the driver's counts, where the
// parts went.
#include <QTime>

#include "main_window.h"

QString TForm1::statusText() const { return status_->text(); }

void TForm1::setStatus(const QString& text, const QString& detail) {
  status_->setText(text);
  statusDetail_ = detail;
  status_->setAccessibleName(text);
  // In full where the line is cut short: the text, then what explains it.
  const QString whole = (detail.isEmpty() ? text : text + QLatin1Char('\n') + detail).trimmed();
  status_->setToolTip(whole);
  status_->setAccessibleDescription(whole.isEmpty() ? QStringLiteral("Status")
                                                    : QStringLiteral("Status: ") + whole);
}

QString TForm1::lineCountsText() const {
  QStringList counts;
  const auto count = [](int n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
  };
  const int unanswered = recorder_.driver().unansweredRequests();
  if (unanswered > 0) {
    counts << count(unanswered, "request", "requests") +
                  QStringLiteral(" unanswered: a silent or slow converter");
  }
  const int rejected = recorder_.driver().rejectedAnswers();
  if (rejected > 0) {
    counts << count(rejected, "answer", "answers") +
                  QStringLiteral(" rejected: stray bytes, line noise or out of range");
  }
  return counts.join(QLatin1Char('\n'));
}

QString TForm1::runDetail() const {
  QStringList lines = {store_.converterOpen ? QString() : recorder_.driver().openFailure(),
                       lineCountsText(), partsSaved_, publishingProblem_};
  for (const QString& crossing : limitCrossings_) lines << crossing;
  lines.removeAll(QString());
  return lines.join(QLatin1Char('\n'));
}

void TForm1::rowStored() {
  tableFit_->takeRows(store_.rowCount, store_.rowCount);
  channelSilence_.rowStored(
      store_, *this, store_.rowCount, QDateTime::currentDateTime(),
      [this](int channel) { return troubleText(recorder_.driver().channelTrouble(channel)); });
  showRunStatus();
}

void TForm1::showRunStatus() {
  QString text =
      store_.converterOpen ? QStringLiteral("Recording") : QStringLiteral("No ADC16: Simulation");
  QString cause;
  if (store_.converterOpen && store_.rowCount > 0) {
    const bool reading = rowHasReading(store_, *this, store_.rowCount);
    if (reading) lastReadingAt_ = QTime::currentTime();
    // A device gone or a converter gone silent must not hide behind a plain "Recording", nor
    // a channel without values behind the others'.
    const QString silence = channelSilence_.text();
    text = !reading ? QStringLiteral("Recording: no readings from COM %1 since %2")
                          .arg(store_.portNumber)
                          .arg(lastReadingAt_.toString(QStringLiteral("hh:mm:ss")))
           : silence.isEmpty() ? QStringLiteral("Recording")
                               : QStringLiteral("Recording: ") + silence;
    if (!reading) cause = troubleText(recorder_.driver().trouble());
  }
  if (const QString disk = parts_.trouble(); !disk.isEmpty()) text += QStringLiteral("; ") + disk;
  if (publisher_) text += QStringLiteral("; ") + publisher_->statusText();
  QString detail = runDetail();
  if (!cause.isEmpty()) detail = cause + (detail.isEmpty() ? QString() : "\n" + detail);
  if (text != statusText() || detail != statusDetail_) setStatus(text, detail);
}
