#pragma once
// The rows of one statement held compactly, as a recordset keeps them. Every row is one
// record in an arena: for each column a kind byte followed by its value (8 bytes for a
// number, a 4-byte length and the bytes for a text or blob, nothing for Null). Values
// become QVariants only when read, so holding 100,000 readings allocates and touches as
// little memory as the rows need. A row also remembers its table's row number (rowid),
// by which it is written back, and its bookmark.
#include "platform/Status.h"
#include "store/Arena.h"
#include "store/Connection.h"
#include <QVariant>
#include <functional>
#include <vector>

namespace rv {

class RowStore {
public:
    enum CellKind : char { Null, Integer, Real, Text, Blob };
    struct CellRef {
        CellKind kind = Null;
        const char* data = nullptr; // the value's bytes
        quint32 length = 0;         // of a text or blob
    };
    struct Row {
        qint64 rowid = 0;
        qint64 bookmark = 0;
        qsizetype offset = 0; // its record in the arena
    };

    RowStore() = default;
    RowStore(const RowStore&) = delete;
    RowStore& operator=(const RowStore&) = delete;

    // Steps q to its end and holds its rows in place of those held: column 0 is the rowid,
    // columns 1..columns the values. Bookmarks number the rows from 1 in the statement's
    // order. The rows the engine holds once the statement ran, or else what expectedRows
    // answers (a bound, or 0 when not known), are reserved for up front.
    Status load(Query& q, int columns, const std::function<qint64()>& expectedRows);
    // Forgets the rows; the storage is kept for the next load.
    void clear();
    // Forgets the rows and gives the memory back.
    void release();

    std::vector<Row>& rows() { return m_rows; }
    const std::vector<Row>& rows() const { return m_rows; }
    // Bookmarks are the rows' ordinals times a step: 1, or a large one that leaves room
    // for rows read later between the rows read first (Recordset::openNewest). Set before
    // a load; clear() keeps it.
    void setBookmarkStep(qint64 step) {
        m_step = step;
        m_nextBookmark = step;
    }
    void setNextBookmark(qint64 bookmark) { m_nextBookmark = bookmark; }
    // Numbers the rows' bookmarks from 1 (times the step) again in their present order.
    void renumberBookmarks();

    CellRef cell(const Row& row, int column) const;
    // A value as the table stores it: qint64, double, QString, QByteArray or null.
    QVariant stored(const Row& row, int column) const;
    // Gives the row a new record holding cells (missing ones Null); the old is left unused.
    void store(Row& row, const std::vector<QVariant>& cells);
    // Appends a row of Nulls with the next bookmark.
    Row& appendEmpty();
    // Takes back the last row, and its record when it is the arena's last.
    void dropLast();
    // Orders two rows as the database orders a column: Null first, then numbers by value,
    // then texts byte by byte (shorter first on a common prefix), then blobs; ties by rowid.
    int compare(const Row& a, const Row& b, int column) const;

private:
    void appendCell(const QVariant& stored);

    int m_columns = 0;
    std::vector<Row> m_rows;
    Arena m_arena;
    qint64 m_step = 1;
    qint64 m_nextBookmark = 1;
};

} // namespace rv
