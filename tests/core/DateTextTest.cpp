#include "core/DateText.h"
#include "core/Values.h"

#include <QLocale>
#include <ctime>
#include <gtest/gtest.h>
#include <utility>

using namespace rv;

TEST(DateText, RegionalFormsWidenYearsAndDropTheTimeZone) {
    const auto y = widenYears, t = withoutTimeZone;
    // clang-format off
    const struct {
        QString (*rule)(const QString&);
        const char* format;
        const char* expected;
    } cases[] = {
        {y, "M/d/yy", "M/d/yyyy"}, {y, "yy. M. d.", "yyyy. M. d."}, {y, "dd/MM/y", "dd/MM/yyyy"},
        {y, "d MMM yyyy", "d MMM yyyy"}, {y, "d.MM.yy 'yy'.", "d.MM.yyyy 'yy'."},
        {y, "'it''s' yy", "'it''s' yyyy"}, {t, "h:mm:ss AP t", "h:mm:ss AP"},
        {t, "t HH:mm:ss", "HH:mm:ss"}, {t, "h:mm:ss AP, t", "h:mm:ss AP"},
        {t, "HH:mm:ss tttt", "HH:mm:ss"}, {t, "H:mm:ss 'ta' t", "H:mm:ss 'ta'"},
        {t, "h:mm:ss\u202fAP\u202ft", "h:mm:ss\u202fAP"}};
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(c.rule(QString::fromUtf8(c.format)).toStdString(), c.expected) << c.format;
}

TEST(DateText, GeneralDateShowsTheTimeUnlessMidnight) {
    const QDate day(2005, 1, 2);
    const QString date = shortDateText(day);
    const QString withTime = generalDateText(wallClock(day, QTime(13, 45, 30)));
    EXPECT_EQ(generalDateText(wallClock(day)), date);
    EXPECT_TRUE(withTime.startsWith(date + ' ') && withTime.size() > date.size() + 5);
    EXPECT_FALSE(withTime.contains("UTC") || withTime.contains("GMT"));
    EXPECT_NE(generalDateText(wallClock(day, QTime(0, 0, 1))), date);
    EXPECT_EQ(generalDateText(QDateTime()), "");
    EXPECT_TRUE(QLocale::system().name() != "C" || withTime == "2 Jan 2005 13:45:30");
}

TEST(DateText, ReadDateAcceptsOnlyRealDays) {
    const QDate day(2005, 1, 2), none;
    // clang-format off
    const std::pair<const char*, QDate> cases[] = {
        {"2005/01/02", day}, {"2005/1/2", day}, {" 2005-1-02 ", day}, {"2004/2/29", {2004, 2, 29}},
        {"2005/13/45", none}, {"2005/02/30", none}, {"2005/00/10", none}, {"", none},
        {"abc", none}, {"05/01/02", none}, {"2005/01-02", none}, {"2005/01/02 10:00", none}};
    // clang-format on
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(readDate(text).value_or(none), expected) << text;

    // The regional short form is read back; with a two-digit year it is refused.
    for (const QDate d : {day, QDate(1999, 7, 4), QDate(2021, 12, 31)}) {
        EXPECT_EQ(readDate(shortDateText(d)), d) << shortDateText(d).toStdString();
        const QString twoDigit =
            QLocale::system().toString(d, shortDateFormat().replace("yyyy", "yy"));
        EXPECT_FALSE(readDate(twoDigit).has_value()) << twoDigit.toStdString();
    }
}

TEST(DateText, ReadDateTimeTakesAnOptionalTime) {
    const QDate day(2005, 1, 2);
    // clang-format off
    const std::pair<QString, QTime> cases[] = {
        {"2005/01/02 13:45", {13, 45}}, {"2005-01-02T07:05:09", {7, 5, 9}},
        {" 2005/1/2   7:05 ", {7, 5}}, {"2005/01/02", {0, 0}},
        {shortDateText(day) + " 23:59:59", {23, 59, 59}}, {"2005/01/02 24:00", {}},
        {"2005/01/02 13:60", {}}, {"2005/01/02 13", {}}, {"2005/01/02 1:5", {}},
        {"2005/01/02 T13:45", {}}, {"2005/01/0213:45", {}}, {"13:45", {}}};
    // clang-format on
    for (const auto& [text, time] : cases) {
        const QDateTime expected = time.isValid() ? wallClock(day, time) : QDateTime();
        EXPECT_EQ(readDateTime(text).value_or(QDateTime()), expected) << text.toStdString();
    }
}

// What the general date form writes in a region is read back as the same moment, a
// 12-hour clock included ("2/3/2011 2:30:00 PM").
TEST(DateText, TheGeneralDateOfEachRegionIsReadBack) {
    const QDate day(2011, 2, 3);
    for (const char* region : {"en_US", "en_AU", "de_DE", "fr_FR", "ja_JP", "C"})
        for (const QTime time :
             {QTime(0, 0), QTime(0, 0, 1), QTime(12, 0), QTime(14, 30), QTime(23, 59, 59)}) {
            const QLocale regional{QString::fromLatin1(region)};
            const QString text = generalDateText(wallClock(day, time), regional);
            EXPECT_EQ(readDateTime(text, regional), wallClock(day, time))
                << region << ": " << text.toStdString();
        }
    EXPECT_EQ(readDateTime("2/3/2011 2:30 PM", QLocale("en_US")), wallClock(day, QTime(14, 30)));
    EXPECT_FALSE(readDateTime("2/3/2011 2:30 XM", QLocale("en_US")).has_value());
}

TEST(DateText, WallClockValuesIgnoreTheMachinesTimeZone) {
    // 02:30 does not exist on 14 March 2021 in New York and occurs twice on 4 April 2021
    // in Sydney; a wall-clock value keeps it as written either way.
    const QByteArray previous = qgetenv("TZ");
    for (const char* zone : {"America/New_York", "Australia/Sydney"}) {
        qputenv("TZ", zone);
        tzset();
        for (const char* text : {"2021/03/14 02:30:00", "2021/04/04 02:30:00"}) {
            const QDateTime read = readDateTime(text).value_or(QDateTime());
            EXPECT_EQ(read.timeSpec(), Qt::UTC);
            EXPECT_EQ(read.addSecs(3600).time(), QTime(3, 30)) << zone;
            EXPECT_EQ(formatDateValue(read, "HH:mm").toStdString(), "02:30") << zone;
            EXPECT_EQ(readingKey("123456789", read).toStdString(),
                      "123456789 " + std::string(text));
        }
    }
    previous.isNull() ? qunsetenv("TZ") : qputenv("TZ", previous);
    tzset();
}
