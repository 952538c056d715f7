// Backup and restore when the program works on a site server, driven on the "6. Utilities"
// tab as a user does: the server's data goes into the day's backup file, and a backup file
// replaces the server's data after the question about the other connections open.
#include "app/UtilitiesTab.h"
#include "import/FolderImport.h"
#include "import/StagedRows.h"
#include "import/frmFolderImport.h"
#include "import/frmSlugData.h"
#include "sensors/SensorTabs.h"
#include "store/DatabaseCopy.h"
#include "store/PgEngine.h"
#include "store/Provisioning.h"
#include "store/Statements.h"
#include "tests/maintenance/MaintenanceFixture.h"
#include <QCoreApplication>
#include <QDir>
#include <QThread>

using namespace rv;
using namespace rv::test;

namespace {

const QString kToday = QStringLiteral("LODIXbackup2026-03-14.mdb");
const QString kSafety = QStringLiteral("LODIXsafety2026-03-14 093015 before restore.mdb");
const QString kHeading = QStringLiteral("List of Backups:");
// The sample's tables and rows: two sensors of 50 and 3 readings.
const QString kSample =
    QStringLiteral("200525001=50 200525002=3 AlarmLevels=0 ChangeActions=0 Configuration=1 "
                   "ImportBatchRows=0 ImportBatches=0 NetworkConfig=0 Prefs=1 ReadingChanges=0 "
                   "Sensors=2 sensordata=0");

QString countsOnServer(const QString& conninfo) {
    Connection c;
    return c.openServer(conninfo).ok() ? tableCounts(c) : QStringLiteral("(no server)");
}

QString inFile(const QString& path) {
    Connection c;
    return c.open(path, Connection::Mode::ReadOnly).ok() ? tableCounts(c)
                                                         : QStringLiteral("(no file)");
}

// Waits until the other connections to the server database are n: one just closed leaves
// the server's list a moment later.
void settle(Connection& c, int n) {
    for (int i = 0; i < 50 && need(otherConnections(c)) != n; ++i)
        QThread::msleep(100);
    ASSERT_EQ(need(otherConnections(c)), n);
}

class ServerMaintenanceTest : public MaintenanceTest {
protected:
    void SetUp() override {
        MaintenanceTest::SetUp();
        if (qEnvironmentVariableIsEmpty("ROCKVANE_TEST_PG"))
            GTEST_SKIP() << "ROCKVANE_TEST_PG is not set; ./test.sh starts a server";
        addSensorsWithReadings();
        // The data folder's database moved onto a new server database.
        conninfo = qEnvironmentVariable("ROCKVANE_TEST_PG") +
                   QStringLiteral(" dbname=rv_maintenance_%1_%2")
                       .arg(QCoreApplication::applicationPid())
                       .arg(++count);
        ASSERT_TRUE(postgresEngine().create(conninfo).ok());
        ASSERT_TRUE(provisionServerDatabase(conninfo).ok());
        {
            Connection file, server;
            ASSERT_TRUE(file.open(databasePath, Connection::Mode::ReadOnly).ok());
            ASSERT_TRUE(server.openServer(conninfo).ok());
            ASSERT_TRUE(copyDatabase(file, server, CopyInto::NewDatabase).ok());
        }
        window = std::make_unique<frmRockvane>(dialogs, clock, paths, desktop, instance);
        window->setServerArgument(conninfo);
        ASSERT_TRUE(window->Form_Load());
        ASSERT_TRUE(s().gConnection.onServer());
        window->maintenance->setProgress(progress);
        enterUtilities();
    }
    QString onServer() { return countsOnServer(conninfo); }
    QStringList backupFiles() const {
        return QDir(backupFolder()).entryList(QDir::Files, QDir::Name);
    }
    void backup() {
        window->backups->imgBackup->click();
        dialogs.expect(QStringLiteral("Backup was successful"), kTitle, Icon::Information);
    }
    void askRestore() {
        choose(1);
        window->backups->imgRestore->click();
        dialogs.expect(QStringLiteral("Restoring Rockvane from backup ") + kToday +
                           QStringLiteral("\r\nwill permanently overwrite current database. "
                                          "Continue?"),
                       kTitleCaps, Icon::Exclamation, Buttons::YesNo);
    }

    QString conninfo;
    RecordingProgress progress;
    static inline int count = 0;
};

TEST_F(ServerMaintenanceTest, ABackupIsTheServersDataInTheDaysBackupFile) {
    backup();

    EXPECT_EQ(inFile(todaysBackup()), kSample);
    EXPECT_EQ(onServer(), kSample);
    EXPECT_EQ(backupFiles(), QStringList{kToday}) << "no work file is left";
    EXPECT_EQ(listed(), QStringList({kHeading, kToday}));
    EXPECT_EQ(progress.labels,
              QStringList{QStringLiteral("Copying the site server's data into ") + kToday});
    EXPECT_EQ(progress.lastDone, 57);
    EXPECT_EQ(progress.ended, 1);
    EXPECT_TRUE(s().gConnection.onServer());
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(ServerMaintenanceTest, ARestoreWhileOthersAreConnectedAnsweredNoChangesNothing) {
    backup();
    Connection other;
    ASSERT_TRUE(other.openServer(conninfo).ok());
    ASSERT_TRUE(other.execute(QStringLiteral("DELETE FROM `200525002`")).ok());
    settle(s().gConnection, 1);
    const QString before = onServer();
    settle(s().gConnection, 1);

    dialogs.answerYes();
    dialogs.answerNo();
    askRestore();
    dialogs.expect(QStringLiteral("1 other connection is open to this database. Their work "
                                  "since their last save may be lost. Restore anyway?"),
                   kTitle, Icon::Exclamation, Buttons::YesNo);

    EXPECT_EQ(onServer(), before);
    EXPECT_TRUE(before.contains(QStringLiteral("200525002=0"))) << before.toStdString();
    EXPECT_EQ(backupFiles(), QStringList{kToday}) << "no safety backup was made";
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
}

TEST_F(ServerMaintenanceTest, ARestoreReplacesTheServersDataAfterASafetyBackupOfIt) {
    backup();
    {
        // Since the backup: one sensor's readings deleted, a sensor added.
        Connection other;
        ASSERT_TRUE(other.openServer(conninfo).ok());
        ASSERT_TRUE(other.execute(QStringLiteral("DELETE FROM `200525002`")).ok());
        ASSERT_TRUE(
            other.execute(QStringLiteral("INSERT INTO Sensors (InstrumentID) VALUES ('200525009')"))
                .ok());
        ASSERT_TRUE(other.execute(sql::newReadingsTable(QStringLiteral("200525009"))).ok());
    }
    settle(s().gConnection, 0);

    dialogs.answerYes();
    askRestore();
    dialogs.expect(QStringLiteral("Restore was successful"), kTitle, Icon::Information);

    EXPECT_EQ(onServer(), kSample);
    EXPECT_EQ(backupFiles(), QStringList({kToday, kSafety}));
    EXPECT_EQ(inFile(backupPath(kSafety)),
              "200525001=50 200525002=0 200525009=0 AlarmLevels=0 ChangeActions=0 Configuration=1 "
              "ImportBatchRows=0 ImportBatches=0 NetworkConfig=0 Prefs=1 ReadingChanges=0 "
              "Sensors=3 sensordata=0");
    EXPECT_EQ(listed(), QStringList({kHeading, kToday, kSafety}));
    // The program shows the restored data, as after a restore of a file.
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
    QStringList sensors;
    for (int i = 0; i < window->identification->cboSensors->count(); ++i)
        sensors << window->identification->cboSensors->itemText(i);
    EXPECT_EQ(sensors, QStringList({"200525001", "200525002"}));
    EXPECT_TRUE(s().gConnection.onServer());
    EXPECT_EQ(logEntries(), 0);
    // Every row is new: none is told to an engineer as deleted or changed by the restorer.
    Connection look;
    ASSERT_TRUE(look.openServer(conninfo).ok());
    Query kept(look, QStringLiteral("SELECT count(*) FROM rv_row_changes"));
    ASSERT_TRUE(kept.next());
    EXPECT_EQ(kept.int64(0), 0);
}

TEST_F(ServerMaintenanceTest, ARestoreTheServerRefusesHalfWayLeavesItsDataAsItWas) {
    backup();
    {
        // Since the backup: one sensor's readings deleted; the server now refuses the first
        // reading of the other.
        Connection other;
        ASSERT_TRUE(other.openServer(conninfo).ok());
        ASSERT_TRUE(other.execute(QStringLiteral("DELETE FROM `200525002`")).ok());
        ASSERT_TRUE(other
                        .execute(QStringLiteral("ALTER TABLE `200525001` ADD CONSTRAINT refuse "
                                                "CHECK (FullDate <> '2020-01-01 08:00:00') NOT "
                                                "VALID"))
                        .ok());
    }
    const QString before = onServer();
    settle(s().gConnection, 0);

    dialogs.answerYes();
    askRestore();
    ASSERT_EQ(dialogs.pending().size(), 1u);
    const QString told = dialogs.pending().front().text;
    dialogs.clear();

    EXPECT_TRUE(told.startsWith(QStringLiteral("Error encountered during restore process\r\n"
                                               "Copying the table 200525001: ")))
        << told.toStdString();
    EXPECT_TRUE(told.endsWith(QStringLiteral("\r\nThe current database was not changed.")));
    EXPECT_EQ(onServer(), before);
    EXPECT_TRUE(before.contains(QStringLiteral("200525002=0"))) << before.toStdString();
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" G_RestoreDB\r\n")));
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
}

TEST_F(ServerMaintenanceTest, AnImportOnTheServerMakesNoSafetyBackupAndItsWindowsSaySo) {
    EXPECT_TRUE(window->maintenance->G_SafetyBackup(SafetyReason::Import));
    EXPECT_TRUE(backupFiles().isEmpty());

    const QString notice =
        QStringLiteral("On the site server the import's undo record replaces the safety backup.");
    StagedRows rows;
    frmSlugData single(s(), rows, ImportHost{});
    EXPECT_TRUE(single.lblNotice->isVisibleTo(&single));
    EXPECT_EQ(single.lblNotice->text(), notice);
    FolderStaging staging;
    frmFolderImport folder(s(), staging, ImportHost{});
    EXPECT_TRUE(folder.lblNotice->isVisibleTo(&folder));
    EXPECT_EQ(folder.lblNotice->text(), notice);
}

TEST_F(MaintenanceTest, OnTheFileTheImportWindowsSayNothingOfTheServer) {
    addSensorsWithReadings();
    ASSERT_TRUE(start());
    StagedRows rows;
    frmSlugData single(s(), rows, ImportHost{});
    EXPECT_FALSE(single.lblNotice->isVisibleTo(&single));
    FolderStaging staging;
    frmFolderImport folder(s(), staging, ImportHost{});
    EXPECT_FALSE(folder.lblNotice->isVisibleTo(&folder));
}

} // namespace
