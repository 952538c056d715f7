// Alarm levels and the comparison plot: "Sensors beyond their levels" over 1,000 sensors
// with levels, each with a readings table, and the comparison window drawing 10 sensors
// of 100,000 readings each. The data folders are made once, outside the timing.
#include "alarms/AlarmStore.h"
#include "bench/BenchData.h"
#include "compare/ComparePlot.h"
#include "compare/frmCompare.h"
#include "platform/Progress.h"
#include "store/Connection.h"
#include "store/Session.h"
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>

namespace rv::bench {
namespace {

constexpr int kLevelSensors = 1000;
constexpr int kLevelReadings = 500;
constexpr int kComparedSensors = 10;
constexpr int kComparedReadings = 100000;
constexpr int kRepetitions = 5;

// 1,000 sensors, each with 500 readings (about five days, the loads drifting from 120
// tons) and levels: an alert load between 115 and 125 tons and an alarm load 3 tons
// above it, so that about half of them are beyond a level.
struct LevelsFolder {
    BenchFolder folder;
    QStringList ids = sensorIds(kLevelSensors);

    LevelsFolder() {
        folder.addSensorRows(ids);
        folder.addReadingsTables(ids, kLevelReadings);
        Session& s = folder.session();
        check(s.gConnection.open(folder.databasePath()), "cannot open the database");
        check(ensureAlarmTable(s.gConnection), "cannot add the levels' table");
        check(s.gConnection.begin(), "BEGIN");
        for (int i = 0; i < ids.size(); ++i) {
            const double alert = 115.0 + (i % 11);
            check(saveAlarmLevels(s.gConnection, ids[i], {alert, alert + 3, 1.5}),
                  "cannot save the levels");
        }
        check(s.gConnection.commit(), "COMMIT");
    }
};

void SensorsBeyondLevels1000(benchmark::State& state) {
    static LevelsFolder* data = new LevelsFolder;
    Connection& c = data->folder.session().gConnection;
    std::size_t beyond = 0;
    for (auto _ : state) {
        const auto list = sensorsBeyondLevels(c);
        if (!list) {
            state.SkipWithError("the list could not be made");
            return;
        }
        beyond = list.value().size();
    }
    state.counters["beyond"] = double(beyond);
    if (beyond == 0 || beyond == std::size_t(kLevelSensors))
        state.SkipWithError("the levels do not split the sensors");
}
BENCHMARK(SensorsBeyondLevels1000)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// The comparison window over `count` sensors of 100,000 readings (one every 15 minutes,
// nearly three years each), every sensor ticked.
struct CompareWindow {
    QApplication& app = application();
    BenchFolder folder;
    QStringList ids;
    std::unique_ptr<frmCompare> window;
    NoProgress quiet;

    explicit CompareWindow(int count) : ids(sensorIds(count)) {
        folder.addSensorRows(ids);
        folder.addReadingsTables(ids, kComparedReadings);
        Session& s = folder.session();
        check(s.gConnection.open(folder.databasePath()), "cannot open the database");
        check(ensureAlarmTable(s.gConnection), "cannot add the levels' table");
        for (const QString& id : ids)
            check(saveAlarmLevels(s.gConnection, id, {130.0, 140.0, std::nullopt}),
                  "cannot save the levels");
        window = std::make_unique<frmCompare>(s);
        window->setProgress(&quiet);
        window->show();
        QApplication::processEvents();
        window->tickSensors(ids);
    }
};

// From "Plot ticked sensors" to the plot drawn on screen: ten queries, the loads computed,
// the curves and level lines handed to the plot, and one full repaint.
void CompareTenSensors100k(benchmark::State& state) {
    static CompareWindow* data = new CompareWindow(kComparedSensors);
    ComparePlot& plot = *data->window->ChartCompare;
    for (auto _ : state) {
        data->window->cmdPlot->click();
        plot.replot(QCustomPlot::rpImmediateRefresh);
    }
    if (plot.graphCount() != kComparedSensors ||
        plot.graph(kComparedSensors - 1)->dataCount() != kComparedReadings)
        state.SkipWithError("the sensors were not all drawn");
}
BENCHMARK(CompareTenSensors100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// The heaviest comparison an engineer may ask for: 50 sensors of 100,000 readings each
// (5,000,000 readings), drawn once; its peak memory is the program's (see
// docs/performance.md).
void CompareFiftySensors100k(benchmark::State& state) {
    constexpr int kSensors = 50;
    static CompareWindow* data = new CompareWindow(kSensors);
    ComparePlot& plot = *data->window->ChartCompare;
    for (auto _ : state) {
        data->window->cmdPlot->click();
        plot.replot(QCustomPlot::rpImmediateRefresh);
    }
    if (plot.graphCount() != kSensors || plot.graph(kSensors - 1)->dataCount() != kComparedReadings)
        state.SkipWithError("the sensors were not all drawn");
}
BENCHMARK(CompareFiftySensors100k)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace rv::bench
