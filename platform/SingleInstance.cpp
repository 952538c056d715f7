#include "platform/SingleInstance.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace rv {

namespace {
// The user who runs the program: the numeric user id where the temporary folder is
// shared by every user of the machine; elsewhere the folder is the user's own already.
QString currentUserKey() {
#ifdef Q_OS_UNIX
    return QString::number(::getuid());
#else
    return QString();
#endif
}

// The lock file holds the lock's own lines (process, program, computer, ...) first; the
// user and the database follow them under names of their own.
const QByteArray kUserKey = "user=";
const QByteArray kDatabaseKey = "database=";

void writeHolder(const QString& lockPath, const QString& database) {
    QFile file(lockPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    file.write(kUserKey + currentUserName().toUtf8() + '\n');
    file.write(kDatabaseKey + QDir::toNativeSeparators(database).toUtf8() + '\n');
}

QString readHolder(const QString& lockPath, const QString& database) {
    const QString shown = QDir::toNativeSeparators(database);
    QFile file(lockPath);
    QString user, host, pid;
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = file.readAll().split('\n');
        pid = QString::fromUtf8(lines.value(0));
        host = QString::fromUtf8(lines.value(2));
        for (const QByteArray& line : lines)
            if (line.startsWith(kUserKey)) user = QString::fromUtf8(line.mid(kUserKey.size()));
    }
    if (host.isEmpty())
        return QStringLiteral("The database ") + shown +
               QStringLiteral(" is in use by another copy of Rockvane (its lock ") +
               QDir::toNativeSeparators(lockPath) + QStringLiteral(" tells no more)");
    return QStringLiteral("The database ") + shown +
           QStringLiteral(" is in use by Rockvane on the computer ") + host +
           (user.isEmpty() ? QString() : QStringLiteral(", user ") + user) +
           (pid.isEmpty() ? QString() : QStringLiteral(", process ") + pid) +
           QStringLiteral(" (lock ") + QDir::toNativeSeparators(lockPath) + QStringLiteral(")");
}

// A lock that a copy which ended without letting it go left behind is taken over: its
// process is gone.
std::unique_ptr<QLockFile> newLock(const QString& path) {
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    return lock;
}
} // namespace

QString LockFileInstance::lockPathFor(const QString& userKey) {
    const QString suffix = userKey.isEmpty() ? QString() : QStringLiteral("-") + userKey;
    return QDir::tempPath() + QStringLiteral("/rockvane-lodix") + suffix + QStringLiteral(".lock");
}

QString LockFileInstance::databaseLockPath(const QString& databasePath) {
    const QFileInfo info(databasePath);
    const QString file = info.canonicalFilePath();
    return (file.isEmpty() ? info.absoluteFilePath() : file) + QStringLiteral(".lock");
}

LockFileInstance::LockFileInstance(QString fallbackLockPath)
    : m_fallback(std::move(fallbackLockPath)) {
    if (m_fallback.isEmpty()) m_fallback = lockPathFor(currentUserKey());
}

LockFileInstance::~LockFileInstance() = default;

void LockFileInstance::release() {
    m_lock.reset();
    m_besideDatabase = false;
}

void LockFileInstance::guard(const QString& databasePath) {
    m_database = databasePath;
}

bool LockFileInstance::anotherCopyRunning() {
    if (m_lock && m_lock->isLocked()) return false;
    m_holder.clear();
    m_besideDatabase = false;
    if (!m_database.isEmpty()) {
        const QString path = databaseLockPath(m_database);
        auto lock = newLock(path);
        if (lock->tryLock(0)) {
            writeHolder(path, m_database);
            m_lock = std::move(lock);
            m_besideDatabase = true;
            return false;
        }
        if (lock->error() == QLockFile::LockFailedError) {
            m_holder = readHolder(path, m_database);
            return true;
        }
        // The database's folder cannot hold a lock (read-only, or missing): the user's
        // own lock in the temporary folder stands in.
    }
    m_lock = newLock(m_fallback);
    if (m_lock->tryLock(0)) return false;
    if (m_lock->error() != QLockFile::LockFailedError) return false;
    m_holder = QStringLiteral("Another copy of Rockvane run by ") + currentUserName() +
               QStringLiteral(" on this computer holds the lock ") +
               QDir::toNativeSeparators(m_fallback);
    return true;
}

QString currentUserName() {
#ifdef Q_OS_UNIX
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name && *pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
#endif
    for (const char* name : {"USER", "USERNAME", "LOGNAME"})
        if (const QString value = qEnvironmentVariable(name); !value.isEmpty()) return value;
    return currentUserKey();
}

} // namespace rv
