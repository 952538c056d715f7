#include "compare/CompareData.h"
#include "alarms/AlarmStore.h"
#include "core/Values.h"
#include "graphs/GraphData.h"
#include "platform/Progress.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include "store/Recordset.h"
#include "store/Session.h"
#include <QScopeGuard>
#include <QSet>
#include <algorithm>

namespace rv {

namespace {

const QString kCompareLabel = QStringLiteral(" G_CompareSensors");

// Compares two texts the way people read them: runs of digits by their number ("Level
// 2" before "Level 12"), the rest without regard to letter case.
bool naturalLess(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            // Leading zeros aside, a longer run of digits is a larger number.
            QStringView x = QStringView(a).mid(i, ei - i), y = QStringView(b).mid(j, ej - j);
            while (x.size() > 1 && x.front() == u'0')
                x = x.mid(1);
            while (y.size() > 1 && y.front() == u'0')
                y = y.mid(1);
            if (x.size() != y.size()) return x.size() < y.size();
            if (const int c = x.compare(y); c != 0) return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        const QChar x = a[i].toCaseFolded(), y = b[j].toCaseFolded();
        if (x != y) return x < y;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;
}

// Each value once, letter case aside (the spelling met first is kept), in natural order.
QStringList naturalOrder(const QStringList& values) {
    QStringList once;
    QSet<QString> seen;
    for (const QString& v : values)
        if (!seen.contains(v.toCaseFolded())) {
            seen.insert(v.toCaseFolded());
            once << v;
        }
    std::stable_sort(once.begin(), once.end(), naturalLess);
    return once;
}

// A sensor's Level or Location is the one chosen as the sensor filter matches them:
// blanks at either end and letter case aside.
bool sameWhere(const QString& stored, const QString& chosen) {
    return !chosen.trimmed().isEmpty() &&
           stored.compare(chosen.trimmed(), Qt::CaseInsensitive) == 0;
}

} // namespace

Result<std::vector<ComparedSensor>> comparedSensors(Connection& c) {
    // The sensor list's own statement: every sensor, by identifier.
    Recordset rs;
    if (Status opened = rs.open(c, sql::SensorsByNumber); !opened.ok()) return opened.error();
    std::vector<ComparedSensor> sensors;
    auto field = [&](const char* column) { return rs.value(QLatin1String(column)); };
    for (qint64 row = 1; row <= rs.recordCount(); ++row) {
        if (Status at = rs.setAbsolutePosition(row); !at.ok()) return at.error();
        ComparedSensor sensor;
        const auto id = field("InstrumentID"), level = field("Level"), location = field("Location"),
                   offset = field("Recess"), destroyed = field("Destroyed");
        for (const auto* read : {&id, &level, &location, &offset, &destroyed})
            if (!read->ok()) return read->error();
        sensor.instrumentId = displayText(id.value()).trimmed();
        if (sensor.instrumentId.isEmpty()) continue;
        sensor.level = displayText(level.value()).trimmed();
        sensor.location = displayText(location.value()).trimmed();
        // As the Installation tab fills its offset box from the stored offset.
        sensor.offsetText = formatNumberValue(offset.value(), 2);
        sensor.destroyed = displayText(destroyed.value())
                               .trimmed()
                               .compare(QStringLiteral("Yes"), Qt::CaseInsensitive) == 0;
        sensors.push_back(sensor);
    }
    return sensors;
}

QStringList levelsOf(const std::vector<ComparedSensor>& sensors) {
    QStringList values;
    for (const ComparedSensor& s : sensors)
        if (!s.level.isEmpty()) values << s.level;
    return naturalOrder(values);
}

QStringList locationsOf(const std::vector<ComparedSensor>& sensors) {
    QStringList values;
    for (const ComparedSensor& s : sensors)
        if (!s.location.isEmpty()) values << s.location;
    return naturalOrder(values);
}

QStringList sensorsOnLevel(const std::vector<ComparedSensor>& sensors, const QString& level) {
    QStringList ids;
    for (const ComparedSensor& s : sensors)
        if (sameWhere(s.level, level)) ids << s.instrumentId;
    return ids;
}

QStringList sensorsAtLocation(const std::vector<ComparedSensor>& sensors, const QString& location) {
    QStringList ids;
    for (const ComparedSensor& s : sensors)
        if (sameWhere(s.location, location)) ids << s.instrumentId;
    return ids;
}

Comparison readComparison(Session& s, const std::vector<ComparedSensor>& chosen,
                          Progress& progress) {
    Comparison result;
    Connection& c = s.gConnection;
    result.levelsAvailable = c.isOpen() && hasAlarmTable(c);
    progress.begin(QStringLiteral("Reading the loads of %1 sensors").arg(chosen.size()),
                   qint64(chosen.size()));
    const auto ended = qScopeGuard([&] { progress.end(); });
    for (const ComparedSensor& sensor : chosen) {
        if (!progress.step(result.read)) {
            result.cancelled = true;
            break;
        }
        ++result.read;
        const QString& id = sensor.instrumentId;
        if (!c.isOpen() || !TableExists(s, s.gDatabasePath, id)) {
            result.leftOut.push_back({id, QStringLiteral("no readings table")});
            continue;
        }
        auto loads = readSensorLoads(c, id, sensor.offsetText);
        if (!loads) {
            s.logFailure(loads.error(), kCompareLabel);
            result.leftOut.push_back({id, QStringLiteral("its readings could not be read")});
            continue;
        }
        if (loads.value().times.isEmpty()) {
            result.leftOut.push_back({id, QStringLiteral("no plottable readings")});
            continue;
        }
        SensorCurve curve;
        curve.instrumentId = id;
        curve.times = std::move(loads.value().times);
        curve.loads = std::move(loads.value().loads);
        if (result.levelsAvailable) {
            if (const auto levels = loadAlarmLevels(c, id))
                curve.levels = levels.value();
            else
                s.logFailure(levels.error(), kCompareLabel);
        }
        result.curves.push_back(std::move(curve));
    }
    progress.step(result.read);
    return result;
}

QString comparisonNote(const Comparison& comparison, int chosen) {
    QStringList lines;
    if (comparison.cancelled)
        lines << QStringLiteral("Stopped after %1 of %2 sensors: only those are drawn.")
                     .arg(comparison.read)
                     .arg(chosen);
    if (!comparison.leftOut.empty()) {
        QStringList items;
        for (const LeftOut& l : comparison.leftOut)
            items << l.instrumentId + QStringLiteral(" (") + l.reason + QStringLiteral(")");
        lines << QStringLiteral("Left out: ") + items.join(QStringLiteral(", ")) +
                     QStringLiteral(".");
    }
    if (!comparison.levelsAvailable)
        lines << QStringLiteral("Alarm levels are not available: the database is read-only.");
    return lines.join(QLatin1Char('\n'));
}

} // namespace rv
