#include "store/Connection.h"
#include "store/DatabaseCopy.h"
#include "store/DatabaseFile.h"
#include "store/PgEngine.h"
#include "store/Statements.h"
#include <algorithm>
#include <optional>

namespace rv {

// The number the engine gives a statement about a table it does not have.
constexpr long long kNoSuchTable = 1;

Connection::~Connection() {
    close();
}

Error Connection::lastError() const {
    if (!m_engine)
        return Error{err::ObjectClosed, QStringLiteral("The connection to the database is closed")};
    return m_engine->lastError();
}

Status Connection::open(const QString& path, Mode mode) {
    close();
    auto opened = defaultEngine().open(path,
                                       mode == Mode::ReadOnly ? DatabaseEngine::Mode::ReadOnly
                                                              : DatabaseEngine::Mode::ReadWrite,
                                       3000);
    if (!opened.ok()) return opened.error();
    m_engine = std::move(opened).value();
    m_path = path;
    m_onServer = false;
    return {};
}

Status Connection::openServer(const QString& conninfo, Mode mode, Tables tables) {
    close();
    auto opened = postgresEngine().open(conninfo,
                                        mode == Mode::ReadOnly ? DatabaseEngine::Mode::ReadOnly
                                                               : DatabaseEngine::Mode::ReadWrite,
                                        kServerLockWaitSeconds * 1000);
    if (!opened.ok()) return opened.error();
    m_engine = std::move(opened).value();
    m_path = conninfo;
    m_onServer = true;
    if (tables == Tables::Required) {
        auto names = m_engine->tables();
        if (!names.ok()) {
            close();
            return names.error();
        }
        for (const QString& fixed : fixedTables()) {
            if (!names.value().contains(fixed)) {
                close();
                const QStringList spelled = tablesSpelledOtherwise(names.value());
                if (!spelled.isEmpty())
                    return Status::fail(err::TablesSpelledOtherwise,
                                        spelled.join(QStringLiteral(", ")));
                return Status::fail(err::NoRockvaneTables,
                                    QStringLiteral("The database ") + serverDisplayName(conninfo) +
                                        QStringLiteral(" holds no Rockvane tables (") + fixed +
                                        QStringLiteral(" is missing)"));
            }
        }
        if (!readOnly()) keepChangesOfOlderDatabase();
    }
    return {};
}

void Connection::keepChangesOfOlderDatabase() {
    const Result<bool> kept = m_engine->keepsRowChanges();
    if (!kept.ok() || kept.value()) return;
    const Result<QStringList> tables = programTables(*this);
    if (!tables.ok() || !begin().ok()) return;
    // Sensors and every sensor's readings: the tables engineers change row by row.
    for (const QString& table : tables.value())
        if (table == QLatin1String("Sensors") || !isOwnTable(table))
            if (!m_engine->keepChanges(table).ok()) return rollback();
    if (!commit().ok()) rollback();
}

QDateTime Connection::now() const {
    return m_clock ? m_clock->now() : SystemClock().now();
}

bool Connection::readOnly() const {
    return m_engine && m_engine->readOnly();
}

QString Connection::describe() const {
    return m_engine ? m_engine->describe() : QString();
}

sqlite3* Connection::handle() const {
    return m_engine ? static_cast<sqlite3*>(m_engine->nativeHandle()) : nullptr;
}

void Connection::close() {
    m_engine.reset();
    m_onServer = false;
    m_columns.clear();
}

Status Connection::runPlain(const QString& sql) {
    Query q(*this, sql);
    if (!q.prepared().ok()) return q.prepared();
    return q.run();
}

Status Connection::execute(const QString& statement) {
    if (!m_engine) return lastError();
    const TranslatedStatement t = translateStatement(statement);
    m_columns.clear();
    if (t.kind == TranslatedStatement::Kind::SelectInto)
        return runSelectInto(t.target, t.source, t.tail);
    return runPlain(t.sql);
}

Status Connection::runSelectInto(const QString& target, const QString& source,
                                 const QString& tail) {
    // Inside the caller's transaction the table is part of it, kept or undone with it;
    // otherwise it is made in a transaction of its own.
    const bool own = !inTransaction();
    if (own)
        if (Status s = begin(); !s.ok()) return s;
    auto fail = [this, own](Status s) {
        if (own) rollback();
        m_columns.clear();
        return s;
    };
    if (Status s = m_engine->createTableLike(source, target); !s.ok()) return fail(s);
    // The rows the tail chooses, column by column: the engine's own row numbers are the
    // new table's to give.
    auto cols = columns(source);
    if (!cols.ok()) return fail(cols.error());
    QStringList names;
    for (const ColumnInfo& c : cols.value())
        names << quoteName(c.name);
    const QString list = names.join(QStringLiteral(", "));
    const QString copyRows = QStringLiteral("INSERT INTO ") + quoteName(target) +
                             QStringLiteral(" (") + list + QStringLiteral(") SELECT ") + list +
                             QStringLiteral(" FROM ") + quoteName(source) + tail;
    if (Status s = runPlain(copyRows); !s.ok()) return fail(s);
    if (own)
        if (Status s = commit(); !s.ok()) return fail(s);
    m_columns.clear();
    return {};
}

Result<QStringList> Connection::tables() {
    if (!m_engine) return lastError();
    return m_engine->tables();
}

Result<std::vector<ColumnInfo>> Connection::columns(const QString& table) {
    if (!m_engine) return lastError();
    const QString key = table.toLower();
    if (auto it = m_columns.constFind(key); it != m_columns.constEnd()) return *it;
    const auto described = m_engine->columns(table);
    if (!described.ok()) return described.error();
    std::vector<ColumnInfo> cols;
    cols.reserve(described.value().size());
    for (const EngineColumn& c : described.value())
        cols.push_back(ColumnInfo{c.name, columnTypeOf(c.declaredType)});
    if (cols.empty()) return Status::fail(kNoSuchTable, QStringLiteral("no such table: ") + table);
    m_columns.insert(key, cols);
    return cols;
}

Status Connection::begin() {
    if (!m_engine) return lastError();
    return m_engine->begin();
}
Status Connection::commit() {
    if (!m_engine) return lastError();
    return m_engine->commit();
}
void Connection::rollback() {
    if (m_engine) m_engine->rollback();
}
bool Connection::inTransaction() const {
    return m_engine && m_engine->inTransaction();
}

qint64 Connection::changes() const {
    return m_engine ? m_engine->changes() : 0;
}
qint64 Connection::totalChanges() const {
    return m_engine ? m_engine->totalChanges() : 0;
}
qint64 Connection::lastInsertId() const {
    return m_engine ? m_engine->lastInsertId() : 0;
}

void Connection::setProgressHandler(int everySteps, std::function<bool()> carryOn) {
    if (m_engine) m_engine->setProgressHandler(everySteps, std::move(carryOn));
}

Status Connection::defineFunction(const QString& name, int argumentCount, bool deterministic,
                                  ScalarFunction function) {
    if (!m_engine) return lastError();
    return m_engine->defineFunction(name, argumentCount, deterministic, std::move(function));
}

Result<std::unique_ptr<BulkWrite>> Connection::bulkWrite(const QString& insertSql) {
    if (!m_engine) return lastError();
    return m_engine->bulkWrite(insertSql);
}

// ---------------------------------------------------------------------------------

Query::Query(Connection& connection, const QString& sql) : m_connection(connection) {
    EngineConnection* engine = connection.engine();
    if (!engine) {
        m_status = connection.lastError();
        return;
    }
    auto prepared = engine->prepare(sql);
    if (!prepared.ok())
        m_status = prepared.error();
    else
        m_stmt = std::move(prepared).value();
}

Query::~Query() = default;

void Query::bind(int index, const QVariant& value) {
    if (m_stmt) m_stmt->bind(index, value);
}
void Query::bindNull(int index) {
    if (m_stmt) m_stmt->bindNull(index);
}
void Query::bindInt64(int index, qint64 value) {
    if (m_stmt) m_stmt->bindInt64(index, value);
}
void Query::bindDouble(int index, double value) {
    if (m_stmt) m_stmt->bindDouble(index, value);
}
void Query::bindText(int index, const QString& value) {
    if (m_stmt) m_stmt->bindText(index, value);
}
void Query::bindUtf8(int index, const char* bytes, qsizetype length) {
    if (m_stmt) m_stmt->bindUtf8(index, bytes, length);
}

bool Query::next() {
    if (!m_stmt || !m_status.ok()) return false;
    switch (m_stmt->step()) {
    case EngineStatement::Step::Row:
        return true;
    case EngineStatement::Step::Done:
        return false;
    case EngineStatement::Step::Failed:
        m_status = m_stmt->error();
        return false;
    }
    return false;
}

Status Query::run() {
    if (!m_stmt) return m_status;
    while (next()) {
    }
    return m_status;
}

void Query::reset() {
    if (m_stmt) m_stmt->reset();
    m_status = Status();
}

int Query::columnCount() const {
    return m_stmt ? m_stmt->columnCount() : 0;
}

QString Query::columnName(int i) const {
    return m_stmt ? m_stmt->columnName(i) : QString();
}

QVariant Query::value(int i) const {
    return m_stmt ? m_stmt->value(i) : QVariant();
}

QString rowNumbersIn(int first, int rows) {
    QString in = QStringLiteral("rowid IN (?") + QString::number(first);
    for (int i = 1; i < rows; ++i)
        in += QStringLiteral(", ?") + QString::number(first + i);
    return in + u')';
}

Status forRowChunks(Connection& c, const std::vector<qint64>& rowids, int firstRow,
                    const std::function<QString(int rows)>& statement,
                    const std::function<Status(Query& q)>& run) {
    constexpr std::size_t kRows = 500;
    std::optional<Query> whole;
    for (std::size_t from = 0; from < rowids.size(); from += kRows) {
        const std::size_t n = std::min(kRows, rowids.size() - from);
        std::optional<Query> rest;
        Query& q = n < kRows ? rest.emplace(c, statement(int(n)))
                   : whole   ? *whole
                             : whole.emplace(c, statement(int(n)));
        if (!q.prepared().ok()) return q.prepared();
        for (std::size_t i = 0; i < n; ++i)
            q.bindInt64(firstRow + int(i), rowids[from + i]);
        if (Status s = run(q); !s.ok()) return s;
        q.reset();
    }
    return {};
}

} // namespace rv
