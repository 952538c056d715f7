// The compaction of the database at the end of every normal run: a smaller file with every
// row, no work file left, and the database whole whatever step fails or is cut short.
#include "app/UtilitiesTab.h"
#include "maintenance/DatabaseCheck.h"
#include "sensors/SensorTabs.h"
#include "store/Provisioning.h"
#include "tests/maintenance/MaintenanceFixture.h"
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <sqlite3.h>

using namespace rv;
using namespace rv::test;

namespace {

const QString kCompactFailed = QStringLiteral("Error compacting RockvaneLODIX.mdb");

class CompactionTest : public MaintenanceTest {
protected:
    void SetUp() override {
        MaintenanceTest::SetUp();
        addSensorsWithReadings(2000);
        // Half of the readings deleted: their pages stay in the file until it is compacted.
        execSql(QStringLiteral("DELETE FROM `200525001` WHERE rowid % 2 = 0"));
    }
    QString workFile() const { return dataFolder + QStringLiteral("/Copy_RockvaneLODIX.mdb"); }
    void startWithFaults() {
        ASSERT_TRUE(start());
        window->maintenance->setFiles(faulty);
        faulty.busyTimeoutMs = 100;
    }
};

TEST_F(CompactionTest, ANormalExitLeavesASmallerFileWithEveryRow) {
    ASSERT_TRUE(QFile::setPermissions(databasePath,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QFile::Permissions permissions = QFile::permissions(databasePath);
    const QString before = contents(databasePath);
    ASSERT_TRUE(before.contains(QStringLiteral("200525001=1000")));
    const qint64 size = QFileInfo(databasePath).size();
    ASSERT_TRUE(start());
    window->close();
    window.reset();
    EXPECT_FALSE(QFile::exists(workFile()));
    EXPECT_LT(QFileInfo(databasePath).size(), size * 3 / 4);
    EXPECT_EQ(contents(databasePath), before);
    EXPECT_EQ(QFile::permissions(databasePath), permissions)
        << "the compacted file keeps the database's permissions";
    EXPECT_EQ(logEntries(), 0);
    ASSERT_TRUE(start());
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
    EXPECT_EQ(window->identification->txtSensor->text(), "200525001");
}

// A work file left by a compaction that was cut short: the database itself is whole, so
// the next start removes it and says so once, and every later close compacts again. One
// that cannot be removed still makes the compaction say so.
TEST_F(CompactionTest, AWorkFileLeftFromBeforeGoesAtTheNextStart) {
    QFile stale(workFile());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("what an earlier compaction left");
    stale.close();
    const QString rows = contents(databasePath);

    window = std::make_unique<frmRockvane>(dialogs, clock, paths, desktop, instance);
    window->maintenance->setFiles(faulty);
    faulty.step = QStringLiteral("removeFile");
    faulty.fault = FaultyFiles::Fault::Fail;
    ASSERT_TRUE(window->Form_Load());
    EXPECT_TRUE(QFile::exists(workFile()));
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(kInjected + QStringLiteral(" at ") + workFile() +
                                   QStringLiteral(" G_RemoveWorkFiles\r\n")))
        << logText().toStdString();
    faulty.fault = FaultyFiles::Fault::None;
    window.reset();
    dialogs.expect(kCompactFailed);
    EXPECT_EQ(logEntries(), 2);
    EXPECT_TRUE(logText().contains(QStringLiteral("Err #58: File already exists: ")));

    ASSERT_TRUE(start());
    EXPECT_FALSE(QFile::exists(workFile()));
    EXPECT_EQ(logEntries(), 3);
    EXPECT_TRUE(logText().contains(
        QStringLiteral("The copy left by a compaction that was cut short was removed: ") +
        workFile() + QStringLiteral("\r\n")))
        << logText().toStdString();
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
    window.reset();
    EXPECT_FALSE(QFile::exists(workFile()));
    EXPECT_EQ(contents(databasePath), rows);
    ASSERT_TRUE(start());
    window.reset();
    EXPECT_EQ(logEntries(), 3) << "said once, and every later close compacts without a word";
}

// A damaged database keeps what lies beside it: the work file may be all that is left.
TEST_F(CompactionTest, AWorkFileBesideADamagedDatabaseIsKept) {
    ASSERT_TRUE(QFile::copy(databasePath, workFile()));
    const QByteArray copy = digest(workFile());
    QFile f(databasePath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray(8192, char(0x5a)));
    f.close();
    ASSERT_TRUE(start());
    dialogs.expect(damagedDatabaseText(QString(), true), kTitle, Icon::Exclamation);
    window.reset();
    EXPECT_EQ(digest(workFile()), copy);
    EXPECT_FALSE(logText().contains(QStringLiteral("was removed")));
}

TEST_F(CompactionTest, ARefusedSecondCopyDoesNotCompact) {
    instance.running = true;
    const QByteArray before = digest(databasePath);
    EXPECT_FALSE(start());
    dialogs.expect(QStringLiteral("Rockvane is already running\r\nCannot load program again"),
                   kTitle, Icon::Exclamation);
    window.reset();
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_FALSE(QFile::exists(workFile()));
}

TEST_F(CompactionTest, OnlyADatabaseTheRunHadOpenForWritingIsCompacted) {
    {
        // Write-protected: the program may read it, never rewrite it.
        ASSERT_TRUE(makeDatabaseReadOnly());
        const QByteArray before = digest(databasePath);
        ASSERT_TRUE(start());
        dialogs.expect(readOnlyDatabaseText(), kTitle, Icon::Information);
        window.reset();
        EXPECT_EQ(digest(databasePath), before);
    }
    QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), databasePath});
    QFile::setPermissions(databasePath, QFile::ReadOwner | QFile::WriteOwner);
    {
        // Not a database at all: start-up has said so and logged it; it is left exactly as
        // it is.
        QFile f(databasePath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.close();
        ASSERT_TRUE(start());
        dialogs.expect(damagedDatabaseText(QString(), true), kTitle, Icon::Exclamation);
        window.reset();
        EXPECT_EQ(QFileInfo(databasePath).size(), 0);
    }
    EXPECT_FALSE(QFile::exists(workFile()));
    EXPECT_EQ(logEntries(), 1) << "only start-up's own entry";
}

class CompactionStepFails : public CompactionTest,
                            public ::testing::WithParamInterface<const char*> {};

TEST_P(CompactionStepFails, LeavesTheDatabaseAsItWasAndNoWorkFile) {
    const QByteArray before = digest(databasePath);
    const QString rows = contents(databasePath);
    startWithFaults();
    faulty.step = QLatin1String(GetParam());
    faulty.fault = FaultyFiles::Fault::Fail;
    window.reset();
    dialogs.expect(kCompactFailed);
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(kInjected)) << logText().toStdString();
    EXPECT_TRUE(logText().contains(QStringLiteral(" G_CompactDB\r\n")));
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_FALSE(QFile::exists(workFile())) << "a work file of this run is cleared away";
    faulty.fault = FaultyFiles::Fault::None;
    ASSERT_TRUE(start());
    EXPECT_EQ(contents(databasePath), rows);
}

INSTANTIATE_TEST_SUITE_P(Compaction, CompactionStepFails,
                         ::testing::Values("lockDatabase", "compactInto", "checkDatabase",
                                           "copyPermissions", "replaceFile"));

// Killed at each step: the database is whole (compacted only once the rename is done) and
// the next start shows every row; a work file left behind goes at the next start.
class CompactionKilled : public CompactionTest,
                         public ::testing::WithParamInterface<std::pair<const char*, int>> {};

TEST_P(CompactionKilled, LeavesTheDatabaseWhole) {
    const QByteArray before = digest(databasePath);
    const QString rows = contents(databasePath);
    startWithFaults();
    faulty.step = QLatin1String(GetParam().first);
    faulty.fault = FaultyFiles::Fault(GetParam().second);
    ASSERT_TRUE(diesInChild([&] { window->Form_Terminate(); }));
    const bool compacted = faulty.fault == FaultyFiles::Fault::KillAfter;
    if (!compacted) {
        EXPECT_EQ(digest(databasePath), before);
    }
    EXPECT_EQ(contents(databasePath), rows);
    const bool leftOver = QFile::exists(workFile());
    EXPECT_EQ(leftOver, !compacted);
    // The window of the run that was killed goes too; its own compaction meets the work
    // file (the killed run is still "running" here).
    faulty.fault = FaultyFiles::Fault::None;
    window.reset();
    if (leftOver) dialogs.expect(kCompactFailed);
    const int entries = logEntries();
    ASSERT_TRUE(start());
    EXPECT_FALSE(QFile::exists(workFile())) << "the next start removes it";
    EXPECT_EQ(logEntries(), entries + (leftOver ? 1 : 0));
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
    EXPECT_EQ(contents(databasePath), rows);
    window.reset();
    EXPECT_TRUE(dialogs.pending().empty()) << "the close after it compacts without a word";
    EXPECT_FALSE(QFile::exists(workFile()));
    EXPECT_EQ(contents(databasePath), rows);
}

INSTANTIATE_TEST_SUITE_P(
    Compaction, CompactionKilled,
    ::testing::Values(std::pair{"compactInto", int(FaultyFiles::Fault::KillMidway)},
                      std::pair{"checkDatabase", int(FaultyFiles::Fault::Kill)},
                      std::pair{"copyPermissions", int(FaultyFiles::Fault::Kill)},
                      std::pair{"replaceFile", int(FaultyFiles::Fault::Kill)},
                      std::pair{"replaceFile", int(FaultyFiles::Fault::KillAfter)}));

TEST_F(CompactionTest, ADatabaseAnotherProgramIsWritingIsLeftAlone) {
    const QByteArray before = digest(databasePath);
    startWithFaults();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(databasePath.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    window.reset();
    dialogs.expect(kCompactFailed);
    EXPECT_TRUE(logText().contains(QStringLiteral("Err #5: "))) << logText().toStdString();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_FALSE(QFile::exists(workFile()));
}

TEST_F(CompactionTest, AFullDiskLeavesTheDatabaseAndNoWorkFile) {
    addReadings(QStringLiteral("200525002"), 6000, 100);
    ASSERT_GT(QFileInfo(databasePath).size(), 600 * 1024);
    const QByteArray before = digest(databasePath);
    ASSERT_TRUE(start());
    {
        const FileSizeLimit disk(256 * 1024);
        window.reset();
    }
    dialogs.expect(kCompactFailed);
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" G_CompactDB\r\n")));
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_FALSE(QFile::exists(workFile()));
}

} // namespace
