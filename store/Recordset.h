#pragma once
// A recordset: the rows of one statement held by the program as a scrollable snapshot
// with a current row, written back to its table row by row.
//
// Meaning of the operations, relied on throughout the system:
//  - open: rows in the statement's order; the current row is the first, none when empty;
//  - bof()/eof(): no current row before the first / after the last row; both when empty;
//  - moves: moveNext past the last row leaves the position at the end; moving further
//    (or moveFirst/moveLast on no rows) is an error;
//  - recordCount: the rows (of the filter, when one is set), whatever the position;
//  - absolutePosition: 1-based; -2 before the first row, -3 after the last, -1 on a
//    deleted row;
//  - bookmark: a number that identifies a row of this snapshot (its ordinal when the
//    statement was run, so a recordset reopened on the same rows gives the same
//    bookmarks); setting it makes that row current;
//  - find("col = 'value'"): searches forward from the current row (inclusive) for the
//    first row whose column equals the value (letter case ignored) and makes it
//    current; none found leaves the position at the end;
//  - value/setValue by column name, letter case ignored; setValue checks and converts
//    the value for the column's type at once and refuses a value of the wrong kind
//    (the edit of the row is then abandoned, so the row stays as stored);
//  - addNew starts an empty row at the end that becomes current; update writes the
//    current row's changes (or the new row) to the table; moving away abandons
//    changes that were not written;
//  - remove deletes the current row from the table and the snapshot; the position
//    stays on the deleted row until the next move (moveNext reaches the row after it);
//  - on a site server, update and remove first lock the row and compare it with the
//    values read: a row another engineer changed since is neither overwritten nor
//    deleted (ChangedByAnother or DeletedByAnother, saying who and when; a changed row then
//    holds the values stored now), and an update of a row another engineer deleted leaves the
//    snapshot too;
//  - requery re-runs the statement (the filter stays) and returns to the first row;
//  - setFilter narrows the rows the recordset presents, counts and walks to those
//    passing a predicate, the first of them current; clearFilter shows all again.
#include "platform/Status.h"
#include "store/Connection.h"
#include "store/RowStore.h"
#include <QHash>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>
#include <vector>

namespace rv {

class Recordset;

// "<what> was changed by <user> at 14:32 on 9 Dec 2026, after it was shown to you.
// <outcome>" (deleted instead of changed; "by another engineer" when who is not known).
QString changedByAnotherText(const QString& what, const std::optional<RowChange>& change,
                             bool deleted, const QString& outcome);

// Read access to one row, for filter predicates.
class RowView {
public:
    RowView(const Recordset& rs, std::size_t row) : m_rs(rs), m_row(row) {}
    QVariant value(const QString& column) const;

private:
    const Recordset& m_rs;
    std::size_t m_row;
};

struct RowFilter {
    std::function<bool(const RowView&)> accepts;
    QString text; // the filter expression as written, for display and the log
};

class Recordset {
public:
    static constexpr qint64 PosUnknown = -1;
    static constexpr qint64 PosBOF = -2;
    static constexpr qint64 PosEOF = -3;

    Recordset() = default;
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    Status open(Connection& connection, const QString& statement);
    // Opens a whole table read in the order of one column ("SELECT * FROM t ORDER BY c")
    // on its last windowRows rows alone, the last of them current, and counts the rest
    // without reading them: what a tab showing the newest row needs. Any other statement,
    // or a table of no more rows than the window, is opened whole, the last row current.
    // Every operation that needs a row outside the window, a search, a filter or a
    // change reads the rest first. The rows of the window are kept as they were read (a
    // row another engineer changed since is caught when it is written, as in any
    // snapshot) and keep their bookmarks, and no bookmark handed out names another row
    // afterwards; the position and the count are those of the rows read by then.
    Status openNewest(Connection& connection, const QString& statement, int windowRows);
    bool isOpen() const { return m_open; }
    void close();
    // Closes and gives the memory kept for the next open back.
    void releaseStorage();
    const QString& statement() const { return m_statement; }
    const QString& table() const { return m_table; }

    bool bof() const;
    bool eof() const;
    qint64 recordCount() const { return m_windowOnly ? m_windowTotal : qint64(m_view.size()); }
    qint64 absolutePosition() const;
    Status setAbsolutePosition(qint64 position);

    Status moveFirst();
    Status moveLast();
    Status moveNext();
    Status movePrevious();

    Result<qint64> bookmark() const;
    Status setBookmark(qint64 bookmark);
    // The table's own row number of the current row (its rowid), by which work on many
    // rows addresses each one through a single prepared statement; 0 for a new row that
    // is not yet written.
    Result<qint64> rowId() const;
    // The highest table row number among the rows held (0 for none).
    qint64 highestRowId() const;

    Status find(const QString& criterion);

    QStringList columnNames() const;
    int columnIndex(const QString& name) const; // -1 when there is no such column
    Result<QVariant> value(const QString& column) const;
    Status setValue(const QString& column, const QVariant& value);

    Status addNew();
    Status update();
    void cancelUpdate();
    bool editing() const { return m_edit.has_value(); }
    Status remove();
    Status requery();
    // For a write of many rows in one transaction (the datasheet's write-back), on a site
    // server: locks the current row until the transaction ends and answers ChangedByAnother
    // or DeletedByAnother (as update does, without the outcome) when another engineer
    // changed or deleted it
    // since it was read. A changed row then holds the values stored now; a deleted one stays
    // in the snapshot as read. Nothing to do on a file.
    Status lockCurrentUnchanged();

    // Records every change this recordset writes into the history of changes
    // (store/ChangeHistory.h), naming `how`: on a sensor's readings table each reading
    // added, changed, re-keyed or deleted; on the Sensors table each change of a sensor's
    // record. Empty records nothing. Stays set when the recordset is opened again.
    void setChangeHow(const QString& how) { m_changeHow = how; }

    void setFilter(RowFilter filter);
    void clearFilter();
    bool hasFilter() const { return m_filter.has_value(); }
    QString filterText() const { return m_filter ? m_filter->text : QString(); }

private:
    friend class RowView;
    // The rows themselves are held by a RowStore; the recordset walks, filters, finds and
    // edits them.
    using Row = RowStore::Row;
    using CellRef = RowStore::CellRef;
    struct Edit {
        bool isNew = false;
        std::vector<QVariant> cells; // as stored
        std::vector<bool> changed;
    };

    // Reads the statement's rows; `tail` is added to the statement as sent (the window's
    // descending order and limit).
    Status load(const QString& tail = QString());
    // A recordset opened on its newest rows alone reads the rest; nothing otherwise.
    Status readAll();
    // The first position (1-based) of the rows held while only the window is read.
    qint64 windowStart() const { return m_windowTotal - qint64(m_view.size()) + 1; }
    void rebuildView();
    Status checkOpen() const;
    Status checkCurrent() const;
    Status leaveRow(); // abandons an unwritten edit before a move
    Status moveToEnd(bool last);
    Result<int> column(const QString& name) const;
    QVariant logical(const Row& row, int col) const;
    Status refetch(Row& row);
    // Takes the current row out of the snapshot, the position staying on the deleted row.
    void dropCurrent();
    // "The reading <key>", "The sensor <id>" or "The row", for messages about a row.
    QString rowName(const Row& row) const;
    // On a site server, inside the transaction under way: locks the row and answers
    // ChangedByAnother or DeletedByAnother (its text ending with outcome) when another
    // engineer changed or deleted it since it was read. The row then holds the values stored now,
    // or has left the snapshot (the position on it, as after remove), and the edit is abandoned.
    Status unchangedSinceRead(Row& row, const QString& outcome, bool dropDeleted = true);
    // The history entry of the write of the current row about to be made, inside its
    // transaction: `after` the cells to be stored (nullptr for a deletion).
    Status recordWrite(const Row& row, const std::vector<QVariant>* after, bool isNew);
    bool recordsChanges() const { return !m_changeHow.isEmpty(); }
    std::vector<Row>& rows() { return m_store.rows(); }
    const std::vector<Row>& rows() const { return m_store.rows(); }
    const Row& currentRow() const { return rows()[m_view[std::size_t(m_pos)]]; }

    // Requery without reading the table again: when the only changes to the database
    // since the rows were read are this recordset's own writes, the rows it holds are the
    // table's rows, and re-running "SELECT * FROM t ORDER BY c" only re-sorts them.
    using Fingerprint = EngineConnection::ChangeStamp;
    Fingerprint fingerprint() const;
    bool sortedByOrderColumn() const;
    void resortRows();

    int m_orderColumn = -1;   // the one ORDER BY column of a whole-table statement
    bool m_canResort = false; // the rows were read in (order column, rowid) order
    Fingerprint m_readAt;     // the database when the rows were read
    qint64 m_ownChanges = 0;  // rows this recordset wrote since

    // Opened on its newest rows alone (openNewest), until the rest is read: the table's
    // row count and highest row number when it was opened.
    bool m_windowOnly = false;
    qint64 m_windowTotal = 0;
    qint64 m_windowHighest = 0;

    Connection* m_connection = nullptr;
    QString m_changeHow;
    QString m_statement;
    QString m_table;
    bool m_open = false;
    std::vector<ColumnInfo> m_columns;
    QHash<QString, int> m_exact; // name as written -> column
    QHash<QString, int> m_index; // lower-case name -> column
    RowStore m_store;
    std::vector<std::size_t> m_view; // rows presented (all, or those passing the filter)
    qint64 m_pos = 0;                // index into m_view; -1 BOF, size() EOF
    bool m_onDeleted = false;
    std::optional<Edit> m_edit;
    std::optional<RowFilter> m_filter;
};

} // namespace rv
