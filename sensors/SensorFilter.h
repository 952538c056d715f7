#pragma once
// The sensor filter's criteria: read from what the filter boxes hold, written as the
// filter expression, and evaluated on a Sensors row as a predicate. The expression text
// is kept for display and the log; rows are never judged by parsing it, so a level or
// location holding a quote, a backquote or a percent sign filters as the plain text it is.
#include "store/Recordset.h"
#include <QDate>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>

namespace rv {

// The filter boxes as the user left them.
struct FilterBoxes {
    QString type;                   // txtFilterType
    QString level;                  // txtFilterLevel
    QString location;               // txtFilterLocation
    QString start;                  // txtStartDate
    QString end;                    // txtEndDate
    bool dontShowDestroyed = false; // chkDontShowDestroyed
};

struct SensorFilterCriteria {
    bool onlyAlive = false; // Destroyed is "No"
    QString type;           // the type code, empty for none
    QString level;          // trimmed, empty for none
    QString location;       // trimmed, empty for none
    // The installation date range, both days included. Either both ends are present or
    // neither; the texts are the ones written into the expression.
    std::optional<QDate> start, end;
    QString startText, endText;

    bool hasDates() const { return start.has_value() && end.has_value(); }
    // No criterion at all: nothing to filter on.
    bool isEmpty() const;

    // The filter expression: the clauses present, in a fixed order, joined by " AND ":
    // Destroyed = 'No' AND SensorType ='25' AND Level ='L12' AND Location ='North' AND
    // InstallDate >= 2005/01/01 AND InstallDate <= 2005/12/31.
    QString expression() const;

    // Whether a Sensors row passes, given its columns by name. Texts are compared whole,
    // trimmed and without regard to letter case; the install date as a calendar date.
    // A row without an install date (or with one that is no date) fails a date range.
    bool accepts(const std::function<QVariant(const QString&)>& column) const;
};

enum class FilterRefusal {
    None,
    UnknownType,  // the type text is neither "25: LODIX", "25" nor empty
    BadStartDate, // the start text is not empty and not a date
    BadEndDate,   // the end text is not empty and not a date
    NoCriteria    // nothing to filter on and the check box unticked
};

struct FilterReading {
    FilterRefusal refusal = FilterRefusal::None;
    SensorFilterCriteria criteria;
};

// The type code a type text stands for: "25" for "25: LODIX" or "25", empty for an empty
// text (blanks trimmed); nothing for any other text.
std::optional<QString> filterTypeCode(const QString& text);

// Reads the boxes in the order the user is told about problems: the type, then the start
// date, then the end date, then whether any criterion is left. A range with only one end
// is completed: a missing end becomes today (written in the short date form), a missing
// start 1999/01/01.
FilterReading readFilterBoxes(const FilterBoxes& boxes, const QDate& today);

// The criteria as a recordset filter: their predicate, with their expression as its text.
RowFilter toRowFilter(const SensorFilterCriteria& criteria);

} // namespace rv
