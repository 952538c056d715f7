#include "store/AlarmLevelsTable.h"
#include "store/ChangeHistory.h"

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

} // namespace

bool hasAlarmTable(Connection& c) {
    const auto names = c.tables();
    return names.ok() && names.value().contains(kAlarmLevelsTable, Qt::CaseInsensitive);
}

Status ensureAlarmTable(Connection& c) {
    if (hasAlarmTable(c)) return {};
    // Inside the caller's transaction when there is one (the new tables of a database are
    // made together); in one of its own otherwise.
    const bool own = !c.inTransaction();
    if (own)
        if (Status s = c.begin(); !s.ok()) return s;
    if (Status s = c.execute(kCreate); !s.ok()) {
        if (own) c.rollback();
        return s;
    }
    return own ? c.commit() : Status();
}

Result<StoredLevels> readStoredLevels(Connection& c, const QString& instrumentId) {
    Query q(c, QStringLiteral("SELECT AlertLoad, AlarmLoad, RateLimit FROM AlarmLevels "
                              "WHERE InstrumentID = ?"));
    if (!q.prepared().ok()) return q.prepared();
    q.bind(1, instrumentId);
    StoredLevels levels;
    if (q.next()) {
        levels.alert = level(q.value(0));
        levels.alarm = level(q.value(1));
        levels.ratePerDay = level(q.value(2));
    }
    if (!q.status().ok()) return q.status();
    return levels;
}

Status writeStoredLevels(Connection& c, const QString& instrumentId, const StoredLevels& levels,
                         const QString& how) {
    // The levels before are read in the same transaction as the write, for the history.
    const bool own = !c.inTransaction();
    if (own)
        if (Status s = c.begin(); !s.ok()) return s;
    const auto failed = [&](const Status& s) {
        if (own) c.rollback();
        return s;
    };
    const Result<StoredLevels> was = readStoredLevels(c, instrumentId);
    if (!was.ok()) return failed(was.error());
    if (Status s =
            run(c,
                QStringLiteral("INSERT INTO AlarmLevels (InstrumentID, AlertLoad, AlarmLoad, "
                               "RateLimit) VALUES (?, ?, ?, ?) ON CONFLICT (InstrumentID) "
                               "DO UPDATE SET AlertLoad = excluded.AlertLoad, AlarmLoad = "
                               "excluded.AlarmLoad, RateLimit = excluded.RateLimit"),
                {instrumentId, bound(levels.alert), bound(levels.alarm), bound(levels.ratePerDay)});
        !s.ok())
        return failed(s);
    const auto asMap = [](const StoredLevels& l) {
        return QVariantMap{{QStringLiteral("AlertLoad"), bound(l.alert)},
                           {QStringLiteral("AlarmLoad"), bound(l.alarm)},
                           {QStringLiteral("RateLimit"), bound(l.ratePerDay)}};
    };
    if (Status s = recordSensorChange(c, instrumentId, how, asMap(was.value()), asMap(levels));
        !s.ok())
        return failed(s);
    return own ? c.commit() : Status();
}

Status deleteAlarmLevels(Connection& c, const QString& instrumentId) {
    return run(c, QStringLiteral("DELETE FROM AlarmLevels WHERE InstrumentID = ?"), {instrumentId});
}

Result<std::vector<LevelledSensor>> sensorsWithLevels(Connection& c) {
    std::vector<LevelledSensor> sensors;
    if (!hasAlarmTable(c)) return sensors;
    Query q(c,
            QStringLiteral("SELECT a.InstrumentID, a.AlertLoad, a.AlarmLoad, s.Recess "
                           "FROM AlarmLevels a JOIN Sensors s ON s.InstrumentID = a.InstrumentID "
                           "WHERE a.AlertLoad IS NOT NULL OR a.AlarmLoad IS NOT NULL"));
    if (!q.prepared().ok()) return q.prepared();
    while (q.next())
        sensors.push_back(LevelledSensor{q.value(0).toString(), level(q.value(1)),
                                         level(q.value(2)), q.value(3).toDouble()});
    if (!q.status().ok()) return q.status();
    return sensors;
}

} // namespace rv
