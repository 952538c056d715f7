#include "sensors/SensorFilter.h"
#include "core/DateText.h"
#include "core/Values.h"
#include <QDateTime>
#include <QStringList>

namespace rv {

namespace {

const QString kFilterType = QStringLiteral("25: LODIX");
const QString kFilterTypeCode = QStringLiteral("25");
const QString kEarliestStart = QStringLiteral("1999/01/01");

bool sameText(const QVariant& value, const QString& wanted) {
    return displayText(value).trimmed().compare(wanted, Qt::CaseInsensitive) == 0;
}

// The calendar day of a stored install date: a date value, or a text the date reader
// takes (with or without a time).
std::optional<QDate> dayOf(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return value.toDateTime().isValid() ? std::optional(value.toDateTime().date())
                                            : std::nullopt;
    case QMetaType::QDate:
        return value.toDate().isValid() ? std::optional(value.toDate()) : std::nullopt;
    case QMetaType::QString:
        if (const auto moment = readDateTime(value.toString())) return moment->date();
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace

bool SensorFilterCriteria::isEmpty() const {
    return !onlyAlive && type.isEmpty() && level.isEmpty() && location.isEmpty() && !hasDates();
}

QString SensorFilterCriteria::expression() const {
    QStringList clauses;
    if (onlyAlive) clauses << QStringLiteral("Destroyed = 'No'");
    if (!type.isEmpty()) clauses << QStringLiteral("SensorType ='") + type + QStringLiteral("'");
    if (!level.isEmpty()) clauses << QStringLiteral("Level ='") + level + QStringLiteral("'");
    if (!location.isEmpty())
        clauses << QStringLiteral("Location ='") + location + QStringLiteral("'");
    if (hasDates())
        clauses << QStringLiteral("InstallDate >= ") + startText +
                       QStringLiteral(" AND InstallDate <= ") + endText;
    return clauses.join(QStringLiteral(" AND "));
}

bool SensorFilterCriteria::accepts(const std::function<QVariant(const QString&)>& column) const {
    if (onlyAlive && !sameText(column(QStringLiteral("Destroyed")), QStringLiteral("No")))
        return false;
    if (!type.isEmpty() && !sameText(column(QStringLiteral("SensorType")), type)) return false;
    if (!level.isEmpty() && !sameText(column(QStringLiteral("Level")), level)) return false;
    if (!location.isEmpty() && !sameText(column(QStringLiteral("Location")), location))
        return false;
    if (hasDates()) {
        const auto day = dayOf(column(QStringLiteral("InstallDate")));
        if (!day || *day < *start || *day > *end) return false;
    }
    return true;
}

std::optional<QString> filterTypeCode(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return QString();
    if (trimmed == kFilterType || trimmed == kFilterTypeCode) return kFilterTypeCode;
    return std::nullopt;
}

FilterReading readFilterBoxes(const FilterBoxes& boxes, const QDate& today) {
    FilterReading reading;
    SensorFilterCriteria& c = reading.criteria;

    const auto type = filterTypeCode(boxes.type);
    if (!type) {
        reading.refusal = FilterRefusal::UnknownType;
        return reading;
    }
    c.type = *type;
    c.level = boxes.level.trimmed();
    c.location = boxes.location.trimmed();

    std::optional<QDate> start, end;
    if (!boxes.start.isEmpty()) {
        start = readDate(boxes.start);
        if (!start) {
            reading.refusal = FilterRefusal::BadStartDate;
            return reading;
        }
    }
    if (!boxes.end.isEmpty()) {
        end = readDate(boxes.end);
        if (!end) {
            reading.refusal = FilterRefusal::BadEndDate;
            return reading;
        }
    }
    // The texts go into the expression as typed; a missing end of the range is filled in.
    if (start && !end) {
        end = today;
        c.startText = boxes.start;
        c.endText = shortDateText(today);
    } else if (end && !start) {
        start = readDate(kEarliestStart);
        c.startText = kEarliestStart;
        c.endText = boxes.end;
    } else if (start && end) {
        c.startText = boxes.start;
        c.endText = boxes.end;
    }
    c.start = start;
    c.end = end;

    c.onlyAlive = boxes.dontShowDestroyed;
    if (c.isEmpty()) reading.refusal = FilterRefusal::NoCriteria;
    return reading;
}

RowFilter toRowFilter(const SensorFilterCriteria& criteria) {
    return RowFilter{[criteria](const RowView& row) {
                         return criteria.accepts(
                             [&row](const QString& column) { return row.value(column); });
                     },
                     criteria.expression()};
}

} // namespace rv
