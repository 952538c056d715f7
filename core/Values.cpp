#include "core/Values.h"

#include "core/DateText.h"
#include "core/NumberText.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>

namespace rv {

namespace {

enum class Kind { Null, Text, Number, Signed, Unsigned, YesNo, DateTime, Date, Other };

// Integers are kept apart from doubles so that large ones are written digit for digit
// instead of going through the nearest double.
Kind kindOf(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return Kind::Null;
    switch (value.typeId()) {
    case QMetaType::QString:
        return Kind::Text;
    case QMetaType::Double:
    case QMetaType::Float:
        return Kind::Number;
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
        return Kind::Signed;
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
        return Kind::Unsigned;
    case QMetaType::Bool:
        return Kind::YesNo;
    case QMetaType::QDateTime:
        return Kind::DateTime;
    case QMetaType::QDate:
        return Kind::Date;
    default:
        return Kind::Other;
    }
}

QString integerText(const QVariant& value, Kind kind) {
    return kind == Kind::Signed ? QString::number(value.toLongLong())
                                : QString::number(value.toULongLong());
}

} // namespace

QString displayText(const QVariant& value) {
    const Kind kind = kindOf(value);
    switch (kind) {
    case Kind::Null:
        return {};
    case Kind::Text:
        return value.toString();
    case Kind::Number:
        return plainDecimal(value.toDouble());
    case Kind::Signed:
    case Kind::Unsigned:
        return integerText(value, kind);
    case Kind::YesNo:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case Kind::DateTime:
        return generalDateText(value.toDateTime());
    case Kind::Date:
        return generalDateText(wallClock(value.toDate()));
    case Kind::Other:
        break;
    }
    return value.toString();
}

QString formatDateValue(const QVariant& value, const QString& pattern) {
    QDateTime moment;
    switch (kindOf(value)) {
    case Kind::Null:
        return {};
    case Kind::DateTime:
        moment = value.toDateTime();
        break;
    case Kind::Date:
        moment = wallClock(value.toDate());
        break;
    case Kind::Text: {
        const auto read = readDateTime(value.toString());
        if (!read) return value.toString();
        moment = *read;
        break;
    }
    default:
        // Numbers and Yes/No are not dates: they keep their usual text.
        return displayText(value);
    }
    if (!moment.isValid()) return {};
    // Patterns give fixed forms such as "yyyy/MM/dd": written with ASCII digits whatever
    // the regional settings (names such as "MMM" therefore come out in English).
    return QLocale::c().toString(moment, pattern);
}

QString formatNumberValue(const QVariant& value, int decimals) {
    const Kind kind = kindOf(value);
    switch (kind) {
    case Kind::Null:
        return {};
    case Kind::Number:
        return formatNumber(value.toDouble(), decimals);
    case Kind::Signed:
    case Kind::Unsigned:
        return formatPattern(integerText(value, kind), decimals);
    case Kind::Text:
        return formatPattern(value.toString(), decimals);
    default:
        // Yes/No and dates are not numbers: they keep their usual text.
        return displayText(value);
    }
}

} // namespace rv
