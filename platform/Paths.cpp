#include "platform/Paths.h"
#include <QStandardPaths>
#include <QStorageInfo>
#ifdef Q_OS_WIN
#include <shlobj.h>
#include <windows.h>
#endif

namespace rv {

qint64 Paths::bytesFree(const QString& folder) const {
    const QStorageInfo disk(folder);
    return disk.isValid() ? disk.bytesAvailable() : -1;
}

QString SystemPaths::specialFolder(int id) const {
#ifdef Q_OS_WIN
    wchar_t buffer[MAX_PATH] = {0};
    if (SHGetFolderPathW(nullptr, id, nullptr, 0, buffer) != S_OK) return {};
    return QString::fromWCharArray(buffer);
#else
    if (id == kCommonDocumentsFolder)
        return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    // The user's own settings folder (26 on Windows): ~/.config here.
    if (id == 26) return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return {};
#endif
}

} // namespace rv
