#include "platform/SingleInstance.h"
#include <QDir>
#include <QLockFile>

namespace rv {

LockFileInstance::LockFileInstance(QString lockPath) : m_path(std::move(lockPath)) {
    if (m_path.isEmpty()) m_path = QDir::tempPath() + QStringLiteral("/rockvane-lodix.lock");
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
