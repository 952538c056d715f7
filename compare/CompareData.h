#pragma once
// What the comparison plot shows: the sensors there are to choose from (with their Level
// and Location), the choices by Level or Location, and the curves of the chosen sensors,
// each read with one query and computed as "4. Load v Time" computes its loads.
#include "alarms/AlarmLevels.h"
#include "platform/Status.h"
#include <QString>
#include <QStringList>
#include <QVector>
#include <vector>

namespace rv {

struct Session;
class Connection;
class Progress;

// A sensor of the Sensors table as the comparison offers it.
struct ComparedSensor {
    QString instrumentId;
    QString level;      // trimmed
    QString location;   // trimmed
    QString offsetText; // the installation offset as the offset box shows it
    bool destroyed = false;
};

// Every sensor of the database (whatever filter the sensor list has), by identifier.
Result<std::vector<ComparedSensor>> comparedSensors(Connection& c);

// The different non-empty Levels (or Locations) of the sensors, in natural order
// ("Level 2" before "Level 12"); two spellings that differ in letter case only are one.
QStringList levelsOf(const std::vector<ComparedSensor>& sensors);
QStringList locationsOf(const std::vector<ComparedSensor>& sensors);
// The identifiers of the sensors on that Level (or at that Location), compared as the
// sensor filter compares them: blanks at either end and letter case aside.
QStringList sensorsOnLevel(const std::vector<ComparedSensor>& sensors, const QString& level);
QStringList sensorsAtLocation(const std::vector<ComparedSensor>& sensors, const QString& location);

// One chosen sensor's curve.
struct SensorCurve {
    QString instrumentId;
    QVector<double> times, loads; // time-axis seconds, tons after the offset
    AlarmLevels levels;           // empty when it has none (or the table is missing)
};

// A chosen sensor that could not be drawn, and why.
struct LeftOut {
    QString instrumentId;
    QString reason; // "no readings table", "no plottable readings", ...
    bool operator==(const LeftOut&) const = default;
};

struct Comparison {
    std::vector<SensorCurve> curves; // in the order chosen
    std::vector<LeftOut> leftOut;
    bool levelsAvailable = true; // false: the database has no table of levels
    bool cancelled = false;      // the user stopped the reading
    int read = 0;                // sensors read before a cancel
};

// Reads the chosen sensors' loads: one query per sensor on its readings table, the
// offset and the levels of each. A sensor whose readings table is missing or cannot be
// read is left out (an unreadable one is also logged under " G_CompareSensors"); nothing
// is created, stored or announced. Progress counts the sensors; a cancel keeps the
// curves read so far.
Comparison readComparison(Session& s, const std::vector<ComparedSensor>& chosen,
                          Progress& progress);

// The note the window shows under the list for what was left out (empty: nothing).
QString comparisonNote(const Comparison& comparison, int chosen);

} // namespace rv
