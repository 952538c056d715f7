#pragma once
// The one connection to the database file. It opens an existing file only (a missing
// file is an error, never an empty new database), runs the system's statements through
// the translation of Statements.h, lists the tables and describes their columns. It works
// through the engine interface (store/Engine.h) on the default engine.
#include "platform/Clock.h"
#include "platform/Status.h"
#include "store/ColumnType.h"
#include "store/Engine.h"
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <vector>

struct sqlite3;

namespace rv {

struct ColumnInfo {
    QString name;
    ColumnType type = ColumnType::Any;
};

// How long a statement on a site server waits for a row or table another engineer's change
// holds before it gives up (the window waits with it).
constexpr int kServerLockWaitSeconds = 3;

class Connection {
public:
    enum class Mode { ReadWrite, ReadOnly };

    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens the database file at path. Fails when the file is missing, is not a
    // database, or cannot be read; a write-protected file opens for reading only.
    Status open(const QString& path, Mode mode = Mode::ReadWrite);
    // Connects to a site server's database; conninfo is a libpq connection string
    // ("host=db.mine port=5432 dbname=rockvane user=jo sslmode=require"). Fails with
    // err::ServerUnreachable, err::LoginRefused or err::NoSuchDatabase (the text the
    // server's own), and, when tables is Required, with err::NoRockvaneTables for a
    // database without the program's fixed tables.
    enum class Tables { Required, Any };
    Status openServer(const QString& conninfo, Mode mode = Mode::ReadWrite,
                      Tables tables = Tables::Required);
    // Whether the open database is on a site server (false for a file, or when closed).
    bool onServer() const { return m_onServer && m_engine; }
    void close();
    bool isOpen() const { return m_engine != nullptr; }
    // The file's path, or the server's connection string.
    const QString& path() const { return m_path; }
    // Which engine and database the connection is open on: "SQLite file <path>"; empty
    // when closed.
    QString describe() const;
    // Whether the open database can only be read (write-protected, or opened so).
    bool readOnly() const;
    // Who works on the database: the database user on a server, the login name on a file.
    QString userName() const { return m_engine ? m_engine->userName() : QString(); }
    // The clock the store dates what it records by (the history of changes): the system's
    // clock unless one is given; the clock must outlive the connection.
    void setClock(const Clock* clock) { m_clock = clock; }
    QDateTime now() const;

    // Runs a statement that returns no rows (see translateStatement).
    Status execute(const QString& statement);
    // Every table of the database (the engine's own sqlite_ tables left out).
    Result<QStringList> tables();
    // The columns of a table in their order, with their logical types.
    Result<std::vector<ColumnInfo>> columns(const QString& table);

    // Transactions for work on many rows; commit() ends one, rollback() undoes it.
    Status begin();
    Status commit();
    void rollback();
    // Whether a transaction is open.
    bool inTransaction() const;

    // Rows changed by the last insert, update or delete; by every one since opening.
    qint64 changes() const;
    qint64 totalChanges() const;
    // The row number (rowid) the last insert gave its row.
    qint64 lastInsertId() const;

    // See EngineConnection::setProgressHandler and defineFunction.
    void setProgressHandler(int everySteps, std::function<bool()> carryOn);
    Status defineFunction(const QString& name, int argumentCount, bool deterministic,
                          ScalarFunction function);
    bool runsProgramFunctions() const { return m_engine && m_engine->runsProgramFunctions(); }
    // A prepared insert for many rows in a transaction of its own.
    Result<std::unique_ptr<BulkWrite>> bulkWrite(const QString& insertSql);
    // The open engine connection (nullptr when closed).
    EngineConnection* engine() const { return m_engine.get(); }

    // The engine's last error as an Error (number and description).
    Error lastError() const;
    // The SQLite connection itself, for tests and benchmarks that reach beneath the
    // store (another program's hook, the identity of the open connection); nullptr when
    // closed. The program itself works through engine().
    sqlite3* handle() const;
    // Forget cached column descriptions (after a table was created or dropped).
    void forgetColumns() { m_columns.clear(); }

private:
    Status runPlain(const QString& sql);
    Status runSelectInto(const QString& target, const QString& source, const QString& tail);
    // A server database made before the server kept who changes the rows of the program's
    // tables (EngineConnection::keepChanges) gains it, in one transaction, when the user
    // may make it; otherwise it is used without.
    void keepChangesOfOlderDatabase();

    std::unique_ptr<EngineConnection> m_engine;
    QString m_path; // the file's path, or the server's connection string
    bool m_onServer = false;
    const Clock* m_clock = nullptr;
    QHash<QString, std::vector<ColumnInfo>> m_columns;
};

// A prepared statement on an open connection.
class Query {
public:
    Query(Connection& connection, const QString& sql);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    const Status& prepared() const { return m_status; }
    // Parameters are 1-based; binding on a statement that failed to prepare does nothing.
    void bind(int index, const QVariant& value);
    void bindNull(int index);
    void bindInt64(int index, qint64 value);
    void bindDouble(int index, double value);
    void bindText(int index, const QString& value);
    // UTF-8 bytes kept unchanged by the caller until the next step or reset.
    void bindUtf8(int index, const char* bytes, qsizetype length);
    // Steps once: true while a row is available; a failure ends the rows and is kept
    // in status().
    bool next();
    Status run(); // steps to the end of a statement without rows
    void reset();
    int columnCount() const;
    QString columnName(int i) const;
    // Columns are 0-based, read on the current row.
    QVariant value(int i) const;
    bool isNull(int i) const { return kind(i) == ValueKind::Null; }
    ValueKind kind(int i) const { return m_stmt ? m_stmt->kind(i) : ValueKind::Null; }
    qint64 int64(int i) const { return m_stmt ? m_stmt->int64(i) : 0; }
    double real(int i) const { return m_stmt ? m_stmt->real(i) : 0.0; }
    QString text(int i) const { return m_stmt ? m_stmt->text(i) : QString(); }
    QByteArrayView bytes(int i) const { return m_stmt ? m_stmt->bytes(i) : QByteArrayView(); }
    void readRow(CellView* cells, int count) const {
        if (m_stmt) m_stmt->readRow(cells, count);
    }
    qint64 rowsHeld() const { return m_stmt ? m_stmt->rowsHeld() : -1; }
    // See EngineStatement::streamAnswer: nothing else runs on the connection until every row
    // has been read.
    bool streamAnswer() { return m_stmt && m_stmt->streamAnswer(); }
    const Status& status() const { return m_status; }

private:
    Connection& m_connection;
    std::unique_ptr<EngineStatement> m_stmt;
    Status m_status;
};

// "rowid IN (?first, ?first+1, ...)" for that many row numbers, as numbered parameters.
QString rowNumbersIn(int first, int rows);

// Runs a statement for row numbers a chunk of up to 500 at a time, each chunk's bound to
// the parameters from firstRow on: statement(rows) gives its text for that many, and
// `run` binds any other parameter, runs it and reads its rows. The statement of a whole
// chunk is prepared once and run again for each, the rest gets one of its own: preparing
// one for every chunk cost more than running them, and a server round trips each.
Status forRowChunks(Connection& c, const std::vector<qint64>& rowids, int firstRow,
                    const std::function<QString(int rows)>& statement,
                    const std::function<Status(Query& q)>& run);

} // namespace rv
