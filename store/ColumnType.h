#pragma once
// The logical type of a column, taken from its declared type, and the conversions
// between a field value (see core/Values.h) and what the file stores.
#include "platform/Status.h"
#include <QDate>
#include <QString>
#include <QStringView>
#include <QTime>
#include <QVariant>
#include <optional>

namespace rv {

enum class ColumnType { Any, Text, Number, Date, YesNo };

// TEXT, CHAR, MEMO: text; DOUBLE, REAL, FLOAT, NUMERIC, INT...: number; DATE, TIME...:
// date; YESNO, BOOL...: Yes/No; anything else (or nothing) takes any value.
ColumnType columnTypeOf(const QString& declaredType);

// A value written into a column, as the file stores it:
//  - Text: any value, as its display text;
//  - Number: a number, or a text that is a complete number; an empty text stores Null;
//  - Date: a date, or a text the date reader accepts (with an optional time); an empty
//    text stores Null; stored as "yyyy-MM-dd" or "yyyy-MM-dd HH:mm:ss";
//  - Yes/No: a boolean, a number (non-zero is Yes) or the texts Yes/No/True/False/On/Off
//    and -1/0/1; stored as 1 or 0.
// Anything else is refused with a type-mismatch error that names the column.
Result<QVariant> toStored(const QVariant& value, ColumnType type, const QString& column);

// A stored value as a field value: a Date column gives a wall-clock QDateTime, a
// Number column a double, a Yes/No column a bool, text a QString; Null stays Null.
QVariant fromStored(const QVariant& stored, ColumnType type);

// A date column's text in one of the two forms the store writes, "yyyy-MM-dd" and
// "yyyy-MM-dd HH:mm:ss", of a day and a time of day that exist; nothing for any other
// text (such a text is read by the general date reader instead).
struct StoredMoment {
    QDate date;
    QTime time;
};
std::optional<StoredMoment> storedMomentForm(QStringView text);

} // namespace rv
