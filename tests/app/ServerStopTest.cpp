// The site server stopping at once (a crash, a power cut) in the middle of an import, an
// undo, a restore or a datasheet write-back, driven through the windows: the server rolls
// the work back, the engineer is told once that the connection was lost, the log has the
// entry, nothing is half written, and once the server is back the same window's next
// action works without a restart. The server is these tests' own: the shared test server
// is never stopped.
#include "app/UtilitiesTab.h"
#include "maintenance/BackupGroup.h"
#include "maintenance/Maintenance.h"
#include "readings/ImportHistoryPanel.h"
#include "readings/frmDatasheet.h"
#include "store/DatabaseCopy.h"
#include "tests/TestPaths.h"
#include "tests/readings/ReadingsFixture.h"
#include "tests/support/OwnServer.h"
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTest>
#include <QThread>
#include <QTreeWidget>

using namespace rv;
using namespace rv::test;

namespace {

const QString kQuestion =
    QStringLiteral("All the checked data will be added to sensor:  200525001 ?");
const QString kBackup = QStringLiteral("LODIXbackup2026-03-14.mdb");
// What the server holds after SetUp's reading, and after the import of six-hourly.txt.
const QString kOneReading =
    QStringLiteral("200525001=1 AlarmLevels=0 Configuration=1 ImportBatchRows=0 ImportBatches=0 "
                   "NetworkConfig=0 Prefs=1 Sensors=1 sensordata=0 loads=90.00");
const QString kImported =
    QStringLiteral("200525001=13 AlarmLevels=0 Configuration=1 ImportBatchRows=12 ImportBatches=1 "
                   "NetworkConfig=0 Prefs=1 Sensors=1 sensordata=0 "
                   "loads=90.00,101.55,101.60,7.13,,102.00,102.13,5.00,0.50,103.40,103.45,,-1.01");

// Every table's row count on the database, then the sensor's loads in date order.
QString contents(Connection& c) {
    Query loads(c, QStringLiteral("SELECT Channel1 FROM `200525001` ORDER BY FullDate"));
    QStringList values;
    while (loads.next())
        values << loads.text(0);
    // The history of changes grows with what the tab writes back along the way; it is not
    // what these cases are about.
    const QString counts = tableCounts(c)
                               .remove(QRegularExpression(QStringLiteral(" ChangeActions=\\d+")))
                               .remove(QRegularExpression(QStringLiteral(" ReadingChanges=\\d+")));
    return counts + QStringLiteral(" loads=") + values.join(u',');
}

class ServerStopTest : public OnOwnServer<ReadingsWindowTest> {
protected:
    void SetUp() override {
        OnOwnServer::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        addReading("2005/03/01 00:00:00", "90.00", "11.0");
    }
    // The server stops at once at the first progress step of the work so labelled.
    void stopDuring(const QString& work) {
        progress.during = work;
        progress.atStep = [] { ASSERT_TRUE(server->stopNow()) << server->why().toStdString(); };
    }
    void startAgain() { ASSERT_TRUE(server->startAgain()) << server->why().toStdString(); }
    QString stored() {
        Connection c;
        return openDatabase(c, Connection::Mode::ReadOnly).ok() ? contents(c) : "(no server)";
    }
    void importFile(); // six-hourly.txt, through the import window
    void undoTheImport();
    void restoreTheBackup();
    void typeInEachLoad(const QString& digit); // in the datasheet, then closes it
    void expectCutOff(const QString& label);

    HookedProgress progress;
};

void ServerStopTest::importFile() {
    importSixHourly(&progress);
    dialogs.expect(kQuestion, QStringLiteral("Rockvane"), Icon::None, Buttons::YesNo);
}

void ServerStopTest::undoTheImport() {
    QTreeWidget* list = tab().fraImportHistory->lstImports;
    ASSERT_EQ(list->topLevelItemCount(), 1);
    list->setCurrentItem(list->topLevelItem(0));
    dialogs.answerYes();
    QTest::mouseClick(tab().fraImportHistory->cmdUndoImport, Qt::LeftButton);
    const Message asked = dialogs.take();
    EXPECT_TRUE(asked.text.startsWith(QStringLiteral("Undo the import of 200525001.txt of ")))
        << asked.text.toStdString();
}

void ServerStopTest::restoreTheBackup() {
    // A connection of the test's own, just closed, leaves the server's list a moment later.
    for (int i = 0; i < 50 && need(otherConnections(s().gConnection)) != 0; ++i)
        QThread::msleep(100);
    QListWidget* files = window->backups->lstFiles;
    files->setCurrentRow(1);
    files->item(1)->setSelected(true);
    dialogs.answerYes();
    window->backups->imgRestore->click();
    dialogs.expect(QStringLiteral("Restoring Rockvane from backup ") + kBackup +
                       QStringLiteral("\r\nwill permanently overwrite current database. Continue?"),
                   QStringLiteral("Brackwell's ROCKVANE"), Icon::Exclamation, Buttons::YesNo);
}

void ServerStopTest::typeInEachLoad(const QString& digit) {
    tab().Label45->click();
    frmDatasheet* sheet = tab().datasheetWindow();
    ASSERT_NE(sheet, nullptr) << logText().toStdString();
    for (int row = 1; row <= sheet->model->readingCount(); ++row) {
        sheet->setCurrentCell(row, 4);
        QTest::keyClicks(sheet->MSFlexGrid1, digit);
    }
    sheet->close();
    settle();
}

// The engineer was told once that the connection was lost; the log's first entry is the
// failure of the action under its label (what the windows read again after it, failing
// the same way, is only logged).
void ServerStopTest::expectCutOff(const QString& label) {
    dialogs.expect(QStringLiteral("The connection to the site server was lost. Nothing of this "
                                  "action was stored. Rockvane connects again on your next "
                                  "action."),
                   QStringLiteral("Site server"), Icon::Exclamation);
    EXPECT_TRUE(dialogs.pending().empty()) << dialogs.pending().front().text.toStdString();
    dialogs.clear();
    const QString log = logText();
    const QString first = log.section(QString(89, u'*'), 1, 1);
    EXPECT_TRUE(first.contains(QStringLiteral(
        " - Err #1105: The connection to the site server was lost: server closed the connection "
        "unexpectedly")))
        << log.toStdString();
    EXPECT_TRUE(first.endsWith(label + QStringLiteral("\r\n\r\n")) ||
                first.endsWith(label + QStringLiteral("\r\n")))
        << first.toStdString();
    // The next action is a new one: a loss then is told again.
    QCoreApplication::processEvents();
}

TEST_F(ServerStopTest, AnImportCutOffAddsNoReadingNorBatchAndTheNextImportWorks) {
    startOnReadings();
    stopDuring(QStringLiteral("Appending readings to sensor 200525001"));
    importFile();
    expectCutOff(QStringLiteral(" cmdAppend_Click"));
    startAgain();
    EXPECT_EQ(stored().toStdString(), kOneReading.toStdString())
        << "no reading and no part of the import's record";

    importFile();
    dialogs.expect(QStringLiteral(" 12 records appended to 200525001"));
    EXPECT_EQ(stored().toStdString(), kImported.toStdString());
    EXPECT_EQ(counter(), "1 of 13") << "the reading shown before, the first, shown again";
    EXPECT_EQ(tab().fraImportHistory->lstImports->topLevelItemCount(), 1);
}

TEST_F(ServerStopTest, AnUndoCutOffKeepsEveryReadingAndTheRecordAndTheNextUndoWorks) {
    startOnReadings();
    importFile();
    dialogs.expect(QStringLiteral(" 12 records appended to 200525001"));
    ASSERT_EQ(stored().toStdString(), kImported.toStdString());
    tab().setProgress(&progress);
    stopDuring(QStringLiteral("Undoing the import of 200525001.txt into sensor 200525001"));
    undoTheImport();
    const Message failed = dialogs.take();
    EXPECT_TRUE(failed.text.startsWith(QStringLiteral(
        "The import could not be undone: no reading was removed.\r\nThe connection to the site "
        "server was lost: ")))
        << failed.text.toStdString();
    expectCutOff(QStringLiteral(" cmdUndoImport_Click"));
    startAgain();
    EXPECT_EQ(stored().toStdString(), kImported.toStdString())
        << "every reading and the whole record kept";

    undoTheImport();
    dialogs.expect(QStringLiteral("12 readings of 200525001.txt were removed from sensor "
                                  "200525001."),
                   QStringLiteral("Undo import"), Icon::Information);
    EXPECT_EQ(stored().toStdString(), kOneReading.toStdString());
    EXPECT_EQ(counter(), "1 of 1");
}

TEST_F(ServerStopTest, ARestoreCutOffLeavesTheServersDataAndTheNextRestoreWorks) {
    ASSERT_TRUE(start());
    window->maintenance->setProgress(progress);
    window->SSTab1->setCurrentIndex(5);
    window->backups->imgBackup->click();
    dialogs.expect(QStringLiteral("Backup was successful"), QStringLiteral("Brackwell's Rockvane"),
                   Icon::Information);
    addReading("2005/03/02 00:00:00", "91.00", "11.0"); // since the backup
    const QString before = stored();
    stopDuring(QStringLiteral("Copying ") + kBackup + QStringLiteral(" onto the site server"));
    restoreTheBackup();
    const Message failed = dialogs.take();
    EXPECT_TRUE(failed.text.startsWith(QStringLiteral("Error encountered during restore process"
                                                      "\r\n")))
        << failed.text.toStdString();
    EXPECT_TRUE(failed.text.endsWith(QStringLiteral("\r\nThe current database was not changed.")));
    expectCutOff(QStringLiteral(" G_RestoreDB"));
    startAgain();
    EXPECT_EQ(stored(), before);
    EXPECT_TRUE(before.contains(QStringLiteral("loads=90.00,91.00"))) << before.toStdString();

    restoreTheBackup();
    dialogs.expect(QStringLiteral("Restore was successful"), QStringLiteral("Brackwell's Rockvane"),
                   Icon::Information);
    EXPECT_EQ(stored().toStdString(), kOneReading.toStdString());
    EXPECT_EQ(window->utilities->txtSCount->text(), "1");
}

TEST_F(ServerStopTest, ADatasheetWriteBackCutOffChangesNoReadingAndTheNextOneIsStored) {
    addReading("2005/03/02 00:00:00", "91.00", "11.0");
    addReading("2005/03/03 00:00:00", "92.00", "11.0");
    // The server stops itself while it updates the second reading, inside the write-back.
    execSql(QStringLiteral("CREATE FUNCTION stop_server() RETURNS trigger LANGUAGE plpgsql AS "
                           "'BEGIN COPY (SELECT 1) TO PROGRAM ''%1''; RETURN NEW; END'")
                .arg(server->stopCommand()));
    execSql(QStringLiteral("CREATE TRIGGER stop_server BEFORE UPDATE ON `200525001` FOR EACH ROW "
                           "WHEN (NEW.DateTimeKey = '200525001 2005/03/02 00:00:00') EXECUTE "
                           "FUNCTION stop_server()"));
    startOnReadings();
    typeInEachLoad(QStringLiteral("5"));
    expectCutOff(QStringLiteral(" frmDatasheet.G_ReadValuesFromGrid"));
    ASSERT_TRUE(server->stopNow()) << "stopped already, by the server itself";
    startAgain();
    EXPECT_TRUE(stored().endsWith(QStringLiteral(" loads=90.00,91.00,92.00")))
        << stored().toStdString();

    execSql(QStringLiteral("DROP TRIGGER stop_server ON `200525001`"));
    typeInEachLoad(QStringLiteral("7"));
    EXPECT_TRUE(stored().endsWith(QStringLiteral(" loads=90.007,91.007,92.007")))
        << stored().toStdString();
    EXPECT_EQ(counter(), "3 of 3");
}

// With the server gone, the datasheet and the plot cannot read the sensor's readings: that
// is told as the lost connection, never as a readings table to be made.
TEST_F(ServerStopTest, AServerOutOfReachIsNeverTakenForAMissingReadingsTable) {
    startOnReadings();
    ASSERT_TRUE(server->stopNow()) << server->why().toStdString();
    tab().Label45->click();
    expectCutOff(QStringLiteral(" G_SaveReadings"));
    window->SSTab1->setCurrentIndex(3);
    dialogs.expect(QStringLiteral("The connection to the site server was lost. Nothing of this "
                                  "action was stored. Rockvane connects again on your next "
                                  "action."),
                   QStringLiteral("Site server"), Icon::Exclamation);
    EXPECT_EQ(window->SSTab1->currentIndex(), 2) << "no plot without its readings";
    EXPECT_FALSE(logText().contains(QStringLiteral("AddDataTable")));
    startAgain();
    EXPECT_EQ(stored().toStdString(), kOneReading.toStdString());
}

// Without a server: what follows a lost connection in the same action fails the same way
// and is only logged; once the program is back waiting for the engineer, a loss is told
// again.
TEST(ConnectionLoss, IsToldOnceForEachAction) {
    FakeDialogs dialogs;
    FixedClock clock;
    FakePaths paths;
    FakeDesktop desktop;
    Session session(dialogs, clock, paths, desktop);
    const Error lost{err::ConnectionLost, QStringLiteral("The connection to the site server was "
                                                         "lost: gone")};
    session.logFailure(lost, QStringLiteral(" the action"));
    session.logFailure(lost, QStringLiteral(" what it reads again"));
    EXPECT_EQ(dialogs.pending().size(), 1u);
    QCoreApplication::processEvents();
    session.logFailure(lost, QStringLiteral(" the next action"));
    EXPECT_EQ(dialogs.pending().size(), 2u);
    session.logFailure(Error{err::WriteRefused, QStringLiteral("refused")}, QStringLiteral(" x"));
    EXPECT_EQ(dialogs.pending().size(), 3u) << "another failure is told as before";
    dialogs.clear();
}

} // namespace
