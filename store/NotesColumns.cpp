#include "store/NotesColumns.h"
#include "store/Connection.h"
#include "store/Statements.h"
#include <QRegularExpression>

namespace rv {

namespace {

const QString kNotesTables[] = {QStringLiteral("Sensors"), QStringLiteral("NetworkConfig")};

// The Notes column as the file's statement declares it with a number's affinity.
const QRegularExpression& memoNotes() {
    static const QRegularExpression re(QStringLiteral(R"((\bNotes["`\]]?\s+)MEMO\b)"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

// The statements that made the table and its own indexes, as the file holds them; the
// table's is empty when its notes already keep text (or the table is not there).
struct Made {
    QString table;
    QStringList indexes;
};

Result<Made> statementsOf(Connection& c, const QString& table) {
    Query q(c, QStringLiteral("SELECT type, sql FROM sqlite_master WHERE tbl_name = ?1 "
                              "AND sql IS NOT NULL"));
    if (!q.prepared().ok()) return q.prepared();
    q.bindText(1, table);
    Made made;
    while (q.next())
        if (q.text(0) == QLatin1String("table"))
            made.table = q.text(1);
        else if (q.text(0) == QLatin1String("index"))
            made.indexes << q.text(1);
    if (!q.status().ok()) return q.status();
    if (!made.table.contains(memoNotes())) made.table.clear();
    return made;
}

Status remake(Connection& c, const QString& table, const Made& made) {
    const auto columns = c.columns(table);
    if (!columns.ok()) return columns.error();
    QStringList names{QStringLiteral("rowid")};
    for (const ColumnInfo& column : columns.value())
        names << quoteName(column.name);
    const QString list = names.join(QStringLiteral(", "));
    const QString old = quoteName(QStringLiteral("Rockvane_old_") + table);
    QString statement = made.table;
    statement.replace(memoNotes(), QStringLiteral("\\1TEXT"));
    // Renamed first, so that the table is made again under its own name by its own
    // statement; each value becomes the text it showed (a note stored as 12.5 reads
    // "12.5", as before).
    QStringList steps{
        QStringLiteral("ALTER TABLE ") + quoteName(table) + QStringLiteral(" RENAME TO ") + old,
        statement,
        QStringLiteral("INSERT INTO ") + quoteName(table) + QStringLiteral(" (") + list +
            QStringLiteral(") SELECT ") + list + QStringLiteral(" FROM ") + old,
        QStringLiteral("DROP TABLE ") + old};
    steps << made.indexes;
    for (const QString& sql : steps)
        if (Status s = c.execute(sql); !s.ok()) return s;
    return {};
}

} // namespace

bool notesKeepText(Connection& c) {
    if (c.onServer()) return true;
    for (const QString& table : kNotesTables) {
        const Result<Made> made = statementsOf(c, table);
        if (made.ok() && !made.value().table.isEmpty()) return false;
    }
    return true;
}

Status ensureTextNotes(Connection& c) {
    if (c.onServer()) return {};
    const bool own = !c.inTransaction();
    if (own)
        if (Status s = c.begin(); !s.ok()) return s;
    const auto failed = [&](const Status& s) {
        if (own) c.rollback();
        return s;
    };
    for (const QString& table : kNotesTables) {
        const Result<Made> made = statementsOf(c, table);
        if (!made.ok()) return failed(made.error());
        if (made.value().table.isEmpty()) continue;
        if (Status s = remake(c, table, made.value()); !s.ok()) return failed(s);
    }
    return own ? c.commit() : Status();
}

} // namespace rv
