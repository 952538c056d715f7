#include "maintenance/MaintenanceFiles.h"
#include "store/Connection.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <filesystem>
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
    return rollbackJournalOf(databaseFileBehind(databasePath));
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
    Status s = compactDatabaseInto(source, target, busyTimeoutMs);
    if (s.ok()) s = syncFile(target);
    if (!s.ok()) {
        // What the engine wrote before it failed is no database: it must not stay behind
        // under the work file's name, where it would block the next compaction.
        QFile::remove(target);
        return s;
    }
    return {};
}

Status MaintenanceFiles::backupInto(const Connection& source, const QString& target) {
    // Without an open database there is nothing to copy: the store says so, and no file
    // is touched.
    if (!source.isOpen()) return copyOpenDatabase(source, target, busyTimeoutMs);
    // The engine fills the target page by page; what an earlier attempt left there is
    // no database to start from.
    QFile::remove(target);
    Status s = copyOpenDatabase(source, target, busyTimeoutMs);
    if (s.ok()) s = syncFile(target);
    if (!s.ok()) QFile::remove(target);
    return s;
}

Status MaintenanceFiles::checkDatabase(const QString& path, Check check) {
    if (!fileExists(path)) return fileError(ENOENT, QStringLiteral("Could not find"), path);
    return checkDatabaseFile(
        path, check == Check::Backup ? DatabaseCheckDepth::Full : DatabaseCheckDepth::Quick,
        busyTimeoutMs);
}

Result<std::unique_ptr<DatabaseLock>> MaintenanceFiles::lockDatabase(const QString& path) {
    if (!fileExists(path)) return std::unique_ptr<DatabaseLock>(std::make_unique<DatabaseLock>());
    return lockDatabaseFile(path, busyTimeoutMs);
}

} // namespace rv
