// The rules of alarm levels and the table that keeps them.
#include "alarms/AlarmStore.h"
#include "core/DateText.h"
#include "core/Loads.h"
#include "store/Connection.h"
#include "tests/support/DataFolder.h"
#include <gtest/gtest.h>

using namespace rv;
using namespace rv::test;
using namespace Qt::StringLiterals;

namespace {

TEST(AlarmLevelsRules, TypedLevelsAreReadOrRefusedSayingWhich) {
    const auto none = readAlarmLevels(u""_s, u"  "_s, u""_s);
    ASSERT_TRUE(none.ok());
    EXPECT_TRUE(none.value().empty());

    const auto all = readAlarmLevels(u" 12.5"_s, u"15"_s, u"0.5 "_s);
    ASSERT_TRUE(all.ok());
    EXPECT_EQ(all.value(), (AlarmLevels{12.5, 15.0, 0.5}));
    EXPECT_TRUE(readAlarmLevels(u"15"_s, u"15"_s, u""_s).ok()) << "equal levels are allowed";
    EXPECT_TRUE(readAlarmLevels(u"0"_s, u""_s, u""_s).ok());

    struct Refused {
        QString alert, alarm, rate, says;
    };
    const Refused refused[] = {
        {u"abc"_s, u""_s, u""_s, u"alert load \"abc\" is not a number"_s},
        {u""_s, u"12.5 t"_s, u""_s, u"alarm load \"12.5 t\" is not a number"_s},
        {u""_s, u""_s, u"1,5"_s, u"rate limit \"1,5\" is not a number"_s},
        {u"-1"_s, u""_s, u""_s, u"alert load cannot be negative"_s},
        {u""_s, u""_s, u"-0.1"_s, u"rate limit cannot be negative"_s},
        {u"15"_s, u"12"_s, u""_s, u"alert load (15 tons) is above the alarm load (12 tons)"_s},
        {u""_s, u"1e999"_s, u""_s, u"alarm load \"1e999\" is too large"_s},
        {u""_s, u""_s, u"-1e999"_s, u"rate limit \"-1e999\" is too large"_s},
    };
    for (const Refused& r : refused) {
        const auto levels = readAlarmLevels(r.alert, r.alarm, r.rate);
        ASSERT_FALSE(levels.ok()) << r.says.toStdString();
        EXPECT_TRUE(levels.error().description.contains(r.says))
            << levels.error().description.toStdString();
    }
}

TEST(AlarmLevelsRules, ALoadReachesALevelAtItAndAboveIt) {
    const AlarmLevels levels{10.0, 12.0, std::nullopt};
    struct Case {
        double load;
        LevelReached reached;
    };
    for (const Case& c : {Case{9.99, LevelReached::None}, Case{10.0, LevelReached::Alert},
                          Case{11.99, LevelReached::Alert}, Case{12.0, LevelReached::Alarm},
                          Case{40.0, LevelReached::Alarm}, Case{-3.0, LevelReached::None}})
        EXPECT_EQ(checkLoad({c.load, {}}, std::nullopt, levels).reached, c.reached) << c.load;
    EXPECT_EQ(
        checkLoad({12.0, {}}, std::nullopt, AlarmLevels{std::nullopt, 12.0, std::nullopt}).reached,
        LevelReached::Alarm);
    EXPECT_FALSE(checkLoad({99.0, {}}, std::nullopt, AlarmLevels{}).any()) << "no levels";
}

TEST(AlarmLevelsRules, AReadingAtALevelAfterItsOffsetReachesItWhateverTheOffset) {
    const AlarmLevels levels{10.0, std::nullopt, std::nullopt};
    struct Case {
        const char* reading;
        const char* offset;
        LevelReached reached;
    };
    // The offsets' single precision lies above their decimal value by up to 0.00005 t.
    for (const Case& c :
         {Case{"10.10", "0.10", LevelReached::Alert}, Case{"10.30", "0.30", LevelReached::Alert},
          Case{"109.90", "99.90", LevelReached::Alert},
          Case{"1009.95", "999.95", LevelReached::Alert},
          Case{"1510.55", "1500.55", LevelReached::Alert},
          Case{"1009.94", "999.95", LevelReached::None}, Case{"9.999", "0", LevelReached::None}}) {
        const double load = loadAfterOffset(QString::fromLatin1(c.reading),
                                            installationOffset(QString::fromLatin1(c.offset)));
        EXPECT_EQ(checkLoad({load, {}}, std::nullopt, levels).reached, c.reached)
            << c.reading << " less " << c.offset;
    }
}

TEST(AlarmLevelsRules, AChannelHoldsALoadWhenItBeginsWithANumber) {
    struct Case {
        std::optional<QString> channel1;
        bool holds;
    };
    const Case cases[] = {
        {u"12.5"_s, true},     {u" -0.3"_s, true}, {u"+.5 t"_s, true}, {u"7e2"_s, true},
        {u"1e999"_s, true},    {u"0"_s, true},     {u"\t3"_s, true},   {u"5."_s, true},
        {std::nullopt, false}, {u""_s, false},     {u" "_s, false},    {u"ERR"_s, false},
        {u"-"_s, false},       {u"."_s, false},    {u"+.e3"_s, false}, {u"t 12"_s, false},
    };
    for (const Case& c : cases) {
        std::optional<QStringView> view;
        if (c.channel1) view = QStringView(*c.channel1);
        EXPECT_EQ(holdsLoad(view), c.holds) << (c.channel1 ? c.channel1->toStdString() : "Null");
    }
}

TEST(AlarmLevelsRules, TheRiseIsJudgedPerDayFromThePreviousReading) {
    const AlarmLevels levels{std::nullopt, std::nullopt, 1.5};
    const QDateTime t0 = wallClock(QDate(2026, 3, 1), QTime(6, 0));
    const LoadAt before{10.0, t0};
    auto rate = [&](double load, qint64 secs) {
        return checkLoad({load, t0.addSecs(secs)}, before, levels);
    };
    EXPECT_TRUE(rate(11.0, 12 * 3600).rateExceeded) << "1 ton in 12 hours is 2 tons/day";
    EXPECT_DOUBLE_EQ(rate(11.0, 12 * 3600).risePerDay, 2.0);
    EXPECT_FALSE(rate(11.5, 24 * 3600).rateExceeded) << "exactly the limit";
    EXPECT_FALSE(rate(8.0, 3600).rateExceeded) << "a falling load";
    EXPECT_FALSE(rate(10.5, 0).rateExceeded) << "same moment: a rise of 0.5 is within 1.5";
    EXPECT_TRUE(rate(12.0, 0).rateExceeded) << "same moment: a rise of 2 is beyond 1.5";
    EXPECT_FALSE(checkLoad({30.0, t0}, std::nullopt, levels).rateExceeded) << "first reading";

    const LevelCheck both =
        checkLoad({13.0, t0.addSecs(6 * 3600)}, before, AlarmLevels{10.0, 12.0, 1.5});
    EXPECT_EQ(levelNotice(both, 13.0, AlarmLevels{10.0, 12.0, 1.5}),
              u"ALARM: load 13.00 tons is at or above the alarm load of 12 tons; RISING FAST: "
              "12.00 tons/day since the previous reading (limit 1.5 tons/day)"_s);
}

class AlarmStoreTest : public DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        ASSERT_TRUE(c.open(databasePath).ok());
    }
    void reading(const QString& id, const QString& fullDate, const QString& channel1,
                 bool doNotPlot = false) {
        addReadings(id, {ReadingRow(id + u' ' + fullDate)
                             .fullDate(fullDate)
                             .channel1(channel1)
                             .doNotPlot(doNotPlot ? 1 : 0)});
    }
    Connection c;
};

TEST_F(AlarmStoreTest, TheTableIsAddedOnceAndKeepsEachSensorsLevels) {
    EXPECT_FALSE(hasAlarmTable(c)) << "the shipped database has none";
    ASSERT_TRUE(ensureAlarmTable(c).ok());
    ASSERT_TRUE(ensureAlarmTable(c).ok()) << "a second opening changes nothing";
    EXPECT_TRUE(hasAlarmTable(c));

    EXPECT_TRUE(loadAlarmLevels(c, u"200525001"_s).value().empty());
    ASSERT_TRUE(saveAlarmLevels(c, u"200525001"_s, {10.0, 12.0, std::nullopt}).ok());
    ASSERT_TRUE(saveAlarmLevels(c, u"200525999"_s, {std::nullopt, 3.0, 0.25}).ok());
    ASSERT_TRUE(saveAlarmLevels(c, u"200525001"_s, {11.0, std::nullopt, 2.0}).ok());
    EXPECT_EQ(loadAlarmLevels(c, u"200525001"_s).value(), (AlarmLevels{11.0, std::nullopt, 2.0}));
    EXPECT_EQ(loadAlarmLevels(c, u"200525999"_s).value(), (AlarmLevels{std::nullopt, 3.0, 0.25}));

    ASSERT_TRUE(saveAlarmLevels(c, u"200525001"_s, AlarmLevels{}).ok());
    EXPECT_EQ(scalar(u"SELECT count(*) FROM AlarmLevels"_s).toInt(), 1) << "no levels, no row";
    ASSERT_TRUE(deleteAlarmLevels(c, u"200525999"_s).ok());
    EXPECT_EQ(scalar(u"SELECT count(*) FROM AlarmLevels"_s).toInt(), 0);
}

TEST_F(AlarmStoreTest, ALockedDatabaseWithoutTheTableIsRefusedAndLeftAlone) {
    c.close();
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    ASSERT_TRUE(c.open(databasePath).ok());
    EXPECT_FALSE(ensureAlarmTable(c).ok());
    EXPECT_FALSE(hasAlarmTable(c));
    EXPECT_TRUE(sensorsBeyondLevels(c).ok()) << "nothing beyond where there are no levels";
}

TEST_F(AlarmStoreTest, SensorsBeyondTheirLevelsAreJudgedOnTheirLatestPlottedReading) {
    ASSERT_TRUE(ensureAlarmTable(c).ok());
    for (const char* id : {"200525001", "200525002", "200525003", "200525004", "200525005"})
        addSensorRow(QString::fromLatin1(id));
    execSql(u"UPDATE Sensors SET Recess = 0.1"_s);
    // 001: latest plotted 12.5 - 0.1 >= alarm 12 (a later reading is not plotted).
    reading(u"200525001"_s, u"2026-03-01 06:00:00"_s, u"5"_s);
    reading(u"200525001"_s, u"2026-03-02 06:00:00"_s, u"12.50"_s);
    reading(u"200525001"_s, u"2026-03-03 06:00:00"_s, u"1"_s, true);
    // 002: 10.1 - 0.1 is 9.99999999851..., shown as 10.00: at the alert load of 10.
    reading(u"200525002"_s, u"2026-03-02 06:00:00"_s, u"10.1"_s);
    // 003: at the alert load; 004: no readings; 005: no levels at all.
    reading(u"200525003"_s, u"2026-03-02 06:00:00"_s, u"8.1"_s);
    reading(u"200525005"_s, u"2026-03-02 06:00:00"_s, u"99"_s);
    ASSERT_TRUE(saveAlarmLevels(c, u"200525001"_s, {10.0, 12.0, std::nullopt}).ok());
    ASSERT_TRUE(saveAlarmLevels(c, u"200525002"_s, {10.0, 20.0, std::nullopt}).ok());
    ASSERT_TRUE(saveAlarmLevels(c, u"200525003"_s, {7.9, std::nullopt, std::nullopt}).ok());
    ASSERT_TRUE(saveAlarmLevels(c, u"200525004"_s, {1.0, 2.0, std::nullopt}).ok());
    ASSERT_TRUE(saveAlarmLevels(c, u"200525009"_s, {1.0, 2.0, std::nullopt}).ok())
        << "levels of a sensor that is gone are never listed";

    const auto beyond = sensorsBeyondLevels(c);
    ASSERT_TRUE(beyond.ok()) << beyond.error().description.toStdString();
    ASSERT_EQ(beyond.value().size(), 3u);
    const SensorBeyond& first = beyond.value().at(0);
    EXPECT_EQ(first.instrumentId, u"200525001"_s);
    EXPECT_EQ(first.reached, LevelReached::Alarm);
    EXPECT_DOUBLE_EQ(first.level, 12.0);
    EXPECT_NEAR(first.load, 12.4, 1e-6);
    EXPECT_EQ(first.at, wallClock(QDate(2026, 3, 2), QTime(6, 0)));
    const SensorBeyond& second = beyond.value().at(1);
    EXPECT_EQ(second.instrumentId, u"200525002"_s);
    EXPECT_EQ(second.reached, LevelReached::Alert);
    EXPECT_DOUBLE_EQ(second.level, 10.0);
    const SensorBeyond& third = beyond.value().at(2);
    EXPECT_EQ(third.instrumentId, u"200525003"_s);
    EXPECT_EQ(third.reached, LevelReached::Alert);
    EXPECT_DOUBLE_EQ(third.level, 7.9);
}

TEST_F(AlarmStoreTest, TheOffsetIsTheOneTheOffsetBoxShowsAndThePlotsUse) {
    ASSERT_TRUE(ensureAlarmTable(c).ok());
    addSensorRow(u"200525001"_s);
    execSql(u"UPDATE Sensors SET Recess = 0.125"_s); // shown as 0.13
    reading(u"200525001"_s, u"2026-03-02 06:00:00"_s, u"12.50"_s);
    ASSERT_TRUE(saveAlarmLevels(c, u"200525001"_s, {12.0, 12.375, std::nullopt}).ok());
    const auto beyond = sensorsBeyondLevels(c).value();
    ASSERT_EQ(beyond.size(), 1u);
    EXPECT_EQ(beyond[0].reached, LevelReached::Alert) << "12.50 - 0.13 is below 12.375";
}

TEST_F(AlarmStoreTest, TheLatestReadingThatHoldsALoadIsJudgedAlsoOnADatabaseOnlyRead) {
    ASSERT_TRUE(ensureAlarmTable(c).ok());
    for (const char* id : {"200525001", "200525002", "200525003"})
        addSensorRow(QString::fromLatin1(id));
    // 001: later readings without a load (empty, a logger's "ERR", Null) are no load of 0.
    reading(u"200525001"_s, u"2026-03-01 06:00:00"_s, u"12.50"_s);
    reading(u"200525001"_s, u"2026-03-02 06:00:00"_s, u""_s);
    reading(u"200525001"_s, u"2026-03-03 06:00:00"_s, u"ERR"_s);
    execSql(u"INSERT INTO `200525001` (DateTimeKey, FullDate, DoNotPlot) VALUES ('n', "
            "'2026-03-04 06:00:00', 0)"_s);
    // 002: the latest reading is at midnight, stored as its date alone.
    reading(u"200525002"_s, u"2026-03-01 23:00:00"_s, u"1"_s);
    reading(u"200525002"_s, u"2026-03-02"_s, u"9"_s);
    // 003: no reading with a load at all, against an alert load of 0.
    reading(u"200525003"_s, u"2026-03-02 06:00:00"_s, u"ERR"_s);
    ASSERT_TRUE(saveAlarmLevels(c, u"200525001"_s, {10.0, 12.0, std::nullopt}).ok());
    ASSERT_TRUE(saveAlarmLevels(c, u"200525002"_s, {8.0, 20.0, std::nullopt}).ok());
    ASSERT_TRUE(saveAlarmLevels(c, u"200525003"_s, {0.0, std::nullopt, std::nullopt}).ok());

    for (const bool readOnly : {false, true}) {
        if (readOnly) {
            c.close();
            if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only";
            ASSERT_TRUE(c.open(databasePath).ok());
        }
        const auto beyond = sensorsBeyondLevels(c);
        ASSERT_TRUE(beyond.ok()) << beyond.error().description.toStdString();
        ASSERT_EQ(beyond.value().size(), 2u) << "read-only: " << readOnly;
        EXPECT_EQ(beyond.value()[0].instrumentId, u"200525001"_s);
        EXPECT_EQ(beyond.value()[0].reached, LevelReached::Alarm);
        EXPECT_EQ(beyond.value()[0].load, 12.5);
        EXPECT_EQ(beyond.value()[0].at, wallClock(QDate(2026, 3, 1), QTime(6, 0)));
        EXPECT_EQ(beyond.value()[1].instrumentId, u"200525002"_s);
        EXPECT_EQ(beyond.value()[1].reached, LevelReached::Alert);
        EXPECT_EQ(beyond.value()[1].at, wallClock(QDate(2026, 3, 2), QTime(0, 0)));
    }
}

} // namespace
