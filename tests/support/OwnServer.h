#pragma once
// A server of the suite's own, which a test may stop (fakes/OwnServer.h).
#include "fakes/OwnServer.h"
#include "tests/support/DataFolder.h"

namespace rv::test {

using fakes::OwnServer;

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
