#include "platform/QtDesktop.h"
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace rv {

bool QtDesktop::openFile(const QString& path) {
    // A missing document is not handed to the desktop, which would report it itself.
    if (!QFileInfo(path).isFile()) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtDesktop::openAddress(const QString& url) {
    return QDesktopServices::openUrl(QUrl(url));
}

} // namespace rv
