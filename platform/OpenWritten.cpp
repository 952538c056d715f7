#include "platform/OpenWritten.h"
#include <QDir>
#include <QFileInfo>

namespace rv {

QString writtenButNotOpened(const QString& path, Opened what) {
    return (what == Opened::JustWritten ? QStringLiteral("The file was written to")
                                        : QStringLiteral("The file is")) +
           kCrLf + QDir::toNativeSeparators(path) + kCrLf +
           QStringLiteral("but no program could be started to open it.");
}

Status openWritten(Dialogs& dialogs, Desktop& desktop, const QString& path,
                   const QString& ownMessage, const QString& title, Icon icon, Opened what) {
    if (desktop.openFile(path)) return {};
    const bool there = QFileInfo(path).isFile();
    const QString where = there ? writtenButNotOpened(path, what)
                                : QStringLiteral("The file") + kCrLf +
                                      QDir::toNativeSeparators(path) + kCrLf +
                                      QStringLiteral("could not be found.");
    dialogs.inform(ownMessage.isEmpty() ? where : ownMessage + kCrLf + kCrLf + where, title, icon);
    return Status::fail(err::FileError, (there ? QStringLiteral("No program could open ")
                                               : QStringLiteral("There is no file ")) +
                                            QDir::toNativeSeparators(path));
}

} // namespace rv
