// "History of changes" on the Utilities tab: its size, the export of every sensor's
// changes, the clearing of older ones after a confirmation, a database that keeps no
// history or may not be changed, and writes killed half-way that leave the readings and the
// history agreeing.
#include "maintenance/ChangeHistoryGroup.h"
#include "platform/SingleInstance.h"
#include "store/ReadingsTable.h"
#include "tests/maintenance/MaintenanceFixture.h"
#include "tests/support/XlsxReader.h"
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <cmath>
#include <sqlite3.h>
#include <unistd.h>

using namespace rv;
using namespace rv::test;

namespace {

const QString kId = QStringLiteral("200525001");
const QString kKey = QStringLiteral("200525001 2020/01/01 08:00:00");
int gCallsLeft = 0; // the progress calls a killed write makes before it is killed

class ChangeHistoryTest : public MaintenanceTest {
protected:
    void SetUp() override {
        MaintenanceTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) addSensorRow(kId);
    }
    // `entries` changes of one reading's load, as one action at `when`.
    void changeLoad(const QDateTime& when, int entries = 1, const QString& id = kId) {
        recordAction(when, id, how::Datasheet, [&](ChangeAction& a) {
            Status s;
            for (int i = 0; i < entries && s.ok(); ++i)
                s = a.record(change::Changed, kKey, kKey, {{"Channel1", "10.00"}},
                             {{"Channel1", "10.50"}});
            return s;
        });
    }
    // The engine's progress calls (one per 100 steps of its statements) that write makes.
    int progressCalls(const std::function<bool(Connection&)>& write) {
        const QString copy = tmp.path() + QStringLiteral("/calibration.mdb");
        QFile::remove(copy);
        int calls = 0;
        Connection c;
        if (!QFile::copy(databasePath, copy) || !c.open(copy).ok()) return 0;
        sqlite3_progress_handler(
            c.handle(), 100, [](void* n) { return ++*static_cast<int*>(n), 0; }, &calls);
        return write(c) ? calls : 0;
    }
    // Every table's rows and the sensor's loads, after any write left unfinished is rolled back.
    QString state() {
        {
            Connection c; // opened to be written: a hot journal is rolled back
            EXPECT_TRUE(c.open(databasePath).ok());
        }
        const QString loads =
            scalar(QStringLiteral("SELECT group_concat(Channel1) FROM `200525001`")).toString();
        return contents(databasePath) + u' ' + loads;
    }
    // The write run in another process killed half-way through, with a page cache so small
    // that pages of the database are written already: a hot journal is left behind.
    void killedHalfWay(const std::function<bool(Connection&)>& write) {
        gCallsLeft = progressCalls(write) / 2;
        ASSERT_GT(gCallsLeft, 10);
        ASSERT_TRUE(diesInChild([&] {
            Connection c;
            if (!c.open(databasePath).ok()) _exit(4);
            sqlite3_exec(c.handle(), "PRAGMA cache_size = 2", nullptr, nullptr, nullptr);
            sqlite3_progress_handler(
                c.handle(), 100, [](void*) { return --gCallsLeft == 0 ? (_exit(0), 0) : 0; },
                nullptr);
            (void)write(c);
        }));
        EXPECT_TRUE(QFile::exists(databasePath + QStringLiteral("-journal")));
    }
    // The Utilities tab shown (again, after another tab): the group reads the size anew.
    ChangeHistoryGroup& shown() {
        window->show();
        window->SSTab1->setCurrentIndex(0);
        enterUtilities();
        return *window->findChild<ChangeHistoryGroup*>();
    }
};

TEST_F(ChangeHistoryTest, TheSizeIsShownAndOnlyChangesBeforeTheDayAreClearedOnceConfirmed) {
    ASSERT_TRUE(start());
    EXPECT_EQ(shown().lblChanges->text(), "No changes are recorded.");
    changeLoad(wallClock(QDate(2025, 12, 10), QTime(8, 15)), 1232);
    changeLoad(wallClock(QDate(2025, 12, 31), QTime(23, 59, 59)));
    changeLoad(wallClock(QDate(2026, 1, 1), QTime(0, 0)));
    ChangeHistoryGroup& group = shown();
    EXPECT_EQ(group.lblChanges->text(), "1,234 changes in 3 actions since 10 Dec 2025");

    group.dtpClearBefore->setDate(QDate(2026, 1, 1));
    const QString question =
        QStringLiteral("Delete the 1,233 changes recorded before 1 Jan 2026? This cannot be "
                       "undone; export the history first if it must be kept.");
    dialogs.answerNo();
    group.cmdClearBefore->click();
    dialogs.expect(question, kTitle, Icon::Exclamation, Buttons::YesNo);
    EXPECT_EQ(group.lblChanges->text(), "1,234 changes in 3 actions since 10 Dec 2025");

    dialogs.answerYes();
    group.cmdClearBefore->click();
    dialogs.expect(question, kTitle, Icon::Exclamation, Buttons::YesNo);
    dialogs.expect(QStringLiteral("1,233 changes were cleared."), kTitle, Icon::Information);
    EXPECT_EQ(group.lblChanges->text(), "2 changes in 2 actions since 1 Jan 2026");
    const std::vector<ChangeEntry> left = listChanges(s().gConnection, {}).value();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].kind + u'/' + left[0].how, "History cleared/Utilities");
    EXPECT_EQ(left[0].when, wallClock(QDate(2026, 3, 14), QTime(9, 30, 15)));
    EXPECT_EQ(left[1].when, wallClock(QDate(2026, 1, 1))) << "the day's first moment stays";
}

TEST_F(ChangeHistoryTest, TheExportListsEverySensorsChangesNewestFirstAndOpensTheWorkbook) {
    ASSERT_TRUE(start());
    changeLoad(wallClock(QDate(2025, 12, 10), QTime(8, 15)));
    changeLoad(wallClock(QDate(2026, 2, 20), QTime(9, 5, 30)), 1, QStringLiteral("200525002"));
    const QString path = tmp.path() + QStringLiteral("/history");
    dialogs.fileAnswer(path);
    shown().cmdExportChanges->click();
    EXPECT_EQ(desktop.openedFiles, QStringList{path + QStringLiteral(".xlsx")});
    const XlsxBook book = readXlsx(path + QStringLiteral(".xlsx"));
    ASSERT_EQ(book.error, "");
    EXPECT_EQ(book.sheets, QStringList{"Changes"});
    const QString me = currentUserName();
    const QStringList rows[] = {
        {"Sensor", "When", "Who", "How", "Kind", "Reading", "Before", "After"},
        {"200525002", "", me, "Datasheet", "Changed", kKey, "Load 10.00", "Load 10.50"},
        {"200525001", "", me, "Datasheet", "Changed", kKey, "Load 10.00", "Load 10.50"}};
    for (int row = 1; row <= 3; ++row)
        for (int col = row == 1 ? 1 : 3; col <= 8; ++col)
            EXPECT_EQ(book.cell(row, col).value, rows[row - 1][col - 1]) << row << "," << col;
    EXPECT_EQ(book.cell(2, 1).value, "200525002");
    const double oldest = book.cell(3, 2).value.toDouble();
    EXPECT_EQ(book.cell(3, 2).format, "yyyy/mm/dd hh:mm:ss");
    EXPECT_EQ(serialDateText(oldest), "2025/12/10");
    EXPECT_NEAR(oldest - std::floor(oldest), (8 * 60 + 15) / 1440.0, 1e-9);
    EXPECT_EQ(serialDateText(book.cell(2, 2).value.toDouble()), "2026/02/20");
    EXPECT_EQ(book.rowCount(), 3);
}

TEST_F(ChangeHistoryTest, AWriteKilledHalfWayLeavesTheReadingsAndTheHistoryBothAsTheyWere) {
    addReadings(kId, 400);
    {
        Connection c;
        ASSERT_TRUE(c.open(databasePath).ok() && ensureChangeTables(c).ok());
    }
    std::vector<ReadingValues> corrected;
    for (qint64 row = 1; row <= 400; ++row)
        corrected.push_back({row, {{0, QStringLiteral("0099.00")}}, 0});
    qint64 deletion = 0;
    const std::function<bool(Connection&)> writes[] = {
        [&](Connection& c) {
            return writeReadingValues(c, kId, {QStringLiteral("Channel1")}, corrected).ok();
        },
        [&](Connection& c) {
            const auto day = [](auto&&...) { return std::optional<QDate>(); };
            return deleteReadingsOnDays(c, kId, QDate(2020, 1, 1), QDate(2021, 12, 31), day).ok();
        },
        [&](Connection& c) { return putBack(c, deletion, how::ChangesWindow).ok(); }};
    for (const auto& write : writes) {
        const std::string before = state().toStdString();
        killedHalfWay(write);
        EXPECT_EQ(state().toStdString(), before);
        // The same write finished changes both.
        Connection c;
        ASSERT_TRUE(c.open(databasePath).ok());
        ASSERT_TRUE(write(c));
        deletion = listChanges(c, {}).value().front().id;
        EXPECT_NE(state().toStdString(), before);
    }
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `200525001` WHERE Channel1 = '0099.00'"))
                  .toInt(),
              400);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM ChangeActions")).toInt(), 3);
}

TEST_F(ChangeHistoryTest, ADatabaseWithoutTheHistoryOffersNothingAndAReadOnlyOneNoClearing) {
    ASSERT_TRUE(start());
    execSql(QStringLiteral("DROP TABLE ReadingChanges"));
    ChangeHistoryGroup& none = shown();
    EXPECT_EQ(none.lblChanges->text(), "This database keeps no record of changes.");
    EXPECT_FALSE(none.cmdExportChanges->isEnabled());
    EXPECT_FALSE(none.cmdClearBefore->isEnabled());

    window.reset();
    ASSERT_TRUE(start()); // the history's tables are made again as the database opens
    changeLoad(wallClock(QDate(2025, 12, 10), QTime(8, 15)));
    window.reset();
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    ASSERT_TRUE(start());
    dialogs.take(); // the database is read-only
    ChangeHistoryGroup& readOnly = shown();
    EXPECT_EQ(readOnly.lblChanges->text(), "1 change in 1 action since 10 Dec 2025");
    EXPECT_TRUE(readOnly.cmdExportChanges->isEnabled());
    EXPECT_FALSE(readOnly.cmdClearBefore->isEnabled());
}

} // namespace
