#include "platform/WriteCheck.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace rv {

namespace {

QString megabytes(qint64 bytes) {
    constexpr qint64 mb = 1024 * 1024;
    return QString::number((qMax<qint64>(bytes, 0) + mb - 1) / mb);
}

} // namespace

QString whyCannotWrite(const Paths& paths, const QString& folder, qint64 needBytes) {
    const QString shown = QDir::toNativeSeparators(folder);
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("The folder ") + shown + QStringLiteral(" does not exist.");
    {
        QTemporaryFile probe(folder + QStringLiteral("/.rockvane-write-XXXXXX"));
        if (!probe.open())
            return QStringLiteral("The folder ") + shown +
                   QStringLiteral(" is read-only: nothing can be written to it.");
    }
    const qint64 free = paths.bytesFree(folder);
    if (needBytes > 0 && free >= 0 && free < needBytes)
        return QStringLiteral("The disk that holds ") + shown + QStringLiteral(" is full: ") +
               megabytes(needBytes) + QStringLiteral(" MB are needed and ") + megabytes(free) +
               QStringLiteral(" MB are free.");
    return {};
}

QString whyCannotChange(const QString& path) {
#ifdef Q_OS_UNIX
    // Asked of the system rather than by opening the file: closing a second handle on a
    // database would drop the locks the database engine holds on it. access() answers
    // for permissions, a read-only file system and an immutable file alike.
    if (::access(QFile::encodeName(path).constData(), W_OK) == 0) return {};
#else
    QFile file(path);
    if (file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) return {};
#endif
    return QStringLiteral("The file ") + QDir::toNativeSeparators(path) +
           QStringLiteral(" is read-only: nothing can be written to it.");
}

} // namespace rv
