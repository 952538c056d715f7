// The level notice of the Readings tab: what it says of the load it judges, which
// readings it judges, where it sits, and that it needs nothing written.
#include "alarms/AlarmStore.h"
#include "store/Connection.h"
#include "tests/readings/ReadingsFixture.h"
#include <QApplication>
#include <QLabel>

using namespace rv;
using namespace rv::test;

namespace {

class LevelNoticeTest : public ReadingsWindowTest {
protected:
    void levels(const AlarmLevels& levels) {
        Connection c;
        ASSERT_TRUE(c.open(databasePath).ok());
        ASSERT_TRUE(ensureAlarmTable(c).ok());
        ASSERT_TRUE(saveAlarmLevels(c, kId, levels).ok());
    }
    void offset(const char* recess) {
        execSql(QStringLiteral("UPDATE Sensors SET Recess = '%1'").arg(QLatin1String(recess)));
    }
    // The program stores a reading at midnight with its FullDate as the date alone.
    void midnightsAsDates() {
        execSql(QStringLiteral("UPDATE `%1` SET FullDate = date(FullDate) WHERE time(FullDate) "
                               "= '00:00:00'")
                    .arg(kId));
    }
    // What the notice says; empty while it is hidden.
    QString notice() {
        const QLabel* label = tab().lblLevels;
        return label->isVisibleTo(window.get()) ? label->text() : QString();
    }
};

TEST_F(LevelNoticeTest, TheNoticeSaysWhichLoadItJudgesAndWhereItComesFrom) {
    addReading("2005/03/27 06:00:00", "130.00");
    addReading("2005/03/28 06:00:00", "136.65");
    offset("80");
    levels({40.0, 50.0, std::nullopt});
    startOnReadings();
    EXPECT_EQ(tab().txtChannel_1->text(), "136.65");
    EXPECT_EQ(notice(), QStringLiteral("ALARM: load 56.65 t above the installation offset "
                                       "(reading 136.65 t \u2212 offset 80.00 t) is at or above "
                                       "the alarm load of 50 t"));
}

TEST_F(LevelNoticeTest, AMidnightReadingIsJudgedAgainstTheReadingBeforeIt) {
    addReading("2005/03/27 00:00:00", "50.00");
    addReading("2005/03/28 00:00:00", "53.53");
    midnightsAsDates();
    ASSERT_EQ(scalar(QStringLiteral("SELECT max(FullDate) FROM `%1`").arg(kId)).toString(),
              "2005-03-28");
    offset("0");
    levels({std::nullopt, std::nullopt, 1.5});
    startOnReadings();
    EXPECT_EQ(notice(), QStringLiteral("RISING FAST: load 53.53 t above the installation offset "
                                       "(reading 53.53 t \u2212 offset 0.00 t) rose 3.53 t/day "
                                       "since the previous reading (50.00 t), faster than the "
                                       "limit of 1.5 t/day"));
}

TEST_F(LevelNoticeTest, AReadingWithoutALoadIsJudgedByNoLevelAndIsNoPreviousReading) {
    // With a negative offset a blank load taken as 0 t would be 10 t above it.
    addReading("2005/03/20 06:00:00", "6.00");
    addReading("2005/03/21 06:00:00", "");
    addReading("2005/03/22 06:00:00", "-");
    addReading("2005/03/23 06:00:00", "ERR");
    addReading("2005/03/24 06:00:00", "7abc"); // a leading number keeps its value
    offset("-10");
    levels({5.0, std::nullopt, 1.5});
    startOnReadings();
    // Judged against the reading of the 20th: 1 t in 4 days is no fast rise.
    EXPECT_EQ(notice(), QStringLiteral("ALERT: load 17.00 t above the installation offset "
                                       "(reading 7.00 t \u2212 offset -10.00 t) is at or above "
                                       "the alert load of 5 t"));
    for (const char* load : {"ERR", "", ""}) {
        tab().imgPrevData->click();
        EXPECT_EQ(tab().txtChannel_1->text(), QLatin1String(load));
        EXPECT_EQ(notice(), "") << counter().toStdString();
    }
    EXPECT_EQ(counter(), "2 of 5");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(LevelNoticeTest, TheNavigationButtonsStayPutWhenTheNoticeComesAndGoes) {
    addReading("2005/03/27 06:00:00", "5.00");
    addReading("2005/03/28 06:00:00", "60.00");
    levels({std::nullopt, 50.0, std::nullopt});
    startOnReadings();
    window->resize(1000, 700);
    QApplication::processEvents();
    ASSERT_NE(notice(), "");
    const QPoint withNotice = tab().imgNextData->mapTo(window.get(), QPoint());
    tab().imgPrevData->click();
    QApplication::processEvents();
    ASSERT_EQ(notice(), "");
    EXPECT_EQ(tab().imgNextData->mapTo(window.get(), QPoint()), withNotice);
}

TEST_F(LevelNoticeTest, OnAWriteProtectedDatabaseTheNoticeStillJudgesTheReadings) {
    addReading("2005/03/27 06:00:00", "5.00");
    addReading("2005/03/28 06:00:00", "60.00");
    offset("8");
    levels({std::nullopt, 50.0, std::nullopt});
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    startOnReadings();
    // Start-up has said what a database that can only be read goes without.
    EXPECT_TRUE(dialogs.take().text.startsWith(
        QStringLiteral("The database RockvaneLODIX.mdb can only be read")));
    EXPECT_EQ(notice(), QStringLiteral("ALARM: load 52.00 t above the installation offset "
                                       "(reading 60.00 t \u2212 offset 8.00 t) is at or above "
                                       "the alarm load of 50 t"));
    tab().imgPrevData->click();
    EXPECT_EQ(notice(), "");
}

} // namespace
