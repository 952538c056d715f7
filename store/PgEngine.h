#pragma once
// The PostgreSQL engine of the site server: a database lives on a server, and its location
// is a libpq connection string ("host=/run/db dbname=mine"). The only part of the program
// that talks to libpq itself.
#include "store/Engine.h"

namespace rv {

DatabaseEngine& postgresEngine();

// How a site server is named to the engineer: "<database> on <host>[:<port>]" from the
// connection string (the host "localhost" when the string names none). Never shows a
// password the string may hold.
QString serverDisplayName(const QString& conninfo);

// Whether a connection string names the database to use, as libpq reads it: dbname given
// (in a URI, its path), or a service, whose entry in the service file decides. Without
// either libpq takes the database named after the user. A string libpq cannot read at all
// counts as naming one: connecting to it says why.
bool serverNamesDatabase(const QString& conninfo);

// The store's statement text in the server's dialect: parameters written "?" or "?N" become
// "$N" (a bare "?" takes the number after the highest so far); backquoted names, and bare
// names in mixed case, become double-quoted ones, so that the server keeps their
// case as the file does (the language's own words and functions' names stay as they are);
// TRUE and FALSE become 1 and 0; a CREATE TABLE becomes serverTableDefinition's. Quoted
// texts, quoted names and comments are left as they are. parameterCount receives the
// highest parameter number.
QString serverStatementText(const QString& sql, int* parameterCount = nullptr);

// A CREATE TABLE of the store as the server makes it: checks of a value's kind (typeof)
// left out (the column's type holds it), INTEGER as BIGINT (64 bits, as on a file), REAL
// as DOUBLE PRECISION, BLOB as BYTEA, an INTEGER PRIMARY KEY AUTOINCREMENT as an identity,
// and a rowid column added: a unique identity, or the integer key itself where the table
// has one. Any other statement comes back as it is.
QString serverTableDefinition(const QString& createTable);

// The statements of a text run at once, split at the semicolons that end them (not those
// in quotes or comments); pieces of nothing but blanks and comments are left out.
QStringList splitStatements(const QString& text);

} // namespace rv
