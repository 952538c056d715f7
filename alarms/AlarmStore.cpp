#include "alarms/AlarmStore.h"
#include "core/DateText.h"
#include "core/Loads.h"
#include "core/NumberText.h"
#include "core/Values.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include <QSet>
#include <algorithm>
#include <sqlite3.h>

namespace rv {

namespace {

const QString kCreate =
    QStringLiteral("CREATE TABLE IF NOT EXISTS AlarmLevels ("
                   " InstrumentID TEXT NOT NULL PRIMARY KEY,"
                   " AlertLoad DOUBLE CHECK (typeof(AlertLoad) IN ('null', 'real', 'integer')),"
                   " AlarmLoad DOUBLE CHECK (typeof(AlarmLoad) IN ('null', 'real', 'integer')),"
                   " RateLimit DOUBLE CHECK (typeof(RateLimit) IN ('null', 'real', 'integer')))");

QVariant bound(const std::optional<double>& v) {
    return v ? QVariant(*v) : QVariant();
}

std::optional<double> level(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return std::nullopt;
    return v.toDouble();
}

Status run(Connection& c, const QString& sql, const QVariantList& values) {
    Query q(c, sql);
    if (!q.prepared().ok()) return q.prepared();
    for (int i = 0; i < values.size(); ++i)
        q.bind(i + 1, values.at(i));
    return q.run();
}

// rv_holds_load(text): whether a channel's text holds a load.
void holdsLoadFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_int(context, 0);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const QString channel = QString::fromUtf8(text, sqlite3_value_bytes(argv[0]));
    sqlite3_result_int(context, holdsLoad(QStringView(channel)) ? 1 : 0);
}

} // namespace

HoldsLoadFunction::HoldsLoadFunction(Connection& c) : m_c(c) {
    if (c.handle())
        sqlite3_create_function_v2(c.handle(), "rv_holds_load", 1,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, holdsLoadFunction,
                                   nullptr, nullptr, nullptr);
}

HoldsLoadFunction::~HoldsLoadFunction() {
    if (m_c.handle())
        sqlite3_create_function_v2(m_c.handle(), "rv_holds_load", 1, SQLITE_UTF8, nullptr, nullptr,
                                   nullptr, nullptr, nullptr);
}

bool hasAlarmTable(Connection& c) {
    Query q(c, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    if (!q.prepared().ok()) return false;
    q.bind(1, kAlarmLevelsTable);
    return q.next();
}

Status ensureAlarmTable(Connection& c) {
    if (hasAlarmTable(c)) return {};
    // Inside the caller's transaction when there is one (the new tables of a database are
    // made together); in one of its own otherwise.
    const bool own = sqlite3_get_autocommit(c.handle()) != 0;
    if (own)
        if (Status s = c.begin(); !s.ok()) return s;
    if (Status s = c.execute(kCreate); !s.ok()) {
        if (own) c.rollback();
        return s;
    }
    return own ? c.commit() : Status();
}

Result<AlarmLevels> loadAlarmLevels(Connection& c, const QString& instrumentId) {
    Query q(c, QStringLiteral("SELECT AlertLoad, AlarmLoad, RateLimit FROM AlarmLevels "
                              "WHERE InstrumentID = ?"));
    if (!q.prepared().ok()) return q.prepared();
    q.bind(1, instrumentId);
    AlarmLevels levels;
    if (q.next()) {
        levels.alert = level(q.value(0));
        levels.alarm = level(q.value(1));
        levels.ratePerDay = level(q.value(2));
    }
    if (!q.status().ok()) return q.status();
    return levels;
}

Status saveAlarmLevels(Connection& c, const QString& instrumentId, const AlarmLevels& levels) {
    if (levels.empty()) return deleteAlarmLevels(c, instrumentId);
    return run(c,
               QStringLiteral("INSERT INTO AlarmLevels (InstrumentID, AlertLoad, AlarmLoad, "
                              "RateLimit) VALUES (?, ?, ?, ?) ON CONFLICT (InstrumentID) DO "
                              "UPDATE SET AlertLoad = excluded.AlertLoad, AlarmLoad = "
                              "excluded.AlarmLoad, RateLimit = excluded.RateLimit"),
               {instrumentId, bound(levels.alert), bound(levels.alarm), bound(levels.ratePerDay)});
}

Status deleteAlarmLevels(Connection& c, const QString& instrumentId) {
    return run(c, QStringLiteral("DELETE FROM AlarmLevels WHERE InstrumentID = ?"), {instrumentId});
}

Result<std::vector<SensorBeyond>> sensorsBeyondLevels(Connection& c) {
    std::vector<SensorBeyond> beyond;
    if (!hasAlarmTable(c)) return beyond;
    // The readings tables there are, read once: asking the schema table about each sensor
    // in turn scans it once per sensor (a thousand sensors: a million rows looked at).
    QSet<QString> tables;
    {
        Query names(c, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"));
        if (!names.prepared().ok()) return names.prepared();
        while (names.next())
            tables.insert(names.value(0).toString());
        if (!names.status().ok()) return names.status();
    }
    const HoldsLoadFunction holdsLoadInSql(c);
    Query sensors(
        c, QStringLiteral("SELECT a.InstrumentID, a.AlertLoad, a.AlarmLoad, s.Recess "
                          "FROM AlarmLevels a JOIN Sensors s ON s.InstrumentID = a.InstrumentID "
                          "WHERE a.AlertLoad IS NOT NULL OR a.AlarmLoad IS NOT NULL"));
    if (!sensors.prepared().ok()) return sensors.prepared();
    while (sensors.next()) {
        const QString id = sensors.value(0).toString();
        if (!tables.contains(id)) continue;
        AlarmLevels levels{level(sensors.value(1)), level(sensors.value(2)), std::nullopt};
        const double offset = sensors.value(3).toDouble();
        if (id.contains(QLatin1Char('`'))) continue; // never a name that ends the quoting
        Query latest(c, QStringLiteral("SELECT Channel1, FullDate FROM ") + sql::quoted(id) +
                            QStringLiteral(" WHERE DoNotPlot = 0 AND rv_holds_load(Channel1) "
                                           "ORDER BY FullDate DESC, rowid DESC LIMIT 1"));
        if (!latest.prepared().ok()) return latest.prepared();
        if (!latest.next()) {
            if (!latest.status().ok()) return latest.status();
            continue;
        }
        const QString channel1 = displayText(latest.value(0));
        // The stored offset is narrowed as the offset box's text is for the plots.
        const double load = loadAfterOffset(QStringView(channel1), double(float(offset)));
        const LevelCheck check = checkLoad({load, {}}, std::nullopt, levels);
        if (check.reached == LevelReached::None) continue;
        const auto at = readDateTime(latest.value(1).toString());
        beyond.push_back({id, load, check.reached,
                          check.reached == LevelReached::Alarm ? *levels.alarm : *levels.alert,
                          at.value_or(QDateTime())});
    }
    if (!sensors.status().ok()) return sensors.status();
    std::sort(beyond.begin(), beyond.end(), [](const SensorBeyond& a, const SensorBeyond& b) {
        if (a.reached != b.reached) return a.reached == LevelReached::Alarm;
        return a.instrumentId < b.instrumentId;
    });
    return beyond;
}

} // namespace rv
