#include "graphs/GraphData.h"
#include "alarms/AlarmLevels.h"
#include "core/Loads.h"
#include "core/Values.h"
#include "platform/Progress.h"
#include "sensordata/SensorData.h"
#include "store/Module1.h"
#include "store/ReadingsTable.h"
#include "store/Session.h"
#include <QScopeGuard>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace rv {

namespace {
const QString kOpenGraphData = QStringLiteral(" Module1_OpenGraphData");
const QString kGetTemporalData = QStringLiteral(" G_GetTemporalData");
const QString kSetZeros = QStringLiteral(" G_SetZeros");

// The identifier of the sensor shown; no sensor shown ends the procedure.
QString currentSensorId(Session& s) {
    return displayText(need(s.currentSensor.value(QStringLiteral("InstrumentID"))));
}

// After a failed open of the readings: a missing table is announced and created (a site
// server out of reach has none missing); the failure itself ends the procedure (and is
// logged by it) either way.
[[noreturn]] void openFailed(Session& s, const QString& id, const Error& error) {
    if (error.number != err::ConnectionLost && !TableExists(s, s.gDatabasePath, id)) {
        s.dialogs.inform(QStringLiteral("The data table for Sensor ") + id +
                         QStringLiteral(" could not be found") + kCrLf +
                         QStringLiteral("A new table will be created"));
        AddDataTable(s);
    }
    throw Abort{error};
}

std::optional<QStringView> view(const std::optional<QString>& text) {
    if (!text) return std::nullopt;
    return QStringView(*text);
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
        const Status opened = s.rsGraph.open(s.gConnection, sql::plottableReadingsByDate(id));
        if (!opened.ok()) openFailed(s, id, opened.error());
        if (!s.rsGraph.bof() && !s.rsGraph.eof()) need(s.rsGraph.moveFirst());
    });
}

qint64 CountGraphData(Session& s) {
    qint64 count = 0;
    logged(s, kOpenGraphData, [&] {
        const QString id = currentSensorId(s);
        const Result<qint64> counted = countPlottableReadings(s.gConnection, id);
        if (!counted.ok() && counted.error().number == err::ConnectionLost) count = -1;
        if (!counted.ok()) openFailed(s, id, counted.error());
        count = counted.value();
    });
    return count;
}

namespace {
// What a drawing takes from the readings the recomputation read (the order of equal
// moments: the row numbers').
PlotData plotDataOf(PlotReadings read) {
    PlotData data;
    data.readings = int(read.readings);
    if (read.firstDay) data.firstDay = *read.firstDay;
    if (read.firstDay && read.lastDay) data.dayRange = read.firstDay->daysTo(*read.lastDay);
    std::sort(read.points.begin(), read.points.end(), [](const auto& a, const auto& b) {
        return a.time != b.time ? a.time < b.time : a.rowid < b.rowid;
    });
    for (const PlotReadings::Point& p : read.points) {
        if (p.load) {
            data.loadTimes << p.time;
            data.loads << *p.load;
        }
        if (p.temperature) {
            data.temperatureTimes << p.time;
            data.temperatures << *p.temperature;
        }
    }
    return data;
}
} // namespace

Recomputed G_GetTemporalData(Session& s, const QString& offsetText, Progress& progress,
                             qint64 expected, PlotData* plot, bool* filled) {
    if (filled) *filled = false;
    PlotReadings read;
    const bool oneRead = plot && filled && !s.gConnection.runsProgramFunctions();
    Recomputed result = Recomputed::Done;
    const bool ran = logged(s, kGetTemporalData, [&] {
        const QString id = currentSensorId(s);
        progress.begin(QStringLiteral("Computing the loads of sensor ") + id, expected);
        const auto ended = qScopeGuard([&] { progress.end(); });
        if (!progress.step(0)) {
            result = Recomputed::Cancelled;
            return;
        }
        // SetZeros on every plottable reading, in one transaction; only the readings whose
        // values changed are written.
        const LoadsRecomputed done = recomputeLoads(
            s.gConnection, id, installationOffset(offsetText), progress, oneRead ? &read : nullptr);
        if (read.complete) {
            *plot = plotDataOf(std::move(read));
            *filled = true;
        }
        for (const Error& error : done.notStored)
            s.logFailure(error, kSetZeros);
        if (done.cancelled) {
            result = Recomputed::Cancelled;
            return;
        }
        need(done.status);
        progress.step(done.computed);
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
    auto read = readPlottedLoads(c, instrumentId, installationOffset(offsetText));
    if (!read.ok()) return read.error();
    // Equal moments keep the table's order: for the date forms the store writes, the
    // order of the plot's own ORDER BY FullDate.
    SensorLoads result{std::move(read.value().times),
                       std::move(read.value().loads),
                       read.value().readings,
                       std::move(read.value().unusableTimes),
                       std::move(read.value().unusableTexts),
                       read.value().undated};
    inTimeOrder(result.times, result.loads);
    return result;
}

} // namespace rv
