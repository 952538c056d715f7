// The rules of the import that need no window and no database: the schema file, the
// proposal interval and marks, reading staged dates, the readings each date layout makes,
// the channel values written, and the names of the archive and the file dialog's filter.
#include "import/SlugRules.h"
#include "core/DateText.h"
#include "import/ImportDataFiles.h"
#include "import/StagedChecks.h"
#include "platform/QtDialogs.h"
#include <gtest/gtest.h>

using namespace rv;

namespace {

QDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return wallClock(QDate(y, mo, d), QTime(h, mi, s));
}

// The duplicate test's folding: capitals and letters beyond ASCII fold, all else stays.
TEST(ReadingKeys, FoldLetterCaseOnlyWhereThereIsOne) {
    const struct {
        QString key, folded;
    } cases[] = {
        {QStringLiteral("200625001 2005/03/14 00:00:00"),
         QStringLiteral("200625001 2005/03/14 00:00:00")},
        {QStringLiteral("A2006"), QStringLiteral("a2006")},
        {QStringLiteral("2006Z"), QStringLiteral("2006z")},
        {QStringLiteral("@[`{~"), QStringLiteral("@[`{~")}, // beside A-Z and a-z
        {QStringLiteral("s\u00C4"), QStringLiteral("s\u00E4")},
        {QStringLiteral("\u00DEorn"), QStringLiteral("\u00FEorn")},
        {QString(), QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(foldedKey(c.key), c.folded) << c.key.toStdString();
}

TEST(SchemaIni, HoldsItsNineteenLinesEachEndedByCrLf) {
    const QStringList& lines = schemaIniLines();
    ASSERT_EQ(lines.size(), 19);
    EXPECT_EQ(lines[0], "[datafile.txt]");
    EXPECT_EQ(lines[1], "Format=CSVDelimited");
    EXPECT_EQ(lines[2], "ColNameHeader = false");
    EXPECT_EQ(lines[3], "Col1=SlugDate Text");
    EXPECT_EQ(lines[4], "Col2=C1 Text");
    EXPECT_EQ(lines[17], "Col15=C14 Text");
    EXPECT_EQ(lines[18], "Col16=C15 Text");
    const QByteArray bytes = schemaIniBytes();
    EXPECT_TRUE(bytes.startsWith("[datafile.txt]\r\nFormat=CSVDelimited\r\n"));
    EXPECT_TRUE(bytes.endsWith("Col16=C15 Text\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), 19);
}

TEST(ProposalInterval, IsTheLeadingNumberRoundedHalfToEven) {
    const std::vector<std::pair<QString, double>> cases = {
        {"24", 24}, {"1", 1},     {"8", 8},     {"", 0},      {"abc", 0},     {"0.5", 0},
        {"1.5", 2}, {"2.5", 2},   {"3.5", 4},   {"2.51", 3},  {"2.49", 2},    {" 12 h", 12},
        {"-1", -1}, {"-2.5", -2}, {"-3.5", -4}, {"1e2", 100}, {"12.5.3", 12}, {"7,5", 7},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(slugInterval(text), expected) << text.toStdString();
}

TEST(StagedDates, AreReadYearFirstOrInTheRegionalOrder) {
    struct Case {
        const char* text;
        DayOrder order;
        std::optional<QDateTime> expected;
    };
    const std::vector<Case> cases = {
        {"2005/03/14 13:00:00", DayOrder::MonthFirst, at(2005, 3, 14, 13)},
        {"  2005/03/14 13:00:00 ", DayOrder::DayFirst, at(2005, 3, 14, 13)},
        {"2005-3-4 7:05", DayOrder::DayFirst, at(2005, 3, 4, 7, 5)},
        {"2005/03/14", DayOrder::DayFirst, at(2005, 3, 14)},
        {"2005/03/14\t23:59:59", DayOrder::DayFirst, at(2005, 3, 14, 23, 59, 59)},
        {"0001/01/01 00:00:00", DayOrder::DayFirst, at(1, 1, 1)},
        {"9999/12/31 23:59:59", DayOrder::DayFirst, at(9999, 12, 31, 23, 59, 59)},
        {"14/03/2005 13:05:00", DayOrder::DayFirst, at(2005, 3, 14, 13, 5)},
        {"14/03/2005 13:05:00", DayOrder::MonthFirst, std::nullopt},
        {"03/14/2005 13:05:00", DayOrder::MonthFirst, at(2005, 3, 14, 13, 5)},
        {"01/04/2005", DayOrder::DayFirst, at(2005, 4, 1)},
        {"01/04/2005", DayOrder::MonthFirst, at(2005, 1, 4)},
        {"14.03.2005 13:05", DayOrder::DayFirst, at(2005, 3, 14, 13, 5)},
        // Impossible or malformed dates and times.
        {"2000/01/01 00:00:80", DayOrder::DayFirst, std::nullopt},
        {"31/02/2005 06:00:00", DayOrder::DayFirst, std::nullopt},
        {"2005/02/29 00:00:00", DayOrder::DayFirst, std::nullopt},
        {"2004/02/29 00:00:00", DayOrder::DayFirst, at(2004, 2, 29)},
        {"2005/03/14 24:00:00", DayOrder::DayFirst, std::nullopt},
        {"2005/13/01", DayOrder::DayFirst, std::nullopt},
        {"2005/3/4 7:5:0", DayOrder::DayFirst, std::nullopt},
        {"2005/03-14", DayOrder::DayFirst, std::nullopt},
        {"20050/03/14", DayOrder::DayFirst, std::nullopt},
        {"abc", DayOrder::DayFirst, std::nullopt},
        {"", DayOrder::DayFirst, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readSlugDateTime(QString::fromLatin1(c.text), c.order), c.expected) << c.text;
}

TEST(HourBoundaries, CountTheWholeHoursCrossed) {
    EXPECT_EQ(hourBoundaries(at(2005, 3, 14, 10, 59), at(2005, 3, 14, 11, 1)), 1);
    EXPECT_EQ(hourBoundaries(at(2005, 3, 14, 10, 1), at(2005, 3, 14, 10, 59)), 0);
    EXPECT_EQ(hourBoundaries(at(2005, 3, 14, 23, 59, 59), at(2005, 3, 15)), 1);
    EXPECT_EQ(hourBoundaries(at(2005, 3, 14), at(2005, 3, 15, 0, 30)), 24);
    EXPECT_EQ(hourBoundaries(at(2005, 3, 15), at(2005, 3, 14)), -24);
    EXPECT_EQ(hourBoundaries(at(2004, 12, 31, 23), at(2005, 1, 1, 1)), 2);
}

// The marks proposed for rows with these date texts, as "x" (ticked) and "." per row.
std::string marks(const QStringList& texts, double interval, DayOrder order = DayOrder::DayFirst,
                  const QDate& lastDay = QDate()) {
    const std::vector<char> m = proposeMarks(
        texts.size(), [&](qint64 r) { return texts[r]; }, interval, order, lastDay);
    std::string out;
    for (char c : m)
        out += c ? 'x' : '.';
    return out;
}

QStringList sixHourly(int days) {
    QStringList t;
    for (int d = 0; d < days; ++d)
        for (int h : {0, 6, 12, 18})
            t << QStringLiteral("2005/03/%1 %2:00:00").arg(14 + d).arg(h, 2, 10, QLatin1Char('0'));
    return t;
}

TEST(ProposalMarks, FollowTheIntervalInHoursFromTheLastTickedRow) {
    EXPECT_EQ(marks(sixHourly(3), 24), "x...x...x...");
    EXPECT_EQ(marks(sixHourly(3), 12), "x.x.x.x.x.x.");
    EXPECT_EQ(marks(sixHourly(3), 1), "xxxxxxxxxxxx");
    EXPECT_EQ(marks(sixHourly(3), slugInterval("")), "xxxxxxxxxxxx");
    EXPECT_EQ(marks(sixHourly(3), 25), "x....x....x.");
    // The anchor moves only to ticked rows.
    EXPECT_EQ(marks({"2005/03/14 00:00:00", "2005/03/14 20:00:00", "2005/03/14 23:00:00",
                     "2005/03/15 00:30:00"},
                    24),
              "x..x");
    // Readings that go back in time count negative hours: not proposed.
    EXPECT_EQ(marks({"2005/03/15 00:00:00", "2005/03/14 00:00:00", "2005/03/16 00:00:00"}, 1),
              "x.x");
    EXPECT_EQ(marks({}, 24), "");
}

TEST(ProposalMarks, NeverTickOrAnchorOnARowDatedAfterTheLastDay) {
    const QDate tomorrow(2026, 3, 15);
    struct Case {
        QStringList texts;
        double interval;
        const char* expected;
    };
    const std::vector<Case> cases = {
        // The proposal goes on from the last row before the one in the future.
        {{"2005/03/14 00:00:00", "9999/12/31 00:00:00", "2005/03/15 00:00:00"}, 24, "x.x"},
        {{"2005/03/14 00:00:00", "2026/03/16 00:00:00", "2005/03/14 06:00:00"}, 1, "x.x"},
        // The last day itself, to its last second, is no future; the next day is.
        {{"2026/03/15 23:59:59", "2026/03/16 00:00:00"}, 1, "x."},
        {{"2026/03/14 00:00:00", "2026/03/15 00:00:00"}, 24, "xx"},
        // A first row in the future: the next one that is not is ticked.
        {{"9999/12/31 23:59:59", "2005/03/14 06:00:00", "2005/03/14 12:00:00"}, 24, ".x."},
        {{"2026/03/16 00:00:00", "2027/01/01 00:00:00"}, 0, ".."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(marks(c.texts, c.interval, DayOrder::DayFirst, tomorrow), c.expected)
            << c.texts.join(u", ").toStdString();
    EXPECT_EQ(marks({"2026/03/16 00:00:00"}, 24), "x") << "without a last day, no row is future";
}

TEST(ProposalMarks, NeverTickOrAnchorOnTheMarkerOrAnUnreadableDate) {
    const QString m = kSlugMarker;
    EXPECT_EQ(marks({"2005/03/14 00:00:00", m, "2005/03/15 00:00:00"}, 24), "x.x");
    EXPECT_EQ(marks({"2005/03/14 00:00:00", m, "2005/03/15 00:00:00"}, 0), "x.x");
    // A marker first: nothing anchors until the next date that can be read.
    EXPECT_EQ(marks({m, "2005/03/14 06:00:00", "2005/03/14 12:00:00", "2005/03/15 06:00:00"}, 24),
              ".x.x");
    // An unreadable first row is proposed (the first row always is, unless the marker) but
    // anchors nothing; unreadable later rows are not proposed.
    EXPECT_EQ(
        marks({"abc", "2005/03/14 06:00:00", "31/02/2005 06:00:00", "2005/03/15 06:00:00"}, 24),
        "xx.x");
    EXPECT_EQ(marks({" " + m, "2005/03/14 06:00:00"}, 24), "xx")
        << "only the exact marker text is the marker";
    // Day-first and month-first files propose in the machine's regional order.
    EXPECT_EQ(marks({"14/03/2005 00:00:00", "14/03/2005 06:00:00", "15/03/2005 00:00:00"}, 24,
                    DayOrder::DayFirst),
              "x.x");
    EXPECT_EQ(marks({"03/14/2005 00:00:00", "03/14/2005 06:00:00", "03/15/2005 00:00:00"}, 24,
                    DayOrder::MonthFirst),
              "x.x");
}

TEST(SlugMoments, AreCutFromTheStagedTextInEachLayout) {
    const QString id = QStringLiteral("200625001");
    struct Case {
        const char* text;
        SlugDateFormat format;
        const char* key; // nullptr: no reading
    };
    const std::vector<Case> cases = {
        {"2005/03/14 13:05:00", SlugDateFormat::YearMonthDay, "200625001 2005/03/14 13:05:00"},
        {"2005-3-4 7:05", SlugDateFormat::YearMonthDay, "200625001 2005/03/04 07:05:00"},
        {"2005/03/14", SlugDateFormat::YearMonthDay, "200625001 2005/03/14 00:00:00"},
        {"14/03/2005 13:05:00", SlugDateFormat::DayMonthYear, "200625001 2005/03/14 13:05:00"},
        {"03/14/2005 13:05:00", SlugDateFormat::MonthDayYear, "200625001 2005/03/14 13:05:00"},
        {"01/01/0001 00:00:00", SlugDateFormat::DayMonthYear, "200625001 0001/01/01 00:00:00"},
        {"31/12/9999 23:59:59", SlugDateFormat::DayMonthYear, "200625001 9999/12/31 23:59:59"},
        // Cut at fixed places: the separators are not looked at, what follows the time is
        // left out.
        {"14-03-2005T13:05:00", SlugDateFormat::DayMonthYear, "200625001 2005/03/14 13:05:00"},
        {"14/03/2005 13:05:00.5", SlugDateFormat::DayMonthYear, "200625001 2005/03/14 13:05:00"},
        // No reading: impossible dates and times, texts too short or in another layout.
        {"2000/01/01 00:00:80", SlugDateFormat::YearMonthDay, nullptr},
        {"2000/01/01 00:00:80", SlugDateFormat::DayMonthYear, nullptr},
        {"31/02/2005 06:00:00", SlugDateFormat::DayMonthYear, nullptr},
        {"14/03/2005 13:05:00", SlugDateFormat::MonthDayYear, nullptr},
        {"2005/03/14 13:05:00", SlugDateFormat::DayMonthYear, nullptr},
        {"14/03/2005 13:05", SlugDateFormat::DayMonthYear, nullptr},
        {"4/3/2005 7:05:00", SlugDateFormat::DayMonthYear, nullptr},
        {"14/03/2005 25:00:00", SlugDateFormat::DayMonthYear, nullptr},
        {"00/00/0000 00:00:00", SlugDateFormat::DayMonthYear, nullptr},
        {"abc", SlugDateFormat::YearMonthDay, nullptr},
        {"", SlugDateFormat::MonthDayYear, nullptr},
    };
    for (const Case& c : cases) {
        const auto m = slugMoment(QString::fromLatin1(c.text), c.format, id, DayOrder::DayFirst);
        if (!c.key) {
            EXPECT_FALSE(m.has_value()) << c.text;
            continue;
        }
        ASSERT_TRUE(m.has_value()) << c.text;
        EXPECT_EQ(m->key, QLatin1String(c.key)) << c.text;
        EXPECT_EQ(m->key.size(), 29);
        EXPECT_EQ(m->dateText, m->key.mid(10, 10));
        EXPECT_EQ(m->timeText, m->key.mid(21, 8));
        EXPECT_EQ(readingKey(id, m->fullDate), m->key) << "the moment gives the same key";
    }
}

TEST(ImportedChannels, AreFormattedOrLeftEmpty) {
    const std::vector<std::tuple<QString, int, QVariant>> cases = {
        {"12.36", 1, "12.4"},     {"7.126", 2, "7.13"},      {"5", 1, "5.0"},
        {"5", 2, "5.00"},         {".5", 1, "0.5"},          {".5", 2, "0.50"},
        {"12.34", 1, "12.3"},     {" 101.55 ", 2, "101.55"}, {"-1.005", 2, "-1.01"},
        {"-0.001", 2, "0.00"},    {"1e2", 2, "100.00"},      {"0", 2, "0.00"},
        {"abc", 2, QVariant()},   {"", 2, QVariant()},       {"  ", 1, QVariant()},
        {"-", 2, QVariant()},     {"1.2.3", 2, QVariant()},  {"12.4\u00B0C", 1, QVariant()},
        {"1e999", 2, QVariant()},
    };
    for (const auto& [staged, decimals, expected] : cases)
        EXPECT_EQ(importedChannel(staged, decimals), expected) << staged.toStdString();
}

TEST(ImportNames, OfTheArchiveAndTheFileDialogFilter) {
    EXPECT_EQ(archiveFileName("200625001", QDate(2026, 3, 4)), "MS200625001_2026-03-04.txt");
    EXPECT_EQ(downloadFileName("200625001"), "MS200625001.txt");
    // The system's filter text is shown as a filter of *.txt files.
    EXPECT_EQ(qtFileFilter(kSlugFileFilter), "Text (*.txt)");
    EXPECT_EQ(qtFileFilter("Text | *.txt;*.csv | All files | *.*"),
              "Text (*.txt *.csv);;All files (*.*)");
    EXPECT_EQ(qtFileFilter("Images (*.png *.jpg)"), "Images (*.png *.jpg)");
}

} // namespace

namespace {

TEST(MomentDigits, AreTheReadingTextsForTheWholeRangeOfYears) {
    for (const QDate& d : {QDate(1, 1, 1), QDate(999, 9, 9), QDate(2005, 3, 14), QDate(2024, 2, 29),
                           QDate(9999, 12, 31)}) {
        char date[10];
        writeDateDigits(date, d, '/');
        EXPECT_EQ(QString::fromLatin1(date, 10), readingDateText(d)) << d.toString().toStdString();
        writeDateDigits(date, d, '-');
        EXPECT_EQ(QString::fromLatin1(date, 10), d.toString(Qt::ISODate));
    }
    for (const QTime& t : {QTime(0, 0), QTime(9, 5, 7), QTime(23, 59, 59)}) {
        char time[8];
        writeTimeDigits(time, t);
        EXPECT_EQ(QString::fromLatin1(time, 8), readingTimeText(t));
    }
}

} // namespace
