#include "store/DatabaseFile.h"
#include "store/Connection.h"
#include <QByteArray>
#include <QDir>
#include <sqlite3.h>

namespace rv {

namespace {

Error engineError(sqlite3* db, int rc, const QString& path) {
    const QString text =
        db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    return Error{rc & 0xff, text + QStringLiteral(": ") + QDir::toNativeSeparators(path)};
}

// A private connection to one file, closed when it goes.
class Engine {
public:
    Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine() { close(); }

    Status open(const QString& path, int flags, int busyTimeoutMs) {
        m_path = path;
        const int rc =
            sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            const Error e = engineError(m_db, rc, path);
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
        if (rc != SQLITE_DONE) return engineError(m_db, rc, m_path);
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
class ReadLock : public DatabaseLock {
public:
    Engine engine;
    bool held = false;
    bool holds() const override { return held; }
    bool writerActive() const override {
        if (!held) return false;
        // The engine's own test, as it makes it before it calls a journal hot: does any
        // connection, of this program or another, hold the write lock on the file?
        sqlite3_file* file = nullptr;
        if (sqlite3_file_control(engine.handle(), "main", SQLITE_FCNTL_FILE_POINTER, &file) !=
                SQLITE_OK ||
            !file || !file->pMethods)
            return true; // not known: taken as a write under way
        int reserved = 0;
        if (file->pMethods->xCheckReservedLock(file, &reserved) != SQLITE_OK) return true;
        return reserved != 0;
    }
    ~ReadLock() override {
        if (held) (void)engine.run("ROLLBACK");
    }
};

bool isBusy(long long code) {
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

} // namespace

static_assert(err::DatabaseBusy == SQLITE_BUSY);
static_assert(err::DatabaseCorrupt == SQLITE_CORRUPT);
static_assert(err::NotADatabase == SQLITE_NOTADB);

const QStringList& fixedTables() {
    static const QStringList names{QStringLiteral("Configuration"), QStringLiteral("Sensors"),
                                   QStringLiteral("NetworkConfig"), QStringLiteral("Prefs"),
                                   QStringLiteral("sensordata")};
    return names;
}

bool isDamagedDatabaseError(const Error& error) {
    const long long primary = error.number & 0xff;
    return error.number >= 0 && (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB);
}

QString rollbackJournalOf(const QString& databaseFile) {
    return databaseFile + QStringLiteral("-journal");
}

Result<std::unique_ptr<DatabaseLock>> lockDatabaseFile(const QString& path, int busyTimeoutMs) {
    auto lock = std::make_unique<ReadLock>();
    if (Status s = lock->engine.open(path, SQLITE_OPEN_READWRITE, busyTimeoutMs); !s.ok())
        return std::unique_ptr<DatabaseLock>(std::make_unique<DatabaseLock>());
    // Reading the table list takes the shared lock (and first rolls back what an
    // interrupted writer left in a journal); the open transaction keeps it.
    Status s = lock->engine.run("BEGIN");
    if (s.ok()) s = lock->engine.run("SELECT count(*) FROM sqlite_master");
    if (!s.ok()) {
        const long long code = s.error().number;
        if (isBusy(code))
            return Error{code, QStringLiteral("The database is in use by another program (") +
                                   s.error().description + QStringLiteral(")")};
        return std::unique_ptr<DatabaseLock>(std::make_unique<DatabaseLock>());
    }
    lock->held = true;
    return std::unique_ptr<DatabaseLock>(std::move(lock));
}

Status checkDatabaseFile(const QString& path, DatabaseCheckDepth depth, int busyTimeoutMs) {
    Engine engine;
    if (Status s = engine.open(path, SQLITE_OPEN_READONLY, busyTimeoutMs); !s.ok()) return s;
    QStringList problems;
    const char* pragma =
        depth == DatabaseCheckDepth::Full ? "PRAGMA integrity_check" : "PRAGMA quick_check";
    if (Status s = engine.run(pragma, QString(), [&](const QString& line) { problems << line; });
        !s.ok())
        return s;
    if (problems != QStringList{QStringLiteral("ok")})
        return Error{err::DatabaseCorrupt, QStringLiteral("The file failed the integrity check (") +
                                               problems.value(0) + QStringLiteral("): ") +
                                               QDir::toNativeSeparators(path)};
    if (depth == DatabaseCheckDepth::Quick) return {};
    QStringList tables;
    if (Status s = engine.run("SELECT name FROM sqlite_master WHERE type = 'table'", QString(),
                              [&](const QString& name) { tables << name; });
        !s.ok())
        return s;
    for (const QString& table : fixedTables()) {
        if (!tables.contains(table))
            return Error{err::ItemNotFound, QStringLiteral("The file holds no table ") + table +
                                                QStringLiteral(": ") +
                                                QDir::toNativeSeparators(path)};
    }
    return {};
}

Status compactDatabaseInto(const QString& source, const QString& target, int busyTimeoutMs) {
    Engine engine;
    Status s = engine.open(source, SQLITE_OPEN_READONLY, busyTimeoutMs);
    if (s.ok()) s = engine.run("VACUUM INTO ?1", target);
    return s;
}

Status copyOpenDatabase(const Connection& source, const QString& target, int busyTimeoutMs) {
    if (!source.isOpen())
        return Error{err::ObjectClosed, QStringLiteral("The connection to the database is closed")};
    Engine copy;
    Status s = copy.open(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, busyTimeoutMs);
    // The copy needs no journal of its own: until it is complete and renamed it is only
    // a work file, removed when anything fails.
    if (s.ok()) s = copy.run("PRAGMA journal_mode = OFF");
    if (!s.ok()) return s;
    sqlite3_backup* backup = sqlite3_backup_init(copy.handle(), "main", source.handle(), "main");
    if (!backup) return engineError(copy.handle(), sqlite3_errcode(copy.handle()), target);
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
        return Error{rc & 0xff, QStringLiteral("The database is in use by another program (") +
                                    QString::fromUtf8(sqlite3_errstr(rc)) + QStringLiteral(")")};
    if ((rc & 0xff) == SQLITE_FULL)
        return Error{err::DiskFull, engineError(copy.handle(), rc, target).description};
    if (rc != SQLITE_OK && rc != SQLITE_DONE) return engineError(copy.handle(), rc, target);
    return {};
}

} // namespace rv
