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

// The fixed statements the system issues against the database, named for what they
// read or change; their texts are the system's own, translated when they are run.
namespace sql {
// The sensor types, by type number.
inline const QString ConfigurationByType =
    QStringLiteral("SELECT * FROM Configuration ORDER BY SensorType");
// Every sensor record, by sensor number.
inline const QString SensorsByNumber =
    QStringLiteral("SELECT Sensors.* FROM Sensors ORDER BY InstrumentID;");
// The one row of preferences.
inline const QString PrefsRow = QStringLiteral("SELECT Prefs.* FROM Prefs;");
// The datalogger network entries, by sensor.
inline const QString NetworkBySensor =
    QStringLiteral("SELECT * FROM NetworkConfig ORDER BY SensorID;");
// The quoted name of a readings table: the identifier between two backquotes.
inline QString quoted(const QString& id) {
    return QStringLiteral("`") + id + QStringLiteral("`");
}
// Removes a sensor's readings table.
inline QString dropReadingsTable(const QString& id) {
    return QStringLiteral("DROP TABLE ") + quoted(id);
}
// Makes an empty readings table for a sensor, shaped like the sensordata template.
inline QString newReadingsTable(const QString& id) {
    return QStringLiteral("SELECT * INTO ") + quoted(id) +
           QStringLiteral(" FROM sensordata WHERE DateTimeKey is null");
}
// A sensor's readings, oldest first.
inline QString readingsByDate(const QString& id) {
    return QStringLiteral("SELECT * FROM ") + quoted(id) + QStringLiteral(" ORDER BY FullDate");
}
// A sensor's readings not marked "do not plot", oldest first: the columns a plot draws
// from (a server sends each column of every row; the plot needs six).
inline QString plottableReadingsByDate(const QString& id) {
    return QStringLiteral(
               "SELECT ReadingDate, FullDate, Channel1, ChannelT, zero1, NumTemp FROM ") +
           quoted(id) + QStringLiteral(" WHERE DoNotPlot = False ORDER BY FullDate");
}
// Deletes every reading of a sensor.
inline QString deleteAllReadings(const QString& id) {
    return QStringLiteral("DELETE * FROM ") + quoted(id);
}
} // namespace sql

} // namespace rv
