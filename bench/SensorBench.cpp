// The sensor registry on 5,000 sensors, each with its readings table, through the main
// window as the user's clicks drive it: moving to the next or previous sensor (saving the
// one left and showing the next), applying and removing a filter, adding a sensor with
// its readings table, and deleting one. The window is built on the offscreen platform
// once, on first use, outside the timing.
#include "app/frmRockvane.h"
#include "bench/BenchData.h"
#include "sensors/FilterGroup.h"
#include "sensors/SensorRegistry.h"
#include "sensors/SensorTabs.h"
#include "store/Session.h"
#include <QApplication>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sqlite3.h>

namespace rv::bench {
namespace {

constexpr int kSensors = 5000;
constexpr int kRepetitions = 5;
// A number beyond every generated identifier: added and deleted again by the benchmarks.
const QString kNewSensor = QStringLiteral("209925001");

// Whether a message other than a question was shown on the folder (adding and deleting
// ask first, and are answered Yes; a benchmark that meets anything else is void).
bool messageShown(BenchFolder& folder) {
    const std::deque<Message>& shown = folder.dialogs.pending();
    return std::any_of(shown.begin(), shown.end(),
                       [](const Message& m) { return m.buttons != Buttons::YesNo; });
}

// 5,000 sensors with levels, locations, install dates over twenty years and one in ten
// destroyed, written in one transaction; then their empty readings tables.
void addSensors(BenchFolder& folder, const QStringList& ids) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(folder.databasePath().toUtf8().constData(), &db, SQLITE_OPEN_READWRITE,
                        nullptr) != SQLITE_OK)
        fail("cannot open the database");
    sqlite3_exec(db, "PRAGMA synchronous = OFF; BEGIN", nullptr, nullptr, nullptr);
    const char* insert =
        "INSERT INTO Sensors (InstrumentID, DateID, SensorType, TypeID, SensorNo, Family, Model, "
        "Level, Location, InstallDate, Destroyed, Recess, HeadLocation) VALUES (?1, substr(?1, 1, "
        "4), substr(?1, 5, 2), substr(?1, 5, 2), substr(?1, 7, 3), 'Load Cell', 'LODIX', ?2, ?3, "
        "?4, ?5, 1.5, 1)";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, insert, -1, &stmt, nullptr) != SQLITE_OK)
        fail("cannot prepare the sensors");
    for (int i = 0; i < ids.size(); ++i) {
        const QByteArray id = ids[i].toUtf8();
        const QByteArray level = QStringLiteral("L%1").arg(i % 20).toUtf8();
        const QByteArray location =
            (i % 2 ? QStringLiteral("North") : QStringLiteral("South")).toUtf8();
        const QByteArray date =
            QDate(2005, 1, 1).addDays(i % 7300).toString(QStringLiteral("yyyy-MM-dd")).toUtf8();
        sqlite3_bind_text(stmt, 1, id.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, level.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 3, location.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 4, date.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 5, i % 10 == 0 ? "Yes" : "No", -1, SQLITE_STATIC);
        if (sqlite3_step(stmt) != SQLITE_DONE) fail("cannot add a sensor");
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    folder.addEmptyReadingsTables(int(ids.size()));
}

struct RegistryData {
    QApplication& app = application();
    BenchFolder folder;
    std::unique_ptr<frmRockvane> window;

    RegistryData() {
        addSensors(folder, sensorIds(kSensors));
        folder.dialogs.unscripted = fakes::Unscripted::Yes;
        window = folder.startWindow();
        if (window->session().rsSensors.recordCount() != kSensors)
            fail("the window did not start on the generated sensors");
    }
    ~RegistryData() { window.reset(); }

    SensorRegistry& registry() { return *window->registry; }
    Recordset& sensors() { return window->session().rsSensors; }
};

RegistryData& registryData() {
    static RegistryData data;
    return data;
}

bool quiet(benchmark::State& state, RegistryData& data) {
    if (!messageShown(data.folder)) return true;
    state.SkipWithError("a message was shown");
    return false;
}

// One click on Next or Previous, alternately, between the first two sensors.
void NextPrevious5000(benchmark::State& state) {
    RegistryData& data = registryData();
    IdentificationTab& tab = *data.window->identification;
    bool forward = data.sensors().absolutePosition() == 1;
    for (auto _ : state) {
        if (forward)
            tab.imgNext->click();
        else
            tab.imgPrevious->click();
        forward = !forward;
    }
    quiet(state, data);
}
BENCHMARK(NextPrevious5000)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

void setCriteria(FilterGroup& f) {
    f.txtFilterLevel->setText(QStringLiteral("L7"));
    f.txtStartDate->setText(QStringLiteral("2006/01/01"));
    f.chkDontShowDestroyed->setChecked(true);
}

// A filter on level, install dates and the destroyed state (232 of the 5,000 pass),
// applied with the filter button: the rows judged, the list rebuilt, the first shown.
void ApplyFilter5000(benchmark::State& state) {
    RegistryData& data = registryData();
    FilterGroup& f = data.registry().filter();
    for (auto _ : state) {
        state.PauseTiming();
        setCriteria(f);
        state.ResumeTiming();
        f.imgFilter->click();
        state.PauseTiming();
        const bool applied = data.sensors().hasFilter();
        f.imgFilter->click();
        state.ResumeTiming();
        if (!applied) {
            state.SkipWithError("the filter was not applied");
            return;
        }
    }
    quiet(state, data);
}
BENCHMARK(ApplyFilter5000)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// The same filter removed again: all 5,000 listed and the first shown.
void RemoveFilter5000(benchmark::State& state) {
    RegistryData& data = registryData();
    FilterGroup& f = data.registry().filter();
    for (auto _ : state) {
        state.PauseTiming();
        setCriteria(f);
        f.imgFilter->click();
        state.ResumeTiming();
        f.imgFilter->click();
        if (data.sensors().hasFilter() || data.sensors().recordCount() != kSensors) {
            state.SkipWithError("the filter was not removed");
            return;
        }
    }
    quiet(state, data);
}
BENCHMARK(RemoveFilter5000)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

void addNewSensor(RegistryData& data) {
    data.registry().gNewSensorID = kNewSensor;
    data.registry().G_AddTypedSensor();
}

// A new sensor typed in and confirmed: the checks, the new row, its readings table, the
// list, and the sensors read again so that it is current. Deleted again outside the timing.
void AddSensor5000(benchmark::State& state) {
    RegistryData& data = registryData();
    for (auto _ : state) {
        addNewSensor(data);
        state.PauseTiming();
        const bool added = data.sensors().recordCount() == kSensors + 1;
        data.registry().imgDelete_Click();
        state.ResumeTiming();
        if (!added) {
            state.SkipWithError("the sensor was not added");
            return;
        }
    }
    quiet(state, data);
}
BENCHMARK(AddSensor5000)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// The current sensor deleted after the question: its table, its row, the list rebuilt and
// the first sensor shown. The sensor is added outside the timing.
void DeleteSensor5000(benchmark::State& state) {
    RegistryData& data = registryData();
    for (auto _ : state) {
        state.PauseTiming();
        addNewSensor(data);
        state.ResumeTiming();
        data.registry().imgDelete_Click();
        if (data.sensors().recordCount() != kSensors) {
            state.SkipWithError("the sensor was not deleted");
            return;
        }
    }
    quiet(state, data);
}
BENCHMARK(DeleteSensor5000)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// Start-up on 1,000 sensors: Form_Load from the second-copy check to the first sensor
// shown (paths, connection, configuration, preferences, the sorted sensor list and the
// sensor record). A new window is built for every run, outside the timing.
struct StartUpData {
    QApplication& app = application();
    BenchFolder folder;
    StartUpData() {
        addSensors(folder, sensorIds(1000));
        folder.dialogs.unscripted = fakes::Unscripted::Yes;
    }
};

// The start-up check: after a clean end (the program's every-day start), and on every
// start as it used to be (after an unclean end).
void formLoad(benchmark::State& state, StartUpCheck rule) {
    static StartUpData data;
    for (auto _ : state) {
        state.PauseTiming();
        auto window = data.folder.newWindow();
        window->setStartUpCheck(rule);
        state.ResumeTiming();
        const bool started = window->Form_Load();
        state.PauseTiming();
        const bool shown = started && window->session().rsSensors.recordCount() == 1000 &&
                           !window->identification->txtSensor->text().isEmpty();
        window.reset();
        state.ResumeTiming();
        if (!shown) {
            state.SkipWithError("the first sensor was not shown");
            return;
        }
    }
    if (messageShown(data.folder)) state.SkipWithError("a message was shown");
}
void FormLoad1000(benchmark::State& state) {
    formLoad(state, StartUpCheck::AfterUncleanEnd);
}
BENCHMARK(FormLoad1000)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
void FormLoad1000AfterUncleanEnd(benchmark::State& state) {
    formLoad(state, StartUpCheck::Always);
}
BENCHMARK(FormLoad1000AfterUncleanEnd)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

} // namespace
} // namespace rv::bench
