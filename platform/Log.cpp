#include "platform/Log.h"
#include "core/DateText.h"
#include "platform/Clock.h"
#include <QFile>
#include <QFileInfo>

namespace rv {

QString errorText(const Error& error, const QString& label) {
    return QStringLiteral("Err #") + QString::number(error.number) + QStringLiteral(": ") +
           error.description + label;
}

void LogError(const QString& dataFolder, const Clock& clock, const QString& message) {
    // The folder is never created here: without a data folder the entry is lost.
    if (dataFolder.isEmpty() || !QFileInfo(dataFolder).isDir()) return;
    QFile file(dataFolder + QStringLiteral("/") + kLogFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    const QString entry = QStringLiteral("\r\n") + QString(89, QLatin1Char('*')) +
                          QStringLiteral("\r\n") + generalDateText(clock.now()) +
                          QStringLiteral(" - ") + message + QStringLiteral("\r\n");
    file.write(entry.toLocal8Bit());
    file.close();
}

} // namespace rv
