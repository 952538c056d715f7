#include "store/DatabaseCopy.h"
#include "store/AlarmLevelsTable.h"
#include "store/Connection.h"
#include "store/DatabaseFile.h"
#include "store/ImportHistoryTable.h"
#include "store/Statements.h"
#include <algorithm>

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

// The name in names equal to name, case aside; empty when none is.
QString findName(const QStringList& names, const QString& name) {
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

bool isAlarms(const QString& table) {
    return table.compare(kAlarmLevelsTable, Qt::CaseInsensitive) == 0;
}

// A sensor's readings table, or the template every one of them copies.
bool hasReadings(const QString& table) {
    return !isFixed(table) && !isHistory(table) && !isAlarms(table);
}

Result<qint64> countRows(Connection& c, const QString& table) {
    Query q(c, QStringLiteral("SELECT count(*) FROM ") + bq(table));
    if (!q.prepared().ok()) return q.prepared();
    if (!q.next()) return q.status().ok() ? Result<qint64>(qint64(0)) : q.status();
    return q.int64(0);
}

// Every DateTimeKey of a readings table, sorted (each engine orders texts its own way).
Result<QStringList> readingKeys(Connection& c, const QString& table) {
    Query q(c, QStringLiteral("SELECT ") + bq(kKeyColumn) + QStringLiteral(" FROM ") + bq(table));
    if (!q.prepared().ok()) return q.prepared();
    QStringList keys;
    while (q.next())
        keys << (q.isNull(0) ? QString() : q.text(0));
    if (!q.status().ok()) return q.status();
    std::sort(keys.begin(), keys.end());
    return keys;
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

// The columns of a server table whose values a sequence numbers, and whether the server
// insists on numbering them itself (an identity "generated always").
struct NumberedColumn {
    QString name;
    bool always = false;
};
Result<std::vector<NumberedColumn>> numberedColumns(Connection& c, const QString& table) {
    std::vector<NumberedColumn> columns;
    if (!c.onServer()) return columns;
    Query q(c, QStringLiteral("SELECT column_name, coalesce(identity_generation, '') FROM "
                              "information_schema.columns WHERE table_schema = current_schema() "
                              "AND table_name = ?1 AND (is_identity = 'YES' OR column_default "
                              "LIKE 'nextval(%')"));
    if (!q.prepared().ok()) return q.prepared();
    q.bindText(1, table);
    while (q.next())
        columns.push_back(NumberedColumn{q.text(0), q.text(1) == QLatin1String("ALWAYS")});
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
            if (hasReadings(table) && findName(from, table).isEmpty()) {
                if (Status s = m_target.execute(sql::dropReadingsTable(table)); !s.ok()) return s;
                continue;
            }
            if (Status s = m_target.execute(QStringLiteral("DELETE FROM ") + bq(table)); !s.ok())
                return s;
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
        QStringList read, written, parameters;
        for (const ColumnInfo& c : sourceColumns.value()) {
            const QString name = findName(targetNames, c.name);
            if (name.isEmpty())
                return Status::fail(err::ItemNotFound,
                                    QStringLiteral("The table %1 of the database to copy into "
                                                   "has no column %2")
                                        .arg(to, c.name));
            read << bq(c.name);
            written << bq(name);
            parameters << QStringLiteral("?") + QString::number(parameters.size() + 1);
        }
        const Result<std::vector<NumberedColumn>> numbered = numberedColumns(m_target, to);
        if (!numbered.ok()) return numbered.error();
        bool overriding = false;
        for (const NumberedColumn& n : numbered.value())
            overriding = overriding || (n.always && written.contains(bq(n.name)));

        Query select(m_source, QStringLiteral("SELECT ") + read.join(QStringLiteral(", ")) +
                                   QStringLiteral(" FROM ") + bq(from));
        if (!select.prepared().ok()) return select.prepared();
        Query insert(m_target,
                     QStringLiteral("INSERT INTO ") + bq(to) + QStringLiteral(" (") +
                         written.join(QStringLiteral(", ")) + QStringLiteral(") ") +
                         (overriding ? QStringLiteral("OVERRIDING SYSTEM VALUE ") : QString()) +
                         QStringLiteral("VALUES (") + parameters.join(QStringLiteral(", ")) +
                         QStringLiteral(")"));
        if (!insert.prepared().ok()) return insert.prepared();
        const int n = int(read.size());
        std::vector<CellView> cells(size_t(std::max(n, 1)));
        while (select.next()) {
            select.readRow(cells.data(), n);
            for (int i = 0; i < n; ++i) {
                const CellView& c = cells[size_t(i)];
                switch (c.kind) {
                case ValueKind::Null:
                    insert.bindNull(i + 1);
                    break;
                case ValueKind::Integer:
                    insert.bindInt64(i + 1, c.integer);
                    break;
                case ValueKind::Real:
                    insert.bindDouble(i + 1, c.real);
                    break;
                case ValueKind::Text:
                    insert.bindUtf8(i + 1, c.bytes, c.length);
                    break;
                case ValueKind::Blob:
                    return Status::fail(err::TypeMismatch,
                                        QStringLiteral("The table %1 holds binary data in the "
                                                       "column %2, which no Rockvane table has")
                                            .arg(from, read[i]));
                }
            }
            if (Status s = insert.run(); !s.ok())
                return Status::fail(s.error().number, QStringLiteral("Copying the table ") + to +
                                                          QStringLiteral(": ") +
                                                          s.error().description);
            insert.reset();
            if (++m_copied % kProgressEvery == 0)
                if (Status s = report(); !s.ok()) return s;
        }
        if (!select.status().ok()) return select.status();
        if (Status s = advanceSequences(m_target, to, numbered.value()); !s.ok()) return s;
        return report();
    }

    Status compareKeys(const QString& from, const QString& to) {
        const Result<QStringList> before = readingKeys(m_source, from);
        if (!before.ok()) return before.error();
        const Result<QStringList> after = readingKeys(m_target, to);
        if (!after.ok()) return after.error();
        if (before.value() == after.value()) return {};
        const auto [a, b] = std::mismatch(before.value().begin(), before.value().end(),
                                          after.value().begin(), after.value().end());
        const QString key = a != before.value().end() ? *a : *b;
        return Status::fail(err::CopyMismatch,
                            QStringLiteral("The readings of the table %1 differ from those "
                                           "copied (first at the key %2)")
                                .arg(to, key));
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

} // namespace

Result<QStringList> programTables(Connection& c) {
    const Result<QStringList> tables = c.tables();
    if (!tables.ok()) return tables;
    QStringList found;
    for (const QString& name : fixedTables())
        if (const QString t = findName(tables.value(), name); !t.isEmpty()) found << t;
    for (const QString& name : {kAlarmLevelsTable, kImportBatchesTable, kImportBatchRowsTable})
        if (const QString t = findName(tables.value(), name); !t.isEmpty()) found << t;
    const Result<QStringList> readings = readingsTables(c, tables.value());
    if (!readings.ok()) return readings;
    found << readings.value();
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
    Query q(c, QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = "
                              "current_database() AND pid <> pg_backend_pid()"));
    if (!q.prepared().ok()) return q.prepared();
    if (!q.next()) return q.status().ok() ? Result<int>(0) : Result<int>(q.status());
    return int(q.int64(0));
}

} // namespace rv
