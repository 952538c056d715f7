#include "platform/WriteCheck.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

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
    QFile file(path);
    if (file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) return {};
    return QStringLiteral("The file ") + QDir::toNativeSeparators(path) +
           QStringLiteral(" is read-only: nothing can be written to it.");
}

} // namespace rv
