#pragma once
// Backup and restore of the database file on the "6. Utilities" tab, and the compaction of
// the file at the end of every normal run.
//
// A backup is a byte-for-byte copy of the database in the folder "LODIXbackup" of the data
// folder, one a day, named by the day. A restore copies a chosen backup back over the
// database. The shared connection is closed while the file is copied and opened again
// afterwards; the sensor display then comes from the reopened file.
//
// Before every import and every restore a safety backup of the database is written to the
// same folder under a name of its own (see SafetyBackup.h); the last ten are kept.
//
// Neither ever costs the database: a backup is written under a work name and renamed into
// place; a restore first checks the chosen file (a sound database holding the fixed
// tables), then renames the checked copy over the database in one step; the compacted
// copy replaces the database by one rename too, with no moment without a database.
//
// On a site server the same buttons work on the server's data: a backup is a new database
// file in the same folder, under the same name, into which the server's data is copied
// (store/DatabaseCopy.h); restoring such a file replaces the server's data with the file's
// in one transaction on the server, after the same check of the file, and after saying how
// many other connections are open to the database. The safety backup before a restore is
// such a backup file; before an import there is none (the import's undo record in the
// import history takes its place). The connection stays open throughout.
#include "maintenance/BackupGroup.h"
#include "maintenance/MaintenanceFiles.h"
#include "maintenance/SafetyBackup.h"
#include "platform/Progress.h"
#include <QDate>
#include <QObject>
#include <QString>
#include <optional>

namespace rv {

struct Session;
class Connection;

inline const QString kBackupFolderName = QStringLiteral("LODIXbackup");
inline const QString kBackupListHeading = QStringLiteral("List of Backups:");
inline const QString kCompactPrefix = QStringLiteral("Copy_");
inline const QString kRestorePrefix = QStringLiteral("Restore_");
// The end of the name a backup has while it is being written.
inline const QString kPartialSuffix = QStringLiteral(".part");

// "LODIXbackup" + the day as yyyy-mm-dd + ".mdb": LODIXbackup2005-03-14.mdb.
QString backupFileName(const QDate& day);
// Whether a name in the backup folder is the work file of a backup being written.
bool isPartialBackup(const QString& name);

// What the maintenance handlers change outside their own group, provided by the main
// window.
class MaintenanceHost {
public:
    virtual ~MaintenanceHost() = default;
    virtual void setSensorCount(const QString& text) = 0; // txtSCount
    // Shows the current sensor of rsSensors in the sensor tabs (fillfields).
    virtual void showCurrentSensor() = 0;
    virtual void setSensorBoxText(const QString& text) = 0; // cboSensors' text
    // Lists every sensor of rsSensors in the sensor box again (after a restore).
    virtual void relistSensors() = 0;
    // The database cannot be reopened: the main window goes and the program ends.
    virtual void endProgram() = 0;
};

class Maintenance : public QObject {
    Q_OBJECT
public:
    Maintenance(Session& session, BackupGroup& group, MaintenanceHost& host);

    // The file operations used from now on (tests put a faulty one in).
    void setFiles(MaintenanceFiles& files) { m_files = &files; }
    MaintenanceFiles& files() { return *m_files; }
    // The database is opened for reading only (this run could not lock it against other
    // copies of the program): it is reopened so after a backup or a restore.
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // Where the copy of a site server's data into a file, or of a file onto the server,
    // shows its progress (nothing shown until set).
    void setProgress(Progress& progress) { m_progress = &progress; }

    void imgBackup_Click();
    void imgRestore_Click();
    // folder ends with a separator; name is the database file's name. True on success.
    bool G_BackupDB(const QString& folder, const QString& name);
    bool G_RestoreDB(const QString& folder, const QString& name, const QString& backupName);
    void G_ListBackups();

    // Makes the safety backup of the database before an import or a restore. Answers
    // whether the import or the restore may go on: the backup was made; or the database
    // opens for reading only and an import is to come (nothing can be written, so nothing
    // can be lost); or the backup failed, the user was told why (and one log entry
    // written) and chose to go on without it. A safety backup never removes the file
    // named spare (the backup about to be restored).
    bool G_SafetyBackup(SafetyReason reason, const QString& spare = QString());
    // The safety backup's steps alone: the name of the file written, or the first failure.
    // The copy comes through the engine from the open connection (the recordsets stay
    // open); with no connection open (a database start-up could not read), the file is
    // copied byte for byte as it is.
    Result<QString> writeSafetyBackup(SafetyReason reason, const QString& spare = QString());

private:
    // The server's data copied into a new database file at path (which must hold no file),
    // under the copy's progress.
    Status copyServerInto(const QString& path);
    // The backup file at source replaces the site server's data (one transaction).
    Status copyOntoServer(const QString& source);
    bool restoreOntoServer(const QString& folder, const QString& backupName);
    // Tells how a restore ended (a backup refused as unsound, another failure, with why
    // and that nothing changed when sayWhy, or success) and logs a failure; true on
    // success.
    bool tellRestored(const std::optional<Error>& failure, bool refused, const QString& backupName,
                      bool sayWhy);
    // Asks whether to restore while other connections are open to the server database;
    // true when none are or the user says so.
    bool othersMayLoseWork();
    // Opens the database again after a copy and shows its sensors. False when the
    // program must end (the message has been shown and the host told).
    bool reopenDatabase(const QString& label, bool restored);
    QString backupFolder() const;
    // The engine's quick check of a copy of the database just written: a copy of a
    // damaged database is no backup, and answers why in the user's words.
    Status checkCopy(const QString& path);
    // What keeps the backup chosen from being restored into the database's folder (the
    // folder read-only, the disk without room for it); nothing when it can be.
    std::optional<Error> restoreCannotWrite(const QString& folder, const QString& name,
                                            const QString& backupName) const;
    // Tells why a restore cannot be made (one message, one log entry); answers false.
    bool refuseRestore(const Error& why);

    Session& m_s;
    BackupGroup& m_group;
    MaintenanceHost& m_host;
    MaintenanceFiles m_diskFiles;
    MaintenanceFiles* m_files = &m_diskFiles;
    bool m_readOnly = false;
    NoProgress m_noProgress;
    Progress* m_progress = &m_noProgress;
};

// Compacts the database folder + name at the end of a run: the engine writes a compacted
// copy "Copy_" + name beside it, which then takes the database's place in one rename.
// When anything fails, "Error compacting " + name is shown, one log entry written under
// " G_CompactDB", and the database stays as it was. No connection may be open on the
// file. True when the database was compacted.
bool G_CompactDB(Session& session, const QString& folder, const QString& name,
                 MaintenanceFiles& files);

// Whether the connection is open on its database for writing: only such a run compacts
// the database at its end.
bool opensForWriting(const Connection& connection);

} // namespace rv
