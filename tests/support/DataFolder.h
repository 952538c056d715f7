#pragma once
// A fixture that gives each test a fresh data folder under a temporary "documents"
// folder, provisioned with the shipped database, a fixed clock and scripted dialogs.
#include "store/Session.h"
#include "tests/support/Fakes.h"
#include "tests/support/ReadingRow.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace rv::test {

// The SHA-256 of a file's bytes; empty when it cannot be read.
QByteArray digest(const QString& path);
// Every table's row count on a database, "Sensors=2 200525001=50 ...", in the order of the
// names ("?" for a table that cannot be counted).
QString tableCounts(Connection& c);

// Where a test's database lives: the file in the data folder, or a database of its own on
// the throwaway site server ROCKVANE_TEST_PG names (the test is skipped without one).
enum class StoreEngine { File, Server };
std::string engineName(const ::testing::TestParamInfo<StoreEngine>& info);
// A new empty database on a server (the test server ROCKVANE_TEST_PG names unless another
// is given); its connection string.
QString newServerDatabase(const QString& server = qEnvironmentVariable("ROCKVANE_TEST_PG"));

class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    // The engine this test's database is on (a parameterised test answers its parameter).
    virtual StoreEngine engine() const { return StoreEngine::File; }
    bool onServer() const { return engine() == StoreEngine::Server; }
    // The server a test on the Server engine makes its database on: the shared test server,
    // unless the fixture runs one of its own.
    virtual QString databaseServer() const { return qEnvironmentVariable("ROCKVANE_TEST_PG"); }
    // Opens a connection of its own on the test's database.
    Status openDatabase(Connection& c, Connection::Mode mode = Connection::Mode::ReadWrite);
    // Another engineer on the test's site-server database: a connection as a database user
    // of its own ("rv_anna_<pid>", answered), who may change every table there now.
    QString openAsAnotherEngineer(Connection& c);
    void TearDown() override;

    // Fills the session's paths as start-up does, without opening anything.
    void setPaths();
    // Opens gConnection and the run-wide recordsets as start-up does.
    void openStore();
    // Adds a sensor row (and its empty readings table) straight into the database.
    void addSensorRow(const QString& id, const QString& destroyed = QStringLiteral("No"),
                      const QString& installDate = QStringLiteral("2005-06-01"));
    // Writes the rows into the readings table of sensor id, in one transaction.
    void addReadings(const QString& id, const std::vector<ReadingRow>& rows);
    // Runs SQL directly on the database file (test set-up and checks only).
    void execSql(const QString& sql);
    // The first column of the first row of a query, straight from the file.
    QVariant scalar(const QString& sql);
    // The log file's text, empty when there is none.
    QString logText() const;
    // The number of entries in the log.
    int logEntries() const;
    // Makes the database file read-only for this process: write-protected, or immutable
    // (chattr) where permissions do not bind this user; undone at the end of the test.
    // False when neither is possible here.
    bool makeDatabaseReadOnly();
    // The same for any file or folder (a read-only data folder: nothing can be made in
    // it). Undone when the test ends.
    bool makeReadOnly(const QString& path);

    QTemporaryDir tmp;
    QString documents;
    QString dataFolder;
    QString databasePath;
    QString location; // the file's path, or the server database's connection string
    FakeDialogs dialogs;
    FixedClock clock;
    FakePaths paths;
    FakeDesktop desktop;
    std::unique_ptr<Session> session;

private:
    QStringList m_immutable, m_protected;
};

// A store opened on two sensors, 200525001 and 200525002, each with its empty readings
// table.
class TwoSensorsTest : public DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        addSensorRow(QStringLiteral("200525001"));
        addSensorRow(QStringLiteral("200525002"));
        openStore();
    }
};

// A fixture of DataFolderTest's family run on each engine in turn: TEST_P(alias, ...) and
// INSTANTIATE_TEST_SUITE_P(BothEngines, alias, bothEngines(), engineName), where alias
// names OnEachEngine<Fixture>.
template <class Fixture>
class OnEachEngine : public Fixture, public ::testing::WithParamInterface<StoreEngine> {
protected:
    StoreEngine engine() const override { return this->GetParam(); }
};
using TwoSensorsOnEachEngine = OnEachEngine<TwoSensorsTest>;
inline auto bothEngines() {
    return ::testing::Values(StoreEngine::File, StoreEngine::Server);
}

} // namespace rv::test
