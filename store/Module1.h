#pragma once
// The shared data-access procedures: the current sensor's readings, whether a readings
// table exists, creating a readings table, and whether a file or folder exists.
#include <QString>

namespace rv {

struct Session;

// Statement texts the system issues against the database.
namespace sql {
inline const QString S1 = QStringLiteral("SELECT * FROM Configuration ORDER BY SensorType");
inline const QString S2 = QStringLiteral("SELECT Sensors.* FROM Sensors ORDER BY InstrumentID;");
inline const QString S3 = QStringLiteral("SELECT Prefs.* FROM Prefs;");
inline const QString S4 = QStringLiteral("SELECT * FROM NetworkConfig ORDER BY SensorID;");
// The quoted name of a readings table: the identifier between two backquotes.
inline QString quoted(const QString& id) {
    return QStringLiteral("`") + id + QStringLiteral("`");
}
inline QString S5(const QString& id) {
    return QStringLiteral("DROP TABLE ") + quoted(id);
}
inline QString S7(const QString& id) {
    return QStringLiteral("SELECT * INTO ") + quoted(id) +
           QStringLiteral(" FROM sensordata WHERE DateTimeKey is null");
}
inline QString S8(const QString& id) {
    return QStringLiteral("SELECT * FROM ") + quoted(id) + QStringLiteral(" ORDER BY FullDate");
}
inline QString S9(const QString& id) {
    return QStringLiteral("SELECT * FROM ") + quoted(id) +
           QStringLiteral(" WHERE DoNotPlot = False ORDER BY FullDate");
}
inline QString S10(const QString& id) {
    return QStringLiteral("DELETE * FROM ") + quoted(id);
}
} // namespace sql

// Opens rsReadings on the current sensor's readings; a missing table is announced and
// created (and then opened, empty, so rsReadings always describes the current sensor).
void OpenSensorData(Session& s);

// True when the database at databasePath holds a user table of exactly that name
// (letter case counts; the engine's own MSys tables never count). The shared
// connection answers for its own file, a private connection for any other; a failure
// answers False with one log entry.
bool TableExists(Session& s, const QString& databasePath, const QString& tableName);

// Creates the current sensor's readings table, asking before it replaces one.
void AddDataTable(Session& s);

// Whether a file (a folder) exists at path; any failure answers False.
bool FileExists(const QString& path);
bool FolderExists(const QString& path);

// Opens rsPrefs and copies the first row's MaxY into gPrefMaxY as text.
void GetPrefs(Session& s);

} // namespace rv
