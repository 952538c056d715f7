// The site server side by side with the database file, each measured in the same run on
// the same data: opening a sensor's 100,000 readings, appending 100,000 imported rows
// (against PostgreSQL's own COPY of the same rows), entering "4. Load v Time", and the
// backup of about 100 MB of readings into a new file (against pg_dump of the same
// database). The server is the one ROCKVANE_TEST_PG names; without it every benchmark here
// says so and measures nothing. The data are made once, outside the timing: a data folder
// whose sensors hold 100,000 readings each, copied onto a new server database of its own,
// which is dropped when the program ends.
#include "app/frmRockvane.h"
#include "bench/BenchData.h"
#include "core/DateText.h"
#include "graphs/ChartPage.h"
#include "import/SlugAppend.h"
#include "platform/Progress.h"
#include "store/Connection.h"
#include "store/DatabaseCopy.h"
#include "store/PgEngine.h"
#include "store/Provisioning.h"
#include "store/Recordset.h"
#include "store/Session.h"
#include "store/Statements.h"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <libpq-fe.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace rv::bench {
namespace {

constexpr int kReadings = 100000;
// Sensors of 100,000 readings each in the database the backup copies: together about
// 100 MB on the server (pg_database_size just after the copy, reported by ServerBackup).
constexpr int kSensors = 3;
constexpr int kRepetitions = 3;

QString serverBase() {
    return qEnvironmentVariable("ROCKVANE_TEST_PG");
}

bool haveServer(benchmark::State& state) {
    if (!serverBase().isEmpty()) return true;
    state.SkipWithError("ROCKVANE_TEST_PG is not set: there is no site server to measure");
    return false;
}

bool check(benchmark::State& state, bool ok, const char* what) {
    if (!ok) state.SkipWithError(what);
    return ok;
}

double seconds(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e9;
}

// A libpq connection of the benchmark's own, beside the program's, for PostgreSQL's own
// commands (COPY, the sizes, dropping the database at the end).
struct PgLink {
    PGconn* conn = nullptr;
    explicit PgLink(const QString& conninfo) {
        conn = PQconnectdb(conninfo.toUtf8().constData());
        if (PQstatus(conn) != CONNECTION_OK)
            fail(QStringLiteral("cannot connect to the site server: ") +
                 QString::fromUtf8(PQerrorMessage(conn)));
    }
    ~PgLink() { PQfinish(conn); }
    PgLink(const PgLink&) = delete;
    PgLink& operator=(const PgLink&) = delete;

    // Runs a command that answers no rows; false (with the server's text on stderr) when
    // it fails.
    bool run(const QString& command) {
        PGresult* r = PQexec(conn, command.toUtf8().constData());
        const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
        if (!ok) std::fprintf(stderr, "rockvane-bench: %s", PQerrorMessage(conn));
        PQclear(r);
        return ok;
    }
    // The first column of the first row of a query as a number; -1 on a failure.
    qint64 number(const QString& query) {
        PGresult* r = PQexec(conn, query.toUtf8().constData());
        qint64 value = -1;
        if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1)
            value = QByteArray(PQgetvalue(r, 0, 0)).toLongLong();
        PQclear(r);
        return value;
    }
    // What "COPY (query) TO STDOUT" sends, in COPY's text format; empty on a failure.
    QByteArray copyOut(const QString& query) {
        PGresult* r =
            PQexec(conn, (QStringLiteral("COPY (") + query + QStringLiteral(") TO STDOUT"))
                             .toUtf8()
                             .constData());
        const bool started = PQresultStatus(r) == PGRES_COPY_OUT;
        PQclear(r);
        QByteArray data;
        if (!started) return data;
        char* line = nullptr;
        int length = 0;
        while ((length = PQgetCopyData(conn, &line, 0)) > 0) {
            data.append(line, length);
            PQfreemem(line);
        }
        while (PGresult* end = PQgetResult(conn))
            PQclear(end);
        return data;
    }
    // "COPY table (columns) FROM STDIN" of data in COPY's text format, sent in pieces of
    // 64 KiB as a client streaming a file does. False when the server refuses it.
    bool copyIn(const QString& table, const QString& columns, const QByteArray& data) {
        PGresult* r = PQexec(conn, (QStringLiteral("COPY ") + table + QStringLiteral(" (") +
                                    columns + QStringLiteral(") FROM STDIN"))
                                       .toUtf8()
                                       .constData());
        const bool started = PQresultStatus(r) == PGRES_COPY_IN;
        PQclear(r);
        if (!started) return false;
        constexpr qsizetype kPiece = 64 * 1024;
        bool ok = true;
        for (qsizetype at = 0; ok && at < data.size(); at += kPiece)
            ok = PQputCopyData(conn, data.constData() + at,
                               int(std::min(kPiece, data.size() - at))) == 1;
        ok = PQputCopyEnd(conn, ok ? nullptr : "the data could not be sent") == 1 && ok;
        while (PGresult* end = PQgetResult(conn)) {
            ok = ok && PQresultStatus(end) == PGRES_COMMAND_OK;
            if (PQresultStatus(end) == PGRES_FATAL_ERROR)
                std::fprintf(stderr, "rockvane-bench: %s", PQerrorMessage(conn));
            PQclear(end);
        }
        return ok;
    }
};

// Drops the benchmark's server database when the program ends, whatever is still
// connected to it.
struct DropAtExit {
    QString name;
    ~DropAtExit() {
        if (name.isEmpty()) return;
        PGconn* conn = PQconnectdb(serverBase().toUtf8().constData());
        if (PQstatus(conn) == CONNECTION_OK)
            PQclear(PQexec(conn, (QStringLiteral("DROP DATABASE IF EXISTS \"") + name +
                                  QStringLiteral("\" WITH (FORCE)"))
                                     .toUtf8()
                                     .constData()));
        PQfinish(conn);
    }
};
DropAtExit dropAtExit;

// A data folder with kSensors sensors of 100,000 readings each (one every 15 minutes from
// 2010) and one sensor with an empty readings table for the appends, and the same data
// copied onto a new database of the server through the program's own copy.
struct ServerData {
    BenchFolder folder;
    QStringList ids = sensorIds(kSensors + 1);
    QString readId = ids.front();
    QString appendId = ids.back();
    QString conninfo;

    ServerData() {
        application();
        folder.addReadingsTables(ids.mid(0, kSensors), kReadings);
        folder.addReadingsTable(appendId, 0);
        folder.addSensorRows(ids);

        const QString name = QStringLiteral("rv_bench_%1").arg(QCoreApplication::applicationPid());
        conninfo = serverBase() + QStringLiteral(" dbname=") + name;
        if (auto made = postgresEngine().create(conninfo); !made.ok())
            fail(QStringLiteral("cannot make the server database: ") + made.error().description);
        dropAtExit.name = name;
        bench::check(provisionServerDatabase(conninfo),
                     QStringLiteral("preparing the server database"));
        Connection file, server;
        bench::check(file.open(folder.databasePath(), Connection::Mode::ReadOnly),
                     QStringLiteral("opening the data folder's file"));
        bench::check(server.openServer(conninfo), QStringLiteral("opening the server database"));
        QElapsedTimer timer;
        timer.start();
        const Result<CopyReport> copied = copyDatabase(file, server, CopyInto::NewDatabase);
        if (!copied.ok())
            fail(QStringLiteral("cannot copy the data onto the server: ") +
                 copied.error().description);
        std::fprintf(stderr, "rockvane-bench: %lld rows copied onto the server in %.1f s\n",
                     copied.value().rows, seconds(timer));
        // Fresh statistics, as the server's autovacuum would have made them by the time a
        // user opens the data.
        PgLink pg(conninfo);
        pg.run(QStringLiteral("VACUUM ANALYZE"));
        // The sizes the backup is measured on, before any benchmark adds to the tables.
        databaseBytes = pg.number(QStringLiteral("SELECT pg_database_size(current_database())"));
        tableBytes = pg.number(QStringLiteral(
            "SELECT sum(pg_total_relation_size(c.oid)) FROM pg_class c JOIN pg_namespace n ON "
            "n.oid = c.relnamespace WHERE c.relkind = 'r' AND n.nspname = 'public'"));
    }
    qint64 databaseBytes = -1; // pg_database_size
    qint64 tableBytes = -1;    // the program's tables with their indexes

    // A session of the program's own kind opened on the file or on the server.
    std::unique_ptr<Session> openSession(bool onServer) {
        auto s =
            std::make_unique<Session>(folder.dialogs, folder.clock, folder.paths, folder.desktop);
        s->gDatabasePath = onServer ? conninfo : folder.databasePath();
        s->gDataFolder = QFileInfo(folder.databasePath()).path();
        const Status opened =
            onServer ? s->gConnection.openServer(conninfo) : s->gConnection.open(s->gDatabasePath);
        bench::check(opened, onServer ? QStringLiteral("opening the server database")
                                      : QStringLiteral("opening the file"));
        return s;
    }
};

ServerData& serverData() {
    // Kept to the end: the windows and sessions on it live as long as the program.
    static ServerData* data = new ServerData;
    return *data;
}

// The figures of one pair: the server's mean time as the benchmark's time, both means and
// their ratio as counters, and the target the ratio is held to.
void report(benchmark::State& state, const char* serverName, double serverSeconds,
            const char* otherName, double otherSeconds, double target) {
    const double n = double(state.iterations());
    state.counters[serverName] = serverSeconds / n * 1e3;
    state.counters[otherName] = otherSeconds / n * 1e3;
    state.counters["ratio"] = otherSeconds > 0 ? serverSeconds / otherSeconds : 0;
    state.counters["target"] = target;
}

// 1. A sensor's 100,000 readings opened and walked on the Readings tab's recordset, on the
// file and on the server in turn in every iteration (each with the previous snapshot
// still held, as when the user moves from one sensor to the next). Target: the server
// within 2x of the file.
void ServerOpenReadings100k(benchmark::State& state) {
    if (!haveServer(state)) return;
    ServerData& d = serverData();
    static std::unique_ptr<Session> onFile = d.openSession(false);
    static std::unique_ptr<Session> onServer = d.openSession(true);
    double fileSeconds = 0, serverSeconds = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const Result<qint64> fileRows = openAndWalk(*onFile, d.readId);
        fileSeconds += seconds(timer);
        timer.restart();
        const Result<qint64> serverRows = openAndWalk(*onServer, d.readId);
        const double server = seconds(timer);
        serverSeconds += server;
        state.SetIterationTime(server);
        if (!check(state, fileRows.ok() && fileRows.value() == kReadings,
                   "the file's readings were not all read") ||
            !check(state, serverRows.ok() && serverRows.value() == kReadings,
                   "the server's readings were not all read"))
            return;
    }
    report(state, "server_ms", serverSeconds, "file_ms", fileSeconds, 2.0);
}
BENCHMARK(ServerOpenReadings100k)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5)
    ->Repetitions(kRepetitions);

// The columns the import writes, in the order the COPY below sends them.
const QString kAppendColumns =
    QStringLiteral("\"DateTimeKey\", \"ReadingDate\", \"ReadingTime\", \"FullDate\", "
                   "\"ChannelT\", \"Channel1\", \"IsDirty\", \"DoNotPlot\"");

// 2. 100,000 imported rows (one every 6 hours from 1980) appended to the sensor's empty
// readings table on the server by the import's own writing (writeReadings: one
// transaction, the rows as the import stores them), against PostgreSQL's own COPY of the
// same rows, in the same text as the server holds them, into an empty table made LIKE
// the sensor's (its columns, defaults, checks and indexes). The COPY's data are read out
// of the server once, outside the timing. The file's append of the same rows is given
// too. Target: the server's append within 2x of the COPY.
void ServerAppend100k(benchmark::State& state) {
    if (!haveServer(state)) return;
    ServerData& d = serverData();
    static std::unique_ptr<Session> onFile = d.openSession(false);
    static std::unique_ptr<Session> onServer = d.openSession(true);
    std::vector<PlannedReading> readings;
    readings.reserve(kReadings);
    QDateTime t = wallClock(QDate(1980, 1, 1));
    for (int i = 0; i < kReadings; ++i, t = t.addSecs(6 * 3600))
        readings.push_back(PlannedReading{t, QByteArray::number(10 + i % 97 * 0.1, 'f', 1),
                                          QByteArray::number(80 + i % 1013 * 0.117, 'f', 2)});
    // The table as the program names it, and as PostgreSQL's own commands do.
    const QString table = sql::quoted(d.appendId);
    const QString pgTable = QStringLiteral("\"") + d.appendId + QStringLiteral("\"");
    const QString copyTable = QStringLiteral("bench_copy_target");
    PgLink pg(d.conninfo);
    QByteArray copyData;
    if (!check(state,
               pg.run(QStringLiteral("DROP TABLE IF EXISTS ") + copyTable) &&
                   pg.run(QStringLiteral("CREATE TABLE ") + copyTable + QStringLiteral(" (LIKE ") +
                          pgTable + QStringLiteral(" INCLUDING ALL)")),
               "cannot make the COPY's table"))
        return;
    auto empty = [&](Connection& c) {
        return c.execute(QStringLiteral("DELETE FROM ") + table).ok();
    };
    NoProgress none;
    double serverSeconds = 0, copySeconds = 0, fileSeconds = 0;
    for (auto _ : state) {
        if (!check(state, empty(onServer->gConnection) && empty(onFile->gConnection),
                   "cannot empty the readings table"))
            return;
        QElapsedTimer timer;
        timer.start();
        const WriteOutcome written =
            writeReadings(onServer->gConnection, d.appendId, readings, none);
        const double server = seconds(timer);
        if (!check(state, written.kind == WriteOutcome::Kind::Written,
                   "the server did not take the readings") ||
            !check(state, pg.number(QStringLiteral("SELECT count(*) FROM ") + pgTable) == kReadings,
                   "the server does not hold every reading"))
            return;
        serverSeconds += server;
        state.SetIterationTime(server);

        // The same rows as the server holds them, for the COPY.
        if (copyData.isEmpty()) {
            copyData =
                pg.copyOut(QStringLiteral("SELECT ") + kAppendColumns + QStringLiteral(" FROM ") +
                           pgTable + QStringLiteral(" ORDER BY \"DateTimeKey\""));
            if (!check(state, copyData.count('\n') == kReadings, "cannot read the rows out"))
                return;
        }
        if (!check(state, pg.run(QStringLiteral("TRUNCATE ") + copyTable),
                   "cannot empty the COPY's table"))
            return;
        timer.restart();
        const bool copied = pg.copyIn(copyTable, kAppendColumns, copyData);
        copySeconds += seconds(timer);
        if (!check(state, copied, "the COPY was refused") ||
            !check(state,
                   pg.number(QStringLiteral("SELECT count(*) FROM ") + copyTable) == kReadings,
                   "the COPY did not write every row"))
            return;

        timer.restart();
        const WriteOutcome onDisk = writeReadings(onFile->gConnection, d.appendId, readings, none);
        fileSeconds += seconds(timer);
        if (!check(state, onDisk.kind == WriteOutcome::Kind::Written,
                   "the file did not take the readings"))
            return;
    }
    report(state, "server_ms", serverSeconds, "copy_ms", copySeconds, 2.0);
    state.counters["file_ms"] = fileSeconds / double(state.iterations()) * 1e3;
    pg.run(QStringLiteral("DROP TABLE ") + copyTable);
    empty(onServer->gConnection);
    empty(onFile->gConnection);
}
BENCHMARK(ServerAppend100k)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(kRepetitions);

// The main window started on the file, and another on the server as --server starts it,
// each having drawn the sensor it starts on (one of the sensors of 100,000 readings, the
// same on both) on "4. Load v Time" once.
struct PlotWindows {
    std::unique_ptr<frmRockvane> onFile, onServer;
    PlotWindows() {
        ServerData& d = serverData();
        onFile = d.folder.startWindow();
        onServer = d.folder.newWindow();
        onServer->setServerArgument(d.conninfo);
        if (!onServer->Form_Load()) fail(QStringLiteral("the window did not start on the server"));
        onServer->show();
        for (frmRockvane* w : {onFile.get(), onServer.get()}) {
            w->SSTab1->setCurrentIndex(1);
            w->SSTab1->setCurrentIndex(3);
            if (w->SSTab1->currentIndex() != 3 || drawn(*w) != kReadings)
                fail(QStringLiteral("the Load v Time plot was not drawn"));
        }
        if (!onServer->session().gConnection.onServer())
            fail(QStringLiteral("the server's window is not on the server"));
    }
    static qsizetype drawn(frmRockvane& w) {
        return w.loadVsTime->chart->series(Chart::kLoadSeries)->data()->size();
    }
};

// From "2. Installation" to "4. Load v Time" with the offset unchanged (the plottable
// readings counted, their loads recomputed, the plot drawn), on the file's window and on
// the server's in turn in every iteration. Target: the server within 1.5x of the file.
void ServerEnterLoadVsTime100k(benchmark::State& state) {
    if (!haveServer(state)) return;
    static PlotWindows* windows = new PlotWindows;
    auto enter = [&](frmRockvane& w) {
        w.SSTab1->setCurrentIndex(1);
        QElapsedTimer timer;
        timer.start();
        w.SSTab1->setCurrentIndex(3);
        const double s = seconds(timer);
        return w.SSTab1->currentIndex() == 3 && PlotWindows::drawn(w) == kReadings ? s : -1;
    };
    double fileSeconds = 0, serverSeconds = 0;
    for (auto _ : state) {
        const double file = enter(*windows->onFile);
        const double server = enter(*windows->onServer);
        if (!check(state, file >= 0 && server >= 0, "the plot was not drawn")) return;
        fileSeconds += file;
        serverSeconds += server;
        state.SetIterationTime(server);
    }
    report(state, "server_ms", serverSeconds, "file_ms", fileSeconds, 1.5);
}
BENCHMARK(ServerEnterLoadVsTime100k)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5)
    ->Repetitions(kRepetitions);

// pg_dump of the PostgreSQL installation the server is from, the newest there is.
QString pgDumpProgram() {
    const QDir installs(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = installs.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& v : versions) {
        const QString path = installs.filePath(v + QStringLiteral("/bin/pg_dump"));
        if (QFileInfo(path).isExecutable()) return path;
    }
    return QStandardPaths::findExecutable(QStringLiteral("pg_dump"));
}

// 4. "Backup Database" on a site server: a new shipped database file made and every table
// of the server's database copied into it (what the backup does, copyDatabase into a new
// file), against pg_dump of the same database (plain SQL into a file; process start
// included), both into a temporary folder, in turn in every iteration. The database holds
// kSensors sensors of 100,000 readings; its size (pg_database_size) and that of its tables
// are given. Target: the backup within 2x of pg_dump.
void ServerBackup(benchmark::State& state) {
    if (!haveServer(state)) return;
    ServerData& d = serverData();
    static std::unique_ptr<Session> onServer = d.openSession(true);
    const QString pgDump = pgDumpProgram();
    if (!check(state, !pgDump.isEmpty(), "there is no pg_dump on this machine")) return;
    QTemporaryDir out;
    double backupSeconds = 0, dumpSeconds = 0, syncSeconds = 0;
    qint64 fileBytes = 0, dumpBytes = 0;
    for (auto _ : state) {
        const QString path = out.filePath(QStringLiteral("backup.mdb"));
        const QString dump = out.filePath(QStringLiteral("dump.sql"));
        QFile::remove(path);
        QFile::remove(dump);
        QElapsedTimer timer;
        timer.start();
        const Result<CopyReport> copied = [&]() -> Result<CopyReport> {
            if (Status s = createShippedDatabase(path); !s.ok()) return s;
            Connection file;
            if (Status s = file.open(path); !s.ok()) return s;
            return copyDatabase(onServer->gConnection, file, CopyInto::NewDatabase);
        }();
        const double backup = seconds(timer);
        if (!check(state, copied.ok() && copied.value().rows >= qint64(kSensors) * kReadings,
                   copied.ok() ? "the backup did not copy every reading"
                               : qPrintable(copied.error().description)))
            return;
        backupSeconds += backup;
        state.SetIterationTime(backup);
        fileBytes = QFileInfo(path).size();

        timer.restart();
        QProcess process;
        process.start(pgDump,
                      {QStringLiteral("--dbname=") + d.conninfo, QStringLiteral("--file=") + dump});
        const bool dumped = process.waitForFinished(600000) &&
                            process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        dumpSeconds += seconds(timer);
        // pg_dump leaves its file to the system to write out; the backup's commit waits
        // until its file is on the disk. The same wait for pg_dump's file is given apart.
        timer.restart();
        if (QFile file(dump); file.open(QIODevice::ReadOnly)) (void)::fsync(file.handle());
        syncSeconds += seconds(timer);
        if (!dumped)
            std::fprintf(stderr, "rockvane-bench: pg_dump: %s\n",
                         process.readAllStandardError().constData());
        if (!check(state, dumped, "pg_dump failed")) return;
        dumpBytes = QFileInfo(dump).size();
    }
    report(state, "backup_ms", backupSeconds, "pg_dump_ms", dumpSeconds, 2.0);
    state.counters["pg_dump_sync_ms"] = syncSeconds / double(state.iterations()) * 1e3;
    state.counters["ratio_synced"] = backupSeconds / (dumpSeconds + syncSeconds);
    state.counters["db_MB"] = double(d.databaseBytes) / 1e6;
    state.counters["tables_MB"] = double(d.tableBytes) / 1e6;
    state.counters["file_MB"] = double(fileBytes) / 1e6;
    state.counters["dump_MB"] = double(dumpBytes) / 1e6;
}
BENCHMARK(ServerBackup)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(kRepetitions);

} // namespace
} // namespace rv::bench
