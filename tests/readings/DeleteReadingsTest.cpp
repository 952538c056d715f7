// Deleting readings from the Readings tab: the choice made in frmBatchDel and the three
// deletions the tab carries out once the window has closed.
#include "core/DateText.h"
#include "readings/frmBatchDel.h"
#include "tests/readings/ReadingsFixture.h"
#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

using namespace rv;
using namespace rv::test;

namespace {

class DeleteReadingsTest : public ReadingsWindowTest {
protected:
    frmBatchDel& open() {
        tab().Label65->click();
        frmBatchDel* form = tab().batchDeleteWindow();
        if (!form) {
            ADD_FAILURE() << "the deletion window did not open";
            std::abort();
        }
        return *form;
    }
    // Answers the window's choice, taken as the tab takes it: after it has closed.
    BatchDeletion batch(const QDate& first, const QDate& last) {
        frmBatchDel& f = open();
        f.DelStart->setSelectedDate(first);
        f.DelEnd->setSelectedDate(last);
        f.OKButton->click();
        const BatchDeletion chosen = f.choice();
        settle();
        return chosen;
    }
    static bool anyChoice(const frmBatchDel& f) {
        return f.choice().gDelSingle || f.choice().gDelBatch || f.choice().gDelAll;
    }
    void expectBatchMessage(int count, const QDate& first, const QDate& last) {
        dialogs.expect(QString::number(count) + QStringLiteral(" readings were deleted from ") +
                       shortDateText(first) + QStringLiteral(" and ") + shortDateText(last));
    }
    // The readings around 2013/03/01: the day before, the whole day, the day after.
    void aroundTheFirstOfMarch() {
        addReading("2013/02/28 23:59:59", "1.00");
        addReading("2013/03/01 00:00:00", "2.00");
        addReading("2013/03/01 12:00:00", "3.00");
        addReading("2013/03/01 23:59:59", "4.00");
        addReading("2013/03/02 00:00:00", "5.00");
    }
};

TEST_F(DeleteReadingsTest, TheWindowShowsItsTextsAndStartsOnTodayWithNoChoice) {
    startOnReadings();
    frmBatchDel& f = open();
    EXPECT_EQ(f.windowTitle(), "SensorData Deletion");
    EXPECT_EQ(f.windowModality(), Qt::ApplicationModal);
    const struct {
        const char *name, *text;
    } texts[] = {
        {"Label9", "BATCH DELETE a group of readings by date:"},
        {"Label2", "Select start date"},
        {"Label3", "Select end date"},
        {"Label1", "All sensor data found on or between the dates selected above will be "
                   "permanently deleted from the database. Click the DELETE button below to "
                   "continue or Cancel to return to the main form."},
        {"Label8", "OR:"},
        {"Label6", "OR:"},
        {"Label7", "Click DELETE ALL button to confirm deletetion of ALL readings ->"},
        {"Label5", "Click DELETE button to confirm deletetion of current reading ->"},
        {"Label4", "WARNING: These operations cannot be undone"},
    };
    for (const auto& t : texts) {
        const QLabel* label = f.findChild<QLabel*>(QLatin1String(t.name));
        ASSERT_TRUE(label) << t.name;
        EXPECT_EQ(label->text(), QLatin1String(t.text)) << t.name;
    }
    const struct {
        const char *name, *text;
    } buttons[] = {{"OKButton", "BATCH DELETE"},
                   {"CancelButton", "CANCEL"},
                   {"Command1", "DELETE ALL"},
                   {"cmdSingleDel", "DELETE"}};
    for (const auto& b : buttons) {
        const QPushButton* button = f.findChild<QPushButton*>(QLatin1String(b.name));
        ASSERT_TRUE(button) << b.name;
        EXPECT_EQ(button->text(), QLatin1String(b.text)) << b.name;
    }
    EXPECT_EQ(f.DelStart->selectedDate(), QDate(2026, 3, 14));
    EXPECT_EQ(f.DelEnd->selectedDate(), QDate(2026, 3, 14));
    EXPECT_FALSE(anyChoice(f));
    f.CancelButton->click();
    settle();
    EXPECT_EQ(tab().batchDeleteWindow(), nullptr);
}

TEST_F(DeleteReadingsTest, CancelOrClosingTheWindowDeletesNothing) {
    aroundTheFirstOfMarch();
    startOnReadings();
    watchWrites(kId);
    open().CancelButton->click();
    settle();
    open().close(); // by its frame
    settle();
    frmBatchDel& f = open();
    f.reject(); // Escape
    EXPECT_FALSE(anyChoice(f));
    settle();
    EXPECT_EQ(writesTo(kId), 0);
    EXPECT_EQ(readingCount(), 5);
    EXPECT_EQ(counter(), "5 of 5");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(DeleteReadingsTest, TheWindowSaysWhereTheReadingsLieAndEnterInACalendarOnlyMovesIt) {
    aroundTheFirstOfMarch();
    startOnReadings();
    tab().imgFirst->click();
    frmBatchDel& f = open();
    EXPECT_EQ(f.lblReadingDays->text(), "Readings from 28 Feb 2013 to 2 Mar 2013");
    EXPECT_EQ(counter(), "1 of 5") << "the reading shown stays the current one";
    // A year typed into the start calendar's year box, then Enter.
    auto* yearButton =
        f.DelStart->findChild<QToolButton*>(QStringLiteral("qt_calendar_yearbutton"));
    auto* yearBox = f.DelStart->findChild<QSpinBox*>(QStringLiteral("qt_calendar_yearedit"));
    ASSERT_TRUE(yearButton && yearBox);
    yearButton->click();
    yearBox->selectAll();
    QTest::keyClicks(yearBox, QStringLiteral("2013"));
    QTest::keyClick(yearBox, Qt::Key_Return);
    settle();
    ASSERT_EQ(tab().batchDeleteWindow(), &f) << "Enter closed the window";
    EXPECT_EQ(f.DelStart->yearShown(), 2013);
    // Enter on the end calendar's days neither closes the window.
    auto* days =
        f.DelEnd->findChild<QAbstractItemView*>(QStringLiteral("qt_calendar_calendarview"));
    ASSERT_TRUE(days);
    QTest::keyClick(days, Qt::Key_Enter);
    settle();
    ASSERT_EQ(tab().batchDeleteWindow(), &f);
    // Elsewhere Enter is CANCEL, as before.
    QTest::keyClick(f.Label1, Qt::Key_Return);
    settle();
    EXPECT_EQ(tab().batchDeleteWindow(), nullptr);
    EXPECT_EQ(readingCount(), 5);

    // Without readings the window says so.
    open().Command1->click();
    settle();
    frmBatchDel& empty = open();
    EXPECT_EQ(empty.lblReadingDays->text(), "No readings");
    empty.CancelButton->click();
    settle();
}

// ---------------------------------------------------------------------------------
// The reading shown

TEST_F(DeleteReadingsTest, DeletingTheReadingShownKeepsTheOthersAndShowsTheNewest) {
    aroundTheFirstOfMarch();
    addSensorRow(kOther);
    addReading("2013/03/01 12:00:00", "9.00", "-", 0, kOther);
    startOnReadings();
    tab().imgFirst->click();
    tab().imgNextData->click(); // 2013/03/01 00:00:00
    tab().imgDeleteReading->click();
    tab().batchDeleteWindow()->cmdSingleDel->click();
    settle();
    EXPECT_EQ(stored("Channel1", "2013/03/01 00:00:00"), "<none>");
    EXPECT_EQ(readingCount(), 4);
    EXPECT_EQ(readingCount(kOther), 1);
    EXPECT_EQ(counter(), "4 of 4");
    EXPECT_EQ(tab().txtReadingID->text(), key("2013/03/02 00:00:00"));
    EXPECT_EQ(s().gReadingBookmark, 4);
    EXPECT_TRUE(dialogs.pending().empty());
    // The first reading is deleted just as well.
    tab().imgFirst->click();
    open().cmdSingleDel->click();
    settle();
    EXPECT_EQ(stored("Channel1", "2013/02/28 23:59:59"), "<none>");
    EXPECT_EQ(counter(), "3 of 3");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(DeleteReadingsTest, DeletingTheOnlyReadingShowsTheEmptyTab) {
    addReading("2026/03/10 08:00:00", "1.00");
    startOnReadings();
    open().cmdSingleDel->click();
    settle();
    EXPECT_EQ(readingCount(), 0);
    EXPECT_EQ(counter(), "0 of 0");
    EXPECT_FALSE(tab().lblError->isHidden());
    EXPECT_EQ(tab().lblError->text(), "0 Readings - Click the Add button to add a reading");
    EXPECT_EQ(s().gReadingBookmark, 0);
    EXPECT_EQ(logEntries(), 0) << "deleting the last reading is no error";
}

TEST_F(DeleteReadingsTest, WithoutReadingsTheSingleAndTheBatchDeletionEndWithOneLogEntry) {
    addSensorRow(kOther);
    addReading("2026/03/14 08:00:00", "9.00", "-", 0, kOther);
    startOnReadings();
    open().cmdSingleDel->click();
    settle();
    EXPECT_EQ(logCount(" imgDeleteReading_Click"), 1);
    batch(QDate(2000, 1, 1), QDate(2030, 1, 1));
    EXPECT_EQ(logCount(" imgDeleteReading_Click"), 2);
    EXPECT_TRUE(dialogs.pending().empty()) << "no message when nothing could be deleted";
    EXPECT_EQ(readingCount(kOther), 1);
    EXPECT_EQ(counter(), "0 of 0");
}

// ---------------------------------------------------------------------------------
// A range of days

// On the database file and on a site server database alike.
using DeleteReadingsOnEachEngine = OnEachEngine<DeleteReadingsTest>;

TEST_P(DeleteReadingsOnEachEngine, ABatchOfOneDayDeletesThatWholeDayAndNoneAroundIt) {
    aroundTheFirstOfMarch();
    startOnReadings();
    const QDate day(2013, 3, 1);
    const BatchDeletion chosen = batch(day, day);
    expectBatchMessage(3, day, day);
    EXPECT_EQ(readingCount(), 2);
    EXPECT_EQ(stored("Channel1", "2013/02/28 23:59:59"), "1.00");
    EXPECT_EQ(stored("Channel1", "2013/03/02 00:00:00"), "5.00");
    EXPECT_EQ(counter(), "2 of 2");
    EXPECT_EQ(tab().txtReadingID->text(), key("2013/03/02 00:00:00"));
    EXPECT_EQ(s().gReadingBookmark, 2);
    EXPECT_TRUE(chosen.gDelBatch);
    EXPECT_FALSE(chosen.gDelSingle || chosen.gDelAll);
    EXPECT_EQ(chosen.gDelStart, day);
    EXPECT_EQ(chosen.gDelEnd, day);
    EXPECT_EQ(logEntries(), 0);
}
INSTANTIATE_TEST_SUITE_P(BothEngines, DeleteReadingsOnEachEngine, bothEngines(), engineName);

TEST_F(DeleteReadingsTest, BothChosenDaysAreIncludedAndAStartAfterTheEndDeletesNothing) {
    aroundTheFirstOfMarch();
    startOnReadings();
    batch(QDate(2013, 3, 2), QDate(2013, 2, 28));
    expectBatchMessage(0, QDate(2013, 3, 2), QDate(2013, 2, 28));
    EXPECT_EQ(readingCount(), 5);
    EXPECT_EQ(counter(), "5 of 5");
    batch(QDate(2013, 2, 28), QDate(2013, 3, 2));
    expectBatchMessage(5, QDate(2013, 2, 28), QDate(2013, 3, 2));
    EXPECT_EQ(readingCount(), 0);
    EXPECT_EQ(counter(), "0 of 0");
    EXPECT_EQ(tab().lblError->text(), "0 Readings - Click the Add button to add a reading");
}

TEST_F(DeleteReadingsTest, ABatchLeftOnTodayDeletesTodaysReadingsOnly) {
    addReading("2026/03/13 23:00:00", "1.00");
    addReading("2026/03/14 06:00:00", "2.00");
    addReading("2026/03/14 09:00:00", "3.00");
    startOnReadings();
    tab().txtChannel_1->setText(QStringLiteral("7")); // typed on the tab, not yet saved
    open().OKButton->click();
    settle();
    expectBatchMessage(2, clock.today(), clock.today());
    EXPECT_EQ(readingCount(), 1);
    EXPECT_EQ(counter(), "1 of 1");
    EXPECT_EQ(tab().txtChannel_1->text(), "1.00");
}

TEST_F(DeleteReadingsTest, ABatchKeepsWhatWasTypedIntoAReadingItKeeps) {
    addReading("2026/03/10 08:00:00", "1.00");
    addReading("2026/03/14 08:00:00", "2.00");
    startOnReadings();
    tab().imgFirst->click();
    tab().txtChannel_1->setText(QStringLiteral("7"));
    batch(QDate(2026, 3, 14), QDate(2026, 3, 14));
    expectBatchMessage(1, QDate(2026, 3, 14), QDate(2026, 3, 14));
    EXPECT_EQ(stored("Channel1", "2026/03/10 08:00:00"), "7.00");
}

TEST_F(DeleteReadingsTest, AReadingIsDatedByItsReadingDateOrElseByItsFullDateOrItsKey) {
    addReading("2013/03/01 08:00:00", "1.00");
    addReading("2013/03/01 09:00:00", "2.00");
    addReading("2013/03/01 10:00:00", "3.00");
    addReading("2013/03/05 10:00:00", "4.00");
    execSql(QStringLiteral("UPDATE `%1` SET ReadingDate = NULL WHERE Channel1 = '2.00'").arg(kId));
    execSql(QStringLiteral("UPDATE `%1` SET ReadingDate = NULL, FullDate = NULL WHERE Channel1 = "
                           "'3.00'")
                .arg(kId));
    // No date can be read at all: the reading is kept.
    execSql(QStringLiteral("UPDATE `%1` SET ReadingDate = NULL, FullDate = NULL, DateTimeKey = "
                           "'damaged' WHERE Channel1 = '4.00'")
                .arg(kId));
    startOnReadings();
    batch(QDate(2013, 3, 1), QDate(2013, 3, 31));
    expectBatchMessage(3, QDate(2013, 3, 1), QDate(2013, 3, 31));
    EXPECT_EQ(readingCount(), 1);
    EXPECT_EQ(scalar(QStringLiteral("SELECT Channel1 FROM `%1`").arg(kId)).toString(), "4.00");
}

TEST_F(DeleteReadingsTest, AReadingDatedOtherwiseThanItsFullDateIsDeletedByItsReadingDate) {
    // Channel 1 names each reading; its ReadingDate, FullDate and key are set below.
    const struct {
        const char *load, *readingDate, *fullDate, *keyDate;
        bool deleted; // by a batch of 2013/03/01 to 2013/03/02
    } rows[] = {
        {"1.00", "2013-03-01", "2013-03-05 10:00:00", "2013/03/05 10:00:00", true},
        {"2.00", "2013-03-05", "2013-03-01 10:00:00", "2013/03/01 10:00:00", false},
        {"3.00", "2013-03-02 23:59:59", "2013-03-02 23:59:59", "2013/03/02 23:59:59", true},
        {"4.00", "2013-03-03 00:00:00", "2013-03-02 23:59:59", "2013/03/03 00:00:00", false},
        // A day that does not exist sorts among the chosen ones but dates nothing: the
        // FullDate of the same day neither, so the key dates the reading.
        {"5.00", "2013-02-30", "2013-02-30 10:00:00", "2013/03/07 10:00:00", false},
        {"6.00", "2013-02-31", "2013-02-31 10:00:00", "2013/03/01 11:00:00", true},
        // A time of day that does not exist: no day is read from that text either.
        {"7.00", "2013-03-02 24:00:00", "2013-03-02 24:00:00", "2013/03/09 10:00:00", false},
        {"8.00", "2013-02-28 12:00:00", "2013-02-28 12:00:00", "2013/02/28 12:00:00", false},
    };
    int second = 0;
    for (const auto& r : rows) {
        addReading(
            qPrintable(
                QStringLiteral("2000/01/01 00:00:%1").arg(second++, 2, 10, QLatin1Char('0'))),
            r.load);
        execSql(QStringLiteral("UPDATE `%1` SET ReadingDate = '%2', FullDate = '%3', "
                               "DateTimeKey = '%1 %4' WHERE Channel1 = '%5'")
                    .arg(kId, QLatin1String(r.readingDate), QLatin1String(r.fullDate),
                         QLatin1String(r.keyDate), QLatin1String(r.load)));
    }
    startOnReadings();
    batch(QDate(2013, 3, 1), QDate(2013, 3, 2));
    expectBatchMessage(3, QDate(2013, 3, 1), QDate(2013, 3, 2));
    for (const auto& r : rows)
        EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `%1` WHERE Channel1 = '%2'")
                             .arg(kId, QLatin1String(r.load)))
                      .toInt(),
                  r.deleted ? 0 : 1)
            << r.load;
    EXPECT_EQ(counter(), "5 of 5");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(DeleteReadingsTest, ABatchIsAllOrNothing) {
    aroundTheFirstOfMarch();
    // The database refuses to delete the last reading of the day.
    execSql(QStringLiteral("CREATE TRIGGER keep AFTER DELETE ON `%1` WHEN old.Channel1 = '4.00' "
                           "BEGIN SELECT RAISE(ABORT, 'kept'); END")
                .arg(kId));
    startOnReadings();
    batch(QDate(2013, 3, 1), QDate(2013, 3, 1));
    EXPECT_EQ(logCount(" imgDeleteReading_Click"), 1);
    EXPECT_TRUE(dialogs.pending().empty());
    EXPECT_EQ(readingCount(), 5);
    EXPECT_EQ(s().rsReadings.recordCount(), 5);
    EXPECT_EQ(counter(), "5 of 5");
    // The tab goes on working, and nothing of the failed deletion is left pending: the
    // next deletion is carried out and counts what it deleted.
    tab().imgFirst->click();
    EXPECT_EQ(counter(), "1 of 5");
    batch(QDate(2013, 3, 2), QDate(2013, 3, 2));
    expectBatchMessage(1, QDate(2013, 3, 2), QDate(2013, 3, 2));
    EXPECT_EQ(logCount(" imgDeleteReading_Click"), 1);
    EXPECT_EQ(counter(), "4 of 4");
    EXPECT_EQ(readingCount(), 4);
}

TEST_F(DeleteReadingsTest, MidnightReadingsOnTheFirstAndTheLastDayAreDeleted) {
    addReading("2005/03/27 00:00:00", "1.00");
    addReading("2005/03/28 00:00:00", "2.00");
    addReading("2005/03/29 12:00:00", "3.00");
    addReading("2005/03/30 00:00:00", "4.00");
    addReading("2005/03/31 00:00:00", "5.00");
    // As the program stores them: the date alone for a reading at midnight.
    execSql(QStringLiteral("UPDATE `%1` SET FullDate = date(FullDate) WHERE time(FullDate) = "
                           "'00:00:00'")
                .arg(kId));
    startOnReadings();
    batch(QDate(2005, 3, 28), QDate(2005, 3, 30));
    expectBatchMessage(3, QDate(2005, 3, 28), QDate(2005, 3, 30));
    EXPECT_EQ(stored("Channel1", "2005/03/27 00:00:00"), "1.00");
    EXPECT_EQ(stored("Channel1", "2005/03/28 00:00:00"), "<none>");
    EXPECT_EQ(stored("Channel1", "2005/03/30 00:00:00"), "<none>");
    EXPECT_EQ(stored("Channel1", "2005/03/31 00:00:00"), "5.00");
    EXPECT_EQ(counter(), "2 of 2");
}

TEST_F(DeleteReadingsTest, ASensorWithMoreThan32767ReadingsIsHandledLikeAnyOther) {
    // 40,000 readings a minute apart from 2013/02/01 00:00, the last on 2013/02/28 18:39.
    execSql(QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 39999) "
                "INSERT INTO `%1` (DateTimeKey, ReadingDate, ReadingTime, FullDate, Channel1) "
                "SELECT '%1 ' || strftime('%Y/%m/%d %H:%M:%S', t), date(t), time(t), "
                "strftime('%Y-%m-%d %H:%M:%S', t), '1.00' FROM (SELECT datetime('2013-02-01', "
                "'+' || i || ' minutes') AS t FROM n)")
                .arg(kId));
    ASSERT_EQ(readingCount(), 40000);
    startOnReadings();
    // Every day from the 1st to the 23rd: 23 * 1440 readings.
    batch(QDate(2013, 2, 1), QDate(2013, 2, 23));
    expectBatchMessage(33120, QDate(2013, 2, 1), QDate(2013, 2, 23));
    EXPECT_EQ(readingCount(), 40000 - 33120);
    EXPECT_EQ(counter(), "6880 of 6880");
    EXPECT_EQ(logEntries(), 0);
}

// ---------------------------------------------------------------------------------
// All readings

TEST_F(DeleteReadingsTest, DeleteAllRemovesEveryReadingWithoutAMessageAndNoOtherSensors) {
    aroundTheFirstOfMarch();
    addSensorRow(kOther);
    addReading("2013/03/01 12:00:00", "9.00", "-", 0, kOther);
    watchWrites(kOther);
    startOnReadings();
    open().Command1->click();
    settle();
    EXPECT_TRUE(dialogs.pending().empty());
    EXPECT_EQ(readingCount(), 0);
    EXPECT_EQ(counter(), "0 of 0");
    EXPECT_EQ(tab().lblError->text(), "0 Readings - Click the Add button to add a reading");
    EXPECT_EQ(readingCount(kOther), 1);
    EXPECT_EQ(writesTo(kOther), 0);
    // Deleting all of nothing is no error either.
    open().Command1->click();
    settle();
    EXPECT_EQ(counter(), "0 of 0");
    EXPECT_EQ(logEntries(), 0);
}

// Nothing is left to come back to: readings imported next show from their newest, as
// after deleting the only reading.
TEST_F(DeleteReadingsTest, AfterDeleteAllAnImportShowsItsNewestReading) {
    aroundTheFirstOfMarch();
    startOnReadings();
    tab().imgFirst->click();
    window->SSTab1->setCurrentIndex(1); // the first reading remembered
    window->SSTab1->setCurrentIndex(2);
    open().Command1->click();
    settle();
    importSixHourly();
    dialogs.expect(QStringLiteral("All the checked data will be added to sensor:  200525001 ?"),
                   QStringLiteral("Rockvane"), Icon::None, Buttons::YesNo);
    dialogs.expect(QStringLiteral(" 12 records appended to 200525001"), QStringLiteral("Rockvane"));
    EXPECT_EQ(counter().toStdString(), "12 of 12");
}

} // namespace
