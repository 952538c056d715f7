// The weekly report: 50 sensors of 100,000 readings each (every reading in the period, all
// of them plotted), read, figured, drawn and written as a PDF and as an OpenDocument text;
// and 300 sensors of 500 readings, the largest Level a mine has, as a PDF. The data
// folders are made once, outside the timing.
#include "alarms/AlarmStore.h"
#include "bench/BenchData.h"
#include "reports/WeeklyReport.h"
#include "store/Connection.h"
#include "store/Session.h"
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <benchmark/benchmark.h>

namespace rv::bench {
namespace {

// `count` sensors of `readings` readings each, all on Level "L0", every other one with an
// alert load of 130 t and an alarm load of 140 t.
struct WeeklyFolder {
    QApplication& app = application();
    BenchFolder folder;
    QStringList ids;

    WeeklyFolder(int count, int readings) : ids(sensorIds(count)) {
        folder.addSensorRows(ids);
        folder.addReadingsTables(ids, readings);
        Session& s = folder.session();
        check(s.gConnection.open(folder.databasePath()), "cannot open the database");
        check(s.gConnection.execute(QStringLiteral("UPDATE Sensors SET Level = 'L0'")),
              "cannot put the sensors on one Level");
        check(ensureAlarmTable(s.gConnection), "cannot add the levels' table");
        for (int i = 0; i < ids.size(); i += 2)
            check(saveAlarmLevels(s.gConnection, ids[i], {130.0, 140.0, std::nullopt}),
                  "cannot save the levels");
    }
};

// From the chosen Level to the document on disk.
void weeklyReport(benchmark::State& state, WeeklyFolder& data, const char* suffix) {
    Session& s = data.folder.session();
    const WeeklyChoice choice{WeeklyChoice::Kind::Level, QStringLiteral("L0"),
                              WeeklyPeriod::AllReadings, QStringLiteral("Bench mine")};
    const QString path = QDir(data.folder.session().gDataFolder)
                             .filePath(QStringLiteral("Weekly report.") + QLatin1String(suffix));
    NoProgress quiet;
    int pages = 0;
    std::size_t plots = 0;
    for (auto _ : state) {
        const auto built = buildWeeklyReport(s, choice, quiet);
        if (!built) {
            state.SkipWithError("the report could not be made");
            return;
        }
        plots = built.value().report.plots.size();
        const auto written = writeWeeklyReport(built.value().report, path);
        if (!written) {
            state.SkipWithError("the report could not be written");
            return;
        }
        pages = written.value();
    }
    state.counters["pages"] = pages;
    state.counters["MB"] = double(QFileInfo(path).size()) / (1024.0 * 1024.0);
    if (plots != std::size_t(data.ids.size())) state.SkipWithError("a plot is missing");
}

void WeeklyReport50Sensors100kPdf(benchmark::State& state) {
    static WeeklyFolder* data = new WeeklyFolder(50, 100000);
    weeklyReport(state, *data, "pdf");
}
BENCHMARK(WeeklyReport50Sensors100kPdf)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

void WeeklyReport50Sensors100kOdt(benchmark::State& state) {
    static WeeklyFolder* data = new WeeklyFolder(50, 100000);
    weeklyReport(state, *data, "odt");
}
BENCHMARK(WeeklyReport50Sensors100kOdt)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

void WeeklyReport300SensorsPdf(benchmark::State& state) {
    static WeeklyFolder* data = new WeeklyFolder(300, 500);
    weeklyReport(state, *data, "pdf");
}
BENCHMARK(WeeklyReport300SensorsPdf)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

} // namespace
} // namespace rv::bench
