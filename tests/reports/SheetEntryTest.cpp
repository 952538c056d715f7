// What the grid export makes of each text: the typed-entry rules, the date column, the
// fitted widths and the names of new workbooks.
#include "reports/SheetEntry.h"
#include "core/DateText.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace rv;
using Kind = SheetEntry::Kind;

namespace {

const char* kindName(Kind k) {
    switch (k) {
    case Kind::Blank:
        return "blank";
    case Kind::Number:
        return "number";
    case Kind::Date:
        return "date";
    case Kind::DateTime:
        return "date and time";
    case Kind::Time:
        return "time";
    case Kind::Boolean:
        return "yes/no";
    case Kind::Text:
        return "text";
    }
    return "?";
}

TEST(SheetEntryTest, TypedTextsBecomeWhatTheSpreadsheetWouldMakeOfThem) {
    const struct {
        const char* text;
        Kind kind;
        double number;      // Number, Time
        const char* moment; // Date, DateTime: "yyyy/MM/dd HH:mm:ss"
    } cases[] = {
        {"", Kind::Blank, 0, nullptr},
        {"0", Kind::Number, 0, nullptr},
        {"12.50", Kind::Number, 12.5, nullptr},
        {" 7 ", Kind::Number, 7, nullptr},
        {"-3", Kind::Number, -3, nullptr},
        {".5", Kind::Number, 0.5, nullptr},
        {"1e3", Kind::Number, 1000, nullptr},
        {"200525001", Kind::Number, 200525001, nullptr},
        {"123456789012345", Kind::Number, 123456789012345.0, nullptr}, // 15 digits: kept
        {"0.000000000000001", Kind::Number, 1e-15, nullptr},           // zeros do not count
        {"1234567890123456", Kind::Text, 0, nullptr},                  // 16 digits: rounded
        {"1e999", Kind::Text, 0, nullptr},
        {"12.5.3", Kind::Text, 0, nullptr},
        {"-", Kind::Text, 0, nullptr},
        {"abc", Kind::Text, 0, nullptr},
        {"   ", Kind::Text, 0, nullptr},
        {"=SUM(A1:A9)", Kind::Text, 0, nullptr}, // never a formula
        {"True", Kind::Boolean, 1, nullptr},
        {"FALSE", Kind::Boolean, 0, nullptr},
        {"00:00:00", Kind::Time, 0, nullptr},
        {"08:00:00", Kind::Time, 1.0 / 3, nullptr},
        {"8:00", Kind::Time, 1.0 / 3, nullptr},
        {"23:59:59", Kind::Time, 86399.0 / 86400, nullptr},
        {"24:00:00", Kind::Text, 0, nullptr},
        {"12:60:00", Kind::Text, 0, nullptr},
        {"2026/03/12", Kind::Date, 0, "2026/03/12 00:00:00"},
        {"2026-3-1", Kind::Date, 0, "2026/03/01 00:00:00"},
        {"1900/01/01", Kind::Date, 0, "1900/01/01 00:00:00"},
        {"9999/12/31", Kind::Date, 0, "9999/12/31 00:00:00"},
        {"1899/12/31", Kind::Text, 0, nullptr}, // before the spreadsheet's first day
        {"2026/02/30", Kind::Text, 0, nullptr},
        {"2026/03/12 08:15:30", Kind::DateTime, 0, "2026/03/12 08:15:30"},
        {"200525001 2026/03/12 08:00:00", Kind::Text, 0, nullptr}, // a reading key
    };
    for (const auto& c : cases) {
        const SheetEntry e = typedEntry(QString::fromLatin1(c.text));
        EXPECT_EQ(kindName(e.kind), std::string(kindName(c.kind))) << '"' << c.text << '"';
        if (e.kind != c.kind) continue;
        if (c.kind == Kind::Number || c.kind == Kind::Time) {
            EXPECT_DOUBLE_EQ(e.number, c.number) << c.text;
        }
        if (c.kind == Kind::Boolean) {
            EXPECT_EQ(e.boolean, c.number != 0) << c.text;
        }
        if (c.kind == Kind::Text) {
            EXPECT_EQ(e.text, QString::fromLatin1(c.text));
        }
        if (c.moment) {
            const QTime t = e.time.isValid() ? e.time : QTime(0, 0);
            EXPECT_EQ(e.date.toString(QStringLiteral("yyyy/MM/dd ")) +
                          t.toString(QStringLiteral("HH:mm:ss")),
                      QLatin1String(c.moment))
                << c.text;
        }
    }
}

TEST(SheetEntryTest, TheDateColumnKeepsTheDayOfEveryDateAndLeavesOtherTextsAsTyped) {
    const QDate day(2026, 3, 12);
    for (const QString& text : {QStringLiteral("2026/03/12"), QStringLiteral("2026/03/12 08:00:00"),
                                shortDateText(day)}) {
        const SheetEntry e = dateColumnEntry(text);
        EXPECT_EQ(e.kind, Kind::Date) << text.toStdString();
        EXPECT_EQ(e.date, day) << text.toStdString();
    }
    EXPECT_EQ(dateColumnEntry(QStringLiteral("ReadingDate")).kind, Kind::Text);
    EXPECT_EQ(dateColumnEntry(QStringLiteral("ReadingDate")).text, "ReadingDate");
    EXPECT_EQ(dateColumnEntry(QString()).kind, Kind::Blank);
    EXPECT_EQ(dateColumnEntry(QStringLiteral("17")).kind, Kind::Number);
}

TEST(SheetEntryTest, ColumnsAreFittedToTheWidestEntryUpToTheSpreadsheetsLimit) {
    EXPECT_EQ(shownWidth(typedEntry(QString())), 0);
    EXPECT_EQ(shownWidth(typedEntry(QStringLiteral("12.50"))), 4); // shown as 12.5
    EXPECT_EQ(shownWidth(typedEntry(QStringLiteral("2026/03/12"))), 10);
    EXPECT_EQ(shownWidth(typedEntry(QStringLiteral("2026/03/12 08:00"))), 19);
    EXPECT_EQ(shownWidth(typedEntry(QStringLiteral("8:00"))), 8);
    EXPECT_EQ(shownWidth(typedEntry(QStringLiteral("DateTime Key"))), 12);
    EXPECT_EQ(shownWidth(typedEntry(QStringLiteral("ab\nabcdef\nabc"))), 6);
    EXPECT_EQ(shownWidth(typedEntry(QString(10000, u'x'))), 255);
    EXPECT_EQ(fittedColumnWidth(0), 1);
    EXPECT_EQ(fittedColumnWidth(12), 13);
    EXPECT_EQ(fittedColumnWidth(254), 255);
    EXPECT_EQ(fittedColumnWidth(255), 255);
    EXPECT_EQ(fittedColumnWidth(10000), 255);
}

TEST(SheetEntryTest, ANewWorkbookNeverTakesTheNameOfAnEarlierOne) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString first = newWorkbookPath(dir.path(), QStringLiteral("200525001"));
    EXPECT_EQ(first, dir.filePath(QStringLiteral("200525001.xlsx")));
    for (const QString& name :
         {QStringLiteral("200525001.xlsx"), QStringLiteral("200525001 (2).xlsx")}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(newWorkbookPath(dir.path(), QStringLiteral("200525001")),
              dir.filePath(QStringLiteral("200525001 (3).xlsx")));
    EXPECT_EQ(newWorkbookPath(dir.path(), QString()),
              dir.filePath(QStringLiteral("Datasheet.xlsx")));
    EXPECT_EQ(newWorkbookPath(dir.path(), QStringLiteral("..")),
              dir.filePath(QStringLiteral("Datasheet.xlsx")));
    EXPECT_EQ(newWorkbookPath(dir.path(), QStringLiteral("a/b\\c:d*e?f\"g<h>i|j")),
              dir.filePath(QStringLiteral("a_b_c_d_e_f_g_h_i_j.xlsx")));
}

} // namespace
