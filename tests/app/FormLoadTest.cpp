// Start-up: the paths, the store, the sensor list and the first sensor, and every way
// the database can be missing or unusable.
#include "app/UtilitiesTab.h"
#include "maintenance/DatabaseCheck.h"
#include "platform/SingleInstance.h"
#include "readings/ReadingsTab.h"
#include "sensors/SensorTabs.h"
#include "tests/support/MainWindow.h"
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTabWidget>
#include <pwd.h>
#include <unistd.h>

using namespace rv;
using namespace rv::test;

namespace {

const QString kNoSensors = QStringLiteral("There are no sensors in the database, \r\nclick the "
                                          "ADD NEW button to begin using Rockvane");

class FormLoadTest : public MainWindowTest {};

TEST_F(FormLoadTest, EmptyShippedDatabaseShowsTheNoSensorMessageAndSixTabs) {
    {
        Connection before;
        ASSERT_TRUE(before.open(databasePath, Connection::Mode::ReadOnly).ok());
        ASSERT_FALSE(hasChangeTables(before)) << "the shipped file is made without the history";
    }
    ASSERT_TRUE(start());
    dialogs.expect(kNoSensors, kTitle, Icon::Exclamation);
    EXPECT_TRUE(hasChangeTables(s().gConnection)) << "an older database gains the history";
    EXPECT_EQ(window->windowTitle(), "Rockvane LODIX - " + databasePath) << "the file open";
    ASSERT_EQ(window->SSTab1->count(), 6);
    const QStringList captions{"1. Identification", "2. Installation",           "3. Readings",
                               "4. Load v Time",    "05. Load v Time with Temp", "6. Utilities"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(window->SSTab1->tabText(i), captions[i]);
    EXPECT_EQ(window->SSTab1->currentIndex(), 0);
    EXPECT_EQ(window->utilities->txtSCount->text(), "0");
    EXPECT_EQ(window->identification->cboSensors->count(), 0);
    EXPECT_EQ(window->identification->txtSnav->text(), "?") << "design-time contents stay";
    EXPECT_FALSE(s().Firstload);
    EXPECT_EQ(s().gPrefMaxY, "20");
    EXPECT_EQ(s().gDataFolder, dataFolder);
    EXPECT_EQ(s().gDatabasePath, databasePath);
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(FormLoadTest, ListsEverySensorInAscendingOrderAndShowsTheFirst) {
    for (const char* id : {"200525003", "199925001", "200525001"})
        addSensorRow(QString::fromLatin1(id));
    ASSERT_TRUE(start());
    const QComboBox* list = window->identification->cboSensors;
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0), "199925001");
    EXPECT_EQ(list->itemText(1), "200525001");
    EXPECT_EQ(list->itemText(2), "200525003");
    EXPECT_EQ(list->currentText(), "199925001");
    EXPECT_EQ(window->identification->txtSensor->text(), "199925001");
    EXPECT_EQ(window->identification->txtSnav->text(), "1 of 3");
    EXPECT_EQ(window->utilities->txtSCount->text(), "3");
    EXPECT_EQ(window->readings->txtSensor3->text(), "199925001");
    EXPECT_TRUE(window->readings->lblError->isHidden());
    EXPECT_FALSE(s().Firstload);
}

TEST_F(FormLoadTest, TheDocumentsPathIsTrimmedBeforeTheMakersFolder) {
    paths.documents = QStringLiteral("  ") + documents + QStringLiteral("  ");
    ASSERT_TRUE(start());
    dialogs.expect(kNoSensors, kTitle, Icon::Exclamation);
    EXPECT_EQ(s().gMakerFolder, documents + QStringLiteral("/Brackwell"));
    EXPECT_EQ(s().gDatabasePath, databasePath);
}

TEST_F(FormLoadTest, ASecondCopyIsRefusedWithoutTouchingAnything) {
    instance.running = true;
    instance.holderText = QStringLiteral("The database D is in use by Rockvane on the computer "
                                         "pit-office, user anna");
    const QByteArray before = digest(databasePath);
    EXPECT_FALSE(start());
    dialogs.expect(QStringLiteral("Rockvane is already running\r\nCannot load program again"),
                   kTitle, Icon::Exclamation);
    EXPECT_EQ(instance.guarded, databasePath) << "the database itself is guarded";
    EXPECT_FALSE(s().gConnection.isOpen());
    window->close();
    window->Form_Terminate();
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral("Err #5: The database D is in use by Rockvane "
                                                  "on the computer pit-office, user anna "
                                                  "Form_Load\r\n")))
        << logText().toStdString();
    window.reset();
    EXPECT_EQ(digest(databasePath), before);
}

// Two copies on one database, with temporary folders of their own and reaching the file
// by different paths (one through a link): the second is refused, and the log names the
// database, the computer and the user that hold it. Once the first ends, a copy starts.
TEST_F(FormLoadTest, ASecondCopyOnTheSameDatabaseIsRefusedWhoeverRunsItAndWhatever) {
    addSensorRow(QStringLiteral("200525001"));
    const QString linked = tmp.path() + QStringLiteral("/Linked");
    ASSERT_TRUE(QFile::link(documents, linked));
    FakePaths otherPaths;
    otherPaths.documents = linked;
    auto firstLock = std::make_unique<LockFileInstance>(tmp.path() + QStringLiteral("/first.lock"));
    auto first = std::make_unique<frmRockvane>(dialogs, clock, paths, desktop, *firstLock);
    ASSERT_TRUE(first->Form_Load());
    const QString lockFile = databasePath + QStringLiteral(".lock");
    ASSERT_TRUE(QFile::exists(lockFile)) << "the lock lies beside the database";

    LockFileInstance secondLock(tmp.path() + QStringLiteral("/second.lock"));
    auto second = std::make_unique<frmRockvane>(dialogs, clock, otherPaths, desktop, secondLock);
    EXPECT_FALSE(second->Form_Load());
    dialogs.expect(QStringLiteral("Rockvane is already running\r\nCannot load program again"),
                   kTitle, Icon::Exclamation);
    EXPECT_FALSE(second->session().gConnection.isOpen());
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    const QString expected = QStringLiteral("Err #5: The database ") + linked +
                             QStringLiteral("/Brackwell/Rockvane/") +
                             QStringLiteral("RockvaneLODIX.mdb is in use by Rockvane on the "
                                            "computer ") +
                             QSysInfo::machineHostName() + QStringLiteral(", user ") +
                             QString::fromLocal8Bit(user->pw_name) + QStringLiteral(", process ") +
                             QString::number(QCoreApplication::applicationPid());
    EXPECT_TRUE(logText().contains(expected)) << logText().toStdString();
    second.reset();
    firstLock->release();
    EXPECT_FALSE(QFile::exists(lockFile)) << "a run gone to a site server lets the file go";
    first.reset();
    firstLock.reset();
    EXPECT_FALSE(QFile::exists(lockFile)) << "the lock goes with the copy that held it";

    auto third = std::make_unique<frmRockvane>(dialogs, clock, otherPaths, desktop, secondLock);
    EXPECT_TRUE(third->Form_Load());
    EXPECT_EQ(third->identification->txtSensor->text(), "200525001");
}

// A data folder that cannot hold the lock: the user's own lock in the temporary folder
// keeps this user's copies apart, and the database is only read.
TEST_F(FormLoadTest, WhereTheDataFolderCannotHoldALockTheDatabaseIsOnlyRead) {
    addSensorRow(QStringLiteral("200525001"));
    if (!makeReadOnly(dataFolder)) GTEST_SKIP() << "the folder cannot be made read-only here";
    const QByteArray before = digest(databasePath);
    const QString fallback = tmp.path() + QStringLiteral("/user.lock");
    LockFileInstance lock(fallback);
    auto first = std::make_unique<frmRockvane>(dialogs, clock, paths, desktop, lock);
    ASSERT_TRUE(first->Form_Load());
    dialogs.expect(readOnlyDatabaseText(false), kTitle, Icon::Information);
    EXPECT_TRUE(first->session().gConnection.readOnly());
    EXPECT_EQ(first->identification->txtSensor->text(), "200525001");
    LockFileInstance again(fallback);
    auto second = std::make_unique<frmRockvane>(dialogs, clock, paths, desktop, again);
    EXPECT_FALSE(second->Form_Load());
    dialogs.expect(QStringLiteral("Rockvane is already running\r\nCannot load program again"),
                   kTitle, Icon::Exclamation);
    second.reset();
    first.reset();
    EXPECT_EQ(digest(databasePath), before) << "nothing written, nothing compacted";
}

// A database that cannot be used: one log entry under " Form_Load", the window still opens
// with an empty sensor list, and the file is never changed. A file that is there but no
// database, an empty one included, is reported as damaged (there is no backup to name); a
// missing file gets no message.
struct BadDatabase {
    const char* name;
    std::function<void(const QString&)> spoil;
    bool damaged = false;
};

void PrintTo(const BadDatabase& bad, std::ostream* os) {
    *os << bad.name;
}

class UnusableDatabase : public FormLoadTest, public ::testing::WithParamInterface<BadDatabase> {};

TEST_P(UnusableDatabase, LogsOnceAndOpensAnEmptyWindow) {
    GetParam().spoil(databasePath);
    const QByteArray before = digest(databasePath);
    EXPECT_TRUE(start());
    if (GetParam().damaged)
        dialogs.expect(QStringLiteral("The database RockvaneLODIX.mdb is damaged: it cannot be "
                                      "read as a database.\r\n\r\nThere is no backup in the "
                                      "folder LODIXbackup to restore from. Keep a copy of "
                                      "RockvaneLODIX.mdb and send it with the log file "
                                      "LODIX_logfile.txt when you report the problem."),
                       kTitle, Icon::Exclamation);
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" Form_Load\r\n"))) << logText().toStdString();
    EXPECT_EQ(window->identification->cboSensors->count(), 0);
    EXPECT_TRUE(s().Firstload) << "start-up did not reach its end";
    window->close();
    window.reset();
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_FALSE(QFile::exists(databasePath) && before.isEmpty()) << "a missing file stays missing";
}

INSTANTIATE_TEST_SUITE_P(
    FormLoad, UnusableDatabase,
    ::testing::Values(BadDatabase{"Missing", [](const QString& p) { QFile::remove(p); }},
                      BadDatabase{"RandomBytes",
                                  [](const QString& p) {
                                      QFile f(p);
                                      (void)f.open(QIODevice::WriteOnly | QIODevice::Truncate);
                                      QByteArray junk;
                                      for (int i = 0; i < 8192; ++i)
                                          junk.append(char((i * 131) % 253));
                                      f.write(junk);
                                  },
                                  true},
                      BadDatabase{"Empty",
                                  [](const QString& p) {
                                      QFile f(p);
                                      (void)f.open(QIODevice::WriteOnly | QIODevice::Truncate);
                                  },
                                  true}),
    [](const auto& info) { return std::string(info.param.name); });

// A database the program may read but not write (write-protected, or immutable where
// permissions do not bind this user): the sensors show, a save is refused with one log
// entry, and the file stays exactly as it was.
TEST_F(FormLoadTest, AReadOnlyDatabaseShowsTheSensorsAndRefusesSaves) {
    addSensorRow(QStringLiteral("200525001"));
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    const QByteArray before = digest(databasePath);
    ASSERT_TRUE(start());
    dialogs.expect(readOnlyDatabaseText(false), kTitle, Icon::Information);
    EXPECT_EQ(window->identification->txtSensor->text(), "200525001");
    window->installation->txtLevel->setText(QStringLiteral("L1"));
    window->installation->cmdSave->click();
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" G_savefields\r\n")));
    window.reset();
    EXPECT_EQ(digest(databasePath), before);
}

TEST_F(FormLoadTest, AMissingDataFolderLeavesNoLogAndNoFolder) {
    QDir(documents + QStringLiteral("/Brackwell")).removeRecursively();
    EXPECT_TRUE(start());
    EXPECT_TRUE(dialogs.pending().empty());
    EXPECT_FALSE(QDir(dataFolder).exists()) << "the program never creates the data folder";
}

TEST_F(FormLoadTest, PrefsWithoutRowsIsLoggedAndStartUpGoesOn) {
    addSensorRow(QStringLiteral("200525001"));
    execSql(QStringLiteral("DELETE FROM Prefs"));
    ASSERT_TRUE(start());
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" Module1_GetPrefs")));
    EXPECT_EQ(s().gPrefMaxY, "");
    EXPECT_EQ(window->identification->txtSensor->text(), "200525001");
    EXPECT_FALSE(s().Firstload);
}

TEST_F(FormLoadTest, AConfigurationWithoutTheSensorsTypeStillShowsTheSensor) {
    addSensorRow(QStringLiteral("200525001"));
    execSql(QStringLiteral("UPDATE Configuration SET SensorType = '26'"));
    ASSERT_TRUE(start());
    dialogs.expect(QStringLiteral("There was an error accessing the Sensors COnfiguration Table"));
    EXPECT_EQ(window->identification->txtSensor->text(), "200525001");
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" Module1_ConfigureForm")));
}

} // namespace
