// The store: opening and walking a sensor's readings, and looking for a readings table
// among many. Each data folder is generated once, on first use, outside the timing.
#include "bench/BenchData.h"
#include "store/Module1.h"
#include "store/Recordset.h"
#include "store/Session.h"
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>

namespace rv::bench {
namespace {

constexpr int kReadings = 100000;
constexpr int kTables = 1000;
constexpr int kRepetitions = 5;

// Lets go of the open snapshot and hands the freed memory back to the system, so that
// the next open must obtain all its memory afresh, as the first open after start-up does.
void releaseReadings(Session& s) {
    s.rsReadings.releaseStorage();
    malloc_trim(0);
}

// A data folder whose one sensor has 100,000 readings (about three years at one reading
// every 15 minutes), with the run-wide connection open as after start-up and the
// readings opened once, so that every repetition finds the program in the same state.
struct ReadingsData {
    BenchFolder folder;
    QString id = sensorIds(1).front();
    ReadingsData() {
        folder.addReadingsTable(id, kReadings);
        Session& s = folder.session();
        const Status opened = s.gConnection.open(s.gDatabasePath);
        const Result<qint64> rows =
            opened.ok() ? openAndWalk(s, id) : Result<qint64>(opened.error());
        if (!rows.ok() || rows.value() != kReadings) {
            std::fprintf(stderr, "rockvane-bench: the generated readings cannot be read\n");
            std::exit(EXIT_FAILURE);
        }
    }
};

ReadingsData& readingsData() {
    static ReadingsData data;
    return data;
}

// A data folder with 1,000 empty readings tables besides the fixed ones.
struct TablesData {
    BenchFolder folder;
    QString lastId = sensorIds(kTables).back();
    TablesData() {
        folder.addEmptyReadingsTables(kTables);
        // As in the running program, the shared connection is open on the database.
        Session& s = folder.session();
        if (!s.gConnection.open(s.gDatabasePath).ok()) {
            std::fprintf(stderr, "rockvane-bench: the generated tables cannot be opened\n");
            std::exit(EXIT_FAILURE);
        }
    }
};

TablesData& tablesData() {
    static TablesData data;
    return data;
}

bool walkedAll(benchmark::State& state, const Result<qint64>& rows) {
    if (rows.ok() && rows.value() == kReadings) return true;
    state.SkipWithError(rows.ok() ? "wrong number of readings"
                                  : qPrintable(rows.error().description));
    return false;
}

// The readings of a sensor opened while the previous snapshot is still held: reopening
// rsReadings lets go of it first (counted in the time), and the memory it frees is reused,
// as when the user moves from one sensor to the next.
void OpenReadings100k(benchmark::State& state) {
    ReadingsData& data = readingsData();
    Session& s = data.folder.session();
    for (auto _ : state)
        if (!walkedAll(state, openAndWalk(s, data.id))) return;
    state.SetItemsProcessed(state.iterations() * kReadings);

    // Memory, outside the timing: the peak resident size of the process while one
    // recordset is opened from nothing and walked, and what the open recordset holds.
    releaseReadings(s);
    const bool freshPeak = resetPeakResident();
    const long long before = currentResidentKiB();
    if (!walkedAll(state, openAndWalk(s, data.id))) return;
    const long long peak = peakResidentKiB();
    const long long after = currentResidentKiB();
    using benchmark::Counter;
    state.counters["PeakRSS"] = Counter(double(peak) * 1024, Counter::kDefaults, Counter::kIs1024);
    state.counters["RecordsetRSS"] =
        Counter(double(after - before) * 1024, Counter::kDefaults, Counter::kIs1024);
    if (!freshPeak) state.SetLabel("PeakRSS covers the whole run");
}
BENCHMARK(OpenReadings100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// The same with no snapshot held before and its memory given back to the system: the
// first sensor opened after start-up.
void OpenReadings100kFirstOpen(benchmark::State& state) {
    ReadingsData& data = readingsData();
    Session& s = data.folder.session();
    for (auto _ : state) {
        state.PauseTiming();
        releaseReadings(s);
        state.ResumeTiming();
        if (!walkedAll(state, openAndWalk(s, data.id))) return;
    }
    state.SetItemsProcessed(state.iterations() * kReadings);
}
BENCHMARK(OpenReadings100kFirstOpen)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

void TableExists1000(benchmark::State& state) {
    TablesData& data = tablesData();
    Session& s = data.folder.session();
    for (auto _ : state) {
        const bool found = TableExists(s, s.gDatabasePath, data.lastId);
        benchmark::DoNotOptimize(found);
        if (!found) {
            state.SkipWithError("the last readings table was not found");
            return;
        }
    }
}
BENCHMARK(TableExists1000)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

} // namespace
} // namespace rv::bench
