#pragma once
// The one connection to the database file. It opens an existing file only (a missing
// file is an error, never an empty new database), runs the system's statements through
// the translation of Statements.h, lists the tables and describes their columns.
#include "platform/Status.h"
#include "store/ColumnType.h"
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace rv {

struct ColumnInfo {
    QString name;
    ColumnType type = ColumnType::Any;
};

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
    void close();
    bool isOpen() const { return m_db != nullptr; }
    const QString& path() const { return m_path; }
    // Whether the open database can only be read (write-protected, or opened so).
    bool readOnly() const;

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

    // The engine's last error as an Error (number and description).
    Error lastError() const;
    sqlite3* handle() const { return m_db; }
    // Forget cached column descriptions (after a table was created or dropped).
    void forgetColumns() { m_columns.clear(); }

private:
    Status runPlain(const QString& sql);
    Status runSelectInto(const QString& target, const QString& source, const QString& tail);

    sqlite3* m_db = nullptr;
    QString m_path;
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
    void bind(int index, const QVariant& value); // 1-based
    // Steps once: true while a row is available; a failure ends the rows and is kept
    // in status().
    bool next();
    Status run(); // steps to the end of a statement without rows
    void reset();
    int columnCount() const;
    QString columnName(int i) const;
    QVariant value(int i) const;
    const Status& status() const { return m_status; }
    sqlite3_stmt* statement() const { return m_stmt; }

private:
    Connection& m_connection;
    sqlite3_stmt* m_stmt = nullptr;
    Status m_status;
};

} // namespace rv
