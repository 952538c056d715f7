// The grid's export to a spreadsheet: the workbook written, read back part by part, and
// what the user is told when it cannot be written or opened.
#include "reports/FlexGridToExcel.h"
#include "alarms/AlarmStore.h"
#include "core/DateText.h"
#include "platform/SingleInstance.h"
#include "readings/frmDatasheet.h"
#include "reports/frmReport.h"
#include "tests/maintenance/MaintenanceFixture.h"
#include "tests/readings/ReadingsFixture.h"
#include "tests/support/DataFolder.h"
#include "tests/support/XlsxReader.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardItemModel>
#include <cmath>
#include <tuple>
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

TEST_F(FlexGridToExcelTest, ATextLongerThanACellHoldsIsCutThereAndLogged) {
    // 32767 characters fit a cell; a longer text keeps what fits, never half a character.
    const QString fits(32767, u'7');
    const QString tooLong = QString(32766, u'x') + QStringLiteral("\U0001F600yz");
    datasheetGrid({{fits, tooLong, "", "", "", {}}});
    ChangeEntry change;
    change.how = tooLong;
    const std::vector<ChangeEntry> changes{change};
    const QString path =
        FlexGridToExcel(*session, grid, 2, 6, 1, kSensor, progress, folder, nullptr, &changes);
    EXPECT_EQ(readXlsx(path, 2).cell(2, 3).value, QString(32766, u'x')) << "the sheet Changes";
    const XlsxBook book = readXlsx(path);
    ASSERT_EQ(book.error, "");
    EXPECT_EQ(book.cell(2, 1).value, fits);
    EXPECT_TRUE(book.isText(2, 2)) << "the cell is not left empty";
    EXPECT_EQ(book.cell(2, 2).value, QString(32766, u'x')) << "a character is never split";
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains("1 text was cut to the 32767 characters a cell holds in " +
                                   QDir::toNativeSeparators(folder + "/200625001.xlsx") +
                                   ", the first at row 2, column 2 of the sheet \"200625001\""));
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

TEST_F(FlexGridToExcelTest, TheSensorSheetLeavesEmptyWhatTheSensorLacksAndListsEveryReading) {
    datasheetGrid({reading("2026/03/10", "08:00:00", "20.0", "10.50")});
    SensorSheet sensor;
    sensor.sensor = kSensor;
    sensor.installDate = QStringLiteral("not a date");
    sensor.offset = QStringLiteral("abc");
    sensor.readings = {SensorSheetRow{wallClock(QDate(1899, 12, 31)),
                                      QStringLiteral("200625001 1899/12/31 00:00:00"),
                                      {},
                                      {}},
                       SensorSheetRow{wallClock(QDate(1900, 1, 1)), {}, -0.25, 0.0}};
    const QString path = FlexGridToExcel(*session, grid, 2, 6, 1, QStringLiteral("Sensor"),
                                         progress, folder, &sensor);
    EXPECT_EQ(progress.lastDone, 4) << "two grid rows and two readings";
    const XlsxBook book = readXlsx(path, 2);
    ASSERT_EQ(book.error, "");
    EXPECT_EQ(book.sheets, QStringList({"Sensor", "Sheet2"})) << "no two sheets share a name";
    EXPECT_EQ(book.cell(1, 2).value, "200625001");
    EXPECT_TRUE(book.isText(1, 2)) << "an identifier is no number";
    for (int row : {2, 3, 4, 7, 8})
        EXPECT_FALSE(book.cells.contains({row, 2})) << row;
    EXPECT_EQ(book.cell(5, 2).value, "not a date");
    EXPECT_EQ(book.cell(6, 2).value, "abc");
    EXPECT_EQ(book.cell(13, 1).value, "200625001 1899/12/31 00:00:00")
        << "a reading dated before the sheet's first day is listed by its key";
    EXPECT_FALSE(book.cells.contains({13, 2}));
    EXPECT_FALSE(book.cells.contains({13, 3}));
    EXPECT_EQ(serialDateText(book.cell(14, 1).value.toDouble()), "1900/01/01");
    EXPECT_EQ(book.cell(14, 2).value.toDouble(), -0.25);
    EXPECT_TRUE(book.isNumber(14, 3)) << "a temperature of 0 is a number, not an empty cell";
    EXPECT_EQ(book.rowCount(), 14);
}

// ---------------------------------------------------------------------------------
// Through the datasheet, into the folder the user keeps

class KeptFolderExportTest : public ReadingsWindowTest {
protected:
    void SetUp() override {
        ReadingsWindowTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        execSql(QStringLiteral("UPDATE Sensors SET Level = 'L12', Location = 'North drive', "
                               "Recess = 0.1"));
        addReading("2026/03/10 08:00:00", "12.50", "20.5");
        addReading("2026/03/11 08:00:00", "11.00", "21.0", 1); // not plotted
        addReading("2026/03/12 06:30:00", "ERR", "19.0");      // no load
        addReading("2026/03/13 23:59:59", "13.25", "-3.5");
        kept = tmp.path() + QStringLiteral("/kept");
        ASSERT_TRUE(QDir().mkpath(kept));
        startOnReadings();
    }
    frmDatasheet& open() {
        tab().Label45->click();
        frmDatasheet* form = tab().datasheetWindow();
        if (!form) {
            ADD_FAILURE() << "the datasheet did not open";
            std::abort();
        }
        return *form;
    }
    void close(frmDatasheet& form) {
        form.close();
        settle();
    }
    void keep(KeptFolderChoice& choice, const QString& folder) {
        dialogs.fileAnswer(folder);
        choice.cmdKeptFolder->click();
    }
    QString kept;
};

// On the database file and on a site server database alike.
using KeptFolderExportOnEachEngine = OnEachEngine<KeptFolderExportTest>;

TEST_P(KeptFolderExportOnEachEngine, ASensorWithLevelsGivesBothSheetsInTheKeptFolder) {
    ASSERT_TRUE(saveAlarmLevels(s().gConnection, kId, AlarmLevels{10, 12.5, {}}).ok());
    frmDatasheet& f = open();
    EXPECT_EQ(f.keptFolder->lblKeptFolder->text(), QStringLiteral("Kept in: ") +
                                                       QDir::toNativeSeparators(QDir::tempPath()) +
                                                       QStringLiteral(" (the temporary folder)"));
    keep(*f.keptFolder, kept);
    EXPECT_EQ(f.keptFolder->lblKeptFolder->text(),
              QStringLiteral("Kept in: ") + QDir::toNativeSeparators(kept));
    desktop.opens = false;
    f.Image1->click();
    const QString path = kept + QStringLiteral("/200525001.xlsx");
    dialogs.expect(QStringLiteral("You need to have Microsoft Excel installed to use this "
                                  "function\r\n\r\nThe file was written to\r\n") +
                       QDir::toNativeSeparators(path) +
                       QStringLiteral("\r\nbut no program could be started to open it."),
                   kTitle, Icon::Exclamation);
    close(f);

    const XlsxBook first = readXlsx(path);
    ASSERT_EQ(first.error, "");
    EXPECT_EQ(first.sheets, QStringList({"200525001", "Sensor"}));
    EXPECT_EQ(first.rowCount(), 5);
    EXPECT_EQ(first.cell(5, 1).value, "200525001 2026/03/13 23:59:59");

    const XlsxBook sheet = readXlsx(path, 2);
    ASSERT_EQ(sheet.error, "");
    const QStringList labels = {
        "Sensor",     "Type",           "Level",         "Location", "Installation date",
        "Offset (t)", "Alert load (t)", "Alarm load (t)"};
    for (int row = 1; row <= 8; ++row)
        EXPECT_EQ(sheet.cell(row, 1).value, labels[row - 1]) << row;
    EXPECT_EQ(sheet.cell(1, 2).value, "200525001");
    EXPECT_EQ(sheet.cell(2, 2).value, "Load Cell");
    EXPECT_EQ(sheet.cell(3, 2).value, "L12");
    EXPECT_EQ(sheet.cell(4, 2).value, "North drive");
    EXPECT_EQ(serialDateText(sheet.cell(5, 2).value.toDouble()), "2005/06/01");
    EXPECT_EQ(sheet.cell(5, 2).format, "yyyy/mm/dd");
    EXPECT_EQ(sheet.cell(6, 2).value.toDouble(), 0.1);
    EXPECT_EQ(sheet.cell(7, 2).value.toDouble(), 10.0);
    EXPECT_EQ(sheet.cell(8, 2).value.toDouble(), 12.5);
    EXPECT_EQ(sheet.cell(8, 2).format, "0.00##");
    EXPECT_EQ(sheet.cell(10, 1).value, "Readings marked Do not plot are not listed.");
    EXPECT_EQ(sheet.cell(12, 1).value, "Date and time");
    EXPECT_EQ(sheet.cell(12, 2).value, "Load above offset (t)");
    EXPECT_EQ(sheet.cell(12, 3).value, "Temperature (deg C)");
    // The first reading: its load against the offset exactly as the plots take it.
    const double at = sheet.cell(13, 1).value.toDouble();
    EXPECT_EQ(serialDateText(at), "2026/03/10");
    EXPECT_NEAR(at - std::floor(at), 8.0 / 24, 1e-9);
    EXPECT_EQ(sheet.cell(13, 1).format, "yyyy/mm/dd hh:mm:ss");
    EXPECT_NEAR(sheet.cell(13, 2).value.toDouble(), 12.399999998509884, 1e-12);
    EXPECT_EQ(sheet.cell(13, 3).value.toDouble(), 20.5);
    // The reading without a load keeps its row; the one marked Do not plot has none.
    EXPECT_EQ(serialDateText(sheet.cell(14, 1).value.toDouble()), "2026/03/12");
    EXPECT_FALSE(sheet.cells.contains({14, 2}));
    EXPECT_EQ(sheet.cell(14, 3).value.toDouble(), 19.0);
    // The last reading.
    const double last = sheet.cell(15, 1).value.toDouble();
    EXPECT_EQ(serialDateText(last), "2026/03/13");
    EXPECT_NEAR(last - std::floor(last), 86399.0 / 86400, 1e-9);
    EXPECT_NEAR(sheet.cell(15, 2).value.toDouble(), 13.149999998509884, 1e-12);
    EXPECT_EQ(sheet.cell(15, 3).value.toDouble(), -3.5);
    EXPECT_EQ(sheet.rowCount(), 15);
    EXPECT_EQ(logCount(" Module1_FlexGridToExcel"), 1) << "the workbook no program opened";
}
INSTANTIATE_TEST_SUITE_P(BothEngines, KeptFolderExportOnEachEngine, bothEngines(), engineName);

TEST_F(KeptFolderExportTest, TickedTheSensorsChangesFollowOnTheSheetChanges) {
    const QString key = QStringLiteral("200525001 2026/03/10 08:00:00");
    for (const auto& [when, id, how, from, to] :
         {std::tuple{wallClock(QDate(2025, 12, 10), QTime(8, 15)), kId, how::ReadingsTab, "12.00",
                     "12.25"},
          {wallClock(QDate(2026, 1, 5), QTime(14, 0)), kOther, how::Datasheet, "1.00", "2.00"},
          {wallClock(QDate(2026, 2, 20), QTime(9, 5, 30)), kId, how::Datasheet, "12.25", "12.50"}})
        recordAction(s().gConnection, clock, when, id, how, [&](ChangeAction& a) {
            return a.record(change::Changed, key, key, {{"Channel1", from}}, {{"Channel1", to}});
        });
    frmDatasheet& f = open();
    EXPECT_FALSE(f.chkChanges->isChecked()) << "the export is as ever unless ticked";
    keep(*f.keptFolder, kept);
    f.chkChanges->setChecked(true);
    f.Image1->click();
    close(f);

    const XlsxBook book = readXlsx(kept + QStringLiteral("/200525001.xlsx"), 3);
    ASSERT_EQ(book.error, "");
    EXPECT_EQ(book.sheets, QStringList({"200525001", "Sensor", "Changes"}));
    const QString me = currentUserName();
    const QStringList rows[] = {
        {"When", "Who", "How", "Kind", "Reading", "Before", "After"},
        {"", me, "Datasheet", "Changed", key, "Load 12.25", "Load 12.50"},
        {"", me, "Readings tab", "Changed", key, "Load 12.00", "Load 12.25"}};
    for (int row = 1; row <= 3; ++row)
        for (int col = row == 1 ? 1 : 2; col <= 7; ++col)
            EXPECT_EQ(book.cell(row, col).value, rows[row - 1][col - 1]) << row << ", " << col;
    // The moments are dates and times, the newest first.
    const double newest = book.cell(2, 1).value.toDouble();
    EXPECT_EQ(book.cell(2, 1).format, "yyyy/mm/dd hh:mm:ss");
    EXPECT_EQ(serialDateText(newest), "2026/02/20");
    EXPECT_NEAR(newest - std::floor(newest), (9 * 3600 + 5 * 60 + 30) / 86400.0, 1e-9);
    EXPECT_EQ(serialDateText(book.cell(3, 1).value.toDouble()), "2025/12/10");
    EXPECT_EQ(book.rowCount(), 3) << "the other sensor's change is not listed";
}

TEST_F(KeptFolderExportTest, TheKeptFolderIsRememberedAndAFolderThatCannotTakeItIsTold) {
    frmDatasheet& f = open();
    keep(*f.keptFolder, kept);
    close(f);
    frmDatasheet& again = open();
    EXPECT_EQ(again.keptFolder->kept(), kept) << "a new window keeps the same folder";
    EXPECT_EQ(frmReport(nullptr, &s()).keptFolder->kept(), kept) << "and so does the report";

    // Gone, then read-only: told, naming the folder, and nothing written anywhere.
    ASSERT_TRUE(QDir(kept).removeRecursively());
    again.Image1->click();
    dialogs.expect(QStringLiteral("The folder ") + QDir::toNativeSeparators(kept) +
                       QStringLiteral(" does not exist.\r\nThe workbook was not written: choose "
                                      "another folder with \"Keep in folder...\"."),
                   kTitle, Icon::Exclamation);
    ASSERT_TRUE(QDir().mkpath(kept));
    if (!makeReadOnly(kept)) GTEST_SKIP() << "cannot make a folder read-only here";
    again.lblImage1->click();
    dialogs.expect(QStringLiteral("The folder ") + QDir::toNativeSeparators(kept) +
                       QStringLiteral(" is read-only: nothing can be written to it.\r\nThe "
                                      "workbook was not written: choose another folder with "
                                      "\"Keep in folder...\"."),
                   kTitle, Icon::Exclamation);
    EXPECT_TRUE(QDir(kept).isEmpty());
    EXPECT_TRUE(desktop.openedFiles.isEmpty());
    EXPECT_EQ(logEntries(), 0);

    // Such a folder is not taken as the one to keep.
    keep(*again.keptFolder, kept);
    dialogs.expect(QStringLiteral("The folder ") + QDir::toNativeSeparators(kept) +
                       QStringLiteral(" is read-only: nothing can be written to it.\r\nReports "
                                      "and workbooks are still kept in ") +
                       QDir::toNativeSeparators(kept) + QStringLiteral("."),
                   kTitle, Icon::Exclamation);
    close(again);
}

} // namespace
