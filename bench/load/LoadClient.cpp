#include "bench/load/LoadClient.h"
#include "bench/load/LoadRecord.h"
#include "core/DateText.h"
#include "core/Values.h"
#include "history/ImportHistory.h"
#include "import/SlugAppend.h"
#include "import/StagedChecks.h"
#include "platform/Progress.h"
#include "readings/DatasheetModel.h"
#include "readings/ReadingRules.h"
#include "readings/ReadingsWork.h"
#include "store/Connection.h"
#include "store/ImportHistoryTable.h"
#include "store/Module1.h"
#include "store/ReadingsTable.h"
#include "store/Recordset.h"
#include "store/Statements.h"
#include <QRandomGenerator>
#include <QThread>
#include <functional>
#include <map>

namespace rv::load {

namespace {

const QString kKey = QStringLiteral("DateTimeKey");
const QString kLoad = QStringLiteral("Channel1");
constexpr int kHotReadings = 3;

Outcome outcomeOf(const Error& e) {
    switch (e.number) {
    case err::ChangedByAnother:
    case err::DeletedByAnother:
        return Outcome::Changed;
    case err::DatabaseBusy:
        return Outcome::Busy;
    case err::ConnectionLost:
    case err::ServerUnreachable:
        return Outcome::Lost;
    default:
        return Outcome::Failed;
    }
}

class Client {
public:
    explicit Client(const ClientPlan& plan)
        : m_plan(plan), m_record(plan.recordPath), m_random(quint32(plan.client * 7919 + 17)) {}

    int run();

private:
    // One action, timed and recorded: work fills in the event's outcome and detail.
    void act(const QString& op, const QString& sensor, const QStringList& detail,
             const std::function<void(Event&)>& work);
    void refuse(Event& e, const Error& error) {
        e.outcome = outcomeOf(error);
        e.refusal = error.description;
        m_lastOutcome = e.outcome;
    }
    // After a change: the readings saved are as new as the save; after a refusal the
    // engineer opens the sensor again before changing anything more.
    void settle(const QStringList& keys) {
        if (m_lastOutcome != Outcome::Ok)
            m_readings.close();
        else
            for (const QString& key : keys)
                m_savedAt[key] = nowUs();
    }
    int pick(int below) { return int(m_random.bounded(quint32(std::max(1, below)))); }
    QString anySensor() { return m_plan.sensors[pick(int(m_plan.sensors.size()))]; }
    int sensorIndex(const QString& sensor) const { return int(m_plan.sensors.indexOf(sensor)); }
    // A position in the readings held whose reading this client may change (a shared
    // reading or one of its own); none after a few tries.
    std::optional<qint64> changeablePosition();
    QString keyAt(qint64 position) {
        if (!m_readings.setAbsolutePosition(position).ok()) return {};
        const auto key = m_readings.value(kKey);
        return key.ok() ? displayText(key.value()) : QString();
    }

    void navigate();
    // Before an action on readings that may lie outside those read when the sensor was
    // shown: the rest of them read, as the tab reads them when the engineer goes further
    // back or changes a reading (timed as "rest").
    void readRest();
    void addOwn();
    void editOne();
    void writeBackSheet();
    void importFile();
    void undoImport();
    void deleteOwnDays();

    const ClientPlan& m_plan;
    RecordWriter m_record;
    QRandomGenerator m_random;
    Connection m_c;
    Recordset m_readings;      // the readings of m_sensor, as last read
    bool m_newestOnly = false; // only the newest of them read so far (Recordset::openNewest)
    QString m_sensor;
    qint64 m_step = 0;
    Outcome m_lastOutcome = Outcome::Ok;
    int m_ownCount = 0;                   // own readings typed so far
    std::map<QString, QString> m_batches; // own import files reported appended, by name: sensor
    // When the readings held were read (the end of the navigation), and, for a reading
    // this client saved since, the end of that save: what it holds is at least that new.
    qint64 m_readAt = 0;
    std::map<QString, qint64> m_savedAt;
    // After an import or an undo into the sensor shown, the tab reads its readings again.
    void reshow(Event& e, const QString& sensor) {
        if (sensor != m_sensor || !m_readings.isOpen()) return;
        if (Status s = m_readings.requery(); !s.ok()) return refuse(e, s.error());
        readAgain();
    }
    void readAgain() {
        m_newestOnly = false;
        m_readAt = nowUs();
        m_savedAt.clear();
    }
    QString readAt(const QString& key) const {
        const auto saved = m_savedAt.find(key);
        return QString::number(saved == m_savedAt.end() ? m_readAt : saved->second);
    }
};

void Client::act(const QString& op, const QString& sensor, const QStringList& detail,
                 const std::function<void(Event&)>& work) {
    Event e;
    e.client = m_plan.client;
    e.op = op;
    e.step = ++m_step;
    e.sensor = sensor;
    e.detail = detail;
    e.start = nowUs();
    m_record.begin(e);
    e.outcome = m_lastOutcome = Outcome::Ok;
    work(e);
    // After a lost connection the readings held are read again before any other use.
    if (e.outcome == Outcome::Lost) m_readings.close();
    e.end = nowUs();
    m_record.end(e);
}

std::optional<qint64> Client::changeablePosition() {
    const qint64 count = m_readings.isOpen() ? m_readings.recordCount() : 0;
    // Three changes in four go to a few readings every engineer corrects (the first base
    // readings of the sensor), so that engineers meet each other's changes.
    if (count > 0 && pick(4) != 0) {
        const QString key = readingKeyAt(m_sensor, poolMoment(kPoolMinutes + pick(kHotReadings)));
        if (m_readings.find(QStringLiteral("DateTimeKey = '") + key + u'\'').ok() &&
            !m_readings.eof())
            return m_readings.absolutePosition();
    }
    for (int tries = 0; count > 0 && tries < 5; ++tries) {
        const qint64 position = 1 + pick(int(count));
        const QString key = keyAt(position);
        const auto owner = ownerOfKey(key);
        if (poolMinute(key) || (owner && *owner == m_plan.client)) return position;
    }
    return std::nullopt;
}

void Client::navigate() {
    const QString sensor = anySensor();
    act(QStringLiteral("nav"), sensor, {}, [&](Event& e) {
        // The sensor list as the registry reads it, then the sensor's readings as the
        // Readings tab opens them, its newest reading shown.
        Recordset sensors;
        if (Status s = sensors.open(m_c, sql::SensorsByNumber); !s.ok())
            return refuse(e, s.error());
        if (Status s = openReadingsAtNewest(m_c, m_readings, sensor); !s.ok())
            return refuse(e, s.error());
        m_sensor = sensor;
        readAgain();
        m_newestOnly = true;
        if (m_readings.recordCount() == 0) return;
        if (auto v = m_readings.value(kLoad); !v.ok()) return refuse(e, v.error());
        e.detail << QString::number(m_readings.absolutePosition());
    });
}

void Client::readRest() {
    if (!m_readings.isOpen() || !m_newestOnly) return;
    m_newestOnly = false;
    act(QStringLiteral("rest"), m_sensor, {}, [&](Event& e) {
        if (Status s = m_readings.moveFirst(); !s.ok()) return refuse(e, s.error());
        readAgain();
    });
}

void Client::addOwn() {
    readRest();
    if (!m_readings.isOpen()) return navigate();
    const QDateTime moment = ownMoment(m_plan.client, m_ownCount++);
    const QString key = readingKeyAt(m_sensor, moment);
    const QString value = valueText(attemptValue(m_plan.client, int(m_step + 1)));
    act(QStringLiteral("add"), m_sensor, {key, value, QStringLiteral("0")}, [&](Event& e) {
        // As the Readings tab adds a reading and saves what was typed into it.
        Recordset& rs = m_readings;
        Status s = rs.addNew();
        for (const auto& [column, v] : std::initializer_list<std::pair<QString, QVariant>>{
                 {kKey, key},
                 {QStringLiteral("FullDate"), moment},
                 {QStringLiteral("ReadingDate"), wallClock(moment.date())},
                 {QStringLiteral("ReadingTime"), readingTimeText(moment.time())},
                 {QStringLiteral("ChannelT"), QStringLiteral("12.5")},
                 {kLoad, value},
                 {QStringLiteral("IsDirty"), true},
                 {QStringLiteral("DoNotPlot"), false}})
            if (s.ok()) s = rs.setValue(column, v);
        if (s.ok()) s = rs.update();
        if (!s.ok()) {
            rs.cancelUpdate();
            refuse(e, s.error());
        }
    });
}

void Client::editOne() {
    readRest();
    const auto position = changeablePosition();
    if (!position) return navigate();
    const QString key = keyAt(*position);
    const QString value = valueText(attemptValue(m_plan.client, int(m_step + 1)));
    act(QStringLiteral("edit"), m_sensor, {key, value, readAt(key)}, [&](Event& e) {
        // A load typed over the reading shown (read when the sensor was last opened).
        Status s = m_readings.setValue(kLoad, value);
        if (s.ok()) s = m_readings.update();
        if (!s.ok()) {
            m_readings.cancelUpdate();
            refuse(e, s.error());
        }
    });
    settle({key});
}

void Client::writeBackSheet() {
    readRest();
    if (!m_readings.isOpen() || m_readings.recordCount() == 0) return navigate();
    DatasheetModel grid(m_readings);
    grid.populate(m_sensor);
    int loadColumn = -1;
    for (int c = 0; c < grid.gridCols(); ++c)
        if (grid.fieldName(c) == kLoad) loadColumn = c;
    QStringList detail;
    for (int n = 0; n < 5 && loadColumn >= 0; ++n) {
        const auto position = changeablePosition();
        if (!position || grid.isEdited(int(*position), loadColumn)) continue;
        const QString value =
            valueText(attemptValue(m_plan.client, int(m_step + 1) * 10 + n) + 0.5);
        grid.setCellText(int(*position), loadColumn, value);
        const QString key = keyAt(*position);
        detail << key << value << readAt(key);
    }
    if (detail.isEmpty()) return navigate();
    act(QStringLiteral("sheet"), m_sensor, detail, [&](Event& e) {
        if (Status s = writeDatasheet(m_c, m_readings, grid); !s.ok()) return refuse(e, s.error());
        // The Readings tab reads the readings again as the datasheet closes.
        if (Status s = m_readings.requery(); !s.ok()) return refuse(e, s.error());
        readAgain();
    });
    QStringList keys;
    for (int i = 0; i < detail.size(); i += 3)
        keys << detail[i];
    settle(keys);
}

void Client::importFile() {
    const QString sensor = anySensor();
    const int first = pick(kPoolMinutes - kImportRows);
    const QString file = QStringLiteral("load-c%1-s%2.dat")
                             .arg(m_plan.client, 2, 10, QChar(u'0'))
                             .arg(m_step + 1, 5, 10, QChar(u'0'));
    act(QStringLiteral("import"), sensor, {file, QString::number(first)}, [&](Event& e) {
        // The keys stored when the import window opens: a row already there is a duplicate.
        const auto stored = storedReadingKeys(m_c, sensor);
        if (!stored.ok()) return refuse(e, stored.error());
        std::vector<PlannedReading> planned;
        std::vector<int> minutes;
        for (int m = first; m < first + kImportRows; ++m) {
            const QDateTime at = poolMoment(m);
            if (stored.value().contains(foldedKey(readingKeyAt(sensor, at)))) continue;
            const PoolValues v = poolValues(sensorIndex(sensor), m);
            planned.push_back(PlannedReading{at, v.channelT, v.channel1});
            minutes.push_back(m);
        }
        ImportBatch batch;
        batch.fileName = file;
        batch.sha256 = QString::number(m_plan.client) + u'-' + QString::number(m_step);
        batch.when = QDateTime::currentDateTime();
        NoProgress progress;
        const WriteOutcome written = writeReadings(m_c, sensor, planned, progress, &batch);
        if (written.kind != WriteOutcome::Kind::Written) return refuse(e, written.error);
        // Those another engineer stored meanwhile were left out.
        for (auto i = written.storedMeanwhile.rbegin(); i != written.storedMeanwhile.rend(); ++i)
            minutes.erase(minutes.begin() + *i);
        e.detail << minuteRanges(minutes);
        if (!minutes.empty()) m_batches[file] = sensor;
        reshow(e, sensor);
    });
}

void Client::undoImport() {
    if (m_batches.empty()) return importFile();
    auto chosen = m_batches.begin();
    std::advance(chosen, pick(int(m_batches.size())));
    const QString file = chosen->first;
    const QString sensor = chosen->second;
    act(QStringLiteral("undo"), sensor, {file}, [&](Event& e) {
        // As the import history finds the batch and undoes it.
        const auto batches = listBatches(m_c, sensor);
        if (!batches.ok()) return refuse(e, batches.error());
        qint64 id = 0;
        for (const ImportBatch& b : batches.value())
            if (b.fileName == file) id = b.id;
        if (id == 0)
            return refuse(e, Error{1, QStringLiteral("The batch ") + file +
                                          QStringLiteral(" is not in the history.")});
        NoProgress progress;
        if (const auto undone = undoBatch(m_c, id, progress); !undone.ok())
            return refuse(e, undone.error());
        m_batches.erase(file);
        reshow(e, sensor);
    });
}

void Client::deleteOwnDays() {
    const QDate first = ownFirstDay(m_plan.client).addDays(pick(kOwnDays));
    const QDate last =
        std::min(first.addDays(pick(3)), ownFirstDay(m_plan.client).addDays(kOwnDays - 1));
    act(QStringLiteral("delete"), m_sensor,
        {first.toString(Qt::ISODate), last.toString(Qt::ISODate)}, [&](Event& e) {
            const ReadingDayRule dayOf = [](const QVariant&, const QVariant&, const QVariant& key) {
                return keyDate(displayText(key));
            };
            const auto deleted = deleteReadingsOnDays(m_c, m_sensor, first, last, dayOf);
            if (!deleted.ok()) return refuse(e, deleted.error());
            // The tab reads the readings again after a deletion.
            if (Status s = m_readings.requery(); !s.ok()) return refuse(e, s.error());
            readAgain();
        });
}

int Client::run() {
    if (!m_record.ok()) return 2;
    if (Status s = m_c.openServer(m_plan.conninfo); !s.ok()) {
        std::fprintf(stderr, "client %d: %s\n", m_plan.client, qPrintable(s.error().description));
        return 2;
    }
    const qint64 until = nowUs() + qint64(m_plan.seconds) * 1000000;
    while (nowUs() < until) {
        if (!m_readings.isOpen()) {
            navigate();
        } else {
            // An engineer's mix: mostly looking, some typing and correcting, now and then
            // a datalogger file or an undo.
            const int roll = pick(100);
            if (roll < 35)
                navigate();
            else if (roll < 55)
                addOwn();
            else if (roll < 70)
                editOne();
            else if (roll < 80)
                writeBackSheet();
            else if (roll < 88)
                deleteOwnDays();
            else if (roll < 95)
                importFile();
            else
                undoImport();
        }
        if (m_plan.thinkMs > 0) QThread::msleep(ulong(pick(m_plan.thinkMs)));
    }
    return 0;
}

} // namespace

int runClient(const ClientPlan& plan) {
    Client client(plan);
    return client.run();
}

} // namespace rv::load
