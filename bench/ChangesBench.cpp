// The history of changes on a sensor with 100,000 readings: what keeping it costs the
// writes that record it, and how fast the Changes window lists a long history.
//
//  - WriteBack1000: a datasheet write-back that changes the load of 1,000 readings (every
//    100th), on a database that keeps the history, against the same write-back on a copy
//    without the history's tables (which records nothing). "plain_ms" is the latter,
//    "ratio" the write-back's time over it.
//  - Delete50k: deleting the readings of the first 521 days (50,016 readings, one every 15
//    minutes), the same two ways.
//  - List100k: reading 100,000 entries of one sensor, newest first, as the Changes window
//    lists them (the entries of a recorded deletion of 100,000 readings).
//
// Each run starts from the same database files, copied back outside the timing.
#include "bench/BenchData.h"
#include "store/ChangeHistory.h"
#include "store/Connection.h"
#include "store/ReadingsTable.h"
#include "store/Statements.h"
#include <QElapsedTimer>
#include <QFile>
#include <benchmark/benchmark.h>

namespace rv::bench {
namespace {

constexpr int kReadings = 100000;
constexpr int kRepetitions = 5;

std::optional<QDate> noDay(const QVariant&, const QVariant&, const QVariant&) {
    return std::nullopt;
}

// Two copies of one database: with the history's tables ("kept") and without ("plain").
struct TwoDatabases {
    BenchFolder folder;
    QString id = sensorIds(1).front();
    QString kept, plain, keptPristine, plainPristine;

    TwoDatabases() {
        folder.addReadingsTable(id, kReadings);
        plain = folder.databasePath() + QStringLiteral(".plain");
        if (!QFile::copy(folder.databasePath(), plain)) fail(QStringLiteral("copying"));
        {
            Connection c;
            if (!c.open(folder.databasePath()).ok() || !ensureChangeTables(c).ok())
                fail(QStringLiteral("the history's tables could not be made"));
        }
        kept = folder.databasePath();
        keptPristine = kept + QStringLiteral(".pristine");
        plainPristine = plain + QStringLiteral(".pristine");
        if (!QFile::copy(kept, keptPristine) || !QFile::copy(plain, plainPristine))
            fail(QStringLiteral("copying"));
    }
    void restore() {
        for (const auto& [file, pristine] :
             {std::pair{kept, keptPristine}, {plain, plainPristine}}) {
            QFile::remove(file);
            if (!QFile::copy(pristine, file))
                fail(QStringLiteral("the database could not be put back"));
        }
    }
};

TwoDatabases& databases() {
    static TwoDatabases* d = new TwoDatabases;
    return *d;
}

// Times work(c) on each database in turn; reports the kept one's time, the plain one's and
// their ratio.
template <class Work> void againstPlain(benchmark::State& state, Work work) {
    TwoDatabases& d = databases();
    double keptSeconds = 0, plainSeconds = 0;
    for (auto _ : state) {
        d.restore();
        double seconds[2] = {0, 0};
        int i = 0;
        for (const QString& path : {d.kept, d.plain}) {
            Connection c;
            if (!c.open(path).ok()) fail(QStringLiteral("opening"));
            QElapsedTimer timer;
            timer.start();
            if (!work(c, d.id)) {
                state.SkipWithError("the work failed");
                return;
            }
            seconds[i++] = double(timer.nsecsElapsed()) / 1e9;
        }
        state.SetIterationTime(seconds[0]);
        keptSeconds += seconds[0];
        plainSeconds += seconds[1];
    }
    const double n = double(state.iterations());
    state.counters["plain_ms"] = benchmark::Counter(plainSeconds * 1000 / n);
    state.counters["ratio"] = benchmark::Counter(keptSeconds / plainSeconds);
}

void WriteBack1000(benchmark::State& state) {
    againstPlain(state, [](Connection& c, const QString& id) {
        std::vector<ReadingValues> values;
        for (qint64 rowid = 1; rowid <= kReadings; rowid += 100)
            values.push_back({rowid, {{0, QStringLiteral("0123.45")}}, QVariant(0)});
        return writeReadingValues(c, id, {QStringLiteral("Channel1")}, values).ok();
    });
}
BENCHMARK(WriteBack1000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3)
    ->Repetitions(kRepetitions);

void Delete50k(benchmark::State& state) {
    againstPlain(state, [](Connection& c, const QString& id) {
        const Result<qint64> n =
            deleteReadingsOnDays(c, id, QDate(2010, 1, 1), QDate(2011, 6, 5), noDay);
        return n.ok() && n.value() == 50016;
    });
}
BENCHMARK(Delete50k)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3)
    ->Repetitions(kRepetitions);

// A history of 100,000 entries: every reading deleted once, recorded.
struct LongHistory {
    TwoDatabases& d = databases();
    LongHistory() {
        d.restore();
        Connection c;
        if (!c.open(d.kept).ok()) fail(QStringLiteral("opening"));
        const Result<qint64> n = deleteAllReadings(c, d.id);
        if (!n.ok() || n.value() != kReadings) fail(QStringLiteral("the deletion failed"));
    }
};

void List100k(benchmark::State& state) {
    static LongHistory* h = new LongHistory;
    Connection c;
    if (!c.open(h->d.kept).ok()) fail(QStringLiteral("opening"));
    for (auto _ : state) {
        ChangeFilter filter;
        filter.instrumentId = h->d.id;
        const auto entries = listChanges(c, filter);
        if (!entries.ok() || entries.value().size() != std::size_t(kReadings)) {
            state.SkipWithError("the history was not listed whole");
            return;
        }
        benchmark::DoNotOptimize(entries.value().data());
    }
}
BENCHMARK(List100k)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(kRepetitions);

} // namespace
} // namespace rv::bench
