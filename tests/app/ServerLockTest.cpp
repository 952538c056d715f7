// Two engineers on one site server: a change held up by another engineer's unfinished
// change gives up after a bounded wait, tells the engineer so, stores nothing, and the same
// action works once the other change has ended; two imports into one sensor side by side.
#include "readings/frmBatchDel.h"
#include "tests/readings/ReadingsFixture.h"
#include <QElapsedTimer>
#include <QThread>
#include <thread>

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

// Another engineer's import into the same sensor, under way when this one writes: this
// one waits for it, then leaves out the two readings it stored.
TEST_F(ServerLockTest, TwoImportsSideBySideStoreEachReadingOnceAndRecordOnlyTheirOwn) {
    startOnReadings();
    Connection other;
    ASSERT_TRUE(openDatabase(other).ok());
    std::thread commitLater;
    dialogs.whileShown = [&](const Message& m) {
        if (!m.text.startsWith(QStringLiteral("All the checked data will be added"))) return;
        ASSERT_TRUE(other.begin().ok());
        for (const char* sql : {"LOCK TABLE `200525001` IN SHARE ROW EXCLUSIVE MODE",
                                "INSERT INTO `200525001` (DateTimeKey, FullDate, Channel1) VALUES "
                                "('200525001 2005/03/14 00:00:00', '2005-03-14 00:00:00', '999'), "
                                "('200525001 2005/03/16 18:00:00', '2005-03-16 18:00:00', '998')"})
            ASSERT_TRUE(other.execute(QString::fromLatin1(sql)).ok());
        commitLater = std::thread([&] {
            QThread::msleep(500);
            EXPECT_TRUE(other.commit().ok());
        });
    };
    importSixHourly();
    commitLater.join();

    dialogs.expect(QStringLiteral("All the checked data will be added to sensor:  200525001 ?"),
                   QStringLiteral("Rockvane"), Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral("2 of the readings to append were stored by another engineer "
                                  "on the site server while this import ran. They were not "
                                  "appended again."));
    dialogs.clear();
    EXPECT_EQ(readingCount(), 12);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(DISTINCT DateTimeKey) FROM `200525001`")), 12);
    EXPECT_EQ(stored("Channel1", "2005/03/14 00:00:00"), "999") << "the first import's value";
    EXPECT_EQ(stored("Channel1", "2005/03/16 18:00:00"), "998") << "the first import's value";
    EXPECT_EQ(stored("Channel1", "2005/03/14 06:00:00"), "101.60");
    EXPECT_EQ(scalar(QStringLiteral("SELECT RowsAppended FROM ImportBatches")), 10);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM ImportBatchRows WHERE DateTimeKey IN "
                                    "('200525001 2005/03/14 00:00:00', "
                                    "'200525001 2005/03/16 18:00:00')")),
              0);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM ImportBatchRows")), 10);
}

} // namespace
