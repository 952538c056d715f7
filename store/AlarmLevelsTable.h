#pragma once
// The table AlarmLevels: one row per sensor with its alert load, alarm load and limit on
// the rise of the load (tons, tons, tons per day; each may be Null). Databases made
// before alarm levels existed gain it when the program opens them.
//
// These are the table's statements; what a level means, and whether a reading reaches
// one, is decided by the alarm rules (alarms/AlarmLevels.h).
#include "platform/Status.h"
#include "store/Connection.h"
#include <QString>
#include <optional>
#include <vector>

namespace rv {

inline const QString kAlarmLevelsTable = QStringLiteral("AlarmLevels");

// One sensor's row; all three Null (nullopt) when it has none.
struct StoredLevels {
    std::optional<double> alert;
    std::optional<double> alarm;
    std::optional<double> ratePerDay;
};

// Creates the AlarmLevels table when it is missing, inside the caller's transaction when
// one is open, else in one of its own. Fails on a database that cannot be written and
// lacks the table.
Status ensureAlarmTable(Connection& c);
// Whether the database holds the AlarmLevels table.
bool hasAlarmTable(Connection& c);

// The levels of one sensor.
Result<StoredLevels> readStoredLevels(Connection& c, const QString& instrumentId);
// Writes the row of one sensor (adding it or replacing its values); a change of a level is
// kept in the history of changes as a change of the sensor's record, named `how`.
Status writeStoredLevels(Connection& c, const QString& instrumentId, const StoredLevels& levels,
                         const QString& how = QStringLiteral("Sensor record"));
// Removes the row of one sensor, if any.
Status deleteAlarmLevels(Connection& c, const QString& instrumentId);

// A sensor with an alert or an alarm load.
struct LevelledSensor {
    QString instrumentId;
    std::optional<double> alert;
    std::optional<double> alarm;
    double offset = 0; // the stored installation offset (Sensors.Recess) as a number
};
// Every sensor of the Sensors table whose row in AlarmLevels has an alert or an alarm
// load, in the order the engine gives the rows. No AlarmLevels table: none.
Result<std::vector<LevelledSensor>> sensorsWithLevels(Connection& c);

} // namespace rv
