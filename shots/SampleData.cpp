#include "shots/SampleData.h"
#include "alarms/AlarmStore.h"
#include "core/DateText.h"
#include "core/NumberText.h"
#include "core/Values.h"
#include "fakes/Fakes.h"
#include "history/ImportHistory.h"
#include "readings/ReadingRules.h"
#include "store/ChangeHistory.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include "store/Provisioning.h"
#include "store/ReadingsTable.h"
#include "store/Recordset.h"
#include <QCryptographicHash>
#include <QScopeGuard>
#include <QtMath>
#include <functional>
#include <map>
#include <utility>

namespace rv::shots {

namespace {

struct SampleSensor {
    const char* id;
    const char* level;
    const char* location;
    const char* borehole;
    const char* installDate;
    const char* installBy;
    const char* purpose;
    double offset;
    bool destroyed;
};

const SampleSensor kSensors[] = {
    {"200625001", "Level 12", "Crusher chamber, east wall", "CB-17", "2026-01-05", "J. Marsh",
     "Load on the cable bolts of the crusher chamber", 0.25, false},
    {"200625002", "Level 12", "Crusher chamber, west wall", "CB-21", "2026-01-05", "J. Marsh",
     "Load on the cable bolts of the crusher chamber", 0.18, false},
    {"200625003", "Level 14", "North drive, X-cut 4", "RB-3", "2026-01-19", "P. Okafor",
     "Rock bolt load at the intersection", 0.05, false},
    {"200625004", "Level 14", "North drive, X-cut 6", "RB-9", "2026-02-02", "P. Okafor",
     "Rock bolt load at the intersection", 0.12, true},
};

// The sample sensor's load and a sensor's temperature, `days` and `step` counting from the
// sensor's first reading (`step` in six-hour readings, fractional between them).
const QDateTime kFirstReading = wallClock(QDate(2026, 1, 5), QTime(6, 0));
double sampleLoad(double days, double step) {
    return 0.3 + 11.2 * (1.0 - qExp(-days / 24.0)) + 0.15 * qSin(step * 1.7) +
           (days > 40 ? 0.02 * (days - 40) : 0.0);
}
// The west wall takes load more slowly; the rock bolt in the north drive settles early.
const QDateTime kFirstOf002 = wallClock(QDate(2026, 1, 5), QTime(12, 0));
double loadOf002(double days, double step) {
    return 0.2 + 7.4 * (1.0 - qExp(-days / 35.0)) + 0.12 * qSin(step * 1.3);
}
const QDateTime kFirstOf003 = wallClock(QDate(2026, 1, 19), QTime(6, 0));
double loadOf003(double days, double step) {
    return 0.1 + 4.1 * (1.0 - qExp(-days / 9.0)) + 0.1 * qSin(step * 2.1);
}
double sampleTemperature(const QDateTime& at, double step) {
    return 21.0 + 2.5 * qSin(2 * M_PI * (at.time().hour() - 9) / 24.0) + 0.3 * qCos(step * 0.9);
}

// The sample sensor's history of changes. The readings of its logger's bench test before
// the installation were stored too, and deleted as a range of days the day after it. The
// logger read one spike, which an engineer corrected on the Readings tab, and one reading
// was taken half an hour before the logger said: it was re-keyed to the time the shift log
// gives.
const QDateTime kBenchTest = wallClock(QDate(2026, 1, 3), QTime(18, 0));
const QDateTime kBenchTestEnd = wallClock(QDate(2026, 1, 4), QTime(12, 0));
const QDateTime kBenchTestDeleted = wallClock(QDate(2026, 1, 6), QTime(7, 45));
const QDateTime kSpike = wallClock(QDate(2026, 3, 9), QTime(12, 0));
const double kSpikeLoad = 17.85;
const QDateTime kSpikeCorrected = wallClock(QDate(2026, 3, 10), QTime(8, 40));
const QDateTime kMisdated = wallClock(QDate(2026, 3, 11), QTime(18, 0));
const QDateTime kRedated = wallClock(QDate(2026, 3, 11), QTime(17, 30));
const QDateTime kRekeyed = wallClock(QDate(2026, 3, 12), QTime(14, 5));

// Adds the sample sensor's record, as the sensor registry adds one, with its installation
// filled in.
Status addSensor(Recordset& sensors, const SampleSensor& sensor) {
    const QString id = QString::fromLatin1(sensor.id);
    if (Status s = sensors.addNew(); !s.ok()) return s;
    const std::pair<const char*, QVariant> values[] = {
        {"InstrumentID", id},
        {"DateID", id.left(4)},
        {"SensorType", id.mid(4, 2)},
        {"TypeID", id.mid(4, 2)},
        {"SensorNo", id.mid(6, 3)},
        {"Family", QStringLiteral("Load Cell")},
        {"Model", QStringLiteral("LODIX")},
        {"Level", QString::fromUtf8(sensor.level)},
        {"Location", QString::fromUtf8(sensor.location)},
        {"Borehole", QString::fromUtf8(sensor.borehole)},
        {"InstallDate", QString::fromLatin1(sensor.installDate)},
        {"InstallBy", QString::fromUtf8(sensor.installBy)},
        {"Purpose", QString::fromUtf8(sensor.purpose)},
        {"Notes", sensor.destroyed ? QVariant(QStringLiteral("Blasting damage, replaced by RB-10"))
                                   : QVariant()},
        {"Recess", sensor.offset},
        {"Destroyed", sensor.destroyed ? QStringLiteral("Yes") : QStringLiteral("No")},
        {"DestructionDate", sensor.destroyed ? QVariant(QStringLiteral("2026-03-02")) : QVariant()},
        {"HeadLocation", true},
    };
    for (const auto& [column, value] : values)
        if (Status s = sensors.setValue(QString::fromLatin1(column), value); !s.ok()) return s;
    return sensors.update();
}

// Readings of one sensor every six hours from first up to until: the load from the
// days since the first reading (and the reading's number), the temperature following
// the day. `added` learns of each reading as it is stored.
Status addReadings(Connection& c, const QString& id, const QDateTime& first, const QDateTime& until,
                   const std::function<double(double, int)>& loadAt,
                   const std::function<void(const AppendedRow&)>& added = {}) {
    Recordset rs;
    if (Status s = rs.open(c, sql::readingsByDate(id)); !s.ok()) return s;
    if (Status s = c.begin(); !s.ok()) return s;
    int n = 0;
    for (QDateTime at = first; at <= until; at = at.addSecs(6 * 3600), ++n) {
        const double days = first.secsTo(at) / 86400.0;
        const double load = loadAt(days, n);
        const double temp = sampleTemperature(at, n);
        const QString key = readingKey(id, at);
        if (added) added({key, formatNumber(temp, 1), formatNumber(load, 2)});
        bool ok = rs.addNew().ok() && rs.setValue(QStringLiteral("DateTimeKey"), key).ok() &&
                  rs.setValue(QStringLiteral("FullDate"), at).ok() &&
                  rs.setValue(QStringLiteral("ReadingDate"), wallClock(at.date())).ok() &&
                  rs.setValue(QStringLiteral("ReadingTime"), readingTimeText(at.time())).ok() &&
                  rs.setValue(QStringLiteral("ChannelT"), formatNumber(temp, 1)).ok() &&
                  rs.setValue(QStringLiteral("Channel1"), formatNumber(load, 2)).ok() &&
                  rs.setValue(QStringLiteral("DoNotPlot"), false).ok() && rs.update().ok();
        if (!ok) {
            c.rollback();
            return Status::fail(err::InvalidArgument,
                                QStringLiteral("Could not add the sample reading ") + key);
        }
    }
    return c.commit();
}

// Writes the current reading of rs with these values, as the Readings tab writes one.
Status writeReading(Recordset& rs, const QString& key,
                    const std::vector<std::pair<QString, QVariant>>& values) {
    if (Status s = rs.moveFirst(); !s.ok()) return s;
    if (Status s = rs.find(QStringLiteral("DateTimeKey = '") + key + u'\''); !s.ok()) return s;
    if (rs.eof()) return Status::fail(err::RowNotFound, QStringLiteral("No sample reading ") + key);
    for (const auto& [column, value] : values)
        if (Status s = rs.setValue(column, value); !s.ok()) return s;
    return rs.update();
}

// The sample sensor's history of changes (see kBenchTest), made by the store's own writes,
// each at its moment.
Status addSampleChanges(Connection& c) {
    if (Status s = ensureChangeTables(c); !s.ok()) return s;
    fakes::FixedClock clock;
    c.setClock(&clock);
    const auto ownClock = qScopeGuard([&] { c.setClock(nullptr); });
    // The bench test: a reading every six hours at no load, deleted as a range of days.
    if (Status s = addReadings(c, kSampleSensor, kBenchTest, kBenchTestEnd,
                               [](double, int n) { return 0.02 * (n % 2); });
        !s.ok())
        return s;
    clock.set(kBenchTestDeleted);
    const auto deleted =
        deleteReadingsOnDays(c, kSampleSensor, kBenchTest.date(), kBenchTestEnd.date(),
                             [](const QVariant& readingDate, const QVariant& fullDate,
                                const QVariant& key) -> std::optional<QDate> {
                                 if (const auto d = storedDate(readingDate)) return d;
                                 if (const auto d = storedDate(fullDate)) return d;
                                 return keyDate(displayText(key));
                             });
    if (!deleted.ok()) return deleted.error();

    Recordset rs;
    rs.setChangeHow(how::ReadingsTab);
    if (Status s = rs.open(c, sql::readingsByDate(kSampleSensor)); !s.ok()) return s;
    clock.set(kSpikeCorrected);
    const int spike = int(kFirstReading.secsTo(kSpike) / (6 * 3600));
    if (Status s = writeReading(
            rs, readingKey(kSampleSensor, kSpike),
            {{QStringLiteral("Channel1"), formatNumber(sampleLoad(spike / 4.0, spike), 2)}});
        !s.ok())
        return s;
    clock.set(kRekeyed);
    return writeReading(rs, readingKey(kSampleSensor, kMisdated),
                        {{QStringLiteral("DateTimeKey"), readingKey(kSampleSensor, kRedated)},
                         {QStringLiteral("FullDate"), kRedated},
                         {QStringLiteral("ReadingDate"), wallClock(kRedated.date())},
                         {QStringLiteral("ReadingTime"), readingTimeText(kRedated.time())}});
}

} // namespace

Status buildSampleDatabase(const QString& databasePath, const QDateTime& until) {
    if (Status s = createShippedDatabase(databasePath); !s.ok()) return s;
    Connection c;
    if (Status s = c.open(databasePath); !s.ok()) return s;
    Recordset sensors;
    if (Status s = sensors.open(c, sql::SensorsByNumber); !s.ok()) return s;
    for (const SampleSensor& sensor : kSensors) {
        if (Status s = addSensor(sensors, sensor); !s.ok()) return s;
        if (Status s = createReadingsTable(c, QString::fromLatin1(sensor.id)); !s.ok()) return s;
    }
    sensors.close();

    // The sample sensor is watched: an alert load it has reached, an alarm load above.
    if (Status s = ensureAlarmTable(c); !s.ok()) return s;
    if (Status s = ensureHistoryTables(c); !s.ok()) return s;
    if (Status s = saveAlarmLevels(c, kSampleSensor, AlarmLevels{10.0, 14.0, 1.5}); !s.ok())
        return s;

    // The sample sensor's readings: every six hours from its installation, the load
    // rising as the ground closes in and settling, the temperature following the day.
    // The readings came in one datalogger file a month: each is an import of the history.
    std::map<int, std::vector<AppendedRow>> months;
    if (Status s = addReadings(
            c, kSampleSensor, kFirstReading, until,
            [](double days, int n) {
                return kFirstReading.addSecs(qint64(n) * 6 * 3600) == kSpike ? kSpikeLoad
                                                                             : sampleLoad(days, n);
            },
            [&](const AppendedRow& row) {
                months[keyDate(row.key).value_or(QDate()).month()].push_back(row);
            });
        !s.ok())
        return s;
    if (Status s = c.begin(); !s.ok()) return s;
    for (const auto& [month, rows] : months) {
        const QString file =
            QStringLiteral("%1_2026-%2.txt").arg(kSampleSensor).arg(month, 2, 10, QLatin1Char('0'));
        // Fetched the morning after the last reading of the file.
        const QDateTime fetched = wallClock(
            keyDate(rows.back().key).value_or(QDate(2026, month, 1)).addDays(1), QTime(8, 15));
        const QString sha = QString::fromLatin1(
            QCryptographicHash::hash(file.toUtf8(), QCryptographicHash::Sha256).toHex());
        if (auto b = recordBatch(c, ImportBatch{0, kSampleSensor, file, sha, fetched, 0, {}}, rows);
            !b.ok()) {
            c.rollback();
            return b.error();
        }
    }
    if (Status s = c.commit(); !s.ok()) return s;
    if (Status s = addSampleChanges(c); !s.ok()) return s;
    // Its neighbours, for the comparison plot: the west wall takes load more slowly and is
    // watched too; the rock bolt in the north drive settles early.
    if (Status s =
            saveAlarmLevels(c, QStringLiteral("200625002"), AlarmLevels{9.0, 12.0, std::nullopt});
        !s.ok())
        return s;
    if (Status s = addReadings(c, QStringLiteral("200625002"), kFirstOf002, until,
                               [](double days, int n) { return loadOf002(days, n); });
        !s.ok())
        return s;
    return addReadings(c, QStringLiteral("200625003"), kFirstOf003, until,
                       [](double days, int n) { return loadOf003(days, n); });
}

QByteArray sampleDownload(const QDateTime& until, const QString& id) {
    const QDateTime first = id == QLatin1String("200625002")   ? kFirstOf002
                            : id == QLatin1String("200625003") ? kFirstOf003
                                                               : kFirstReading;
    QByteArray lines;
    // The last stored reading, and the two days of hourly readings the logger holds up to it.
    const QDateTime last = first.addSecs(first.secsTo(until) / 21600 * 21600);
    for (QDateTime at = last.addDays(-2); at <= last; at = at.addSecs(3600)) {
        const double step = first.secsTo(at) / 21600.0;
        double load = id == QLatin1String("200625002")   ? loadOf002(step / 4, step)
                      : id == QLatin1String("200625003") ? loadOf003(step / 4, step)
                                                         : sampleLoad(step / 4, step);
        // The rock bursts once on the east wall: the load jumps for an hour, then settles.
        if (id == kSampleSensor && at == last.addDays(-2).addSecs(9 * 3600)) load += 3.2;
        lines += readingKey(QString(), at).mid(1).toLatin1() + ",17,25," + id.right(3).toLatin1() +
                 ',' + formatNumber(sampleTemperature(at, step), 1).toLatin1() + ',' +
                 formatNumber(load, 2).toLatin1() + "\r\n";
    }
    return lines;
}

} // namespace rv::shots
