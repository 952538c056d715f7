#pragma once
// Appending readings to a sensor's readings table in bulk: one transaction and one
// prepared INSERT naming those of the eight columns of a reading the table has
// (DateTimeKey, ReadingDate, ReadingTime, FullDate, ChannelT, Channel1, IsDirty, DoNotPlot).
// The usual readings table takes each value in the form given here directly; a column of
// another type gets the store's own conversion. The readings are written a chunk at a time
// (ChunkedInsert). Nothing stays unless commit() succeeds.
//
// The keys stored already, for the duplicate test of an import, are read here too.
#include "platform/Status.h"
#include "store/Connection.h"
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>
#include <vector>

namespace rv {

// Visits the key of every reading of the table that has one, as its text: one query.
// sizeHint, when given, first learns how many readings the table holds.
Status forEachReadingKey(Connection& c, const QString& table,
                         const std::function<void(const QString&)>& visit,
                         const std::function<void(qint64)>& sizeHint = {});

// An INSERT of many rows written a chunk of rows per statement: the values of up to
// rowsPerStatement rows are bound to one prepared multi-row INSERT and written by one
// step. The engine's work per statement (beginning and ending it, building the value
// lists of a column's checks) is then done once per chunk instead of once per row. The
// rows go in the order they were added; a refused row fails its whole chunk (the
// caller's transaction then undoes everything). Where the engine streams rows faster
// (a site server's COPY), the rows go through its stream instead, to the same effect.
class ChunkedInsert {
public:
    // head: "INSERT INTO <table> (<columns>)"; columns: the values of each row.
    ChunkedInsert(Connection& c, QString head, int columns, int rowsPerStatement = 100);
    ChunkedInsert(const ChunkedInsert&) = delete;
    ChunkedInsert& operator=(const ChunkedInsert&) = delete;

    const Status& prepared() const { return m_prepared; }
    // The values of the row being added, by column (0-based); every column gets one.
    void text(int column, const char* bytes, qsizetype length); // UTF-8, copied
    void integer(int column, qint64 value);
    void real(int column, double value);
    void null(int column);
    void value(int column, const QVariant& value); // bound as Query::bind binds it
    // Ends the row; a statement's worth of rows pending is written.
    Status endRow();
    // Writes the rows pending.
    Status flush();

private:
    struct Cell {
        enum class Kind : char { Null, Integer, Real, Text, Value } kind = Kind::Null;
        qint64 number = 0; // the integer, or the index of a Value in m_values
        double real = 0;
        qsizetype offset = 0, length = 0;
    };
    Cell& cell(int column) { return m_cells[std::size_t(m_rows * m_columns + column)]; }
    QString statement(int rows) const;
    Status write(Query& q, int rows);

    Connection& m_c;
    QString m_head;
    std::unique_ptr<RowStream> m_stream; // the engine's own stream of rows, where it has one
    int m_columns;
    int m_rowsPerStatement;
    std::optional<Query> m_full;
    Status m_prepared;
    std::vector<Cell> m_cells; // the rows pending, row by row
    QByteArray m_bytes;        // their texts
    std::vector<QVariant> m_values;
    int m_rows = 0;
};

// One reading in the forms it is written in. The texts are read during add() only.
struct ReadingToAppend {
    const char* key = nullptr; // "<sensor> yyyy/MM/dd HH:mm:ss", keyLength bytes
    qsizetype keyLength = 0;
    const char* moment = nullptr; // "yyyy-MM-dd HH:mm:ss": the stored date and time
    bool midnight = false;        // FullDate then holds the date alone
    QDateTime fullDate;
    const QByteArray* channelT = nullptr; // a null array for Null
    const QByteArray* channel1 = nullptr;
};

// A channel value as a reading was stored with it: the bytes given to add() when the
// column took them as they stand (a null array: Null), otherwise the value the column's
// type converted them to (Null where the column refused them).
struct StoredChannel {
    const QByteArray* given = nullptr;
    QVariant converted;
};
struct StoredChannels {
    StoredChannel channelT;
    StoredChannel channel1;
};

class ReadingsAppend {
public:
    // Describes the table, begins the transaction and prepares the statement; started()
    // tells whether all went well. A table with none of the columns of a reading fails.
    ReadingsAppend(Connection& c, const QString& table);
    // Rolls back what was not committed.
    ~ReadingsAppend();
    ReadingsAppend(const ReadingsAppend&) = delete;
    ReadingsAppend& operator=(const ReadingsAppend&) = delete;

    const Status& started() const { return m_started; }
    // Adds one reading (written with the next chunk); with `stored`, answers the channel
    // values as they are stored. A channel value its column refuses leaves the column
    // empty and the reading is written; any other refusal fails.
    Status add(const ReadingToAppend& r, StoredChannels* stored = nullptr);
    // Writes the readings pending and commits.
    Status commit();
    // Undoes every reading added (nothing then stays of them).
    void rollback();

    // The columns of a reading, in the order of the statement.
    enum class Column {
        Key,
        ReadingDate,
        ReadingTime,
        FullDate,
        ChannelT,
        Channel1,
        IsDirty,
        DoNotPlot
    };

private:
    // A column of the eight that the table has, with its type.
    struct Target {
        Column what;
        ColumnInfo column;
    };
    Status prepare(const QString& table);

    Connection& m_connection;
    Status m_started;
    std::vector<Target> m_targets;
    std::optional<ChunkedInsert> m_insert;
    bool m_open = false; // the transaction is open
};

} // namespace rv
