// The datasheet window driven through the Readings tab: the grid, its keys and marks, the
// write-back on closing, and the export of the grid to a spreadsheet.
#include "core/DateText.h"
#include "readings/DatasheetRules.h"
#include "readings/frmBatchDel.h"
#include "readings/frmDatasheet.h"
#include "reports/FlexGridToExcel.h"
#include "store/ChangeHistory.h"
#include "tests/readings/ReadingsFixture.h"
#include "tests/support/XlsxReader.h"
#include <QCalendarWidget>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QTabWidget>
#include <QTest>

using namespace rv;
using namespace rv::test;

namespace {

const char* const k10 = "2026/03/10 08:00:00";
const char* const k11 = "2026/03/11 08:00:00";
const char* const k12 = "2026/03/12 08:00:00";

class DatasheetTest : public ReadingsWindowTest {
protected:
    void threeReadings() {
        addReading(k10, "10.00", "12.5");
        addReading(k11, "11.00", "21.0", 1);
        addReading(k12, "-", "22.0", -1); // no load, a Null mark
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
    // Closes the window by its frame.
    void close(frmDatasheet& form) {
        form.close();
        settle();
        EXPECT_EQ(tab().datasheetWindow(), nullptr);
    }
    static QString cell(frmDatasheet& f, int row, int col) { return f.model->cellText(row, col); }
    static void type(frmDatasheet& f, int row, int col, const QString& keys) {
        f.setCurrentCell(row, col);
        QTest::keyClicks(f.MSFlexGrid1, keys);
    }
    static void backspace(frmDatasheet& f, int row, int col, int times = 1) {
        f.setCurrentCell(row, col);
        for (int i = 0; i < times; ++i)
            QTest::keyClick(f.MSFlexGrid1, Qt::Key_Backspace);
    }
    static void clickCell(frmDatasheet& f, int row, int col) {
        QTableView* view = f.MSFlexGrid1;
        const QModelIndex index = f.model->index(row - 1, col);
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    }
    static int twipsPerPixel() {
        return qMax(1, qRound(1440.0 / QGuiApplication::primaryScreen()->logicalDotsPerInch()));
    }
};

// ---------------------------------------------------------------------------------
// The grid

TEST_F(DatasheetTest, ATypeTwentyFiveSensorShowsSixColumnsFilledByPositionInDateOrder) {
    threeReadings();
    startOnReadings();
    frmDatasheet& f = open();
    EXPECT_EQ(f.windowTitle(), "Rockvane DataSheet");
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(f.lblHeader->text(), "Data for Sensor 200525001");
    EXPECT_EQ(s().gSensorID, kId);

    ASSERT_EQ(f.model->gridCols(), 6);
    ASSERT_EQ(f.model->gridRows(), 4);
    const char* headers[] = {"DateTime Key", "ReadingDate", "R. Time",
                             "ChannelT",     "Channel1",    "DoNotPlot"};
    const int twips[] = {2600, 1320, 840, 960, 960, 1080};
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(cell(f, 0, c), QLatin1String(headers[c]));
        EXPECT_EQ(f.model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(),
                  QLatin1String(headers[c]));
        EXPECT_EQ(f.MSFlexGrid1->columnWidth(c), twips[c] / twipsPerPixel()) << "column " << c;
    }
    EXPECT_TRUE(f.MSFlexGrid1->verticalHeader()->isHidden()) << "no fixed column";

    // The first and the last reading.
    EXPECT_EQ(cell(f, 1, 0), key(k10));
    EXPECT_EQ(cell(f, 1, 1), shortDateText(QDate(2026, 3, 10)));
    EXPECT_EQ(cell(f, 1, 2), "08:00:00");
    EXPECT_EQ(cell(f, 1, 3), "12.5");
    EXPECT_EQ(cell(f, 1, 4), "10.00");
    EXPECT_EQ(cell(f, 1, 5), "") << "the mark column shows the mark alone";
    EXPECT_EQ(cell(f, 3, 0), key(k12));
    EXPECT_EQ(cell(f, 3, 4), "") << "a Null field leaves the cell empty";
    EXPECT_FALSE(f.model->isTicked(1));
    EXPECT_TRUE(f.model->isTicked(2));
    EXPECT_TRUE(f.model->isTicked(3)) << "a Null mark shows ticked";
    const QPixmap mark =
        qvariant_cast<QPixmap>(f.model->data(f.model->index(0, 5), Qt::DecorationRole));
    EXPECT_EQ(mark.size(), QSize(16, 16));
    EXPECT_FALSE(f.GridChanged());
    close(f);
}

TEST_F(DatasheetTest, ASensorWithoutReadingsShowsNoReadingsInTheFirstCell) {
    startOnReadings();
    frmDatasheet& f = open();
    EXPECT_EQ(f.model->gridCols(), 1);
    EXPECT_EQ(f.model->readingCount(), 0);
    EXPECT_EQ(cell(f, 0, 0), "No Readings");
    EXPECT_EQ(f.Row(), 0);
    QTest::keyClick(f.MSFlexGrid1, Qt::Key_Tab);
    EXPECT_EQ(f.Row(), 0);
    EXPECT_EQ(f.Col(), 0);
    QTest::keyClick(f.MSFlexGrid1, Qt::Key_5);
    dialogs.expect(datasheetMessageA(), kTitle, Icon::Information);
    QTest::keyClick(f.MSFlexGrid1, Qt::Key_Escape); // closes the window, as anywhere
    settle();
    EXPECT_EQ(tab().datasheetWindow(), nullptr);
    EXPECT_EQ(counter(), "0 of 0");
    EXPECT_EQ(logEntries(), 0);
}

// ---------------------------------------------------------------------------------
// Keys and marks

TEST_F(DatasheetTest, DateAndTimeCellsRefuseTypingAndChannelCellsTakeOnlyDigitsAndPoint) {
    threeReadings();
    startOnReadings();
    frmDatasheet& f = open();
    const QString messageA = QStringLiteral("Only Channel Data is editable in this datasheet\r\n"
                                            "Please use the main form to change dates and times");
    const QString messageB =
        QStringLiteral("Channel Data must be a numeric value\r\nUse the backspace key to "
                       "delete, field accepts numeric values only");
    for (int col : {0, 2}) {
        type(f, 1, col, QStringLiteral("5"));
        dialogs.expect(messageA, kTitle, Icon::Information);
        type(f, 3, col, QStringLiteral("a"));
        dialogs.expect(messageA, kTitle, Icon::Information);
        backspace(f, 1, col);
    }
    EXPECT_EQ(cell(f, 1, 0), key(k10));
    EXPECT_EQ(cell(f, 1, 2), "08:00:00");
    for (const char* keys : {"a", "-", "\r", " "}) {
        type(f, 1, 3, QLatin1String(keys));
        dialogs.expect(messageB, kTitle, Icon::Information);
        type(f, 3, 4, QLatin1String(keys));
        dialogs.expect(messageB, kTitle, Icon::Information);
    }
    // The mark column and the fixed row hold no channel value.
    type(f, 1, 5, QStringLiteral("1"));
    dialogs.expect(messageA, kTitle, Icon::Information);
    type(f, 0, 3, QStringLiteral("1"));
    dialogs.expect(messageA, kTitle, Icon::Information);
    EXPECT_EQ(cell(f, 0, 3), "ChannelT");
    EXPECT_EQ(cell(f, 1, 3), "12.5");
    EXPECT_FALSE(f.GridChanged()) << "a refused key changes nothing";

    watchWrites(kId);
    close(f);
    EXPECT_EQ(writesTo(kId), 0) << "closing without an edit writes nothing";
    EXPECT_EQ(logEntries(), 0);
}

// On the database file and on a site server database alike.
using DatasheetOnEachEngine = OnEachEngine<DatasheetTest>;

TEST_P(DatasheetOnEachEngine, BackspaceThenDigitsAreStoredWhenTheWindowCloses) {
    threeReadings();
    startOnReadings();
    frmDatasheet& f = open();
    backspace(f, 1, 3);
    type(f, 1, 3, QStringLiteral("7"));
    EXPECT_EQ(cell(f, 1, 3), "12.7");
    EXPECT_TRUE(f.GridChanged());
    // A channel emptied by backspace, one more backspace on the empty cell, then digits in
    // an empty cell of the last reading.
    backspace(f, 1, 4, 6);
    EXPECT_EQ(cell(f, 1, 4), "");
    type(f, 3, 4, QStringLiteral("0.5"));
    EXPECT_EQ(tab().datasheetWindow(), &f);
    close(f);
    EXPECT_EQ(stored("ChannelT", k10), "12.7");
    EXPECT_EQ(stored("Channel1", k10), "") << "emptied, not Null";
    EXPECT_EQ(stored("Channel1", k12), "0.5");
    // Cells left alone keep what they hold; the dates and times are not written.
    EXPECT_EQ(stored("Channel1", k11), "11.00");
    EXPECT_EQ(stored("ChannelT", k12), "22.0");
    EXPECT_EQ(stored("FullDate", k10), "2026-03-10 08:00:00");
    EXPECT_EQ(stored("ReadingDate", k10), "2026-03-10");
    EXPECT_EQ(stored("ReadingTime", k10), "08:00:00");
    EXPECT_EQ(logEntries(), 0);
}
INSTANTIATE_TEST_SUITE_P(BothEngines, DatasheetOnEachEngine, bothEngines(), engineName);

TEST_F(DatasheetTest, AClickTogglesAMarkAndTheMarkIsStoredAsDoNotPlot) {
    const char* const k09 = "2026/03/09 08:00:00"; // never shown on the tab: never saved there
    addReading(k09, "-", "-", -1);                 // a Null mark, shown ticked
    threeReadings();
    startOnReadings();
    frmDatasheet& f = open();
    clickCell(f, 3, 5); // ticked: cleared
    EXPECT_FALSE(f.model->isTicked(3));
    EXPECT_TRUE(f.GridChanged());
    clickCell(f, 2, 5); // empty: ticked
    clickCell(f, 2, 5); // and back
    clickCell(f, 2, 5);
    EXPECT_TRUE(f.model->isTicked(2));
    clickCell(f, 2, 4); // a cell without a mark changes nothing
    EXPECT_EQ(cell(f, 2, 4), "10.00");
    close(f);
    EXPECT_EQ(stored("DoNotPlot", k10), "1");
    EXPECT_EQ(stored("DoNotPlot", k11), "0");
    EXPECT_EQ(stored("DoNotPlot", k09), "1") << "every row is written as its mark shows";
    EXPECT_EQ(stored("Channel1", k09), "<null>") << "a cell left alone keeps its Null";
    EXPECT_EQ(stored("ChannelT", k09), "<null>");
}

TEST_F(DatasheetTest, TabWalksTheRowAndWrapsToTheNextRowAndFromTheLastCellToRowZero) {
    threeReadings();
    startOnReadings();
    frmDatasheet& f = open();
    EXPECT_EQ(f.Row(), 1);
    EXPECT_EQ(f.Col(), 0);
    const struct {
        int row, col, nextRow, nextCol;
    } steps[] = {{1, 0, 1, 1}, {1, 4, 1, 5}, {1, 5, 2, 0},
                 {3, 5, 0, 0}, {0, 0, 0, 1}, {0, 5, 1, 0}};
    for (const auto& step : steps) {
        f.setCurrentCell(step.row, step.col);
        QTest::keyClick(f.MSFlexGrid1, Qt::Key_Tab);
        EXPECT_EQ(f.Row(), step.nextRow) << step.row << "," << step.col;
        EXPECT_EQ(f.Col(), step.nextCol) << step.row << "," << step.col;
    }
    f.setCurrentCell(3, 5);
    QTest::keyClick(f.MSFlexGrid1, Qt::Key_Tab);
    EXPECT_FALSE(f.MSFlexGrid1->currentIndex().isValid()) << "row 0 is the header row";
    EXPECT_TRUE(f.model->headerData(0, Qt::Horizontal, Qt::FontRole).value<QFont>().bold());
    QTest::keyClick(f.MSFlexGrid1, Qt::Key_Backtab);
    EXPECT_EQ(f.Row(), 3);
    EXPECT_EQ(f.Col(), 5);
    EXPECT_FALSE(f.GridChanged());
    close(f);
}

// ---------------------------------------------------------------------------------
// Closing

TEST_F(DatasheetTest, ClosingShowsTheReadingThatWasShownWithItsNewValues) {
    threeReadings();
    startOnReadings();
    tab().imgPrevData->click();
    tab().txtChannel_1->setText(QStringLiteral("11.5")); // typed on the tab, not yet saved
    frmDatasheet& f = open();
    EXPECT_EQ(stored("Channel1", k11), "11.50") << "the reading shown is saved first";
    EXPECT_FALSE(s().rsReadings.table().isEmpty());
    type(f, 2, 4, QStringLiteral("5"));
    close(f);
    EXPECT_EQ(counter(), "2 of 3");
    EXPECT_EQ(tab().txtChannel_1->text(), "11.505");
    EXPECT_EQ(stored("Channel1", k11), "11.505");

    // After the first tab the newest reading is shown; the reading shown when the window
    // opens is the one shown when it closes.
    window->SSTab1->setCurrentIndex(0);
    window->SSTab1->setCurrentIndex(2);
    EXPECT_EQ(counter(), "3 of 3");
    tab().imgFirst->click();
    close(open());
    EXPECT_EQ(counter(), "1 of 3");
    EXPECT_EQ(tab().txtReadingID->text(), key(k10));
}

TEST_F(DatasheetTest, AValueAColumnRefusesLeavesEveryReadingAsItWasAndIsLogged) {
    // A readings table whose load column holds numbers only.
    execSql(QStringLiteral("DROP TABLE `%1`").arg(kId));
    execSql(QStringLiteral("CREATE TABLE `%1` (DateTimeKey TEXT UNIQUE, ReadingDate DATETIME, "
                           "ReadingTime TEXT, ChannelT TEXT, Channel1 DOUBLE CHECK "
                           "(typeof(Channel1) IN ('null', 'real', 'integer') AND Channel1 < "
                           "100), DoNotPlot YESNO, FullDate DATETIME)")
                .arg(kId));
    addReading(k10, "10", "12.5");
    addReading(k11, "11", "21.0", 1);
    addReading(k12, "12", "22.0");
    startOnReadings();
    frmDatasheet& f = open();
    watchWrites(kId);
    type(f, 1, 3, QStringLiteral("1")); // fine
    clickCell(f, 2, 5);                 // fine
    type(f, 3, 4, QStringLiteral("5")); // 125 is more than the column takes
    close(f);
    EXPECT_EQ(logCount(" frmDatasheet.G_ReadValuesFromGrid"), 1);
    EXPECT_EQ(writesTo(kId), 0);
    EXPECT_EQ(stored("ChannelT", k10), "12.5");
    EXPECT_EQ(stored("DoNotPlot", k11), "1");
    EXPECT_EQ(counter(), "3 of 3") << "the tab shows the readings again";

    // Nothing of the failed write-back is left pending: the next one is stored.
    frmDatasheet& again = open();
    type(again, 1, 3, QStringLiteral("7"));
    close(again);
    EXPECT_EQ(stored("ChannelT", k10), "12.57");
    EXPECT_EQ(logCount(" frmDatasheet.G_ReadValuesFromGrid"), 1);
}

TEST_F(DatasheetTest, ASecondPointIsRefusedAndDeleteEmptiesTheCellToRetypeIt) {
    addReading(k10, "85.80", "12.5");
    startOnReadings();
    frmDatasheet& f = open();
    EXPECT_EQ(f.lblHint->text(), "Type to add to a value, Backspace removes its last character, "
                                 "Delete empties the cell.");
    type(f, 1, 4, QStringLiteral("86.10"));
    dialogs.expect(QStringLiteral("Channel Data must be a numeric value\r\nUse the backspace key "
                                  "to delete, field accepts numeric values only"),
                   kTitle, Icon::Information);
    EXPECT_EQ(cell(f, 1, 4), "85.808610") << "the second point alone was refused";
    QTest::keyClick(f.MSFlexGrid1, Qt::Key_Delete);
    EXPECT_EQ(cell(f, 1, 4), "");
    type(f, 1, 4, QStringLiteral("86.10"));
    f.setCurrentCell(1, 1);
    QTest::keyClick(f.MSFlexGrid1, Qt::Key_Delete); // a date cell is not emptied
    EXPECT_EQ(cell(f, 1, 1), shortDateText(QDate(2026, 3, 10)));
    close(f);
    EXPECT_EQ(stored("Channel1", k10), "86.10");
    EXPECT_EQ(stored("ReadingDate", k10), "2026-03-10");
}

// Two engineers on one site server: a reading the other changed after the datasheet was
// filled is never overwritten unseen.
class DatasheetOnServer : public DatasheetTest {
protected:
    StoreEngine engine() const override { return StoreEngine::Server; }
    // Three readings, the datasheet open with two edits (12.51 and 11.005), and another
    // engineer connected on `other`: the datasheet and that engineer's name.
    std::pair<frmDatasheet*, QString> twoEditsAndAnotherEngineer() {
        threeReadings();
        startOnReadings();
        frmDatasheet& f = open();
        type(f, 1, 3, QStringLiteral("1")); // 12.51
        type(f, 2, 4, QStringLiteral("5")); // 11.005
        return {&f, openAsAnotherEngineer(other)};
    }
    // What the other engineer does, and the moments around it: the messages give the
    // moment of the change to the minute, which may turn meanwhile.
    void otherDoes(const char* sql) {
        if (!before.isValid()) before = QDateTime::currentDateTime();
        ASSERT_TRUE(other.execute(QString::fromLatin1(sql)).ok());
        after = QDateTime::currentDateTime();
    }
    // The message shown, the moment of the other engineer's change written as "<at>".
    QString messageTaken() {
        const Message m = dialogs.take();
        EXPECT_EQ(m.title, "Site server");
        EXPECT_EQ(m.icon, Icon::Exclamation);
        QString text = m.text;
        for (const QDateTime& t : {before, after})
            text.replace(QLocale::c().toString(t, QStringLiteral("HH:mm 'on' d MMM yyyy")),
                         QStringLiteral("<at>"));
        return text;
    }
    Connection other;
    QDateTime before, after;
};

TEST_F(DatasheetOnServer, ReadingsChangedMeanwhileAreNamedAndTheEditsWaitForASecondClose) {
    const auto [sheet, anna] = twoEditsAndAnotherEngineer();
    frmDatasheet& f = *sheet;
    otherDoes("UPDATE `200525001` SET Channel1 = '10.50' WHERE ChannelT = '12.5'");
    otherDoes("UPDATE `200525001` SET ChannelT = '23.0' WHERE ChannelT = '22.0'");
    f.close();
    settle();
    EXPECT_EQ(messageTaken().toStdString(),
              ("The reading 200525001 2026/03/10 08:00:00 was changed by " + anna +
               " at <at>, after it was shown to you. Stored now: ChannelT 12.5, Channel1 "
               "10.50.\r\nNothing was written back.\r\nYour changes are still in the "
               "datasheet: close it again to write them over the values stored now.")
                  .toStdString());
    ASSERT_EQ(tab().datasheetWindow(), &f) << "the window stays open with every edit";
    EXPECT_EQ(cell(f, 1, 3), "12.51");
    EXPECT_EQ(stored("ChannelT", k10), "12.5");
    EXPECT_EQ(stored("Channel1", k11), "11.00");

    // Closed again: the edits are stored, and each value the edits did not touch keeps
    // what the other engineer stored, in the reading changed and in the one left alone.
    close(f);
    EXPECT_EQ(stored("ChannelT", k10), "12.51");
    EXPECT_EQ(stored("Channel1", k10), "10.50");
    EXPECT_EQ(stored("Channel1", k11), "11.005");
    EXPECT_EQ(stored("ChannelT", k12), "23.0");
}

// The edits of a reading another engineer deleted meanwhile can never be written: the
// first close names it and takes them out, the second writes the other edits.
TEST_F(DatasheetOnServer, AReadingDeletedMeanwhileIsNamedAndItsEditsLeaveTheDatasheet) {
    const auto [sheet, anna] = twoEditsAndAnotherEngineer();
    frmDatasheet& f = *sheet;
    otherDoes("DELETE FROM `200525001` WHERE ChannelT = '12.5'");
    f.close();
    settle();
    EXPECT_EQ(messageTaken().toStdString(),
              ("The reading 200525001 2026/03/10 08:00:00 was deleted by " + anna +
               " at <at>, after it was shown to you.\r\nNothing was written back.\r\nYour "
               "changes to the readings deleted meanwhile cannot be written back: they were "
               "taken out of the datasheet.\r\nYour changes are still in the datasheet: close "
               "it again to write them over the values stored now.")
                  .toStdString());
    EXPECT_EQ(cell(f, 1, 3), "12.5");
    EXPECT_EQ(cell(f, 2, 4), "11.005");
    EXPECT_EQ(stored("Channel1", k11), "11.00");
    close(f);
    EXPECT_EQ(stored("Channel1", k11), "11.005");
    EXPECT_EQ(stored("ChannelT", k10), "<none>");
}

TEST_F(DatasheetTest, AChangedCellThatIsNoNumberKeepsTheWindowOpenAndWritesNothing) {
    threeReadings();
    // Stored before: a value the grid would never have let the user type.
    execSql(QStringLiteral("UPDATE `%1` SET Channel1 = '1.2.3' WHERE ChannelT = '21.0'").arg(kId));
    startOnReadings();
    frmDatasheet& f = open();
    type(f, 1, 3, QStringLiteral("1")); // 12.51
    backspace(f, 2, 4);                 // 1.2. is no number
    watchWrites(kId);
    f.close();
    settle();
    dialogs.expect(QStringLiteral("The Channel1 value \"1.2.\" of the reading 200525001 "
                                  "2026/03/11 08:00:00 is not a number.\r\nCorrect it, or empty "
                                  "the cell with the Delete key, before closing: nothing has been "
                                  "written back yet."),
                   kTitle, Icon::Exclamation);
    ASSERT_EQ(tab().datasheetWindow(), &f);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.Row(), 2);
    EXPECT_EQ(f.Col(), 4);
    EXPECT_EQ(writesTo(kId), 0);
    // Emptied, the cell may be written back, and every other edit with it.
    QTest::keyClick(f.MSFlexGrid1, Qt::Key_Delete);
    close(f);
    EXPECT_EQ(stored("Channel1", k11), "");
    EXPECT_EQ(stored("ChannelT", k10), "12.51");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(DatasheetTest, NoReadingOfAnotherSensorIsTouched) {
    threeReadings();
    addSensorRow(kOther);
    addReading(k10, "1.00", "1.0", 0, kOther);
    watchWrites(kOther);
    startOnReadings();
    frmDatasheet& f = open();
    EXPECT_EQ(f.model->readingCount(), 3);
    type(f, 1, 3, QStringLiteral("9"));
    clickCell(f, 1, 5);
    close(f);
    EXPECT_EQ(stored("ChannelT", k10), "12.59");
    EXPECT_EQ(writesTo(kOther), 0);
    EXPECT_EQ(stored("DoNotPlot", k10, kOther), "0");
}

// ---------------------------------------------------------------------------------
// Export

class DatasheetExportTest : public DatasheetTest {
protected:
    void SetUp() override {
        DatasheetTest::SetUp();
        savedTmp = qgetenv("TMPDIR");
        hadTmp = qEnvironmentVariableIsSet("TMPDIR");
        exportFolder = tmp.path() + QStringLiteral("/tmp");
        ASSERT_TRUE(QDir().mkpath(exportFolder));
        qputenv("TMPDIR", exportFolder.toLocal8Bit());
    }
    void TearDown() override {
        if (hadTmp)
            qputenv("TMPDIR", savedTmp);
        else
            qunsetenv("TMPDIR");
        DatasheetTest::TearDown();
    }
    QByteArray savedTmp;
    bool hadTmp = false;
    RecordingProgress progress;
    QString exportFolder;
};

TEST_F(DatasheetExportTest, TheGridAsShownBecomesAWorkbookWithoutTheMarkColumn) {
    threeReadings();
    startOnReadings();
    tab().setProgress(&progress);
    frmDatasheet& f = open();
    type(f, 3, 4, QStringLiteral("3.5")); // an edit not yet written is exported as shown
    f.Image1->click();
    EXPECT_EQ(progress.lastDone, 5); // the grid's four rows, then the one plotted reading
    ASSERT_EQ(desktop.openedFiles.size(), 1);
    const QString path = desktop.openedFiles.front();
    EXPECT_EQ(path, exportFolder + QStringLiteral("/200525001.xlsx"));

    const XlsxBook book = readXlsx(path);
    ASSERT_EQ(book.error, "");
    EXPECT_EQ(book.sheets, QStringList({kId, QStringLiteral("Sensor")}));
    EXPECT_EQ(book.rowCount(), 4);
    EXPECT_EQ(book.columnCount(), 5);
    EXPECT_EQ(book.cell(1, 1).value, "DateTime Key");
    EXPECT_EQ(book.cell(1, 2).value, "ReadingDate");
    EXPECT_TRUE(book.isText(1, 2));
    EXPECT_EQ(book.cell(1, 5).value, "Channel1");
    EXPECT_EQ(book.cell(2, 1).value, key(k10));
    EXPECT_TRUE(book.isNumber(2, 2));
    EXPECT_EQ(serialDateText(book.cell(2, 2).value.toDouble()), "2026/03/10");
    EXPECT_EQ(book.cell(2, 2).format, "yyyy/mm/dd");
    EXPECT_TRUE(book.isNumber(2, 4));
    EXPECT_EQ(book.cell(2, 4).value.toDouble(), 12.5);
    EXPECT_EQ(book.cell(4, 5).value.toDouble(), 3.5);
    EXPECT_EQ(serialDateText(book.cell(4, 2).value.toDouble()), "2026/03/12");

    f.lblImage1->click(); // the caption does what the picture does
    EXPECT_EQ(desktop.openedFiles.value(1), exportFolder + QStringLiteral("/200525001 (2).xlsx"));
    close(f);
    EXPECT_EQ(stored("Channel1", k12), "3.5");
}

TEST_F(DatasheetExportTest, WhenNoWorkbookCanBeWrittenTheUserIsTold) {
    threeReadings();
    startOnReadings();
    frmDatasheet& f = open();
    qputenv("TMPDIR", (tmp.path() + QStringLiteral("/not/there")).toLocal8Bit());
    f.Image1->click();
    dialogs.expect(kNoSpreadsheet, kTitle, Icon::Exclamation);
    EXPECT_TRUE(desktop.openedFiles.isEmpty());
    close(f);
    EXPECT_EQ(logCount(" Module1_FlexGridToExcel"), 1);
}

// ---------------------------------------------------------------------------------
// The history of changes

// A load typed on the Readings tab, a load corrected in the datasheet and a day's readings
// deleted: each is kept with the values before and after, how and when it was made.
TEST_F(DatasheetTest, EveryChangeOfAReadingThroughTheWindowsIsKeptWithItsValuesAndHow) {
    threeReadings();
    startOnReadings();
    tab().txtChannel_1->setText(QStringLiteral("13"));
    tab().imgFirst->click(); // moving away saves the reading shown (2026/03/12)
    frmDatasheet& f = open();
    backspace(f, 1, 4, 5);
    type(f, 1, 4, QStringLiteral("10.5"));
    close(f);
    ASSERT_EQ(stored("Channel1", k10), "10.5");
    tab().Label65->click();
    frmBatchDel* deletion = tab().batchDeleteWindow();
    ASSERT_NE(deletion, nullptr);
    deletion->DelStart->setSelectedDate(QDate(2026, 3, 11));
    deletion->DelEnd->setSelectedDate(QDate(2026, 3, 11));
    deletion->OKButton->click();
    settle();
    dialogs.expect(QStringLiteral("1 readings were deleted from 11 Mar 2026 and 11 Mar 2026"));
    ASSERT_EQ(stored("Channel1", k11), "<none>");

    QStringList history;
    Connection c;
    ASSERT_TRUE(openDatabase(c).ok());
    const auto entries = listChanges(c, ChangeFilter{kId, {}, {}, {}, {}});
    ASSERT_TRUE(entries.ok());
    for (const ChangeEntry& e : entries.value())
        history << e.how + QStringLiteral(": ") + e.kind + u' ' + e.key + u' ' + e.before +
                       QStringLiteral(" -> ") + e.after + u' ' +
                       e.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    EXPECT_EQ(history.join(u'\n').toStdString(),
              "Delete readings: Deleted 200525001 2026/03/11 08:00:00  ->  2026-03-14 09:30:15\n"
              // The reading shown, written back before the deletion, takes the tab's form.
              "Readings tab: Changed 200525001 2026/03/10 08:00:00 {\"Channel1\":\"10.5\"} -> "
              "{\"Channel1\":\"10.50\"} 2026-03-14 09:30:15\n"
              "Datasheet: Changed 200525001 2026/03/10 08:00:00 {\"Channel1\":\"10.00\"} -> "
              "{\"Channel1\":\"10.5\"} 2026-03-14 09:30:15\n"
              "Readings tab: Changed 200525001 2026/03/12 08:00:00 {\"Channel1\":null,"
              "\"DoNotPlot\":null} -> {\"Channel1\":\"13.00\",\"DoNotPlot\":1} "
              "2026-03-14 09:30:15");
    // The deleted reading is kept whole: its load and temperature as they were stored.
    const auto kept = changedValues(c, entries.value().front());
    ASSERT_TRUE(kept.ok());
    QStringList values;
    for (const ChangedValue& v : kept.value())
        if (!v.before.isNull()) values << v.column + u'=' + v.before.toString();
    EXPECT_EQ(values.mid(0, 5).join(u' ').toStdString(),
              "DateTimeKey=200525001 2026/03/11 08:00:00 ReadingDate=2026-03-11 "
              "ReadingTime=08:00:00 ChannelT=21.0 Channel1=11.00");
}

} // namespace
