#pragma once
// What start-up learns of the database once it has opened it: whether the file is sound
// (the engine's quick check of every page and row, fast enough for every start), and
// whether it can be written. A damaged database is reported with the latest backup and
// how to restore it; the program goes on, so that the restore can be made. A database
// that can only be read is announced once, with what this run has to do without.
#include "maintenance/MaintenanceFiles.h"
#include "store/Connection.h"
#include <QString>

namespace rv {

struct Session;
class Connection;

// Opens the database at path on the connection. A file that holds no table at all (an
// empty file, which the engine would take for a new database) is no database of this
// program: it is refused with the engine's "not a database" number, the connection closed.
Status openDatabase(Connection& connection, const QString& path, Connection::Mode mode);

// Gives a database made before alarm levels, the import history and the history of
// changes their tables, and its notes columns the text they hold (store/NotesColumns.h),
// all in one transaction (a failure leaves none of it). A database that cannot be written
// works on without them: the parts of the windows concerned say so.
Status ensureNewTables(Connection& connection);
// The same on the session's database as it is opened: a database that can be written but
// refuses them (locked by another program, a full disk) gets one log entry under label and
// one message saying what goes unrecorded until the next start.
void G_AddNewTables(Session& session, const QString& label);

// Whether a failure of the engine on the database means the file itself is damaged (it
// is corrupt, or no database at all), as opposed to missing, locked or refused.
bool isDamagedDatabase(const Error& error);

// The message about a damaged database: what is wrong, the latest backup in the backup
// folder (user or safety backup, the newest by time) and how to restore it, or that
// there is none. unreadable: the file could not be opened as a database at all.
QString damagedDatabaseText(const QString& latestBackupName, bool unreadable);
// The one message of a run on a database that can only be read; keepsChanges false adds
// that the database holds no record of changes to readings yet (made before it kept one).
QString readOnlyDatabaseText(bool keepsChanges = true);

// Shows the message about the damaged database of the session (no log entry: the caller
// writes it with the failure).
void tellDatabaseDamaged(Session& session, const MaintenanceFiles& files, bool unreadable);

// Runs on the database start-up has just opened: its quick check (a damaged file gets the
// message and one log entry under label; a check that cannot run, one log entry), then,
// for a database open for reading only, the one message saying so. Answers whether the
// database passed the check. Without quickCheck (the run before ended cleanly, its last
// act a compaction checked the same way) the file counts as sound and only the notice of
// a database open for reading is given.
bool G_CheckOpenedDatabase(Session& session, MaintenanceFiles& files, const QString& label,
                           bool quickCheck = true);

// Removes what a run cut short left beside the sound database this run has just opened
// and locked against other copies of the program: the engine's journal of a write it has
// finished with (opening the database rolled back a hot one; one no connection is writing
// is left over), the compaction's "Copy_" file and the restore's "Restore_" file (each
// only ever a copy: the database itself is always whole). Each file removed gets one log
// entry saying so; one that cannot be removed, one entry with the failure.
void G_RemoveWorkFiles(Session& session, MaintenanceFiles& files);

} // namespace rv
