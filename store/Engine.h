#pragma once
// The one seam between the store's typed operations and a database engine. A connection
// runs statements on one database; a prepared statement binds values and steps through
// rows; a bulk write reuses one prepared insert for many rows inside one transaction; the
// engine as a whole opens connections and works on database files (copy out, check,
// compact, hold a file while a checked copy is swapped in).
//
// Failures are answered as Error values carrying the engine's own number (its primary
// result code) and text. The statements themselves are the typed operations' part: what
// is particular to one engine's dialect stays in their texts.
#include "platform/Status.h"
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace rv {

// Error numbers the engine's operations on whole database files answer.
namespace err {
constexpr long long DatabaseBusy = 5; // the database is locked by another program
constexpr long long DatabaseCorrupt = 11;
constexpr long long NotADatabase = 26;
constexpr long long DiskFull = 61;
// A site server's answers, by what the engineer can do about them.
constexpr long long ServerUnreachable = 1101; // no server answers at the address
constexpr long long LoginRefused = 1102;      // the server refused the user or password
constexpr long long NoSuchDatabase = 1103;    // the server holds no database of that name
constexpr long long NoRockvaneTables = 1104;  // the database holds none of the program's tables
constexpr long long ConnectionLost = 1105;    // the server went away during the work
constexpr long long WriteRefused = 1106;      // the user may read but not write
// A row another engineer changed, or deleted, since this program read it: nothing was written.
constexpr long long ChangedByAnother = 1107;
constexpr long long DeletedByAnother = 1108;
// The database holds tables named as the program's but for the case of their letters, as
// tables made by hand without quotes are named: it is neither the program's nor empty.
constexpr long long TablesSpelledOtherwise = 1109;
} // namespace err

// Whether a refusal is of a row another engineer changed or deleted since it was read.
inline bool byAnotherEngineer(long long number) {
    return number == err::ChangedByAnother || number == err::DeletedByAnother;
}

// The kind of a value as the engine holds it.
enum class ValueKind : char { Null, Integer, Real, Text, Blob };

// One column of the current row, read without copying: the bytes stay valid until the
// statement steps, resets or goes.
struct CellView {
    ValueKind kind = ValueKind::Null;
    qint64 integer = 0;
    double real = 0;
    const char* bytes = nullptr; // a text's UTF-8 or a blob's bytes
    qsizetype length = 0;
};

// A prepared statement. Parameters are numbered from 1, columns from 0.
class EngineStatement {
public:
    enum class Step { Row, Done, Failed };

    virtual ~EngineStatement() = default;

    virtual void bindNull(int index) = 0;
    virtual void bindInt64(int index, qint64 value) = 0;
    virtual void bindDouble(int index, double value) = 0;
    virtual void bindText(int index, const QString& value) = 0;
    // UTF-8 bytes the caller keeps unchanged until the next step or reset.
    virtual void bindUtf8(int index, const char* bytes, qsizetype length) = 0;
    // Null for an invalid or null value, a number for an integer, boolean or real, text
    // for everything else.
    void bind(int index, const QVariant& value);

    // One step: a row is available, the statement is done, or it failed (error()).
    virtual Step step() = 0;
    // Back to before the first row, every parameter unbound.
    virtual void reset() = 0;
    virtual Error error() const = 0;

    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    virtual ValueKind kind(int column) const = 0;
    bool isNull(int column) const { return kind(column) == ValueKind::Null; }
    virtual qint64 int64(int column) const = 0;
    virtual double real(int column) const = 0;
    virtual QString text(int column) const = 0;
    // A text's UTF-8 or a blob's bytes, valid until the statement steps, resets or goes.
    virtual QByteArrayView bytes(int column) const = 0;
    // Every column of the current row at once (count no more than columnCount()).
    virtual void readRow(CellView* cells, int count) const = 0;
    // Once the first step has run, the rows the statement answers, when the engine holds
    // them all by then (a server sends the whole answer); -1 when they are read one by one.
    virtual qint64 rowsHeld() const { return -1; }
    // Asked before the first step by a caller that reads every row before the connection
    // runs anything else: the engine may then hand each row over as it arrives instead of
    // holding the whole answer first. True when it does so (a server); false when its rows
    // are read one by one anyway (a file).
    virtual bool streamAnswer() { return false; }
    // The value as its kind: qint64, double, QString, QByteArray, or a null QVariant.
    QVariant value(int column) const;
};

// A prepared insert reused for many rows inside one transaction of its own. Bind a row's
// values on row(), then add() it; finish() commits every row added. Destroyed unfinished,
// it rolls back: none of its rows stay.
class BulkWrite {
public:
    virtual ~BulkWrite() = default;
    virtual EngineStatement& row() = 0;
    // Writes the bound row and unbinds it for the next.
    virtual Status add() = 0;
    virtual Status finish() = 0;
};

// Rows written into one table inside the open transaction the fastest way the engine
// has (a server's COPY). Values go column by column; endRow() after each row's last.
// Rows may be held and sent together: finish() sends what is held, and every row is then
// in the table. A value the table refuses fails the rows sent with it.
class RowStream {
public:
    virtual ~RowStream() = default;
    virtual void null() = 0;
    virtual void integer(qint64 value) = 0;
    virtual void real(double value) = 0;
    virtual void text(const char* utf8, qsizetype length) = 0;
    virtual Status endRow() = 0;
    virtual Status finish() = 0;
};

// The arguments of one call of a function the program defines, and its answer.
class FunctionCall {
public:
    virtual ~FunctionCall() = default;
    virtual int argumentCount() const = 0;
    virtual ValueKind kind(int argument) const = 0;
    virtual qint64 int64(int argument) const = 0;
    virtual double real(int argument) const = 0;
    virtual QString text(int argument) const = 0;
    virtual void answerNull() = 0;
    virtual void answerInt64(qint64 value) = 0;
    virtual void answerDouble(double value) = 0;
    virtual void answerText(const QString& value) = 0;
};
using ScalarFunction = std::function<void(FunctionCall&)>;

// A column as the engine describes it: its name and its declared type as written.
struct EngineColumn {
    QString name;
    QString declaredType;
};

// The last change to one row of a table, as the engine kept it.
struct RowChange {
    QString by;     // the database user who made it
    QDateTime when; // when it was made (local time)
    bool deleted = false;
};

// An open connection to one database.
class EngineConnection {
public:
    virtual ~EngineConnection() = default;

    // Which engine and database, for the log: "SQLite file /path/to/file".
    virtual QString describe() const = 0;
    // Whether the database can only be read (write-protected, or opened so).
    virtual bool readOnly() const = 0;
    // Who works on the database: the database user on a server, the login name on a file.
    virtual QString userName() const = 0;
    virtual Error lastError() const = 0;

    virtual Result<std::unique_ptr<EngineStatement>> prepare(const QString& sql) = 0;
    // Runs every statement of the text, none of which returns rows.
    virtual Status execute(const QString& sql) = 0;
    // The program's tables (the engine's own left out), by name.
    virtual Result<QStringList> tables() = 0;
    // A table's columns in their order; a table that does not exist answers an empty list.
    virtual Result<std::vector<EngineColumn>> columns(const QString& table) = 0;

    virtual Status begin() = 0;
    virtual Status commit() = 0;
    // Undoes the open transaction; nothing when none is open.
    virtual void rollback() = 0;
    virtual bool inTransaction() const = 0;

    // Rows changed by the last insert, update or delete; by every one since opening.
    virtual qint64 changes() const = 0;
    virtual qint64 totalChanges() const = 0;
    // The row number the last insert gave its row.
    virtual qint64 lastInsertId() const = 0;

    // carryOn is asked every so many steps of the engine while a statement runs; false
    // interrupts the statement. An empty function stops asking.
    virtual void setProgressHandler(int everySteps, std::function<bool()> carryOn) = 0;
    // Makes a function of the program callable by name from statements on this
    // connection; an empty function removes it. deterministic: the same arguments always
    // give the same answer.
    virtual Status defineFunction(const QString& name, int argumentCount, bool deterministic,
                                  ScalarFunction function) = 0;
    // Whether statements can call the program's functions (defineFunction); where not, the
    // store computes those values in the program from the rows it reads.
    virtual bool runsProgramFunctions() const { return true; }

    // A prepared insert for many rows in a transaction of its own.
    virtual Result<std::unique_ptr<BulkWrite>> bulkWrite(const QString& insertSql);

    // A stream of rows for insertHead ("INSERT INTO <table> (<columns>)"), or nothing where
    // the engine's prepared inserts are its fastest way.
    virtual Result<std::unique_ptr<RowStream>> streamRows(const QString& insertHead) {
        (void)insertHead;
        return std::unique_ptr<RowStream>();
    }

    // Makes the table target shaped like source (names unquoted): the same columns with
    // their types, defaults and checks, and the same indexes; no rows.
    virtual Status createTableLike(const QString& source, const QString& target) = 0;

    // Several programs may write to a site server at once: the server keeps, for the rows
    // of the tables it is asked to, who last changed or deleted each one and when. A file
    // has one user at a time and keeps nothing. keepChanges starts it for a table (the
    // program's tables are kept from when they are made); lastChange answers a row's last
    // change, or nothing where none was kept.
    virtual Status keepChanges(const QString& table) {
        (void)table;
        return {};
    }
    // Whether the database keeps who changed its rows (a site server prepared for it).
    virtual Result<bool> keepsRowChanges() { return false; }
    virtual Result<std::optional<RowChange>> lastChange(const QString& table, qint64 rowid) {
        (void)table;
        (void)rowid;
        return std::optional<RowChange>();
    }

    // Removes every row of the table (its name unquoted) inside the transaction under way,
    // as a restore does before it copies the backup in. A site server does so without
    // recording each row as deleted by this user, and forgets what it recorded of the
    // table's rows: the rows are all new.
    virtual Status emptyTable(const QString& table);

    // A mark of what the database holds: equal marks, nothing has changed in between.
    // totalChanges counts this connection's writes; dataVersion others' and schemaVersion
    // any table made or changed. An engine that cannot tell answers totalChanges -1:
    // whatever was read must be read again.
    struct ChangeStamp {
        qint64 totalChanges = -1;
        qint64 dataVersion = -1;
        qint64 schemaVersion = -1;
        bool operator==(const ChangeStamp&) const = default;
    };
    virtual ChangeStamp changeStamp() = 0;

    // Writes a copy of the open database to target (a path that holds no file) under one
    // read lock: a copy of one moment; the connection stays as it is. Another program's
    // write is waited for up to busyTimeoutMs, then answered with DatabaseBusy; a copy that
    // does not fit on the disk answers DiskFull.
    virtual Status copyTo(const QString& target, int busyTimeoutMs) = 0;

    // The engine's own connection object, for code not yet moved onto this interface.
    virtual void* nativeHandle() const = 0;
};

// Held while a database file is copied or replaced: no other program can write to the
// file in the meantime. Let go when destroyed.
class DatabaseLock {
public:
    virtual ~DatabaseLock() = default;
    // False for the empty lock of a file that is missing or no database.
    virtual bool holds() const { return false; }
    // Whether, while the lock holds, another connection is writing to the file: it holds
    // the engine's write lock (its journal is then its own, live). A journal beside the
    // file while no one writes is one the engine has finished with: had it been hot, the
    // engine would have rolled it back before the lock could hold.
    virtual bool writerActive() const { return false; }
};

// How far a check of a database file looks.
enum class DatabaseCheckDepth {
    // The engine's full integrity check, and the fixed tables present: a backup that is
    // to become the database.
    Full,
    // The engine's quick check of every page and row: a copy the engine has just written,
    // the database at start-up.
    Quick,
};

// A database engine: opens connections and works on whole database files.
class DatabaseEngine {
public:
    enum class Mode { ReadWrite, ReadOnly };

    virtual ~DatabaseEngine() = default;
    virtual QString name() const = 0;

    // Opens an existing database; a missing one is an error, never an empty new database.
    virtual Result<std::unique_ptr<EngineConnection>> open(const QString& location, Mode mode,
                                                           int busyTimeoutMs) = 0;
    // Makes a new, empty database at location, which must not exist yet.
    virtual Result<std::unique_ptr<EngineConnection>> create(const QString& location) = 0;

    // The engine's own check of the database at location: its findings, "ok" alone for a
    // sound one; for a Full check also the tables the file holds.
    struct FileCheck {
        QStringList findings;
        QStringList tables;
    };
    virtual Result<FileCheck> checkFile(const QString& location, DatabaseCheckDepth depth,
                                        int busyTimeoutMs) = 0;
    // Writes a compacted copy of the database at source to target (no file there yet).
    // Errors name the file they concern after the engine's text.
    virtual Status compactInto(const QString& source, const QString& target, int busyTimeoutMs) = 0;
    // Holds the database at location against writers while a copy is swapped in for it.
    // A file that cannot be read as a database gets an empty lock; one another program is
    // writing answers DatabaseBusy (or the engine's own number for a locked table).
    virtual Result<std::unique_ptr<DatabaseLock>> holdForSwap(const QString& location,
                                                              int busyTimeoutMs) = 0;
    // The file the engine writes beside a database while a change is under way.
    virtual QString journalOf(const QString& location) const = 0;
};

// Runs sql on c, its one text parameter bound to bound unless that is null, and hands
// every row to onRow: the engines' own small queries about their tables.
Status eachRow(EngineConnection& c, const QString& sql, const QString& bound,
               const std::function<void(EngineStatement&)>& onRow);

// The engine the program stores its data with (the file engine, SQLite, today).
DatabaseEngine& defaultEngine();

// Every engine the program can use, the default first.
std::vector<DatabaseEngine*> availableEngines();

} // namespace rv
