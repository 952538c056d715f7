// Working on a site server: which database a run starts on, the title naming it, a server
// that cannot be opened (and the file taken in its place), the Database window, and the
// engineer's way from the file to a server's sensors and back.
#include "app/UtilitiesTab.h"
#include "app/frmDatabase.h"
#include "platform/UserChoices.h"
#include "readings/ReadingsTab.h"
#include "sensors/SensorTabs.h"
#include "store/Module1.h"
#include "store/PgEngine.h"
#include "store/Provisioning.h"
#include "tests/support/MainWindow.h"
#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimer>
#include <sys/stat.h>

using namespace rv;
using namespace rv::test;

namespace {

const QString kNoSensors = QStringLiteral("There are no sensors in the database, \r\nclick the "
                                          "ADD NEW button to begin using Rockvane");
const QString kInstead = QStringLiteral("\r\n\r\nOpen this computer's database file instead?");
const QString kUnreachable = QStringLiteral("host=/nonexistent-dir dbname=x connect_timeout=1");
const char* const kNoServer = "ROCKVANE_TEST_PG is not set; ./test.sh starts a server";

QString testServer() {
    return qEnvironmentVariable("ROCKVANE_TEST_PG");
}
// One setting of a connection string written keyword=value without quotes.
QString setting(const QString& conninfo, const QString& key) {
    const QRegularExpression re(QStringLiteral("(?:^|\\s)") + key + QStringLiteral("=(\\S+)"));
    return re.match(conninfo).captured(1);
}
ino_t inodeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

class SiteServerTest : public MainWindowTest {
protected:
    // A new database of its own on the test server, with the Rockvane tables when
    // provisioned; its connection string (its name in `name`).
    QString serverDatabase(bool provisioned) {
        name = QStringLiteral("rv_app_%1_%2").arg(QCoreApplication::applicationPid()).arg(++count);
        const QString conninfo = testServer() + QStringLiteral(" dbname=") + name;
        const auto made = postgresEngine().create(conninfo);
        EXPECT_TRUE(made.ok()) << made.error().description.toStdString();
        if (provisioned) {
            const Status ready = provisionServerDatabase(conninfo);
            EXPECT_TRUE(ready.ok()) << ready.error().description.toStdString();
        }
        return conninfo;
    }
    void remember(const QString& server) {
        ASSERT_TRUE(UserChoices(paths).setText(QStringLiteral("Database/Server"), server));
    }
    QString remembered() const {
        return UserChoices(paths).text(QStringLiteral("Database/Server"));
    }
    QString fileTitle() const {
        return QStringLiteral("Rockvane LODIX - ") + QDir::toNativeSeparators(databasePath);
    }
    QString name;
    static inline int count = 0;
};

TEST_F(SiteServerTest, TheFileByDefaultNamedInTheTitle) {
    ASSERT_TRUE(start());
    dialogs.expect(kNoSensors, kTitle, Icon::Exclamation);
    EXPECT_TRUE(s().gConnection.isOpen());
    EXPECT_FALSE(s().gConnection.onServer());
    EXPECT_EQ(window->windowTitle(), fileTitle());
    EXPECT_EQ(instance.guarded, databasePath) << "the file is guarded against other copies";
}

TEST_F(SiteServerTest, TheRememberedServerWithoutLockCheckOrCompaction) {
    if (testServer().isEmpty()) GTEST_SKIP() << kNoServer;
    const QString server = serverDatabase(true);
    remember(server);
    const ino_t file = inodeOf(databasePath);
    ASSERT_TRUE(start());
    dialogs.expect(kNoSensors, kTitle, Icon::Exclamation);
    EXPECT_TRUE(s().gConnection.onServer());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Rockvane LODIX - ") + name +
                                         QStringLiteral(" on ") +
                                         setting(testServer(), QStringLiteral("host")));
    EXPECT_EQ(instance.guarded, "") << "no lock beside the file";
    window->close();
    window.reset();
    EXPECT_EQ(inodeOf(databasePath), file) << "the file was not compacted into a new one";
    EXPECT_EQ(logEntries(), 0) << logText().toStdString();
    EXPECT_EQ(remembered(), server);
}

TEST_F(SiteServerTest, TheCommandLinesServerWinsForItsRunAndIsNotRemembered) {
    const QString kept = QStringLiteral("host=/nonexistent-kept dbname=x connect_timeout=1");
    remember(kept);
    window = std::make_unique<frmRockvane>(dialogs, clock, paths, desktop, instance);
    window->setServerArgument(kUnreachable);
    dialogs.answerNo();
    EXPECT_FALSE(window->Form_Load());
    const Message m = dialogs.take();
    EXPECT_TRUE(m.text.startsWith("The site server /nonexistent-dir could not be reached.\r\n"))
        << m.text.toStdString();
    EXPECT_EQ(remembered(), kept);
}

// Each way a server can fail: the message names which, with one log entry; Yes opens the
// file, and the remembered choice stays.
TEST_F(SiteServerTest, AServerThatCannotBeOpenedIsNamedAndYesOpensTheFile) {
    const bool pg = !testServer().isEmpty();
    const QString missing =
        QStringLiteral("rv_app_none_%1").arg(QCoreApplication::applicationPid());
    const QString host = setting(testServer(), QStringLiteral("host"));
    const QString empty = pg ? serverDatabase(false) : QString();
    const QString emptyName = name;
    // Tables made by hand without quotes: named as Rockvane's but in lower case.
    const QString handMade = pg ? serverDatabase(false) : QString();
    if (pg) {
        Connection c;
        ASSERT_TRUE(
            c.openServer(handMade, Connection::Mode::ReadWrite, Connection::Tables::Any).ok());
        ASSERT_TRUE(c.execute(QStringLiteral("CREATE TABLE configuration (id integer)")).ok());
        ASSERT_TRUE(c.execute(QStringLiteral("CREATE TABLE sensors (id integer)")).ok());
    }
    const struct {
        QString server;
        long long number;
        QString text; // the whole message, or its first line followed by the server's text
        bool firstLine;
    } cases[] = {
        {kUnreachable, 1101, "The site server /nonexistent-dir could not be reached.", true},
        {testServer() + " user=nosuchuser", 1102,
         "The site server refused the login of nosuchuser.", true},
        {testServer() + " dbname=" + missing, 1103,
         "The site server has no database " + missing + "." + kInstead, false},
        {empty, 1104,
         "The database " + emptyName + " on " + host +
             " holds no Rockvane tables. Prepare it with rockvane-provision --server." + kInstead,
         false},
        {handMade, 1109,
         "The database " + name + " on " + host +
             " holds tables whose names differ from Rockvane's only in case (configuration for "
             "Configuration, sensors for Sensors), as tables made by hand without quotes are "
             "named. Rockvane's tables are made by rockvane-provision --server, only in an "
             "empty database." +
             kInstead,
         false},
    };
    int entries = 0;
    for (const auto& c : cases) {
        if (!pg && c.number != 1101) continue;
        SCOPED_TRACE(c.number);
        remember(c.server);
        instance.guarded.clear();
        dialogs.answerYes();
        ASSERT_TRUE(start());
        const Message m = dialogs.take();
        if (c.firstLine) {
            EXPECT_TRUE(m.text.startsWith(c.text + "\r\n")) << m.text.toStdString();
            EXPECT_GT(m.text.size(), c.text.size() + kInstead.size() + 2) << "the server's text";
            EXPECT_TRUE(m.text.endsWith(kInstead));
        } else {
            EXPECT_EQ(m.text, c.text);
        }
        EXPECT_EQ(m.title, "Database connection error");
        EXPECT_EQ(m.icon, Icon::Exclamation);
        EXPECT_EQ(m.buttons, Buttons::YesNo);
        dialogs.expect(kNoSensors, kTitle, Icon::Exclamation);
        EXPECT_TRUE(s().gConnection.isOpen());
        EXPECT_FALSE(s().gConnection.onServer());
        EXPECT_EQ(window->windowTitle(), fileTitle());
        EXPECT_EQ(instance.guarded, databasePath);
        EXPECT_EQ(logEntries(), ++entries);
        EXPECT_TRUE(logText().contains(QStringLiteral("Err #%1: ").arg(c.number)));
        EXPECT_TRUE(logText().endsWith(" Form_Load\r\n"));
        EXPECT_EQ(remembered(), c.server);
        window.reset();
    }
}

TEST_F(SiteServerTest, NoEndsTheRunWithoutTouchingTheFile) {
    remember(kUnreachable);
    const QByteArray before = digest(databasePath);
    dialogs.answerNo();
    EXPECT_FALSE(start());
    EXPECT_TRUE(dialogs.take().text.endsWith(kInstead));
    EXPECT_FALSE(s().gConnection.isOpen());
    EXPECT_EQ(instance.guarded, "");
    window->close();
    window.reset();
    EXPECT_EQ(logEntries(), 1);
    EXPECT_EQ(digest(databasePath), before);
}

TEST_F(SiteServerTest, TheDatabaseWindowsBoxesAndWhatTheyRefuse) {
    frmDatabase w(databasePath, QString());
    EXPECT_EQ(w.windowTitle(), "Database");
    EXPECT_TRUE(w.optFile->isChecked());
    EXPECT_EQ(w.optFile->text(), "This computer's file");
    EXPECT_EQ(w.optServer->text(), "A site server");
    EXPECT_EQ(w.lblFile->text(), QDir::toNativeSeparators(databasePath));
    EXPECT_FALSE(w.txtHost->isEnabled());
    EXPECT_FALSE(w.cmdTest->isEnabled());
    EXPECT_EQ(w.lblPasswords->text(), "Passwords come from ~/.pgpass, a service file or the "
                                      "PGPASSWORD environment; Rockvane never stores them.");
    QStringList modes;
    for (int i = 0; i < w.cboSslMode->count(); ++i)
        modes << w.cboSslMode->itemText(i);
    EXPECT_EQ(modes,
              QStringList({"disable", "allow", "prefer", "require", "verify-ca", "verify-full"}));
    EXPECT_EQ(w.cboSslMode->currentText(), "prefer");
    EXPECT_EQ(w.chosenServer(), "") << "the file";

    w.optServer->click();
    EXPECT_TRUE(w.txtHost->isEnabled());
    w.txtHost->setText(QStringLiteral("/nonexistent-dir"));
    w.txtDatabase->setText(QStringLiteral("rock vane"));
    const QString port = QStringLiteral("The port is a number from 1 to 65535 (the server's usual "
                                        "port is 5432).");
    const struct {
        const char* port;
        bool refused;
    } ports[] = {{"0", true}, {"1", false}, {"65535", false}, {"65536", true}, {"54x", true}};
    for (const auto& p : ports) {
        SCOPED_TRACE(p.port);
        w.txtPort->setText(QString::fromLatin1(p.port));
        w.cmdTest->click();
        if (p.refused)
            EXPECT_EQ(w.lblOutcome->text(), port);
        else
            EXPECT_TRUE(w.lblOutcome->text().startsWith(QStringLiteral("The site server "
                                                                       "/nonexistent-dir:") +
                                                        p.port +
                                                        QStringLiteral(" could not be reached.")))
                << w.lblOutcome->text().toStdString();
    }
    EXPECT_EQ(w.chosenServer(), "host=/nonexistent-dir port=54x dbname='rock vane' sslmode=prefer");
    w.txtPort->clear();
    w.txtDatabase->setText(QStringLiteral("  "));
    w.cmdOK->click();
    EXPECT_EQ(w.lblOutcome->text(), "Name the database on the server (for example rockvane).");
    w.txtDatabase->setText(QStringLiteral("x"));
    w.cmdOK->click();
    EXPECT_TRUE(w.lblOutcome->text().startsWith("The site server /nonexistent-dir could not be "
                                                "reached."));
    EXPECT_EQ(w.result(), QDialog::Rejected) << "a server that does not answer is not taken";

    // Opened on a server, the window shows it and keeps what it has no box for.
    const QString server = QStringLiteral(
        "host=db.mine port=6543 dbname='rock vane' user=jo sslmode=require connect_timeout=3");
    frmDatabase on(databasePath, server);
    EXPECT_TRUE(on.optServer->isChecked());
    EXPECT_EQ(on.txtHost->text(), "db.mine");
    EXPECT_EQ(on.txtPort->text(), "6543");
    EXPECT_EQ(on.txtDatabase->text(), "rock vane");
    EXPECT_EQ(on.txtUser->text(), "jo");
    EXPECT_EQ(on.cboSslMode->currentText(), "require");
    EXPECT_EQ(on.chosenServer(), server);
}

// The choice stays remembered until the engineer changes it in the Database window: not
// when the file was taken for one run, nor when the window is cancelled.
TEST_F(SiteServerTest, TheRememberedChoiceChangesOnlyInTheDatabaseWindow) {
    remember(kUnreachable);
    dialogs.answerYes();
    ASSERT_TRUE(start());
    dialogs.clear();
    window->SSTab1->setCurrentIndex(5);
    EXPECT_EQ(window->utilities->cmdDatabase->text(), "Database...");
    QTimer::singleShot(0, [&] { window->databaseWindow()->cmdCancel->click(); });
    window->utilities->cmdDatabase->click();
    EXPECT_EQ(remembered(), kUnreachable);
    bool fileShown = false;
    QTimer::singleShot(0, [&] {
        fileShown = window->databaseWindow()->optFile->isChecked();
        window->databaseWindow()->cmdOK->click();
    });
    window->utilities->cmdDatabase->click();
    EXPECT_TRUE(fileShown) << "the window shows the database open";
    EXPECT_EQ(window->databaseWindow(), nullptr);
    EXPECT_EQ(remembered(), "");
    EXPECT_TRUE(s().gConnection.isOpen());
    EXPECT_EQ(window->windowTitle(), fileTitle());
}

// A server that stops answering between the window's check and the switch: the same
// message, and Yes keeps the engineer on the file.
TEST_F(SiteServerTest, ASwitchToAServerThatFailsOffersTheFile) {
    addSensorRow(QStringLiteral("200525009"));
    ASSERT_TRUE(start());
    dialogs.answerYes();
    EXPECT_FALSE(window->useDatabase(kUnreachable));
    const Message m = dialogs.take();
    EXPECT_TRUE(m.text.startsWith("The site server /nonexistent-dir could not be reached.\r\n"));
    EXPECT_TRUE(m.text.endsWith(kInstead));
    EXPECT_TRUE(s().gConnection.isOpen());
    EXPECT_FALSE(s().gConnection.onServer());
    EXPECT_EQ(window->windowTitle(), fileTitle());
    EXPECT_EQ(window->identification->txtSensor->text(), "200525009");
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().endsWith(" cmdDatabase_Click\r\n")) << logText().toStdString();
}

// The engineer's story: from the file, the Database window opens the mine's server; its
// sensors are listed and one is gone to; the next run starts on the server, and the window
// takes the engineer back to the file.
TEST_F(SiteServerTest, TheEngineerOpensTheSiteServerAndGoesToASensor) {
    if (testServer().isEmpty()) GTEST_SKIP() << kNoServer;
    addSensorRow(QStringLiteral("200525009"));
    const QString server = serverDatabase(true);
    {
        Connection c;
        ASSERT_TRUE(c.openServer(server).ok());
        for (const QString& id : {QStringLiteral("200625001"), QStringLiteral("200625002")}) {
            const Status added = c.execute(
                QStringLiteral("INSERT INTO Sensors (InstrumentID, DateID, SensorType, TypeID, "
                               "SensorNo, Family, Model, InstallDate, Destroyed, HeadLocation) "
                               "VALUES ('%1', '2006', '25', '25', '%2', 'Load Cell', 'LODIX', "
                               "'2006-06-01', 'No', 1)")
                    .arg(id, id.right(3)));
            ASSERT_TRUE(added.ok()) << added.error().description.toStdString();
            const Status made = createReadingsTable(c, id);
            ASSERT_TRUE(made.ok()) << made.error().description.toStdString();
        }
    }
    ASSERT_TRUE(start());
    EXPECT_EQ(window->identification->txtSensor->text(), "200525009");
    window->SSTab1->setCurrentIndex(5);
    const QString host = setting(testServer(), QStringLiteral("host"));
    const QString user = setting(testServer(), QStringLiteral("user"));
    QString tested;
    QTimer::singleShot(0, [&] {
        frmDatabase* w = window->databaseWindow();
        w->optServer->click();
        w->txtHost->setText(host);
        w->txtPort->clear();
        w->txtDatabase->setText(name);
        w->txtUser->setText(user);
        w->cmdTest->click();
        tested = w->lblOutcome->text();
        w->cmdOK->click();
    });
    window->utilities->cmdDatabase->click();
    const QString serverTitle =
        QStringLiteral("Rockvane LODIX - ") + name + QStringLiteral(" on ") + host;
    EXPECT_EQ(tested, "Connected: " + name + " on " + host + " holds the Rockvane tables.");
    EXPECT_TRUE(s().gConnection.onServer());
    EXPECT_TRUE(instance.released) << "the file's lock goes with the file";
    EXPECT_EQ(window->windowTitle(), serverTitle);
    EXPECT_EQ(remembered(),
              "host=" + host + " dbname=" + name + " user=" + user + " sslmode=prefer");
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
    ASSERT_EQ(window->identification->cboSensors->count(), 2);
    EXPECT_EQ(window->identification->txtSensor->text(), "200625001");
    window->SSTab1->setCurrentIndex(0);
    window->identification->imgNext->click();
    EXPECT_EQ(window->identification->txtSensor->text(), "200625002");
    EXPECT_EQ(window->identification->txtSnav->text(), "2 of 2");
    window->SSTab1->setCurrentIndex(2);
    EXPECT_EQ(window->readings->txtSensor3->text(), "200625002");
    EXPECT_EQ(window->readings->lblError->text(),
              "0 Readings - Click the Add button to add a reading")
        << "the sensor's own readings table on the server, empty";

    window->close();
    window.reset();
    ASSERT_TRUE(start());
    EXPECT_EQ(window->windowTitle(), serverTitle) << "the next run starts on the server";
    EXPECT_EQ(window->identification->txtSensor->text(), "200625001");
    window->SSTab1->setCurrentIndex(5);
    QTimer::singleShot(0, [&] {
        window->databaseWindow()->optFile->click();
        window->databaseWindow()->cmdOK->click();
    });
    window->utilities->cmdDatabase->click();
    EXPECT_EQ(window->windowTitle(), fileTitle());
    EXPECT_EQ(window->identification->txtSensor->text(), "200525009");
    EXPECT_EQ(window->identification->cboSensors->count(), 1);
    EXPECT_EQ(instance.guarded, databasePath) << "the file is guarded once it is used";
    EXPECT_EQ(logEntries(), 0) << logText().toStdString();
}

} // namespace
