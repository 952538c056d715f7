#include "store/Recordset.h"
#include "core/DateText.h"
#include "core/Values.h"
#include "store/ChangeHistory.h"
#include "store/Statements.h"
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cstring>

namespace rv {

namespace {

Error noCurrentRow() {
    return Error{err::NoCurrentRow,
                 QStringLiteral("Either BOF or EOF is True, or the current record has been "
                                "deleted. Requested operation requires a current record.")};
}

Error closedError() {
    return Error{err::ObjectClosed,
                 QStringLiteral("Operation is not allowed when the object is closed.")};
}

// The table a statement reads: the name after its first FROM.
QString baseTable(const QString& statement) {
    static const QRegularExpression from(
        QStringLiteral(R"(\bFROM\s+(`[^`]+`|"[^"]+"|\[[^\]]+\]|[A-Za-z0-9_]+))"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = from.match(statement);
    return m.hasMatch() ? unquoteName(m.captured(1)) : QString();
}

// The one ORDER BY column of a statement that reads a whole table in that column's order
// ("SELECT * FROM t ORDER BY c"); empty for any other statement.
QString wholeTableOrderColumn(const QString& sql) {
    static const QRegularExpression wholeTableByOne(
        QStringLiteral(
            R"(^\s*SELECT\s+\*\s+FROM\s+\S+\s+ORDER\s+BY\s+([A-Za-z_][A-Za-z0-9_]*)\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = wholeTableByOne.match(sql);
    return m.hasMatch() ? m.captured(1) : QString();
}

// A recordset opened on its newest rows numbers its bookmarks in steps this large, so that
// rows read later fit between them (Recordset::readAll); one read whole at once numbers
// them by their positions.
constexpr qint64 kWindowStep = qint64(1) << 24;

// Whether two values as the table stores them are the same value.
bool sameStored(const QVariant& a, const QVariant& b) {
    if (a.isNull() || b.isNull()) return a.isNull() && b.isNull();
    return a == b;
}

} // namespace

QString changedByAnotherText(const QString& what, const std::optional<RowChange>& change,
                             bool deleted, const QString& outcome) {
    const QString verb = deleted ? QStringLiteral("deleted") : QStringLiteral("changed");
    if (!change || change->by.isEmpty())
        return what + QStringLiteral(" was ") + verb +
               QStringLiteral(" on the site server by another engineer after it was shown to "
                              "you. ") +
               outcome;
    return what + QStringLiteral(" was ") + verb + QStringLiteral(" by ") + change->by +
           QStringLiteral(" at ") + momentText(change->when) +
           QStringLiteral(", after it was shown to you. ") + outcome;
}

QVariant RowView::value(const QString& column) const {
    const int c = m_rs.columnIndex(column);
    if (c < 0) return QVariant();
    return m_rs.logical(m_rs.rows()[m_row], c);
}

Status Recordset::open(Connection& connection, const QString& statement) {
    close();
    m_connection = &connection;
    m_statement = statement;
    m_table = baseTable(statement);
    if (Status s = load(); !s.ok()) {
        close();
        return s;
    }
    m_open = true;
    rebuildView();
    m_pos = 0;
    return {};
}

Status Recordset::openNewest(Connection& connection, const QString& statement, int windowRows) {
    close();
    const bool wholeTable =
        !wholeTableOrderColumn(translateStatement(statement).sql).isEmpty() && windowRows > 0;
    qint64 total = 0;
    qint64 highest = 0;
    if (wholeTable) {
        Query count(connection, QStringLiteral("SELECT count(*), max(rowid) FROM ") +
                                    quoteName(baseTable(statement)));
        if (!count.next()) return count.prepared().ok() ? count.status() : count.prepared();
        total = count.int64(0);
        highest = count.isNull(1) ? 0 : count.int64(1);
    }
    if (!wholeTable || total <= windowRows) {
        if (Status s = open(connection, statement); !s.ok()) return s;
        // An empty recordset stays at both ends.
        if (!m_view.empty()) m_pos = qint64(m_view.size()) - 1;
        return {};
    }
    m_connection = &connection;
    m_statement = statement;
    m_table = baseTable(statement);
    m_store.setBookmarkStep(kWindowStep);
    if (Status s = load(QStringLiteral(" DESC LIMIT ") + QString::number(windowRows)); !s.ok()) {
        close();
        return s;
    }
    // The window was read newest first; it is held oldest first, as the whole table would
    // be, each row numbered by its place among all the rows counted.
    std::reverse(rows().begin(), rows().end());
    const qint64 held = qint64(rows().size());
    m_windowTotal = std::max(total, held);
    m_windowHighest = highest;
    for (qint64 i = 0; i < held; ++i)
        rows()[std::size_t(i)].bookmark = (m_windowTotal - held + 1 + i) * kWindowStep;
    m_store.setNextBookmark((m_windowTotal + 1) * kWindowStep);
    m_canResort = false;
    m_windowOnly = true;
    m_open = true;
    rebuildView();
    m_pos = held - 1;
    return {};
}

Status Recordset::readAll() {
    if (!m_windowOnly) return {};
    // The window's rows, kept as they were read.
    struct Kept {
        qint64 rowid = 0;
        qint64 bookmark = 0;
        std::vector<QVariant> cells;
    };
    std::vector<Kept> kept;
    QSet<qint64> keptIds;
    for (const Row& row : rows()) {
        Kept k{row.rowid, row.bookmark, {}};
        for (int c = 0; c < int(m_columns.size()); ++c)
            k.cells.push_back(m_store.stored(row, c));
        kept.push_back(std::move(k));
        keptIds.insert(row.rowid);
    }
    const bool onRow = m_pos >= 0 && m_pos < qint64(m_view.size());
    const bool atEnd = m_pos >= qint64(m_view.size());
    const qint64 current = onRow ? rows()[m_view[std::size_t(m_pos)]].rowid : 0;
    // What was read first is as old as the window: a requery reads the table again unless
    // nothing but this recordset's own writes changed it since then.
    const Fingerprint readAt = m_readAt;
    const qint64 pos = m_pos;
    // A read that fails (a site server out of reach) leaves the window as it was, so that
    // what the engineer typed over its reading can still be saved once the server answers.
    const auto keepWindow = [&](const Status& failed) {
        m_store.clear();
        for (const Kept& k : kept) {
            Row& row = m_store.appendEmpty();
            row.rowid = k.rowid;
            row.bookmark = k.bookmark;
            m_store.store(row, k.cells);
        }
        m_store.setNextBookmark((m_windowTotal + 1) * kWindowStep);
        m_windowOnly = true;
        m_canResort = false;
        m_readAt = readAt;
        rebuildView();
        m_pos = pos;
        return failed;
    };
    m_windowOnly = false;
    if (Status s = load(); !s.ok()) return keepWindow(s);
    m_readAt = readAt;
    std::vector<Row> others;
    others.reserve(rows().size());
    for (const Row& row : rows())
        if (!keptIds.contains(row.rowid)) others.push_back(row);
    const auto before = [this](const Row& a, const Row& b) {
        return m_store.compare(a, b, m_orderColumn) < 0;
    };
    if (!std::is_sorted(others.begin(), others.end(), before))
        std::stable_sort(others.begin(), others.end(), before);
    std::vector<Row> window;
    for (const Kept& k : kept) {
        Row& row = m_store.appendEmpty();
        row.rowid = k.rowid;
        row.bookmark = k.bookmark;
        m_store.store(row, k.cells);
        window.push_back(row);
    }
    std::vector<Row> merged;
    merged.reserve(others.size() + window.size());
    std::merge(others.begin(), others.end(), window.begin(), window.end(),
               std::back_inserter(merged), before);
    // The window's rows keep their bookmarks, the only ones handed out so far. Every other
    // row takes its ordinal times the step, as a whole read would give it, where that
    // number lies between the bookmarks of the rows around it; where rows were added
    // since the window was read it cannot, and the row takes the next number above the row
    // before it that is no multiple of the step. Either way the numbers rise with the rows
    // and the window's bookmarks name their own rows alone.
    qint64 last = 0;
    std::size_t w = 0;
    for (std::size_t i = 0; i < merged.size(); ++i) {
        Row& row = merged[i];
        if (w < window.size() && row.rowid == window[w].rowid && row.offset == window[w].offset) {
            ++w;
            last = row.bookmark;
            continue;
        }
        const qint64 bound = w < window.size() ? window[w].bookmark : 0;
        qint64 next = qint64(i + 1) * kWindowStep;
        if (next <= last || (bound != 0 && next >= bound)) {
            next = last + 1;
            if (next % kWindowStep == 0) ++next;
        }
        if (bound != 0 && next >= bound)
            return keepWindow(Status::fail(
                err::InvalidArgument, QStringLiteral("Too many rows were added to ") + m_table +
                                          QStringLiteral(" since it was opened; "
                                                         "open it again.")));
        row.bookmark = next;
        last = next;
    }
    rows() = std::move(merged);
    m_store.setNextBookmark((last / kWindowStep + 1) * kWindowStep);
    m_canResort = m_orderColumn >= 0 && sortedByOrderColumn();
    m_ownChanges = 0;
    rebuildView();
    m_pos = atEnd ? qint64(m_view.size()) : 0;
    if (onRow)
        for (std::size_t i = 0; i < m_view.size(); ++i)
            if (rows()[m_view[i]].rowid == current) m_pos = qint64(i);
    return {};
}

void Recordset::close() {
    // The rows are released; their storage is kept for the next open of this recordset.
    m_open = false;
    m_store.clear();
    m_view.clear();
    m_columns.clear();
    m_index.clear();
    m_exact.clear();
    m_edit.reset();
    m_filter.reset();
    m_pos = 0;
    m_onDeleted = false;
    m_windowOnly = false;
    m_windowTotal = 0;
    m_windowHighest = 0;
    m_store.setBookmarkStep(1);
}

void Recordset::releaseStorage() {
    close();
    m_store.release();
    std::vector<std::size_t>().swap(m_view);
}

Status Recordset::load(const QString& tail) {
    if (!m_connection || !m_connection->isOpen())
        return m_connection ? m_connection->lastError() : closedError();
    const TranslatedStatement t = translateStatement(m_statement);
    if (t.kind != TranslatedStatement::Kind::Plain || m_table.isEmpty())
        return Status::fail(err::InvalidArgument,
                            QStringLiteral("A recordset needs a statement that reads one table: ") +
                                m_statement);
    // The rowid of every row is read along with it, so each row can be written back.
    static const QRegularExpression selectHead(QStringLiteral(R"(^\s*SELECT\s+)"),
                                               QRegularExpression::CaseInsensitiveOption);
    const auto head = selectHead.match(t.sql);
    if (!head.hasMatch())
        return Status::fail(err::InvalidArgument,
                            QStringLiteral("A recordset needs a SELECT statement: ") + m_statement);
    const QString sql = QStringLiteral("SELECT ") + quoteName(m_table) +
                        QStringLiteral(".rowid, ") + t.sql.mid(head.capturedEnd()) + tail;

    auto tableColumns = m_connection->columns(m_table);
    if (!tableColumns.ok()) return tableColumns.error();

    Query q(*m_connection, sql);
    if (!q.prepared().ok()) return q.prepared();

    std::vector<ColumnInfo> columns;
    const int n = q.columnCount() - 1;
    columns.reserve(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        ColumnInfo info{q.columnName(i + 1), ColumnType::Any};
        for (const ColumnInfo& tc : tableColumns.value())
            if (tc.name.compare(info.name, Qt::CaseInsensitive) == 0) info.type = tc.type;
        columns.push_back(info);
    }
    m_view.clear();
    // The table's row count bounds the statement's: the store reserves for it up front
    // where the engine does not hold the rows already. A server hands the rows over as they
    // arrive (holding its whole answer first would cost as much again), and the count
    // cannot be asked in between: the store then grows as the rows come.
    const bool streamed = q.streamAnswer();
    const auto bound = [this, streamed]() -> qint64 {
        if (streamed) return 0;
        Query count(*m_connection, QStringLiteral("SELECT count(*) FROM ") + quoteName(m_table));
        return count.next() ? count.int64(0) : 0;
    };
    if (Status s = m_store.load(q, n, bound); !s.ok()) return s;

    m_columns = std::move(columns);
    m_index.clear();
    m_exact.clear();
    for (int i = 0; i < int(m_columns.size()); ++i) {
        const QString& name = m_columns[std::size_t(i)].name;
        if (!m_exact.contains(name)) m_exact.insert(name, i);
        if (!m_index.contains(name.toLower())) m_index.insert(name.toLower(), i);
    }
    m_edit.reset();
    m_onDeleted = false;
    const QString orderColumn = wholeTableOrderColumn(t.sql);
    m_orderColumn = orderColumn.isEmpty() ? -1 : columnIndex(orderColumn);
    m_canResort = m_orderColumn >= 0 && sortedByOrderColumn();
    m_readAt = fingerprint();
    m_ownChanges = 0;
    return {};
}

void Recordset::rebuildView() {
    m_view.clear();
    m_view.reserve(rows().size());
    for (std::size_t i = 0; i < rows().size(); ++i)
        if (!m_filter || m_filter->accepts(RowView(*this, i))) m_view.push_back(i);
}

Status Recordset::checkOpen() const {
    return m_open ? Status() : Status(closedError());
}

bool Recordset::bof() const {
    if (m_onDeleted) return false;
    return m_pos < 0 || m_view.empty();
}

bool Recordset::eof() const {
    if (m_onDeleted) return false;
    return m_pos >= qint64(m_view.size());
}

Status Recordset::checkCurrent() const {
    if (Status s = checkOpen(); !s.ok()) return s;
    if (m_onDeleted || m_pos < 0 || m_pos >= qint64(m_view.size())) return noCurrentRow();
    return {};
}

qint64 Recordset::absolutePosition() const {
    if (m_onDeleted) return PosUnknown;
    if (m_pos < 0) return PosBOF;
    if (m_pos >= qint64(m_view.size())) return PosEOF;
    return m_pos + (m_windowOnly ? windowStart() : 1);
}

Status Recordset::setAbsolutePosition(qint64 position) {
    if (Status s = checkOpen(); !s.ok()) return s;
    if (m_windowOnly) {
        if (position >= windowStart() && position <= m_windowTotal) {
            m_pos = position - windowStart();
            return {};
        }
        if (Status s = readAll(); !s.ok()) return s;
    }
    if (position < 1 || position > qint64(m_view.size()))
        return Status::fail(err::InvalidArgument,
                            QStringLiteral("The position ") + QString::number(position) +
                                QStringLiteral(" is outside the rows of the recordset."));
    if (Status s = leaveRow(); !s.ok()) return s;
    m_pos = position - 1;
    m_onDeleted = false;
    return {};
}

Status Recordset::leaveRow() {
    if (m_edit) cancelUpdate();
    return {};
}

Status Recordset::moveToEnd(bool last) {
    if (Status s = checkOpen(); !s.ok()) return s;
    if (!last)
        if (Status s = readAll(); !s.ok()) return s;
    (void)leaveRow();
    if (m_view.empty()) return noCurrentRow();
    m_pos = last ? qint64(m_view.size()) - 1 : 0;
    m_onDeleted = false;
    return {};
}

Status Recordset::moveFirst() {
    return moveToEnd(false);
}
Status Recordset::moveLast() {
    return moveToEnd(true);
}

Status Recordset::moveNext() {
    if (Status s = checkOpen(); !s.ok()) return s;
    (void)leaveRow();
    if (m_onDeleted) {
        // The deleted row's place is taken by the row after it.
        m_onDeleted = false;
        return {};
    }
    if (eof()) return noCurrentRow();
    ++m_pos;
    return {};
}

Status Recordset::movePrevious() {
    if (Status s = checkOpen(); !s.ok()) return s;
    if (m_windowOnly && m_pos <= 0)
        if (Status s = readAll(); !s.ok()) return s;
    (void)leaveRow();
    if (m_onDeleted) {
        m_onDeleted = false;
        --m_pos;
        return {};
    }
    if (bof()) return noCurrentRow();
    --m_pos;
    return {};
}

Result<qint64> Recordset::bookmark() const {
    if (Status s = checkCurrent(); !s.ok()) return s;
    return currentRow().bookmark;
}

Result<qint64> Recordset::rowId() const {
    if (Status s = checkCurrent(); !s.ok()) return s;
    return currentRow().rowid;
}

Status Recordset::setBookmark(qint64 bookmark) {
    if (Status s = checkOpen(); !s.ok()) return s;
    // Rows keep their bookmarks in ascending order, so the view can be searched.
    const auto search = [&] {
        return std::lower_bound(
            m_view.begin(), m_view.end(), bookmark,
            [this](std::size_t row, qint64 b) { return rows()[row].bookmark < b; });
    };
    auto it = search();
    if (m_windowOnly && (it == m_view.end() || rows()[*it].bookmark != bookmark)) {
        if (Status s = readAll(); !s.ok()) return s;
        it = search();
    }
    if (it == m_view.end() || rows()[*it].bookmark != bookmark)
        return Status::fail(err::InvalidArgument, QStringLiteral("The bookmark ") +
                                                      QString::number(bookmark) +
                                                      QStringLiteral(" names no row."));
    (void)leaveRow();
    m_pos = qint64(it - m_view.begin());
    m_onDeleted = false;
    return {};
}

Status Recordset::find(const QString& criterion) {
    if (Status s = checkOpen(); !s.ok()) return s;
    if (Status s = readAll(); !s.ok()) return s;
    static const QRegularExpression form(
        QStringLiteral(R"(^\s*\[?([A-Za-z_][A-Za-z0-9_]*)\]?\s*=\s*'(.*)'\s*$)"),
        QRegularExpression::DotMatchesEverythingOption);
    const auto m = form.match(criterion);
    if (!m.hasMatch())
        return Status::fail(err::InvalidArgument,
                            QStringLiteral("The search criterion is not of the form column = "
                                           "'value': ") +
                                criterion);
    auto col = column(m.captured(1));
    if (!col.ok()) return col.error();
    const QString wanted = m.captured(2);
    (void)leaveRow();
    qint64 start = m_pos < 0 ? 0 : m_pos;
    m_onDeleted = false;
    const int c = col.value();
    const ColumnType type = m_columns[std::size_t(c)].type;
    const bool plainText = type == ColumnType::Text || type == ColumnType::Any;
    const QByteArray wantedUtf8 = wanted.toUtf8();
    const bool wantedAscii = wantedUtf8.size() == wanted.size();
    for (qint64 i = start; i < qint64(m_view.size()); ++i) {
        const Row& row = rows()[m_view[std::size_t(i)]];
        const CellRef ref = m_store.cell(row, c);
        bool equal = false;
        if (ref.kind == RowStore::Null) {
            equal = false; // Null equals no value, not even the empty text
        } else if (plainText && ref.kind == RowStore::Text) {
            // Texts are compared in place; equal UTF-8 bytes (ignoring ASCII case) settle
            // most comparisons without building a QString.
            if (ref.length == quint32(wantedUtf8.size()) &&
                qstrnicmp(ref.data, wantedUtf8.constData(), wantedUtf8.size()) == 0)
                equal = true;
            else if (!wantedAscii)
                equal = QString::fromUtf8(ref.data, qsizetype(ref.length))
                            .compare(wanted, Qt::CaseInsensitive) == 0;
        } else {
            equal = displayText(logical(row, c)).compare(wanted, Qt::CaseInsensitive) == 0;
        }
        if (equal) {
            m_pos = i;
            return {};
        }
    }
    m_pos = qint64(m_view.size());
    return {};
}

QStringList Recordset::columnNames() const {
    QStringList names;
    for (const ColumnInfo& c : m_columns)
        names << c.name;
    return names;
}

int Recordset::columnIndex(const QString& name) const {
    if (const auto it = m_exact.constFind(name); it != m_exact.constEnd()) return *it;
    return m_index.value(name.toLower(), -1);
}

Result<int> Recordset::column(const QString& name) const {
    const int c = columnIndex(name);
    if (c < 0)
        return Error{err::ItemNotFound,
                     QStringLiteral("Item cannot be found in the collection corresponding to the "
                                    "requested name or ordinal: ") +
                         name};
    return c;
}

QVariant Recordset::logical(const Row& row, int col) const {
    return fromStored(m_store.stored(row, col), m_columns[std::size_t(col)].type);
}

Result<QVariant> Recordset::value(const QString& name) const {
    if (Status s = checkOpen(); !s.ok()) return s;
    auto col = column(name);
    if (!col.ok()) return col.error();
    if (Status s = checkCurrent(); !s.ok()) return s;
    const int c = col.value();
    if (m_edit && m_edit->changed[std::size_t(c)])
        return fromStored(m_edit->cells[std::size_t(c)], m_columns[std::size_t(c)].type);
    return logical(currentRow(), c);
}

Status Recordset::setValue(const QString& name, const QVariant& value) {
    if (Status s = checkOpen(); !s.ok()) return s;
    if (Status s = readAll(); !s.ok()) return s;
    auto col = column(name);
    if (!col.ok()) return col.error();
    if (Status s = checkCurrent(); !s.ok()) return s;
    const int c = col.value();
    auto converted =
        toStored(value, m_columns[std::size_t(c)].type, m_columns[std::size_t(c)].name);
    if (!converted.ok()) {
        // A refused value abandons the whole edit: the row stays as stored.
        cancelUpdate();
        return converted.error();
    }
    if (!m_edit) {
        Edit e;
        const Row& row = currentRow();
        e.cells.reserve(m_columns.size());
        for (int i = 0; i < int(m_columns.size()); ++i)
            e.cells.push_back(m_store.stored(row, i));
        e.changed.assign(m_columns.size(), false);
        m_edit = std::move(e);
    }
    m_edit->cells[std::size_t(c)] = std::move(converted).value();
    m_edit->changed[std::size_t(c)] = true;
    return {};
}

Status Recordset::addNew() {
    if (Status s = checkOpen(); !s.ok()) return s;
    if (Status s = readAll(); !s.ok()) return s;
    (void)leaveRow();
    m_store.appendEmpty();
    m_view.push_back(rows().size() - 1);
    m_pos = qint64(m_view.size()) - 1;
    m_onDeleted = false;
    Edit e;
    e.isNew = true;
    e.cells.assign(m_columns.size(), QVariant());
    e.changed.assign(m_columns.size(), false);
    m_edit = std::move(e);
    return {};
}

void Recordset::cancelUpdate() {
    if (!m_edit) return;
    const bool wasNew = m_edit->isNew;
    m_edit.reset();
    if (wasNew && !rows().empty() && m_pos >= 0 && m_pos < qint64(m_view.size())) {
        // The unwritten new row leaves the snapshot; its place becomes the end.
        m_view.erase(m_view.begin() + m_pos);
        m_store.dropLast();
    }
}

Status Recordset::refetch(Row& row) {
    Query q(*m_connection, QStringLiteral("SELECT * FROM ") + quoteName(m_table) +
                               QStringLiteral(" WHERE rowid = ?1"));
    q.bind(1, row.rowid);
    if (!q.next())
        return q.status().ok() ? Status::fail(err::RowNotFound,
                                              QStringLiteral("Row cannot be located for updating. "
                                                             "Some values may have been changed "
                                                             "since it was last read."))
                               : q.status();
    std::vector<QVariant> cells;
    cells.reserve(m_columns.size());
    for (int c = 0; c < int(m_columns.size()); ++c)
        cells.push_back(m_store.stored(row, c));
    for (int i = 0; i < q.columnCount(); ++i) {
        const int c = columnIndex(q.columnName(i));
        if (c >= 0) cells[std::size_t(c)] = q.value(i);
    }
    m_store.store(row, cells);
    return {};
}

Status Recordset::update() {
    if (Status s = checkOpen(); !s.ok()) return s;
    if (!m_edit) return checkCurrent();
    if (Status s = checkCurrent(); !s.ok()) return s;
    Row& row = rows()[m_view[std::size_t(m_pos)]];
    auto tableColumns = m_connection->columns(m_table);
    if (!tableColumns.ok()) {
        cancelUpdate();
        return tableColumns.error();
    }
    auto inTable = [&](const QString& name) {
        for (const ColumnInfo& tc : tableColumns.value())
            if (tc.name.compare(name, Qt::CaseInsensitive) == 0) return true;
        return false;
    };
    QStringList names;
    std::vector<QVariant> values;
    // A value set to what the row already holds is not written again: a save of a row
    // nothing was changed in writes nothing (on a site server, other engineers would
    // otherwise be told of a change that is none).
    for (std::size_t c = 0; c < m_columns.size(); ++c)
        if (m_edit->changed[c] && inTable(m_columns[c].name) &&
            (m_edit->isNew || !sameStored(m_edit->cells[c], m_store.stored(row, int(c))))) {
            names << quoteName(m_columns[c].name);
            values.push_back(m_edit->cells[c]);
        }

    if (m_edit->isNew) {
        // A reading typed in is recorded in the same transaction as it is stored.
        const bool ownNew = recordsChanges() && !m_connection->inTransaction();
        if (ownNew)
            if (Status s = m_connection->begin(); !s.ok()) {
                cancelUpdate();
                return s;
            }
        const auto failedNew = [&](const Status& s) {
            if (ownNew) m_connection->rollback();
            cancelUpdate();
            return s;
        };
        QString sql = QStringLiteral("INSERT INTO ") + quoteName(m_table);
        if (names.isEmpty()) {
            sql += QStringLiteral(" DEFAULT VALUES");
        } else {
            QStringList marks;
            for (int i = 1; i <= names.size(); ++i)
                marks << QStringLiteral("?") + QString::number(i);
            sql += QStringLiteral(" (") + names.join(QStringLiteral(", ")) +
                   QStringLiteral(") VALUES (") + marks.join(QStringLiteral(", ")) +
                   QStringLiteral(")");
        }
        Query q(*m_connection, sql);
        for (std::size_t i = 0; i < values.size(); ++i)
            q.bind(int(i) + 1, values[i]);
        if (Status s = q.run(); !s.ok()) return failedNew(s);
        const qint64 rowid = m_connection->lastInsertId();
        if (Status s = recordWrite(row, &m_edit->cells, true); !s.ok()) return failedNew(s);
        if (ownNew)
            if (Status s = m_connection->commit(); !s.ok()) return failedNew(s);
        row.rowid = rowid;
        ++m_ownChanges;
        m_store.store(row, m_edit->cells);
        m_edit.reset();
        // Read the row back so defaults filled in by the table are seen.
        return refetch(row);
    }

    if (names.isEmpty()) {
        m_edit.reset();
        return {};
    }
    // On a site server the row is locked and compared with what was read, in the same
    // transaction as the write: another engineer's change is never overwritten unseen.
    const bool guarded = m_connection->onServer();
    const bool own = (guarded || recordsChanges()) && !m_connection->inTransaction();
    if (own)
        if (Status s = m_connection->begin(); !s.ok()) {
            cancelUpdate();
            return s;
        }
    const auto failed = [&](const Status& s) {
        if (own) m_connection->rollback();
        return s;
    };
    if (guarded)
        if (Status s = unchangedSinceRead(row, QStringLiteral("Nothing was saved.")); !s.ok())
            return failed(s);
    QStringList sets;
    for (int i = 0; i < names.size(); ++i)
        sets << names[i] + QStringLiteral(" = ?") + QString::number(i + 1);
    Query q(*m_connection, QStringLiteral("UPDATE ") + quoteName(m_table) +
                               QStringLiteral(" SET ") + sets.join(QStringLiteral(", ")) +
                               QStringLiteral(" WHERE rowid = ?") +
                               QString::number(names.size() + 1));
    for (std::size_t i = 0; i < values.size(); ++i)
        q.bind(int(i) + 1, values[i]);
    q.bind(int(values.size()) + 1, row.rowid);
    if (Status s = q.run(); !s.ok()) {
        cancelUpdate();
        return failed(s);
    }
    if (m_connection->changes() != 1) {
        cancelUpdate();
        return failed(Status::fail(
            err::RowNotFound, QStringLiteral("Row cannot be located for updating. Some values "
                                             "may have been changed since it was last read.")));
    }
    if (Status s = recordWrite(row, &m_edit->cells, false); !s.ok()) {
        cancelUpdate();
        return failed(s);
    }
    if (own)
        if (Status s = m_connection->commit(); !s.ok()) {
            cancelUpdate();
            return failed(s);
        }
    ++m_ownChanges;
    m_store.store(row, m_edit->cells);
    m_edit.reset();
    return {};
}

Status Recordset::remove() {
    if (Status s = checkCurrent(); !s.ok()) return s;
    if (Status s = readAll(); !s.ok()) return s;
    if (m_edit && m_edit->isNew) {
        cancelUpdate();
        m_onDeleted = true;
        return {};
    }
    m_edit.reset();
    const std::size_t r = m_view[std::size_t(m_pos)];
    // On a site server, a row another engineer changed since it was read is not deleted
    // unseen (see update); one another engineer deleted is gone as asked.
    const bool guarded = m_connection->onServer();
    const bool own = (guarded || recordsChanges()) && !m_connection->inTransaction();
    if (own)
        if (Status s = m_connection->begin(); !s.ok()) return s;
    const auto failed = [&](const Status& s) {
        if (own) m_connection->rollback();
        return s;
    };
    if (guarded) {
        const Status kept = unchangedSinceRead(rows()[r], QStringLiteral("It was not deleted."));
        if (!kept.ok()) {
            if (m_onDeleted) return failed(Status());
            return failed(kept);
        }
    }
    if (Status s = recordWrite(rows()[r], nullptr, false); !s.ok()) return failed(s);
    Query q(*m_connection, QStringLiteral("DELETE FROM ") + quoteName(m_table) +
                               QStringLiteral(" WHERE rowid = ?1"));
    q.bindInt64(1, rows()[r].rowid);
    if (Status s = q.run(); !s.ok()) return failed(s);
    const bool deleted = m_connection->changes() == 1;
    if (own)
        if (Status s = m_connection->commit(); !s.ok()) return failed(s);
    if (deleted)
        ++m_ownChanges;
    else
        m_canResort = false; // the row was already gone: read the table again next time
    dropCurrent();
    return {};
}

Status Recordset::recordWrite(const Row& row, const std::vector<QVariant>* after, bool isNew) {
    if (!recordsChanges()) return {};
    const bool sensors = m_table.compare(QStringLiteral("Sensors"), Qt::CaseInsensitive) == 0;
    const int keyColumn = columnIndex(QStringLiteral("DateTimeKey"));
    if (!sensors && keyColumn < 0) return {};
    if (!after) {
        if (sensors) {
            const int id = columnIndex(QStringLiteral("InstrumentID"));
            if (id < 0) return {};
            QVariantMap record;
            for (std::size_t c = 0; c < m_columns.size(); ++c)
                record.insert(m_columns[c].name, m_store.stored(row, int(c)));
            return recordSensorDeletion(*m_connection, displayText(m_store.stored(row, id)),
                                        record);
        }
        ChangeAction action(*m_connection, m_table, m_changeHow);
        return action.recordLeavingRows(change::Deleted, m_table, {row.rowid});
    }
    if (sensors && isNew) return {};
    // The columns the write changes, with their values before and after it.
    QVariantMap before, now;
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        const QString& name = m_columns[c].name;
        if (!m_edit->changed[c] ||
            (!sensors && (!recordedReadingColumns().contains(name, Qt::CaseInsensitive) ||
                          isComputedColumn(name))))
            continue;
        const QVariant& value = (*after)[c];
        if (isNew) {
            if (!value.isNull()) now.insert(name, value);
            continue;
        }
        const QVariant old = m_store.stored(row, int(c));
        if (sameForHistory(value, old)) continue;
        before.insert(name, old);
        now.insert(name, value);
    }
    if (sensors) {
        const int id = columnIndex(QStringLiteral("InstrumentID"));
        if (id < 0) return {};
        return recordSensorChange(*m_connection, displayText(m_store.stored(row, id)), m_changeHow,
                                  before, now);
    }
    if (now.isEmpty()) return {};
    const QVariant oldKey = isNew ? QVariant() : m_store.stored(row, keyColumn);
    const QVariant newKey =
        m_edit->changed[std::size_t(keyColumn)] ? (*after)[std::size_t(keyColumn)] : oldKey;
    const QString kind = isNew ? change::Added
                         : before.contains(m_columns[std::size_t(keyColumn)].name)
                             ? change::Rekeyed
                             : change::Changed;
    ChangeAction action(*m_connection, m_table, m_changeHow);
    return action.record(kind, oldKey, newKey, before, now);
}

void Recordset::dropCurrent() {
    const std::size_t r = m_view[std::size_t(m_pos)];
    rows().erase(rows().begin() + qint64(r));
    m_view.erase(m_view.begin() + m_pos);
    for (std::size_t& v : m_view)
        if (v > r) --v;
    m_onDeleted = true;
}

QString Recordset::rowName(const Row& row) const {
    for (const auto& [column, name] :
         {std::pair{QStringLiteral("DateTimeKey"), QStringLiteral("The reading ")},
          std::pair{QStringLiteral("InstrumentID"), QStringLiteral("The sensor ")}}) {
        const int c = columnIndex(column);
        if (c >= 0) return name + displayText(m_store.stored(row, c));
    }
    return QStringLiteral("The row");
}

Status Recordset::lockCurrentUnchanged() {
    if (Status s = checkCurrent(); !s.ok()) return s;
    if (Status s = readAll(); !s.ok()) return s;
    if (!m_connection->onServer()) return {};
    return unchangedSinceRead(rows()[m_view[std::size_t(m_pos)]], QString(), false);
}

Status Recordset::unchangedSinceRead(Row& row, const QString& outcome, bool dropDeleted) {
    Query q(*m_connection, QStringLiteral("SELECT * FROM ") + quoteName(m_table) +
                               QStringLiteral(" WHERE rowid = ?1 FOR UPDATE"));
    q.bindInt64(1, row.rowid);
    const bool found = q.next();
    if (!q.status().ok()) return q.status();
    bool same = found;
    for (int i = 0; same && i < q.columnCount(); ++i) {
        const int c = columnIndex(q.columnName(i));
        if (c >= 0 && !sameStored(q.value(i), m_store.stored(row, c))) same = false;
    }
    if (same) return {};
    const QString what = rowName(row);
    const Result<std::optional<RowChange>> change =
        m_connection->engine()->lastChange(m_table, row.rowid);
    cancelUpdate();
    m_canResort = false;
    if (found) {
        if (Status s = refetch(row); !s.ok()) return s;
    } else if (dropDeleted) {
        dropCurrent();
    }
    return Status::fail(
        found ? err::ChangedByAnother : err::DeletedByAnother,
        changedByAnotherText(what, change.ok() ? change.value() : std::nullopt, !found, outcome)
            .trimmed());
}

qint64 Recordset::highestRowId() const {
    if (m_windowOnly) return m_windowHighest;
    qint64 highest = 0;
    for (const Row& row : rows())
        highest = std::max(highest, row.rowid);
    return highest;
}

Recordset::Fingerprint Recordset::fingerprint() const {
    if (!m_connection || !m_connection->engine()) return Fingerprint{};
    return m_connection->engine()->changeStamp();
}

bool Recordset::sortedByOrderColumn() const {
    const std::vector<Row>& all = rows();
    for (std::size_t i = 1; i < all.size(); ++i)
        if (m_store.compare(all[i - 1], all[i], m_orderColumn) > 0) return false;
    return true;
}

void Recordset::resortRows() {
    std::sort(rows().begin(), rows().end(), [this](const Row& a, const Row& b) {
        return m_store.compare(a, b, m_orderColumn) < 0;
    });
    m_store.renumberBookmarks();
}

Status Recordset::requery() {
    if (Status s = checkOpen(); !s.ok()) return s;
    m_edit.reset();
    // A recordset that holds its newest rows alone reads them all again, as any other.
    m_windowOnly = false;
    if (m_canResort) {
        Fingerprint expected = m_readAt;
        expected.totalChanges += m_ownChanges;
        const Fingerprint now = fingerprint();
        if (now.totalChanges >= 0 && now == expected) {
            resortRows();
            m_readAt = now;
            m_ownChanges = 0;
            m_onDeleted = false;
            rebuildView();
            m_pos = 0;
            return {};
        }
    }
    if (Status s = load(); !s.ok()) {
        close();
        return s;
    }
    rebuildView();
    m_pos = 0;
    return {};
}

void Recordset::setFilter(RowFilter filter) {
    (void)leaveRow();
    (void)readAll();
    m_filter = std::move(filter);
    rebuildView();
    m_pos = 0;
    m_onDeleted = false;
}

void Recordset::clearFilter() {
    (void)leaveRow();
    (void)readAll();
    m_filter.reset();
    rebuildView();
    m_pos = 0;
    m_onDeleted = false;
}

} // namespace rv
