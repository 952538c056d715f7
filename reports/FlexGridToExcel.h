#pragma once
// The export of a grid of readings to a spreadsheet: the grid's text becomes the first
// sheet of a new workbook, named after the sensor, which is then opened with the user's
// spreadsheet program.
#include "store/ChangeHistory.h"
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

class QAbstractItemModel;

namespace rv {

struct Session;
class Progress;

// The message shown when no workbook can be written or no program can open it.
inline const QString kNoSpreadsheet =
    QStringLiteral("You need to have Microsoft Excel installed to use this function");

// One reading on the "Sensor" sheet.
struct SensorSheetRow {
    QDateTime at; // the reading's date and time (wall clock); invalid when it has none
    QString key;  // written in its place when the sheet cannot hold it as a date (none, or
                  // a year before 1900)
    std::optional<double> load;        // tons above the offset; none when channel 1 holds none
    std::optional<double> temperature; // deg C; none when channel T holds no number
};

// The sheet "Sensor": the sensor's particulars, label beside value, then its plotted
// readings as a table ready to chart.
struct SensorSheet {
    QString sensor, type, level, location;
    QString installDate;                  // as stored; a date becomes a date cell
    QString offset;                       // as the offset box shows it
    std::optional<double> alert, alarm;   // tons above the offset; none without levels
    std::vector<SensorSheetRow> readings; // the plotted readings, in date order
};

// Copies grid cell (i - 1, j - 1) to sheet cell (i, j) for i = 1 ... rows and
// j = 1 ... cols - 1: the grid's last column is left out. Grid row 0 is the grid's fixed
// row, the model's horizontal header; grid row i >= 1 is the model's row i - 1. Column 2
// of the sheet holds dates shown yyyy/mm/dd; every other text is written as a typed
// entry would become (see SheetEntry.h). The columns are fitted to their contents and
// the sheet is named sheetName (an empty name, or one the spreadsheet refuses, keeps its
// default name).
//
// The workbook is a new file named after the sheet in folder (the system's temporary
// folder when empty); an earlier export is never overwritten. When it cannot be written,
// the user is told kNoSpreadsheet; when no program opens it, kNoSpreadsheet followed by
// where the workbook was written, and the failure is logged. The rows written are reported
// to progress; a cancel removes the unfinished file. `number` is accepted for the
// callers' sake and not used.
//
// With sensorSheet, a second sheet named "Sensor" follows the first: rows 1 to 8 the
// particulars ("Sensor", "Type", "Level", "Location", "Installation date", "Offset (t)",
// "Alert load (t)", "Alarm load (t)"), row 10 the note that readings marked Do not plot
// are not listed, row 12 the table's headers and from row 13 one row per reading: its
// date and time as a date, its load and temperature as numbers.
//
// With changes, a further sheet named "Changes" follows: a header row and one row per entry
// of the history in the order given (see ChangesSheet.h).
//
// Answers the path of the workbook opened, empty when none was.
QString FlexGridToExcel(Session& s, const QAbstractItemModel& grid, int rows, int cols, int number,
                        const QString& sheetName, Progress& progress,
                        const QString& folder = QString(), const SensorSheet* sensorSheet = nullptr,
                        const std::vector<ChangeEntry>* changes = nullptr);

} // namespace rv
