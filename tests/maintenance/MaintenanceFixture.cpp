#include "tests/maintenance/MaintenanceFixture.h"
#include "alarms/AlarmStore.h"
#include "app/UtilitiesTab.h"
#include "history/ImportHistory.h"
#include "store/ChangeHistory.h"
#include "store/Provisioning.h"
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTabWidget>
#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace rv::test {

// ---------------------------------------------------------------------------------
// FaultyFiles

bool FaultyFiles::affects(const char* name, const QString& path, const QString& other) const {
    if (step != QLatin1String(name)) return false;
    return onlyOn.isEmpty() || path.contains(onlyOn) ||
           (!other.isEmpty() && other.contains(onlyOn));
}

bool FaultyFiles::before(const char* name, const QString& path, const QString& other) const {
    if (!affects(name, path, other)) return false;
    if (fault == Fault::Kill) _exit(0);
    return fault == Fault::Fail;
}

template <class R>
R FaultyFiles::after(const char* name, R result, const QString& path, const QString& other) const {
    if (!affects(name, path, other)) return result;
    if (fault == Fault::KillAfter) _exit(0);
    if (fault == Fault::None && afterStep) afterStep();
    return result;
}

namespace {
Error injected(const QString& path) {
    return Error{err::FileError, kInjected + QStringLiteral(" at ") + path};
}
} // namespace

Status FaultyFiles::makeFolder(const QString& path) {
    if (before("makeFolder", path)) return injected(path);
    return after("makeFolder", MaintenanceFiles::makeFolder(path), path);
}

Result<QStringList> FaultyFiles::listFiles(const QString& folder) const {
    if (before("listFiles", folder)) return injected(folder);
    return after("listFiles", MaintenanceFiles::listFiles(folder), folder);
}

Status FaultyFiles::copyFile(const QString& from, const QString& to) {
    if (before("copyFile", from, to)) return injected(to);
    if (affects("copyFile", from, to) && fault == Fault::KillMidway) {
        QFile in(from);
        QFile out(to);
        if (in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            out.write(in.read(in.size() / 2));
            out.flush();
        }
        _exit(0);
    }
    return after("copyFile", MaintenanceFiles::copyFile(from, to), from, to);
}

Status FaultyFiles::replaceFile(const QString& from, const QString& to) {
    if (before("replaceFile", from, to)) return injected(to);
    return after("replaceFile", MaintenanceFiles::replaceFile(from, to), from, to);
}

Status FaultyFiles::removeFile(const QString& path) {
    if (before("removeFile", path)) return injected(path);
    return after("removeFile", MaintenanceFiles::removeFile(path), path);
}

Status FaultyFiles::copyPermissions(const QString& from, const QString& to) {
    if (before("copyPermissions", from, to)) return injected(to);
    return after("copyPermissions", MaintenanceFiles::copyPermissions(from, to), from, to);
}

Status FaultyFiles::compactInto(const QString& source, const QString& target) {
    if (before("compactInto", source, target)) return injected(target);
    if (affects("compactInto", source, target) && fault == Fault::KillMidway) {
        // The engine dies halfway through writing the compacted copy.
        QFile in(source);
        QFile out(target);
        if (in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            out.write(in.read(in.size() / 2));
            out.flush();
        }
        _exit(0);
    }
    return after("compactInto", MaintenanceFiles::compactInto(source, target), source, target);
}

Status FaultyFiles::backupInto(const Connection& source, const QString& target) {
    if (before("backupInto", target)) return injected(target);
    if (affects("backupInto", target, QString()) && fault == Fault::KillMidway) {
        // The process dies halfway through the engine's copy: half a file under the work
        // name.
        QFile out(target);
        if (out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            out.write(QByteArray(8192, 'S'));
            out.flush();
        }
        _exit(0);
    }
    return after("backupInto", MaintenanceFiles::backupInto(source, target), target);
}

Status FaultyFiles::checkDatabase(const QString& path, Check check) {
    if (before("checkDatabase", path)) return injected(path);
    return after("checkDatabase", MaintenanceFiles::checkDatabase(path, check), path);
}

Result<std::unique_ptr<DatabaseLock>> FaultyFiles::lockDatabase(const QString& path) {
    if (before("lockDatabase", path)) return injected(path);
    auto lock = MaintenanceFiles::lockDatabase(path);
    if (affects("lockDatabase", path, QString()) && fault == Fault::KillAfter) _exit(0);
    if (affects("lockDatabase", path, QString()) && fault == Fault::None && afterStep) afterStep();
    return lock;
}

// ---------------------------------------------------------------------------------
// Processes, digests, the disk

bool diesInChild(const std::function<void()>& work) {
    const pid_t pid = fork();
    if (pid == 0) {
        work();
        _exit(3); // the kill never came
    }
    if (pid < 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

Immutable::Immutable(QString path) : m_path(std::move(path)) {
    m_ok = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), m_path}) == 0;
}

Immutable::~Immutable() {
    if (m_ok) QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
}

FileSizeLimit::FileSizeLimit(long long bytes) {
    // Writing past the limit then fails with "File too large" instead of ending the
    // process.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    if (getrlimit(RLIMIT_FSIZE, &old) != 0) return;
    m_soft = static_cast<long long>(old.rlim_cur);
    m_hard = static_cast<long long>(old.rlim_max);
    rlimit limit = old;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    m_set = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    if (!m_set) return;
    rlimit old{};
    old.rlim_cur = static_cast<rlim_t>(m_soft);
    old.rlim_max = static_cast<rlim_t>(m_hard);
    setrlimit(RLIMIT_FSIZE, &old);
}

// ---------------------------------------------------------------------------------
// MaintenanceTest

void MaintenanceTest::addReadings(const QString& id, int count, int firstDay) {
    std::vector<ReadingRow> rows;
    for (int i = 0; i < count; ++i) {
        const QDateTime at = wallClock(QDate(2020, 1, 1).addDays(firstDay + i), QTime(8, 0));
        const QString date = at.date().toString(Qt::ISODate);
        rows.push_back(ReadingRow(readingKey(id, at))
                           .readingDate(date)
                           .readingTime(QStringLiteral("08:00:00"))
                           .fullDate(date + QStringLiteral(" 08:00:00"))
                           .channel1(QString::number(10 + i % 7, 'f', 2))
                           .channelT(QStringLiteral("20.0"))
                           .doNotPlot(0));
    }
    DataFolderTest::addReadings(id, rows);
}

void MaintenanceTest::addSensorsWithReadings(int n) {
    addSensorRow(QStringLiteral("200525001"));
    addSensorRow(QStringLiteral("200525002"));
    addReadings(QStringLiteral("200525001"), n);
    addReadings(QStringLiteral("200525002"), 3);
    // The database as the program leaves it once it has opened it: with its AlarmLevels
    // table, so that a run adds no table and the contents compare equal.
    Connection c;
    ASSERT_TRUE(c.open(databasePath).ok());
    ASSERT_TRUE(ensureAlarmTable(c).ok());
    ASSERT_TRUE(ensureHistoryTables(c).ok());
    ASSERT_TRUE(ensureChangeTables(c).ok());
}

QString MaintenanceTest::contents(const QString& path) {
    Connection c;
    if (!c.open(path, Connection::Mode::ReadOnly).ok()) return QStringLiteral("(no database)");
    const Result<QStringList> tables = c.tables();
    if (!tables.ok()) return QStringLiteral("(no tables)");
    QStringList parts;
    for (const QString& t : tables.value()) {
        Query q(c, QStringLiteral("SELECT count(*) FROM `%1`").arg(t));
        parts << t + QStringLiteral("=") + (q.next() ? q.value(0).toString() : QStringLiteral("?"));
    }
    return parts.join(QLatin1Char(' '));
}

QStringList MaintenanceTest::listed() const {
    QStringList items;
    for (int i = 0; i < window->backups->lstFiles->count(); ++i)
        items << window->backups->lstFiles->item(i)->text();
    return items;
}

void MaintenanceTest::enterUtilities() {
    window->SSTab1->setCurrentIndex(5);
}

void MaintenanceTest::choose(int row) {
    QListWidget* list = window->backups->lstFiles;
    list->setCurrentRow(row);
    if (QListWidgetItem* item = list->item(row)) item->setSelected(true);
}

void MaintenanceTest::TearDown() {
    faulty.step.clear();
    faulty.onlyOn.clear();
    faulty.fault = FaultyFiles::Fault::None;
    faulty.afterStep = nullptr;
    MainWindowTest::TearDown();
}

void recordAction(Connection& c, FixedClock& clock, const QDateTime& when, const QString& id,
                  const QString& how, const std::function<Status(ChangeAction&)>& record) {
    const QDateTime now = clock.now();
    clock.set(when);
    ASSERT_TRUE(c.begin().ok());
    ChangeAction action(c, id, how);
    const Status recorded = record(action);
    EXPECT_TRUE(recorded.ok()) << recorded.error().description.toStdString();
    if (recorded.ok())
        EXPECT_TRUE(c.commit().ok());
    else
        c.rollback();
    clock.set(now);
}

void MaintenanceTest::restart() {
    faulty.fault = FaultyFiles::Fault::None;
    faulty.afterStep = nullptr;
    window.reset();
    ASSERT_TRUE(start());
}

} // namespace rv::test
