#pragma once
// A PostgreSQL server of a test's own (scripts/test-server.sh), which the test may stop at
// once, as a crash or a power cut stops a site server, and start again on the same data.
// The shared test server is never stopped: other test programs use it at the same time.
#include "tests/support/DataFolder.h"
#include <QString>
#include <QStringList>

namespace rv::test {

class OwnServer {
public:
    OwnServer() = default;
    OwnServer(const OwnServer&) = delete;
    OwnServer& operator=(const OwnServer&) = delete;
    // Stops the server and removes its folder.
    ~OwnServer();

    // Makes the server in a new folder and starts it (initdb takes a few seconds); false
    // when it could not be, with why().
    bool start();
    // Stops it at once: every connection is cut, open transactions are lost, the data
    // stays. A server already stopped stays so.
    bool stopNow();
    // Starts it again on its data, as after a crash.
    bool startAgain();

    // Its connection string; a database of its own is named by adding " dbname=...".
    QString conninfo() const { return m_conninfo; }
    bool running() const { return m_running; }
    QString why() const { return m_why; }
    // The shell command that stops it at once, for the server itself to run (COPY ... TO
    // PROGRAM) at a moment chosen inside a statement.
    QString stopCommand() const;

private:
    bool script(const QStringList& arguments, QString* output = nullptr);

    QString m_conninfo;
    QString m_folder;
    QString m_why;
    bool m_running = false;
};

// A fixture of DataFolderTest's family whose database is on a server of the suite's own,
// started once for the suite (skipped, like every server test, without ROCKVANE_TEST_PG).
// A test may stop it; it is running again for the next test.
template <class Fixture> class OnOwnServer : public Fixture {
protected:
    static void SetUpTestSuite() {
        if (qEnvironmentVariableIsEmpty("ROCKVANE_TEST_PG")) return;
        server = new OwnServer;
        server->start();
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    StoreEngine engine() const override { return StoreEngine::Server; }
    QString databaseServer() const override { return server ? server->conninfo() : QString(); }
    void SetUp() override {
        if (server) {
            ASSERT_TRUE(server->running()) << server->why().toStdString();
        }
        Fixture::SetUp();
    }
    void TearDown() override {
        if (server && !server->running()) {
            EXPECT_TRUE(server->startAgain()) << server->why().toStdString();
        }
        Fixture::TearDown();
    }
    static inline OwnServer* server = nullptr;
};

} // namespace rv::test
