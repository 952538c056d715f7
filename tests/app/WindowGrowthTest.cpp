// The tab control growing with the window, and the keys that do what the clicks do.
#include "app/UtilitiesTab.h"
#include "graphs/ChartPage.h"
#include "maintenance/BackupGroup.h"
#include "readings/ReadingsTab.h"
#include "readings/frmDatasheet.h"
#include "sensors/LevelsGroup.h"
#include "sensors/SensorTabs.h"
#include "tests/support/MainWindow.h"
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPrinter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <functional>

using namespace rv;
using namespace rv::test;

namespace {

class WindowGrowthTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        addSensorRow(QStringLiteral("200525001"));
        addSensorRow(QStringLiteral("200525002"));
        addReadings(
            QStringLiteral("200525001"),
            {ReadingRow::at(QStringLiteral("200525001"), QStringLiteral("2025/03/01 08:00:00"))
                 .channel1(QStringLiteral("2.50"))
                 .channelT(QStringLiteral("18")),
             ReadingRow::at(QStringLiteral("200525001"), QStringLiteral("2025/03/09 08:00:00"))
                 .channel1(QStringLiteral("4.25"))
                 .channelT(QStringLiteral("19"))});
        ASSERT_TRUE(start());
        window->show();
        activate();
    }
    void activate() {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    static void settle() {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents();
            QApplication::processEvents();
        }
    }
    void showTab(int index) {
        window->SSTab1->setCurrentIndex(index);
        settle();
    }
    void resize(int width, int height) {
        window->resize(width, height);
        settle();
    }
    QRect normalTab() const {
        const int margin = 120 / frmRockvane::twipsPerPixel();
        return QRect(margin, margin, 780, 560);
    }
    QTreeWidget* importList() { return window->readings->fraImportHistory->lstImports; }
    // The Load v Time chart as printing draws it on a page.
    QImage printedPage() {
        QImage sheet(1000, 800, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        QCPPainter painter(&sheet);
        window->loadVsTime->chart->paintStretched(painter, QRect(50, 40, 900, 720));
        painter.end();
        return sheet;
    }
};

// Off, the tab control stays where it always was; on, it fills the window and the plots
// and lists grow while the frames of controls keep their size; the exported picture keeps
// its size; the next window starts with the choice made; off again restores at once.
TEST_F(WindowGrowthTest, TheTabsGrowWithTheWindowOnlyWhenChosenAndTheChoiceIsKept) {
    const int margin = 120 / frmRockvane::twipsPerPixel();
    EXPECT_FALSE(window->utilities->chkTabsGrow->isChecked()) << "off unless chosen";
    // What the normal size shows.
    showTab(2);
    const QRect reading = window->readings->fraReading->geometry();
    const QRect actions = window->readings->fraActions->geometry();
    const QSize imports = importList()->size();
    showTab(3);
    const QSize chart = window->loadVsTime->chart->size();
    const QImage printed = printedPage();
    const QImage pictured = window->loadVsTime->chart->picture();
    showTab(5);
    const QSize beyond = window->levels->lstBeyond->size();
    const QSize backupList = window->backups->lstFiles->size();

    resize(1300, 950);
    EXPECT_EQ(window->SSTab1->geometry(), normalTab());
    window->showMaximized();
    settle();
    const QSize screen = window->screen()->size();
    const int tw = frmRockvane::twipsPerPixel();
    EXPECT_EQ(window->SSTab1->pos(), QPoint((screen.width() * tw - 780 * tw) / 2 / tw,
                                            (screen.height() * tw - 560 * tw) / 2 / tw))
        << "maximised: centred on the screen as before";
    window->showNormal();
    resize(1300, 950);
    EXPECT_EQ(window->SSTab1->geometry(), normalTab());

    window->utilities->chkTabsGrow->click();
    settle();
    EXPECT_EQ(window->SSTab1->geometry(),
              QRect(margin, margin, 1300 - 2 * margin, 950 - 2 * margin));
    EXPECT_GT(window->levels->lstBeyond->height(), beyond.height() + 200);
    EXPECT_GT(window->levels->lstBeyond->width(), beyond.width() + 200);
    EXPECT_GT(window->backups->lstFiles->height(), backupList.height() + 200);
    showTab(0);
    showTab(1);
    showTab(2);
    EXPECT_EQ(window->readings->fraReading->geometry(), reading) << "keeps its size and place";
    EXPECT_EQ(window->readings->fraActions->width(), actions.width());
    EXPECT_GT(importList()->height(), imports.height() + 300);
    EXPECT_GT(importList()->width(), imports.width() + 400);
    showTab(3);
    EXPECT_GT(window->loadVsTime->chart->width(), chart.width() + 400);
    EXPECT_GT(window->loadVsTime->chart->height(), chart.height() + 300);
    window->loadVsTime->cmdTemp->click();
    const QString picture = dataFolder + QStringLiteral("/Temporal.jpg");
    EXPECT_EQ(desktop.openedFiles, QStringList{picture});
    EXPECT_EQ(QImage(picture).size(), QSize(983, 601)) << "the picture keeps its design size";
    EXPECT_EQ(printedPage(), printed) << "the printed chart is laid out as before";
    EXPECT_EQ(window->loadVsTime->chart->picture(), pictured) << "and so is the picture";

    resize(500, 400);
    EXPECT_EQ(window->SSTab1->geometry(), normalTab()) << "never smaller than normal";
    resize(1300, 950);

    // The next window starts with the tabs growing; turned off, they return at once.
    window.reset();
    ASSERT_TRUE(start());
    window->show();
    resize(1300, 950);
    EXPECT_TRUE(window->utilities->chkTabsGrow->isChecked());
    EXPECT_EQ(window->SSTab1->size(), QSize(1300 - 2 * margin, 950 - 2 * margin));
    showTab(2);
    EXPECT_EQ(window->readings->fraReading->geometry(), reading);
    EXPECT_GT(importList()->height(), imports.height() + 300);
    showTab(5);
    window->utilities->chkTabsGrow->click();
    EXPECT_EQ(window->SSTab1->geometry(), normalTab()) << "at once";
    settle();
    EXPECT_EQ(window->levels->lstBeyond->size(), beyond);
    showTab(2);
    EXPECT_EQ(importList()->size(), imports);
    window.reset();
    ASSERT_TRUE(start());
    EXPECT_FALSE(window->utilities->chkTabsGrow->isChecked());
}

// A choice the user's settings cannot keep still holds for this run, and the log says so.
TEST_F(WindowGrowthTest, AChoiceThatCannotBeKeptHoldsForTheRunAndIsLogged) {
    const QString locked = documents + QStringLiteral("/locked-settings");
    ASSERT_TRUE(QDir().mkpath(locked));
    paths.settings = locked;
    if (!makeReadOnly(locked)) GTEST_SKIP() << "a folder cannot be made read-only here";
    const int margin = 120 / frmRockvane::twipsPerPixel();
    resize(1300, 950);
    window->utilities->chkTabsGrow->click();
    EXPECT_EQ(window->SSTab1->size(), QSize(1300 - 2 * margin, 950 - 2 * margin));
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(
        QStringLiteral("Err #75: The choice of the tabs' growth holds for this run only: ") +
        QDir::toNativeSeparators(locked + QStringLiteral("/Rockvane/choices.ini")) +
        QStringLiteral(" cannot be written chkTabsGrow_Click\r\n")))
        << logText().toStdString();
}

TEST(Placement, GrownTabRectFillsTheAreaButNeverShrinksBelowNormal) {
    const QSize normal(780, 560);
    EXPECT_FALSE(grownTabRect(WindowState::Minimized, QSize(1200, 900), normal, 8));
    EXPECT_EQ(grownTabRect(WindowState::Normal, QSize(1200, 900), normal, 8),
              QRect(8, 8, 1184, 884));
    EXPECT_EQ(grownTabRect(WindowState::Maximized, QSize(1920, 1050), normal, 8),
              QRect(8, 8, 1904, 1034));
    EXPECT_EQ(grownTabRect(WindowState::Normal, QSize(796, 576), normal, 8), QRect(8, 8, 780, 560))
        << "exactly the normal size";
    EXPECT_EQ(grownTabRect(WindowState::Normal, QSize(797, 575), normal, 8), QRect(8, 8, 781, 560))
        << "each direction on its own";
    EXPECT_EQ(grownTabRect(WindowState::Normal, QSize(300, 200), normal, 8), QRect(8, 8, 780, 560));
}

// Each key does what the click beside it does, with the same messages at the ends, only
// on the tab of that click; the tips of the control and its caption name the key.
TEST_F(WindowGrowthTest, EachKeyDoesWhatItsClickDoesOnItsOwnTab) {
    struct Row {
        const char* what;
        int tab;
        QKeyCombination key;
        std::function<void()> check;
    };
    auto sensor = [this] { return window->identification->cboSensors->currentText(); };
    auto counter = [this] { return window->readings->txtRcount->text(); };
    Chart* chart = window->loadVsTime->chart;
    double whole = 0;
    auto span = [&] { return chart->timeAxis()->range().size(); };
    bool printerAsked = false;
    window->loadVsTime->setPrinterChoice([&](QPrinter&) { return printerAsked = true, false; });
    const std::vector<Row> rows = {
        {"next sensor", 0, Qt::CTRL | Qt::Key_PageDown,
         [&] { EXPECT_EQ(sensor(), QStringLiteral("200525002")); }},
        {"next sensor at the last", 0, Qt::CTRL | Qt::Key_PageDown,
         [&] {
             dialogs.expect(QStringLiteral("End of sensors"));
             EXPECT_EQ(sensor(), QStringLiteral("200525002"));
         }},
        {"previous sensor", 0, Qt::CTRL | Qt::Key_PageUp,
         [&] { EXPECT_EQ(sensor(), QStringLiteral("200525001")); }},
        {"previous sensor at the first", 0, Qt::CTRL | Qt::Key_PageUp,
         [&] { dialogs.expect(QStringLiteral("Start of Sensors")); }},
        {"no sensor move on the Readings tab", 2, Qt::CTRL | Qt::Key_PageDown,
         [&] { EXPECT_EQ(sensor(), QStringLiteral("200525001")); }},
        {"previous reading", 2, Qt::CTRL | Qt::Key_Up,
         [&] { EXPECT_EQ(counter(), QStringLiteral("1 of 2")); }},
        {"previous reading at the first", 2, Qt::CTRL | Qt::Key_Up,
         [&] { dialogs.expect(QStringLiteral("Start of readings")); }},
        {"last reading", 2, Qt::CTRL | Qt::SHIFT | Qt::Key_Down,
         [&] { EXPECT_EQ(counter(), QStringLiteral("2 of 2")); }},
        {"next reading at the last", 2, Qt::CTRL | Qt::Key_Down,
         [&] { dialogs.expect(QStringLiteral("End of readings")); }},
        {"first reading", 2, Qt::CTRL | Qt::SHIFT | Qt::Key_Up,
         [&] { EXPECT_EQ(counter(), QStringLiteral("1 of 2")); }},
        {"next reading", 2, Qt::CTRL | Qt::Key_Down,
         [&] { EXPECT_EQ(counter(), QStringLiteral("2 of 2")); }},
        {"whole plot to begin with", 3, Qt::CTRL | Qt::Key_0,
         [&] {
             EXPECT_FALSE(chart->zoomed());
             whole = chart->timeAxis()->range().size();
         }},
        {"zoom in", 3, Qt::CTRL | Qt::Key_Plus, [&] { EXPECT_NEAR(span() / whole, 0.5, 0.02); }},
        {"zoom in again", 3, Qt::CTRL | Qt::Key_Equal,
         [&] { EXPECT_NEAR(span() / whole, 0.25, 0.02); }},
        {"zoom out", 3, Qt::CTRL | Qt::Key_Minus, [&] { EXPECT_NEAR(span() / whole, 0.5, 0.02); }},
        {"whole plot", 3, Qt::CTRL | Qt::Key_0, [&] { EXPECT_FALSE(chart->zoomed()); }},
        {"export the first plot", 3, Qt::CTRL | Qt::Key_E,
         [&] {
             EXPECT_EQ(desktop.openedFiles.value(0), dataFolder + QStringLiteral("/Temporal.jpg"));
         }},
        {"export the second plot", 4, Qt::CTRL | Qt::Key_E,
         [&] {
             EXPECT_EQ(desktop.openedFiles.value(1), dataFolder + QStringLiteral("/Temporal2.jpg"));
         }},
        {"no tips on the second plot", 4, Qt::Key_F1, [] {}},
        {"tips", 3, Qt::Key_F1,
         [&] {
             dialogs.expect(
                 QStringLiteral(
                     "1) To scroll graph hold down the left mouse button over an axis and "
                     "drag to desired range\r\n2) Explanation of zooming (diagonal left "
                     "to right zooms in, right to left zooms out)\r\n3) Click on a series "
                     "in the graph to see raw data in lower annotation\r\n4) Uncheck a "
                     "series in the legend to hide, check series to show"),
                 QStringLiteral("Graphing Tips and Hints"));
         }},
        {"print", 3, Qt::CTRL | Qt::Key_P, [&] { EXPECT_TRUE(printerAsked); }},
        {"add a reading", 2, Qt::CTRL | Qt::Key_N,
         [&] { EXPECT_EQ(counter(), QStringLiteral("3 of 3")); }},
        {"datasheet", 2, Qt::CTRL | Qt::Key_D,
         [&] {
             ASSERT_NE(window->readings->datasheetWindow(), nullptr);
             window->readings->datasheetWindow()->close();
             settle();
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (window->SSTab1->currentIndex() != row.tab) showTab(row.tab);
        activate();
        QTest::keyClick(window->SSTab1->currentWidget(), row.key.key(),
                        row.key.keyboardModifiers());
        settle();
        row.check();
        EXPECT_TRUE(dialogs.pending().empty());
    }

    EXPECT_EQ(window->identification->imgNext->toolTip(),
              QStringLiteral("Next sensor (Ctrl+PgDown)"));
    EXPECT_EQ(window->identification->Label56->toolTip(),
              QStringLiteral("Previous sensor (Ctrl+PgUp)"));
    EXPECT_EQ(window->readings->Label60->toolTip(), QStringLiteral("Next reading (Ctrl+Down)"));
    EXPECT_EQ(window->readings->imgFirst->toolTip(),
              QStringLiteral("First reading (Ctrl+Shift+Up)"));
    EXPECT_EQ(window->readings->imgAddReading->toolTip(),
              QStringLiteral("Add a new reading (Ctrl+N)"));
    EXPECT_EQ(window->loadVsTime->imgPrintT->toolTip(), QStringLiteral("Print the chart (Ctrl+P)"))
        << "a tip of its own keeps its words";
}

} // namespace
