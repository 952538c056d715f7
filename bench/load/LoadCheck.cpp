#include "bench/load/LoadCheck.h"
#include <QHash>
#include <QSet>
#include <libpq-fe.h>
#include <map>
#include <memory>
#include <set>

namespace rv::load {

namespace {

constexpr int kProblemsShown = 25;

using Rows = std::vector<QStringList>;

class Link {
public:
    explicit Link(const QString& conninfo) : m_conn(PQconnectdb(conninfo.toUtf8().constData())) {}
    ~Link() { PQfinish(m_conn); }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;
    bool ok() const { return PQstatus(m_conn) == CONNECTION_OK; }
    QString error() const { return QString::fromUtf8(PQerrorMessage(m_conn)).trimmed(); }
    // The rows of a query, every value as text (an empty text for Null); none on failure,
    // with why.
    std::optional<Rows> rows(const QString& sql, QString* why = nullptr) {
        std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(m_conn, sql.toUtf8().constData()),
                                                        &PQclear);
        const auto status = PQresultStatus(r.get());
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
            if (why) *why = QString::fromUtf8(PQresultErrorMessage(r.get())).trimmed();
            return std::nullopt;
        }
        Rows out;
        for (int i = 0; i < PQntuples(r.get()); ++i) {
            QStringList row;
            for (int j = 0; j < PQnfields(r.get()); ++j)
                row << QString::fromUtf8(PQgetvalue(r.get(), i, j));
            out.push_back(row);
        }
        return out;
    }

private:
    PGconn* m_conn;
};

QString quotedName(const QString& name) {
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// A value written to a reading's load, by the action that wrote it.
struct Attempt {
    const Event* event = nullptr;
    QString value;
    qint64 readAt = 0; // what the client held of the reading was read by then (0: unknown)
};

bool sameValue(const QString& a, const QString& b) {
    bool okA = false, okB = false;
    const double x = a.toDouble(&okA), y = b.toDouble(&okB);
    return okA && okB ? x == y : a == b;
}

bool reportedDone(const Event& e) {
    return e.outcome == Outcome::Ok;
}
bool uncertain(const Event& e) {
    return e.outcome == Outcome::Lost || e.outcome == Outcome::InFlight;
}

// What may be stored under one of a client's own keys, from that client's record alone.
struct OwnState {
    std::set<QString> values;
    bool mayBeAbsent = true;
    bool mayBePresent() const { return !values.empty(); }
};

class Checker {
public:
    Checker(const QStringList& sensors, const std::vector<Event>& events)
        : m_sensors(sensors), m_events(events) {}

    CheckReport run(Link& link);

private:
    void problem(qint64& count, const QString& text, qint64 n = 1) {
        count += n;
        if (m_report.problems.size() < kProblemsShown) m_report.problems << text;
    }
    void indexEvents();
    void checkHistory(Link& link, const QString& sensor);
    void checkReadings(Link& link, const QString& sensor);
    void checkShared(const QString& sensor, const QString& key, int minute, const QString& value);
    void checkServerOwn(Link& link);

    const QStringList& m_sensors;
    const std::vector<Event>& m_events;
    CheckReport m_report;

    std::map<QString, const Event*> m_imports;            // by file name
    std::map<QString, std::vector<const Event*>> m_undos; // by file name
    std::map<QString, std::vector<Attempt>> m_attempts;   // by sensor + key
    std::map<QString, OwnState> m_own;                    // by sensor + key
    std::map<QString, const Event*> m_liveBatchOfKey;     // by sensor + key: its import
    std::map<QString, QSet<QString>> m_liveKeysOfSensor;  // keys of the live batches
};

QString at(const QString& sensor, const QString& key) {
    return sensor + u'|' + key;
}

void Checker::indexEvents() {
    for (const Event& e : m_events) {
        if (e.op == u"import" && !e.detail.isEmpty()) m_imports[e.detail[0]] = &e;
        if (e.op == u"undo" && !e.detail.isEmpty()) m_undos[e.detail[0]].push_back(&e);
        if (e.op == u"edit" || e.op == u"sheet" || e.op == u"add")
            for (int i = 0; i + 2 < e.detail.size(); i += 3)
                m_attempts[at(e.sensor, e.detail[i])].push_back(
                    Attempt{&e, e.detail[i + 1], e.detail[i + 2].toLongLong()});
    }
    // Each client's own readings, replayed in the order that client acted.
    for (const Event& e : m_events) {
        if (e.op == u"delete" && e.detail.size() == 2 && e.outcome != Outcome::Changed) {
            if (!reportedDone(e) && !uncertain(e)) continue;
            const QDate first = QDate::fromString(e.detail[0], Qt::ISODate);
            const QDate last = QDate::fromString(e.detail[1], Qt::ISODate);
            for (auto& [where, state] : m_own) {
                if (!where.startsWith(e.sensor + u'|')) continue;
                const QDate day =
                    QDate::fromString(where.section(u' ', 1, 1), QStringLiteral("yyyy/MM/dd"));
                if (day < first || day > last) continue;
                if (reportedDone(e)) state.values.clear();
                state.mayBeAbsent = true;
            }
            continue;
        }
        if (e.op != u"edit" && e.op != u"sheet" && e.op != u"add") continue;
        for (int i = 0; i + 2 < e.detail.size(); i += 3) {
            const auto owner = ownerOfKey(e.detail[i]);
            if (!owner || *owner != e.client) continue;
            OwnState& state = m_own[at(e.sensor, e.detail[i])];
            if (reportedDone(e)) {
                state.values = {e.detail[i + 1]};
                state.mayBeAbsent = false;
            } else if (uncertain(e)) {
                state.values.insert(e.detail[i + 1]);
            }
        }
    }
}

void Checker::checkHistory(Link& link, const QString& sensor) {
    QString why;
    const auto batches = link.rows(
        QStringLiteral("SELECT \"BatchID\", \"FileName\", \"RowsAppended\" FROM \"ImportBatches\" "
                       "WHERE \"InstrumentID\" = '%1' ORDER BY \"BatchID\"")
            .arg(sensor),
        &why);
    if (!batches)
        return problem(m_report.serverFaults,
                       QStringLiteral("The import history cannot be read: ") + why);
    for (const QStringList& b : *batches) {
        ++m_report.batches;
        const QString file = b[1];
        const auto keys = link.rows(
            QStringLiteral("SELECT \"DateTimeKey\" FROM \"ImportBatchRows\" WHERE \"BatchID\" = %1")
                .arg(b[0]));
        QSet<QString> recorded;
        for (const QStringList& k : keys.value_or(Rows{}))
            recorded.insert(k[0]);
        if (recorded.size() != b[2].toLongLong())
            problem(m_report.historyWrong,
                    QStringLiteral("The import record of %1 says %2 readings and holds %3.")
                        .arg(file, b[2])
                        .arg(recorded.size()));
        const auto import = m_imports.find(file);
        if (import == m_imports.end()) {
            problem(m_report.historyWrong,
                    QStringLiteral("An import record of a file no client imported: ") + file);
            continue;
        }
        const Event& e = *import->second;
        for (const Event* undo : m_undos[file])
            if (reportedDone(*undo))
                problem(m_report.refusedStored,
                        QStringLiteral(
                            "The import of %1 was reported undone and its record is still there.")
                            .arg(file));
        if (!reportedDone(e) && !uncertain(e)) {
            problem(m_report.refusedStored,
                    QStringLiteral(
                        "The import of %1 was reported refused (%2) and its record is there.")
                        .arg(file, e.refusal));
            continue;
        }
        if (reportedDone(e)) {
            QSet<QString> appended;
            for (int m : minutesOf(e.detail.value(2)))
                appended.insert(readingKeyAt(sensor, poolMoment(m)));
            if (appended != recorded)
                problem(m_report.historyWrong,
                        QStringLiteral(
                            "The import record of %1 holds %2 readings; the import reported %3 "
                            "appended, %4 of them recorded.")
                            .arg(file)
                            .arg(recorded.size())
                            .arg(appended.size())
                            .arg((appended & recorded).size()));
        }
        for (const QString& key : recorded) {
            const QString where = at(sensor, key);
            if (m_liveBatchOfKey.count(where))
                problem(m_report.doubled,
                        QStringLiteral("The reading %1 is in the import records of %2 and %3.")
                            .arg(key, m_liveBatchOfKey[where]->detail[0], file));
            m_liveBatchOfKey[where] = &e;
            m_liveKeysOfSensor[sensor].insert(key);
        }
    }
    // Every import reported done, and not undone since, keeps its record.
    QSet<QString> files;
    for (const QStringList& b : *batches)
        files.insert(b[1]);
    for (const auto& [file, e] : m_imports) {
        if (e->sensor != sensor || !reportedDone(*e) || files.contains(file)) continue;
        const auto appended = minutesOf(e->detail.value(2));
        if (appended.empty()) continue;
        bool undone = false;
        for (const Event* undo : m_undos[file])
            undone = undone || reportedDone(*undo) || uncertain(*undo);
        if (!undone)
            problem(m_report.lost,
                    QStringLiteral(
                        "The import of %1 (%2 readings) was reported done and its record is gone.")
                        .arg(file)
                        .arg(appended.size()),
                    qint64(appended.size()));
    }
}

void Checker::checkShared(const QString& sensor, const QString& key, int minute,
                          const QString& value) {
    const QString where = at(sensor, key);
    const bool base = minute >= kPoolMinutes;
    const auto batch = m_liveBatchOfKey.find(where);
    if (!base && batch == m_liveBatchOfKey.end())
        return problem(
            m_report.refusedStored,
            QStringLiteral(
                "The reading %1 is stored without the import record of the file that stored it.")
                .arg(key));
    // From when the reading stood as its import stored it.
    const qint64 since = base ? 0 : batch->second->end;
    const std::vector<Attempt>& attempts = m_attempts[where];
    const QString imported =
        QString::fromLatin1(poolValues(int(m_sensors.indexOf(sensor)), minute).channel1);
    const Attempt* writer = nullptr;
    if (!sameValue(value, imported)) {
        for (const Attempt& a : attempts)
            if (sameValue(a.value, value)) writer = &a;
        if (!writer)
            return problem(m_report.wrongValues,
                           QStringLiteral("The reading %1 holds the load %2, which nothing wrote.")
                               .arg(key, value));
        if (!reportedDone(*writer->event) && !uncertain(*writer->event))
            return problem(
                m_report.refusedStored,
                QStringLiteral(
                    "The reading %1 holds the load %2 of a change reported refused (%3).")
                    .arg(key, value, writer->event->refusal));
    }
    // No change was saved over another saved after the reading was read: that one would
    // be lost without its engineer or the other knowing.
    for (const Attempt& a : attempts) {
        if (!reportedDone(*a.event) || a.readAt == 0) continue;
        for (const Attempt& b : attempts)
            if (b.event != a.event && reportedDone(*b.event) && b.event->start > a.readAt &&
                b.event->end < a.event->start)
                return problem(
                    m_report.lost,
                    QStringLiteral("The load %1 of the reading %2 (client %3) was saved over "
                                   "the load %4 (client %5) saved after it was read.")
                        .arg(a.value, key)
                        .arg(a.event->client)
                        .arg(b.value)
                        .arg(b.event->client));
    }
    // A change reported saved after the stored value was written must not be lost.
    // (Not known for a value whose writer, or import, never ended: its client was killed.)
    const qint64 storedAt = writer ? writer->event->end : since;
    if (storedAt == 0 && !(base && !writer)) return;
    for (const Attempt& a : attempts)
        if (reportedDone(*a.event) && a.event->start > storedAt)
            return problem(m_report.lost,
                           QStringLiteral("The reading %1 holds %2: the load %3 reported saved "
                                          "later (client %4) is lost.")
                               .arg(key, value, a.value)
                               .arg(a.event->client));
}

void Checker::checkReadings(Link& link, const QString& sensor) {
    QString why;
    const auto rows = link.rows(
        QStringLiteral("SELECT \"DateTimeKey\", \"Channel1\" FROM %1").arg(quotedName(sensor)),
        &why);
    if (!rows)
        return problem(m_report.serverFaults,
                       QStringLiteral("The readings of %1 cannot be read: %2").arg(sensor, why));
    QHash<QString, int> seen;
    QSet<QString> stored;
    for (const QStringList& r : *rows) {
        ++m_report.readings;
        const QString& key = r[0];
        if (++seen[key.toCaseFolded()] == 2)
            problem(m_report.doubled, QStringLiteral("The reading %1 is stored twice.").arg(key));
        stored.insert(key);
        if (const auto minute = poolMinute(key)) {
            checkShared(sensor, key, *minute, r[1]);
        } else if (ownerOfKey(key)) {
            const auto own = m_own.find(at(sensor, key));
            if (own == m_own.end() || !own->second.mayBePresent()) {
                problem(m_report.refusedStored,
                        QStringLiteral("The reading %1 is stored; no client was told it was.")
                            .arg(key));
                continue;
            }
            bool allowed = false;
            for (const QString& v : own->second.values)
                allowed = allowed || sameValue(v, r[1]);
            if (!allowed)
                problem(m_report.wrongValues,
                        QStringLiteral(
                            "The reading %1 holds the load %2, not the one its client saved.")
                            .arg(key, r[1]));
        } else {
            problem(m_report.wrongValues, QStringLiteral("A reading no client wrote: ") + key);
        }
    }
    // Every reading reported stored is there.
    for (const QString& key : m_liveKeysOfSensor[sensor])
        if (!stored.contains(key))
            problem(m_report.lost, QStringLiteral("The reading %1 of the import of %2 is missing.")
                                       .arg(key, m_liveBatchOfKey[at(sensor, key)]->detail[0]));
    for (int m = kPoolMinutes; m < kPoolMinutes + kBaseReadings; ++m)
        if (!stored.contains(readingKeyAt(sensor, poolMoment(m))))
            problem(m_report.lost,
                    QStringLiteral("The reading %1 stored before the clients began is missing.")
                        .arg(readingKeyAt(sensor, poolMoment(m))));
    for (const auto& [where, state] : m_own)
        if (where.startsWith(sensor + u'|') && !state.mayBeAbsent &&
            !stored.contains(where.section(u'|', 1)))
            problem(m_report.lost, QStringLiteral("The reading %1 reported saved is missing.")
                                       .arg(where.section(u'|', 1)));
}

// The server's own checks: every B-tree index against its table, and every table's pages.
void Checker::checkServerOwn(Link& link) {
    QString why;
    if (!link.rows(QStringLiteral("CREATE EXTENSION IF NOT EXISTS amcheck"), &why))
        return problem(m_report.serverFaults,
                       QStringLiteral("The server's checks (amcheck) cannot run: ") + why);
    const auto indexes = link.rows(
        QStringLiteral(
            "SELECT c.relname, bt_index_check(c.oid, true) FROM pg_index i JOIN pg_class c ON "
            "c.oid = i.indexrelid "
            "JOIN pg_am a ON a.oid = c.relam JOIN pg_namespace n ON n.oid = c.relnamespace "
            "WHERE a.amname = 'btree' AND n.nspname = 'public'"),
        &why);
    if (!indexes) problem(m_report.serverFaults, QStringLiteral("An index check failed: ") + why);
    const auto pages = link.rows(
        QStringLiteral(
            "SELECT c.relname, v.msg FROM pg_class c JOIN pg_namespace n ON n.oid = "
            "c.relnamespace, "
            "LATERAL verify_heapam(c.oid) v WHERE c.relkind = 'r' AND n.nspname = 'public'"),
        &why);
    if (!pages)
        return problem(m_report.serverFaults, QStringLiteral("A table check failed: ") + why);
    for (const QStringList& p : *pages)
        problem(m_report.serverFaults, QStringLiteral("Table %1: %2").arg(p[0], p[1]));
}

CheckReport Checker::run(Link& link) {
    indexEvents();
    for (const QString& sensor : m_sensors) {
        checkHistory(link, sensor);
        checkReadings(link, sensor);
    }
    checkServerOwn(link);
    return m_report;
}

} // namespace

CheckReport checkServer(const QString& conninfo, const QStringList& sensors,
                        const std::vector<Event>& events) {
    Link link(conninfo);
    if (!link.ok()) {
        CheckReport report;
        report.serverFaults = 1;
        report.problems << QStringLiteral("The server cannot be reached for the check: ") +
                               link.error();
        return report;
    }
    Checker checker(sensors, events);
    return checker.run(link);
}

} // namespace rv::load
