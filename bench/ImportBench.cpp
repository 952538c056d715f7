// The datalogger import of a file of 100,000 readings (one every 6 hours): staging it and
// opening the import window on it with the proposal, scrolling the window's grid, and
// appending every row, compared in the same run with the sqlite3 shell's ".import" of
// the same rows into a table of the same shape. The file, the data folder and the
// database are made outside the timing; the widgets need a QApplication, made here on
// first use (run with QT_QPA_PLATFORM=offscreen on a machine without a display).
#include "alarms/AlarmStore.h"
#include "bench/BenchData.h"
#include "core/DateText.h"
#include "history/ImportHistory.h"
#include "import/ImportFiles.h"
#include "import/ImportHost.h"
#include "import/SlugAppend.h"
#include "import/StagedRows.h"
#include "import/StagedRowsModel.h"
#include "import/frmSlugData.h"
#include "sensordata/SensorData.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include "store/Session.h"
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace rv::bench {
namespace {

constexpr int kLines = 100000;
constexpr int kRepetitions = 5;

// A sensor with an empty readings table, its datalogger file of 100,000 lines, and the
// same rows as the readings table stores them, as a CSV file for the sqlite3 shell.
struct ImportData {
    BenchFolder folder;
    QTemporaryDir files;
    QString id = sensorIds(1).front();
    QString dataloggerFile;
    QString shellCsv;
    // Every question answered Yes, every message Ok.
    fakes::ScriptedDialogs dialogs{fakes::Unscripted::Yes};
    // The program's day comes after the file's last reading (1980 + 100,000 readings of
    // 6 hours reaches 2048): no row is dated in the future, so every row is proposed.
    fakes::FixedClock clock{wallClock(QDate(2050, 1, 1), QTime(9, 30))};
    fakes::FolderPaths paths;
    fakes::RecordingDesktop desktop;
    std::unique_ptr<Session> session;

    ImportData() {
        application();
        desktop.opens = false;
        folder.addReadingsTable(id, 0);
        dataloggerFile = files.filePath(id + QStringLiteral(".txt"));
        shellCsv = files.filePath(QStringLiteral("rows.csv"));
        QFile file(dataloggerFile);
        QFile csv(shellCsv);
        if (!file.open(QIODevice::WriteOnly) || !csv.open(QIODevice::WriteOnly))
            fail(QStringLiteral("cannot write the datalogger file"));
        // The shell skips the header line (".import --skip 1").
        csv.write("DateTimeKey,ReadingDate,ReadingTime,ChannelT,Channel1,FullDate,IsDirty,"
                  "DoNotPlot\n");
        QDateTime t = wallClock(QDate(1980, 1, 1));
        for (int i = 0; i < kLines; ++i, t = t.addSecs(6 * 3600)) {
            const QByteArray date = readingDateText(t.date()).toLatin1();
            const QByteArray time = readingTimeText(t.time()).toLatin1();
            const QByteArray temp = QByteArray::number(10 + i % 97 * 0.1, 'f', 2);
            const QByteArray load = QByteArray::number(80 + i % 1013 * 0.117, 'f', 3);
            file.write(date + ' ' + time + ",17,25,001," + temp + ',' + load + "\r\n");
            // The shell's table: DateTimeKey, ReadingDate, ReadingTime, ChannelT, Channel1,
            // FullDate, IsDirty, DoNotPlot, written as the program stores them.
            const QByteArray storedDate = t.date().toString(Qt::ISODate).toLatin1();
            const QByteArray fullDate =
                t.time() == QTime(0, 0) ? storedDate : storedDate + ' ' + time;
            csv.write(id.toLatin1() + ' ' + date + ' ' + time + ',' + storedDate + ',' + time +
                      ',' + QByteArray::number(temp.toDouble(), 'f', 1) + ',' +
                      QByteArray::number(load.toDouble(), 'f', 2) + ',' + fullDate + ",1,0\n");
        }
        file.close();
        csv.close();

        session = std::make_unique<Session>(dialogs, clock, paths, desktop);
        Session& s = *session;
        s.gDatabasePath = folder.databasePath();
        s.gDataFolder = QFileInfo(s.gDatabasePath).path();
        const Status opened = s.gConnection.open(s.gDatabasePath);
        const Status added =
            opened.ok() ? s.gConnection.execute(
                              QStringLiteral("INSERT INTO Sensors (InstrumentID, DateID, "
                                             "SensorType, TypeID, SensorNo, Destroyed) VALUES "
                                             "('%1', '1980', '25', '25', '000', 'No')")
                                  .arg(id))
                        : opened;
        if (!added.ok() || !s.rsSensors.open(s.gConnection, sql::SensorsByNumber).ok())
            fail(QStringLiteral("cannot open the database"));
        s.gSensorID = id;
        OpenSensorData(s);
    }

    // Stages the file and opens the import window on it, as imgAddSlugData_Click does.
    struct Window {
        StagedRows rows;
        ImportHost host;
        std::unique_ptr<frmSlugData> window;
    };
    std::unique_ptr<Window> open(const QString& interval, bool recorded = false) {
        auto w = std::make_unique<Window>();
        NoProgress none;
        const StagingOutcome staged =
            OpenSlugData(*session, id + QStringLiteral(".txt"), dataloggerFile, w->rows, none);
        if (staged.kind != StagingOutcome::Kind::Staged) fail(QStringLiteral("not staged"));
        w->host.slugIntervalText = [interval] { return interval; };
        w->window = std::make_unique<frmSlugData>(*session, w->rows, w->host);
        // As imgAddSlugData_Click does on a database with the import history.
        if (recorded) {
            const Result<QString> sha = fileSha256(dataloggerFile);
            if (!sha.ok()) fail(QStringLiteral("cannot read the datalogger file"));
            w->window->setSource(ImportSource{id + QStringLiteral(".txt"), sha.value()});
        }
        w->window->Form_Load();
        w->window->show();
        QApplication::processEvents(); // the grid is laid out and painted
        return w;
    }
    qint64 readings() {
        Query q(session->gConnection, QStringLiteral("SELECT count(*) FROM `%1`").arg(id));
        return q.next() ? q.value(0).toLongLong() : -1;
    }
    void emptyTable() {
        if (!session->gConnection.execute(QStringLiteral("DELETE FROM `%1`").arg(id)).ok())
            fail(QStringLiteral("cannot empty the readings table"));
        OpenSensorData(*session);
    }
    // The import history's tables, made or removed.
    void history(bool on) {
        Connection& c = session->gConnection;
        const Status done =
            on ? ensureHistoryTables(c)
               : c.execute(QStringLiteral("DROP TABLE IF EXISTS ImportBatchRows; DROP TABLE IF "
                                          "EXISTS ImportBatches"));
        if (!done.ok()) fail(QStringLiteral("cannot change the import history's tables"));
    }
    qint64 batchRows() {
        Query q(session->gConnection, QStringLiteral("SELECT count(*) FROM ImportBatchRows"));
        return q.next() ? q.value(0).toLongLong() : -1;
    }

    // The sqlite3 shell's ".import" of the same rows into a new table of the readings'
    // shape (the columns the import writes, their types, checks and indexes). Answers the
    // seconds it took, or -1 when there is no shell.
    double shellImport() {
        static const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
        if (shell.isEmpty()) return -1;
        const QString db = files.filePath(QStringLiteral("shell.db"));
        QFile::remove(db);
        QProcess create;
        create.start(
            shell, {db, QStringLiteral("CREATE TABLE readings (DateTimeKey TEXT UNIQUE, "
                                       "ReadingDate DATETIME CHECK (ReadingDate IS NULL OR "
                                       "(typeof(ReadingDate) = 'text' AND ReadingDate GLOB "
                                       "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*')), "
                                       "ReadingTime TEXT, ChannelT TEXT, Channel1 TEXT, FullDate "
                                       "DATETIME CHECK (FullDate IS NULL OR (typeof(FullDate) = "
                                       "'text' AND FullDate GLOB "
                                       "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*')), IsDirty "
                                       "YESNO DEFAULT 0 CHECK (IsDirty IS NULL OR IsDirty IN (0, "
                                       "1)), DoNotPlot YESNO DEFAULT 0 CHECK (DoNotPlot IS NULL OR "
                                       "DoNotPlot IN (0, 1))); CREATE INDEX readings_FullDate ON "
                                       "readings (FullDate);")});
        if (!create.waitForFinished(60000) || create.exitCode() != 0)
            fail(QStringLiteral("the sqlite3 shell could not make its table"));
        QElapsedTimer timer;
        timer.start();
        QProcess importer;
        importer.start(
            shell, {db, QStringLiteral(".mode csv"),
                    QStringLiteral(".import --skip 1 ") + shellCsv + QStringLiteral(" readings")});
        if (!importer.waitForFinished(120000) || importer.exitCode() != 0)
            fail(QStringLiteral("the sqlite3 shell's .import failed: ") +
                 QString::fromLocal8Bit(importer.readAllStandardError()));
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        QProcess count;
        count.start(shell, {db, QStringLiteral("SELECT count(*) FROM readings")});
        if (!count.waitForFinished(60000) ||
            count.readAllStandardOutput().trimmed().toInt() != kLines)
            fail(QStringLiteral("the sqlite3 shell did not import every row"));
        return seconds;
    }
};

ImportData& importData() {
    static ImportData* data = new ImportData;
    return *data;
}

bool check(benchmark::State& state, bool ok, const char* what) {
    if (!ok) state.SkipWithError(what);
    return ok;
}

// The file copied to the working copy, read and staged, and the import window opened on
// it: the readings re-opened, the grid filled and the marks proposed (a period of 24
// hours) and painted once.
void ImportStageAndShow100k(benchmark::State& state) {
    ImportData& d = importData();
    resetPeakResident();
    const long long before = currentResidentKiB();
    for (auto _ : state) {
        auto w = d.open(QStringLiteral("24"));
        state.PauseTiming();
        if (!check(state, w->window->grid().rowCount() == kLines, "the rows were not shown"))
            return;
        w->window->reject();
        w.reset();
        state.ResumeTiming();
    }
    state.counters["PeakRSS_MiB"] = double(peakResidentKiB()) / 1024;
    state.counters["StartRSS_MiB"] = double(before) / 1024;
}
BENCHMARK(ImportStageAndShow100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// Scrolling the import window's grid of 100,000 rows by a page and painting it.
void ImportGridScroll100k(benchmark::State& state) {
    ImportData& d = importData();
    auto w = d.open(QStringLiteral("24"));
    QScrollBar* bar = w->window->MSFlexGrid1->verticalScrollBar();
    for (auto _ : state) {
        const int next = bar->value() + bar->pageStep();
        bar->setValue(next > bar->maximum() ? 0 : next);
        w->window->MSFlexGrid1->viewport()->repaint();
    }
    check(state, bar->maximum() > 0, "the grid did not scroll");
    w->window->reject();
}
BENCHMARK(ImportGridScroll100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// "append" with every row ticked (a period of 1 hour): the question, the readings made
// of the rows, the duplicate test, the writing of the 100,000 rows in one transaction,
// the re-query, the count message, and the window's closing, which re-opens the readings.
// The time is that of the click; in the same iteration, outside that time, the sqlite3
// shell imports the same rows, and the ratio of the two means is given.
void appendAll(benchmark::State& state, bool recorded) {
    ImportData& d = importData();
    double appendSeconds = 0, shellSeconds = 0;
    int iterations = 0;
    bool shell = true;
    d.history(recorded);
    for (auto _ : state) {
        d.emptyTable();
        if (recorded) {
            d.history(false); // the last iteration's batch forgotten
            d.history(true);
        }
        resetPeakResident();
        auto w = d.open(QStringLiteral("1"), recorded);
        w->window->optDateFormat[0]->click();
        QElapsedTimer timer;
        timer.start();
        w->window->cmdAppend->click();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        state.counters["PeakRSS_MiB"] = double(peakResidentKiB()) / 1024;
        if (!check(state, d.readings() == kLines && w->window->unloaded(),
                   "the rows were not appended"))
            return;
        if (recorded && !check(state, d.batchRows() == kLines, "the batch was not recorded"))
            return;
        w.reset();
        appendSeconds += seconds;
        ++iterations;
        const double s = d.shellImport();
        shell = shell && s >= 0;
        shellSeconds += s;
    }
    if (iterations == 0) return;
    if (shell) {
        state.counters["shell_import_ms"] = shellSeconds / iterations * 1000;
        state.counters["ratio_to_shell"] = appendSeconds / shellSeconds;
    } else {
        state.SetLabel("no sqlite3 shell on this machine: no comparison");
    }
    d.history(false);
}
void ImportAppend100k(benchmark::State& state) {
    appendAll(state, false);
}
BENCHMARK(ImportAppend100k)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(kRepetitions);

// The same append on a database with the import history: the batch and its 100,000 rows
// recorded in the append's own transaction.
void ImportAppend100kRecorded(benchmark::State& state) {
    appendAll(state, true);
}
BENCHMARK(ImportAppend100kRecorded)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(kRepetitions);

// The sqlite3 shell's ".import" of the same 100,000 rows alone (process start included),
// the floor the appends above are compared with.
void ImportShellImport100k(benchmark::State& state) {
    ImportData& d = importData();
    for (auto _ : state) {
        const double seconds = d.shellImport();
        if (seconds < 0) {
            state.SkipWithError("no sqlite3 shell on this machine");
            return;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(ImportShellImport100k)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(kRepetitions);

// The import window opened on a download whose 100,000 rows the sensor holds already,
// the sensor having alarm levels: the stored keys read in one query, every row looked up
// and judged against the levels, on top of the staging and the proposal.
void ImportStageAndShow100kAllStored(benchmark::State& state) {
    ImportData& d = importData();
    d.emptyTable();
    {
        auto w = d.open(QStringLiteral("1"));
        w->window->optDateFormat[0]->click();
        w->window->cmdAppend->click();
    }
    Connection& c = d.session->gConnection;
    if (!ensureAlarmTable(c).ok() ||
        !saveAlarmLevels(c, d.id, AlarmLevels{150.0, 180.0, 20.0}).ok())
        fail(QStringLiteral("cannot set the alarm levels"));
    for (auto _ : state) {
        auto w = d.open(QStringLiteral("24"));
        state.PauseTiming();
        if (!check(state, w->window->grid().checks().stored == kLines,
                   "the stored rows were not found"))
            return;
        w->window->reject();
        w.reset();
        state.ResumeTiming();
    }
    if (!deleteAlarmLevels(c, d.id).ok()) fail(QStringLiteral("cannot remove the levels"));
    d.emptyTable();
}
BENCHMARK(ImportStageAndShow100kAllStored)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions);

// The writing alone: 100,000 planned readings inserted into the empty readings table in
// one transaction through one prepared statement (writeReadings), without the window.
void ImportWriteReadings100k(benchmark::State& state) {
    ImportData& d = importData();
    std::vector<PlannedReading> readings;
    readings.reserve(kLines);
    QDateTime t = wallClock(QDate(1980, 1, 1));
    for (int i = 0; i < kLines; ++i, t = t.addSecs(6 * 3600))
        readings.push_back(PlannedReading{t, QByteArray::number(10 + i % 97 * 0.1, 'f', 1),
                                          QByteArray::number(80 + i % 1013 * 0.117, 'f', 2)});
    NoProgress none;
    for (auto _ : state) {
        state.PauseTiming();
        d.emptyTable();
        state.ResumeTiming();
        const WriteOutcome written = writeReadings(d.session->gConnection, d.id, readings, none);
        if (!check(state, written.kind == WriteOutcome::Kind::Written && d.readings() == kLines,
                   "the readings were not written"))
            return;
    }
}
BENCHMARK(ImportWriteReadings100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

} // namespace
} // namespace rv::bench
