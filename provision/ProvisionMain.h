#pragma once
// The rockvane-provision command: prepares the data folder <documents>/Brackwell/Rockvane
// on first use with the shipped database and the manual, and changes nothing that is
// already there; or prepares a site server's database.
//
//   rockvane-provision [--documents <folder>] [--window]
//   rockvane-provision --server <connection> [--move-file <file.mdb>]
//
// <documents> is the machine's common documents folder unless --documents names another.
// --window is for the desktop launcher, which has no terminal: a failure is also shown in
// a message window.
//
// --server makes the program's tables and their first rows in an existing, empty database
// on a site server (<connection> is a libpq connection string, which must name the database:
// dbname=..., a URI's path, or a service=... whose entry decides; one that names none is
// refused before anything connects, since libpq would take the database named after the
// user); a database that already holds any of the program's tables is left as it is and
// the command answers 1. With --move-file, the database file's data is copied onto that
// database in one transaction (its tables made first when it has none; one that already
// holds sensors, readings or imports is refused), each table's rows counted on both sides;
// the file is opened for reading only and never changed. A database holding tables named as
// the program's but in another case ("sensors", as tables made by hand without quotes are
// named) is refused as one that is not empty, and the message names those tables. Messages
// name the server as "<database> on <host>".
#include <QString>
#include <QStringList>

class QTextStream;

namespace rv {

class Dialogs;
class Paths;

// The data folder under a documents folder: <documents>/Brackwell/Rockvane, absolute.
QString dataFolderUnder(const QString& documents);

// Runs the command with its arguments (the program's name left out). Writes one line to
// out for each thing created, or "Data folder ready: <folder>" when nothing was
// missing, and answers 0; on any failure writes the reason to err and answers 1. With
// --server: the tables prepared, and for --move-file each table's counts compared.
// The documents folder comes from paths unless the arguments name one. With --window and
// dialogs given, a failure to prepare the folder is also shown through dialogs.
int provisionMain(const QStringList& args, const Paths& paths, QTextStream& out, QTextStream& err,
                  Dialogs* dialogs = nullptr);
// The same with the machine's own special folders.
int provisionMain(const QStringList& args, QTextStream& out, QTextStream& err,
                  Dialogs* dialogs = nullptr);

// True when the arguments ask for failures in a message window.
bool wantsWindow(const QStringList& args);

} // namespace rv
