#pragma once
// The engine's operations on the database file as a whole, beneath backup, restore,
// compaction and the start-up check: copying the open database out to a file, checking
// that a file is a sound database of this program, compacting a database into a new
// file, and holding a file against writers while it is copied or replaced. Each opens its
// own private connection to the file where it needs one. Failures are answered as values
// with the engine's error numbers and descriptions, followed by the file's path.
//
// Naming, renaming, flushing and removing the files themselves is the caller's part.
#include "platform/Status.h"
#include "store/Engine.h"
#include <QString>
#include <QStringList>
#include <memory>

namespace rv {

class Connection;

// The error numbers answered (DatabaseBusy, DatabaseCorrupt, NotADatabase, DiskFull), the
// lock and the depths of a check are the engine interface's own (store/Engine.h).

// The tables every database of this program holds.
const QStringList& fixedTables();

// Every table of the program's own beside the sensors' readings tables, in the order they
// are copied: the fixed tables, the alarm levels, the import history's two tables and the
// history of changes' two. A table added to the program is named here, once.
const QStringList& ownTables();
// Whether a table's name is one of ownTables(), whatever the case of its letters: such a
// table is never a sensor's readings table, whatever a Sensors row says.
bool isOwnTable(const QString& name);

// Whether a failure of the engine on a database means the file itself is damaged (it is
// corrupt, or no database at all), as opposed to missing, locked or refused.
bool isDamagedDatabaseError(const Error& error);

// The engine's rollback journal of a database file: written beside the file while a write
// is under way, and left there by a write that was cut short.
QString rollbackJournalOf(const QString& databaseFile);

// Locks the existing file at path against writers for as long as the answer lives,
// waiting up to busyTimeoutMs for a write under way. A file that cannot be opened or read
// as a database gets an empty lock (there is nothing to protect); a database another
// program is writing fails with the engine's "locked" number, DatabaseBusy.
Result<std::unique_ptr<DatabaseLock>> lockDatabaseFile(const QString& path, int busyTimeoutMs);

// Whether the existing file at path is a sound database. A file that fails a check
// answers DatabaseCorrupt; one that is no database at all, NotADatabase; one without a
// fixed table, ItemNotFound.
Status checkDatabaseFile(const QString& path, DatabaseCheckDepth depth, int busyTimeoutMs);

// Writes a compacted copy of the database file at source to target, a path that holds no
// file; the source is left as it was. What the engine wrote before a failure stays at
// target for the caller to remove.
Status compactDatabaseInto(const QString& source, const QString& target, int busyTimeoutMs);

// Writes a copy of the database open on source (its main file) to target through the
// engine's own page copy, under one read lock of the source: a copy of one moment. The
// connection and everything read through it stay open. target should hold no file;
// another program writing to the source is waited for up to busyTimeoutMs, then answered
// with DatabaseBusy; a copy that does not fit on the disk answers DiskFull. What was
// written before a failure stays at target for the caller to remove.
Status copyOpenDatabase(const Connection& source, const QString& target, int busyTimeoutMs);

} // namespace rv
