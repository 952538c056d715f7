#pragma once
// The history of changes as the report and the workbooks list it: one row per entry, with
// its moment, who made it, how, its kind, the reading and the values before and after.
// The one writer of the sheet "Changes" serves both the readings' export (a sensor's
// entries, beside its readings) and the Utilities tab (every entry of every sensor).
#include "platform/Status.h"
#include "store/ChangeHistory.h"
#include <QString>
#include <QStringList>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;

namespace rv {

class Progress;

// The name of the sheet.
inline const QString kChangesSheetName = QStringLiteral("Changes");

// The columns' titles: When, Who, How, Kind, Reading, Before, After; with the sensor,
// Sensor first.
QStringList changeColumnTitles(bool withSensor = false);
// The moment of an entry as listed: "14 Mar 2026 09:30:15"; empty when unknown.
QString changeWhenText(const QDateTime& when);
// The texts of an entry's row, in the order of changeColumnTitles().
QStringList changeRowTexts(const ChangeEntry& entry, bool withSensor = false);

// Fills `sheet` of `book` (a workbook written row after row) with a header row and one row
// per entry in the order given: the moment as a date and time cell, the rest as text.
// Reports the rows written to progress, counting on from `done`. Answers false when the
// user cancelled.
bool writeChangesSheet(lxw_workbook* book, lxw_worksheet* sheet,
                       const std::vector<ChangeEntry>& entries, bool withSensor, Progress& progress,
                       qint64 done);

// The most entries one sheet holds under its header row.
qint64 changesSheetCapacity();

// Writes a new workbook at `path` whose one sheet "Changes" lists the entries with their
// sensor. The workbook is written beside the path and then put in its place, so that a
// failure or a cancel leaves an existing file at the path as it was. Answers true when
// written, false when the user cancelled.
Result<bool> writeChangesWorkbook(const QString& path, const std::vector<ChangeEntry>& entries,
                                  Progress& progress);

} // namespace rv
