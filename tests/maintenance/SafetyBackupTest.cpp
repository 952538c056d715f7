// The safety backup made before every import and every restore: its name, the sound copy
// it holds, the ten kept, the user backups it never touches, and the question when it
// cannot be made.
#include "maintenance/SafetyBackup.h"
#include "app/UtilitiesTab.h"
#include "sensors/SensorTabs.h"
#include "store/Provisioning.h"
#include "tests/maintenance/MaintenanceFixture.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <optional>
#include <sqlite3.h>

using namespace rv;
using namespace rv::test;

namespace {

const QString kBackupOk = QStringLiteral("Backup was successful");
const QString kRestoreOk = QStringLiteral("Restore was successful");
const QString kRestoreFailed = QStringLiteral("Error encountered during restore process");
const QString kHeading = QStringLiteral("List of Backups:");
const QString kToday = QStringLiteral("LODIXbackup2026-03-14.mdb");
// The fixed clock stands at 2026-03-14 09:30:15.
const QString kBeforeImport = QStringLiteral("LODIXsafety2026-03-14 093015 before import.mdb");
const QString kBeforeRestore = QStringLiteral("LODIXsafety2026-03-14 093015 before restore.mdb");

QString importQuestion(const QString& reason) {
    return QStringLiteral("The safety backup of the database could not be made before the "
                          "import:\r\n") +
           reason + QStringLiteral("\r\n\r\nImport the readings without a safety backup?");
}

QString restoreQuestion(const QString& reason) {
    return QStringLiteral("The safety backup of the current database could not be made before "
                          "the restore:\r\n") +
           reason +
           QStringLiteral("\r\n\r\nRestore the backup without a safety backup of the current "
                          "database?");
}

QString restoreAsked(const QString& name) {
    return QStringLiteral("Restoring Rockvane from backup ") + name +
           QStringLiteral("\r\nwill permanently overwrite current database. Continue?");
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

QStringList safetyFilesIn(const QString& folder) {
    return filesIn(folder).filter(QStringLiteral("LODIXsafety"));
}

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

// ---------------------------------------------------------------------------------
// Names

TEST(SafetyBackupNames, CarryTheMomentTheReasonAndANumberAfterTheFirst) {
    const struct {
        QDateTime at;
        SafetyReason reason;
        int number;
        const char* name;
    } cases[] = {
        {wallClock(QDate(2026, 3, 14), QTime(9, 30, 15)), SafetyReason::Import, 1,
         "LODIXsafety2026-03-14 093015 before import.mdb"},
        {wallClock(QDate(2026, 3, 14), QTime(0, 0, 0)), SafetyReason::Restore, 1,
         "LODIXsafety2026-03-14 000000 before restore.mdb"},
        {wallClock(QDate(1999, 12, 31), QTime(23, 59, 59)), SafetyReason::Import, 2,
         "LODIXsafety1999-12-31 235959-2 before import.mdb"},
        {wallClock(QDate(2026, 1, 1), QTime(7, 5, 3)), SafetyReason::Restore, 12,
         "LODIXsafety2026-01-01 070503-12 before restore.mdb"},
    };
    for (const auto& c : cases) {
        const QString name = safetyBackupFileName(c.at, c.reason, c.number);
        EXPECT_EQ(name, QLatin1String(c.name));
        const auto stamp = safetyBackupStamp(name);
        ASSERT_TRUE(stamp) << c.name;
        EXPECT_EQ(stamp->at, c.at) << c.name;
        EXPECT_EQ(stamp->number, c.number) << c.name;
        // Never the name of a user backup, nor a work file.
        EXPECT_NE(name, backupFileName(c.at.date()));
        EXPECT_FALSE(isPartialBackup(name));
    }
}

TEST(SafetyBackupNames, OtherNamesCarryNoMoment) {
    for (const char* name :
         {"LODIXbackup2026-03-14.mdb", "LODIXsafety2026-03-14 093015 before import.mdb.part",
          "LODIXsafety2026-02-30 093015 before import.mdb",
          "LODIXsafety2026-03-14 253015 before import.mdb",
          "LODIXsafety2026-03-14 093015-0 before import.mdb",
          "LODIXsafety2026-03-14 093015 before export.mdb", "LODIXsafety2026-03-14 093015.mdb",
          "notes.txt", ""})
        EXPECT_FALSE(safetyBackupStamp(QLatin1String(name))) << name;
}

// Pruning on a folder of empty files: only safety backups go, oldest by their moment and
// number, and never the one spared.
class PruneTest : public ::testing::Test {
protected:
    void SetUp() override { folder = tmp.path(); }
    void make(const QStringList& names) {
        for (const QString& n : names)
            touch(folder + QStringLiteral("/") + n);
    }
    QTemporaryDir tmp;
    QString folder;
    MaintenanceFiles files;
};

TEST_F(PruneTest, KeepsTheNewestByMomentAndNumberNotByTheSpelling) {
    const QDateTime second = wallClock(QDate(2026, 3, 14), QTime(9, 30, 15));
    QStringList all;
    // Twelve in the same second: -10, -11 and -12 spell before -2 but are newer.
    for (int n = 1; n <= 12; ++n)
        all << safetyBackupFileName(second, SafetyReason::Import, n);
    make(all);
    make({kToday, QStringLiteral("LODIXbackup2026-03-13.mdb"), QStringLiteral("notes.txt"),
          QStringLiteral("LODIXbackup2026-03-15.mdb.part")});
    QStringList removed = pruneSafetyBackups(files, folder);
    removed.sort();
    EXPECT_EQ(removed, QStringList({all[0], all[1]}));
    const QStringList left = filesIn(folder);
    EXPECT_EQ(safetyFilesIn(folder).size(), 10);
    for (const char* kept : {"LODIXbackup2026-03-14.mdb", "LODIXbackup2026-03-13.mdb", "notes.txt",
                             "LODIXbackup2026-03-15.mdb.part"})
        EXPECT_TRUE(left.contains(QLatin1String(kept))) << kept;
}

TEST_F(PruneTest, SparesTheChosenOneAndRemovesWorkFilesOfSafetyBackupsOnly) {
    QStringList all;
    for (int day = 1; day <= 11; ++day)
        all << safetyBackupFileName(wallClock(QDate(2026, 3, day), QTime(12, 0)),
                                    day % 2 ? SafetyReason::Import : SafetyReason::Restore);
    make(all);
    const QString debris =
        safetyBackupFileName(wallClock(QDate(2026, 2, 1)), SafetyReason::Import) + kPartialSuffix;
    make({debris, kToday + kPartialSuffix});
    const QStringList removed = pruneSafetyBackups(files, folder, kSafetyBackupsKept, all[0]);
    EXPECT_EQ(removed, QStringList{debris});
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/") + all[0])) << "the spared one stays";
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/") + kToday + kPartialSuffix))
        << "a user backup's work file is not the safety backup's to remove";
    EXPECT_EQ(pruneSafetyBackups(files, folder), QStringList{all[0]}) << "once no longer spared";
    QStringList removed1 = pruneSafetyBackups(files, folder, 1);
    removed1.sort();
    EXPECT_EQ(removed1, all.mid(1, 9));
    EXPECT_EQ(safetyFilesIn(folder), QStringList{all[10]});
}

TEST_F(PruneTest, TheLatestBackupIsTheNewestWrittenUserOrSafety) {
    EXPECT_EQ(latestBackup(files, folder + QStringLiteral("/missing")), QString());
    EXPECT_EQ(latestBackup(files, folder), QString());
    const QString safety = safetyBackupFileName(wallClock(QDate(2026, 3, 1)), SafetyReason::Import);
    make({kToday, safety, QStringLiteral("notes.txt"),
          QStringLiteral("LODIXbackup2026-03-20.mdb.part")});
    const QDateTime base = QDateTime::currentDateTime().addDays(-2);
    auto stamp = [&](const QString& name, int minutes) {
        QFile f(folder + QStringLiteral("/") + name);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(base.addSecs(minutes * 60), QFileDevice::FileModificationTime));
    };
    stamp(kToday, 0);
    stamp(safety, 10); // written after the user backup, though its name says an earlier day
    stamp(QStringLiteral("notes.txt"), 20);
    stamp(QStringLiteral("LODIXbackup2026-03-20.mdb.part"), 30);
    EXPECT_EQ(latestBackup(files, folder), safety);
    stamp(kToday, 11);
    EXPECT_EQ(latestBackup(files, folder), kToday);
}

// ---------------------------------------------------------------------------------
// The safety backup of the program's database

class SafetyBackupTest : public MaintenanceTest {
protected:
    void SetUp() override {
        MaintenanceTest::SetUp();
        addSensorsWithReadings();
        ASSERT_TRUE(start());
        window->maintenance->setFiles(faulty);
        faulty.busyTimeoutMs = 100;
    }
    bool beforeImport() { return window->maintenance->G_SafetyBackup(SafetyReason::Import); }
    // Takes the question asked when the safety backup failed; checks it defaults to No.
    void expectQuestion(const QString& text) {
        const Message m = dialogs.take();
        EXPECT_EQ(m.text, text);
        EXPECT_EQ(m.title, kTitle);
        EXPECT_EQ(m.icon, Icon::Exclamation);
        EXPECT_EQ(m.buttons, Buttons::YesNo);
        EXPECT_EQ(m.defaultAnswer, Answer::No);
    }
    // Whether a file is a sound database of the program holding exactly what the database
    // held when `expected` was taken.
    void expectSoundCopy(const QString& path, const QString& expected) {
        MaintenanceFiles plain;
        EXPECT_TRUE(plain.checkDatabase(path).ok()) << path.toStdString();
        EXPECT_EQ(contents(path), expected);
    }
};

TEST_F(SafetyBackupTest, BeforeAnImportASoundCopyIsWrittenWhileTheDatabaseStaysOpen) {
    const QString before = contents(databasePath);
    sqlite3* const handle = s().gConnection.handle();
    ASSERT_TRUE(s().rsSensors.isOpen());
    EXPECT_TRUE(beforeImport());
    EXPECT_EQ(filesIn(backupFolder()), QStringList{kBeforeImport}) << "the folder is made";
    expectSoundCopy(backupPath(kBeforeImport), before);
    EXPECT_TRUE(contents(backupPath(kBeforeImport)).contains(QStringLiteral("200525001=50")));
    // The run goes on on the same connection and recordsets.
    EXPECT_EQ(s().gConnection.handle(), handle);
    EXPECT_TRUE(s().rsSensors.isOpen());
    EXPECT_EQ(window->identification->txtSensor->text(), "200525001");
    EXPECT_EQ(logEntries(), 0);
    // The list of backups offers it.
    enterUtilities();
    EXPECT_EQ(listed(), QStringList({kHeading, kBeforeImport}));
}

TEST_F(SafetyBackupTest, ACopyHoldsWhatTheConnectionWroteLast) {
    // Written through the run's own connection, not yet seen by any other.
    ASSERT_TRUE(s().gConnection
                    .execute(QStringLiteral("DELETE FROM `200525001` WHERE DateTimeKey LIKE "
                                            "'200525001 2020/01/0%'"))
                    .ok());
    const QString now = contents(databasePath);
    ASSERT_TRUE(now.contains(QStringLiteral("200525001=41")));
    EXPECT_TRUE(beforeImport());
    expectSoundCopy(backupPath(kBeforeImport), now);
}

TEST_F(SafetyBackupTest, TheDaysUserBackupIsNeverReplacedAndTheEleventhRemovesTheOldest) {
    window->backups->imgBackup->click();
    dialogs.expect(kBackupOk, kTitle, Icon::Information);
    clock.set(wallClock(QDate(2026, 3, 13), QTime(8, 0)));
    window->backups->imgBackup->click();
    dialogs.expect(kBackupOk, kTitle, Icon::Information);
    const QString yesterday = QStringLiteral("LODIXbackup2026-03-13.mdb");
    const QByteArray userToday = digest(backupPath(kToday));
    const QByteArray userYesterday = digest(backupPath(yesterday));

    QStringList made;
    for (int i = 0; i < 11; ++i) {
        const QDateTime at = wallClock(QDate(2026, 3, 14), QTime(10, 0)).addSecs(i * 61);
        clock.set(at);
        ASSERT_TRUE(i % 2 ? beforeImport()
                          : window->maintenance->G_SafetyBackup(SafetyReason::Restore));
        made << safetyBackupFileName(at, i % 2 ? SafetyReason::Import : SafetyReason::Restore);
        EXPECT_EQ(safetyFilesIn(backupFolder()).size(), std::min(i + 1, 10));
    }
    QStringList expected = made.mid(1);
    expected.sort();
    EXPECT_EQ(safetyFilesIn(backupFolder()), expected) << "the first one made is gone";
    EXPECT_EQ(digest(backupPath(kToday)), userToday);
    EXPECT_EQ(digest(backupPath(yesterday)), userYesterday);

    // The day's user backup still replaces only itself.
    addSensorRow(QStringLiteral("200525003"));
    window->backups->imgBackup->click();
    dialogs.expect(kBackupOk, kTitle, Icon::Information);
    EXPECT_TRUE(contents(backupPath(kToday)).contains(QStringLiteral("Sensors=3")));
    EXPECT_EQ(safetyFilesIn(backupFolder()), expected);
    EXPECT_EQ(listed().mid(0, 3), QStringList({kHeading, yesterday, kToday}));
    EXPECT_EQ(listed().size(), 13);
}

TEST_F(SafetyBackupTest, TwoInOneSecondAreBothKept) {
    EXPECT_TRUE(beforeImport());
    EXPECT_TRUE(beforeImport());
    EXPECT_EQ(safetyFilesIn(backupFolder()),
              QStringList({kBeforeImport,
                           QStringLiteral("LODIXsafety2026-03-14 093015-2 before import.mdb")}));
}

// A clock set back (after ten were made while it ran a year ahead): the copy just made
// is the one the import relies on and is kept, with the newest nine others.
TEST_F(SafetyBackupTest, AClockSetBackKeepsTheOneJustMade) {
    QStringList ahead;
    for (int i = 0; i < 10; ++i) {
        const QDateTime at = wallClock(QDate(2027, 3, 14), QTime(10, i));
        clock.set(at);
        ASSERT_TRUE(beforeImport());
        ahead << safetyBackupFileName(at, SafetyReason::Import);
    }
    clock.set(wallClock(QDate(2026, 3, 14), QTime(9, 30, 15)));
    EXPECT_TRUE(beforeImport());
    EXPECT_EQ(safetyFilesIn(backupFolder()).join(QLatin1Char('|')).toStdString(),
              (QStringList{kBeforeImport} + ahead.mid(1)).join(QLatin1Char('|')).toStdString());
}

TEST_F(SafetyBackupTest, AReadOnlyDatabaseIsNotBackedUpBeforeAnImportAndNothingIsSaid) {
    window.reset();
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    ASSERT_TRUE(start());
    dialogs.take(); // the notice that the database can only be read
    window->maintenance->setFiles(faulty);
    EXPECT_TRUE(beforeImport());
    EXPECT_FALSE(QDir(backupFolder()).exists());
    EXPECT_TRUE(dialogs.pending().empty());
    EXPECT_EQ(logEntries(), 0);
}

// A step of the safety backup before an import fails: the reason, the question (No by
// default), one log entry; No stops the import, Yes lets it go on. No work file is left.
class SafetyStepFails : public SafetyBackupTest,
                        public ::testing::WithParamInterface<const char*> {};

TEST_P(SafetyStepFails, AsksWhetherToImportWithoutIt) {
    faulty.step = QLatin1String(GetParam());
    faulty.fault = FaultyFiles::Fault::Fail;
    const QByteArray database = digest(databasePath);
    for (const Answer answer : {Answer::No, Answer::Yes}) {
        dialogs.answer(answer);
        EXPECT_EQ(beforeImport(), answer == Answer::Yes);
        const QString path = faulty.step == QLatin1String("makeFolder") ? backupFolder()
                             : faulty.step == QLatin1String("replaceFile")
                                 ? backupPath(kBeforeImport)
                                 : backupPath(kBeforeImport) + kPartialSuffix;
        expectQuestion(importQuestion(kInjected + QStringLiteral(" at ") + path));
        EXPECT_TRUE(safetyFilesIn(backupFolder()).isEmpty())
            << filesIn(backupFolder()).join(' ').toStdString();
    }
    EXPECT_EQ(logEntries(), 2);
    EXPECT_TRUE(logText().contains(QStringLiteral(" G_SafetyBackup\r\n")));
    EXPECT_EQ(digest(databasePath), database);
    EXPECT_TRUE(s().gConnection.isOpen());
}

INSTANTIATE_TEST_SUITE_P(Import, SafetyStepFails,
                         ::testing::Values("makeFolder", "backupInto", "replaceFile"));

TEST_F(SafetyBackupTest, AFullDiskIsTheReasonGivenAndLeavesNoWorkFile) {
    addReadings(QStringLiteral("200525002"), 6000, 100);
    ASSERT_GT(QFileInfo(databasePath).size(), 600 * 1024);
    dialogs.answerNo();
    {
        const FileSizeLimit disk(256 * 1024);
        EXPECT_FALSE(beforeImport());
    }
    const Message asked = dialogs.take();
    EXPECT_TRUE(asked.text.startsWith(importQuestion(QString()).left(60)))
        << asked.text.toStdString();
    EXPECT_TRUE(asked.text.contains(kBeforeImport + kPartialSuffix)) << asked.text.toStdString();
    EXPECT_EQ(asked.defaultAnswer, Answer::No);
    EXPECT_TRUE(filesIn(backupFolder()).isEmpty())
        << filesIn(backupFolder()).join(' ').toStdString();
    EXPECT_EQ(logEntries(), 1);
    // With room again, the next one is whole.
    EXPECT_TRUE(beforeImport());
    expectSoundCopy(backupPath(kBeforeImport), contents(databasePath));
}

TEST_F(SafetyBackupTest, AnotherProgramWritingMakesItFailWithTheReason) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(databasePath.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    dialogs.answerNo();
    EXPECT_FALSE(beforeImport());
    const Message asked = dialogs.take();
    EXPECT_TRUE(asked.text.contains(QStringLiteral("in use by another program")))
        << asked.text.toStdString();
    EXPECT_TRUE(logText().contains(QStringLiteral("Err #5: "))) << logText().toStdString();
    EXPECT_FALSE(QDir(backupFolder()).exists() && !safetyFilesIn(backupFolder()).isEmpty());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(beforeImport());
}

TEST_F(SafetyBackupTest, KilledMidwayLeavesOnlyAWorkFileThatTheNextOneRemoves) {
    faulty.step = QStringLiteral("backupInto");
    faulty.fault = FaultyFiles::Fault::KillMidway;
    const QByteArray database = digest(databasePath);
    ASSERT_TRUE(diesInChild([&] { (void)beforeImport(); }));
    EXPECT_EQ(filesIn(backupFolder()), QStringList{kBeforeImport + kPartialSuffix});
    EXPECT_EQ(digest(databasePath), database);
    enterUtilities();
    EXPECT_TRUE(listed().isEmpty()) << "a half-written copy is never offered";
    faulty.fault = FaultyFiles::Fault::None;
    clock.set(wallClock(QDate(2026, 3, 14), QTime(9, 31)));
    EXPECT_TRUE(beforeImport());
    EXPECT_EQ(filesIn(backupFolder()),
              QStringList{QStringLiteral("LODIXsafety2026-03-14 093100 before import.mdb")});
}

// ---------------------------------------------------------------------------------
// Before a restore, through the Utilities tab

// A user backup of two sensors; the database then gains a third.
class SafetyBeforeRestore : public SafetyBackupTest {
protected:
    void SetUp() override {
        SafetyBackupTest::SetUp();
        window->backups->imgBackup->click();
        dialogs.expect(kBackupOk, kTitle, Icon::Information);
        addSensorRow(QStringLiteral("200425001"));
        addReadings(QStringLiteral("200425001"), 5);
        latest = contents(databasePath);
        restart();
        window->maintenance->setFiles(faulty);
        enterUtilities();
        ASSERT_EQ(listed(), QStringList({kHeading, kToday}));
    }
    // Restores the backup in a row, answering Yes to the restore's question and then, if
    // given, answering the safety backup's question.
    void restore(int row, const QString& name, std::optional<Answer> safety = std::nullopt) {
        choose(row);
        dialogs.answerYes();
        if (safety) dialogs.answer(*safety);
        window->backups->imgRestore->click();
        dialogs.expect(restoreAsked(name), kTitleCaps, Icon::Exclamation, Buttons::YesNo);
    }
    QString latest;
};

TEST_F(SafetyBeforeRestore, TheReplacedDatabaseIsKeptAndCanBeRestoredInTurn) {
    restore(1, kToday);
    dialogs.expect(kRestoreOk, kTitle, Icon::Information);
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
    expectSoundCopy(backupPath(kBeforeRestore), latest);
    EXPECT_EQ(listed(), QStringList({kHeading, kToday, kBeforeRestore})) << "listed at once";

    // Taking the restore back: the safety backup is restored like any backup, and the
    // database it replaces is kept in its turn.
    const QString restored = contents(databasePath);
    restore(2, kBeforeRestore);
    dialogs.expect(kRestoreOk, kTitle, Icon::Information);
    EXPECT_EQ(contents(databasePath), latest);
    EXPECT_EQ(window->utilities->txtSCount->text(), "3");
    const QString second = QStringLiteral("LODIXsafety2026-03-14 093015-2 before restore.mdb");
    expectSoundCopy(backupPath(second), restored);
    EXPECT_EQ(listed(), QStringList({kHeading, kToday, kBeforeRestore, second}));
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(SafetyBeforeRestore, TheBackupChosenIsNeverTheOneRemoved) {
    // Ten safety backups already; the oldest is the one restored.
    for (int i = 0; i < 10; ++i) {
        clock.set(wallClock(QDate(2026, 3, 1 + i), QTime(7, 0)));
        ASSERT_TRUE(beforeImport());
    }
    clock.set(wallClock(QDate(2026, 3, 14), QTime(9, 30, 15)));
    const QString oldest = QStringLiteral("LODIXsafety2026-03-01 070000 before import.mdb");
    window->maintenance->G_ListBackups();
    ASSERT_EQ(listed().value(2), oldest);
    restore(2, oldest);
    dialogs.expect(kRestoreOk, kTitle, Icon::Information);
    EXPECT_TRUE(QFile::exists(backupPath(oldest)));
    EXPECT_EQ(safetyFilesIn(backupFolder()).size(), 11);
    EXPECT_TRUE(QFile::exists(backupPath(kToday)));
}

TEST_F(SafetyBeforeRestore, WhenItFailsNoLeavesTheDatabaseAsItWasAndYesRestores) {
    faulty.step = QStringLiteral("backupInto");
    faulty.fault = FaultyFiles::Fault::Fail;
    const QByteArray before = digest(databasePath);
    sqlite3* const handle = s().gConnection.handle();
    const QString reason =
        kInjected + QStringLiteral(" at ") + backupPath(kBeforeRestore) + kPartialSuffix;

    restore(1, kToday, Answer::No);
    expectQuestion(restoreQuestion(reason));
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_EQ(s().gConnection.handle(), handle) << "the database stays open as it was";
    EXPECT_EQ(window->utilities->txtSCount->text(), "3");
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" G_SafetyBackup\r\n")));

    restore(1, kToday, Answer::Yes);
    expectQuestion(restoreQuestion(reason));
    dialogs.expect(kRestoreOk, kTitle, Icon::Information);
    EXPECT_EQ(digest(databasePath), digest(backupPath(kToday)));
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
    EXPECT_TRUE(safetyFilesIn(backupFolder()).isEmpty());
}

TEST_F(SafetyBeforeRestore, ADatabaseStartUpCouldNotReadIsKeptByteForByte) {
    window.reset();
    QByteArray junk(4096, 'x');
    {
        QFile f(databasePath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(junk);
    }
    ASSERT_TRUE(start());
    dialogs.take(); // the damaged database named, with the backup to restore
    window->maintenance->setFiles(faulty);
    EXPECT_FALSE(s().gConnection.isOpen());
    enterUtilities();
    restore(1, kToday);
    dialogs.expect(kRestoreOk, kTitle, Icon::Information);
    QFile kept(backupPath(kBeforeRestore));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), junk) << "kept for whatever can still be saved from it";
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
}

} // namespace
