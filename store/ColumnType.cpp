#include "store/ColumnType.h"
#include "core/DateText.h"
#include "core/NumberText.h"
#include "core/Values.h"
#include <cmath>
#include <optional>

namespace rv {

ColumnType columnTypeOf(const QString& declaredType) {
    const QString d = declaredType.toUpper();
    if (d.contains(QLatin1String("YESNO")) || d.contains(QLatin1String("BOOL")) ||
        d.contains(QLatin1String("BIT")))
        return ColumnType::YesNo;
    if (d.contains(QLatin1String("DATE")) || d.contains(QLatin1String("TIME")))
        return ColumnType::Date;
    if (d.contains(QLatin1String("CHAR")) || d.contains(QLatin1String("TEXT")) ||
        d.contains(QLatin1String("MEMO")) || d.contains(QLatin1String("CLOB")))
        return ColumnType::Text;
    if (d.contains(QLatin1String("DOUBLE")) || d.contains(QLatin1String("REAL")) ||
        d.contains(QLatin1String("FLOA")) || d.contains(QLatin1String("NUM")) ||
        d.contains(QLatin1String("INT")) || d.contains(QLatin1String("DEC")))
        return ColumnType::Number;
    return ColumnType::Any;
}

std::optional<StoredMoment> storedMomentForm(QStringView t) {
    const qsizetype n = t.size();
    if (n != 10 && n != 19) return std::nullopt;
    auto digits = [&](qsizetype from, qsizetype count, int& out) {
        out = 0;
        for (qsizetype i = from; i < from + count; ++i) {
            const char16_t c = t[i].unicode();
            if (c < u'0' || c > u'9') return false;
            out = out * 10 + int(c - u'0');
        }
        return true;
    };
    int y, mo, d, h = 0, mi = 0, se = 0;
    if (!digits(0, 4, y) || t[4] != u'-' || !digits(5, 2, mo) || t[7] != u'-' || !digits(8, 2, d))
        return std::nullopt;
    if (n == 19 && (t[10] != u' ' || !digits(11, 2, h) || t[13] != u':' || !digits(14, 2, mi) ||
                    t[16] != u':' || !digits(17, 2, se)))
        return std::nullopt;
    const QDate date(y, mo, d);
    const QTime time(h, mi, se);
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    return StoredMoment{date, time};
}

namespace {

Error mismatch(const QVariant& value, const QString& column, const char* what) {
    return Error{err::TypeMismatch, QStringLiteral("Type mismatch: '") + displayText(value) +
                                        QStringLiteral("' is not ") + QLatin1String(what) +
                                        QStringLiteral(" and cannot be stored in ") + column};
}

bool isNumeric(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

// The two forms the store writes dates in, read without the general date reader (every
// reading's FullDate goes through here).
std::optional<QDateTime> storedDateForm(const QString& t) {
    const auto moment = storedMomentForm(t);
    if (!moment) return std::nullopt;
    return wallClock(moment->date, moment->time);
}

QString storedDate(const QDateTime& dt) {
    if (dt.time() == QTime(0, 0)) return dt.date().toString(QStringLiteral("yyyy-MM-dd"));
    return dt.date().toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') +
           dt.time().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

Result<QVariant> toStored(const QVariant& value, ColumnType type, const QString& column) {
    if (!value.isValid() || value.isNull()) return QVariant();
    switch (type) {
    case ColumnType::Any:
        if (value.typeId() == QMetaType::QDateTime) return QVariant(storedDate(value.toDateTime()));
        if (value.typeId() == QMetaType::Bool) return QVariant(value.toBool() ? 1 : 0);
        return value;
    case ColumnType::Text:
        return QVariant(displayText(value));
    case ColumnType::Number: {
        if (value.typeId() == QMetaType::Bool) return QVariant(value.toBool() ? -1.0 : 0.0);
        if (isNumeric(value)) {
            const double d = value.toDouble();
            if (!std::isfinite(d)) return mismatch(value, column, "a number");
            return QVariant(d);
        }
        const QString text = value.toString().trimmed();
        if (text.isEmpty()) return QVariant();
        if (!isNumberText(text)) return mismatch(value, column, "a number");
        const double d = leadingNumber(text);
        if (!std::isfinite(d)) return mismatch(value, column, "a number");
        return QVariant(d);
    }
    case ColumnType::Date: {
        if (value.typeId() == QMetaType::QDateTime) {
            const QDateTime dt = value.toDateTime();
            if (!dt.isValid()) return mismatch(value, column, "a date");
            return QVariant(storedDate(wallClock(dt.date(), dt.time())));
        }
        if (value.typeId() == QMetaType::QDate) {
            if (!value.toDate().isValid()) return mismatch(value, column, "a date");
            return QVariant(storedDate(wallClock(value.toDate())));
        }
        if (value.typeId() != QMetaType::QString) return mismatch(value, column, "a date");
        const QString text = value.toString().trimmed();
        if (text.isEmpty()) return QVariant();
        const auto dt = readDateTime(text);
        if (!dt) return mismatch(value, column, "a date");
        return QVariant(storedDate(*dt));
    }
    case ColumnType::YesNo: {
        if (value.typeId() == QMetaType::Bool) return QVariant(value.toBool() ? 1 : 0);
        if (isNumeric(value)) return QVariant(value.toDouble() != 0.0 ? 1 : 0);
        const QString t = value.toString().trimmed().toLower();
        if (t == QLatin1String("yes") || t == QLatin1String("true") || t == QLatin1String("on") ||
            t == QLatin1String("-1") || t == QLatin1String("1"))
            return QVariant(1);
        if (t == QLatin1String("no") || t == QLatin1String("false") || t == QLatin1String("off") ||
            t == QLatin1String("0"))
            return QVariant(0);
        return mismatch(value, column, "Yes or No");
    }
    }
    return value;
}

QVariant fromStored(const QVariant& stored, ColumnType type) {
    if (!stored.isValid() || stored.isNull()) return QVariant();
    switch (type) {
    case ColumnType::Text:
        if (stored.typeId() == QMetaType::QString) return stored;
        return QVariant(displayText(stored));
    case ColumnType::Number:
        if (stored.typeId() == QMetaType::QString) {
            const QString t = stored.toString();
            return isNumberText(t) ? QVariant(leadingNumber(t)) : stored;
        }
        return QVariant(stored.toDouble());
    case ColumnType::Date: {
        if (stored.typeId() != QMetaType::QString) return stored;
        const QString text = stored.toString();
        if (const auto fast = storedDateForm(text)) return QVariant(*fast);
        const auto dt = readDateTime(text);
        return dt ? QVariant(*dt) : stored;
    }
    case ColumnType::YesNo:
        if (stored.typeId() == QMetaType::QString) return stored;
        return QVariant(stored.toDouble() != 0.0);
    case ColumnType::Any:
        return stored;
    }
    return stored;
}

} // namespace rv
