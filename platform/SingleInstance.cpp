#include "platform/SingleInstance.h"
#include <QDir>
#include <QLockFile>
#ifdef Q_OS_UNIX
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
} // namespace

QString LockFileInstance::lockPathFor(const QString& userKey) {
    const QString suffix = userKey.isEmpty() ? QString() : QStringLiteral("-") + userKey;
    return QDir::tempPath() + QStringLiteral("/rockvane-lodix") + suffix + QStringLiteral(".lock");
}

LockFileInstance::LockFileInstance(QString lockPath) : m_path(std::move(lockPath)) {
    if (m_path.isEmpty()) m_path = lockPathFor(currentUserKey());
}

LockFileInstance::~LockFileInstance() = default;

bool LockFileInstance::anotherCopyRunning() {
    if (m_lock && m_lock->isLocked()) return false;
    m_lock = std::make_unique<QLockFile>(m_path);
    // A lock left behind by a copy that crashed is taken over (its process is gone).
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) return false;
    return m_lock->error() == QLockFile::LockFailedError;
}

} // namespace rv
