// rockvane-provision --server: preparing a site server's database, and moving a database
// file onto it, end to end through the command's arguments, output and exit code.
#include "provision/ProvisionMain.h"
#include "store/Connection.h"
#include "store/PgEngine.h"
#include "store/Provisioning.h"
#include "store/Statements.h"
#include "tests/support/DataFolder.h"
#include "tests/support/Fakes.h"
#include <QCoreApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

namespace rv {
namespace {

class ProvisionServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tmp.isValid()); }

    // A new, empty database on the throwaway server; its connection string.
    QString newServerDatabase() {
        server = qEnvironmentVariable("ROCKVANE_TEST_PG");
        database = QStringLiteral("rv_provision_%1_%2")
                       .arg(QCoreApplication::applicationPid())
                       .arg(++count);
        const QString conninfo = server + QStringLiteral(" dbname=") + database;
        const auto made = postgresEngine().create(conninfo);
        EXPECT_TRUE(made.ok()) << made.error().description.toStdString();
        return conninfo;
    }
    // The server as the command names it: "<database> on <host>".
    QString named() const {
        const auto host = QRegularExpression(QStringLiteral("host=(\\S+)")).match(server);
        return database + QStringLiteral(" on ") + host.captured(1);
    }
    // A database file with one sensor and its two readings.
    QString sampleFile() {
        const QString path = tmp.filePath(QStringLiteral("RockvaneLODIX.mdb"));
        EXPECT_TRUE(createShippedDatabase(path).ok());
        Connection c;
        EXPECT_TRUE(c.open(path).ok());
        for (const QString& sql :
             {QStringLiteral("INSERT INTO Sensors (InstrumentID) VALUES ('200525001')"),
              sql::newReadingsTable(QStringLiteral("200525001")),
              QStringLiteral("INSERT INTO `200525001` (DateTimeKey, Channel1) VALUES "
                             "('200525001 2020/01/01 08:00:00', '0012.50'), "
                             "('200525001 2020/01/02 08:00:00', '0013.00')")})
            EXPECT_TRUE(c.execute(sql).ok()) << sql.toStdString();
        return path;
    }

    int run(const QStringList& args) {
        output.clear();
        errors.clear();
        QTextStream out(&output);
        QTextStream err(&errors);
        return provisionMain(args, paths, out, err, nullptr);
    }
    QStringList outputLines() const { return output.split(u'\n', Qt::SkipEmptyParts); }

    QTemporaryDir tmp;
    test::FakePaths paths;
    QString server, database, output, errors;
    static inline int count = 0;
};

class OnTheServer : public ProvisionServerTest {
protected:
    void SetUp() override {
        ProvisionServerTest::SetUp();
        if (qEnvironmentVariableIsEmpty("ROCKVANE_TEST_PG"))
            GTEST_SKIP() << "ROCKVANE_TEST_PG is not set; ./test.sh starts a server";
    }
};

TEST_F(OnTheServer, AnEmptyDatabaseIsPreparedOnceAndThenLeftAsItIs) {
    const QString conninfo = newServerDatabase();

    ASSERT_EQ(run({QStringLiteral("--server"), conninfo}), 0) << errors.toStdString();
    EXPECT_EQ(outputLines(),
              QStringList{QStringLiteral("Prepared the Rockvane tables and their first rows in ") +
                          named()});
    EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();
    Connection c;
    ASSERT_TRUE(c.openServer(conninfo).ok());
    c.close();

    EXPECT_EQ(run({QStringLiteral("--server=") + conninfo}), 1);
    EXPECT_TRUE(output.isEmpty());
    EXPECT_EQ(errors, QStringLiteral("rockvane-provision: The database ") + named() +
                          QStringLiteral(" already holds Rockvane tables (Configuration, Sensors, "
                                         "NetworkConfig, Prefs, sensordata, AlarmLevels, "
                                         "ImportBatches, ImportBatchRows, ChangeActions, "
                                         "ReadingChanges); it was left as it is\n"));
}

TEST_F(OnTheServer, AFileMovedOntoAnEmptyDatabaseArrivesWholeAndStaysAsItWas) {
    const QString conninfo = newServerDatabase();
    const QString file = sampleFile();
    const QByteArray before = test::digest(file);

    ASSERT_EQ(run({QStringLiteral("--server"), conninfo, QStringLiteral("--move-file"), file}), 0)
        << errors.toStdString();

    EXPECT_EQ(outputLines(),
              QStringList({QStringLiteral("Prepared the Rockvane tables and their first rows in ") +
                               named(),
                           QStringLiteral("Moved ") + file + QStringLiteral(" onto ") + named() +
                               QStringLiteral(" in one transaction:"),
                           "  Configuration: 1 rows in the file, 1 on the server",
                           "  Sensors: 1 rows in the file, 1 on the server",
                           "  NetworkConfig: 0 rows in the file, 0 on the server",
                           "  Prefs: 1 rows in the file, 1 on the server",
                           "  sensordata: 0 rows in the file, 0 on the server",
                           "  200525001: 2 rows in the file, 2 on the server",
                           QStringLiteral("The file was not changed: ") + file}));
    EXPECT_EQ(test::digest(file), before);
    Connection c;
    ASSERT_TRUE(c.openServer(conninfo).ok());
    Query q(c, QStringLiteral("SELECT Channel1 FROM `200525001` ORDER BY DateTimeKey"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.text(0), QStringLiteral("0012.50"));
}

TEST_F(OnTheServer, AServerDatabaseHoldingDataTakesNoFile) {
    const QString conninfo = newServerDatabase();
    const QString file = sampleFile();
    ASSERT_EQ(run({QStringLiteral("--server"), conninfo, QStringLiteral("--move-file"), file}), 0)
        << errors.toStdString();

    EXPECT_EQ(run({QStringLiteral("--server"), conninfo, QStringLiteral("--move-file"), file}), 1);

    EXPECT_TRUE(output.isEmpty()) << output.toStdString();
    EXPECT_EQ(errors, QStringLiteral("rockvane-provision: Could not move ") + file +
                          QStringLiteral(" onto ") + named() +
                          QStringLiteral(": The database to copy into already holds data (the "
                                         "table Sensors has 1 rows)\nNone of the file's data was "
                                         "copied; the file was not changed.\n"));
}

// Tables made by hand without quotes get lower-case names on the server ("sensors"): the
// database is not empty, and a file is not moved onto it nor are Rockvane's tables made in
// it. The message says that, naming the tables spelt otherwise than Rockvane's, rather than
// that Rockvane's are missing, or, for a "sensors" without the column InstrumentID to read
// the sensors from, that the server could not be reached.
TEST_F(OnTheServer, ADatabaseWithTablesMadeByHandInLowerCaseTakesNoFileAndIsSaidNotEmpty) {
    const QString file = sampleFile();
    const QByteArray before = test::digest(file);
    for (const char* sensorsColumns : {"InstrumentID text, Level text", "id integer"}) {
        SCOPED_TRACE(sensorsColumns);
        const QString conninfo = newServerDatabase();
        {
            Connection c;
            ASSERT_TRUE(
                c.openServer(conninfo, Connection::Mode::ReadWrite, Connection::Tables::Any).ok());
            for (const QString& sql :
                 {QStringLiteral("CREATE TABLE configuration (id integer)"),
                  QStringLiteral("CREATE TABLE sensors (%1)").arg(QLatin1String(sensorsColumns)),
                  QStringLiteral("CREATE TABLE networkconfig (id integer)"),
                  QStringLiteral("CREATE TABLE prefs (id integer)"),
                  QStringLiteral("CREATE TABLE sensordata (id integer)")})
                ASSERT_TRUE(c.engine()->execute(sql).ok()) << sql.toStdString();
        }
        const QString spelt = QStringLiteral(
            " is not empty: it holds tables whose names differ from Rockvane's only in case "
            "(configuration for Configuration, sensors for Sensors, networkconfig for "
            "NetworkConfig, prefs for Prefs), as tables made by hand without quotes are named; ");

        EXPECT_EQ(run({QStringLiteral("--server"), conninfo, QStringLiteral("--move-file"), file}),
                  1);
        EXPECT_TRUE(output.isEmpty()) << output.toStdString();
        EXPECT_EQ(errors, QStringLiteral("rockvane-provision: The database ") + named() + spelt +
                              QStringLiteral("the file is moved only onto an empty database or "
                                             "one that rockvane-provision --server prepared. It "
                                             "was left as it is\n"))
            << errors.toStdString();

        EXPECT_EQ(run({QStringLiteral("--server"), conninfo}), 1);
        EXPECT_TRUE(output.isEmpty()) << output.toStdString();
        EXPECT_EQ(errors, QStringLiteral("rockvane-provision: The database ") + named() + spelt +
                              QStringLiteral("Rockvane's tables are made only in an empty "
                                             "database. It was left as it is\n"))
            << errors.toStdString();

        Connection c;
        ASSERT_TRUE(
            c.openServer(conninfo, Connection::Mode::ReadOnly, Connection::Tables::Any).ok());
        const auto tables = c.tables();
        ASSERT_TRUE(tables.ok());
        EXPECT_EQ(tables.value().size(), 5) << tables.value().join(u' ').toStdString();
    }
    EXPECT_EQ(test::digest(file), before);
}

// Without dbname, libpq takes the database named after the user: the command would
// prepare whichever database that is. A connection string must name its database; a
// service (service=...) may name it in its service file, and decides.
TEST_F(OnTheServer, AConnectionStringThatNamesNoDatabaseIsRefusedAndNothingIsMade) {
    // A user whose own default database is an empty, fresh one.
    const QString conninfo = newServerDatabase();
    {
        Connection c;
        ASSERT_TRUE(
            c.openServer(conninfo, Connection::Mode::ReadWrite, Connection::Tables::Any).ok());
        ASSERT_TRUE(c.execute(QStringLiteral("CREATE ROLE ") + database + " LOGIN").ok());
        ASSERT_TRUE(
            c.execute(QStringLiteral("ALTER DATABASE ") + database + " OWNER TO " + database).ok());
    }
    const QString host =
        QRegularExpression(QStringLiteral("host=(\\S+)")).match(server).captured(1);
    const QString noDatabase = QStringLiteral("host=") + host + QStringLiteral(" user=") + database;
    const QString reason = QStringLiteral(
        "rockvane-provision: The connection string given to --server names no database: name "
        "the one to prepare with dbname=<database> (or postgresql://<host>/<database>); "
        "without it libpq would take the database named after the user\n");

    for (const QStringList& args :
         {QStringList{QStringLiteral("--server"), noDatabase},
          QStringList{QStringLiteral("--server=") + noDatabase + QStringLiteral(" dbname=")},
          QStringList{QStringLiteral("--server"), QStringLiteral("postgresql://?host=") + host +
                                                      QStringLiteral("&user=") + database},
          QStringList{QStringLiteral("--server"), noDatabase, QStringLiteral("--move-file"),
                      sampleFile()}}) {
        EXPECT_EQ(run(args), 1) << args.join(u' ').toStdString();
        EXPECT_TRUE(output.isEmpty()) << output.toStdString();
        EXPECT_TRUE(errors.startsWith(reason)) << errors.toStdString();
    }
    Connection c;
    ASSERT_TRUE(c.openServer(conninfo, Connection::Mode::ReadOnly, Connection::Tables::Any).ok());
    const auto tables = c.tables();
    ASSERT_TRUE(tables.ok());
    EXPECT_TRUE(tables.value().isEmpty()) << tables.value().join(u' ').toStdString();
    c.close();

    // Named as a URI's path, the database is prepared.
    const QString uri = QStringLiteral("postgresql:///") + database + QStringLiteral("?host=") +
                        host + QStringLiteral("&user=") + database;
    ASSERT_EQ(run({QStringLiteral("--server"), uri}), 0) << errors.toStdString();
    EXPECT_EQ(outputLines(),
              QStringList{QStringLiteral("Prepared the Rockvane tables and their first rows in ") +
                          named()});
}

TEST_F(ProvisionServerTest, AServiceNamesItsOwnDatabase) {
    // The service file decides: a service it does not define is the server's failure to
    // connect, not a connection string without a database.
    qputenv("PGSERVICEFILE", tmp.filePath(QStringLiteral("none.conf")).toUtf8());
    EXPECT_EQ(run({QStringLiteral("--server"), QStringLiteral("service=rockvane_nosuch")}), 1);
    qunsetenv("PGSERVICEFILE");
    EXPECT_TRUE(errors.startsWith(QStringLiteral("rockvane-provision: Could not connect to the "
                                                 "site-server database service rockvane_nosuch "
                                                 "on localhost: ")))
        << errors.toStdString();
    EXPECT_TRUE(output.isEmpty());
}

TEST_F(ProvisionServerTest, ArgumentsThatCannotBeUsedTogetherEndWithOne) {
    const struct {
        QStringList args;
        const char* reason;
    } cases[] = {
        {{"--move-file", "x.mdb"},
         "--move-file needs --server: the database to move the file onto"},
        {{"--server"}, "--server needs a connection string"},
        {{"--server", " "}, "--server needs a connection string"},
        {{"--server", "dbname=x", "--move-file"}, "--move-file needs a database file"},
        {{"--server", "dbname=x", "--documents", "/tmp"},
         "--server prepares a site-server database; --documents a data folder: give one of "
         "them"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), 1) << c.reason;
        EXPECT_TRUE(errors.startsWith(QStringLiteral("rockvane-provision: ") +
                                      QString::fromUtf8(c.reason) + u'\n'))
            << errors.toStdString();
        EXPECT_TRUE(output.isEmpty());
    }
}

TEST_F(ProvisionServerTest, AServerThatDoesNotAnswerOrAFileThatIsNoDatabaseIsNamed) {
    const QString nowhere = QStringLiteral("host=/nonexistent-dir dbname=mine connect_timeout=1");
    EXPECT_EQ(run({QStringLiteral("--server"), nowhere}), 1);
    EXPECT_TRUE(errors.startsWith(QStringLiteral("rockvane-provision: Could not connect to the "
                                                 "site-server database mine on "
                                                 "/nonexistent-dir: ")))
        << errors.toStdString();

    const QString text = tmp.filePath(QStringLiteral("notes.mdb"));
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a database at all, only text of some length to fill a page");
    f.close();
    EXPECT_EQ(run({QStringLiteral("--server"), nowhere, QStringLiteral("--move-file"), text}), 1);
    EXPECT_TRUE(errors.startsWith(QStringLiteral("rockvane-provision: The file ") + text +
                                  QStringLiteral(" is not a sound Rockvane database: ")))
        << errors.toStdString();
    const QString missing = tmp.filePath(QStringLiteral("gone.mdb"));
    EXPECT_EQ(run({QStringLiteral("--server"), nowhere, QStringLiteral("--move-file"), missing}),
              1);
    EXPECT_EQ(errors,
              QStringLiteral("rockvane-provision: There is no database file ") + missing + u'\n');
}

} // namespace
} // namespace rv
