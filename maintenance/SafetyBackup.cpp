#include "maintenance/SafetyBackup.h"
#include "maintenance/Maintenance.h"
#include "store/Provisioning.h"
#include "store/Session.h"
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <utility>
#include <vector>

namespace rv {

namespace {
const QString kSafetyLabel = QStringLiteral(" G_SafetyBackup");
const QString kStampFormat = QStringLiteral("yyyy-MM-dd HHmmss");

QString reasonText(SafetyReason reason) {
    return reason == SafetyReason::Import ? QStringLiteral("import") : QStringLiteral("restore");
}

const QRegularExpression& safetyName() {
    static const QRegularExpression re(
        QStringLiteral("^LODIXsafety(\\d{4}-\\d{2}-\\d{2} \\d{6})(?:-([1-9]\\d{0,5}))? before "
                       "(import|restore)\\.mdb$"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}
} // namespace

QString safetyBackupFileName(const QDateTime& at, SafetyReason reason, int number) {
    QString name = kSafetyPrefix + at.toString(kStampFormat);
    if (number > 1) name += QStringLiteral("-") + QString::number(number);
    return name + QStringLiteral(" before ") + reasonText(reason) + QStringLiteral(".mdb");
}

std::optional<SafetyStamp> safetyBackupStamp(const QString& name) {
    const QRegularExpressionMatch m = safetyName().match(name);
    if (!m.hasMatch()) return std::nullopt;
    QDateTime at = QDateTime::fromString(m.captured(1), kStampFormat);
    if (!at.isValid()) return std::nullopt;
    SafetyStamp stamp;
    stamp.at = wallClock(at.date(), at.time());
    stamp.number = m.captured(2).isEmpty() ? 1 : m.captured(2).toInt();
    return stamp;
}

QStringList pruneSafetyBackups(MaintenanceFiles& files, const QString& folder, int keep,
                               const QString& spare, const QString& justMade) {
    QStringList removed;
    const Result<QStringList> names = files.listFiles(folder);
    if (!names.ok()) return removed;
    std::vector<std::pair<SafetyStamp, QString>> backups;
    for (const QString& name : names.value()) {
        if (isPartialBackup(name)) {
            // Only one copy of the program runs on a data folder, and its own safety
            // backup is complete by now: a safety backup's work file is what one cut
            // short left behind.
            if (safetyBackupStamp(name.chopped(kPartialSuffix.size())) &&
                files.removeFile(folder + QStringLiteral("/") + name).ok())
                removed << name;
            continue;
        }
        if (!justMade.isEmpty() && name.compare(justMade, Qt::CaseInsensitive) == 0)
            --keep; // kept, and counted among those kept
        else if (const auto stamp = safetyBackupStamp(name))
            backups.emplace_back(*stamp, name);
    }
    std::sort(backups.begin(), backups.end(),
              [](const auto& a, const auto& b) { return b.first < a.first; }); // newest first
    for (std::size_t i = std::size_t(std::max(keep, 0)); i < backups.size(); ++i) {
        const QString& name = backups[i].second;
        if (name.compare(spare, Qt::CaseInsensitive) == 0) continue;
        if (files.removeFile(folder + QStringLiteral("/") + name).ok()) removed << name;
    }
    return removed;
}

QString latestBackup(const MaintenanceFiles& files, const QString& folder) {
    const Result<QStringList> names = files.listFiles(folder);
    if (!names.ok()) return {};
    QString latest;
    QDateTime latestAt;
    for (const QString& name : names.value()) {
        if (isPartialBackup(name) || !name.endsWith(QStringLiteral(".mdb"), Qt::CaseInsensitive))
            continue;
        const QDateTime at = QFileInfo(folder + QStringLiteral("/") + name).lastModified();
        // Of two written in the same instant, the later name (the later day or moment).
        if (latest.isEmpty() || at > latestAt || (at == latestAt && name > latest)) {
            latest = name;
            latestAt = at;
        }
    }
    return latest;
}

// ---------------------------------------------------------------------------------
// The safety backup of the open database

Result<QString> Maintenance::writeSafetyBackup(SafetyReason reason, const QString& spare) {
    MaintenanceFiles& files = *m_files;
    const QString folder = backupFolder();
    const QString database = m_s.gDataFolder + QStringLiteral("/") + kDatabaseFileName;
    QString partial;
    bool partialWritten = false;
    QString name;
    try {
        if (!files.folderExists(folder)) need(files.makeFolder(folder));
        const QDateTime now = m_s.clock.now();
        for (int number = 1;; ++number) {
            name = safetyBackupFileName(now, reason, number);
            const QString path = folder + QStringLiteral("/") + name;
            if (!files.fileExists(path) && !files.fileExists(path + kPartialSuffix)) break;
        }
        const QString target = folder + QStringLiteral("/") + name;
        // Written under a work name and renamed into place once complete, as every backup.
        partial = target + kPartialSuffix;
        partialWritten = true;
        if (m_s.gConnection.onServer()) {
            need(copyServerInto(partial));
        } else if (m_s.gConnection.isOpen()) {
            need(files.backupInto(m_s.gConnection, partial));
            // Before a restore the database is kept as it is, damaged or not, for whatever
            // can still be saved from it.
            if (reason == SafetyReason::Import) need(checkCopy(partial));
        } else {
            // No connection: the file could not be read as a database at start-up. It is
            // kept exactly as it is, for whatever can still be saved from it.
            const auto lock = need(files.lockDatabase(database));
            need(files.copyFile(database, partial));
        }
        need(files.replaceFile(partial, target));
        partialWritten = false;
    } catch (const Abort& a) {
        if (partialWritten) (void)files.removeFile(partial);
        return a.error;
    }
    (void)pruneSafetyBackups(files, folder, kSafetyBackupsKept, spare, name);
    return name;
}

bool Maintenance::G_SafetyBackup(SafetyReason reason, const QString& spare) {
    // A database that opens for reading only cannot take the import's readings: there is
    // nothing to lose and nothing to back up. A restore replaces even a write-protected
    // file, so its safety backup is always made.
    if (reason == SafetyReason::Import && !opensForWriting(m_s.gConnection)) return true;
    // On a site server an import is taken back through its undo record in the import
    // history: no copy of the whole server's data is made for it.
    if (reason == SafetyReason::Import && m_s.gConnection.onServer()) return true;
    const Result<QString> made = writeSafetyBackup(reason, spare);
    if (made.ok()) return true;
    m_s.logFailure(made.error(), kSafetyLabel);
    const QString text =
        reason == SafetyReason::Import
            ? QStringLiteral("The safety backup of the database could not be made before the "
                             "import:") +
                  kCrLf + made.error().description + kCrLf + kCrLf +
                  QStringLiteral("Import the readings without a safety backup?")
            : QStringLiteral("The safety backup of the current database could not be made "
                             "before the restore:") +
                  kCrLf + made.error().description + kCrLf + kCrLf +
                  QStringLiteral("Restore the backup without a safety backup of the current "
                                 "database?");
    return m_s.dialogs.show(Message{text, kTitle, Icon::Exclamation, Buttons::YesNo, Answer::No}) ==
           Answer::Yes;
}

} // namespace rv
