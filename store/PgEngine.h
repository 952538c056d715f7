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

// The store's statement text in the server's dialect: parameters written "?" or "?N" become
// "$N" (a bare "?" takes the number after the highest so far), backquoted names become
// double-quoted ones. Quoted texts, quoted names and comments are left as they are.
// parameterCount receives the highest parameter number.
QString serverStatementText(const QString& sql, int* parameterCount = nullptr);

} // namespace rv
