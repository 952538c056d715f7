// Two engineers on one site server: a change held up by another engineer's unfinished
// change gives up after a bounded wait, tells the engineer so, stores nothing, and the same
// action works once the other change has ended.
#include "readings/frmBatchDel.h"
#include "tests/readings/ReadingsFixture.h"
#include <QElapsedTimer>

using namespace rv;
using namespace rv::test;

namespace {

class ServerLockTest : public ReadingsWindowTest {
protected:
    StoreEngine engine() const override { return StoreEngine::Server; }
};

TEST_F(ServerLockTest, ADeletionHeldUpByAnotherEngineerGivesUpSaysSoAndWorksAfterwards) {
    addReading("2026/03/01 08:00:00", "1.00");
    addReading("2026/03/02 08:00:00", "2.00");
    startOnReadings();
    // The other engineer's change to the newest reading, not yet committed.
    Connection other;
    ASSERT_TRUE(openDatabase(other).ok());
    ASSERT_TRUE(other.begin().ok());
    ASSERT_TRUE(other
                    .execute(QStringLiteral("UPDATE `200525001` SET Channel1 = '2.50' WHERE "
                                            "DateTimeKey = '200525001 2026/03/02 08:00:00'"))
                    .ok());

    QElapsedTimer waited;
    waited.start();
    tab().Label65->click();
    ASSERT_NE(tab().batchDeleteWindow(), nullptr);
    tab().batchDeleteWindow()->cmdSingleDel->click();
    settle();

    EXPECT_GE(waited.elapsed(), 2900);
    EXPECT_LT(waited.elapsed(), 15000) << "the wait is bounded";
    dialogs.expect(QStringLiteral("Another engineer is changing the same data on the site "
                                  "server. Rockvane waited 3 seconds for the change to end. "
                                  "Nothing of this action was stored: try again in a moment."),
                   QStringLiteral("Site server"), Icon::Exclamation);
    EXPECT_TRUE(dialogs.pending().empty()) << dialogs.pending().front().text.toStdString();
    dialogs.clear();
    EXPECT_TRUE(logText().contains(QStringLiteral(" - Err #5: canceling statement due to lock "
                                                  "timeout (SQLSTATE 55P03)")))
        << logText().toStdString();
    EXPECT_EQ(readingCount(), 2);

    other.rollback();
    QCoreApplication::processEvents(); // the next action is a new one
    tab().Label65->click();
    tab().batchDeleteWindow()->cmdSingleDel->click();
    settle();
    EXPECT_TRUE(dialogs.pending().empty()) << dialogs.pending().front().text.toStdString();
    EXPECT_EQ(stored("Channel1", "2026/03/02 08:00:00"), "<none>");
    EXPECT_EQ(stored("Channel1", "2026/03/01 08:00:00"), "1.00");
    EXPECT_EQ(counter(), "1 of 1");
}

} // namespace
