// Undoing an import: a batch of 100,000 readings recorded in the import history is undone
// (the batch's readings found by key and compared with what was appended, deleted in one
// transaction, the batch's record removed), against one SQL DELETE of the same rows by
// key on the same database. The readings table holds 110,000 readings, the batch the
// first 100,000 of them, so the undo has readings to leave alone.
//
// Each run starts from the same database file, copied back outside the timing. The time
// reported is the undo's; "sql_ms" is the single statement's, "ratio" the undo's time
// over it, and "preview_ms" the preview that the confirmation shows (counting the readings
// and finding those edited since), all from the same run.
#include "bench/BenchData.h"
#include "history/ImportHistory.h"
#include "store/ChangeHistory.h"
#include "store/Connection.h"
#include "store/Statements.h"
#include <QElapsedTimer>
#include <QFile>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>

namespace rv::bench {
namespace {

constexpr int kTableReadings = 110000;
constexpr int kBatchReadings = 100000;
constexpr int kRepetitions = 5;

struct RecordedBatch {
    BenchFolder folder;
    QString id = sensorIds(1).front();
    QString pristine;
    qint64 batch = 0;

    RecordedBatch() {
        folder.addReadingsTable(id, kTableReadings);
        Connection c;
        // The history of changes too, as the program keeps it: the undo records every
        // reading it removes there.
        if (!c.open(folder.databasePath()).ok() || !ensureHistoryTables(c).ok() ||
            !ensureChangeTables(c).ok())
            fail(QStringLiteral("the history tables could not be made"));
        std::vector<AppendedRow> rows;
        rows.reserve(kBatchReadings);
        {
            Query q(c, QStringLiteral("SELECT DateTimeKey, ChannelT, Channel1 FROM ") +
                           quoteName(id) + QStringLiteral(" ORDER BY FullDate LIMIT ") +
                           QString::number(kBatchReadings));
            while (q.next())
                rows.push_back({q.value(0).toString(), q.value(1), q.value(2)});
        }
        if (rows.size() != std::size_t(kBatchReadings)) fail(QStringLiteral("too few readings"));
        const ImportBatch b{0,
                            id,
                            QStringLiteral("logger.txt"),
                            QString(64, QLatin1Char('a')),
                            wallClock(QDate(2026, 3, 14), QTime(9, 30)),
                            0,
                            QString()};
        if (!c.begin().ok()) fail(QStringLiteral("BEGIN"));
        const Result<qint64> recorded = recordBatch(c, b, rows);
        if (!recorded.ok() || !c.commit().ok()) fail(QStringLiteral("the batch was not recorded"));
        batch = recorded.value();
        c.close();
        pristine = folder.databasePath() + QStringLiteral(".pristine");
        if (!QFile::copy(folder.databasePath(), pristine)) fail(QStringLiteral("copying"));
    }
    // The database as it was before any undo.
    void restore() {
        QFile::remove(folder.databasePath());
        if (!QFile::copy(pristine, folder.databasePath()))
            fail(QStringLiteral("the database could not be put back"));
    }
    qint64 readings(Connection& c) {
        Query q(c, QStringLiteral("SELECT count(*) FROM ") + quoteName(id));
        return q.next() ? q.value(0).toLongLong() : -1;
    }
};

RecordedBatch& recordedBatch() {
    static RecordedBatch* b = new RecordedBatch;
    return *b;
}

void UndoImport100k(benchmark::State& state) {
    RecordedBatch& b = recordedBatch();
    double undoSeconds = 0, sqlSeconds = 0, previewSeconds = 0;
    for (auto _ : state) {
        b.restore();
        Connection c;
        if (!c.open(b.folder.databasePath()).ok()) fail(QStringLiteral("opening"));
        QElapsedTimer timer;
        timer.start();
        const Result<UndoPreview> preview = previewUndo(c, b.batch);
        const double previewed = double(timer.nsecsElapsed()) / 1e9;
        NoProgress none;
        timer.start();
        const Result<qint64> removed = undoBatch(c, b.batch, none);
        const double undone = double(timer.nsecsElapsed()) / 1e9;
        if (!preview.ok() || preview.value().stored != kBatchReadings || !removed.ok() ||
            removed.value() != kBatchReadings || b.readings(c) != kTableReadings - kBatchReadings) {
            state.SkipWithError("the undo removed the wrong readings");
            return;
        }
        c.close();

        b.restore();
        if (!c.open(b.folder.databasePath()).ok()) fail(QStringLiteral("opening"));
        timer.start();
        const Status sql = c.execute(
            QStringLiteral("DELETE FROM ") + quoteName(b.id) +
            QStringLiteral(" WHERE DateTimeKey IN (SELECT DateTimeKey FROM ImportBatchRows "
                           "WHERE BatchID = ") +
            QString::number(b.batch) + QStringLiteral(")"));
        const double single = double(timer.nsecsElapsed()) / 1e9;
        if (!sql.ok() || b.readings(c) != kTableReadings - kBatchReadings) {
            state.SkipWithError("the SQL DELETE failed");
            return;
        }
        state.SetIterationTime(undone);
        undoSeconds += undone;
        sqlSeconds += single;
        previewSeconds += previewed;
    }
    const double n = double(state.iterations());
    state.counters["sql_ms"] = benchmark::Counter(sqlSeconds * 1000 / n);
    state.counters["preview_ms"] = benchmark::Counter(previewSeconds * 1000 / n);
    state.counters["ratio"] = benchmark::Counter(undoSeconds / sqlSeconds);
}
BENCHMARK(UndoImport100k)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3)
    ->Repetitions(kRepetitions);

} // namespace
} // namespace rv::bench
