// The grid's export to a spreadsheet: the workbook written, read back part by part, and
// what the user is told when it cannot be written or opened.
#include "reports/FlexGridToExcel.h"
#include "core/DateText.h"
#include "tests/support/DataFolder.h"
#include "tests/support/XlsxReader.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardItemModel>
#include <xlsxwriter.h>

using namespace rv;
using namespace rv::test;

namespace {

const QString kSensor = QStringLiteral("200625001");

class FlexGridToExcelTest : public DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        setPaths();
        folder = tmp.path() + QStringLiteral("/export");
        ASSERT_TRUE(QDir().mkpath(folder));
    }
    // A datasheet grid of a type-25 sensor: the header row, then one row per reading.
    void datasheetGrid(const QList<QStringList>& readings) {
        grid.clear();
        grid.setColumnCount(6);
        grid.setHorizontalHeaderLabels(
            {"DateTime Key", "ReadingDate", "R. Time", "ChannelT", "Channel1", "DoNotPlot"});
        for (const QStringList& r : readings) {
            QList<QStandardItem*> row;
            for (const QString& text : r)
                row << new QStandardItem(text);
            grid.appendRow(row);
        }
    }
    QString exportGrid(const QString& sheet = kSensor) {
        return FlexGridToExcel(*session, grid, grid.rowCount() + 1, grid.columnCount(), 1, sheet,
                               progress, folder);
    }
    static QStringList reading(const QString& day, const QString& time, const QString& temp,
                               const QString& load) {
        const QDate d = QDate::fromString(day, QStringLiteral("yyyy/MM/dd"));
        return {kSensor + u' ' + day + u' ' + time, shortDateText(d), time, temp, load, {}};
    }

    QStandardItemModel grid;
    RecordingProgress progress;
    QString folder;
};

TEST_F(FlexGridToExcelTest,
       ThreeReadingsGiveFourRowsOfFiveTypedColumnsOnASheetNamedAfterTheSensor) {
    datasheetGrid({reading("2026/03/10", "08:00:00", "20.0", "10.50"),
                   reading("2026/03/11", "08:15:00", "-2.5", ""),
                   reading("2026/03/12", "23:59:59", "22.0", "12.00")});
    const QString path = exportGrid();
    EXPECT_EQ(path, folder + QStringLiteral("/200625001.xlsx"));
    EXPECT_EQ(desktop.openedFiles, QStringList{path});
    EXPECT_EQ(progress.labels.size(), 1);
    EXPECT_EQ(progress.lastDone, 4);
    EXPECT_EQ(progress.ended, 1);

    const XlsxBook book = readXlsx(path);
    ASSERT_EQ(book.error, "");
    EXPECT_EQ(book.sheets, QStringList{kSensor});
    EXPECT_EQ(book.rowCount(), 4);
    EXPECT_EQ(book.columnCount(), 5) << "the plot-mark column is left out";
    const char* headers[] = {"DateTime Key", "ReadingDate", "R. Time", "ChannelT", "Channel1"};
    for (int j = 1; j <= 5; ++j) {
        EXPECT_TRUE(book.isText(1, j)) << j;
        EXPECT_EQ(book.cell(1, j).value, QLatin1String(headers[j - 1]));
    }
    // The first reading, the last reading.
    EXPECT_TRUE(book.isText(2, 1));
    EXPECT_EQ(book.cell(2, 1).value, "200625001 2026/03/10 08:00:00");
    EXPECT_TRUE(book.isNumber(2, 2));
    EXPECT_EQ(serialDateText(book.cell(2, 2).value.toDouble()), "2026/03/10");
    EXPECT_EQ(book.cell(2, 2).format, "yyyy/mm/dd");
    EXPECT_EQ(serialDateText(book.cell(4, 2).value.toDouble()), "2026/03/12");
    EXPECT_TRUE(book.isNumber(2, 3));
    EXPECT_DOUBLE_EQ(book.cell(2, 3).value.toDouble(), 1.0 / 3);
    EXPECT_EQ(book.cell(2, 3).format, "hh:mm:ss");
    EXPECT_DOUBLE_EQ(book.cell(4, 3).value.toDouble(), 86399.0 / 86400);
    EXPECT_TRUE(book.isNumber(2, 4));
    EXPECT_EQ(book.cell(2, 4).value.toDouble(), 20.0);
    EXPECT_EQ(book.cell(3, 4).value.toDouble(), -2.5);
    EXPECT_EQ(book.cell(2, 5).value.toDouble(), 10.5);
    EXPECT_FALSE(book.cells.contains({3, 5})) << "an empty cell stays blank";
    EXPECT_EQ(book.cell(4, 5).value.toDouble(), 12.0);
    // Fitted: the key column to its 29 characters, the date column to yyyy/mm/dd.
    EXPECT_EQ(int(book.widths.value(1)), 30);
    EXPECT_EQ(int(book.widths.value(2)), 12); // "ReadingDate" is wider than a date
    EXPECT_EQ(int(book.widths.value(5)), 9);
    EXPECT_FALSE(book.widths.contains(6));
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(FlexGridToExcelTest, AnEarlierExportIsNeverOverwritten) {
    datasheetGrid({reading("2026/03/10", "08:00:00", "20.0", "10.50")});
    const QString first = exportGrid();
    const QByteArray before = [&] {
        QFile f(first);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    datasheetGrid({});
    const QString second = exportGrid();
    EXPECT_EQ(second, folder + QStringLiteral("/200625001 (2).xlsx"));
    QFile f(first);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    EXPECT_EQ(readXlsx(second).rowCount(), 1) << "a grid of headers alone gives one row";
    EXPECT_EQ(readXlsx(second).columnCount(), 5);
}

TEST_F(FlexGridToExcelTest, AnEmptyOrRefusedSheetNameKeepsTheDefaultAndTheExportGoesOn) {
    datasheetGrid({reading("2026/03/10", "08:00:00", "20.0", "10.50")});
    for (const QString& name :
         {QString(), QStringLiteral("a:b"), QStringLiteral("[x]"), QStringLiteral("'quoted'"),
          QStringLiteral("a name longer than thirty-one chars")}) {
        const QString path = exportGrid(name);
        ASSERT_FALSE(path.isEmpty()) << name.toStdString();
        const XlsxBook book = readXlsx(path);
        EXPECT_EQ(book.sheets, QStringList{QStringLiteral("Sheet1")}) << name.toStdString();
        EXPECT_EQ(book.rowCount(), 2);
    }
    // A name of exactly 31 characters is the longest the spreadsheet takes.
    const QString longest(31, u'x');
    EXPECT_EQ(readXlsx(exportGrid(longest)).sheets, QStringList{longest});
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/Datasheet.xlsx")));
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/a_b.xlsx")));
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(FlexGridToExcelTest, TextsStayTextsEvenWhenLongOrLikeAFormula) {
    datasheetGrid(
        {{QString(10000, u'7') + u'x', "not a date", "=1+1", "1234567890123456", "TRUE", {}}});
    const XlsxBook book = readXlsx(exportGrid());
    ASSERT_EQ(book.error, "");
    EXPECT_TRUE(book.isText(2, 1));
    EXPECT_EQ(book.cell(2, 1).value.size(), 10001);
    EXPECT_EQ(int(book.widths.value(1)), 255);
    EXPECT_TRUE(book.isText(2, 2));
    EXPECT_EQ(book.cell(2, 3).value, "=1+1");
    EXPECT_TRUE(book.isText(2, 3)) << "written as text, never as a formula";
    EXPECT_EQ(book.cell(2, 4).value, "1234567890123456");
    EXPECT_EQ(book.cell(2, 5).type, "b");
    EXPECT_EQ(book.cell(2, 5).value, "1");
}

TEST_F(FlexGridToExcelTest, AFolderThatCannotBeWrittenTellsTheUserAndLogsWhy) {
    datasheetGrid({reading("2026/03/10", "08:00:00", "20.0", "10.50")});
    folder = tmp.path() + QStringLiteral("/missing/folder");
    EXPECT_EQ(exportGrid(), "");
    dialogs.expect(kNoSpreadsheet, kTitle, Icon::Exclamation);
    EXPECT_TRUE(desktop.openedFiles.isEmpty());
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" Module1_FlexGridToExcel")));
}

TEST_F(FlexGridToExcelTest, NoProgramToOpenTheWorkbookSaysWhereItWasWrittenAndLogsIt) {
    desktop.opens = false;
    datasheetGrid({reading("2026/03/10", "08:00:00", "20.0", "10.50")});
    EXPECT_EQ(exportGrid(), "");
    const QString path = folder + QStringLiteral("/200625001.xlsx");
    dialogs.expect(QStringLiteral("You need to have Microsoft Excel installed to use this "
                                  "function\r\n\r\nThe file was written to\r\n") +
                       QDir::toNativeSeparators(path) +
                       QStringLiteral("\r\nbut no program could be started to open it."),
                   kTitle, Icon::Exclamation);
    EXPECT_EQ(desktop.openedFiles, QStringList{path});
    EXPECT_EQ(readXlsx(path).sheets, QStringList{kSensor}) << "the workbook is kept";
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral("No program could open ") +
                                   QDir::toNativeSeparators(path) +
                                   QStringLiteral(" Module1_FlexGridToExcel")));
}

TEST_F(FlexGridToExcelTest, ACancelLeavesNoWorkbookBehind) {
    QList<QStringList> many;
    for (int i = 0; i < 3000; ++i)
        many << reading("2026/03/10", "08:00:00", QString::number(i), "1.00");
    datasheetGrid(many);
    progress.cancelAt = 1024;
    EXPECT_EQ(exportGrid(), "");
    EXPECT_EQ(progress.lastDone, 1024);
    EXPECT_EQ(progress.ended, 1);
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/200625001.xlsx")));
    EXPECT_TRUE(desktop.openedFiles.isEmpty());
    EXPECT_TRUE(dialogs.pending().empty());
}

TEST_F(FlexGridToExcelTest, AGridTooLargeForOneSheetIsLoggedAndNothingIsWritten) {
    datasheetGrid({});
    EXPECT_EQ(FlexGridToExcel(*session, grid, LXW_ROW_MAX + 1, 6, 1, kSensor, progress, folder),
              "");
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(QDir(folder).isEmpty());
}

} // namespace
