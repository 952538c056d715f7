#pragma once
// The safety backups: a copy of the database written to the backup folder just before an
// import appends readings and just before a restore replaces the database, so that
// either can be taken back by restoring it.
//
// A safety backup is named by the moment it was made and by what followed it:
// "LODIXsafety2026-03-14 093015 before import.mdb". Its name can never be that of the
// day's user backup ("LODIXbackup2026-03-14.mdb"), which it therefore never replaces;
// it is listed and restored like any backup. Two made within the same second are told
// apart by a number after the time ("... 093015-2 before import.mdb"). Only the newest
// ten safety backups are kept; user backups and any other file are never removed.
#include "maintenance/MaintenanceFiles.h"
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace rv {

inline const QString kSafetyPrefix = QStringLiteral("LODIXsafety");
inline constexpr int kSafetyBackupsKept = 10;

enum class SafetyReason { Import, Restore };

// The name of the safety backup made at a moment (a wall-clock value); number 1 is left
// out of the name, later numbers follow the time.
QString safetyBackupFileName(const QDateTime& at, SafetyReason reason, int number = 1);

// The moment and number a safety backup's name carries; nothing for any other name
// (a user backup, a work file, a name of the right form with an impossible date).
struct SafetyStamp {
    QDateTime at;
    int number = 1;
    bool operator<(const SafetyStamp& other) const {
        return at != other.at ? at < other.at : number < other.number;
    }
};
std::optional<SafetyStamp> safetyBackupStamp(const QString& name);

// Removes the safety backups of the folder beyond the newest `keep` (by the moment in
// their names), except spare, and the work files safety backups cut short left behind.
// The safety backup just made is always one of those kept, whatever moment its name
// carries (a clock set back names it older than the rest). Nothing else in the folder is
// touched. A file that cannot be removed is left for the next time. Answers the names
// removed.
QStringList pruneSafetyBackups(MaintenanceFiles& files, const QString& folder,
                               int keep = kSafetyBackupsKept, const QString& spare = QString(),
                               const QString& justMade = QString());

// The newest backup in the folder by the time it was written (user backups and safety
// backups alike: every file the list of backups offers whose name ends in ".mdb");
// empty when there is none.
QString latestBackup(const MaintenanceFiles& files, const QString& folder);

} // namespace rv
