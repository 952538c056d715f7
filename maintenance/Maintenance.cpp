#include "maintenance/Maintenance.h"
#include "alarms/AlarmStore.h"
#include "core/Values.h"
#include "history/ImportHistory.h"
#include "maintenance/DatabaseCheck.h"
#include "platform/WriteCheck.h"
#include "store/DatabaseCopy.h"
#include "store/Module1.h"
#include "store/PgEngine.h"
#include "store/Provisioning.h"
#include "store/Session.h"
#include <QFileInfo>
#include <optional>

namespace rv {

namespace {
const QString kBackupLabel = QStringLiteral(" G_BackupDB");
const QString kRestoreLabel = QStringLiteral(" G_RestoreDB");
const QString kCompactLabel = QStringLiteral(" G_CompactDB");
const QString kBackupClick = QStringLiteral(" imgBackup_Click");
const QString kRestoreClick = QStringLiteral(" imgRestore_Click");

// Runs the steps of a procedure; the first failing one ends them and is answered.
template <class F> std::optional<Error> attempt(F&& steps) {
    try {
        steps();
    } catch (const Abort& a) {
        return a.error;
    } catch (const std::exception& e) {
        return Error{err::InvalidArgument, QString::fromLocal8Bit(e.what())};
    }
    return std::nullopt;
}

// What keeps a copy of `bytes` from being written into `folder` (read-only, missing, a
// full disk), as the failure to tell and log; nothing when the copy can be written.
std::optional<Error> cannotWrite(const Paths& paths, const QString& folder, qint64 bytes) {
    const QString why = whyCannotWrite(paths, folder, bytes);
    if (why.isEmpty()) return std::nullopt;
    const qint64 free = paths.bytesFree(folder);
    const bool full = bytes > 0 && free >= 0 && free < bytes;
    return Error{full ? err::DiskFull : err::PermissionDenied, why};
}

qint64 fileSize(const QString& path) {
    return QFileInfo(path).size();
}
} // namespace

QString backupFileName(const QDate& day) {
    return kBackupFolderName + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".mdb");
}

bool isPartialBackup(const QString& name) {
    return name.endsWith(kPartialSuffix, Qt::CaseInsensitive);
}

Maintenance::Maintenance(Session& session, BackupGroup& group, MaintenanceHost& host)
    : m_s(session), m_group(group), m_host(host) {
    connect(m_group.imgBackup, &PictureButton::clicked, this, &Maintenance::imgBackup_Click);
    connect(m_group.Label42, &CaptionLabel::clicked, this, &Maintenance::imgBackup_Click);
    connect(m_group.imgRestore, &PictureButton::clicked, this, &Maintenance::imgRestore_Click);
    connect(m_group.Label27, &CaptionLabel::clicked, this, &Maintenance::imgRestore_Click);
}

QString Maintenance::backupFolder() const {
    return m_s.gDataFolder + QStringLiteral("/") + kBackupFolderName;
}

Status Maintenance::checkCopy(const QString& path) {
    Status sound = m_files->checkDatabase(path, MaintenanceFiles::Check::Quick);
    if (sound.ok() || !isDamagedDatabase(sound.error())) return sound;
    return Status::fail(sound.error().number,
                        QStringLiteral("The database ") + kDatabaseFileName +
                            QStringLiteral(" is damaged: a copy of it is no backup. The backups "
                                           "made before are kept."));
}

// ---------------------------------------------------------------------------------
// Backup

bool Maintenance::G_BackupDB(const QString& folder, const QString& name) {
    MaintenanceFiles& files = *m_files;
    // On a site server the server's data is copied into a new file: there is no database
    // file to copy, and how large the copy will be is not known beforehand.
    const bool onServer = m_s.gConnection.onServer();
    const QString database = folder + name;
    const QString backups = folder + kBackupFolderName;
    const QString target = backups + QStringLiteral("/") + backupFileName(m_s.clock.today());
    // The copy is written under a work name and renamed into place once complete, so a
    // failed backup never leaves a truncated file under a backup's name.
    const QString partial = target + kPartialSuffix;
    bool partialWritten = false;
    bool damaged = false;
    // A folder that cannot be written or a disk without room for the copy is named
    // before anything is written.
    const std::optional<Error> refusal =
        cannotWrite(m_s.paths, files.folderExists(backups) ? backups : folder.chopped(1),
                    onServer ? 0 : fileSize(database));
    const std::optional<Error> failure = refusal ? refusal : attempt([&] {
        if (!files.folderExists(backups)) need(files.makeFolder(backups));
        if (onServer) {
            partialWritten = true;
            need(copyServerInto(partial));
        } else {
            // No other program writes to the file while it is copied.
            const auto lock = need(files.lockDatabase(databaseFileBehind(database)));
            partialWritten = true;
            need(files.copyFile(database, partial));
            // A damaged database is no backup: it never takes the place of a sound one.
            if (Status sound = checkCopy(partial); !sound.ok()) {
                damaged = isDamagedDatabase(sound.error());
                need(sound);
            }
        }
        need(files.replaceFile(partial, target));
        partialWritten = false;
    });
    if (!failure) {
        m_s.dialogs.inform(QStringLiteral("Backup was successful"), kTitle, Icon::Information);
        return true;
    }
    if (partialWritten) (void)files.removeFile(partial);
    m_s.dialogs.inform(QStringLiteral("Error encountered during backup process of ") +
                       (onServer ? serverDisplayName(m_s.gConnection.path()) : name) +
                       (refusal || damaged ? kCrLf + failure->description : QString()));
    m_s.logFailure(*failure, kBackupLabel);
    return false;
}

void Maintenance::imgBackup_Click() {
    if (m_s.gConnection.onServer()) {
        // The server's connection stays open: nothing shown has changed.
        G_BackupDB(m_s.gDataFolder + QStringLiteral("/"), kDatabaseFileName);
        G_ListBackups();
        return;
    }
    if (m_s.gConnection.isOpen()) m_s.gConnection.close();
    G_BackupDB(m_s.gDataFolder + QStringLiteral("/"), kDatabaseFileName);
    if (!reopenDatabase(kBackupClick, false)) return;
    G_ListBackups();
    skip([&] {
        const CurrentSensor& sensor = m_s.currentSensor;
        if (sensor.exists())
            m_host.setSensorBoxText(
                displayText(need(sensor.value(QStringLiteral("InstrumentID")))));
    });
    // The sensors were read again from the reopened file: the first one is shown.
    m_s.currentSensor.announceChanged();
}

// ---------------------------------------------------------------------------------
// Restore

std::optional<Error> Maintenance::restoreCannotWrite(const QString& folder, const QString& name,
                                                     const QString& backupName) const {
    const QString source = folder + kBackupFolderName + QStringLiteral("/") + backupName;
    return cannotWrite(m_s.paths, QFileInfo(databaseFileBehind(folder + name)).path(),
                       fileSize(source));
}

bool Maintenance::refuseRestore(const Error& why) {
    m_s.dialogs.inform(QStringLiteral("Error encountered during restore process") + kCrLf +
                       why.description);
    m_s.logFailure(why, kRestoreLabel);
    return false;
}

bool Maintenance::G_RestoreDB(const QString& folder, const QString& name,
                              const QString& backupName) {
    if (m_s.gConnection.onServer()) return restoreOntoServer(folder, backupName);
    MaintenanceFiles& files = *m_files;
    // A linked database is replaced where the link leads, the link left in place.
    const QString database = databaseFileBehind(folder + name);
    const QString source = folder + kBackupFolderName + QStringLiteral("/") + backupName;
    if (const auto why = restoreCannotWrite(folder, name, backupName)) return refuseRestore(*why);
    // The backup is copied beside the database, checked there, and only then put in the
    // database's place by one rename: an interruption leaves the old database or the new
    // one, whole.
    const QString staged = workFileBeside(database, kRestorePrefix);
    bool staging = false;
    bool refused = false;
    const std::optional<Error> failure = attempt([&] {
        staging = true;
        need(files.copyFile(source, staged));
        if (Status sound = files.checkDatabase(staged); !sound.ok()) {
            refused = true;
            need(sound);
        }
        const auto lock = need(files.lockDatabase(database));
        // The restored file is shared, or protected, as the database it replaces was.
        if (files.fileExists(database)) need(files.copyPermissions(database, staged));
        // A journal beside the database belongs to the database being replaced. While
        // another connection holds the engine's write lock it is that write, under way;
        // otherwise the engine has finished with it (a hot one it would have rolled back
        // before the lock could hold), and it must never be applied to the new file.
        const QString journal = journalOf(database);
        if (files.fileExists(journal)) {
            if (lock->writerActive())
                need(Status::fail(err::DatabaseBusy,
                                  QStringLiteral("The database is in use by another program "
                                                 "(a write is under way)")));
            need(files.removeFile(journal));
        }
        need(files.replaceFile(staged, database));
        staging = false;
    });
    if (staging) (void)files.removeFile(staged);
    return tellRestored(failure, refused, backupName, false);
}

void Maintenance::imgRestore_Click() {
    QListWidgetItem* item = m_group.lstFiles->currentItem();
    if (!item || !item->isSelected() || m_group.lstFiles->row(item) == 0) {
        m_s.dialogs.inform(QStringLiteral("Please choose a file from the list to restore from"));
        return;
    }
    const QString backupName = item->text();
    if (!m_s.dialogs.ask(QStringLiteral("Restoring Rockvane from backup ") + backupName + kCrLf +
                             QStringLiteral("will permanently overwrite current database. "
                                            "Continue?"),
                         kTitleCaps, Icon::Exclamation))
        return;
    const bool onServer = m_s.gConnection.onServer();
    const QString folder = m_s.gDataFolder + QStringLiteral("/");
    if (onServer) {
        // The others working on the server's database lose what they have not saved.
        if (!othersMayLoseWork()) return;
    } else if (const auto why = restoreCannotWrite(folder, kDatabaseFileName, backupName)) {
        // A data folder that cannot take the restored file is named before anything is
        // written, the safety backup included.
        refuseRestore(*why);
        return;
    }
    // The database about to be replaced is kept first, while it is still open; without
    // that copy the restore goes on only when the user says so.
    if (!G_SafetyBackup(SafetyReason::Restore, backupName)) return;
    if (!onServer && m_s.gConnection.isOpen()) m_s.gConnection.close();
    const bool restored = G_RestoreDB(folder, kDatabaseFileName, backupName);
    if (!reopenDatabase(kRestoreClick, restored)) return;
    // The list shows the safety backup just made.
    G_ListBackups();
    skip([&] {
        const CurrentSensor& sensor = m_s.currentSensor;
        if (sensor.exists())
            m_host.setSensorBoxText(
                displayText(need(sensor.value(QStringLiteral("InstrumentID")))));
    });
    // Everything shown came from the file replaced: every tab reads again. A restore that
    // failed left the file as it was; its sensors were read again all the same.
    if (restored)
        m_s.currentSensor.announceRestored();
    else
        m_s.currentSensor.announceChanged();
}

// ---------------------------------------------------------------------------------
// On a site server

namespace {
// The copy's progress told to the window's progress: begun on the copy's first report,
// when its total is known.
class CopyShown {
public:
    CopyShown(Progress& progress, QString label)
        : m_progress(progress), m_label(std::move(label)) {}
    ~CopyShown() {
        if (m_begun) m_progress.end();
    }
    bool operator()(qint64 copied, qint64 total) {
        if (!m_begun) m_progress.begin(m_label, total);
        m_begun = true;
        return m_progress.step(copied);
    }

private:
    Progress& m_progress;
    QString m_label;
    bool m_begun = false;
};
} // namespace

Status Maintenance::copyServerInto(const QString& path) {
    // A work file a backup cut short left behind is no backup: it goes first.
    if (m_files->fileExists(path))
        if (Status s = m_files->removeFile(path); !s.ok()) return s;
    if (Status s = createShippedDatabase(path); !s.ok()) return s;
    Connection file;
    if (Status s = file.open(path); !s.ok()) return s;
    // Named as the backup will be once the work file takes its name.
    QString name = QFileInfo(path).fileName();
    if (isPartialBackup(name)) name.chop(kPartialSuffix.size());
    CopyShown shown(*m_progress, QStringLiteral("Copying the site server's data into ") + name);
    const Result<CopyReport> copied =
        copyDatabase(m_s.gConnection, file, CopyInto::NewDatabase, std::ref(shown));
    return copied.ok() ? Status() : Status(copied.error());
}

Status Maintenance::copyOntoServer(const QString& source) {
    Connection file;
    if (Status s = file.open(source, Connection::Mode::ReadOnly); !s.ok()) return s;
    CopyShown shown(*m_progress, QStringLiteral("Copying ") + QFileInfo(source).fileName() +
                                     QStringLiteral(" onto the site server"));
    const Result<CopyReport> copied =
        copyDatabase(file, m_s.gConnection, CopyInto::Replace, std::ref(shown));
    return copied.ok() ? Status() : Status(copied.error());
}

bool Maintenance::restoreOntoServer(const QString& folder, const QString& backupName) {
    const QString source = folder + kBackupFolderName + QStringLiteral("/") + backupName;
    bool refused = false;
    const std::optional<Error> failure = attempt([&] {
        if (Status sound = m_files->checkDatabase(source); !sound.ok()) {
            refused = true;
            need(sound);
        }
        need(copyOntoServer(source));
    });
    return tellRestored(failure, refused, backupName, true);
}

bool Maintenance::tellRestored(const std::optional<Error>& failure, bool refused,
                               const QString& backupName, bool sayWhy) {
    if (!failure) {
        m_s.dialogs.inform(QStringLiteral("Restore was successful"), kTitle, Icon::Information);
        return true;
    }
    if (refused)
        m_s.dialogs.inform(QStringLiteral("The backup ") + backupName +
                               QStringLiteral(" is not a sound Rockvane database and cannot be "
                                              "restored.") +
                               kCrLf + QStringLiteral("The current database was not changed."),
                           kTitle, Icon::Exclamation);
    else if (sayWhy)
        m_s.dialogs.inform(QStringLiteral("Error encountered during restore process") + kCrLf +
                           failure->description + kCrLf +
                           QStringLiteral("The current database was not changed."));
    else
        m_s.dialogs.inform(QStringLiteral("Error encountered during restore process"));
    m_s.logFailure(*failure, kRestoreLabel);
    return false;
}

bool Maintenance::othersMayLoseWork() {
    const Result<int> others = otherConnections(m_s.gConnection);
    QString text;
    if (!others.ok()) {
        m_s.logFailure(others.error(), kRestoreClick);
        text = QStringLiteral("Rockvane could not learn how many other connections are open to "
                              "this database.");
    } else if (others.value() == 0) {
        return true;
    } else if (others.value() == 1) {
        text = QStringLiteral("1 other connection is open to this database.");
    } else {
        text = QString::number(others.value()) +
               QStringLiteral(" other connections are open to this database.");
    }
    text += QStringLiteral(" Their work since their last save may be lost. Restore anyway?");
    return m_s.dialogs.show(Message{text, kTitle, Icon::Exclamation, Buttons::YesNo, Answer::No}) ==
           Answer::Yes;
}

// ---------------------------------------------------------------------------------
// The list of backups

void Maintenance::G_ListBackups() {
    QListWidget* list = m_group.lstFiles;
    list->clear();
    const Result<QStringList> names = m_files->listFiles(backupFolder());
    if (!names.ok()) return;
    QStringList backups;
    for (const QString& n : names.value())
        if (!isPartialBackup(n)) backups << n;
    if (backups.isEmpty()) return;
    list->addItem(kBackupListHeading);
    list->addItems(backups);
    list->setCurrentRow(0);
}

// ---------------------------------------------------------------------------------
// Reopening the database after a copy

bool Maintenance::reopenDatabase(const QString& label, bool restored) {
    Session& s = m_s;
    // A site server's connection was never closed: only what was read is read again.
    Status opened;
    if (!s.gConnection.onServer()) {
        s.gDatabasePath = s.gDataFolder + QStringLiteral("/") + kDatabaseFileName;
        opened =
            openDatabase(s.gConnection, s.gDatabasePath,
                         m_readOnly ? Connection::Mode::ReadOnly : Connection::Mode::ReadWrite);
        s.gConnectString = s.gConnection.describe();
    }
    if (!s.gConnection.isOpen()) {
        if (!opened.ok()) s.logFailure(opened.error(), label);
        s.dialogs.inform(QStringLiteral("ERROR: could not connect to database") + kCrLf +
                             QStringLiteral("Program must exit"),
                         QStringLiteral("Database connection error"), Icon::Critical);
        m_host.endProgram();
        return false;
    }
    logged(s, label, [&] {
        if (restored) {
            // Everything read from the database replaced is let go: the readings shown
            // and the place remembered in them, the type's limits and the preferences
            // come from the restored file from now on.
            s.rsReadings.close();
            s.gReadingBookmark = 0;
            need(s.rsConfig.open(s.gConnection, sql::ConfigurationByType));
            need(s.rsConfig.moveFirst());
            GetPrefs(s);
        }
        need(s.rsSensors.open(s.gConnection, sql::SensorsByNumber));
        // A backup made before alarm levels and the import history gains their tables, as
        // at start-up.
        G_AddNewTables(s, label);
        Recordset& rs = s.rsSensors;
        if (rs.bof() || rs.eof()) {
            s.dialogs.inform(QStringLiteral("There are no sensors in the database, ") + kCrLf +
                                 QStringLiteral("click the ADD NEW button to begin using Rockvane"),
                             kTitle, Icon::Exclamation);
            m_host.setSensorCount(QStringLiteral("0"));
            if (restored) {
                m_host.relistSensors();
                m_host.showCurrentSensor();
            }
            return;
        }
        need(rs.moveFirst());
        m_host.setSensorCount(QString::number(rs.recordCount()));
        if (restored) {
            // The sensor box lists the restored file's sensors, not the replaced one's.
            m_host.relistSensors();
            need(rs.moveFirst());
            s.Firstload = false;
        }
        m_host.showCurrentSensor();
    });
    return true;
}

// ---------------------------------------------------------------------------------
// Compaction

bool G_CompactDB(Session& session, const QString& folder, const QString& name,
                 MaintenanceFiles& files) {
    // A linked database is compacted where the link leads, the link left in place.
    const QString database = databaseFileBehind(folder + name);
    const QString copy = workFileBeside(database, kCompactPrefix);
    bool copyMade = false;
    const std::optional<Error> failure = attempt([&] {
        // No other program writes to the file between the compaction and the rename.
        const auto lock = need(files.lockDatabase(database));
        // A work file already there is left alone: it may be all that is left of an
        // earlier compaction.
        if (files.fileExists(copy))
            need(Status::fail(err::FileAlreadyExists,
                              QStringLiteral("File already exists: ") + copy));
        copyMade = true;
        need(files.compactInto(database, copy));
        need(files.checkDatabase(copy, MaintenanceFiles::Check::Quick));
        need(files.copyPermissions(database, copy));
        need(files.replaceFile(copy, database));
        copyMade = false;
    });
    if (!failure) return true;
    if (copyMade) (void)files.removeFile(copy);
    session.dialogs.inform(QStringLiteral("Error compacting ") + name);
    session.logFailure(*failure, kCompactLabel);
    return false;
}

bool opensForWriting(const Connection& connection) {
    return connection.isOpen() && !connection.readOnly();
}

} // namespace rv
