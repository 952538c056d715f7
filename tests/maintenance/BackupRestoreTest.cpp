// Backup and restore on the "6. Utilities" tab, driven as a user does, and every way the
// disk, the files and other programs can make them fail. After each failure the database
// is whole and the program starts again with every sensor and reading that was saved.
#include "app/UtilitiesTab.h"
#include "maintenance/DatabaseCheck.h"
#include "readings/ReadingsTab.h"
#include "sensors/SensorTabs.h"
#include "store/Provisioning.h"
#include "tests/maintenance/MaintenanceFixture.h"
#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <sqlite3.h>

using namespace rv;
using namespace rv::test;

namespace {

const QString kBackupOk = QStringLiteral("Backup was successful");
const QString kBackupFailed =
    QStringLiteral("Error encountered during backup process of RockvaneLODIX.mdb");
const QString kRestoreOk = QStringLiteral("Restore was successful");
const QString kRestoreFailed = QStringLiteral("Error encountered during restore process");
const QString kChoose = QStringLiteral("Please choose a file from the list to restore from");
const QString kNoSensors = QStringLiteral("There are no sensors in the database, \r\nclick the "
                                          "ADD NEW button to begin using Rockvane");
const QString kMustExit =
    QStringLiteral("ERROR: could not connect to database\r\nProgram must exit");
const QString kToday = QStringLiteral("LODIXbackup2026-03-14.mdb");
const QString kHeading = QStringLiteral("List of Backups:");

QString question(const QString& name) {
    return QStringLiteral("Restoring Rockvane from backup ") + name +
           QStringLiteral("\r\nwill permanently overwrite current database. Continue?");
}

QString refusal(const QString& name) {
    return QStringLiteral("The backup ") + name +
           QStringLiteral(" is not a sound Rockvane database and cannot be restored.\r\nThe "
                          "current database was not changed.");
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

TEST(BackupNames, DayOfTheBackupWithoutSeparatorAndWorkFiles) {
    const struct {
        QDate day;
        const char* name;
    } cases[] = {{QDate(2005, 3, 14), "LODIXbackup2005-03-14.mdb"},
                 {QDate(1999, 12, 31), "LODIXbackup1999-12-31.mdb"},
                 {QDate(2026, 1, 1), "LODIXbackup2026-01-01.mdb"}};
    for (const auto& c : cases)
        EXPECT_EQ(backupFileName(c.day), QLatin1String(c.name));
    EXPECT_TRUE(isPartialBackup(QStringLiteral("LODIXbackup2026-01-01.mdb.part")));
    EXPECT_FALSE(isPartialBackup(QStringLiteral("LODIXbackup2026-01-01.mdb")));
    EXPECT_FALSE(isPartialBackup(QStringLiteral("notes.txt")));
}

class BackupTest : public MaintenanceTest {
protected:
    void SetUp() override {
        MaintenanceTest::SetUp();
        addSensorsWithReadings();
        ASSERT_TRUE(start());
        window->maintenance->setFiles(faulty);
        faulty.busyTimeoutMs = 100;
    }
    void backup() { window->backups->imgBackup->click(); }
};

TEST_F(BackupTest, FirstBackupMakesTheFolderAndADatedByteForByteCopy) {
    enterUtilities();
    EXPECT_TRUE(listed().isEmpty());
    EXPECT_FALSE(QDir(backupFolder()).exists());
    const QByteArray before = digest(databasePath);

    window->backups->Label42->click();
    dialogs.expect(kBackupOk, kTitle, Icon::Information);
    EXPECT_EQ(filesIn(backupFolder()), QStringList{kToday});
    EXPECT_EQ(digest(backupPath(kToday)), before);
    EXPECT_EQ(digest(databasePath), before) << "the database itself is not touched";
    EXPECT_EQ(listed(), QStringList({kHeading, kToday}));
    EXPECT_EQ(window->backups->lstFiles->currentRow(), 0) << "the heading is selected";
    // The database is open again, with its sensors shown.
    EXPECT_TRUE(s().gConnection.isOpen());
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
    EXPECT_EQ(window->identification->txtSensor->text(), "200525001");
    EXPECT_EQ(window->identification->cboSensors->currentText(), "200525001");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(BackupTest, TwoBackupsOnOneDayLeaveOneFileTheLaterCopy) {
    backup();
    dialogs.expect(kBackupOk, kTitle, Icon::Information);
    addSensorRow(QStringLiteral("200525003"));
    clock.set(wallClock(QDate(2026, 3, 14), QTime(23, 59, 59)));
    backup();
    dialogs.expect(kBackupOk, kTitle, Icon::Information);
    EXPECT_EQ(filesIn(backupFolder()), QStringList{kToday});
    EXPECT_EQ(digest(todaysBackup()), digest(databasePath));
    EXPECT_TRUE(contents(todaysBackup()).contains(QStringLiteral("Sensors=3")));
    EXPECT_EQ(listed(), QStringList({kHeading, kToday}));
}

TEST_F(BackupTest, BackupsOfSeveralDaysAreListedOldestFirstWithoutWorkFiles) {
    for (const QDate day : {QDate(2026, 3, 14), QDate(2026, 2, 28), QDate(2026, 3, 15)}) {
        clock.set(wallClock(day, QTime(0, 0, 0)));
        backup();
        dialogs.expect(kBackupOk, kTitle, Icon::Information);
    }
    // What a backup cut short left behind is no backup.
    QFile partial(backupPath(QStringLiteral("LODIXbackup2026-01-01.mdb.part")));
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
    partial.close();
    enterUtilities();
    EXPECT_EQ(listed(), QStringList({kHeading, QStringLiteral("LODIXbackup2026-02-28.mdb"),
                                     QStringLiteral("LODIXbackup2026-03-14.mdb"),
                                     QStringLiteral("LODIXbackup2026-03-15.mdb")}));
    window->SSTab1->setCurrentIndex(0);
    enterUtilities();
    EXPECT_EQ(listed().size(), 4) << "entering the tab again fills the list afresh";
}

TEST_F(BackupTest, WithoutBackupsTheListStaysEmptyWithoutAMessage) {
    enterUtilities();
    EXPECT_TRUE(listed().isEmpty());
    EXPECT_FALSE(QDir(backupFolder()).exists()) << "only a backup makes the folder";
    ASSERT_TRUE(QDir().mkpath(backupFolder()));
    window->SSTab1->setCurrentIndex(0);
    enterUtilities();
    EXPECT_TRUE(listed().isEmpty()) << "an empty folder gives no heading";
    EXPECT_TRUE(dialogs.pending().empty());
}

// A step of the backup fails: the message and one log entry, no file under a backup's
// name, the database as it was and open again.
class BackupStepFails : public BackupTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(BackupStepFails, LeavesNoBackupAndTheDatabaseWhole) {
    const QByteArray before = digest(databasePath);
    faulty.step = QLatin1String(GetParam());
    faulty.fault = FaultyFiles::Fault::Fail;
    backup();
    dialogs.expect(kBackupFailed);
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(kInjected)) << logText().toStdString();
    EXPECT_TRUE(logText().contains(QStringLiteral(" G_BackupDB\r\n")));
    EXPECT_TRUE(filesIn(backupFolder()).isEmpty())
        << filesIn(backupFolder()).join(' ').toStdString();
    EXPECT_TRUE(listed().isEmpty());
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_TRUE(s().gConnection.isOpen());
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
}

INSTANTIATE_TEST_SUITE_P(Backup, BackupStepFails,
                         ::testing::Values("makeFolder", "lockDatabase", "copyFile",
                                           "replaceFile"));

// The program is killed in the middle of a backup: the database is untouched, no file
// carries a backup's name, and the next backup of the day works.
class BackupKilled : public BackupTest,
                     public ::testing::WithParamInterface<std::pair<const char*, int>> {};

TEST_P(BackupKilled, LeavesTheDatabaseAndNoHalfBackup) {
    const QByteArray before = digest(databasePath);
    const QString database = contents(databasePath);
    faulty.step = QLatin1String(GetParam().first);
    faulty.fault = FaultyFiles::Fault(GetParam().second);
    ASSERT_TRUE(diesInChild([&] {
        s().gConnection.close();
        window->maintenance->G_BackupDB(dataFolder + QStringLiteral("/"), kDatabaseFileName);
    }));
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_FALSE(QFile::exists(todaysBackup()));
    restart();
    EXPECT_EQ(contents(databasePath), database);
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
    enterUtilities();
    EXPECT_TRUE(listed().isEmpty()) << "a half-written backup is never offered";
    window->backups->imgBackup->click();
    dialogs.expect(kBackupOk, kTitle, Icon::Information);
    EXPECT_EQ(filesIn(backupFolder()), QStringList{kToday});
    EXPECT_EQ(contents(todaysBackup()), database);
}

INSTANTIATE_TEST_SUITE_P(
    Backup, BackupKilled,
    ::testing::Values(std::pair{"copyFile", int(FaultyFiles::Fault::Kill)},
                      std::pair{"copyFile", int(FaultyFiles::Fault::KillMidway)},
                      std::pair{"replaceFile", int(FaultyFiles::Fault::Kill)}));

TEST_F(BackupTest, AnUnwritableBackupFolderIsReportedAndLogged) {
    ASSERT_TRUE(QDir().mkpath(backupFolder()));
    const Immutable locked(backupFolder());
    ASSERT_TRUE(locked.ok()) << "chattr is needed to make a folder unwritable for root";
    backup();
    const QString why = QStringLiteral("The folder ") + backupFolder() +
                        QStringLiteral(" is read-only: nothing can be written to it.");
    dialogs.expect(kBackupFailed + QStringLiteral("\r\n") + why);
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(
        logText().contains(QStringLiteral("Err #70: ") + why + QStringLiteral(" G_BackupDB")))
        << logText().toStdString();
    EXPECT_TRUE(filesIn(backupFolder()).isEmpty());
    EXPECT_TRUE(s().gConnection.isOpen());
}

// Where nothing can be written, a backup and a restore each say what stopped them, in one
// message, before anything is written; the database stays as it was and open.
struct Unwritable {
    const char* name;
    bool readOnlyFolder; // else a full disk
    const char* reason;  // %1: the data folder
    long long number;
};

void PrintTo(const Unwritable& u, std::ostream* os) {
    *os << u.name;
}

const Unwritable kUnwritable[] = {
    {"ReadOnlyDataFolder", true, "The folder %1 is read-only: nothing can be written to it.", 70},
    {"FullDisk", false, "The disk that holds %1 is full: 1 MB are needed and 0 MB are free.", 61}};

class BackupUnwritable : public BackupTest, public ::testing::WithParamInterface<Unwritable> {};

TEST_P(BackupUnwritable, SaysWhatStoppedIt) {
    if (GetParam().readOnlyFolder) {
        if (!makeReadOnly(dataFolder)) GTEST_SKIP() << "the folder cannot be made read-only here";
    } else {
        paths.free = 0;
    }
    const QByteArray before = digest(databasePath);
    backup();
    const QString why = QString::fromLatin1(GetParam().reason).arg(dataFolder);
    dialogs.expect(kBackupFailed + QStringLiteral("\r\n") + why);
    // A read-only data folder cannot take the log either.
    EXPECT_EQ(logEntries(), GetParam().readOnlyFolder ? 0 : 1);
    if (!GetParam().readOnlyFolder) {
        EXPECT_TRUE(logText().contains(QStringLiteral("Err #") +
                                       QString::number(GetParam().number) + QStringLiteral(": ") +
                                       why + QStringLiteral(" G_BackupDB")))
            << logText().toStdString();
    }
    EXPECT_FALSE(QDir(backupFolder()).exists());
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_TRUE(s().gConnection.isOpen());
    window.reset();
    // Nor can the compacted copy be written beside the database.
    if (GetParam().readOnlyFolder)
        dialogs.expect(QStringLiteral("Error compacting RockvaneLODIX.mdb"));
}

INSTANTIATE_TEST_SUITE_P(Backup, BackupUnwritable, ::testing::ValuesIn(kUnwritable),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BackupTest, AFullDiskLeavesNoTruncatedBackup) {
    addReadings(QStringLiteral("200525002"), 6000, 100);
    const qint64 size = QFileInfo(databasePath).size();
    ASSERT_GT(size, 600 * 1024);
    const QByteArray before = digest(databasePath);
    {
        const FileSizeLimit disk(256 * 1024);
        backup();
    }
    dialogs.expect(kBackupFailed);
    EXPECT_TRUE(logText().contains(QStringLiteral("Err #61: "))) << logText().toStdString();
    EXPECT_TRUE(filesIn(backupFolder()).isEmpty());
    EXPECT_EQ(digest(databasePath), before);
    backup();
    dialogs.expect(kBackupOk, kTitle, Icon::Information);
    EXPECT_EQ(QFileInfo(todaysBackup()).size(), size);
}

TEST_F(BackupTest, ADatabaseAnotherProgramIsWritingIsNotCopied) {
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(databasePath.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    // The other program finishes just after the backup found it writing.
    faulty.step = QStringLiteral("lockDatabase");
    faulty.afterStep = [&] { sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr); };
    backup();
    dialogs.expect(kBackupFailed);
    EXPECT_TRUE(logText().contains(QStringLiteral("Err #5: The database is in use by another "
                                                  "program")))
        << logText().toStdString();
    EXPECT_FALSE(QFile::exists(todaysBackup()));
    EXPECT_TRUE(s().gConnection.isOpen());
    sqlite3_close(other);
}

TEST_F(BackupTest, ADatabaseThatCannotBeReopenedEndsTheProgramWithoutTouchingIt) {
    const QByteArray before = digest(databasePath);
    const QString away = databasePath + QStringLiteral(".away");
    // Another program takes the file away just as the backup is finished.
    faulty.step = QStringLiteral("replaceFile");
    faulty.afterStep = [&] { QFile::rename(databasePath, away); };
    backup();
    dialogs.expect(kBackupOk, kTitle, Icon::Information);
    dialogs.expect(kMustExit, QStringLiteral("Database connection error"), Icon::Critical);
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" imgBackup_Click\r\n")));
    EXPECT_FALSE(s().gConnection.isOpen());
    ASSERT_TRUE(QFile::rename(away, databasePath));
    faulty.afterStep = nullptr;
    window.reset();
    // Nothing was saved and nothing compacted on the way out.
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_FALSE(QFile::exists(dataFolder + QStringLiteral("/Copy_RockvaneLODIX.mdb")));
    EXPECT_EQ(logEntries(), 1);
}

// ---------------------------------------------------------------------------------
// Restore

// A backup of two sensors; the database then gains a third, shown first.
class RestoreTest : public BackupTest {
protected:
    void SetUp() override {
        BackupTest::SetUp();
        backup();
        dialogs.expect(kBackupOk, kTitle, Icon::Information);
        addSensorRow(QStringLiteral("200425001"));
        addReadings(QStringLiteral("200425001"), 5);
        latest = contents(databasePath);
        restart();
        window->maintenance->setFiles(faulty);
        ASSERT_EQ(window->utilities->txtSCount->text(), "3");
        enterUtilities();
        ASSERT_EQ(listed(), QStringList({kHeading, kToday}));
    }
    void restore(Answer answer = Answer::Yes) {
        choose(1);
        dialogs.answer(answer);
        window->backups->imgRestore->click();
        dialogs.expect(question(kToday), kTitleCaps, Icon::Exclamation, Buttons::YesNo);
    }
    QString staged() const { return dataFolder + QStringLiteral("/Restore_RockvaneLODIX.mdb"); }
    QString latest; // the database's tables and rows before the restore
};

TEST_F(RestoreTest, AChosenBackupReplacesTheDatabaseAndItsSensorsAreShown) {
    // A reading of the newest database is remembered on the Readings tab.
    window->SSTab1->setCurrentIndex(2);
    window->readings->imgFirst->click();
    enterUtilities();

    restore();
    dialogs.expect(kRestoreOk, kTitle, Icon::Information);
    EXPECT_EQ(digest(databasePath), digest(todaysBackup()));
    EXPECT_FALSE(QFile::exists(staged()));
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
    EXPECT_EQ(window->identification->txtSensor->text(), "200525001");
    EXPECT_EQ(window->identification->cboSensors->currentText(), "200525001");
    QStringList items;
    for (int i = 0; i < window->identification->cboSensors->count(); ++i)
        items << window->identification->cboSensors->itemText(i);
    EXPECT_EQ(items, QStringList({"200525001", "200525002"}))
        << "the sensor list is the restored file's";
    // The restored sensor's readings, from the newest: nothing remembered of the file
    // that was replaced.
    window->SSTab1->setCurrentIndex(2);
    EXPECT_EQ(window->readings->txtRcount->text(), "50 of 50");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(RestoreTest, AnsweringNoChangesNothing) {
    const QByteArray before = digest(databasePath);
    sqlite3* const handle = s().gConnection.handle();
    restore(Answer::No);
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_EQ(s().gConnection.handle(), handle) << "the connection stays open as it was";
    EXPECT_EQ(window->utilities->txtSCount->text(), "3");
    EXPECT_FALSE(QFile::exists(staged()));
}

TEST_F(RestoreTest, TheHeadingOrNoChoiceAsksForAFile) {
    const QByteArray before = digest(databasePath);
    choose(0);
    window->backups->Label27->click();
    dialogs.expect(kChoose);
    window->backups->lstFiles->clearSelection();
    window->backups->lstFiles->setCurrentRow(-1);
    window->backups->imgRestore->click();
    dialogs.expect(kChoose);
    window->backups->lstFiles->clear();
    window->backups->imgRestore->click();
    dialogs.expect(kChoose);
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_TRUE(s().gConnection.isOpen());
}

// A backup that is no sound database of the program is refused before anything changes.
struct BadBackup {
    const char* name;
    std::function<void(const QString& backup, const QString& good)> make;
};

void PrintTo(const BadBackup& bad, std::ostream* os) {
    *os << bad.name;
}

class BadBackupRefused : public RestoreTest, public ::testing::WithParamInterface<BadBackup> {};

TEST_P(BadBackupRefused, WithAMessageAndTheDatabaseUnchanged) {
    GetParam().make(todaysBackup(), backupPath(QStringLiteral("good.mdb")));
    const QByteArray before = digest(databasePath);
    restore();
    dialogs.expect(refusal(kToday), kTitle, Icon::Exclamation);
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" G_RestoreDB\r\n")));
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_FALSE(QFile::exists(staged()));
    EXPECT_EQ(window->utilities->txtSCount->text(), "3");
    restart();
    EXPECT_EQ(contents(databasePath), latest);
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

INSTANTIATE_TEST_SUITE_P(
    Restore, BadBackupRefused,
    ::testing::Values(
        BadBackup{"RandomBytes",
                  [](const QString& p, const QString&) {
                      QByteArray junk;
                      for (int i = 0; i < 8192; ++i)
                          junk.append(char((i * 131) % 253));
                      writeBytes(p, junk);
                  }},
        BadBackup{"Empty", [](const QString& p, const QString&) { writeBytes(p, {}); }},
        BadBackup{"Truncated",
                  [](const QString& p, const QString&) {
                      const QByteArray whole = readBytes(p);
                      writeBytes(p, whole.left(whole.size() / 2));
                  }},
        BadBackup{"DamagedPage",
                  [](const QString& p, const QString&) {
                      // The last page (a readings page) overwritten with junk.
                      QByteArray bytes = readBytes(p);
                      for (qsizetype i = bytes.size() - 4096; i < bytes.size(); ++i)
                          bytes[i] = char(0x5a);
                      writeBytes(p, bytes);
                  }},
        BadBackup{"AnotherProgramsDatabase",
                  [](const QString& p, const QString&) {
                      QFile::remove(p);
                      sqlite3* db = nullptr;
                      sqlite3_open(p.toUtf8().constData(), &db);
                      sqlite3_exec(db, "CREATE TABLE Sensors (x); INSERT INTO Sensors VALUES (1)",
                                   nullptr, nullptr, nullptr);
                      sqlite3_close(db);
                  }}),
    [](const auto& info) { return std::string(info.param.name); });

class RestoreStepFails : public RestoreTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RestoreStepFails, LeavesTheDatabaseAsItWas) {
    const QByteArray before = digest(databasePath);
    faulty.step = QLatin1String(GetParam());
    faulty.fault = FaultyFiles::Fault::Fail;
    // The restore's own step, not that of the safety backup made before it.
    faulty.onlyOn = kDatabaseFileName;
    restore();
    if (faulty.step == QLatin1String("checkDatabase"))
        dialogs.expect(refusal(kToday), kTitle, Icon::Exclamation);
    else
        dialogs.expect(kRestoreFailed);
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(kInjected));
    EXPECT_TRUE(logText().contains(QStringLiteral(" G_RestoreDB\r\n")));
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_FALSE(QFile::exists(staged()));
    EXPECT_TRUE(s().gConnection.isOpen());
    EXPECT_EQ(window->utilities->txtSCount->text(), "3");
    restart();
    EXPECT_EQ(contents(databasePath), latest);
}

INSTANTIATE_TEST_SUITE_P(Restore, RestoreStepFails,
                         ::testing::Values("copyFile", "checkDatabase", "lockDatabase",
                                           "replaceFile"));

class RestoreUnwritable : public RestoreTest, public ::testing::WithParamInterface<Unwritable> {};

TEST_P(RestoreUnwritable, SaysWhatStoppedItBeforeTheSafetyBackup) {
    if (GetParam().readOnlyFolder) {
        if (!makeReadOnly(dataFolder)) GTEST_SKIP() << "the folder cannot be made read-only here";
    } else {
        paths.free = 0;
    }
    const QByteArray before = digest(databasePath);
    sqlite3* const handle = s().gConnection.handle();
    restore();
    const QString why = QString::fromLatin1(GetParam().reason).arg(dataFolder);
    dialogs.expect(kRestoreFailed + QStringLiteral("\r\n") + why);
    // A read-only data folder cannot take the log either.
    EXPECT_EQ(logEntries(), GetParam().readOnlyFolder ? 0 : 1);
    if (!GetParam().readOnlyFolder) {
        EXPECT_TRUE(logText().contains(QStringLiteral("Err #") +
                                       QString::number(GetParam().number) + QStringLiteral(": ") +
                                       why + QStringLiteral(" G_RestoreDB")))
            << logText().toStdString();
    }
    EXPECT_EQ(filesIn(backupFolder()), QStringList{kToday}) << "no safety backup was written";
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_FALSE(QFile::exists(staged()));
    EXPECT_EQ(s().gConnection.handle(), handle) << "the connection stays open as it was";
    EXPECT_EQ(window->utilities->txtSCount->text(), "3");
    window.reset();
    if (GetParam().readOnlyFolder)
        dialogs.expect(QStringLiteral("Error compacting RockvaneLODIX.mdb"));
}

INSTANTIATE_TEST_SUITE_P(Restore, RestoreUnwritable, ::testing::ValuesIn(kUnwritable),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RestoreTest, ABackupDeletedMeanwhileIsReported) {
    ASSERT_TRUE(QFile::remove(todaysBackup()));
    const QByteArray before = digest(databasePath);
    restore();
    dialogs.expect(kRestoreFailed);
    EXPECT_TRUE(logText().contains(QStringLiteral("Err #53: "))) << logText().toStdString();
    EXPECT_EQ(digest(databasePath), before);
}

TEST_F(RestoreTest, ADatabaseAnotherProgramIsWritingIsNotReplaced) {
    const QByteArray before = digest(databasePath);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(databasePath.toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    faulty.step = QStringLiteral("lockDatabase");
    faulty.afterStep = [&] { sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr); };
    // The safety backup meets the other program's write first; the user goes on without.
    dialogs.answerYes();
    restore();
    const Message asked = dialogs.take();
    EXPECT_TRUE(asked.text.contains(QStringLiteral("in use by another program")))
        << asked.text.toStdString();
    EXPECT_EQ(asked.buttons, Buttons::YesNo);
    dialogs.expect(kRestoreFailed);
    EXPECT_TRUE(logText().contains(QStringLiteral("Err #5: "))) << logText().toStdString();
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_FALSE(QFile::exists(staged()));
    sqlite3_close(other);
}

// The program is killed at each step of a restore: the database is the old one or the
// restored one, whole, and the program starts on it; the next restore works.
class RestoreKilled : public RestoreTest,
                      public ::testing::WithParamInterface<std::pair<const char*, int>> {};

TEST_P(RestoreKilled, LeavesTheOldOrTheNewDatabaseWhole) {
    const QByteArray old = digest(databasePath);
    const QByteArray restored = digest(todaysBackup());
    const QString backupContents = contents(todaysBackup());
    faulty.step = QLatin1String(GetParam().first);
    faulty.fault = FaultyFiles::Fault(GetParam().second);
    ASSERT_TRUE(diesInChild([&] {
        s().gConnection.close();
        window->maintenance->G_RestoreDB(dataFolder + QStringLiteral("/"), kDatabaseFileName,
                                         kToday);
    }));
    const bool replaced = faulty.step == QLatin1String("replaceFile") &&
                          faulty.fault == FaultyFiles::Fault::KillAfter;
    EXPECT_EQ(digest(databasePath), replaced ? restored : old);
    const bool leftOver = QFile::exists(staged());
    EXPECT_EQ(leftOver, !replaced);
    restart();
    // The next start removes the work file, as big as the database, and says so once.
    EXPECT_FALSE(QFile::exists(staged()));
    EXPECT_EQ(logEntries(), leftOver ? 1 : 0);
    if (leftOver) {
        EXPECT_TRUE(logText().contains(QStringLiteral("The copy left by a restore that was cut "
                                                      "short was removed: ") +
                                       staged()))
            << logText().toStdString();
    }
    EXPECT_EQ(contents(databasePath), replaced ? backupContents : latest);
    EXPECT_EQ(window->utilities->txtSCount->text(), replaced ? "2" : "3");
    window->maintenance->setFiles(faulty);
    enterUtilities();
    restore();
    dialogs.expect(kRestoreOk, kTitle, Icon::Information);
    EXPECT_EQ(digest(databasePath), restored);
    EXPECT_EQ(logEntries(), leftOver ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Restore, RestoreKilled,
    ::testing::Values(std::pair{"copyFile", int(FaultyFiles::Fault::KillMidway)},
                      std::pair{"checkDatabase", int(FaultyFiles::Fault::Kill)},
                      std::pair{"lockDatabase", int(FaultyFiles::Fault::KillAfter)},
                      std::pair{"replaceFile", int(FaultyFiles::Fault::Kill)},
                      std::pair{"replaceFile", int(FaultyFiles::Fault::KillAfter)}));

TEST_F(RestoreTest, ARestoreRecoversADamagedDatabase) {
    window.reset();
    writeBytes(databasePath, QByteArray(4096, 'x'));
    ASSERT_TRUE(start());
    dialogs.expect(damagedDatabaseText(kToday, true), kTitle, Icon::Exclamation);
    EXPECT_EQ(logEntries(), 1) << "start-up logs the damaged file";
    EXPECT_EQ(window->identification->cboSensors->count(), 0);
    enterUtilities();
    restore();
    dialogs.expect(kRestoreOk, kTitle, Icon::Information);
    EXPECT_EQ(digest(databasePath), digest(todaysBackup()));
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
    EXPECT_EQ(window->identification->txtSensor->text(), "200525001");
    EXPECT_EQ(window->identification->cboSensors->count(), 2);
    EXPECT_FALSE(s().Firstload) << "the sensor list answers picks again";
    EXPECT_EQ(logEntries(), 1);
}

TEST_F(RestoreTest, ABackupWithoutSensorsLeavesAnEmptyListAndSaysSo) {
    window.reset();
    // A second database with no sensors, backed up on another day.
    QFile::rename(databasePath, databasePath + QStringLiteral(".kept"));
    ASSERT_TRUE(createShippedDatabase(databasePath).ok());
    ASSERT_TRUE(start());
    dialogs.expect(kNoSensors, kTitle, Icon::Exclamation);
    window->maintenance->setFiles(faulty);
    clock.set(wallClock(QDate(2026, 3, 15), QTime(10, 0)));
    window->backups->imgBackup->click();
    dialogs.expect(kBackupOk, kTitle, Icon::Information);
    dialogs.expect(kNoSensors, kTitle, Icon::Exclamation);
    EXPECT_EQ(window->utilities->txtSCount->text(), "0");
    window.reset();
    QFile::remove(databasePath);
    QFile::rename(databasePath + QStringLiteral(".kept"), databasePath);

    ASSERT_TRUE(start());
    enterUtilities();
    ASSERT_EQ(listed().size(), 3);
    choose(2);
    dialogs.answerYes();
    window->backups->imgRestore->click();
    dialogs.expect(question(QStringLiteral("LODIXbackup2026-03-15.mdb")), kTitleCaps,
                   Icon::Exclamation, Buttons::YesNo);
    dialogs.expect(kRestoreOk, kTitle, Icon::Information);
    dialogs.expect(kNoSensors, kTitle, Icon::Exclamation);
    EXPECT_EQ(window->utilities->txtSCount->text(), "0");
    EXPECT_EQ(window->identification->cboSensors->count(), 0);
    EXPECT_EQ(window->identification->txtSensor->text(), "");
}

// The restored file takes the permissions of the database it replaces, as the compacted
// one does.
TEST_F(RestoreTest, TheRestoredDatabaseKeepsTheDatabasesPermissions) {
    ASSERT_TRUE(QFile::setPermissions(databasePath, QFile::ReadOwner | QFile::WriteOwner |
                                                        QFile::ReadGroup | QFile::WriteGroup));
    const QFile::Permissions shared = QFile::permissions(databasePath);
    restore();
    dialogs.expect(kRestoreOk, kTitle, Icon::Information);
    EXPECT_EQ(QFile::permissions(databasePath), shared);
}

// A copy of a database damaged unnoticed is no backup: it never replaces the day's good
// backup, nor becomes the safety backup before an import (which the user is asked about).
TEST_F(RestoreTest, ADamagedDatabaseIsNoBackup) {
    const QByteArray good = digest(todaysBackup());
    QByteArray bytes = readBytes(databasePath);
    bytes.replace(bytes.size() - 4096, 4096, QByteArray(4096, char(0x5a)));
    writeBytes(databasePath, bytes);
    const QString damaged = QStringLiteral("\r\nThe database RockvaneLODIX.mdb is damaged: a "
                                           "copy of it is no backup. The backups made before "
                                           "are kept.");
    window->backups->imgBackup->click();
    dialogs.expect(kBackupFailed + damaged);
    EXPECT_EQ(digest(todaysBackup()), good);
    dialogs.answerNo();
    EXPECT_FALSE(window->maintenance->G_SafetyBackup(SafetyReason::Import));
    EXPECT_TRUE(dialogs.take().text.contains(damaged.mid(2) + QStringLiteral("\r\n\r\nImport")));
    EXPECT_EQ(filesIn(backupFolder()), QStringList{kToday});
    window.reset();
    dialogs.expect(QStringLiteral("Error compacting RockvaneLODIX.mdb"));
}

} // namespace
