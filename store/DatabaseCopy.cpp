#include "store/DatabaseCopy.h"
#include "store/AlarmLevelsTable.h"
#include "store/ChangeHistory.h"
#include "store/Connection.h"
#include "store/DatabaseFile.h"
#include "store/ImportHistoryTable.h"
#include "store/ReadingsAppend.h"
#include "store/Statements.h"
#include "store/ValueChecks.h"
#include <algorithm>
#include <optional>

namespace rv {

namespace {

// Rows copied between two reports of progress.
constexpr qint64 kProgressEvery = 256;

const QString kKeyColumn = QStringLiteral("DateTimeKey");

// A name between backquotes, as the store writes names in its statements; each engine reads
// it as its own quoted name.
QString bq(const QString& name) {
    return QStringLiteral("`") + name + QStringLiteral("`");
}

// The name in names equal to name, case aside; empty when none is. A server's names differ
// by the case of their letters ("LC7" and "lc7" are two tables there): one spelt alike comes
// first.
QString findName(const QStringList& names, const QString& name) {
    if (names.contains(name)) return name;
    for (const QString& n : names)
        if (n.compare(name, Qt::CaseInsensitive) == 0) return n;
    return QString();
}

bool isFixed(const QString& table) {
    return !findName(fixedTables(), table).isEmpty();
}

bool isHistory(const QString& table) {
    return table.compare(kImportBatchesTable, Qt::CaseInsensitive) == 0 ||
           table.compare(kImportBatchRowsTable, Qt::CaseInsensitive) == 0;
}

bool isChanges(const QString& table) {
    return table.compare(kChangeActionsTable, Qt::CaseInsensitive) == 0 ||
           table.compare(kReadingChangesTable, Qt::CaseInsensitive) == 0;
}

bool isAlarms(const QString& table) {
    return table.compare(kAlarmLevelsTable, Qt::CaseInsensitive) == 0;
}

// A sensor's readings table, or the template every one of them copies.
bool hasReadings(const QString& table) {
    return !isOwnTable(table);
}

Result<qint64> countRows(Connection& c, const QString& table) {
    Query q(c, QStringLiteral("SELECT count(*) FROM ") + bq(table));
    if (!q.prepared().ok()) return q.prepared();
    if (!q.next()) return q.status().ok() ? Result<qint64>(qint64(0)) : q.status();
    return q.int64(0);
}

// A statement answering every DateTimeKey of a readings table that has one, in the order of
// their bytes: a file compares texts that way (BINARY); a server database made by the
// program does too (collation C), and its index on the keys then gives them in that order
// without sorting; one of another collation is asked for that order.
Result<QString> orderedKeys(Connection& c, const QString& table) {
    QString collation = QStringLiteral(" COLLATE BINARY");
    if (c.onServer()) {
        // From the catalog itself: information_schema's view of it costs as much again.
        Query q(c, QStringLiteral("SELECT CASE WHEN co.collname = 'default' THEN (SELECT "
                                  "datcollate FROM pg_database WHERE datname = "
                                  "current_database()) ELSE co.collname END FROM pg_attribute a "
                                  "JOIN pg_collation co ON co.oid = a.attcollation WHERE "
                                  "a.attrelid = to_regclass(quote_ident(?1)) AND a.attname = ?2"));
        if (!q.prepared().ok()) return q.prepared();
        q.bindText(1, table);
        q.bindText(2, kKeyColumn);
        const QString named = q.next() ? q.text(0) : QString();
        if (!q.status().ok()) return q.status();
        collation = named == QLatin1String("C") || named == QLatin1String("POSIX")
                        ? QString()
                        : QStringLiteral(" COLLATE \"C\"");
    }
    return QStringLiteral("SELECT ") + bq(kKeyColumn) + QStringLiteral(" FROM ") + bq(table) +
           QStringLiteral(" WHERE ") + bq(kKeyColumn) + QStringLiteral(" IS NOT NULL ORDER BY ") +
           bq(kKeyColumn) + collation;
}

// The sensors' readings tables the database has, as it spells them.
Result<QStringList> readingsTables(Connection& c, const QStringList& tables) {
    const QString sensors = findName(tables, QStringLiteral("Sensors"));
    QStringList found;
    if (sensors.isEmpty()) return found;
    Query q(c, QStringLiteral("SELECT InstrumentID FROM ") + bq(sensors));
    if (!q.prepared().ok()) return q.prepared();
    while (q.next()) {
        if (q.isNull(0)) continue;
        const QString table = findName(tables, q.text(0));
        if (!table.isEmpty() && hasReadings(table) && !found.contains(table)) found << table;
    }
    if (!q.status().ok()) return q.status();
    std::sort(found.begin(), found.end());
    return found;
}

// The number the file engine gives a value its table's constraints refuse.
constexpr long long kConstraintFailed = 19;

// Where the text of a CREATE TABLE statement at i stops being a quoted name, a string or a
// comment (i itself when none starts there).
qsizetype skipQuoted(const QString& sql, qsizetype i) {
    const QChar c = sql[i];
    QChar close;
    if (c == u'\'' || c == u'"' || c == u'`')
        close = c;
    else if (c == u'[')
        close = u']';
    if (!close.isNull()) {
        const qsizetype end = sql.indexOf(close, i + 1);
        return end < 0 ? sql.size() : end + 1;
    }
    if (sql.mid(i, 2) == QLatin1String("--")) {
        const qsizetype end = sql.indexOf(u'\n', i);
        return end < 0 ? sql.size() : end + 1;
    }
    if (sql.mid(i, 2) == QLatin1String("/*")) {
        const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
        return end < 0 ? sql.size() : end + 2;
    }
    return i;
}

// The expressions of every CHECK constraint of a table, from the statement that made it (as
// the file holds it), each as written; nothing when the statement cannot be read that way.
// A quote inside a quoted name or string doubles itself, which reads as two quoted parts
// side by side.
std::optional<QStringList> checkConstraints(const QString& createTable) {
    QStringList checks;
    int depth = 0;
    qsizetype checkAt = -1; // where the expression of the CHECK just read opens
    for (qsizetype i = 0; i < createTable.size();) {
        if (const qsizetype after = skipQuoted(createTable, i); after != i) {
            i = after;
            continue;
        }
        const QChar c = createTable[i];
        if (c == u'(') {
            if (++depth == 2 && checkAt == -2) checkAt = i + 1;
            ++i;
        } else if (c == u')') {
            if (depth == 2 && checkAt >= 0) {
                checks << createTable.mid(checkAt, i - checkAt).trimmed();
                checkAt = -1;
            }
            if (--depth < 0) return std::nullopt;
            ++i;
        } else if (c.isLetter() || c == u'_') {
            qsizetype end = i;
            while (end < createTable.size() &&
                   (createTable[end].isLetterOrNumber() || createTable[end] == u'_'))
                ++end;
            // The word CHECK between the columns opens a constraint: its expression follows
            // in parentheses.
            if (depth == 1 &&
                createTable.mid(i, end - i).compare(QLatin1String("CHECK"), Qt::CaseInsensitive) ==
                    0)
                checkAt = -2;
            i = end;
        } else {
            if (checkAt == -2 && !c.isSpace()) return std::nullopt;
            ++i;
        }
    }
    if (depth != 0 || checkAt != -1) return std::nullopt;
    return checks;
}

// The statement that made a table of a file, as the file holds it.
Result<QString> tableStatement(Connection& c, const QString& table) {
    Query q(c, QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1"));
    if (!q.prepared().ok()) return q.prepared();
    q.bindText(1, table);
    if (!q.next()) return q.status().ok() ? Result<QString>(QString()) : q.status();
    return q.text(0);
}

// Whether a row of the table breaks one of checks (a CHECK fails where its expression is
// false; a null passes).
Result<bool> anyBroken(Connection& c, const QString& table, const QStringList& checks) {
    if (checks.isEmpty()) return false;
    Query q(c, QStringLiteral("SELECT 1 FROM ") + bq(table) + QStringLiteral(" WHERE NOT (") +
                   checks.join(QStringLiteral(") OR NOT (")) + QStringLiteral(") LIMIT 1"));
    if (!q.prepared().ok()) return q.prepared();
    const bool found = q.next();
    if (!q.status().ok()) return q.status();
    return found;
}

// The columns of a file's table with the types it declares for them.
Result<std::pair<QStringList, QStringList>> declaredColumns(Connection& c, const QString& table) {
    Query q(c, QStringLiteral("SELECT name, type FROM pragma_table_info(?1)"));
    if (!q.prepared().ok()) return q.prepared();
    q.bindText(1, table);
    std::pair<QStringList, QStringList> columns;
    while (q.next()) {
        columns.first << q.text(0);
        columns.second << q.text(1);
    }
    if (!q.status().ok()) return q.status();
    return columns;
}

// While a file's table is filled by the copy, its CHECK constraints are not tested row by
// row: the engine builds a lookup anew for every row that it tests against a list of
// values, which took most of the time of a copy into a file. Each value written is judged
// in the program where the check is of a form it knows (ValueChecks); the other checks, and
// those met by a value only the engine can judge, are tested in one pass over the stored
// rows afterwards. Either way a row the table would have refused still fails the copy. A
// table whose statement cannot be read keeps its checks row by row.
class DeferredChecks {
public:
    DeferredChecks(Connection& target, const QString& table, const QStringList& written)
        : m_target(target), m_table(table) {
        if (target.onServer()) return;
        const Result<QString> statement = tableStatement(target, table);
        if (!statement.ok() || statement.value().isEmpty()) return;
        std::optional<QStringList> checks = checkConstraints(statement.value());
        if (!checks || checks->isEmpty()) return;
        const auto declared = declaredColumns(target, table);
        if (!declared.ok()) return;
        QStringList types;
        for (const QString& column : written) {
            const qsizetype at = declared.value().first.indexOf(column);
            types << (at < 0 ? QString() : declared.value().second[at]);
        }
        if (!ignoreChecks(true)) return;
        m_checks = std::move(*checks);
        m_values.emplace(m_checks, written, types);
        m_deferred = true;
    }
    ~DeferredChecks() {
        if (m_deferred) (void)ignoreChecks(false);
    }
    DeferredChecks(const DeferredChecks&) = delete;
    DeferredChecks& operator=(const DeferredChecks&) = delete;

    // Each row written, its cells in the order of the columns written.
    void see(const CellView* cells) {
        if (m_values) m_values->see(cells);
    }

    // Once every row is in: the first check (in the table's order) a row breaks fails the
    // copy as the engine would have refused it.
    Status test() {
        if (!m_deferred) return {};
        m_deferred = false;
        if (!ignoreChecks(false))
            return Status::fail(
                err::InvalidArgument,
                QStringLiteral("The checks of the table %1 could not be restored").arg(m_table));
        QStringList left;
        for (int i = 0; i < m_checks.size(); ++i)
            if (m_values->leftToEngine(i)) left << m_checks[i];
        // One pass over the rows for all the checks left; only a table that breaks one is
        // read again to name it.
        const Result<bool> any = anyBroken(m_target, m_table, left);
        if (!any.ok()) return any.error();
        for (int i = 0; i < m_checks.size(); ++i) {
            bool broken = m_values->broken(i);
            if (m_values->leftToEngine(i) && any.value()) {
                const Result<bool> one = anyBroken(m_target, m_table, {m_checks[i]});
                if (!one.ok()) return one.error();
                broken = one.value();
            }
            if (broken)
                return Status::fail(kConstraintFailed,
                                    QStringLiteral("CHECK constraint failed: ") + m_checks[i]);
        }
        return {};
    }

private:
    bool ignoreChecks(bool ignore) {
        return m_target.engine()
            ->execute(QStringLiteral("PRAGMA ignore_check_constraints = ") +
                      (ignore ? QStringLiteral("ON") : QStringLiteral("OFF")))
            .ok();
    }

    Connection& m_target;
    QString m_table;
    QStringList m_checks;
    std::optional<ValueChecks> m_values;
    bool m_deferred = false;
};

// A column of a server table whose values a sequence numbers.
struct NumberedColumn {
    QString name;
};
Result<std::vector<NumberedColumn>> numberedColumns(Connection& c, const QString& table) {
    std::vector<NumberedColumn> columns;
    if (!c.onServer()) return columns;
    Query q(c, QStringLiteral("SELECT column_name FROM "
                              "information_schema.columns WHERE table_schema = current_schema() "
                              "AND table_name = ?1 AND (is_identity = 'YES' OR column_default "
                              "LIKE 'nextval(%')"));
    if (!q.prepared().ok()) return q.prepared();
    q.bindText(1, table);
    while (q.next())
        columns.push_back(NumberedColumn{q.text(0)});
    if (!q.status().ok()) return q.status();
    return columns;
}

// Moves the server's sequence of each numbered column to the highest value copied, so that
// the next row the program adds gets a number of its own. An empty table leaves its
// sequence alone.
Status advanceSequences(Connection& c, const QString& table,
                        const std::vector<NumberedColumn>& columns) {
    for (const NumberedColumn& column : columns) {
        Query q(c, QStringLiteral("SELECT setval(pg_get_serial_sequence(?1, ?2)::regclass, max(") +
                       bq(column.name) + QStringLiteral(")) FROM ") + bq(table) +
                       QStringLiteral(" HAVING max(") + bq(column.name) +
                       QStringLiteral(") IS NOT NULL"));
        if (!q.prepared().ok()) return q.prepared();
        q.bindText(1, QStringLiteral("\"") + QString(table).replace(u'"', QStringLiteral("\"\"")) +
                          QStringLiteral("\""));
        q.bindText(2, column.name);
        if (Status s = q.run(); !s.ok()) return s;
    }
    return {};
}

// The copy's steps on the target, inside its transaction.
class Copier {
public:
    Copier(Connection& source, Connection& target, const CopyProgress& progress)
        : m_source(source), m_target(target), m_progress(progress) {}

    Result<CopyReport> run(CopyInto how) {
        const Result<QStringList> from = programTables(m_source);
        if (!from.ok()) return from.error();
        for (const QString& fixed : fixedTables())
            if (findName(from.value(), fixed).isEmpty())
                return Error{err::ItemNotFound,
                             QStringLiteral("The database copied holds no table ") + fixed};
        qint64 total = 0;
        std::vector<qint64> counts;
        for (const QString& table : from.value()) {
            const Result<qint64> n = countRows(m_source, table);
            if (!n.ok()) return n.error();
            counts.push_back(n.value());
            total += n.value();
        }
        m_total = total;
        if (Status s = oneTableEach(from.value()); !s.ok()) return s;
        if (Status s = clearTarget(how, from.value()); !s.ok()) return s;
        CopyReport report;
        for (const QString& table : from.value()) {
            const Result<QString> made = targetTable(table);
            if (!made.ok()) return made.error();
            if (Status s = copyTable(table, made.value()); !s.ok()) return s;
            report.tables.push_back(CopiedTable{made.value(), 0, 0});
        }
        // Compared with the source before anything is kept.
        for (size_t i = 0; i < report.tables.size(); ++i) {
            CopiedTable& copied = report.tables[i];
            const QString& source = from.value()[qsizetype(i)];
            copied.sourceRows = counts[i];
            const Result<qint64> n = countRows(m_target, copied.name);
            if (!n.ok()) return n.error();
            copied.targetRows = n.value();
            if (copied.targetRows != copied.sourceRows)
                return Error{err::CopyMismatch,
                             QStringLiteral("The copy of the table %1 holds %2 rows; the "
                                            "database copied holds %3")
                                 .arg(copied.name)
                                 .arg(copied.targetRows)
                                 .arg(copied.sourceRows)};
            if (hasReadings(source))
                if (Status s = compareKeys(source, copied.name); !s.ok()) return s;
            report.rows += copied.targetRows;
        }
        return report;
    }

private:
    // A file's names are the same whatever the case of their letters: two tables of a
    // server that differ only by it would go into one table there.
    Status oneTableEach(const QStringList& from) {
        if (m_target.onServer()) return {};
        for (qsizetype i = 0; i < from.size(); ++i)
            if (const QString other = findName(from.mid(i + 1), from[i]); !other.isEmpty())
                return Status::fail(err::CopyRefused,
                                    QStringLiteral("The tables %1 and %2 differ only by the case "
                                                   "of their letters: a database file cannot "
                                                   "hold both")
                                        .arg(from[i], other));
        return {};
    }

    // Refuses a new database that already holds data; empties a replaced one.
    Status clearTarget(CopyInto how, const QStringList& from) {
        const Result<QStringList> there = programTables(m_target);
        if (!there.ok()) return there.error();
        if (how == CopyInto::NewDatabase) {
            for (const QString& table : there.value()) {
                if (findName(fixedTables(), table) == QLatin1String("Configuration") ||
                    findName(fixedTables(), table) == QLatin1String("Prefs"))
                    continue; // seed rows
                const Result<qint64> n = countRows(m_target, table);
                if (!n.ok()) return n.error();
                if (n.value() > 0)
                    return Error{err::CopyRefused,
                                 QStringLiteral("The database to copy into already holds data "
                                                "(the table %1 has %2 rows)")
                                     .arg(table)
                                     .arg(n.value())};
            }
        }
        for (const QString& table : there.value()) {
            const bool copied =
                m_target.onServer() ? from.contains(table) : !findName(from, table).isEmpty();
            if (hasReadings(table) && !copied) {
                if (Status s = m_target.execute(sql::dropReadingsTable(table)); !s.ok()) return s;
                continue;
            }
            if (Status s = m_target.engine()->emptyTable(table); !s.ok()) return s;
        }
        m_target.forgetColumns();
        return {};
    }

    // The target's table for a source table, made the way the program makes it when missing.
    Result<QString> targetTable(const QString& table) {
        const Result<QStringList> there = m_target.tables();
        if (!there.ok()) return there.error();
        if (const QString name = findName(there.value(), table); !name.isEmpty()) return name;
        Status made;
        if (isAlarms(table))
            made = ensureAlarmTable(m_target);
        else if (isHistory(table))
            made = ensureHistoryTables(m_target);
        else if (isChanges(table))
            made = ensureChangeTables(m_target);
        else if (!isFixed(table))
            made = newReadingsTable(there.value(), table);
        else
            made =
                Status::fail(err::ItemNotFound,
                             QStringLiteral("The database to copy into holds no table ") + table);
        if (!made.ok()) return made.error();
        m_target.forgetColumns();
        const Result<QStringList> now = m_target.tables();
        if (!now.ok()) return now.error();
        const QString name = findName(now.value(), table);
        if (name.isEmpty())
            return Error{err::ItemNotFound,
                         QStringLiteral("The table ") + table +
                             QStringLiteral(" could not be made in the database to copy into")};
        return name;
    }

    // A sensor's readings table shaped like the target's template, as a new sensor gets
    // one, made inside the copy's transaction.
    Status newReadingsTable(const QStringList& there, const QString& table) {
        const QString templateTable = findName(there, QStringLiteral("sensordata"));
        if (templateTable.isEmpty())
            return Status::fail(err::ItemNotFound,
                                QStringLiteral("The database to copy into holds no table "
                                               "sensordata"));
        return m_target.engine()->createTableLike(templateTable, table);
    }

    Status copyTable(const QString& from, const QString& to) {
        const auto sourceColumns = m_source.columns(from);
        if (!sourceColumns.ok()) return sourceColumns.error();
        const auto targetColumns = m_target.columns(to);
        if (!targetColumns.ok()) return targetColumns.error();
        QStringList targetNames;
        for (const ColumnInfo& c : targetColumns.value())
            targetNames << c.name;
        QStringList read, written, writtenNames;
        for (const ColumnInfo& c : sourceColumns.value()) {
            const QString name = findName(targetNames, c.name);
            if (name.isEmpty())
                return Status::fail(err::ItemNotFound,
                                    QStringLiteral("The table %1 of the database to copy into "
                                                   "has no column %2")
                                        .arg(to, c.name));
            read << bq(c.name);
            written << bq(name);
            writtenNames << name;
        }
        const Result<std::vector<NumberedColumn>> numbered = numberedColumns(m_target, to);
        if (!numbered.ok()) return numbered.error();

        DeferredChecks checks(m_target, to, writtenNames);
        Query select(m_source, QStringLiteral("SELECT ") + read.join(QStringLiteral(", ")) +
                                   QStringLiteral(" FROM ") + bq(from));
        if (!select.prepared().ok()) return select.prepared();
        // Nothing else runs on the source until its rows are all read: a server hands each
        // over as it comes, while the previous one is being written.
        select.streamAnswer();
        const int n = int(read.size());
        // Onto a server the rows go by the engine's own stream, many to one command (one
        // statement each would wait for the server once per row), which writes the numbers of
        // numbered columns as given (as OVERRIDING SYSTEM VALUE would); into a file by
        // statements of many rows each.
        ChunkedInsert insert(m_target,
                             QStringLiteral("INSERT INTO ") + bq(to) + QStringLiteral(" (") +
                                 written.join(QStringLiteral(", ")) + QStringLiteral(")"),
                             n, std::max(1, 500 / std::max(n, 1)));
        if (!insert.prepared().ok()) return insert.prepared();
        const auto failed = [&to](const Status& s) {
            return Status::fail(s.error().number, QStringLiteral("Copying the table ") + to +
                                                      QStringLiteral(": ") + s.error().description);
        };
        std::vector<CellView> cells(size_t(std::max(n, 1)));
        while (select.next()) {
            select.readRow(cells.data(), n);
            checks.see(cells.data());
            for (int i = 0; i < n; ++i) {
                const CellView& c = cells[size_t(i)];
                switch (c.kind) {
                case ValueKind::Null:
                    insert.null(i);
                    break;
                case ValueKind::Integer:
                    insert.integer(i, c.integer);
                    break;
                case ValueKind::Real:
                    insert.real(i, c.real);
                    break;
                case ValueKind::Text:
                    insert.text(i, c.bytes, c.length);
                    break;
                case ValueKind::Blob:
                    return Status::fail(err::TypeMismatch,
                                        QStringLiteral("The table %1 holds binary data in the "
                                                       "column %2, which no Rockvane table has")
                                            .arg(from, read[i]));
                }
            }
            if (Status s = insert.endRow(); !s.ok()) return failed(s);
            if (++m_copied % kProgressEvery == 0)
                if (Status s = report(); !s.ok()) return s;
        }
        if (Status s = insert.flush(); !s.ok()) return failed(s);
        if (!select.status().ok()) return select.status();
        if (Status s = checks.test(); !s.ok()) return failed(s);
        if (Status s = advanceSequences(m_target, to, numbered.value()); !s.ok()) return s;
        return report();
    }

    // Walks the keys of both tables side by side, in the same order: the first key one side
    // has and the other lacks is named. The rows without a key are not listed: both tables
    // hold as many rows, so as many of them when every key matches.
    Status compareKeys(const QString& from, const QString& to) {
        const Result<QString> sourceKeys = orderedKeys(m_source, from);
        if (!sourceKeys.ok()) return sourceKeys.error();
        const Result<QString> targetKeys = orderedKeys(m_target, to);
        if (!targetKeys.ok()) return targetKeys.error();
        Query before(m_source, sourceKeys.value());
        if (!before.prepared().ok()) return before.prepared();
        Query after(m_target, targetKeys.value());
        if (!after.prepared().ok()) return after.prepared();
        for (;;) {
            const bool a = before.next();
            const bool b = after.next();
            if (!before.status().ok()) return before.status();
            if (!after.status().ok()) return after.status();
            if (!a && !b) return {};
            if (a && b && before.bytes(0) == after.bytes(0)) continue;
            // Of two keys in the same place, the lower is the one the other side lacks.
            const QByteArrayView missing =
                !b || (a && before.bytes(0) < after.bytes(0)) ? before.bytes(0) : after.bytes(0);
            return Status::fail(err::CopyMismatch,
                                QStringLiteral("The readings of the table %1 differ from those "
                                               "copied (first at the key %2)")
                                    .arg(to, QString::fromUtf8(missing)));
        }
    }

    Status report() {
        if (m_progress && !m_progress(m_copied, m_total))
            return Status::fail(err::CopyCancelled, QStringLiteral("The copy was cancelled"));
        return {};
    }

    Connection& m_source;
    Connection& m_target;
    const CopyProgress& m_progress;
    qint64 m_copied = 0;
    qint64 m_total = 0;
};

// A new database file the copy fills is a work file until the copy is committed: no other
// connection reads it, and one a crash leaves unfinished is thrown away whole (a backup is
// written under a work name, renamed into place only once complete, and a work file left
// behind is removed by the next backup). Its rollback journal is held in memory rather than
// written beside it: a rollback still undoes the copy, and the commit is still written
// through to the disk before the copy is reported done. The journal is put back as it was
// once the copy ends.
class WorkFileJournal {
public:
    WorkFileJournal(Connection& target, CopyInto how) : m_target(target) {
        if (target.onServer() || how != CopyInto::NewDatabase) return;
        Query q(target, QStringLiteral("PRAGMA journal_mode"));
        m_journal = q.next() ? q.text(0) : QString();
        m_active = !m_journal.isEmpty() && set(QStringLiteral("MEMORY"));
    }
    ~WorkFileJournal() {
        if (m_active) (void)set(m_journal);
    }
    WorkFileJournal(const WorkFileJournal&) = delete;
    WorkFileJournal& operator=(const WorkFileJournal&) = delete;

private:
    bool set(const QString& mode) {
        return m_target.engine()->execute(QStringLiteral("PRAGMA journal_mode = ") + mode).ok();
    }

    Connection& m_target;
    QString m_journal;
    bool m_active = false;
};

} // namespace

Result<QStringList> programTables(Connection& c) {
    const Result<QStringList> tables = c.tables();
    if (!tables.ok()) return tables;
    QStringList found;
    for (const QString& name : ownTables())
        if (const QString t = findName(tables.value(), name); !t.isEmpty()) found << t;
    const Result<QStringList> readings = readingsTables(c, tables.value());
    if (!readings.ok()) return readings;
    found << readings.value();
    return found;
}

QStringList tablesSpelledOtherwise(const QStringList& tables) {
    QStringList found;
    for (const QString& name : ownTables()) {
        if (tables.contains(name)) continue;
        for (const QString& table : tables)
            if (table.compare(name, Qt::CaseInsensitive) == 0)
                found << table + QStringLiteral(" for ") + name;
    }
    return found;
}

Result<CopyReport> copyDatabase(Connection& source, Connection& target, CopyInto how,
                                const CopyProgress& progress) {
    if (!source.isOpen() || !target.isOpen())
        return Error{err::ObjectClosed, QStringLiteral("The connection to the database is closed")};
    if (source.inTransaction() || target.inTransaction())
        return Error{err::InvalidArgument,
                     QStringLiteral("A database cannot be copied while a change to it is under "
                                    "way")};
    if (target.readOnly())
        return Error{err::InvalidArgument,
                     QStringLiteral("The database to copy into can only be read")};
    // Every table is read as of one moment: a server's other users may write meanwhile.
    const Status snapshot =
        source.onServer() ? source.engine()->execute(
                                QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"))
                          : source.begin();
    if (!snapshot.ok()) return snapshot.error();
    WorkFileJournal journal(target, how);
    if (Status s = target.begin(); !s.ok()) {
        source.rollback();
        return s.error();
    }
    Result<CopyReport> copied = Copier(source, target, progress).run(how);
    if (copied.ok())
        if (Status s = target.commit(); !s.ok()) copied = s.error();
    if (!copied.ok()) target.rollback();
    target.forgetColumns();
    // The source is only read: its snapshot is let go.
    source.rollback();
    return copied;
}

Result<int> otherConnections(Connection& c) {
    if (!c.onServer()) return 0;
    // Only other users' connections: the server's own workers (autovacuum among them) may
    // visit the database too.
    Query q(c, QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = "
                              "current_database() AND pid <> pg_backend_pid() AND "
                              "backend_type = 'client backend'"));
    if (!q.prepared().ok()) return q.prepared();
    if (!q.next()) return q.status().ok() ? Result<int>(0) : Result<int>(q.status());
    return int(q.int64(0));
}

} // namespace rv
