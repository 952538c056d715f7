// Start-up's check of the database it opened: a damaged file is reported with the latest
// backup and a log entry, and the program goes on so that the backup can be restored; a
// database that can only be read is announced once.
#include "app/UtilitiesTab.h"
#include "maintenance/DatabaseCheck.h"
#include "maintenance/Maintenance.h"
#include "sensors/SensorTabs.h"
#include "tests/support/MainWindow.h"
#include <QDir>
#include <QFile>
#include <QTabWidget>

using namespace rv;
using namespace rv::test;

namespace {

const QString kSensor = QStringLiteral("200525001");

QString damaged(const QString& tail) {
    return QStringLiteral("The database RockvaneLODIX.mdb is damaged: the integrity check found "
                          "faults in it.\r\nSensors and readings shown from it may be missing or "
                          "wrong.\r\n\r\n") +
           tail;
}

QString restoreHint(const QString& name) {
    return QStringLiteral("The latest backup is ") + name +
           QStringLiteral(".\r\nTo restore it, open the tab \"6. Utilities\", choose it in the "
                          "list of backups and click \"Restore from Backup\".");
}

const QString kNoBackup = QStringLiteral(
    "There is no backup in the folder LODIXbackup to restore from. Keep a copy of "
    "RockvaneLODIX.mdb and send it with the log file LODIX_logfile.txt when you report the "
    "problem.");

const QString kReadOnly = QStringLiteral(
    "The database RockvaneLODIX.mdb can only be read: it is write-protected or on a disk that "
    "cannot be written.\r\nUntil Rockvane runs on a database it can write, alarm levels, the "
    "import history and the safety backup before each import are not available.");
// The same of a database that never yet was opened where it can be written.
const QString kReadOnlyOlder =
    kReadOnly + QStringLiteral("\r\nThis database keeps no record of changes to readings yet: it "
                               "gains one the first time Rockvane opens it where it can be "
                               "written.");

class StartUpCheckTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        addSensorRow(kSensor);
        // Enough readings that the sensor's table fills the last pages of the file.
        std::vector<ReadingRow> rows;
        for (int i = 0; i < 3000; ++i) {
            const QDateTime at = wallClock(QDate(2020, 1, 1).addDays(i), QTime(8, 0));
            const QString date = at.date().toString(Qt::ISODate);
            rows.push_back(ReadingRow(readingKey(kSensor, at))
                               .readingDate(date)
                               .readingTime(QStringLiteral("08:00:00"))
                               .fullDate(date + QStringLiteral(" 08:00:00"))
                               .channel1(QStringLiteral("12.50"))
                               .channelT(QStringLiteral("20.0"))
                               .doNotPlot(0));
        }
        addReadings(kSensor, rows);
    }
    // Overwrites the last pages of the database with junk: the file still opens, its
    // sensors still read, but the engine's quick check finds the damaged pages.
    void damagePages(int pages = 3) {
        QFile f(databasePath);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const qint64 size = f.size();
        ASSERT_GT(size, 40 * 4096);
        ASSERT_TRUE(f.seek(size - pages * 4096));
        f.write(QByteArray(pages * 4096, char(0x5a)));
    }
    QString backupFolder() const { return dataFolder + QStringLiteral("/LODIXbackup"); }
    // A backup file written at a given number of minutes from a fixed past moment.
    void backupWritten(const QString& name, int minutes) {
        ASSERT_TRUE(QDir().mkpath(backupFolder()));
        const QString path = backupFolder() + QStringLiteral("/") + name;
        QFile::remove(path);
        ASSERT_TRUE(QFile::copy(databasePath, path));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const QDateTime base = QDateTime::currentDateTime().addDays(-3);
        ASSERT_TRUE(f.setFileTime(base.addSecs(minutes * 60), QFileDevice::FileModificationTime));
    }
};

TEST_F(StartUpCheckTest, ADamagedDatabaseNamesTheLatestBackupLogsOnceAndGoesOn) {
    const QString safety = QStringLiteral("LODIXsafety2026-03-12 080000 before import.mdb");
    backupWritten(QStringLiteral("LODIXbackup2026-03-13.mdb"), 0);
    // The newest by the time written, though its name says an earlier day.
    backupWritten(safety, 30);
    backupWritten(QStringLiteral("LODIXbackup2026-03-11.mdb"), 10);
    damagePages();
    ASSERT_TRUE(start());
    dialogs.expect(damaged(restoreHint(safety)), kTitle, Icon::Exclamation);
    EXPECT_EQ(logEntries(), 1);
    // The engine's "corrupt" number, whether the check listed the faults or stopped at one.
    EXPECT_TRUE(logText().contains(QStringLiteral("Err #11: "))) << logText().toStdString();
    EXPECT_TRUE(logText().contains(databasePath));
    EXPECT_TRUE(logText().contains(QStringLiteral(" Form_Load\r\n")));
    // The program goes on: the sensor is shown, and the backup can be chosen and restored.
    EXPECT_EQ(window->identification->txtSensor->text(), kSensor);
    EXPECT_FALSE(s().Firstload);
    window->SSTab1->setCurrentIndex(5);
    EXPECT_EQ(window->backups->lstFiles->count(), 4);
    window->backups->lstFiles->setCurrentRow(3);
    window->backups->lstFiles->item(3)->setSelected(true);
    ASSERT_EQ(window->backups->lstFiles->item(3)->text(), safety);
    dialogs.answerYes();
    window->backups->imgRestore->click();
    dialogs.take(); // "Restoring Rockvane from backup ..."
    dialogs.expect(QStringLiteral("Restore was successful"), kTitle, Icon::Information);
    window.reset();
    ASSERT_TRUE(start());
    EXPECT_EQ(logEntries(), 1) << "the restored database passes the check";
}

TEST_F(StartUpCheckTest, ADamagedDatabaseWithoutBackupsSaysThereIsNone) {
    // An empty backup folder, and one holding only a work file, offer nothing.
    ASSERT_TRUE(QDir().mkpath(backupFolder()));
    QFile part(backupFolder() + QStringLiteral("/LODIXbackup2026-03-14.mdb.part"));
    ASSERT_TRUE(part.open(QIODevice::WriteOnly));
    part.close();
    damagePages(1);
    ASSERT_TRUE(start());
    dialogs.expect(damaged(kNoBackup), kTitle, Icon::Exclamation);
    EXPECT_EQ(logEntries(), 1);
}

TEST_F(StartUpCheckTest, ASoundDatabaseShowsNothingAndLogsNothing) {
    backupWritten(QStringLiteral("LODIXbackup2026-03-13.mdb"), 0);
    ASSERT_TRUE(start());
    EXPECT_TRUE(dialogs.pending().empty());
    EXPECT_EQ(logEntries(), 0);
    EXPECT_EQ(window->identification->txtSensor->text(), kSensor);
}

TEST_F(StartUpCheckTest, ACheckThatCannotRunIsLoggedWithoutAMessage) {
    // The check at start-up cannot read the file; later checks (the compaction's) can.
    class Refusing : public MaintenanceFiles {
    public:
        Status checkDatabase(const QString& path, Check check) override {
            if (refused++ == 0)
                return Error{err::PermissionDenied, QStringLiteral("Could not read ") + path};
            return MaintenanceFiles::checkDatabase(path, check);
        }
        int refused = 0;
    } refusing;
    window = std::make_unique<frmRockvane>(dialogs, clock, paths, desktop, instance);
    window->maintenance->setFiles(refusing);
    ASSERT_TRUE(window->Form_Load());
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral("Err #70: Could not read ")))
        << logText().toStdString();
    EXPECT_EQ(window->identification->txtSensor->text(), kSensor);
    window.reset();
}

// The rule of the installed program: the file is checked after a run that left its lock
// beside the database (killed, crashed, a power cut) and whenever this run cannot lock
// the database; after a run that ended cleanly (no lock left) it is not.
TEST_F(StartUpCheckTest, TheCheckRunsAfterAnUncleanEndOnly) {
    class Counting : public MaintenanceFiles {
    public:
        Status checkDatabase(const QString& path, Check check) override {
            ++checks;
            return MaintenanceFiles::checkDatabase(path, check);
        }
        int checks = 0;
    };
    const QString lock = databasePath + QStringLiteral(".lock");
    auto startWith = [&](Counting& files) {
        window = std::make_unique<frmRockvane>(dialogs, clock, paths, desktop, instance);
        window->setStartUpCheck(StartUpCheck::AfterUncleanEnd);
        window->maintenance->setFiles(files);
        return window->Form_Load();
    };
    const struct {
        bool lockLeft;
        bool lockable;
        int checks;
    } cases[] = {{false, true, 0}, {true, true, 1}, {false, false, 1}, {true, false, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "lock left " << c.lockLeft << ", lockable " << c.lockable);
        QFile::remove(lock);
        if (c.lockLeft) {
            QFile left(lock);
            ASSERT_TRUE(left.open(QIODevice::WriteOnly));
            left.write("12345\nrockvane\nminehost\n");
        }
        instance.guards = c.lockable;
        Counting files;
        ASSERT_TRUE(startWith(files));
        EXPECT_EQ(files.checks, c.checks);
        if (!c.lockable) dialogs.expect(kReadOnly, kTitle, Icon::Information);
        EXPECT_EQ(window->identification->txtSensor->text(), kSensor);
        window.reset();
    }
    EXPECT_EQ(logEntries(), 0);

    // After an unclean end a damaged file is reported, with its log entry.
    ASSERT_TRUE(QFile::exists(lock));
    instance.guards = true;
    damagePages(1);
    Counting files;
    ASSERT_TRUE(startWith(files));
    dialogs.expect(damaged(kNoBackup), kTitle, Icon::Exclamation);
    EXPECT_EQ(files.checks, 1);
    EXPECT_EQ(logEntries(), 1);
    window.reset(); // while its file operations are still there
}

// A run whose compaction at the end failed (the file damaged during the run) ended
// cleanly, yet the next start checks the file, and the next ones until it is sound again.
TEST_F(StartUpCheckTest, AFailedCompactionHasTheNextStartsCheckTheFileUntilItIsSound) {
    const QString sound = tmp.path() + QStringLiteral("/sound.mdb");
    ASSERT_TRUE(QFile::copy(databasePath, sound));
    auto run = [&](const char* warning) {
        window = std::make_unique<frmRockvane>(dialogs, clock, paths, desktop, instance);
        window->setStartUpCheck(StartUpCheck::AfterUncleanEnd);
        ASSERT_TRUE(window->Form_Load());
        if (*warning) dialogs.expect(damaged(kNoBackup), kTitle, Icon::Exclamation);
        window.reset();
        if (*warning) dialogs.expect(QString::fromLatin1(warning));
    };
    ASSERT_TRUE(start());
    damagePages(40);
    window.reset();
    dialogs.expect(QStringLiteral("Error compacting RockvaneLODIX.mdb"));
    run("Error compacting RockvaneLODIX.mdb");
    run("Error compacting RockvaneLODIX.mdb");
    ASSERT_TRUE(QFile::remove(databasePath) && QFile::copy(sound, databasePath));
    run("");
    damagePages(1); // unchecked now: a clean end leaves no check due
    window = std::make_unique<frmRockvane>(dialogs, clock, paths, desktop, instance);
    window->setStartUpCheck(StartUpCheck::AfterUncleanEnd);
    EXPECT_TRUE(window->Form_Load());
    EXPECT_TRUE(dialogs.pending().empty());
}

TEST_F(StartUpCheckTest, AReadOnlyDatabaseIsAnnouncedOnceAtStartUp) {
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    ASSERT_TRUE(start());
    dialogs.expect(kReadOnlyOlder, kTitle, Icon::Information);
    // Going round the tabs says nothing more.
    for (int tab : {1, 2, 5, 0})
        window->SSTab1->setCurrentIndex(tab);
    EXPECT_TRUE(dialogs.pending().empty());
    EXPECT_EQ(window->identification->txtSensor->text(), kSensor);
}

TEST_F(StartUpCheckTest, AWritableDatabaseRefusingTheHistorysTablesSaysSoOnceAndGoesOn) {
    // A view left under the history's name by another program: its index cannot be made.
    execSql(QStringLiteral("DROP TABLE IF EXISTS ReadingChanges"));
    execSql(QStringLiteral("CREATE VIEW ReadingChanges AS SELECT 1 AS ActionID"));
    ASSERT_TRUE(start());
    dialogs.expect(QStringLiteral("Rockvane could not add to this database the tables it keeps "
                                  "alarm levels, the import history and the history of changes "
                                  "in: views may not be indexed\r\n\r\nUntil Rockvane opens "
                                  "the database again, changes to readings are stored without "
                                  "being kept in the history of changes, and imports cannot be "
                                  "undone. Close Rockvane and start it again to retry."),
                   kTitle, Icon::Exclamation);
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral("Err #1: views may not be indexed Form_Load")))
        << logText().toStdString();
    window->SSTab1->setCurrentIndex(2);
    EXPECT_TRUE(dialogs.pending().empty());
    EXPECT_EQ(window->identification->txtSensor->text(), kSensor);
}

} // namespace
