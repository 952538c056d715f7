// Two engineers on one site server: a change held up by another engineer's unfinished
// change gives up after a bounded wait, tells the engineer so, stores nothing, and the same
// action works once the other change has ended; two imports into one sensor side by side.
#include "history/ImportHistory.h"
#include "import/SlugAppend.h"
#include "readings/DatasheetModel.h"
#include "readings/ReadingsWork.h"
#include "readings/frmBatchDel.h"
#include "store/ImportHistoryTable.h"
#include "store/Module1.h"
#include "store/ReadingsTable.h"
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
    qint64 firstRow = 0;
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

// Every change of many readings locks them in the order of their rows, whatever order it
// finds them in: two such changes by two engineers then never each hold a reading the
// other waits for (a deadlock). The readings here were imported newest first, so their
// dates run against their rows, and the first was corrected since. Another engineer holds the third
// row; while the change waits for it, it must hold the first two rows and none after the third.
TEST_F(ServerLockTest, ChangesOfManyReadingsLockThemInRowOrder) {
    Connection mine, other, look;
    ASSERT_TRUE(openDatabase(mine).ok());
    ASSERT_TRUE(openDatabase(other).ok());
    ASSERT_TRUE(openDatabase(look).ok());
    std::vector<PlannedReading> newestFirst;
    for (int day = 6; day >= 1; --day)
        newestFirst.push_back({wallClock(QDate(2026, 3, day), QTime(8, 0)), "12.5", "1.00"});
    const ImportBatch batch{0, kId, QStringLiteral("logger.dat"), QStringLiteral("sha"), {}, 0, {}};
    // The rows not locked by anyone, as a third connection finds them (and lets go).
    auto freeRows = [&] {
        QStringList rows;
        EXPECT_TRUE(look.begin().ok());
        Query q(look, QStringLiteral("SELECT rowid FROM `200525001` ORDER BY rowid FOR UPDATE "
                                     "SKIP LOCKED"));
        while (q.next())
            rows << QString::number(q.int64(0) - firstRow + 1);
        look.rollback();
        return rows.join(u' ');
    };
    const std::vector<std::pair<const char*, std::function<Status()>>> changes{
        {"datasheet write-back",
         [&] {
             Recordset rs;
             DatasheetModel grid(rs);
             if (Status s = openReadings(mine, rs, kId); !s.ok()) return s;
             grid.populate(kId);
             for (int r = 1; r <= 6; ++r)
                 grid.setCellText(r, 4, QStringLiteral("2.00"));
             return writeDatasheet(mine, rs, grid);
         }},
        {"undo of the import",
         [&] {
             NoProgress progress;
             const auto undone = undoBatch(mine, listBatches(mine, kId).value().at(0).id, progress);
             return undone.ok() ? Status{} : Status(undone.error());
         }},
        {"deletion of a range of days",
         [&] {
             const auto deleted = deleteReadingsOnDays(
                 mine, kId, QDate(2026, 3, 1), QDate(2026, 3, 6),
                 [](const QVariant&, const QVariant&, const QVariant&) { return std::nullopt; });
             return deleted.ok() ? Status{} : Status(deleted.error());
         }},
        {"deletion of every reading",
         [&] {
             const auto deleted = deleteAllReadings(mine, kId);
             return deleted.ok() ? Status{} : Status(deleted.error());
         }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        execSql(QStringLiteral("DELETE FROM `200525001`"));
        NoProgress progress;
        ASSERT_EQ(writeReadings(mine, kId, newestFirst, progress, &batch).kind,
                  WriteOutcome::Kind::Written);
        firstRow = scalar(QStringLiteral("SELECT min(rowid) FROM `200525001`")).toLongLong();
        // A reading corrected since: on the server its row now lies after the others.
        execSql(QStringLiteral("UPDATE `200525001` SET ChannelT = '12.6' WHERE rowid = %1")
                    .arg(firstRow));
        ASSERT_TRUE(other.begin().ok());
        ASSERT_TRUE(
            other
                .execute(QStringLiteral("SELECT * FROM `200525001` WHERE rowid = %1 FOR UPDATE")
                             .arg(firstRow + 2))
                .ok());
        Status done;
        std::thread changing([&] { done = change(); });
        QThread::msleep(800);
        EXPECT_EQ(freeRows(), QStringLiteral("4 5 6"))
            << "rows 1 and 2 held, the change waiting on 3";
        other.rollback();
        changing.join();
        EXPECT_TRUE(done.ok()) << done.error().description.toStdString();
        execSql(QStringLiteral("DELETE FROM ImportBatchRows"));
        execSql(QStringLiteral("DELETE FROM ImportBatches"));
    }
}

} // namespace
