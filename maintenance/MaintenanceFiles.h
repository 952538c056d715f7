#pragma once
// The file and engine operations behind backup, restore and compaction, gathered in one
// class so that each step can be made to fail on purpose (a test overrides the step it
// wants to break); the class itself works on the disk and the database engine.
//
// Every operation that writes leaves its result on the disk before it returns: a copy or
// a compacted file is flushed, and a file takes the place of another by one rename, so an
// interruption leaves either the old file or the new one, whole.
#include "platform/Status.h"
#include <QString>
#include <QStringList>
#include <memory>

struct sqlite3;

namespace rv {

// Error numbers of the file steps, as the log shows them.
namespace err {
constexpr long long FileNotFound = 53;
constexpr long long FileAlreadyExists = 58;
constexpr long long DiskFull = 61;
constexpr long long PermissionDenied = 70;
constexpr long long PathNotFound = 76;
constexpr long long DatabaseBusy = 5; // the engine's own number for a locked file
} // namespace err

// Held while a database file is copied or replaced: no other program can write to the
// file in the meantime. Let go when destroyed.
class DatabaseLock {
public:
    virtual ~DatabaseLock() = default;
    // False for the empty lock of a file that is missing or no database.
    virtual bool holds() const { return false; }
    // Whether, while the lock holds, another connection is writing to the file: it holds
    // the engine's write lock (its journal is then its own, live). A journal beside the
    // file while no one writes is one the engine has finished with: had it been hot, the
    // engine would have rolled it back before the lock could hold.
    virtual bool writerActive() const { return false; }
};

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
    virtual Status backupInto(sqlite3* source, const QString& target);
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

// The tables every database of this program holds.
const QStringList& fixedTables();

} // namespace rv
