#include "maintenance/MaintenanceFiles.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sqlite3.h>
#include <system_error>
#include <vector>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace rv {

namespace {

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

// A failed file step as the log shows it: the kind of failure by its number, then what
// was being done, to which file, and the system's own words.
Error fileError(int code, const QString& what, const QString& path) {
    long long number = err::FileError;
    switch (code) {
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
        number = err::DiskFull;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        number = err::PermissionDenied;
        break;
    case ENOENT:
        number = err::FileNotFound;
        break;
    case EEXIST:
        number = err::FileAlreadyExists;
        break;
    default:
        break;
    }
    return Error{number, what + QStringLiteral(" ") + QDir::toNativeSeparators(path) +
                             QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(code))};
}

Error fileError(const std::error_code& ec, const QString& what, const QString& path) {
    // The generic category carries the system's error numbers on every platform.
    const std::error_condition generic = ec.default_error_condition();
    if (generic.category() == std::generic_category())
        return fileError(generic.value(), what, path);
    return Error{err::FileError, what + QStringLiteral(" ") + QDir::toNativeSeparators(path) +
                                     QStringLiteral(": ") + QString::fromStdString(ec.message())};
}

// Waits until the file's contents are on the disk.
Status syncFile(const QString& path) {
#ifdef Q_OS_WIN
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return fileError(EACCES, QStringLiteral("Could not flush"), path);
    if (_commit(file.handle()) != 0)
        return fileError(errno, QStringLiteral("Could not flush"), path);
    return {};
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fileError(errno, QStringLiteral("Could not flush"), path);
    const int rc = ::fsync(fd);
    const int code = errno;
    ::close(fd);
    if (rc != 0) return fileError(code, QStringLiteral("Could not flush"), path);
    return {};
#endif
}

// Makes a rename in a folder lasting (the folder's own entry list on the disk). Where the
// system cannot do this for a folder, the rename is lasting as soon as it returns.
void syncFolder(const QString& folder) {
#ifndef Q_OS_WIN
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
#else
    (void)folder;
#endif
}

// Copies a file's bytes onto a path (replaced when there). The system's own error
// number of a failed read or write is kept, so a full disk is told from a refusal.
Status copyBytes(const QString& from, const QString& to) {
#ifdef Q_OS_WIN
    std::error_code ec;
    std::filesystem::copy_file(fsPath(from), fsPath(to),
                               std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return fileError(ec, QStringLiteral("Could not copy to"), to);
    return {};
#else
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return fileError(errno, QStringLiteral("Could not read"), from);
    const int out =
        ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        const int code = errno;
        ::close(in);
        return fileError(code, QStringLiteral("Could not copy to"), to);
    }
    Status result;
    bool kernelCopy = true;
    std::vector<char> buffer;
    for (;;) {
        ssize_t n = -1;
        if (kernelCopy) {
            // The kernel copies without the bytes passing through the program.
            n = ::copy_file_range(in, nullptr, out, nullptr, 64 << 20, 0);
            if (n < 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                 errno == EPERM) &&
                ::lseek(out, 0, SEEK_CUR) == 0) {
                kernelCopy = false;
                continue;
            }
            if (n < 0) {
                result = fileError(errno, QStringLiteral("Could not copy to"), to);
                break;
            }
            if (n == 0) break;
            continue;
        }
        if (buffer.empty()) buffer.resize(1 << 20);
        n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result = fileError(errno, QStringLiteral("Could not read"), from);
            break;
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer.data() + done, std::size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) {
                result = fileError(errno, QStringLiteral("Could not copy to"), to);
                break;
            }
            done += w;
        }
        if (!result.ok()) break;
    }
    ::close(in);
    if (::close(out) != 0 && result.ok())
        result = fileError(errno, QStringLiteral("Could not copy to"), to);
    return result;
#endif
}

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

} // namespace

QString databaseFileBehind(const QString& path) {
    const QString file = QFileInfo(path).canonicalFilePath();
    return file.isEmpty() ? path : file;
}

QString workFileBeside(const QString& databasePath, const QString& prefix) {
    const QFileInfo file(databaseFileBehind(databasePath));
    return file.path() + QStringLiteral("/") + prefix + file.fileName();
}

QString journalOf(const QString& databasePath) {
    return databaseFileBehind(databasePath) + QStringLiteral("-journal");
}

const QStringList& fixedTables() {
    static const QStringList names{QStringLiteral("Configuration"), QStringLiteral("Sensors"),
                                   QStringLiteral("NetworkConfig"), QStringLiteral("Prefs"),
                                   QStringLiteral("sensordata")};
    return names;
}

bool MaintenanceFiles::folderExists(const QString& path) const {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

bool MaintenanceFiles::fileExists(const QString& path) const {
    return !path.isEmpty() && QFileInfo(path).isFile();
}

Status MaintenanceFiles::makeFolder(const QString& path) {
    std::error_code ec;
    std::filesystem::create_directory(fsPath(path), ec);
    if (ec) return fileError(ec, QStringLiteral("Could not create the folder"), path);
    return {};
}

Result<QStringList> MaintenanceFiles::listFiles(const QString& folder) const {
    if (!folderExists(folder))
        return Error{err::PathNotFound,
                     QStringLiteral("No folder ") + QDir::toNativeSeparators(folder)};
    return QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

Status MaintenanceFiles::copyFile(const QString& from, const QString& to) {
    if (!fileExists(from))
        return fileError(ENOENT, QStringLiteral("Could not find the file"), from);
    if (Status s = copyBytes(from, to); !s.ok()) return s;
    if (Status s = syncFile(to); !s.ok()) return s;
    // The whole file arrived: a copy cut short by the system is no copy.
    if (QFileInfo(to).size() != QFileInfo(from).size())
        return fileError(EIO, QStringLiteral("The copy is incomplete:"), to);
    return {};
}

Status MaintenanceFiles::replaceFile(const QString& from, const QString& to) {
    std::error_code ec;
    std::filesystem::rename(fsPath(from), fsPath(to), ec);
    if (ec) return fileError(ec, QStringLiteral("Could not rename to"), to);
    syncFolder(QFileInfo(to).absolutePath());
    return {};
}

Status MaintenanceFiles::removeFile(const QString& path) {
    std::error_code ec;
    std::filesystem::remove(fsPath(path), ec);
    if (ec) return fileError(ec, QStringLiteral("Could not delete"), path);
    return {};
}

Status MaintenanceFiles::copyPermissions(const QString& from, const QString& to) {
    if (!QFile::setPermissions(to, QFile::permissions(from)))
        return fileError(EPERM, QStringLiteral("Could not set the permissions of"), to);
    return {};
}

Status MaintenanceFiles::compactInto(const QString& source, const QString& target) {
    if (!fileExists(source))
        return fileError(ENOENT, QStringLiteral("Could not find the database"), source);
    // The engine would refuse a target that holds anything; an empty one it would fill.
    if (QFileInfo::exists(target))
        return Error{err::FileAlreadyExists,
                     QStringLiteral("File already exists: ") + QDir::toNativeSeparators(target)};
    Engine engine;
    Status s = engine.open(source, SQLITE_OPEN_READONLY, busyTimeoutMs);
    if (s.ok()) s = engine.run("VACUUM INTO ?1", target);
    engine.close();
    if (s.ok()) s = syncFile(target);
    if (!s.ok()) {
        // What the engine wrote before it failed is no database: it must not stay behind
        // under the work file's name, where it would block the next compaction.
        QFile::remove(target);
        return s;
    }
    return {};
}

Status MaintenanceFiles::backupInto(sqlite3* source, const QString& target) {
    if (!source)
        return Error{err::ObjectClosed, QStringLiteral("The connection to the database is closed")};
    // The engine fills the target page by page; what an earlier attempt left there is
    // no database to start from.
    QFile::remove(target);
    Engine copy;
    Status s = copy.open(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, busyTimeoutMs);
    // The copy needs no journal of its own: until it is complete and renamed it is only
    // a work file, removed when anything fails.
    if (s.ok()) s = copy.run("PRAGMA journal_mode = OFF");
    if (s.ok()) {
        sqlite3_backup* backup = sqlite3_backup_init(copy.handle(), "main", source, "main");
        if (!backup) {
            s = engineError(copy.handle(), sqlite3_errcode(copy.handle()), target);
        } else {
            // Every page in one step, under one read lock of the source: a copy of one
            // moment. Another program writing to the file is waited for, as long as a
            // lock waits.
            int waited = 0;
            int rc = SQLITE_OK;
            for (;;) {
                rc = sqlite3_backup_step(backup, -1);
                const int primary = rc & 0xff;
                if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) || waited >= busyTimeoutMs)
                    break;
                sqlite3_sleep(25);
                waited += 25;
            }
            const int finished = sqlite3_backup_finish(backup);
            if (rc == SQLITE_DONE) rc = finished;
            if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
                s = Error{rc & 0xff, QStringLiteral("The database is in use by another program (") +
                                         QString::fromUtf8(sqlite3_errstr(rc)) +
                                         QStringLiteral(")")};
            else if ((rc & 0xff) == SQLITE_FULL)
                s = Error{err::DiskFull, engineError(copy.handle(), rc, target).description};
            else if (rc != SQLITE_OK && rc != SQLITE_DONE)
                s = engineError(copy.handle(), rc, target);
        }
    }
    copy.close();
    if (s.ok()) s = syncFile(target);
    if (!s.ok()) QFile::remove(target);
    return s;
}

Status MaintenanceFiles::checkDatabase(const QString& path, Check check) {
    if (!fileExists(path)) return fileError(ENOENT, QStringLiteral("Could not find"), path);
    Engine engine;
    if (Status s = engine.open(path, SQLITE_OPEN_READONLY, busyTimeoutMs); !s.ok()) return s;
    QStringList problems;
    const char* pragma = check == Check::Backup ? "PRAGMA integrity_check" : "PRAGMA quick_check";
    if (Status s = engine.run(pragma, QString(), [&](const QString& line) { problems << line; });
        !s.ok())
        return s;
    if (problems != QStringList{QStringLiteral("ok")})
        return Error{SQLITE_CORRUPT, QStringLiteral("The file failed the integrity check (") +
                                         problems.value(0) + QStringLiteral("): ") +
                                         QDir::toNativeSeparators(path)};
    if (check == Check::Quick) return {};
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

Result<std::unique_ptr<DatabaseLock>> MaintenanceFiles::lockDatabase(const QString& path) {
    auto lock = std::make_unique<ReadLock>();
    if (!fileExists(path)) return std::unique_ptr<DatabaseLock>(std::move(lock));
    if (Status s = lock->engine.open(path, SQLITE_OPEN_READWRITE, busyTimeoutMs); !s.ok())
        return std::unique_ptr<DatabaseLock>(std::make_unique<DatabaseLock>());
    // Reading the table list takes the shared lock (and first rolls back what an
    // interrupted writer left in a journal); the open transaction keeps it.
    Status s = lock->engine.run("BEGIN");
    if (s.ok()) s = lock->engine.run("SELECT count(*) FROM sqlite_master");
    if (!s.ok()) {
        const long long code = s.error().number;
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
            return Error{code, QStringLiteral("The database is in use by another program (") +
                                   s.error().description + QStringLiteral(")")};
        return std::unique_ptr<DatabaseLock>(std::make_unique<DatabaseLock>());
    }
    lock->held = true;
    return std::unique_ptr<DatabaseLock>(std::move(lock));
}

} // namespace rv
