#include "bench/BenchData.h"
#include "app/frmRockvane.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include "store/Provisioning.h"
#include "store/Statements.h"
#include <QApplication>
#include <QDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace rv::bench {

[[noreturn]] void fail(const QString& what) {
    std::fprintf(stderr, "rockvane-bench: %s\n", what.toLocal8Bit().constData());
    std::exit(EXIT_FAILURE);
}

void check(const Status& s, const QString& what) {
    if (!s.ok()) fail(what + QStringLiteral(": ") + s.error().description);
}

QApplication& application() {
    // One application object for the whole program, made by the first benchmark that
    // needs windows.
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    static int argc = 1;
    static char name[] = "rockvane-bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

namespace {

void checkSql(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        fail(QString::fromLatin1(what) + QStringLiteral(": ") +
             QString::fromUtf8(sqlite3_errmsg(db)));
}

// A connection of the program's own kind, made quick for bulk set-up: the journal in
// memory and no waiting for the disk. Both settings last only as long as the
// connection; the file itself is left as the program would find it.
void openForSetUp(Connection& c, const QString& path) {
    check(c.open(path), QStringLiteral("opening ") + path);
    check(c.execute(QStringLiteral("PRAGMA synchronous = OFF")), QStringLiteral("set-up pragma"));
    check(c.execute(QStringLiteral("PRAGMA journal_mode = MEMORY")),
          QStringLiteral("set-up pragma"));
}

long long statusField(const char* field) {
    // /proc files report no size, so they are read line by line until the end.
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(field) + ':';
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            // "VmHWM:     123456 kB"
            try {
                return std::stoll(line.substr(prefix.size()));
            } catch (const std::exception&) {
                return -1;
            }
        }
    }
    return -1;
}

} // namespace

BenchFolder::BenchFolder() : m_tmp(QDir::tempPath() + QStringLiteral("/rockvane-bench-XXXXXX")) {
    if (!m_tmp.isValid())
        fail(QStringLiteral("cannot create a temporary folder: ") + m_tmp.errorString());
    const QString documents = m_tmp.path() + QStringLiteral("/Documents");
    m_dataFolder = documents + QStringLiteral("/Brackwell/Rockvane");
    m_databasePath = m_dataFolder + QStringLiteral("/") + kDatabaseFileName;
    if (!QDir().mkpath(m_dataFolder)) fail(QStringLiteral("cannot create ") + m_dataFolder);
    check(createShippedDatabase(m_databasePath), QStringLiteral("creating the shipped database"));
    paths.documents = documents;
    desktop.opens = false;
    m_session = std::make_unique<Session>(dialogs, clock, paths, desktop);
    m_session->gMakerFolder = documents + QStringLiteral("/Brackwell");
    m_session->gDataFolder = m_dataFolder;
    m_session->gDatabasePath = m_databasePath;
}

BenchFolder::~BenchFolder() = default;

std::unique_ptr<frmRockvane> BenchFolder::newWindow(const Clock* clock) {
    application();
    auto window = std::make_unique<frmRockvane>(dialogs, clock ? *clock : this->clock, paths,
                                                desktop, instance);
    // As the installed program starts after a run that ended cleanly.
    window->setStartUpCheck(StartUpCheck::AfterUncleanEnd);
    return window;
}

std::unique_ptr<frmRockvane> BenchFolder::startWindow(const Clock* clock) {
    std::unique_ptr<frmRockvane> window = newWindow(clock);
    if (!window->Form_Load()) fail(QStringLiteral("the main window did not start"));
    window->show();
    return window;
}

namespace {

// Writes count readings into the readings table id: one every 15 minutes from 2010-01-01
// 00:00:00, a load cell's day: a temperature that swings between 21.5 and 24.5 degrees
// and a load that drifts slowly with some noise, from a fixed seed so every run writes
// the same rows.
void fillReadings(sqlite3* db, const QString& id, int count) {
    const QByteArray insert =
        (QStringLiteral("INSERT INTO ") + sql::quoted(id) +
         QStringLiteral(" (DateTimeKey, ReadingDate, ReadingTime, FullDate, ChannelT, Channel1, "
                        "DoNotPlot, IsDirty, Plottemporal, PlotSpatial, zero1, NumTemp) VALUES "
                        "(?1, ?2, ?3, ?4, ?5, ?6, 0, 1, 1, 1, ?7, ?8)"))
            .toUtf8();
    sqlite3_stmt* stmt = nullptr;
    checkSql(db, sqlite3_prepare_v2(db, insert.constData(), int(insert.size()), &stmt, nullptr),
             "preparing the insert");
    std::mt19937 random(20100101);
    std::normal_distribution<double> noise(0.0, 0.8);
    const QByteArray idText = id.toUtf8();
    const QDate first(2010, 1, 1);
    double load = 120.0;
    char key[64], date[16], time[16], full[32], channelT[16], channel1[16];
    for (int i = 0; i < count; ++i) {
        const QDate day = first.addDays(i / 96);
        const int minutes = (i % 96) * 15;
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", day.year(), day.month(), day.day());
        std::snprintf(time, sizeof time, "%02d:%02d:00", minutes / 60, minutes % 60);
        std::snprintf(full, sizeof full, "%s %s", date, time);
        std::snprintf(key, sizeof key, "%s %04d/%02d/%02d %s", idText.constData(), day.year(),
                      day.month(), day.day(), time);
        const int step = i % 96;
        const double temperature =
            std::round(10.0 * (21.5 + 3.0 * (step < 48 ? step : 96 - step) / 48.0)) / 10.0;
        load += 0.0003 + noise(random) * 0.02;
        std::snprintf(channelT, sizeof channelT, "%.1f", temperature);
        std::snprintf(channel1, sizeof channel1, "%.2f", load + noise(random));

        sqlite3_bind_text(stmt, 1, key, -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 2, date, -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 3, time, -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 4, full, -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 5, channelT, -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 6, channel1, -1, SQLITE_STATIC);
        sqlite3_bind_double(stmt, 7, 120.0);
        sqlite3_bind_double(stmt, 8, temperature);
        checkSql(db, sqlite3_step(stmt), "inserting a reading");
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
}

} // namespace

void BenchFolder::addReadingsTable(const QString& id, int count) {
    addReadingsTables({id}, count);
}

void BenchFolder::addReadingsTables(const QStringList& ids, int count) {
    Connection c;
    openForSetUp(c, m_databasePath);
    // The program's copying statement makes each table in a transaction of its own; the
    // readings of all of them go in one.
    for (const QString& id : ids)
        check(c.execute(sql::newReadingsTable(id)),
              QStringLiteral("creating readings table ") + id);
    check(c.begin(), QStringLiteral("BEGIN"));
    for (const QString& id : ids)
        fillReadings(c.handle(), id, count);
    check(c.commit(), QStringLiteral("COMMIT"));
}

void BenchFolder::addSensorRows(const QStringList& ids) {
    Connection c;
    openForSetUp(c, m_databasePath);
    check(c.begin(), QStringLiteral("BEGIN"));
    Query insert(c, QStringLiteral("INSERT INTO Sensors (InstrumentID, DateID, SensorType, "
                                   "TypeID, SensorNo, Level, Location, Destroyed, Recess) VALUES "
                                   "(?1, substr(?1, 1, 4), '25', '25', substr(?1, 7, 3), ?2, ?3, "
                                   "'No', 0.1)"));
    check(insert.prepared(), QStringLiteral("preparing the sensors"));
    for (int i = 0; i < ids.size(); ++i) {
        insert.reset();
        insert.bind(1, ids[i]);
        insert.bind(2, QStringLiteral("L%1").arg(i % 20));
        insert.bind(3, i % 2 ? QStringLiteral("North") : QStringLiteral("South"));
        check(insert.run(), QStringLiteral("adding sensor ") + ids[i]);
    }
    check(c.commit(), QStringLiteral("COMMIT"));
}

void BenchFolder::addEmptyReadingsTables(int count) {
    Connection c;
    openForSetUp(c, m_databasePath);
    for (const QString& id : sensorIds(count))
        check(c.execute(sql::newReadingsTable(id)),
              QStringLiteral("creating readings table ") + id);
}

QStringList sensorIds(int count) {
    // Four digits of date identifier (from 2010), the load-cell type 25 and a sequence
    // number from 001 to 999; the date identifier moves on after 999.
    QStringList ids;
    ids.reserve(count);
    for (int i = 0; i < count; ++i)
        ids << QStringLiteral("%1").arg(2010 + i / 999, 4, 10, QLatin1Char('0')) +
                   QStringLiteral("25") +
                   QStringLiteral("%1").arg(i % 999 + 1, 3, 10, QLatin1Char('0'));
    return ids;
}

long long peakResidentKiB() {
    return statusField("VmHWM");
}

long long currentResidentKiB() {
    return statusField("VmRSS");
}

bool resetPeakResident() {
    // Writing 5 to clear_refs resets the peak resident size (Linux 4.0 and later).
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY);
    if (fd < 0) return false;
    const bool done = ::write(fd, "5", 1) == 1;
    ::close(fd);
    return done;
}

Result<qint64> openAndWalk(Session& s, const QString& id) {
    static const QString channel1 = QStringLiteral("Channel1");
    static const QString fullDate = QStringLiteral("FullDate");
    Recordset& rs = s.rsReadings;
    if (Status st = rs.open(s.gConnection, sql::readingsByDate(id)); !st.ok()) return st;
    if (!rs.bof() && !rs.eof())
        if (Status st = rs.moveFirst(); !st.ok()) return st;
    qint64 rows = 0;
    while (!rs.eof()) {
        Result<QVariant> load = rs.value(channel1);
        Result<QVariant> moment = rs.value(fullDate);
        if (!load.ok()) return load.error();
        if (!moment.ok()) return moment.error();
        benchmark::DoNotOptimize(load);
        benchmark::DoNotOptimize(moment);
        ++rows;
        if (Status st = rs.moveNext(); !st.ok()) return st;
    }
    return rows;
}

} // namespace rv::bench
