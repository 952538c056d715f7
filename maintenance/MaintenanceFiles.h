#pragma once
// The file and engine operations behind backup, restore and compaction, gathered in one
// class so that each step can be made to fail on purpose (a test overrides the step it
// wants to break); the class itself works on the disk, and on the database engine through
// the store's operations on the database file (store/DatabaseFile.h).
//
// Every operation that writes leaves its result on the disk before it returns: a copy or
// a compacted file is flushed, and a file takes the place of another by one rename, so an
// interruption leaves either the old file or the new one, whole.
#include "platform/Status.h"
#include "store/DatabaseFile.h"
#include <QString>
#include <QStringList>
#include <memory>

namespace rv {

// Error numbers of the file steps, as the log shows them.
namespace err {
constexpr long long FileNotFound = 53;
constexpr long long FileAlreadyExists = 58;
constexpr long long PermissionDenied = 70;
constexpr long long PathNotFound = 76;
// DiskFull and DatabaseBusy: store/DatabaseFile.h.
} // namespace err

// The file a database path leads to: links resolved, so that work files go beside the
// file itself and it is replaced in place, the link left as it is. The path itself when
// it leads to no file.
QString databaseFileBehind(const QString& path);
// The work file prefix + name beside the database file (links resolved):
// "<folder>/Copy_RockvaneLODIX.mdb".
QString workFileBeside(const QString& databasePath, const QString& prefix);
// The engine's rollback journal of the database file (links resolved).
QString journalOf(const QString& databasePath);

class MaintenanceFiles {
public:
    virtual ~MaintenanceFiles() = default;

    virtual bool folderExists(const QString& path) const;
    virtual bool fileExists(const QString& path) const;
    virtual Status makeFolder(const QString& path);
    // The names of the files in a folder (no folders), in ascending order.
    virtual Result<QStringList> listFiles(const QString& folder) const;
    // Copies a file byte for byte onto a path, replacing a file there; the copy is on the
    // disk, complete, when this answers success.
    virtual Status copyFile(const QString& from, const QString& to);
    // Puts a file in the place of another in one step (the other, if any, is replaced).
    virtual Status replaceFile(const QString& from, const QString& to);
    virtual Status removeFile(const QString& path);
    // Gives a file the permissions of another.
    virtual Status copyPermissions(const QString& from, const QString& to);

    // Writes a compacted copy of the database at source to target (which must not
    // exist), flushed to the disk; the source is left as it was.
    virtual Status compactInto(const QString& source, const QString& target);
    // Writes a copy of the database open on source (its main file) to target, through the
    // engine's own page copy, while the connection and everything read through it stay
    // open; the copy is flushed to the disk. A file at target is replaced. Fails, leaving
    // no file at target, when the engine cannot read the source or write the copy.
    virtual Status backupInto(const Connection& source, const QString& target);
    // Whether the file at path is a sound database. A backup to restore must open, pass the
    // engine's full integrity check and hold the fixed tables of this program's databases;
    // for the quick check (a copy the engine has just written, the database at start-up)
    // the file must open and pass the engine's quick check of every page and row. A file
    // that fails a check answers the engine's "corrupt" number; one that is no database
    // at all, the engine's "not a database".
    enum class Check { Backup, Quick };
    virtual Status checkDatabase(const QString& path, Check check = Check::Backup);
    // Locks the database at path against writers for as long as the answer lives. A file
    // that is missing or no database gets an empty lock (there is nothing to protect); a
    // database another program is writing fails with the engine's "locked" error.
    virtual Result<std::unique_ptr<DatabaseLock>> lockDatabase(const QString& path);

    // How long a lock waits for another program to finish its write, in milliseconds.
    int busyTimeoutMs = 3000;
};

} // namespace rv
