// An engineer whose database user may only read, on a site server: the sensors, their
// readings and the plot are shown; a change of a sensor's record, a new sensor and a new
// reading are each refused with a message, and the server's data stays as it was.
#include "core/Values.h"
#include "readings/ReadingsTab.h"
#include "sensors/SensorTabs.h"
#include "store/Module1.h"
#include "store/PgEngine.h"
#include "store/Provisioning.h"
#include "tests/support/MainWindow.h"
#include <QCoreApplication>
#include <QDir>
#include <QTabWidget>

using namespace rv;
using namespace rv::test;

namespace {

const QString kId = QStringLiteral("200625001");

class ReadOnlyServerTest : public MainWindowTest {
protected:
    void TearDown() override {
        MainWindowTest::TearDown();
        if (!role.isEmpty()) {
            (void)admin.execute(QStringLiteral("DROP OWNED BY ") + role);
            (void)admin.execute(QStringLiteral("DROP ROLE ") + role);
        }
    }
    // The admin's statement, which must succeed.
    void run(const QString& sql) {
        const Status done = admin.execute(sql);
        ASSERT_TRUE(done.ok()) << sql.toStdString() << ": "
                               << done.error().description.toStdString();
    }
    // The first column of every row the admin reads, joined by spaces.
    QString adminRows(const QString& sql) {
        Recordset rs;
        const Status opened = rs.open(admin, sql);
        EXPECT_TRUE(opened.ok()) << sql.toStdString() << ": "
                                 << opened.error().description.toStdString();
        QStringList values;
        for (; opened.ok() && !rs.eof(); (void)rs.moveNext())
            values << displayText(need(rs.value(QStringLiteral("v"))));
        return values.join(u' ');
    }
    // Takes every message shown since the last call; each must be one of `allowed` or the
    // site server's refusal, which the whole run shows once.
    void expectRefused(const char* step, const QStringList& allowed = {}) {
        SCOPED_TRACE(step);
        while (!dialogs.pending().empty()) {
            const Message m = dialogs.take();
            if (m.text == kRefused)
                ++refusals;
            else
                EXPECT_TRUE(allowed.contains(m.text)) << m.text.toStdString();
        }
        EXPECT_LE(refusals, 1);
    }
    int refusals = 0;
    const QString kRefused = QStringLiteral("The site server did not allow this change: your "
                                            "database user may read but not write. Nothing was "
                                            "changed.");
    Connection admin;
    QString role;
};

TEST_F(ReadOnlyServerTest, AnEngineerWhoMayOnlyReadSeesEverythingAndChangesNothing) {
    const QString server = newServerDatabase();
    if (server.isEmpty()) GTEST_SKIP() << "ROCKVANE_TEST_PG is not set; ./test.sh starts a server";
    ASSERT_TRUE(provisionServerDatabase(server).ok());
    ASSERT_TRUE(admin.openServer(server).ok());
    run(QStringLiteral("INSERT INTO Sensors (InstrumentID, DateID, SensorType, TypeID, SensorNo, "
                       "Family, Model, InstallDate, Destroyed, HeadLocation, Level) VALUES "
                       "('200625001', '2006', '25', '25', '001', 'Load Cell', 'LODIX', "
                       "'2006-06-01', 'No', 1, 'L12')"));
    ASSERT_TRUE(createReadingsTable(admin, kId).ok());
    for (const char* at : {"2026-03-10 06:00:00", "2026-03-11 06:00:00"})
        run(QStringLiteral("INSERT INTO `200625001` (DateTimeKey, FullDate, ReadingDate, "
                           "ReadingTime, Channel1, DoNotPlot) VALUES ('200625001 %1', '%2', "
                           "'%3', '%4', '12.5', 0)")
                .arg(QString::fromLatin1(at).replace('-', '/'), QString::fromLatin1(at),
                     QString::fromLatin1(at).left(10), QString::fromLatin1(at).mid(11)));
    role = QStringLiteral("rv_look_%1").arg(QCoreApplication::applicationPid());
    run(QStringLiteral("CREATE ROLE ") + role + QStringLiteral(" LOGIN"));
    run(QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO ") + role);
    const QString sensors = QStringLiteral("SELECT InstrumentID || ' ' || Level AS v FROM "
                                           "Sensors ORDER BY InstrumentID");
    const QString readings = QStringLiteral("SELECT Channel1 AS v FROM `200625001` ORDER BY "
                                            "DateTimeKey");
    ASSERT_EQ(adminRows(sensors), "200625001 L12");
    ASSERT_EQ(adminRows(readings), "12.5 12.5");

    const QString serverDatabaseName = serverDisplayName(server);
    window = std::make_unique<frmRockvane>(dialogs, clock, paths, desktop, instance);
    window->setServerArgument(server + QStringLiteral(" user=") + role);
    ASSERT_TRUE(window->Form_Load());
    EXPECT_EQ(dialogs.take().text,
              QStringLiteral("Your database user may read the site server's database ") +
                  serverDatabaseName +
                  QStringLiteral(" but not write to it.\r\nYou can look at "
                                 "every sensor, plot and report; changes "
                                 "you make are not stored."));
    EXPECT_TRUE(s().gConnection.onServer());
    EXPECT_TRUE(s().gConnection.readOnly());
    EXPECT_EQ(window->identification->txtSensor->text(), kId);
    EXPECT_EQ(window->identification->txtFamily->text(), "Load Cell");

    window->SSTab1->setCurrentIndex(2);
    EXPECT_EQ(window->readings->txtSensor3->text(), kId);
    EXPECT_EQ(window->readings->txtRcount->text(), "2 of 2");
    EXPECT_EQ(window->readings->txtChannel_1->text(), "12.5");
    window->SSTab1->setCurrentIndex(3);
    expectRefused("the way to the plot");

    window->SSTab1->setCurrentIndex(1);
    window->installation->txtLevel->setText(QStringLiteral("L14"));
    window->installation->cmdSave->click();
    expectRefused("the sensor's record");

    window->SSTab1->setCurrentIndex(0);
    dialogs.promptAnswer(QStringLiteral("200625002"));
    dialogs.answerYes();
    window->identification->imgAddSensor->click();
    expectRefused("a new sensor",
                  {QStringLiteral("Do you want to add new Sensor 200625002 to the database?"),
                   QStringLiteral("Sensor 200625002 cannot be added.\r\nThe database ") +
                       serverDatabaseName +
                       QStringLiteral(" is open for reading only: your "
                                      "database user may read but not "
                                      "write.")});

    window->SSTab1->setCurrentIndex(2);
    window->readings->imgAddReading->click();
    window->readings->txtChannel_1->setText(QStringLiteral("7"));
    window->readings->imgFirst->click();
    expectRefused("a new reading");

    window->close();
    window.reset();
    expectRefused("closing");
    EXPECT_EQ(refusals, 1) << "the refusal is told once";
    EXPECT_EQ(adminRows(sensors), "200625001 L12");
    EXPECT_EQ(adminRows(readings), "12.5 12.5");
    EXPECT_TRUE(logText().contains(QStringLiteral("Err #1106: permission denied for table")));
}

} // namespace
