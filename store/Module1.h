#pragma once
// The shared data-access procedures: whether a readings table exists, creating, replacing
// and opening a readings table, the preferences, and whether a file or folder exists.
#include "platform/Status.h"
#include "store/Statements.h"
#include <QString>

namespace rv {

struct Session;
class Connection;
class Recordset;

// True when the database at databasePath holds a user table of exactly that name
// (letter case counts; the engine's own MSys tables never count). The shared
// connection answers for its own file, a private connection for any other; a failure
// answers False with one log entry.
bool TableExists(Session& s, const QString& databasePath, const QString& tableName);

// The readings tables of sensors. These only do: they ask nothing and show nothing (the
// procedures that announce a missing table and ask before replacing one are in
// sensordata/).
// Creates an empty readings table for sensor id, shaped like the template "sensordata".
Status createReadingsTable(Connection& connection, const QString& id);
// Replaces the readings table of sensor id by an empty one, its readings kept in the history
// of changes as deleted (how "Add sensor").
Status replaceReadingsTable(Connection& connection, const QString& id);
// Opens readings on the readings of sensor id by date, on the first row when there is one.
Status openReadings(Connection& connection, Recordset& readings, const QString& id);
// Opens readings on the readings of sensor id by date, on the newest reading, as the
// Readings tab shows them. On a site server only the newest 100 are read until the
// engineer goes further back (Recordset::openNewest), and the bookmarks are their
// positions times a large step; on a file every reading is read and the bookmarks are
// the positions.
Status openReadingsAtNewest(Connection& connection, Recordset& readings, const QString& id);

// Whether a file (a folder) exists at path; any failure answers False.
bool FileExists(const QString& path);
bool FolderExists(const QString& path);

// Opens rsPrefs and copies the first row's MaxY into gPrefMaxY as text.
void GetPrefs(Session& s);

} // namespace rv
