#pragma once
// The export of a grid of readings to a spreadsheet: the grid's text becomes the first
// sheet of a new workbook, named after the sensor, which is then opened with the user's
// spreadsheet program.
#include <QString>

class QAbstractItemModel;

namespace rv {

struct Session;
class Progress;

// The message shown when no workbook can be written or no program can open it.
inline const QString kNoSpreadsheet =
    QStringLiteral("You need to have Microsoft Excel installed to use this function");

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
// Answers the path of the workbook opened, empty when none was.
QString FlexGridToExcel(Session& s, const QAbstractItemModel& grid, int rows, int cols, int number,
                        const QString& sheetName, Progress& progress,
                        const QString& folder = QString());

} // namespace rv
