#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

/// The system's short date, two spaces and its long time (seconds, no time zone).
QString dateTimeText(const QDateTime& moment, const QLocale& locale = QLocale::system());
/// The date and time of a record's start time: a dateTimeText of this system, or one in the
/// system's other formats, in day.month.year with two blanks before the time (as every Velan
/// has written), or ISO 8601. Nothing for any other text.
std::optional<QDateTime> parseDateTimeText(const QString& text,
                                           const QLocale& locale = QLocale::system());
