#include "store/Connection.h"
#include "store/Statements.h"
#include <QFileInfo>
#include <QRegularExpression>
#include <sqlite3.h>

namespace rv {

Connection::~Connection() {
    close();
}

Error Connection::lastError() const {
    if (!m_db)
        return Error{err::ObjectClosed, QStringLiteral("The connection to the database is closed")};
    return Error{sqlite3_extended_errcode(m_db) & 0xff, QString::fromUtf8(sqlite3_errmsg(m_db))};
}

Status Connection::open(const QString& path, Mode mode) {
    close();
    const QFileInfo info(path);
    if (!info.exists())
        return Status::fail(SQLITE_CANTOPEN,
                            QStringLiteral("Could not find file '") + path + QStringLiteral("'."));
    if (!info.isFile())
        return Status::fail(SQLITE_CANTOPEN,
                            QStringLiteral("'") + path + QStringLiteral("' is not a file."));
    // No SQLITE_OPEN_CREATE: the database is never created by opening it.
    // One thread uses a connection: no locking around every call.
    const int flags = (mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                      SQLITE_OPEN_NOMUTEX;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const Error e{rc, db ? QString::fromUtf8(sqlite3_errmsg(db))
                             : QStringLiteral("Could not open the database")};
        sqlite3_close(db);
        return e;
    }
    m_db = db;
    m_path = path;
    sqlite3_busy_timeout(m_db, 3000);
    // A page cache large enough for a sensor's whole readings table: rows are read in
    // FullDate order through its index, which visits the table's pages out of order.
    sqlite3_exec(m_db, "PRAGMA cache_size = -65536", nullptr, nullptr, nullptr);
    sqlite3_extended_result_codes(m_db, 1);
    // Reading the table list proves the file is a database the engine can read.
    Query probe(*this, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    if (probe.prepared().ok()) probe.next();
    if (!probe.status().ok()) {
        const Error e = probe.status().error();
        close();
        return e;
    }
    return {};
}

bool Connection::readOnly() const {
    return m_db && sqlite3_db_readonly(m_db, "main") == 1;
}

void Connection::close() {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_columns.clear();
}

Status Connection::runPlain(const QString& sql) {
    Query q(*this, sql);
    if (!q.prepared().ok()) return q.prepared();
    return q.run();
}

Status Connection::execute(const QString& statement) {
    if (!m_db) return lastError();
    const TranslatedStatement t = translateStatement(statement);
    m_columns.clear();
    if (t.kind == TranslatedStatement::Kind::SelectInto)
        return runSelectInto(t.target, t.source, t.tail);
    return runPlain(t.sql);
}

Status Connection::runSelectInto(const QString& target, const QString& source,
                                 const QString& tail) {
    // The new table is created from the source table's own definition, so its column
    // types, defaults and checks come along, and the source's indexes are copied too.
    QString createSql;
    std::vector<QString> indexSql;
    {
        Query q(*this, QStringLiteral("SELECT type, sql FROM sqlite_master WHERE tbl_name = ?1 "
                                      "COLLATE NOCASE AND sql IS NOT NULL ORDER BY type DESC"));
        q.bind(1, source);
        while (q.next()) {
            if (q.value(0).toString() == QLatin1String("table"))
                createSql = q.value(1).toString();
            else if (q.value(0).toString() == QLatin1String("index"))
                indexSql.push_back(q.value(1).toString());
        }
        if (!q.status().ok()) return q.status();
    }
    if (createSql.isEmpty())
        return Status::fail(SQLITE_ERROR, QStringLiteral("no such table: ") + source);

    static const QRegularExpression createHead(
        QStringLiteral(R"(^\s*CREATE\s+TABLE\s+(`[^`]+`|"[^"]+"|\[[^\]]+\]|\S+)\s*\()"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = createHead.match(createSql);
    if (!m.hasMatch())
        return Status::fail(SQLITE_ERROR,
                            QStringLiteral("Cannot copy the definition of ") + source);
    const QString newCreate = QStringLiteral("CREATE TABLE ") + quoteName(target) +
                              QStringLiteral(" (") + createSql.mid(m.capturedEnd());

    static const QRegularExpression indexHead(
        QStringLiteral(
            R"(^\s*CREATE\s+(UNIQUE\s+)?INDEX\s+(`[^`]+`|"[^"]+"|\[[^\]]+\]|\S+)\s+ON\s+(`[^`]+`|"[^"]+"|\[[^\]]+\]|\S+)\s*\()"),
        QRegularExpression::CaseInsensitiveOption);

    if (Status s = begin(); !s.ok()) return s;
    auto fail = [this](Status s) {
        rollback();
        m_columns.clear();
        return s;
    };
    if (Status s = runPlain(newCreate); !s.ok()) return fail(s);
    for (const QString& sql : indexSql) {
        const auto im = indexHead.match(sql);
        if (!im.hasMatch()) continue;
        QString indexName = unquoteName(im.captured(2));
        if (indexName.startsWith(source, Qt::CaseInsensitive))
            indexName = indexName.mid(source.size());
        const QString newIndex = QStringLiteral("CREATE ") + im.captured(1) +
                                 QStringLiteral("INDEX ") + quoteName(target + indexName) +
                                 QStringLiteral(" ON ") + quoteName(target) + QStringLiteral(" (") +
                                 sql.mid(im.capturedEnd());
        if (Status s = runPlain(newIndex); !s.ok()) return fail(s);
    }
    const QString copyRows = QStringLiteral("INSERT INTO ") + quoteName(target) +
                             QStringLiteral(" SELECT * FROM ") + quoteName(source) + tail;
    if (Status s = runPlain(copyRows); !s.ok()) return fail(s);
    if (Status s = commit(); !s.ok()) return fail(s);
    m_columns.clear();
    return {};
}

Result<QStringList> Connection::tables() {
    if (!m_db) return lastError();
    QStringList names;
    Query q(*this, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name "
                                  "NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name"));
    while (q.next())
        names << q.value(0).toString();
    if (!q.status().ok()) return q.status();
    return names;
}

Result<std::vector<ColumnInfo>> Connection::columns(const QString& table) {
    if (!m_db) return lastError();
    const QString key = table.toLower();
    if (auto it = m_columns.constFind(key); it != m_columns.constEnd()) return *it;
    std::vector<ColumnInfo> cols;
    Query q(*this, QStringLiteral("SELECT name, type FROM pragma_table_info(?1)"));
    q.bind(1, table);
    while (q.next())
        cols.push_back(ColumnInfo{q.value(0).toString(), columnTypeOf(q.value(1).toString())});
    if (!q.status().ok()) return q.status();
    if (cols.empty()) return Status::fail(SQLITE_ERROR, QStringLiteral("no such table: ") + table);
    m_columns.insert(key, cols);
    return cols;
}

Status Connection::begin() {
    return runPlain(QStringLiteral("BEGIN"));
}
Status Connection::commit() {
    return runPlain(QStringLiteral("COMMIT"));
}
void Connection::rollback() {
    if (m_db && !sqlite3_get_autocommit(m_db)) (void)runPlain(QStringLiteral("ROLLBACK"));
}

// ---------------------------------------------------------------------------------

Query::Query(Connection& connection, const QString& sql) : m_connection(connection) {
    if (!connection.handle()) {
        m_status = connection.lastError();
        return;
    }
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(connection.handle(), utf8.constData(), int(utf8.size()), &m_stmt,
                           nullptr) != SQLITE_OK) {
        m_status = connection.lastError();
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

Query::~Query() {
    sqlite3_finalize(m_stmt);
}

void Query::bind(int index, const QVariant& value) {
    if (!m_stmt) return;
    if (!value.isValid() || value.isNull()) {
        sqlite3_bind_null(m_stmt, index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Bool:
        sqlite3_bind_int64(m_stmt, index, value.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_bind_double(m_stmt, index, value.toDouble());
        break;
    default: {
        const QByteArray utf8 = value.toString().toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    }
}

bool Query::next() {
    if (!m_stmt || !m_status.ok()) return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) m_status = m_connection.lastError();
    return false;
}

Status Query::run() {
    if (!m_stmt) return m_status;
    while (next()) {
    }
    return m_status;
}

void Query::reset() {
    if (m_stmt) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    m_status = Status();
}

int Query::columnCount() const {
    return m_stmt ? sqlite3_column_count(m_stmt) : 0;
}

QString Query::columnName(int i) const {
    return m_stmt ? QString::fromUtf8(sqlite3_column_name(m_stmt, i)) : QString();
}

QVariant Query::value(int i) const {
    switch (sqlite3_column_type(m_stmt, i)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(m_stmt, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, i));
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, i));
        return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, i)));
    }
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(m_stmt, i)),
                                   sqlite3_column_bytes(m_stmt, i)));
    default:
        return QVariant();
    }
}

} // namespace rv
