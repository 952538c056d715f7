// The plots on a sensor with 100,000 plottable readings, driven through the real main
// window: entering "4. Load v Time" (count, recompute and store, draw) against reading the
// same rows with the engine alone, the recompute and store step with a changed offset
// against one SQL UPDATE doing the same arithmetic, the JPEG export, and redrawing the
// chart zoomed in and in full, and the mouse moving over it. The data folder and the
// window are made once, outside the timing.
#include "app/frmRockvane.h"
#include "bench/BenchData.h"
#include "graphs/ChartPage.h"
#include "graphs/GraphData.h"
#include "platform/Progress.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include "store/Session.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMouseEvent>
#include <QTabWidget>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sqlite3.h>

namespace rv::bench {
namespace {

constexpr int kReadings = 100000;
constexpr int kRepetitions = 5;

// The main window started on a data folder whose one sensor has 100,000 plottable
// readings, one every 15 minutes from 2010 (nearly three years), showing
// "2. Installation".
struct PlotWindow {
    BenchFolder folder;
    QString id = sensorIds(1).front();
    std::unique_ptr<frmRockvane> window;

    PlotWindow() {
        application();
        folder.addReadingsTable(id, kReadings);
        {
            Connection c;
            if (!c.open(folder.databasePath()).ok() ||
                !c.execute(QStringLiteral("INSERT INTO Sensors (InstrumentID, DateID, SensorType, "
                                          "TypeID, SensorNo, Destroyed, Recess) VALUES ('%1', "
                                          "'2010', '25', '25', '000', 'No', 0.1)")
                               .arg(id))
                     .ok())
                fail("cannot add the sensor");
        }
        window = folder.startWindow();
        window->SSTab1->setCurrentIndex(1);
        window->SSTab1->setCurrentIndex(3);
        if (window->SSTab1->currentIndex() != 3 ||
            chart().series(Chart::kLoadSeries)->data()->size() != kReadings)
            fail("the Load v Time plot was not drawn");
    }
    ChartPage& page() { return *window->loadVsTime; }
    Chart& chart() { return *page().chart; }
    Session& session() { return window->session(); }
};

PlotWindow& plotWindow() {
    static PlotWindow* data = new PlotWindow;
    return *data;
}

bool check(benchmark::State& state, bool ok, const char* what) {
    if (!ok) state.SkipWithError(what);
    return ok;
}

// Every plotted row of the sensor read with the engine alone: the plot's own statement
// stepped through, each column's value fetched as the engine holds it. What entering a plot
// with the offset unchanged is measured against. Answers the rows read, -1 on a failure.
qint64 readPlottedRowsRaw(const QString& databasePath, const QString& id) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(databasePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return -1;
    }
    sqlite3_stmt* stmt = nullptr;
    qint64 rows = -1;
    if (sqlite3_prepare_v2(db, sql::plottableReadingsByDate(id).toUtf8().constData(), -1, &stmt,
                           nullptr) == SQLITE_OK) {
        rows = 0;
        const int columns = sqlite3_column_count(stmt);
        std::size_t bytes = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            ++rows;
            for (int i = 0; i < columns; ++i) {
                switch (sqlite3_column_type(stmt, i)) {
                case SQLITE_TEXT:
                    bytes += std::size_t(sqlite3_column_bytes(stmt, i)) +
                             (sqlite3_column_text(stmt, i) ? 1 : 0);
                    break;
                case SQLITE_FLOAT:
                    bytes += sqlite3_column_double(stmt, i) != 0 ? 8 : 0;
                    break;
                case SQLITE_INTEGER:
                    bytes += sqlite3_column_int64(stmt, i) != 0 ? 8 : 0;
                    break;
                default:
                    break;
                }
            }
        }
        benchmark::DoNotOptimize(bytes);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

// From "2. Installation" to "4. Load v Time" with the offset unchanged: the plottable
// readings counted, their loads recomputed (none stored: none changed), the plot drawn.
// In every iteration the same rows are also read with the engine alone; the time reported
// is the tab's, "raw_ms" the engine's and "ratio" the tab's time over it, from one run.
void EnterLoadVsTime100k(benchmark::State& state) {
    PlotWindow& w = plotWindow();
    double enterSeconds = 0, rawSeconds = 0;
    for (auto _ : state) {
        w.window->SSTab1->setCurrentIndex(1);
        QElapsedTimer timer;
        timer.start();
        w.window->SSTab1->setCurrentIndex(3);
        const double enter = double(timer.nsecsElapsed()) / 1e9;
        if (!check(state, w.window->SSTab1->currentIndex() == 3, "the plot was refused")) return;

        timer.restart();
        const qint64 rows = readPlottedRowsRaw(w.folder.databasePath(), w.id);
        rawSeconds += double(timer.nsecsElapsed()) / 1e9;
        if (!check(state, rows == kReadings, "the engine read the wrong rows")) return;
        state.SetIterationTime(enter);
        enterSeconds += enter;
    }
    check(state, w.chart().series(Chart::kLoadSeries)->data()->size() == kReadings,
          "the plot was not drawn");
    const double n = double(state.iterations());
    state.counters["raw_ms"] = rawSeconds / n * 1e3;
    state.counters["ratio"] = rawSeconds > 0 ? enterSeconds / rawSeconds : 0;
}
BENCHMARK(EnterLoadVsTime100k)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Repetitions(kRepetitions);

// The recompute and store step with the offset changed, against one SQL UPDATE doing the
// same arithmetic on the same rows, alternating in every iteration. Two offsets take turns
// so that every reading's zero1 really changes each time, for both: the recompute stores
// the loads after 0.10 over the ones the UPDATE left after 0.20, and the UPDATE the loads
// after 0.20 over the recompute's. The time reported is the recompute's, the counters give
// both and their ratio.
void RecomputeAgainstSqlUpdate100k(benchmark::State& state) {
    PlotWindow& w = plotWindow();
    Session& s = w.session();
    NoProgress quiet;
    const QString update =
        QStringLiteral("UPDATE ") + sql::quoted(w.id) +
        QStringLiteral(" SET zero1 = CASE WHEN Channel1 IS NULL OR Channel1 = '' THEN 0 ELSE "
                       "CAST(Channel1 AS REAL) - ?1 END, NumTemp = CASE WHEN ChannelT IS NULL OR "
                       "ChannelT = '' THEN 0 ELSE CAST(ChannelT AS REAL) END WHERE DoNotPlot = "
                       "False");
    auto sqlUpdate = [&](float offset) {
        Query q(s.gConnection, update);
        q.bind(1, double(offset));
        return q.run();
    };
    // The loads stored as the UPDATE leaves them, so that the first recompute changes them.
    if (!check(state, sqlUpdate(0.20f).ok(), "the SQL UPDATE failed")) return;
    double recompute = 0, sqlSeconds = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const Recomputed done = G_GetTemporalData(s, QStringLiteral("0.10"), quiet);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (!check(state, done == Recomputed::Done, "the recomputation did not finish")) return;
        state.SetIterationTime(seconds);
        recompute += seconds;

        timer.restart();
        const Status ran = sqlUpdate(0.20f);
        sqlSeconds += double(timer.nsecsElapsed()) / 1e9;
        if (!check(state, ran.ok(), "the SQL UPDATE failed")) return;
    }
    // The loads left as the plot stores them.
    G_GetTemporalData(s, QStringLiteral("0.10"), quiet);
    const double n = double(state.iterations());
    state.counters["recompute_ms"] = recompute / n * 1e3;
    state.counters["sql_update_ms"] = sqlSeconds / n * 1e3;
    state.counters["ratio"] = sqlSeconds > 0 ? recompute / sqlSeconds : 0;
}
BENCHMARK(RecomputeAgainstSqlUpdate100k)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Repetitions(kRepetitions);

// "Export as JPG": the chart drawn at 983 x 601 pixels, encoded and written.
void ExportJpeg100k(benchmark::State& state) {
    PlotWindow& w = plotWindow();
    w.chart().unzoom();
    const QString path = w.session().gDataFolder + QStringLiteral("/Temporal.jpg");
    for (auto _ : state)
        if (!check(state, w.page().exportPicture(path), "the export failed")) return;
    check(state, QFileInfo(path).size() > 10000, "no picture was written");
}
BENCHMARK(ExportJpeg100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// One frame while the user zooms or scrolls: the chart redrawn with the view changed.
void RedrawZoomed100k(benchmark::State& state) {
    PlotWindow& w = plotWindow();
    Chart& c = w.chart();
    c.unzoom();
    const QCPRange full = c.timeAxis()->range();
    int frame = 0;
    for (auto _ : state) {
        // A quarter of the time range, moving a little at every frame as in a drag.
        const double start = full.lower + full.size() * (0.25 + 0.001 * (frame++ % 100));
        c.timeAxis()->setRange(start, start + full.size() / 4);
        c.replot(QCustomPlot::rpImmediateRefresh);
    }
    c.unzoom();
}
BENCHMARK(RedrawZoomed100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

void RedrawFull100k(benchmark::State& state) {
    PlotWindow& w = plotWindow();
    Chart& c = w.chart();
    c.unzoom();
    int frame = 0;
    for (auto _ : state) {
        // Scrolling the load axis by a pixel or so at every frame.
        const double shift = 0.05 * (frame++ % 20);
        c.loadAxis()->setRange(shift, 20 + shift);
        c.replot(QCustomPlot::rpImmediateRefresh);
    }
    c.unzoom();
}
BENCHMARK(RedrawFull100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// The mouse moving over the plot: whether it is over a curve decides the pointer.
void HoverOverPlot100k(benchmark::State& state) {
    PlotWindow& w = plotWindow();
    Chart& c = w.chart();
    c.unzoom();
    c.replot(QCustomPlot::rpImmediateRefresh);
    const QRect plot = c.axisRect()->rect();
    int frame = 0;
    for (auto _ : state) {
        const QPointF at(plot.left() + (frame++ * 7) % plot.width(), plot.center().y());
        QMouseEvent move(QEvent::MouseMove, at, c.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&c, &move);
    }
}
BENCHMARK(HoverOverPlot100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

} // namespace
} // namespace rv::bench
