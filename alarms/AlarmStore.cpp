#include "alarms/AlarmStore.h"
#include "core/DateText.h"
#include "core/Loads.h"
#include "core/NumberText.h"
#include "store/ReadingsTable.h"
#include <algorithm>

namespace rv {

Result<AlarmLevels> loadAlarmLevels(Connection& c, const QString& instrumentId) {
    const auto stored = readStoredLevels(c, instrumentId);
    if (!stored.ok()) return stored.error();
    return AlarmLevels{stored.value().alert, stored.value().alarm, stored.value().ratePerDay};
}

Status saveAlarmLevels(Connection& c, const QString& instrumentId, const AlarmLevels& levels) {
    if (levels.empty()) return deleteAlarmLevels(c, instrumentId);
    return writeStoredLevels(c, instrumentId,
                             StoredLevels{levels.alert, levels.alarm, levels.ratePerDay});
}

Result<std::vector<SensorBeyond>> sensorsBeyondLevels(Connection& c) {
    std::vector<SensorBeyond> beyond;
    const auto sensors = sensorsWithLevels(c);
    if (!sensors.ok()) return sensors.error();
    QStringList ids;
    for (const LevelledSensor& sensor : sensors.value())
        ids << sensor.instrumentId;
    const auto latest = latestPlottedReadings(c, ids);
    if (!latest.ok()) return latest.error();
    for (std::size_t i = 0; i < sensors.value().size(); ++i) {
        const LevelledSensor& sensor = sensors.value()[i];
        const std::optional<LatestReading>& reading = latest.value()[i];
        if (!reading) continue;
        const AlarmLevels levels{sensor.alert, sensor.alarm, std::nullopt};
        // The offset as the offset box shows the stored one (two decimals), which the plots
        // and the readings' notices read their loads against.
        const double load = loadAfterOffset(QStringView(reading->channel1),
                                            installationOffset(formatNumber(sensor.offset, 2)));
        const LevelCheck check = checkLoad({load, {}}, std::nullopt, levels);
        if (check.reached == LevelReached::None) continue;
        const auto at = readDateTime(reading->fullDate);
        beyond.push_back({sensor.instrumentId, load, check.reached,
                          check.reached == LevelReached::Alarm ? *levels.alarm : *levels.alert,
                          at.value_or(QDateTime())});
    }
    std::sort(beyond.begin(), beyond.end(), [](const SensorBeyond& a, const SensorBeyond& b) {
        if (a.reached != b.reached) return a.reached == LevelReached::Alarm;
        return a.instrumentId < b.instrumentId;
    });
    return beyond;
}

} // namespace rv
