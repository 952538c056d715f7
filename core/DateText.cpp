#include "core/DateText.h"

#include <QLocale>
#include <QRegularExpression>

namespace rv {

namespace {

bool isSeparator(QChar c) {
    return c.isSpace() || c == u',';
}

// Drops the blanks and commas at the end of a format under construction. Everything at
// the end is outside quotes: a quoted literal always ends with its closing quote.
void chopSeparators(QString& format) {
    while (!format.isEmpty() && isSeparator(format.back()))
        format.chop(1);
}

} // namespace

QDateTime wallClock(const QDate& date, const QTime& time) {
    return QDateTime(date, time, Qt::UTC);
}

QString widenYears(const QString& dateFormat) {
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < dateFormat.size();) {
        const QChar c = dateFormat[i];
        if (c == u'\'') {
            quoted = !quoted; // "''" toggles twice and so keeps the state, as it should
        } else if (!quoted && c == u'y') {
            qsizetype run = 1;
            while (i + run < dateFormat.size() && dateFormat[i + run] == u'y')
                ++run;
            out += run < 4 ? QStringLiteral("yyyy") : dateFormat.mid(i, run);
            i += run;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

QString withoutTimeZone(const QString& timeFormat) {
    QString out;
    bool quoted = false;
    bool skipFollowingSeparators = false;
    for (qsizetype i = 0; i < timeFormat.size();) {
        const QChar c = timeFormat[i];
        if (!quoted && c == u't') {
            while (i < timeFormat.size() && timeFormat[i] == u't')
                ++i;
            chopSeparators(out);
            // A designation that opens the format takes the separators after it instead.
            skipFollowingSeparators = out.isEmpty();
            continue;
        }
        if (skipFollowingSeparators && isSeparator(c)) {
            ++i;
            continue;
        }
        skipFollowingSeparators = false;
        if (c == u'\'') quoted = !quoted;
        out += c;
        ++i;
    }
    return out;
}

namespace {
QString shortDateFormatOf(const QLocale& regional) {
    return widenYears(regional.dateFormat(QLocale::ShortFormat));
}
QString longTimeFormatOf(const QLocale& regional) {
    return withoutTimeZone(regional.timeFormat(QLocale::LongFormat));
}
} // namespace

QString shortDateFormat() {
    return shortDateFormatOf(QLocale::system());
}

QString longTimeFormat() {
    return longTimeFormatOf(QLocale::system());
}

QString shortDateText(const QDate& date) {
    if (!date.isValid()) return {};
    return QLocale::system().toString(date, shortDateFormat());
}

QString generalDateText(const QDateTime& value) {
    return generalDateText(value, QLocale::system());
}

QString generalDateText(const QDateTime& value, const QLocale& regional) {
    const QDate date = value.date();
    if (!date.isValid()) return {};
    QString text = regional.toString(date, shortDateFormatOf(regional));
    const QTime time = value.time();
    if (time.isValid() && time != QTime(0, 0))
        text += u' ' + regional.toString(time, longTimeFormatOf(regional));
    return text;
}

std::optional<QDate> readDate(const QString& text) {
    return readDate(text, QLocale::system());
}

std::optional<QDate> readDate(const QString& text, const QLocale& regional) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return std::nullopt;

    // The fixed numeric form decides on its own when the text has its shape: a text
    // such as "2005/13/02" is refused rather than read in some other order.
    static const QRegularExpression numeric(
        QStringLiteral("^([0-9]{4})([/-])([0-9]{1,2})\\2([0-9]{1,2})$"));
    if (const auto match = numeric.match(trimmed); match.hasMatch()) {
        const QDate date(match.captured(1).toInt(), match.captured(3).toInt(),
                         match.captured(4).toInt());
        return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
    }

    // The regional short form, always with a four-digit year: two-digit years are never
    // guessed. (When the regional form already has four digits it is this very format.)
    const QDate date = regional.toDate(trimmed, shortDateFormatOf(regional));
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

std::optional<QDateTime> readDateTime(const QString& text) {
    return readDateTime(text, QLocale::system());
}

std::optional<QDateTime> readDateTime(const QString& text, const QLocale& regional) {
    const QString trimmed = text.trimmed();
    static const QRegularExpression withTime(
        QStringLiteral("^(.*\\S)(?:\\s+|T)([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?$"));
    if (const auto match = withTime.match(trimmed); match.hasMatch()) {
        const QTime time(match.captured(2).toInt(), match.captured(3).toInt(),
                         match.captured(4).toInt()); // no seconds: "" gives 0
        const auto date = readDate(match.captured(1), regional);
        if (date && time.isValid()) return wallClock(*date, time);
    }
    if (const auto date = readDate(trimmed, regional)) return wallClock(*date);
    // A time in the regional forms ("2:30:00 PM", "14.30"): the date is what comes before
    // one of the blanks, the time what follows it.
    const QString timeForms[] = {longTimeFormatOf(regional),
                                 withoutTimeZone(regional.timeFormat(QLocale::ShortFormat))};
    for (qsizetype blank = trimmed.indexOf(u' '); blank > 0;
         blank = trimmed.indexOf(u' ', blank + 1)) {
        const auto date = readDate(trimmed.left(blank), regional);
        if (!date) continue;
        for (const QString& form : timeForms) {
            const QTime time = regional.toTime(trimmed.mid(blank + 1).trimmed(), form);
            if (time.isValid()) return wallClock(*date, time);
        }
    }
    return std::nullopt;
}

QString readingDateText(const QDate& date) {
    return QLocale::c().toString(date, QStringLiteral("yyyy/MM/dd"));
}

QString readingTimeText(const QTime& time) {
    return QLocale::c().toString(time, QStringLiteral("HH:mm:ss"));
}

QString dayFormat() {
    return QStringLiteral("d MMM yyyy");
}

QString dayText(const QDate& day) {
    return QLocale::c().toString(day, dayFormat());
}

QString momentText(const QDateTime& when) {
    if (!when.isValid()) return QStringLiteral("an unknown time");
    return QLocale::c().toString(when, QStringLiteral("HH:mm")) + QStringLiteral(" on ") +
           dayText(when.date());
}

QString readingKey(const QString& instrumentId, const QDateTime& moment) {
    return instrumentId + u' ' + readingDateText(moment.date()) + u' ' +
           readingTimeText(moment.time());
}

} // namespace rv
