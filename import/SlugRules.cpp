#include "import/SlugRules.h"
#include "core/DateText.h"
#include "core/NumberText.h"
#include <QLocale>
#include <cmath>

namespace rv {

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Reads 1 to maxDigits ASCII digits at i (at least minDigits); moves i past them.
bool readNumber(QStringView t, qsizetype& i, int minDigits, int maxDigits, int& value) {
    value = 0;
    int n = 0;
    while (i < t.size() && n < maxDigits && isDigit(t[i])) {
        value = value * 10 + (t[i].unicode() - u'0');
        ++i;
        ++n;
    }
    return n >= minDigits;
}

// Blanks, then "h:mm" or "h:mm:ss", up to the end of the text. No time at all gives
// midnight.
bool readTimePart(QStringView t, qsizetype i, QTime& time) {
    if (i == t.size()) {
        time = QTime(0, 0);
        return true;
    }
    const qsizetype blanks = i;
    while (i < t.size() && (t[i] == u' ' || t[i] == u'\t'))
        ++i;
    if (i == blanks) return false;
    int h = 0, m = 0, s = 0;
    if (!readNumber(t, i, 1, 2, h) || i >= t.size() || t[i] != u':') return false;
    ++i;
    if (!readNumber(t, i, 2, 2, m)) return false;
    if (i < t.size()) {
        if (t[i] != u':') return false;
        ++i;
        if (!readNumber(t, i, 2, 2, s)) return false;
    }
    if (i != t.size()) return false;
    time = QTime(h, m, s);
    return time.isValid();
}

// "yyyy/m/d" or "yyyy-m-d" (one separator throughout), then an optional time. Answers
// whether the text has this shape at all; `value` holds the moment when it is a real one.
bool readYearFirst(QStringView t, std::optional<QDateTime>& value) {
    qsizetype i = 0;
    int y = 0, mo = 0, d = 0;
    if (!readNumber(t, i, 4, 4, y) || i >= t.size()) return false;
    const QChar sep = t[i];
    if (sep != u'/' && sep != u'-') return false;
    ++i;
    if (!readNumber(t, i, 1, 2, mo) || i >= t.size() || t[i] != sep) return false;
    ++i;
    if (!readNumber(t, i, 1, 2, d)) return false;
    if (i < t.size() && isDigit(t[i])) return false;
    QTime time;
    if (!readTimePart(t, i, time)) return false;
    const QDate date(y, mo, d);
    if (date.isValid()) value = wallClock(date, time);
    return true;
}

// "a/b/yyyy" with "/", "-" or "." (one separator throughout), day and month in the given
// order, then an optional time.
std::optional<QDateTime> readYearLast(QStringView t, DayOrder order) {
    qsizetype i = 0;
    int a = 0, b = 0, y = 0;
    if (!readNumber(t, i, 1, 2, a) || i >= t.size()) return std::nullopt;
    const QChar sep = t[i];
    if (sep != u'/' && sep != u'-' && sep != u'.') return std::nullopt;
    ++i;
    if (!readNumber(t, i, 1, 2, b) || i >= t.size() || t[i] != sep) return std::nullopt;
    ++i;
    if (!readNumber(t, i, 4, 4, y)) return std::nullopt;
    if (i < t.size() && isDigit(t[i])) return std::nullopt;
    QTime time;
    if (!readTimePart(t, i, time)) return std::nullopt;
    const QDate date = order == DayOrder::DayFirst ? QDate(y, b, a) : QDate(y, a, b);
    if (!date.isValid()) return std::nullopt;
    return wallClock(date, time);
}

bool allDigits(QStringView t, std::initializer_list<qsizetype> at) {
    for (qsizetype i : at)
        if (i >= t.size() || !isDigit(t[i])) return false;
    return true;
}

} // namespace

void writeDateDigits(char* out, const QDate& date, char separator) {
    const int y = date.year(), m = date.month(), d = date.day();
    out[0] = char('0' + y / 1000 % 10);
    out[1] = char('0' + y / 100 % 10);
    out[2] = char('0' + y / 10 % 10);
    out[3] = char('0' + y % 10);
    out[4] = separator;
    out[5] = char('0' + m / 10);
    out[6] = char('0' + m % 10);
    out[7] = separator;
    out[8] = char('0' + d / 10);
    out[9] = char('0' + d % 10);
}

void writeTimeDigits(char* out, const QTime& time) {
    const int h = time.hour(), m = time.minute(), s = time.second();
    out[0] = char('0' + h / 10);
    out[1] = char('0' + h % 10);
    out[2] = ':';
    out[3] = char('0' + m / 10);
    out[4] = char('0' + m % 10);
    out[5] = ':';
    out[6] = char('0' + s / 10);
    out[7] = char('0' + s % 10);
}

const QStringList& schemaIniLines() {
    static const QStringList lines = [] {
        QStringList l{QStringLiteral("[datafile.txt]"), QStringLiteral("Format=CSVDelimited"),
                      QStringLiteral("ColNameHeader = false"),
                      QStringLiteral("Col1=SlugDate Text")};
        for (int i = 2; i <= 16; ++i)
            l << QStringLiteral("Col%1=C%2 Text").arg(i).arg(i - 1);
        return l;
    }();
    return lines;
}

QByteArray schemaIniBytes() {
    QByteArray bytes;
    for (const QString& line : schemaIniLines())
        bytes += line.toLatin1() + "\r\n";
    return bytes;
}

double roundHalfEven(double value) {
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction < 0.5) return below;
    if (fraction > 0.5) return below + 1;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

double slugInterval(const QString& text) {
    return roundHalfEven(leadingNumber(text));
}

DayOrder regionalDayOrder() {
    const QString format = QLocale::system().dateFormat(QLocale::ShortFormat);
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') quoted = !quoted;
        if (quoted) continue;
        if (c == u'd') return DayOrder::DayFirst;
        if (c == u'M') return DayOrder::MonthFirst;
    }
    return DayOrder::MonthFirst;
}

std::optional<QDateTime> readSlugDateTime(const QString& text, DayOrder order) {
    const QString trimmed = text.trimmed();
    std::optional<QDateTime> value;
    // The usual datalogger forms are read here directly; the general date reader is
    // asked only about the rest.
    if (readYearFirst(trimmed, value)) return value;
    if (auto yearLast = readYearLast(trimmed, order)) return yearLast;
    return readDateTime(trimmed);
}

qint64 hourBoundaries(const QDateTime& from, const QDateTime& to) {
    auto hourIndex = [](const QDateTime& t) {
        return qint64(t.date().toJulianDay()) * 24 + t.time().hour();
    };
    return hourIndex(to) - hourIndex(from);
}

std::vector<char> proposeMarks(qint64 rows, const std::function<QString(qint64)>& dateText,
                               double interval, DayOrder order, const QDate& lastDay) {
    std::vector<char> marks(std::size_t(rows > 0 ? rows : 0), 0);
    std::optional<QDateTime> anchor;
    for (qint64 r = 0; r < rows; ++r) {
        const QString text = dateText(r);
        const bool marker = text == kSlugMarker;
        const std::optional<QDateTime> moment = readSlugDateTime(text, order);
        bool ticked = false;
        if (moment && datedAfter(*moment, lastDay)) {
            ticked = false;
        } else if (r == 0) {
            ticked = !marker;
        } else if (moment) {
            ticked = !anchor || double(hourBoundaries(*anchor, *moment)) >= interval;
            ticked = ticked && !marker;
        }
        if (ticked && moment) anchor = moment;
        marks[std::size_t(r)] = ticked ? 1 : 0;
    }
    return marks;
}

std::optional<SlugMoment> slugMoment(const QString& s, SlugDateFormat format,
                                     const QString& sensorId, DayOrder order) {
    SlugMoment m;
    if (format == SlugDateFormat::YearMonthDay) {
        const std::optional<QDateTime> moment = readSlugDateTime(s, order);
        if (!moment) return std::nullopt;
        m.fullDate = *moment;
        char date[10], time[8];
        writeDateDigits(date, moment->date(), '/');
        writeTimeDigits(time, moment->time());
        m.dateText = QString::fromLatin1(date, 10);
        m.timeText = QString::fromLatin1(time, 8);
    } else {
        const QString day = s.mid(format == SlugDateFormat::DayMonthYear ? 0 : 3, 2);
        const QString month = s.mid(format == SlugDateFormat::DayMonthYear ? 3 : 0, 2);
        m.dateText = s.mid(6, 4) + u'/' + month + u'/' + day;
        m.timeText = s.mid(11, 8);
        if (m.dateText.size() != 10 || m.timeText.size() != 8 ||
            !allDigits(m.dateText, {0, 1, 2, 3, 5, 6, 8, 9}) ||
            !allDigits(m.timeText, {0, 1, 3, 4, 6, 7}) || m.timeText[2] != u':' ||
            m.timeText[5] != u':')
            return std::nullopt;
        const QDate date(m.dateText.left(4).toInt(), m.dateText.mid(5, 2).toInt(),
                         m.dateText.mid(8, 2).toInt());
        const QTime time(m.timeText.left(2).toInt(), m.timeText.mid(3, 2).toInt(),
                         m.timeText.mid(6, 2).toInt());
        if (!date.isValid() || !time.isValid()) return std::nullopt;
        m.fullDate = wallClock(date, time);
    }
    m.key = sensorId + u' ' + m.dateText + u' ' + m.timeText;
    return m;
}

QVariant importedChannel(const QString& staged, int decimals) {
    const QString trimmed = staged.trimmed();
    if (trimmed.isEmpty()) return QVariant();
    const QString formatted = formatPattern(trimmed, decimals);
    // Only the pattern's own result is a number as written: digits, the point and exactly
    // `decimals` digits after it, with a leading "-" when negative.
    const qsizetype point = formatted.indexOf(u'.');
    if (point < 1 || formatted.size() - point - 1 != decimals) return QVariant();
    for (qsizetype i = 0; i < formatted.size(); ++i) {
        if (i == point || (i == 0 && formatted[i] == u'-' && point > 1)) continue;
        if (!isDigit(formatted[i])) return QVariant();
    }
    return QVariant(formatted);
}

QString archiveFileName(const QString& sensorId, const QDate& day) {
    return QStringLiteral("MS") + sensorId + u'_' +
           QLocale::c().toString(day, QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".txt");
}

QString downloadFileName(const QString& sensorId) {
    return QStringLiteral("MS") + sensorId + QStringLiteral(".txt");
}

} // namespace rv
