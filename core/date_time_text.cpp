#include "date_time_text.h"

#include <QRegularExpression>

namespace {
// The system's short date format and its long time format without a time zone ("t"), which the
// record's start time never had.
std::pair<QString, QString> dateTimeFormats(const QLocale& locale) {
  QString timeFormat = locale.timeFormat(QLocale::LongFormat);
  static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
  timeFormat.replace(zone, QString());
  if (!timeFormat.contains(QLatin1Char('s'))) timeFormat = QStringLiteral("HH:mm:ss");
  return {locale.dateFormat(QLocale::ShortFormat), timeFormat};
}
}  // namespace

QString dateTimeText(const QDateTime& moment, const QLocale& locale) {
  const auto [dateFormat, timeFormat] = dateTimeFormats(locale);
  return locale.toString(moment.date(), dateFormat) + QStringLiteral("  ") +
         locale.toString(moment.time(), timeFormat);
}

std::optional<QDateTime> parseDateTimeText(const QString& text, const QLocale& locale) {
  const QString trimmed = text.trimmed();
  // ISO 8601, as scripts and other programs write it.
  for (const Qt::DateFormat iso : {Qt::ISODateWithMs, Qt::ISODate}) {
    const QDateTime moment = QDateTime::fromString(trimmed, iso);
    if (moment.isValid()) return moment;
  }
  const qsizetype gap = trimmed.indexOf(QStringLiteral("  "));
  if (gap < 0) return std::nullopt;
  const QString dateText = trimmed.left(gap);
  const QString timeText = trimmed.mid(gap + 2).trimmed();
  // What this system writes first, then its other formats, then the day.month.year the
  // program has always written wherever it ran: a record's start time is read wherever it goes.
  const auto [dateFormat, timeFormat] = dateTimeFormats(locale);
  const QLocale c = QLocale::c();
  const struct {
    const QLocale& locale;
    QString date;
    QString time;
  } formats[] = {
      {locale, dateFormat, timeFormat},
      {locale, locale.dateFormat(QLocale::LongFormat), timeFormat},
      {locale, dateFormat, locale.timeFormat(QLocale::ShortFormat)},
      {c, QStringLiteral("d.M.yyyy"), QStringLiteral("H:mm:ss")},
      {c, QStringLiteral("d.M.yy"), QStringLiteral("H:mm:ss")},
  };
  for (const auto& format : formats) {
    QDate date = format.locale.toDate(dateText, format.date);
    const QTime time = format.locale.toTime(timeText, format.time);
    if (!date.isValid() || !time.isValid()) continue;
    // A two-digit year is read as 19xx; records are from this century.
    if (!format.date.contains(QStringLiteral("yyyy")) && date.year() < 2000) {
      date = date.addYears(100);
    }
    return QDateTime(date, time);
  }
  return std::nullopt;
}
