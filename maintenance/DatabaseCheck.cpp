#include "maintenance/DatabaseCheck.h"
#include "alarms/AlarmStore.h"
#include "history/ImportHistory.h"
#include "maintenance/Maintenance.h"
#include "maintenance/SafetyBackup.h"
#include "platform/Log.h"
#include "store/ChangeHistory.h"
#include "store/NotesColumns.h"
#include "store/Provisioning.h"
#include "store/Session.h"
#include <QDir>

namespace rv {

namespace {
const QString kRemoveLabel = QStringLiteral(" G_RemoveWorkFiles");

void removeLeftOver(Session& s, MaintenanceFiles& files, const QString& path, const QString& what) {
    if (Status removed = files.removeFile(path); !removed.ok()) {
        s.logFailure(removed.error(), kRemoveLabel);
        return;
    }
    s.LogError(what + QStringLiteral(" was removed: ") + QDir::toNativeSeparators(path));
}
} // namespace

Status openDatabase(Connection& c, const QString& path, Connection::Mode mode) {
    if (Status opened = c.open(path, mode); !opened.ok()) return opened;
    const Result<QStringList> tables = c.tables();
    if (tables.ok() && tables.value().isEmpty()) {
        c.close();
        return Status::fail(err::NotADatabase, QStringLiteral("file is not a database (it holds no "
                                                              "tables): ") +
                                                   QDir::toNativeSeparators(path));
    }
    return {};
}

void G_RemoveWorkFiles(Session& s, MaintenanceFiles& files) {
    const QString database = databaseFileBehind(s.gDatabasePath);
    const QString journal = journalOf(database);
    if (files.fileExists(journal)) {
        const auto lock = files.lockDatabase(database);
        if (lock.ok() && lock.value()->holds() && !lock.value()->writerActive() &&
            files.fileExists(journal))
            removeLeftOver(s, files, journal,
                           QStringLiteral("The journal of a write that was cut short, which "
                                          "the database engine had finished with,"));
    }
    const std::pair<QString, QString> copies[] = {
        {kCompactPrefix, QStringLiteral("The copy left by a compaction that was cut short")},
        {kRestorePrefix, QStringLiteral("The copy left by a restore that was cut short")}};
    for (const auto& [prefix, what] : copies) {
        const QString path = workFileBeside(database, prefix);
        if (files.fileExists(path)) removeLeftOver(s, files, path, what);
    }
}

bool isDamagedDatabase(const Error& error) {
    return isDamagedDatabaseError(error);
}

QString damagedDatabaseText(const QString& latestBackupName, bool unreadable) {
    QString text = QStringLiteral("The database ") + kDatabaseFileName +
                   (unreadable ? QStringLiteral(" is damaged: it cannot be read as a database.")
                               : QStringLiteral(" is damaged: the integrity check found faults "
                                                "in it.") +
                                     kCrLf +
                                     QStringLiteral("Sensors and readings shown from it may be "
                                                    "missing or wrong."));
    text += kCrLf + kCrLf;
    if (latestBackupName.isEmpty())
        return text + QStringLiteral("There is no backup in the folder ") + kBackupFolderName +
               QStringLiteral(" to restore from. Keep a copy of ") + kDatabaseFileName +
               QStringLiteral(" and send it with the log file ") + kLogFileName +
               QStringLiteral(" when you report the problem.");
    return text + QStringLiteral("The latest backup is ") + latestBackupName + QStringLiteral(".") +
           kCrLf +
           QStringLiteral("To restore it, open the tab \"6. Utilities\", choose it in the list "
                          "of backups and click \"Restore from Backup\".");
}

QString readOnlyDatabaseText(bool keepsChanges) {
    return QStringLiteral("The database ") + kDatabaseFileName +
           QStringLiteral(" can only be read: it is write-protected or on a disk that cannot "
                          "be written.") +
           kCrLf +
           QStringLiteral("Until Rockvane runs on a database it can write, alarm levels, the "
                          "import history and the safety backup before each import are not "
                          "available.") +
           (keepsChanges ? QString()
                         : kCrLf + QStringLiteral("This database keeps no record of changes to "
                                                  "readings yet: it gains one the first time "
                                                  "Rockvane opens it where it can be written."));
}

void tellDatabaseDamaged(Session& s, const MaintenanceFiles& files, bool unreadable) {
    const QString folder = s.gDataFolder + QStringLiteral("/") + kBackupFolderName;
    s.dialogs.inform(damagedDatabaseText(latestBackup(files, folder), unreadable), kTitle,
                     Icon::Exclamation);
}

bool G_CheckOpenedDatabase(Session& s, MaintenanceFiles& files, const QString& label,
                           bool quickCheck) {
    const Status sound = quickCheck
                             ? files.checkDatabase(s.gDatabasePath, MaintenanceFiles::Check::Quick)
                             : Status{};
    if (!sound.ok()) {
        if (isDamagedDatabase(sound.error())) tellDatabaseDamaged(s, files, false);
        s.logFailure(sound.error(), label);
    }
    if (s.gConnection.isOpen() && !opensForWriting(s.gConnection))
        s.dialogs.inform(readOnlyDatabaseText(hasChangeTables(s.gConnection)), kTitle,
                         Icon::Information);
    return sound.ok();
}

Status ensureNewTables(Connection& c) {
    if (hasAlarmTable(c) && hasHistoryTables(c) && hasChangeTables(c) && notesKeepText(c))
        return {};
    if (Status s = c.begin(); !s.ok()) return s;
    for (auto ensure :
         {&ensureAlarmTable, &ensureHistoryTables, &ensureChangeTables, &ensureTextNotes})
        if (Status s = ensure(c); !s.ok()) {
            c.rollback();
            return s;
        }
    return c.commit();
}

void G_AddNewTables(Session& s, const QString& label) {
    const Status made = ensureNewTables(s.gConnection);
    if (made.ok() || !opensForWriting(s.gConnection)) return;
    s.logFailure(made.error(), label);
    s.dialogs.inform(
        QStringLiteral("Rockvane could not add to this database the tables it keeps alarm "
                       "levels, the import history and the history of changes in: ") +
            made.error().description + kCrLf + kCrLf +
            QStringLiteral("Until Rockvane opens the database again, changes to readings are "
                           "stored without being kept in the history of changes, and imports "
                           "cannot be undone. Close Rockvane and start it again to retry."),
        kTitle, Icon::Exclamation);
}

} // namespace rv
