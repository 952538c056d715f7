#include "reports/SheetEntry.h"
#include "core/DateText.h"
#include "core/NumberText.h"
#include <QDir>
#include <QFileInfo>
#include <cmath>

namespace rv {

namespace {

// Significant digits of a number as written: from the first non-zero digit of the
// mantissa to its last non-zero digit (the exponent is not counted).
int significantDigits(const QString& number) {
    int first = -1, last = -1, index = 0;
    for (const QChar c : number) {
        if (c == u'e' || c == u'E') break;
        if (c.isDigit()) {
            if (c != u'0') {
                if (first < 0) first = index;
                last = index;
            }
            ++index;
        }
    }
    return first < 0 ? 0 : last - first + 1;
}

// "h:mm" or "h:mm:ss" on the 24-hour clock, read by hand: every cell of a time column
// passes here.
bool readTimeOfDay(const QString& t, QTime& time) {
    const qsizetype n = t.size();
    if (n < 4 || n > 8) return false;
    qsizetype i = 0;
    auto number = [&](int minDigits, int maxDigits, int& out) {
        out = 0;
        int digits = 0;
        while (i < n && digits < maxDigits && t[i].isDigit()) {
            out = out * 10 + t[i].digitValue();
            ++i;
            ++digits;
        }
        return digits >= minDigits;
    };
    int h = 0, m = 0, s = 0;
    if (!number(1, 2, h) || i >= n || t[i] != u':') return false;
    ++i;
    if (!number(2, 2, m)) return false;
    if (i < n) {
        if (t[i] != u':') return false;
        ++i;
        if (!number(2, 2, s)) return false;
    }
    if (i != n || h > 23 || m > 59 || s > 59) return false;
    time = QTime(h, m, s);
    return true;
}

// A cheap test that spares the date reader texts that cannot be dates (keys, words).
bool mayBeDate(const QString& t) {
    return !t.isEmpty() && t.size() <= 24 && t.front().isDigit();
}

SheetEntry dateEntry(const QDateTime& moment, bool withTime) {
    SheetEntry e;
    e.kind = withTime ? SheetEntry::Kind::DateTime : SheetEntry::Kind::Date;
    e.date = moment.date();
    e.time = withTime ? moment.time() : QTime();
    return e;
}

} // namespace

SheetEntry typedEntry(const QString& text) {
    SheetEntry e;
    if (text.isEmpty()) return e;
    const QString t = text.trimmed();

    if (isNumberText(t) && significantDigits(t) <= 15) {
        const double value = leadingNumber(t);
        if (std::isfinite(value)) {
            e.kind = SheetEntry::Kind::Number;
            e.number = value;
            return e;
        }
    }
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
        t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) {
        e.kind = SheetEntry::Kind::Boolean;
        e.boolean = t.size() == 4;
        return e;
    }
    QTime time;
    if (readTimeOfDay(t, time)) {
        e.kind = SheetEntry::Kind::Time;
        e.time = time;
        e.number = time.msecsSinceStartOfDay() / 86400000.0;
        return e;
    }
    if (mayBeDate(t)) {
        if (const auto date = readDate(t); date && date->year() >= 1900)
            return dateEntry(wallClock(*date), false);
        if (const auto moment = readDateTime(t); moment && moment->date().year() >= 1900)
            return dateEntry(*moment, true);
    }
    e.kind = SheetEntry::Kind::Text;
    e.text = text;
    return e;
}

SheetEntry dateColumnEntry(const QString& text) {
    if (mayBeDate(text.trimmed()))
        if (const auto moment = readDateTime(text); moment && moment->date().year() >= 1900)
            return dateEntry(*moment, false);
    return typedEntry(text);
}

int shownWidth(const SheetEntry& entry) {
    switch (entry.kind) {
    case SheetEntry::Kind::Blank:
        return 0;
    case SheetEntry::Kind::Number:
        return int(plainDecimal(entry.number).size());
    case SheetEntry::Kind::Date:
        return 10; // yyyy/mm/dd
    case SheetEntry::Kind::DateTime:
        return 19; // yyyy/mm/dd hh:mm:ss
    case SheetEntry::Kind::Time:
        return 8; // hh:mm:ss
    case SheetEntry::Kind::Boolean:
        return 5; // FALSE
    case SheetEntry::Kind::Text:
        break;
    }
    // The widest line of the text.
    qsizetype widest = 0, start = 0;
    while (start <= entry.text.size()) {
        qsizetype end = entry.text.indexOf(u'\n', start);
        if (end < 0) end = entry.text.size();
        widest = std::max(widest, end - start);
        start = end + 1;
    }
    return int(std::min<qsizetype>(widest, kMaxColumnWidth));
}

QString cellText(const QString& text) {
    if (text.size() <= kMaxCellChars) return text;
    qsizetype keep = kMaxCellChars;
    if (text[keep - 1].isHighSurrogate()) --keep;
    return text.left(keep);
}

double fittedColumnWidth(int chars) {
    return std::min(kMaxColumnWidth, std::max(chars, 0) + 1);
}

QString newWorkbookPath(const QString& folder, const QString& sensor) {
    QString base = sensor.trimmed();
    for (QChar& c : base)
        if (c.unicode() < 32 || QStringLiteral("/\\:*?\"<>|").contains(c)) c = u'_';
    if (base.isEmpty() || base == QLatin1String(".") || base == QLatin1String(".."))
        base = QStringLiteral("Datasheet");
    const QDir dir(folder);
    for (int n = 1; n <= 9999; ++n) {
        const QString name =
            n == 1 ? base + QStringLiteral(".xlsx")
                   : base + QStringLiteral(" (") + QString::number(n) + QStringLiteral(").xlsx");
        const QString path = dir.filePath(name);
        if (!QFileInfo::exists(path)) return path;
    }
    return {};
}

} // namespace rv
