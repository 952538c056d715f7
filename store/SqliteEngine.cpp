#include "store/SqliteEngine.h"
#include "platform/SingleInstance.h"
#include "store/Statements.h"
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <sqlite3.h>

namespace rv {

static_assert(err::DatabaseBusy == SQLITE_BUSY);
static_assert(err::DatabaseCorrupt == SQLITE_CORRUPT);
static_assert(err::NotADatabase == SQLITE_NOTADB);

namespace {

// The engine's last error on a connection, by its primary number.
Error lastErrorOf(sqlite3* db) {
    return Error{sqlite3_extended_errcode(db) & 0xff, QString::fromUtf8(sqlite3_errmsg(db))};
}

// An error of an operation on a whole file: the engine's text followed by the file's path.
Error fileError(sqlite3* db, int rc, const QString& path) {
    const QString text =
        db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    return Error{rc & 0xff, text + QStringLiteral(": ") + QDir::toNativeSeparators(path)};
}

bool isBusy(long long code) {
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

Error inUseByAnother(const QString& why, long long code) {
    return Error{code, QStringLiteral("The database is in use by another program (") + why +
                           QStringLiteral(")")};
}

class SqliteStatement final : public EngineStatement {
public:
    SqliteStatement(sqlite3* db, sqlite3_stmt* stmt) : m_db(db), m_stmt(stmt) {}
    ~SqliteStatement() override { sqlite3_finalize(m_stmt); }

    void bindNull(int index) override { sqlite3_bind_null(m_stmt, index); }
    void bindInt64(int index, qint64 value) override { sqlite3_bind_int64(m_stmt, index, value); }
    void bindDouble(int index, double value) override { sqlite3_bind_double(m_stmt, index, value); }
    void bindText(int index, const QString& value) override {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void bindUtf8(int index, const char* bytes, qsizetype length) override {
        sqlite3_bind_text(m_stmt, index, bytes ? bytes : "", int(length), SQLITE_STATIC);
    }

    Step step() override {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) return Step::Row;
        if (rc == SQLITE_DONE) return Step::Done;
        return Step::Failed;
    }
    void reset() override {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    Error error() const override { return lastErrorOf(m_db); }

    int columnCount() const override { return sqlite3_column_count(m_stmt); }
    QString columnName(int column) const override {
        return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
    }
    ValueKind kind(int column) const override {
        return kindOf(sqlite3_column_type(m_stmt, column));
    }
    qint64 int64(int column) const override { return sqlite3_column_int64(m_stmt, column); }
    double real(int column) const override { return sqlite3_column_double(m_stmt, column); }
    QString text(int column) const override {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, column));
    }
    QByteArrayView bytes(int column) const override {
        const char* data = sqlite3_column_type(m_stmt, column) == SQLITE_BLOB
                               ? static_cast<const char*>(sqlite3_column_blob(m_stmt, column))
                               : reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return QByteArrayView(data, sqlite3_column_bytes(m_stmt, column));
    }
    void readRow(CellView* cells, int count) const override {
        for (int i = 0; i < count; ++i) {
            CellView& c = cells[i];
            const int type = sqlite3_column_type(m_stmt, i);
            c.kind = kindOf(type);
            switch (type) {
            case SQLITE_INTEGER:
                c.integer = sqlite3_column_int64(m_stmt, i);
                break;
            case SQLITE_FLOAT:
                c.real = sqlite3_column_double(m_stmt, i);
                break;
            case SQLITE_TEXT:
                c.bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, i));
                c.length = sqlite3_column_bytes(m_stmt, i);
                break;
            case SQLITE_BLOB:
                c.bytes = static_cast<const char*>(sqlite3_column_blob(m_stmt, i));
                c.length = sqlite3_column_bytes(m_stmt, i);
                break;
            default:
                break;
            }
        }
    }
    static ValueKind kindOf(int type) {
        switch (type) {
        case SQLITE_INTEGER:
            return ValueKind::Integer;
        case SQLITE_FLOAT:
            return ValueKind::Real;
        case SQLITE_TEXT:
            return ValueKind::Text;
        case SQLITE_BLOB:
            return ValueKind::Blob;
        default:
            return ValueKind::Null;
        }
    }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
};

// One call of a program-defined function, as the engine hands it over.
class SqliteFunctionCall final : public FunctionCall {
public:
    SqliteFunctionCall(sqlite3_context* context, int argc, sqlite3_value** argv)
        : m_context(context), m_argc(argc), m_argv(argv) {}
    int argumentCount() const override { return m_argc; }
    ValueKind kind(int argument) const override {
        return SqliteStatement::kindOf(sqlite3_value_type(m_argv[argument]));
    }
    qint64 int64(int argument) const override { return sqlite3_value_int64(m_argv[argument]); }
    double real(int argument) const override { return sqlite3_value_double(m_argv[argument]); }
    QString text(int argument) const override {
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(m_argv[argument]));
        return QString::fromUtf8(text, sqlite3_value_bytes(m_argv[argument]));
    }
    void answerNull() override { sqlite3_result_null(m_context); }
    void answerInt64(qint64 value) override { sqlite3_result_int64(m_context, value); }
    void answerDouble(double value) override { sqlite3_result_double(m_context, value); }
    void answerText(const QString& value) override {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_result_text(m_context, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }

private:
    sqlite3_context* m_context;
    int m_argc;
    sqlite3_value** m_argv;
};

void callFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    const auto& function = *static_cast<const ScalarFunction*>(sqlite3_user_data(context));
    SqliteFunctionCall call(context, argc, argv);
    function(call);
}

void dropFunction(void* function) {
    delete static_cast<ScalarFunction*>(function);
}

// A private connection to one file for the operations on whole files, closed when it goes.
// Its errors name the file.
class FileConnection {
public:
    FileConnection() = default;
    FileConnection(const FileConnection&) = delete;
    FileConnection& operator=(const FileConnection&) = delete;
    ~FileConnection() { close(); }

    Status open(const QString& path, int flags, int busyTimeoutMs) {
        m_path = path;
        const int rc =
            sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            const Error e = fileError(m_db, rc, path);
            close();
            return e;
        }
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_timeout(m_db, busyTimeoutMs);
        return {};
    }
    void close() {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    sqlite3* handle() const { return m_db; }
    // Runs a statement to its end; rows, if any, go to onRow (first column as text).
    template <class F> Status run(const char* sql, const QString& bound, F&& onRow) {
        sqlite3_stmt* stmt = nullptr;
        int rc = sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr);
        if (rc == SQLITE_OK && !bound.isNull()) {
            const QByteArray utf8 = bound.toUtf8();
            rc = sqlite3_bind_text(stmt, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
        while (rc == SQLITE_OK || rc == SQLITE_ROW) {
            rc = sqlite3_step(stmt);
            if (rc == SQLITE_ROW)
                onRow(
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))));
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) return fileError(m_db, rc, m_path);
        return {};
    }
    Status run(const char* sql, const QString& bound = QString()) {
        return run(sql, bound, [](const QString&) {});
    }

private:
    sqlite3* m_db = nullptr;
    QString m_path;
};

// A read transaction held open: other programs may read the file, none may write to it.
class ReadLock final : public DatabaseLock {
public:
    FileConnection file;
    bool held = false;
    bool holds() const override { return held; }
    bool writerActive() const override {
        if (!held) return false;
        // The engine's own test, as it makes it before it calls a journal hot: does any
        // connection, of this program or another, hold the write lock on the file?
        sqlite3_file* f = nullptr;
        if (sqlite3_file_control(file.handle(), "main", SQLITE_FCNTL_FILE_POINTER, &f) !=
                SQLITE_OK ||
            !f || !f->pMethods)
            return true; // not known: taken as a write under way
        int reserved = 0;
        if (f->pMethods->xCheckReservedLock(f, &reserved) != SQLITE_OK) return true;
        return reserved != 0;
    }
    ~ReadLock() override {
        if (held) (void)file.run("ROLLBACK");
    }
};

class SqliteConnection final : public EngineConnection {
public:
    SqliteConnection(sqlite3* db, QString path) : m_db(db), m_path(std::move(path)) {}
    ~SqliteConnection() override {
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
        sqlite3_close_v2(m_db);
    }
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    QString describe() const override {
        return QStringLiteral("SQLite file ") + QDir::toNativeSeparators(m_path);
    }
    bool readOnly() const override { return sqlite3_db_readonly(m_db, "main") == 1; }
    QString userName() const override { return currentUserName(); }
    Error lastError() const override { return lastErrorOf(m_db); }

    Result<std::unique_ptr<EngineStatement>> prepare(const QString& sql) override {
        const QByteArray utf8 = sql.toUtf8();
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &stmt, nullptr) !=
            SQLITE_OK) {
            const Error e = lastError();
            sqlite3_finalize(stmt);
            return e;
        }
        return std::unique_ptr<EngineStatement>(std::make_unique<SqliteStatement>(m_db, stmt));
    }

    Status execute(const QString& sql) override {
        char* message = nullptr;
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            const Error e{sqlite3_extended_errcode(m_db) & 0xff,
                          QString::fromUtf8(message ? message : "")};
            sqlite3_free(message);
            return e;
        }
        return {};
    }

    Result<QStringList> tables() override {
        QStringList names;
        Status s = each(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                       "name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name"),
                        QString(), [&](EngineStatement& row) { names << row.text(0); });
        if (!s.ok()) return s;
        return names;
    }

    Result<std::vector<EngineColumn>> columns(const QString& table) override {
        std::vector<EngineColumn> cols;
        Status s = each(QStringLiteral("SELECT name, type FROM pragma_table_info(?1)"), table,
                        [&](EngineStatement& row) {
                            cols.push_back(EngineColumn{row.text(0), row.text(1)});
                        });
        if (!s.ok()) return s;
        return cols;
    }

    Status begin() override { return runOne(QStringLiteral("BEGIN")); }
    Status commit() override { return runOne(QStringLiteral("COMMIT")); }
    void rollback() override {
        if (inTransaction()) (void)runOne(QStringLiteral("ROLLBACK"));
    }
    bool inTransaction() const override { return sqlite3_get_autocommit(m_db) == 0; }

    qint64 changes() const override { return sqlite3_changes64(m_db); }
    qint64 totalChanges() const override { return sqlite3_total_changes64(m_db); }
    qint64 lastInsertId() const override { return sqlite3_last_insert_rowid(m_db); }

    void setProgressHandler(int everySteps, std::function<bool()> carryOn) override {
        m_carryOn = std::move(carryOn);
        if (m_carryOn)
            sqlite3_progress_handler(m_db, everySteps, &SqliteConnection::progress, this);
        else
            sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
    }

    Status defineFunction(const QString& name, int argumentCount, bool deterministic,
                          ScalarFunction function) override {
        const QByteArray utf8 = name.toUtf8();
        int rc = SQLITE_OK;
        if (!function) {
            rc = sqlite3_create_function_v2(m_db, utf8.constData(), argumentCount, SQLITE_UTF8,
                                            nullptr, nullptr, nullptr, nullptr, nullptr);
        } else {
            // The engine owns its copy from here and drops it when the function is
            // replaced, removed, or the connection closes (also when defining fails).
            auto* owned = new ScalarFunction(std::move(function));
            rc =
                sqlite3_create_function_v2(m_db, utf8.constData(), argumentCount,
                                           SQLITE_UTF8 | (deterministic ? SQLITE_DETERMINISTIC : 0),
                                           owned, callFunction, nullptr, nullptr, dropFunction);
        }
        if (rc != SQLITE_OK) return lastError();
        return {};
    }

    Status copyTo(const QString& target, int busyTimeoutMs) override {
        FileConnection copy;
        Status s = copy.open(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, busyTimeoutMs);
        // The copy needs no journal of its own: until it is complete and renamed it is
        // only a work file, removed when anything fails.
        if (s.ok()) s = copy.run("PRAGMA journal_mode = OFF");
        if (!s.ok()) return s;
        sqlite3_backup* backup = sqlite3_backup_init(copy.handle(), "main", m_db, "main");
        if (!backup) return fileError(copy.handle(), sqlite3_errcode(copy.handle()), target);
        // Every page in one step, under one read lock of the source: a copy of one moment.
        // Another program writing to the file is waited for, as long as a lock waits.
        int waited = 0;
        int rc = SQLITE_OK;
        for (;;) {
            rc = sqlite3_backup_step(backup, -1);
            if (!isBusy(rc & 0xff) || waited >= busyTimeoutMs) break;
            sqlite3_sleep(25);
            waited += 25;
        }
        const int finished = sqlite3_backup_finish(backup);
        if (rc == SQLITE_DONE) rc = finished;
        if (isBusy(rc & 0xff))
            return inUseByAnother(QString::fromUtf8(sqlite3_errstr(rc)), rc & 0xff);
        if ((rc & 0xff) == SQLITE_FULL)
            return Error{err::DiskFull, fileError(copy.handle(), rc, target).description};
        if (rc != SQLITE_OK && rc != SQLITE_DONE) return fileError(copy.handle(), rc, target);
        return {};
    }

    void* nativeHandle() const override { return m_db; }

    Status createTableLike(const QString& source, const QString& target) override;

    qint64 pragmaNumber(const char* pragma) {
        qint64 value = -1;
        (void)each(QString::fromLatin1(pragma), QString(),
                   [&](EngineStatement& row) { value = row.int64(0); });
        return value;
    }

    ChangeStamp changeStamp() override {
        ChangeStamp stamp;
        stamp.totalChanges = totalChanges();
        stamp.dataVersion = pragmaNumber("PRAGMA data_version");
        stamp.schemaVersion = pragmaNumber("PRAGMA schema_version");
        return stamp;
    }

private:
    static int progress(void* self) {
        return static_cast<SqliteConnection*>(self)->m_carryOn() ? 0 : 1;
    }
    // Runs one statement to its end.
    Status runOne(const QString& sql) {
        return each(sql, QString(), [](EngineStatement&) {});
    }
    // Runs one statement (with one text bound, unless null) and hands over every row.
    // Every row of a statement with at most one text parameter (bound when not null).
    Status each(const QString& sql, const QString& bound,
                const std::function<void(EngineStatement&)>& onRow) {
        return eachRow(*this, sql, bound, onRow);
    }

    sqlite3* m_db;
    QString m_path;
    std::function<bool()> m_carryOn;
};

// The new table comes from the source table's own definition, so its column types,
// defaults and checks come along, and the source's indexes are copied too (an index
// named after its table is named after the new one).
Status SqliteConnection::createTableLike(const QString& source, const QString& target) {
    QString createSql;
    std::vector<QString> indexSql;
    Status read = each(QStringLiteral("SELECT type, sql FROM sqlite_master WHERE tbl_name = ?1 "
                                      "COLLATE NOCASE AND sql IS NOT NULL ORDER BY type DESC"),
                       source, [&](EngineStatement& row) {
                           if (row.text(0) == QLatin1String("table"))
                               createSql = row.text(1);
                           else if (row.text(0) == QLatin1String("index"))
                               indexSql.push_back(row.text(1));
                       });
    if (!read.ok()) return read;
    if (createSql.isEmpty()) return Error{1, QStringLiteral("no such table: ") + source};
    static const QRegularExpression createHead(
        QStringLiteral(R"(^\s*CREATE\s+TABLE\s+(`[^`]+`|"[^"]+"|\[[^\]]+\]|\S+)\s*\()"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = createHead.match(createSql);
    if (!m.hasMatch()) return Error{1, QStringLiteral("Cannot copy the definition of ") + source};
    if (Status s = execute(QStringLiteral("CREATE TABLE ") + quoteName(target) +
                           QStringLiteral(" (") + createSql.mid(m.capturedEnd()));
        !s.ok())
        return s;
    static const QRegularExpression indexHead(
        QStringLiteral(
            R"(^\s*CREATE\s+(UNIQUE\s+)?INDEX\s+(`[^`]+`|"[^"]+"|\[[^\]]+\]|\S+)\s+ON\s+(`[^`]+`|"[^"]+"|\[[^\]]+\]|\S+)\s*\()"),
        QRegularExpression::CaseInsensitiveOption);
    for (const QString& sql : indexSql) {
        const auto im = indexHead.match(sql);
        if (!im.hasMatch()) continue;
        QString indexName = unquoteName(im.captured(2));
        if (indexName.startsWith(source, Qt::CaseInsensitive))
            indexName = indexName.mid(source.size());
        if (Status s =
                execute(QStringLiteral("CREATE ") + im.captured(1) + QStringLiteral("INDEX ") +
                        quoteName(target + indexName) + QStringLiteral(" ON ") + quoteName(target) +
                        QStringLiteral(" (") + sql.mid(im.capturedEnd()));
            !s.ok())
            return s;
    }
    return {};
}

class SqliteEngine final : public DatabaseEngine {
public:
    QString name() const override { return QStringLiteral("SQLite"); }

    Result<std::unique_ptr<EngineConnection>> open(const QString& location, Mode mode,
                                                   int busyTimeoutMs) override {
        const QFileInfo info(location);
        if (!info.exists())
            return Error{SQLITE_CANTOPEN,
                         QStringLiteral("Could not find file '") + location + QStringLiteral("'.")};
        if (!info.isFile())
            return Error{SQLITE_CANTOPEN,
                         QStringLiteral("'") + location + QStringLiteral("' is not a file.")};
        // No SQLITE_OPEN_CREATE: the database is never created by opening it.
        // One thread uses a connection: no locking around every call.
        const int flags = (mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                          SQLITE_OPEN_NOMUTEX;
        sqlite3* db = nullptr;
        const int rc = sqlite3_open_v2(location.toUtf8().constData(), &db, flags, nullptr);
        if (rc != SQLITE_OK) {
            const Error e{rc, db ? QString::fromUtf8(sqlite3_errmsg(db))
                                 : QStringLiteral("Could not open the database")};
            sqlite3_close(db);
            return e;
        }
        auto c = std::make_unique<SqliteConnection>(db, location);
        sqlite3_busy_timeout(db, busyTimeoutMs);
        // A page cache large enough for a sensor's whole readings table: rows are read in
        // FullDate order through its index, which visits the table's pages out of order.
        sqlite3_exec(db, "PRAGMA cache_size = -65536", nullptr, nullptr, nullptr);
        sqlite3_extended_result_codes(db, 1);
        // Reading the table list proves the file is a database the engine can read.
        auto probe = c->prepare(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        if (!probe.ok()) return probe.error();
        if (probe.value()->step() == EngineStatement::Step::Failed) return probe.value()->error();
        return std::unique_ptr<EngineConnection>(std::move(c));
    }

    Result<std::unique_ptr<EngineConnection>> create(const QString& location) override {
        if (QFileInfo::exists(location))
            return Error{err::FileError, QStringLiteral("File already exists: ") + location};
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(location.toUtf8().constData(), &db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            const Error e{sqlite3_errcode(db), QString::fromUtf8(sqlite3_errmsg(db))};
            sqlite3_close(db);
            return e;
        }
        return std::unique_ptr<EngineConnection>(std::make_unique<SqliteConnection>(db, location));
    }

    Result<FileCheck> checkFile(const QString& location, DatabaseCheckDepth depth,
                                int busyTimeoutMs) override {
        FileConnection file;
        if (Status s = file.open(location, SQLITE_OPEN_READONLY, busyTimeoutMs); !s.ok()) return s;
        FileCheck check;
        const char* pragma =
            depth == DatabaseCheckDepth::Full ? "PRAGMA integrity_check" : "PRAGMA quick_check";
        if (Status s =
                file.run(pragma, QString(), [&](const QString& line) { check.findings << line; });
            !s.ok())
            return s;
        if (depth == DatabaseCheckDepth::Quick || check.findings != QStringList{"ok"}) return check;
        if (Status s = file.run("SELECT name FROM sqlite_master WHERE type = 'table'", QString(),
                                [&](const QString& name) { check.tables << name; });
            !s.ok())
            return s;
        return check;
    }

    Status compactInto(const QString& source, const QString& target, int busyTimeoutMs) override {
        FileConnection file;
        Status s = file.open(source, SQLITE_OPEN_READONLY, busyTimeoutMs);
        if (s.ok()) s = file.run("VACUUM INTO ?1", target);
        return s;
    }

    Result<std::unique_ptr<DatabaseLock>> holdForSwap(const QString& location,
                                                      int busyTimeoutMs) override {
        auto lock = std::make_unique<ReadLock>();
        if (Status s = lock->file.open(location, SQLITE_OPEN_READWRITE, busyTimeoutMs); !s.ok())
            return std::unique_ptr<DatabaseLock>(std::make_unique<DatabaseLock>());
        // Reading the table list takes the shared lock (and first rolls back what an
        // interrupted writer left in a journal); the open transaction keeps it.
        Status s = lock->file.run("BEGIN");
        if (s.ok()) s = lock->file.run("SELECT count(*) FROM sqlite_master");
        if (!s.ok()) {
            const long long code = s.error().number;
            if (isBusy(code)) return inUseByAnother(s.error().description, code);
            return std::unique_ptr<DatabaseLock>(std::make_unique<DatabaseLock>());
        }
        lock->held = true;
        return std::unique_ptr<DatabaseLock>(std::move(lock));
    }

    QString journalOf(const QString& location) const override {
        return location + QStringLiteral("-journal");
    }
};

} // namespace

DatabaseEngine& sqliteEngine() {
    static SqliteEngine engine;
    return engine;
}

} // namespace rv
