#include "graphs/GraphData.h"
#include "alarms/AlarmStore.h"
#include "core/Loads.h"
#include "core/Values.h"
#include "platform/Progress.h"
#include "store/ColumnType.h"
#include "store/Module1.h"
#include "store/Session.h"
#include <QScopeGuard>
#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <sqlite3.h>
#include <vector>

namespace rv {

namespace {
const QString kOpenGraphData = QStringLiteral(" Module1_OpenGraphData");
const QString kGetTemporalData = QStringLiteral(" G_GetTemporalData");
const QString kSetZeros = QStringLiteral(" G_SetZeros");

// Engine instructions between two reports of progress (a few hundred readings).
constexpr int kProgressInstructions = 20000;

QString currentSensorId(Session& s) {
    return displayText(need(s.rsSensors.value(QStringLiteral("InstrumentID"))));
}

// After a failed open of the readings: a missing table is announced and created; the
// failure itself ends the procedure (and is logged by it) either way.
[[noreturn]] void openFailed(Session& s, const QString& id, const Error& error) {
    if (!TableExists(s, s.gDatabasePath, id)) {
        s.dialogs.inform(QStringLiteral("The data table for Sensor ") + id +
                         QStringLiteral(" could not be found") + kCrLf +
                         QStringLiteral("A new table will be created"));
        AddDataTable(s);
    }
    throw Abort{error};
}

// What the recomputation's SQL functions share while its one statement runs.
struct Recomputation {
    double offset = 0;
    Progress* progress = nullptr;
    qint64 done = 0;                  // readings whose load has been computed
    std::map<qint64, Error> failures; // per reading (rowid), its first value not stored
    bool cancelled = false;
};

// A channel's text as the statement hands it: nothing for Null.
std::optional<QString> channelText(sqlite3_value* value) {
    if (sqlite3_value_type(value) == SQLITE_NULL) return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return QString::fromUtf8(text, sqlite3_value_bytes(value));
}

std::optional<QStringView> view(const std::optional<QString>& text) {
    if (!text) return std::nullopt;
    return QStringView(*text);
}

// A computed value as the number column stores it; a value the column cannot hold (an
// infinite load) is stored as Null and remembered for the log.
void storeNumber(sqlite3_context* context, Recomputation& r, qint64 rowid, double value,
                 const char* column) {
    if (std::isfinite(value)) {
        sqlite3_result_double(context, value);
        return;
    }
    const Result<QVariant> refused =
        toStored(QVariant(value), ColumnType::Number, QLatin1String(column));
    r.failures.try_emplace(rowid,
                           refused.ok() ? Error{err::TypeMismatch, QString()} : refused.error());
    sqlite3_result_null(context);
}

// rv_zero1(rowid, Channel1): the load after the offset (SetZeros' first value).
void zero1Function(sqlite3_context* context, int, sqlite3_value** argv) {
    auto& r = *static_cast<Recomputation*>(sqlite3_user_data(context));
    ++r.done;
    const auto channel1 = channelText(argv[1]);
    storeNumber(context, r, sqlite3_value_int64(argv[0]), loadAfterOffset(view(channel1), r.offset),
                "zero1");
}

// rv_numtemp(rowid, ChannelT): the temperature (SetZeros' second value).
void numTempFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    auto& r = *static_cast<Recomputation*>(sqlite3_user_data(context));
    const auto channelT = channelText(argv[1]);
    storeNumber(context, r, sqlite3_value_int64(argv[0]), temperatureValue(view(channelT)),
                "NumTemp");
}

// Called by the engine while the statement runs: reports progress, and stops the
// statement when the user cancels.
int progressHandler(void* data) {
    auto& r = *static_cast<Recomputation*>(data);
    if (r.progress->step(r.done)) return 0;
    r.cancelled = true;
    return 1;
}

// The functions and the progress handler live exactly as long as one recomputation.
class RecomputeFunctions {
public:
    RecomputeFunctions(sqlite3* db, Recomputation& r) : m_db(db) {
        sqlite3_create_function_v2(db, "rv_zero1", 2, SQLITE_UTF8, &r, zero1Function, nullptr,
                                   nullptr, nullptr);
        sqlite3_create_function_v2(db, "rv_numtemp", 2, SQLITE_UTF8, &r, numTempFunction, nullptr,
                                   nullptr, nullptr);
        sqlite3_progress_handler(db, kProgressInstructions, progressHandler, &r);
    }
    ~RecomputeFunctions() {
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
        sqlite3_create_function_v2(m_db, "rv_zero1", 2, SQLITE_UTF8, nullptr, nullptr, nullptr,
                                   nullptr, nullptr);
        sqlite3_create_function_v2(m_db, "rv_numtemp", 2, SQLITE_UTF8, nullptr, nullptr, nullptr,
                                   nullptr, nullptr);
    }
    RecomputeFunctions(const RecomputeFunctions&) = delete;
    RecomputeFunctions& operator=(const RecomputeFunctions&) = delete;

private:
    sqlite3* m_db;
};

// Puts the points of a series in ascending time order when the stored order is not
// (dates stored in a form that does not sort); equal times keep the database's order.
void inTimeOrder(QVector<double>& times, QVector<double>& values) {
    if (std::is_sorted(times.cbegin(), times.cend())) return;
    std::vector<qsizetype> order(std::size_t(times.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](qsizetype a, qsizetype b) { return times[a] < times[b]; });
    QVector<double> t, v;
    t.reserve(times.size());
    v.reserve(values.size());
    for (qsizetype i : order) {
        t << times[i];
        v << values[i];
    }
    times = std::move(t);
    values = std::move(v);
}

// The time-axis value of a FullDate stored as "yyyy-MM-dd HH:mm:ss" (or "yyyy-MM-dd"),
// from its bytes: what timeAxisValue gives for the same wall-clock moment. Nothing for
// any other text, which the general reading then handles.
std::optional<double> storedMomentSeconds(const char* text, int n) {
    if (!text || (n != 10 && n != 19)) return std::nullopt;
    auto digits = [&](int from, int count, int& out) {
        out = 0;
        for (int i = from; i < from + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            out = out * 10 + (text[i] - '0');
        }
        return true;
    };
    int y, mo, d, h = 0, mi = 0, se = 0;
    if (!digits(0, 4, y) || text[4] != '-' || !digits(5, 2, mo) || text[7] != '-' ||
        !digits(8, 2, d))
        return std::nullopt;
    if (n == 19 && (text[10] != ' ' || !digits(11, 2, h) || text[13] != ':' || !digits(14, 2, mi) ||
                    text[16] != ':' || !digits(17, 2, se)))
        return std::nullopt;
    const QDate date(y, mo, d);
    if (!date.isValid() || h > 23 || mi > 59 || se > 59) return std::nullopt;
    constexpr qint64 kEpochDay = 2440588; // the Julian day of 1970-01-01
    return double((date.toJulianDay() - kEpochDay) * 86400 + h * 3600 + mi * 60 + se);
}

// The channel 1 text of the current row; nothing for Null.
std::optional<QString> channelOf(const Recordset& rs, const char* column) {
    const QVariant v = need(rs.value(QLatin1String(column)));
    if (!v.isValid() || v.isNull()) return std::nullopt;
    return displayText(v);
}

bool rowHoldsLoad(const Recordset& rs) {
    return holdsLoad(view(channelOf(rs, "Channel1")));
}

std::optional<QDate> dayOf(const Recordset& rs) {
    if (!rowHoldsLoad(rs)) return std::nullopt;
    for (const char* column : {"ReadingDate", "FullDate"}) {
        const QVariant v = need(rs.value(QLatin1String(column)));
        if (v.typeId() == QMetaType::QDateTime && v.toDateTime().isValid())
            return v.toDateTime().date();
    }
    return std::nullopt;
}
} // namespace

double timeAxisValue(const QDateTime& wallClock) {
    // Wall-clock values carry Qt::UTC: their seconds since the epoch are the same under
    // every time zone, and the axis labels them in UTC again.
    return double(wallClock.toMSecsSinceEpoch()) / 1000.0;
}

void OpenGraphData(Session& s) {
    logged(s, kOpenGraphData, [&] {
        const QString id = currentSensorId(s);
        const Status opened = s.rsGraph.open(s.gConnection, sql::S9(id));
        if (!opened.ok()) openFailed(s, id, opened.error());
        if (!s.rsGraph.bof() && !s.rsGraph.eof()) need(s.rsGraph.moveFirst());
    });
}

qint64 CountGraphData(Session& s) {
    qint64 count = 0;
    logged(s, kOpenGraphData, [&] {
        const QString id = currentSensorId(s);
        const HoldsLoadFunction holdsLoadInSql(s.gConnection);
        Query q(s.gConnection, QStringLiteral("SELECT count(*) FROM ") + sql::quoted(id) +
                                   QStringLiteral(" WHERE DoNotPlot = False AND "
                                                  "rv_holds_load(Channel1)"));
        if (!q.prepared().ok()) openFailed(s, id, q.prepared().error());
        // A table dropped by another program may only show when the statement runs.
        if (q.next()) count = q.value(0).toLongLong();
        if (!q.status().ok()) openFailed(s, id, q.status().error());
    });
    return count;
}

Recomputed G_GetTemporalData(Session& s, const QString& offsetText, Progress& progress,
                             qint64 expected) {
    Recomputed result = Recomputed::Done;
    const bool ran = logged(s, kGetTemporalData, [&] {
        const QString id = currentSensorId(s);
        Connection& c = s.gConnection;
        Recomputation r;
        r.offset = installationOffset(offsetText);
        r.progress = &progress;

        progress.begin(QStringLiteral("Computing the loads of sensor ") + id, expected);
        const auto ended = qScopeGuard([&] { progress.end(); });
        if (!progress.step(0)) {
            result = Recomputed::Cancelled;
            return;
        }
        // SetZeros on every plottable reading: one statement in one transaction, the
        // arithmetic done by the program's own rules through two SQL functions.
        need(c.begin());
        Status ran;
        {
            const RecomputeFunctions functions(c.handle(), r);
            Query update(c, QStringLiteral("UPDATE ") + sql::quoted(id) +
                                QStringLiteral(" SET zero1 = rv_zero1(rowid, Channel1), NumTemp = "
                                               "rv_numtemp(rowid, ChannelT) WHERE DoNotPlot = "
                                               "False"));
            ran = update.prepared().ok() ? update.run() : update.prepared();
        }
        for (const auto& [rowid, error] : r.failures)
            s.logFailure(error, kSetZeros);
        if (r.cancelled) {
            c.rollback();
            result = Recomputed::Cancelled;
            return;
        }
        if (!ran.ok()) {
            c.rollback();
            throw Abort{ran.error()};
        }
        if (const Status committed = c.commit(); !committed.ok()) {
            c.rollback();
            throw Abort{committed.error()};
        }
        progress.step(r.done);
    });
    return ran ? result : Recomputed::NotStored;
}

PlotData readPlotData(Session& s, std::optional<double> computeWithOffset) {
    PlotData data;
    Recordset& rs = s.rsGraph;
    if (!rs.isOpen() || rs.recordCount() == 0) return data;
    // The first and the last reading that have a day at all.
    std::optional<QDate> first, last;
    for (need(rs.moveFirst()); !first && !rs.eof(); need(rs.moveNext()))
        first = dayOf(rs);
    for (need(rs.moveLast()); !last && !rs.bof(); need(rs.movePrevious()))
        last = dayOf(rs);
    if (first) data.firstDay = *first;
    if (first && last) data.dayRange = first->daysTo(*last);

    for (const char* column : {"FullDate", "Channel1", "zero1", "NumTemp"})
        if (rs.columnIndex(QLatin1String(column)) < 0)
            throw Abort{Error{err::ItemNotFound, QStringLiteral("The readings table lacks "
                                                                "FullDate, Channel1, zero1 or "
                                                                "NumTemp")}};
    const qsizetype n = qsizetype(rs.recordCount());
    data.loadTimes.reserve(n);
    data.loads.reserve(n);
    data.temperatureTimes.reserve(n);
    data.temperatures.reserve(n);
    auto number = [](const QVariant& v) -> std::optional<double> {
        if (v.typeId() != QMetaType::Double) return std::nullopt;
        const double d = v.toDouble();
        return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
    };
    // The values as the recomputation would store them (a value it stores as Null is none).
    auto computed = [](double v) {
        return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
    };
    for (need(rs.moveFirst()); !rs.eof(); need(rs.moveNext())) {
        ++data.readings;
        const std::optional<QString> channel1 = channelOf(rs, "Channel1");
        if (!holdsLoad(view(channel1))) continue;
        const QVariant when = need(rs.value(QStringLiteral("FullDate")));
        if (when.typeId() != QMetaType::QDateTime || !when.toDateTime().isValid()) continue;
        const double t = timeAxisValue(when.toDateTime());
        const auto load = computeWithOffset
                              ? computed(loadAfterOffset(view(channel1), *computeWithOffset))
                              : number(need(rs.value(QStringLiteral("zero1"))));
        if (load) {
            data.loadTimes << t;
            data.loads << *load;
        }
        const auto temperature = computeWithOffset
                                     ? computed(temperatureValue(view(channelOf(rs, "ChannelT"))))
                                     : number(need(rs.value(QStringLiteral("NumTemp"))));
        if (temperature) {
            data.temperatureTimes << t;
            data.temperatures << *temperature;
        }
    }
    inTimeOrder(data.loadTimes, data.loads);
    inTimeOrder(data.temperatureTimes, data.temperatures);
    return data;
}

Result<SensorLoads> readSensorLoads(Connection& c, const QString& instrumentId,
                                    const QString& offsetText) {
    if (instrumentId.isEmpty() || instrumentId.contains(QLatin1Char('`')))
        return Error{err::ItemNotFound,
                     QStringLiteral("No readings table can have the name ") + instrumentId};
    // The rows of the plot's own query (sql::S9), two columns only, read in the table's
    // own order and then put in time order, equal moments keeping the table's order: for
    // the date forms the store writes, the order of S9's ORDER BY FullDate. Walking the
    // FullDate index instead seeks every row in the table again, and took twice as long.
    Query q(c, QStringLiteral("SELECT FullDate, Channel1 FROM ") + sql::quoted(instrumentId) +
                   QStringLiteral(" WHERE DoNotPlot = False"));
    if (!q.prepared().ok()) return q.prepared();
    const double offset = installationOffset(offsetText);
    SensorLoads result;
    sqlite3_stmt* row = q.statement();
    while (q.next()) {
        ++result.readings;
        // FullDate read as the readings' recordset reads it; the form the store writes
        // is read straight from the engine's bytes.
        std::optional<double> t;
        if (sqlite3_column_type(row, 0) == SQLITE_TEXT)
            t = storedMomentSeconds(reinterpret_cast<const char*>(sqlite3_column_text(row, 0)),
                                    sqlite3_column_bytes(row, 0));
        if (!t) {
            const QVariant when = fromStored(q.value(0), ColumnType::Date);
            if (when.typeId() != QMetaType::QDateTime || !when.toDateTime().isValid()) continue;
            t = timeAxisValue(when.toDateTime());
        }
        std::optional<QString> channel1;
        if (sqlite3_column_type(row, 1) != SQLITE_NULL)
            channel1 = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(row, 1)),
                                         sqlite3_column_bytes(row, 1));
        // A channel without a load is no load of zero: the plot leaves the reading out.
        if (!holdsLoad(view(channel1))) continue;
        // The recomputation would store this load as Null, which the plot leaves out.
        const double load = loadAfterOffset(view(channel1), offset);
        if (!std::isfinite(load)) continue;
        result.times << *t;
        result.loads << load;
    }
    if (!q.status().ok()) return q.status();
    inTimeOrder(result.times, result.loads);
    return result;
}

} // namespace rv
