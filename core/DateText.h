#pragma once
// Dates and times as the system writes and reads them. All values are wall-clock
// values: a QDateTime handled here always carries Qt::UTC as its timeSpec so that it
// never shifts with the machine's time zone or its daylight-saving changes; callers
// build them with wallClock().
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>
#include <optional>

namespace rv {

// A wall-clock date and time (timeSpec Qt::UTC, never converted).
QDateTime wallClock(const QDate& date, const QTime& time = QTime(0, 0));

// The system's short date form (QLocale::system() short format) with the year always
// written with four digits ("M/d/yy" becomes "M/d/yyyy").
QString shortDateFormat();
// The system's long time form without a time-zone designation.
QString longTimeFormat();

// The rules behind the two forms above, for any format in Qt's notation (quoted
// literals are left alone): every year written with fewer than four digits becomes
// "yyyy"; every time-zone designation ("t", "tttt") is removed together with the
// blanks and commas that separate it from the rest ("h:mm:ss AP t" -> "h:mm:ss AP").
QString widenYears(const QString& dateFormat);
QString withoutTimeZone(const QString& timeFormat);

// A date written in the short date form.
QString shortDateText(const QDate& date);
// The general date form of a date-and-time: the short date, a blank and the long time;
// the time is left out when it is exactly midnight (a date-only value).
QString generalDateText(const QDateTime& value);
QString generalDateText(const QDateTime& value, const QLocale& regional);

// The general date reader: accepts "yyyy/mm/dd" and "yyyy-mm-dd" (month and day with
// one or two digits) and the system's short date form; the text is trimmed first.
// Anything that does not name a real calendar day ("2005/13/45", "", "abc") gives
// nothing.
std::optional<QDate> readDate(const QString& text);
std::optional<QDate> readDate(const QString& text, const QLocale& regional);

// A date optionally followed by a blank (or "T") and a time "h:mm" or "h:mm:ss"
// (24-hour), or a blank and a time in the system's long or short time form ("2:30:00 PM"),
// so that what generalDateText writes is read back. A date alone gives midnight. The
// result is a wall-clock value.
std::optional<QDateTime> readDateTime(const QString& text);
std::optional<QDateTime> readDateTime(const QString& text, const QLocale& regional);

// "yyyy/MM/dd" of a date, "HH:mm:ss" of a time: the fixed text forms of readings
// whatever the regional settings.
QString readingDateText(const QDate& date);
QString readingTimeText(const QTime& time);

// "d MMM yyyy" ("9 Dec 2026"): the form in which messages, the history and its windows
// name a day, whatever the regional settings (the month's English abbreviation).
QString dayFormat();
QString dayText(const QDate& day);
// "14:32 on 9 Dec 2026"; "an unknown time" for none.
QString momentText(const QDateTime& when);

// The key of a reading: the identifier, a blank, yyyy/MM/dd, a blank, HH:mm:ss.
QString readingKey(const QString& instrumentId, const QDateTime& moment);

} // namespace rv
