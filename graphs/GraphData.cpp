#include "graphs/GraphData.h"
#include "core/Loads.h"
#include "core/Values.h"
#include "platform/Progress.h"
#include "store/ColumnType.h"
#include "store/Module1.h"
#include "store/Session.h"
#include <QScopeGuard>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <sqlite3.h>
#include <vector>

namespace rv {

namespace {
const QString kOpenGraphData = QStringLiteral(" Module1_OpenGraphData");
const QString kGetTemporalData = QStringLiteral(" G_GetTemporalData");
const QString kSetZeros = QStringLiteral(" G_SetZeros");

// Rows written between two reports of progress.
constexpr qint64 kProgressEvery = 2048;

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

// A channel's text as the statement hands it: nothing for Null.
std::optional<QString> columnText(sqlite3_stmt* stmt, int column) {
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL) return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt, column));
}

std::optional<QStringView> view(const std::optional<QString>& text) {
    if (!text) return std::nullopt;
    return QStringView(*text);
}

struct Zeros {
    qint64 rowid = 0;
    std::optional<double> zero1;
    std::optional<double> numTemp;
};

// SetZeros on one reading: the load after the offset and the temperature. A value the
// number column cannot hold becomes Null, with one log entry for the reading.
Zeros setZeros(Session& s, qint64 rowid, const std::optional<QString>& channel1,
               const std::optional<QString>& channelT, double offset) {
    Zeros z;
    z.rowid = rowid;
    std::optional<Error> failure;
    auto keep = [&](double value, const char* column) -> std::optional<double> {
        const Result<QVariant> stored =
            toStored(QVariant(value), ColumnType::Number, QLatin1String(column));
        if (stored.ok()) return value;
        if (!failure) failure = stored.error();
        return std::nullopt;
    };
    z.zero1 = keep(loadAfterOffset(view(channel1), offset), "zero1");
    z.numTemp = keep(temperatureValue(view(channelT)), "NumTemp");
    if (failure) s.logFailure(*failure, kSetZeros);
    return z;
}

void bindNumber(sqlite3_stmt* stmt, int index, const std::optional<double>& value) {
    if (value)
        sqlite3_bind_double(stmt, index, *value);
    else
        sqlite3_bind_null(stmt, index);
}

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

std::optional<QDate> dayOf(const Recordset& rs) {
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
        Query q(s.gConnection, QStringLiteral("SELECT count(*) FROM ") + sql::quoted(id) +
                                   QStringLiteral(" WHERE DoNotPlot = False"));
        if (!q.prepared().ok()) openFailed(s, id, q.prepared().error());
        // A table dropped by another program may only show when the statement runs.
        if (q.next()) count = q.value(0).toLongLong();
        if (!q.status().ok()) openFailed(s, id, q.status().error());
    });
    return count;
}

Recomputed G_GetTemporalData(Session& s, const QString& offsetText, Progress& progress) {
    Recomputed result = Recomputed::Done;
    logged(s, kGetTemporalData, [&] {
        const QString id = currentSensorId(s);
        const double offset = installationOffset(offsetText);
        Connection& c = s.gConnection;

        // The plottable readings' channels are read first, then written in one pass.
        std::vector<Zeros> rows;
        {
            Query select(c, QStringLiteral("SELECT rowid, Channel1, ChannelT FROM ") +
                                sql::quoted(id) +
                                QStringLiteral(" WHERE DoNotPlot = False ORDER BY FullDate"));
            need(select.prepared());
            sqlite3_stmt* stmt = select.statement();
            while (select.next())
                rows.push_back(setZeros(s, sqlite3_column_int64(stmt, 0), columnText(stmt, 1),
                                        columnText(stmt, 2), offset));
            need(select.status());
        }

        progress.begin(QStringLiteral("Computing the loads of sensor ") + id, qint64(rows.size()));
        const auto ended = qScopeGuard([&] { progress.end(); });
        need(c.begin());
        Query update(c, QStringLiteral("UPDATE ") + sql::quoted(id) +
                            QStringLiteral(" SET zero1 = ?1, NumTemp = ?2 WHERE rowid = ?3"));
        if (!update.prepared().ok()) {
            c.rollback();
            need(update.prepared());
        }
        sqlite3_stmt* stmt = update.statement();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (i % kProgressEvery == 0 && !progress.step(qint64(i))) {
                c.rollback();
                result = Recomputed::Cancelled;
                return;
            }
            bindNumber(stmt, 1, rows[i].zero1);
            bindNumber(stmt, 2, rows[i].numTemp);
            sqlite3_bind_int64(stmt, 3, rows[i].rowid);
            const int rc = sqlite3_step(stmt);
            if (rc != SQLITE_DONE) {
                const Error failed = c.lastError();
                sqlite3_reset(stmt);
                // The readings stored before the failing one keep their new values, as
                // they would have had each been written on its own.
                if (!sqlite3_get_autocommit(c.handle()) && !c.commit().ok()) c.rollback();
                throw Abort{failed};
            }
            sqlite3_reset(stmt);
        }
        progress.step(qint64(rows.size()));
        if (const Status committed = c.commit(); !committed.ok()) {
            c.rollback();
            throw Abort{committed.error()};
        }
    });
    return result;
}

PlotData readPlotData(Session& s) {
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

    for (const char* column : {"FullDate", "zero1", "NumTemp"})
        if (rs.columnIndex(QLatin1String(column)) < 0)
            throw Abort{
                Error{err::ItemNotFound,
                      QStringLiteral("The readings table lacks FullDate, zero1 or NumTemp")}};
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
    for (need(rs.moveFirst()); !rs.eof(); need(rs.moveNext())) {
        ++data.readings;
        const QVariant when = need(rs.value(QStringLiteral("FullDate")));
        if (when.typeId() != QMetaType::QDateTime || !when.toDateTime().isValid()) continue;
        const double t = timeAxisValue(when.toDateTime());
        if (const auto load = number(need(rs.value(QStringLiteral("zero1"))))) {
            data.loadTimes << t;
            data.loads << *load;
        }
        if (const auto temperature = number(need(rs.value(QStringLiteral("NumTemp"))))) {
            data.temperatureTimes << t;
            data.temperatures << *temperature;
        }
    }
    inTimeOrder(data.loadTimes, data.loads);
    inTimeOrder(data.temperatureTimes, data.temperatures);
    return data;
}

} // namespace rv
