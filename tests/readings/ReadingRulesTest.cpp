// The rules of the Readings tab that need no window: typed keys, limits and their
// messages, the counter, and stored dates and times read back.
#include "readings/ReadingRules.h"
#include <QDateTime>
#include <gtest/gtest.h>
#include <limits>

using namespace rv;

namespace {

TEST(ReadingRules, KeyFilterTakesDigitsSignPointAndEditingKeysOnly) {
    const QString accepted = QStringLiteral("0123456789-.");
    for (int code = 0; code < 256; ++code) {
        const bool expected =
            accepted.contains(QChar(code)) || code == 8 || code == 9 || code == 13 || code == 127;
        EXPECT_EQ(acceptsReadingKey(code), expected) << "code " << code;
    }
    EXPECT_FALSE(acceptsReadingKey(0x0661)) << "digits of other scripts are not digits here";
}

TEST(ReadingRules, LimitValuesAndMessagesUseThePlainDecimalForm) {
    EXPECT_EQ(limitValue(QVariant(300.0)), 300.0);
    EXPECT_EQ(limitValue(QVariant(QStringLiteral(" -20 deg"))), -20.0);
    EXPECT_EQ(limitValue(QVariant()), 0.0);
    EXPECT_FALSE(Limits({0, 300}).accepts(std::numeric_limits<double>::infinity()));
    EXPECT_EQ(loadLimitMessage(1, Limits{0, 300}), "Error: Channel 1 must be > 0 and < 300");
    EXPECT_EQ(loadLimitMessage(1, Limits{0.5, 1e-7}),
              "Error: Channel 1 must be > 0.5 and < 0.0000001");
    EXPECT_EQ(temperatureLimitMessage(Limits{-20, 60}), "Error: Channel T must be > -20 and < 60");
}

TEST(ReadingRules, Counter) {
    EXPECT_EQ(readingCounter(3, 17), "3 of 17");
    EXPECT_EQ(readingCounter(0, 0), "0 of 0");
    EXPECT_EQ(readingCounter(5, 0), "0 of 0");
    EXPECT_EQ(readingCounter(70000, 100000), "70000 of 100000") << "no 16-bit limit";
}

TEST(ReadingRules, StoredDatesAndTimesAreReadBackAsWallClockValues) {
    const QDateTime moment(QDate(2026, 3, 8), QTime(2, 30, 0), Qt::UTC);
    EXPECT_EQ(storedDate(QVariant(moment)), QDate(2026, 3, 8));
    EXPECT_EQ(storedTime(QVariant(moment)), QTime(2, 30, 0));
    EXPECT_EQ(storedDate(QVariant(QStringLiteral("2026/03/08"))), QDate(2026, 3, 8));
    EXPECT_FALSE(storedDate(QVariant(QStringLiteral("2026-02-30"))));
    EXPECT_FALSE(storedDate(QVariant()));

    EXPECT_EQ(storedTime(QVariant(QStringLiteral("02:30:00"))), QTime(2, 30, 0));
    EXPECT_EQ(storedTime(QVariant(QStringLiteral(" 7:05 "))), QTime(7, 5, 0));
    EXPECT_FALSE(storedTime(QVariant(QStringLiteral("25:00:00"))));
    EXPECT_FALSE(storedTime(QVariant(QStringLiteral("noon"))));
    EXPECT_FALSE(storedTime(QVariant()));

    const QString key = QStringLiteral("200525001 2026/03/08 02:30:00");
    EXPECT_EQ(keyDate(key), QDate(2026, 3, 8));
    EXPECT_EQ(keyTime(key), QTime(2, 30, 0));
    EXPECT_FALSE(keyDate(QStringLiteral("200525001 2026/3/8 02:30:00")));
    EXPECT_FALSE(keyTime(QStringLiteral("garbage")));
    EXPECT_EQ(toSecond(QTime(9, 30, 15, 999)), QTime(9, 30, 15));
}

TEST(ReadingRules, ABoxMayHoldANumberNothingOrWhatTheReadingAlreadyHolds) {
    const struct {
        const char *typed, *stored;
        bool accepted;
    } cases[] = {
        {"85.80", "", true},  {" 7 ", "1.00", true},  {"", "1.00", true},
        {"1e3", "", true},    {"-0.5", "", true},     {"85.8086.10", "85.80", false},
        {"1.2.3", "", false}, {"-", "", false},       {".", "", false},
        {"ERR", "ERR", true}, {" ERR", "ERR ", true}, {"ERR5", "ERR", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isReadingValue(QLatin1String(c.typed), QLatin1String(c.stored)), c.accepted)
            << c.typed << " / " << c.stored;
    EXPECT_EQ(notNumberError(QStringLiteral("Load 1"),
                             QStringLiteral("200525001 2005/03/28 "
                                            "00:00:00"),
                             QStringLiteral(" 1.2.3 ")),
              "Error: Load 1 of the reading 200525001 2005/03/28 00:00:00 is not a number: 1.2.3");
}

TEST(ReadingRules, TheLevelNoticeSaysTheLoadAboveTheOffsetAndWhereItComesFrom) {
    const AlarmLevels levels{40.0, 50.0, 1.5};
    LevelCheck alert;
    alert.reached = LevelReached::Alert;
    EXPECT_EQ(readingLevelNotice(alert, 120.5, 80.0, std::nullopt, levels),
              QStringLiteral("ALERT: load 40.50 t above the installation offset (reading "
                             "120.50 t \u2212 offset 80.00 t) is at or above the alert load of "
                             "40 t"));
    LevelCheck both;
    both.reached = LevelReached::Alarm;
    both.rateExceeded = true;
    both.risePerDay = 3.525;
    EXPECT_EQ(readingLevelNotice(both, 136.65, 80.0, 53.1, levels),
              QStringLiteral("ALARM: load 56.65 t above the installation offset (reading "
                             "136.65 t \u2212 offset 80.00 t) is at or above the alarm load of "
                             "50 t; RISING FAST: 3.53 t/day since the previous reading (53.10 t), "
                             "faster than the limit of 1.5 t/day"));
    LevelCheck none;
    EXPECT_EQ(readingLevelNotice(none, 136.65, 80.0, 53.1, levels), "");
}

} // namespace
