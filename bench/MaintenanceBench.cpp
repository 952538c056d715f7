// Maintenance on a database of about 100 MB: a backup, a restore and the safety backup
// before an import, each timed once and set against copying the same file with cp (the
// ratio is printed as a counter, also against cp followed by a flush of the copy to the
// disk, which the backup does); the quick check of every start; the compaction at the end
// of a run; and the sensor report with its plot picture.
//
// The data folder is generated once, outside the timing. The report's chart is a picture
// of the chart's usual size drawn here and saved as a JPEG, as the chart page's export
// does; the report window is answered OK as soon as it shows.
#include "bench/BenchData.h"
#include "maintenance/BackupGroup.h"
#include "maintenance/Maintenance.h"
#include "reports/SensorReport.h"
#include "reports/frmReport.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include "store/Provisioning.h"
#include "store/Session.h"
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace rv::bench {
namespace {

constexpr qint64 kTargetBytes = 100LL * 1024 * 1024;
constexpr int kReadingsPerTable = 100000;
constexpr int kRepetitions = 5;

class QuietHost : public MaintenanceHost {
public:
    void setSensorCount(const QString&) override {}
    void showCurrentSensor() override {}
    void setSensorBoxText(const QString&) override {}
    void relistSensors() override {}
    void endProgram() override { fail(QStringLiteral("the database could not be reopened")); }
};

// Readings tables of 100,000 readings are added until the file holds 100 MB; a tenth of
// the last table's readings is then deleted, leaving pages for the compaction to free.
struct BigDatabase {
    BenchFolder folder;
    QString dataFolder;
    QString backupFolder;
    int tables = 0;

    BigDatabase() {
        application();
        Session& s = folder.session();
        dataFolder = s.gDataFolder;
        backupFolder = dataFolder + QStringLiteral("/") + kBackupFolderName;
        const QStringList ids = sensorIds(64);
        while (QFileInfo(folder.databasePath()).size() < kTargetBytes && tables < ids.size())
            folder.addReadingsTable(ids[tables++], kReadingsPerTable);
        Connection c;
        Status st = c.open(folder.databasePath());
        for (int i = 0; st.ok() && i < tables; ++i)
            st = c.execute(QStringLiteral("INSERT INTO Sensors (InstrumentID, DateID, SensorType, "
                                          "TypeID, SensorNo, Family, Destroyed) VALUES ('%1', "
                                          "'2010', '25', '25', '%2', 'Load Cell', 'No')")
                               .arg(ids[i])
                               .arg(i, 3, 10, QLatin1Char('0')));
        if (st.ok())
            st = c.execute(
                QStringLiteral("DELETE FROM `%1` WHERE rowid % 10 = 0").arg(ids[tables - 1]));
        if (!st.ok()) fail(QStringLiteral("preparing the database: ") + st.error().description);
        QDir().mkpath(backupFolder);
    }
    qint64 size() const { return QFileInfo(folder.databasePath()).size(); }
};

BigDatabase& bigDatabase() {
    static BigDatabase data;
    return data;
}

// Seconds taken by cp (and, with flush, cp then sync of the copy) for the file.
double copySeconds(const QString& from, const QString& to, bool flush) {
    QFile::remove(to);
    QElapsedTimer t;
    t.start();
    if (QProcess::execute(QStringLiteral("cp"), {from, to}) != 0) fail(QStringLiteral("cp failed"));
    if (flush && QProcess::execute(QStringLiteral("sync"), {to}) != 0)
        fail(QStringLiteral("sync failed"));
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    QFile::remove(to);
    return seconds;
}

void setCopyCounters(benchmark::State& state, double seconds, const QString& from) {
    BigDatabase& data = bigDatabase();
    const QString scratch = data.backupFolder + QStringLiteral("/cp-scratch.mdb");
    const double cp = copySeconds(from, scratch, false);
    const double cpSync = copySeconds(from, scratch, true);
    state.counters["MB"] = double(QFileInfo(from).size()) / (1024.0 * 1024.0);
    state.counters["cp_s"] = cp;
    state.counters["cp_sync_s"] = cpSync;
    state.counters["ratio_to_cp"] = seconds / cp;
    state.counters["ratio_to_cp_sync"] = seconds / cpSync;
}

void Backup100MB(benchmark::State& state) {
    BigDatabase& data = bigDatabase();
    Session& s = data.folder.session();
    BackupGroup group;
    QuietHost host;
    Maintenance maintenance(s, group, host);
    const QString backup =
        data.backupFolder + QStringLiteral("/") + backupFileName(s.clock.today());
    double seconds = 0;
    for (auto _ : state) {
        QFile::remove(backup);
        QElapsedTimer t;
        t.start();
        if (!maintenance.G_BackupDB(data.dataFolder + QStringLiteral("/"), kDatabaseFileName))
            fail(QStringLiteral("the backup failed"));
        seconds = double(t.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
    }
    setCopyCounters(state, seconds, data.folder.databasePath());
}
BENCHMARK(Backup100MB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void Restore100MB(benchmark::State& state) {
    BigDatabase& data = bigDatabase();
    Session& s = data.folder.session();
    BackupGroup group;
    QuietHost host;
    Maintenance maintenance(s, group, host);
    const QString name = backupFileName(s.clock.today());
    if (!QFileInfo::exists(data.backupFolder + QStringLiteral("/") + name) &&
        !maintenance.G_BackupDB(data.dataFolder + QStringLiteral("/"), kDatabaseFileName))
        fail(QStringLiteral("the backup to restore from failed"));
    double seconds = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        if (!maintenance.G_RestoreDB(data.dataFolder + QStringLiteral("/"), kDatabaseFileName,
                                     name))
            fail(QStringLiteral("the restore failed"));
        seconds = double(t.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
    }
    setCopyCounters(state, seconds, data.backupFolder + QStringLiteral("/") + name);
}
BENCHMARK(Restore100MB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// The safety backup made before an import: the engine's page copy from the open connection
// into the work name, its flush, the rename, and the pruning of the folder. Timed once, as
// the user meets it, and set against cp like the backup.
void SafetyBackup100MB(benchmark::State& state) {
    BigDatabase& data = bigDatabase();
    Session& s = data.folder.session();
    BackupGroup group;
    QuietHost host;
    Maintenance maintenance(s, group, host);
    if (!s.gConnection.open(data.folder.databasePath()).ok() ||
        !s.rsSensors.open(s.gConnection, sql::SensorsByNumber).ok())
        fail(QStringLiteral("opening the database"));
    double seconds = 0;
    QString name;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        const Result<QString> made = maintenance.writeSafetyBackup(SafetyReason::Import);
        seconds = double(t.nsecsElapsed()) / 1e9;
        if (!made.ok())
            fail(QStringLiteral("the safety backup failed: ") + made.error().description);
        name = made.value();
        state.SetIterationTime(seconds);
    }
    s.rsSensors.close();
    s.gConnection.close();
    const QString path = data.backupFolder + QStringLiteral("/") + name;
    setCopyCounters(state, seconds, data.folder.databasePath());
    QFile::remove(path);
}
BENCHMARK(SafetyBackup100MB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// The engine's quick check of the 100 MB database, as start-up runs it on every start.
void StartUpQuickCheck100MB(benchmark::State& state) {
    BigDatabase& data = bigDatabase();
    MaintenanceFiles files;
    for (auto _ : state) {
        if (!files.checkDatabase(data.folder.databasePath(), MaintenanceFiles::Check::Quick).ok())
            fail(QStringLiteral("the quick check failed"));
    }
    state.counters["MB"] = double(data.size()) / (1024.0 * 1024.0);
}
BENCHMARK(StartUpQuickCheck100MB)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// Each repetition compacts a fresh copy of the 100 MB database with its deleted rows.
void Compact100MB(benchmark::State& state) {
    BigDatabase& data = bigDatabase();
    Session& s = data.folder.session();
    MaintenanceFiles files;
    const QString work = data.dataFolder + QStringLiteral("/bench-compact");
    QDir().mkpath(work);
    const QString database = work + QStringLiteral("/") + kDatabaseFileName;
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(database);
        if (!QFile::copy(data.folder.databasePath(), database))
            fail(QStringLiteral("copying the database to compact"));
        state.ResumeTiming();
        if (!G_CompactDB(s, work + QStringLiteral("/"), kDatabaseFileName, files))
            fail(QStringLiteral("the compaction failed"));
    }
    state.counters["MB_before"] = double(data.size()) / (1024.0 * 1024.0);
    state.counters["MB_after"] = double(QFileInfo(database).size()) / (1024.0 * 1024.0);
}
BENCHMARK(Compact100MB)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// The report of a sensor with both sections, from OK in the report window to the
// document handed to the word processor.
class ChartHost : public ReportHost {
public:
    int tab = kReadingsTab;
    int currentTab() const override { return tab; }
    void selectTab(int index) override { tab = index; }
    bool exportLoadVsTime(const QString& path) override {
        QImage chart(780, 500, QImage::Format_RGB32);
        chart.fill(Qt::white);
        QPainter p(&chart);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0, 0, 160), 1.5));
        QPointF last(60, 440);
        for (int x = 61; x < 760; ++x) {
            const QPointF next(x, 440 - (x - 60) * 0.5 - 20 * std::sin(x / 15.0));
            p.drawLine(last, next);
            last = next;
        }
        p.end();
        return chart.save(path, "JPG");
    }
};

void ReportWithPlot(benchmark::State& state) {
    BigDatabase& data = bigDatabase();
    fakes::ScriptedDialogs dialogs{fakes::Unscripted::No};
    fakes::FixedClock clock;
    fakes::FolderPaths paths;
    fakes::RecordingDesktop desktop; // the written report opens
    Session s(dialogs, clock, paths, desktop);
    s.gDataFolder = data.dataFolder;
    if (!s.gConnection.open(data.folder.databasePath()).ok() ||
        !s.rsSensors.open(s.gConnection, sql::SensorsByNumber).ok())
        fail(QStringLiteral("opening the sensors"));
    ChartHost host;
    SensorReport report(s, host, nullptr);
    const QString documents = data.dataFolder + QStringLiteral("/bench-reports");
    QDir().mkpath(documents);
    report.setDocumentFolder(documents);
    frmReport& form = report.reportWindow();
    for (auto _ : state) {
        QTimer::singleShot(0, &form, [&form] { form.cmdOK->click(); });
        report.imgReport_Click();
        if (report.lastDocument().isEmpty()) fail(QStringLiteral("no report was written"));
        state.PauseTiming();
        QFile::remove(report.lastDocument());
        state.ResumeTiming();
    }
}
BENCHMARK(ReportWithPlot)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

} // namespace
} // namespace rv::bench
