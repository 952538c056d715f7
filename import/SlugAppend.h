#pragma once
// Appending the ticked staged rows to the current sensor's readings: the readings each
// ticked row makes, the messages for the rows that cannot be appended, and the writing of
// all the rest in one transaction through one prepared statement.
#include "history/ImportHistory.h"
#include "import/SlugRules.h"
#include "import/StagedRows.h"
#include "platform/Progress.h"
#include "platform/Status.h"
#include <QSet>
#include <QVariant>
#include <vector>

namespace rv {

struct Session;
class Connection;

// One reading to be appended: its moment (which gives its key, date and time texts) and
// its channel values.
struct PlannedReading {
    QDateTime fullDate;
    QByteArray channelT; // "##0.0" text; a null array for Null
    QByteArray channel1; // "##0.00" text; a null array for Null
};

// The reading a staged row makes at its moment: its channel values as an append writes
// them ("##0.0" and "##0.00", Null when the staged value is empty or not a number).
PlannedReading plannedReading(const StagedRows& rows, qint64 row, const QDateTime& fullDate);

// Whether the database can take readings: it was opened for writing.
bool connectionWritable(const Connection& connection);

// The keys of the readings the table holds, letter case folded (foldedKey) as the test for
// a duplicate compares them: one query.
Result<QSet<QString>> storedReadingKeys(Connection& connection, const QString& table);

struct WriteOutcome {
    enum class Kind { Written, Cancelled, Failed };
    Kind kind = Kind::Written;
    Error error; // for Failed
    // On a site server, the readings (indices into those planned) whose keys another
    // engineer stored after they were planned: left out, the rest written.
    std::vector<qint64> storedMeanwhile;
};

// Inserts the readings into the readings table of the sensor `sensorId` in one
// transaction, a chunk of readings per step of one prepared statement, writing DateTimeKey,
// ReadingDate, ReadingTime, FullDate, ChannelT, Channel1, IsDirty (Yes) and DoNotPlot (No) and no
// other column. Progress counts the rows written; a cancel, or any failure, rolls
// everything back: the table then holds exactly what it held before. With a batch, the
// import history records it, with the key and the stored channel values of every reading,
// in the same transaction: the record exists exactly when the readings do.
// On a site server one import at a time writes to a sensor: the writing waits for another
// engineer's import into the same sensor to end (as long as any change is waited for),
// then leaves out what that import stored (storedMeanwhile), so no reading is stored twice
// and each import's record holds only its own readings.
WriteOutcome writeReadings(Connection& connection, const QString& sensorId,
                           const std::vector<PlannedReading>& readings, Progress& progress,
                           const ImportBatch* batch = nullptr);

// The file the staged rows came from, for the import history.
struct ImportSource {
    QString fileName; // without its folder
    QString sha256;
};

struct AppendOutcome {
    enum class Kind { Appended, Cancelled, Failed };
    Kind kind = Kind::Appended;
    qint64 appended = 0;      // rows written (0 unless Appended)
    Error error;              // for Failed
    std::vector<qint64> rows; // the staged rows written, in file order
};

// Appends the ticked staged rows (marks[r] non-zero) to the current sensor gSensorID, in
// file order, reading their date texts in the given layout. A row whose key the sensor
// already has, or an earlier ticked row of the same file had, is announced as a duplicate
// and skipped; so is a row whose date and time cannot be read, with a message naming it.
// All the others are written at once (writeReadings). Afterwards rsReadings holds the
// table's rows as a re-query gives them, on the last reading when the last ticked row was
// appended and on the first when it was skipped; it is left as it was when no row was
// ticked, or when nothing was written. With a source, and when the database holds the
// import history's tables, the append is recorded there as a batch of that file (the
// readings are appended all the same on a database without them).
//
// With storedKeys, the snapshot of the sensor's keys (folded) that the import window read
// when it opened, the keys are not read again and the keys written are added to it; and
// rsReadings is then left as it is, for the caller to refresh once (the window does so as
// it closes).
AppendOutcome appendTicked(Session& s, const StagedRows& rows, const std::vector<char>& marks,
                           SlugDateFormat format, DayOrder order, Progress& progress,
                           const ImportSource* source = nullptr,
                           QSet<QString>* storedKeys = nullptr);

} // namespace rv
