#pragma once
// Which database a run works on, and how a site server is written: the libpq connection
// string ("host=db.mine port=5432 dbname=rockvane user=jo sslmode=prefer") and the parts of
// it that the Database window shows in its boxes. The file is the default: a run works on
// a site server only when the command line names one (--server) or the engineer chose one
// in the Database window, which remembers it for the user.
#include "platform/Status.h"
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

namespace rv {

class UserChoices;

// The user's remembered choice: the server's connection string; empty for the file.
inline const QString kServerChoiceKey = QStringLiteral("Database/Server");

// The connection modes a site server may be asked for, the default first in the window's
// list order ("prefer").
const QStringList& sslModes();
inline const QString kDefaultSslMode = QStringLiteral("prefer");

struct ServerAddress {
    QString host;
    QString port;
    QString database;
    QString user;
    QString sslMode = kDefaultSslMode;
    // Settings the window has no box for (sslrootcert, connect_timeout, service, ...),
    // in the string's order: kept so that choosing the same server again keeps them.
    std::vector<std::pair<QString, QString>> others;
};

// A value as libpq reads it: bare when it holds no space, quote or backslash (and is not
// empty), otherwise in single quotes with \' and \\.
QString connectionValue(const QString& value);
// The connection string of an address: host, port, dbname, user, sslmode, then the others;
// empty boxes are left out (libpq's defaults apply).
QString connectionString(const ServerAddress& address);
// The address a connection string holds, in keyword=value form or as a postgresql:// URI.
// Fails with a description of the first fault (an unclosed quote, a word without "=").
Result<ServerAddress> parseServerAddress(const QString& conninfo);

// The user, database and host the server will be asked for, libpq's defaults filled in
// where the string names none (PGUSER or the system's user name, PGDATABASE or the user,
// PGHOST or "localhost"), for the messages.
QString loginUser(const ServerAddress& address);
QString loginDatabase(const ServerAddress& address);
QString loginHost(const ServerAddress& address);

// The message for a site server that could not be opened: which of unreachable, login
// refused, no such database or no Rockvane tables, in the engineer's words, with the
// server's own text where it tells more.
QString serverFailureText(const QString& conninfo, const Error& error);

// The command line's --server "<conninfo>" (or --server=<conninfo>): nothing when the
// option is not there; a failure when it comes without a connection string.
Result<std::optional<QString>> serverArgument(const QStringList& arguments);

// The server a run starts on: the command line's when given (it wins, for this run only),
// else the one the user chose in the Database window; empty for the file.
QString startingServer(const std::optional<QString>& commandLine, const UserChoices& choices);

} // namespace rv
