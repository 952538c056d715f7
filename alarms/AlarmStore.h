#pragma once
// Where the alarm levels are kept: the table AlarmLevels, one row per sensor, which
// databases made before alarm levels existed gain when the program opens them
// (store/AlarmLevelsTable.h); and the level check over every sensor.
#include "alarms/AlarmLevels.h"
#include "platform/Status.h"
#include "store/AlarmLevelsTable.h"
#include <QString>
#include <vector>

namespace rv {

// Creates the AlarmLevels table when it is missing, inside the caller's transaction when
// one is open, else in one of its own. Fails on a database that cannot be written and
// lacks the table.
Status ensureAlarmTable(Connection& c);
// Whether the database holds the AlarmLevels table.
bool hasAlarmTable(Connection& c);

// The levels of one sensor; no levels (empty) when it has no row.
Result<AlarmLevels> loadAlarmLevels(Connection& c, const QString& instrumentId);
// Stores the levels of one sensor; empty levels remove its row.
Status saveAlarmLevels(Connection& c, const QString& instrumentId, const AlarmLevels& levels);
Status deleteAlarmLevels(Connection& c, const QString& instrumentId);

// A sensor whose latest plotted reading is at or above one of its levels.
struct SensorBeyond {
    QString instrumentId;
    double load = 0;
    LevelReached reached = LevelReached::None;
    double level = 0; // the level reached
    QDateTime at;     // the reading's date and time
};
// Every sensor with levels whose latest plotted reading (by FullDate, not marked "Do not
// plot", its channel 1 holding a load) is at or above its alarm or alert load, alarms first, then
// by identifier. The load is computed from the stored channel 1 and the sensor's stored offset.
Result<std::vector<SensorBeyond>> sensorsBeyondLevels(Connection& c);

} // namespace rv
