#pragma once
// The alarm levels as the rest of the program keeps them: a sensor's levels loaded and
// saved as AlarmLevels, and the level check over every sensor. The table itself, one row
// per sensor, is store/AlarmLevelsTable.h: hasAlarmTable(), ensureAlarmTable() and
// deleteAlarmLevels() are its own operations, reached through this header.
#include "alarms/AlarmLevels.h"
#include "platform/Status.h"
#include "store/AlarmLevelsTable.h"
#include <QString>
#include <vector>

namespace rv {

// The levels of one sensor; no levels (empty) when it has no row.
Result<AlarmLevels> loadAlarmLevels(Connection& c, const QString& instrumentId);
// Stores the levels of one sensor; empty levels remove its row.
Status saveAlarmLevels(Connection& c, const QString& instrumentId, const AlarmLevels& levels);

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
