#pragma once
// Work on many readings of the current sensor at once: the datasheet's write-back and the
// deletion of the readings of a range of days. Each runs in one transaction with one
// prepared statement and addresses every reading by its row in the sensor's own table,
// so it is all or nothing and never touches another sensor's readings. No widget here.
#include "platform/Status.h"
#include <QDate>
#include <QString>
#include <optional>
#include <vector>

namespace rv {

class Connection;
class Recordset;
class DatasheetModel;

// Writes the datasheet back into the readings it shows: for every reading, each channel
// cell changed in the grid (columns 3 to L - 1, by position) and DoNotPlot from its mark.
// The date and time columns (0 to 2) cannot be changed in the grid and are not written;
// cells left unchanged keep their stored values. A value a column refuses, or a reading
// that is no longer there, leaves every reading as it was.
// On a site server, readings another engineer changed or deleted since the grid was filled
// are refused (ChangedByAnother, naming them); the grid rows of those deleted are added to
// deletedRows when given, since their edits can never be written back.
Status writeDatasheet(Connection& connection, Recordset& readings, const DatasheetModel& grid,
                      std::vector<int>* deletedRows = nullptr);

// The first cell changed in the grid whose text is no channel value (isChannelValue),
// described for the user: the column and the reading by its key, e.g. "The Channel1
// value "1.2." of the reading 200525001 2005/03/28 00:00:00 is not a number."; nothing
// when every changed cell may be written back. writeDatasheet refuses such a grid.
struct NotNumberCell {
    int row = 0;
    int column = 0;
    QString sentence;
};
std::optional<NotNumberCell> firstNotNumber(const DatasheetModel& grid);

// The calendar day of the current reading: its ReadingDate, or else the day of its
// FullDate, or else the day its key names; nothing when none of them can be read.
std::optional<QDate> readingDay(const Recordset& readings);

// The days of the first and the last reading of the open recordset (its order), each
// the nearest reading whose day can be read; nothing when there is none. The current
// reading stays current.
struct ReadingDays {
    QDate first;
    QDate last;
};
std::optional<ReadingDays> firstAndLastDays(Recordset& readings);

// "Readings from 14 Mar 2005 to 13 Jun 2005", or "No readings".
QString readingDaysText(const std::optional<ReadingDays>& days);

} // namespace rv
