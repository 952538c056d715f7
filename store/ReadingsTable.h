#pragma once
// The readings table of a sensor (named after its InstrumentID): the work on its rows that
// the plots, the comparison, the level checks, the datasheet and the deletion of readings
// ask for. Many rows are always worked in one transaction with one prepared statement.
//
// A reading is plotted when its DoNotPlot is false; it has a load when its channel 1
// begins with a number (hasLeadingNumber). An identifier that cannot name a table (empty,
// or holding a backquote) is refused before any statement is made of it. The loads are channel 1
// less the installation offset and the temperatures channel T as a number (core/Loads.h).
#include "platform/Status.h"
#include "store/ChangeHistory.h"
#include "store/Connection.h"
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace rv {

class Progress;

// The number of plotted readings of the sensor whose channel 1 holds a load. A missing or
// unreadable table is a failure (the engine's error).
Result<qint64> countPlottableReadings(Connection& c, const QString& instrumentId);

// What recomputeLoads did.
struct LoadsRecomputed {
    Status status;          // a failure stores nothing
    bool cancelled = false; // the user cancelled through the progress: nothing stored
    qint64 computed = 0;    // plotted readings whose values were computed
    qint64 written = 0;     // readings whose stored values changed
    // Per reading, the first value its number column cannot hold (an infinite load from a
    // text such as "1e999"): stored as Null. Reported even when nothing was stored.
    std::vector<Error> notStored;
};
// Brings zero1 and NumTemp of every plotted reading up to date (readings marked
// DoNotPlot are never touched): zero1 the load after offset (the offset as the loads use
// it, see installationOffset), NumTemp the temperature. Only a reading whose stored
// values differ from the computed ones is written, so a second recomputation with the
// same offset writes nothing; what is stored in the end is the same either way. One
// transaction: a failure or a cancel leaves every reading as it was. The progress is
// stepped with the readings computed so far while the statement runs (it is neither
// begun nor ended here).
// An engine that cannot call the program's functions reads the readings into the program
// to compute them. Given `plot`, such an engine fills it from the same read with what the
// plot draws, so that the readings cross the network once; on the file it stays empty
// (the plot reads the stored values itself).
struct PlotReadings {
    struct Point {
        double time;  // FullDate as wall-clock seconds since 1970
        qint64 rowid; // the table's row number, which orders equal moments
        std::optional<double> load, temperature; // as stored now; none for a Null
    };
    // The plotted readings whose channel 1 holds a load and whose FullDate can be read, in
    // no particular order.
    std::vector<Point> points;
    qint64 readings = 0; // plotted rows read
    // The days of the first and the last reading holding a load in the plot's order (by
    // FullDate, Null first): ReadingDate's day, else FullDate's; none without a date.
    std::optional<QDate> firstDay, lastDay;
    bool complete = false; // every plotted reading was read
};
LoadsRecomputed recomputeLoads(Connection& c, const QString& instrumentId, double offset,
                               Progress& progress, PlotReadings* plot = nullptr);

// The loads of a sensor's plotted readings whose channel 1 holds a load, computed with the
// offset given (a load that cannot be stored, an infinite one, is left out), each at its
// FullDate as wall-clock seconds since 1970 (a reading without a readable FullDate is
// left out). In the table's own order, not in time order; nothing is stored. One query.
struct PlottedLoads {
    QVector<double> times, loads;
    qint64 readings = 0; // plotted rows read, including the ones left out
    // The readings with a readable FullDate left out for a load that cannot be stored
    // ("1e999"): their moments and channel 1 texts, in the table's order.
    QVector<double> unusableTimes;
    QStringList unusableTexts;
    // The readings holding a load whose FullDate cannot be read: on no time axis.
    qint64 undated = 0;
};
Result<PlottedLoads> readPlottedLoads(Connection& c, const QString& instrumentId, double offset);

// The latest plotted reading with a load: by FullDate, the last written of equal moments.
struct LatestReading {
    QString channel1; // as text
    QString fullDate; // as stored
};
// The latest plotted reading of each sensor named, in the same order: none for a sensor
// without one, without a readings table, or whose identifier cannot name a table.
Result<std::vector<std::optional<LatestReading>>> latestPlottedReadings(Connection& c,
                                                                        const QStringList& ids);

// The latest plotted reading with a load dated before `at`: the reading a rise per day is
// measured from. FullDate is compared in the form the store writes moments (the date
// alone at midnight), so a reading at midnight is never its own previous reading; the
// FullDate index serves the search. None when there is no such reading.
Result<std::optional<LatestReading>>
previousPlottedReading(Connection& c, const QString& instrumentId, const QDateTime& at);

// New values for one reading of a table: its row, each changed channel column (its index in
// the column list given with it) with the value to store, and its DoNotPlot mark, all as
// the columns store them (see toStored).
struct ReadingValues {
    qint64 rowid = 0;
    std::vector<std::pair<int, QVariant>> changed;
    QVariant doNotPlot;
};
// What a site server tells of a table without its rows being read: how many rows it holds,
// its highest row number, and a mark of the changes and deletions other users made to its
// rows (the same mark while they make none; empty on a file, or where the server keeps no
// record of them).
struct TableMark {
    qint64 rows = 0;
    qint64 highestRow = 0;
    QString othersChanges;
};
Result<TableMark> tableMark(Connection& c, const QString& table);

// Writes the values of every reading given into the table; a channel column that is not
// among a reading's changed ones keeps its stored value. A reading that is no longer there
// or a value a column refuses leaves every reading as it was. beforeWriting, when given, runs
// inside the write's transaction before the first reading is written; its failure leaves
// every reading as it was too.
// Each reading whose values the write really changes is recorded in the history of changes
// (store/ChangeHistory.h) as one action named `how`, in the same transaction; a reading
// written with the values it holds records nothing.
Status writeReadingValues(Connection& c, const QString& table, const QStringList& channelColumns,
                          const std::vector<ReadingValues>& readings,
                          const std::function<Status()>& beforeWriting = {},
                          const QString& how = how::Datasheet);

// The day of a reading from its ReadingDate, FullDate and DateTimeKey as field values (the
// dates as fromStored gives them); nothing when no day can be read.
using ReadingDayRule = std::function<std::optional<QDate>(
    const QVariant& readingDate, const QVariant& fullDate, const QVariant& dateTimeKey)>;
// Deletes the readings of the table dated from `first` to `last`, both days included, in
// one transaction, and answers how many were deleted; a start after the end deletes none.
// A reading whose ReadingDate is a day in the form the store writes it ("yyyy-MM-dd", with
// or without a valid time) and whose FullDate falls on that same day is dated by that day:
// those readings are chosen by one statement on FullDate, which the FullDate index serves.
// Every other reading is dated by `dayOf`, and kept when it gives no day. A failure
// deletes nothing.
// Every reading deleted is kept in the history of changes, as one action named `how`.
Result<qint64> deleteReadingsOnDays(Connection& c, const QString& table, const QDate& first,
                                    const QDate& last, const ReadingDayRule& dayOf,
                                    const QString& how = how::DeleteReadings);
// Deletes every reading of the table in one transaction, keeping each in the history of
// changes as one action named `how`; answers how many were deleted.
Result<qint64> deleteAllReadings(Connection& c, const QString& table,
                                 const QString& how = how::DeleteReadings);

// On a site server, locks the readings of the table (its name as statements quote it)
// with these row numbers, in ascending order of row number, inside the caller's
// transaction; nothing on a file. Every change of many readings at once locks them so
// before changing them: two such changes, one engineer's and another's, then never each
// hold a reading the other waits for.
Status lockRowsInOrder(Connection& c, const QString& quotedTable, std::vector<qint64> rowids);

// Why a sensor's identifier cannot name its readings table, nothing when it can: an empty
// one; one holding a backquote, which would end the quoting and let the rest of the text be
// read as part of the statement; or one naming one of the program's own tables (a damaged
// Sensors row: the history of changes has a reading's columns), which is never made, read,
// written or emptied as readings. "No readings table can have the name ...".
std::optional<Error> unusableReadingsTableName(const QString& instrumentId);

// Removes the readings of one sensor's table (its name unquoted) with these row numbers, a
// chunk at a time (forRowChunks), inside the caller's transaction; after each chunk
// `removedSoFar`, when given, is told how many the statements so far removed, and a
// failure it answers stops the removal with it. The count removed.
Result<qint64> removeRows(Connection& c, const QString& table, const std::vector<qint64>& rowids,
                          const std::function<Status(qint64 removedSoFar)>& removedSoFar = {});

// The rows written (added, changed or deleted) through the connection since it was opened,
// in every table.
qint64 rowsWrittenSinceOpen(const Connection& c);

} // namespace rv
