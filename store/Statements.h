#pragma once
// The statements of the system are written in the dialect of the desktop database
// engine the data was first kept in. SQLite takes most of them as written (backquoted
// names, "= False"); this is the one place that turns the three forms it does not take
// into SQLite's own.
#include <QString>

namespace rv {

struct TranslatedStatement {
    enum class Kind {
        Plain,     // sql is run as it stands
        SelectInto // "SELECT * INTO target FROM source <tail>": a new table shaped like source
    };
    Kind kind = Kind::Plain;
    QString sql;    // Plain: the SQLite statement
    QString target; // SelectInto: the new table's name, unquoted
    QString source; // SelectInto: the table copied, unquoted
    QString tail;   // SelectInto: the rest after the source name (a WHERE clause or empty)
};

// Translates one statement:
//  - "SELECT * INTO t FROM s WHERE ..." becomes a SelectInto (see Connection::execute);
//  - "DELETE * FROM t" becomes "DELETE FROM t";
//  - a table name made of digits and left unquoted after FROM, INTO, TABLE, UPDATE or
//    JOIN ("Drop Table 123456789") is quoted.
// A trailing ";" and surrounding blanks are removed.
TranslatedStatement translateStatement(const QString& statement);

// A name written between double quotes for SQLite, inner quotes doubled.
QString quoteName(const QString& name);

// A name as written in a statement, without its quotes (`x`, "x", [x] or x).
QString unquoteName(const QString& written);

} // namespace rv
