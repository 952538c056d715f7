#pragma once
// Field values as the rest of the system sees them. A field value is a QVariant
// holding one of: nothing (Null: an invalid QVariant), QString (text), double
// (number), bool (Yes/No) or QDateTime (a wall-clock date, see DateText.h).
#include <QString>
#include <QVariant>

namespace rv {

// The value appended to an empty text, as every display does: Null gives "", a
// text itself, a number its plainDecimal form, a Yes/No "True" or "False", a date
// its generalDateText.
QString displayText(const QVariant& value);

// A value formatted with a date pattern in Qt's notation ("yyyy/MM/dd"): a date is
// formatted; a text that readDateTime accepts is formatted as that date; any other
// text is returned unchanged; Null gives "".
QString formatDateValue(const QVariant& value, const QString& pattern);

// A value formatted with "##0.00" (decimals 2) or "##0.0" (decimals 1): a number
// through formatNumber, a text through formatPattern, Null gives "", a Yes/No
// its displayText unchanged.
QString formatNumberValue(const QVariant& value, int decimals);

} // namespace rv
