// The current sensor's alert and alarm loads on the two plot tabs: where the lines are
// drawn, in which colour and with which label, that they leave the load axis' scale
// alone, and that a sensor without levels (or a database without their table) has none.
#include "graphs/LevelLines.h"
#include "alarms/AlarmStore.h"
#include "graphs/ChartPage.h"
#include "maintenance/DatabaseCheck.h"
#include "sensors/SensorTabs.h"
#include "tests/support/MainWindow.h"
#include <QTabWidget>
#include <QTest>
#include <cmath>

namespace rv {
// Level lines in a failed comparison, readable.
inline void PrintTo(const LevelLine& l, std::ostream* os) {
    *os << "{" << l.value << ", " << l.colour.name().toStdString() << ", " << int(l.style) << ", "
        << l.width << ", \"" << l.label.toStdString() << "\"}";
}
} // namespace rv

using namespace rv;
using namespace rv::test;

namespace {

const QString kId = QStringLiteral("200525001");
const QString kOtherId = QStringLiteral("200525002");

class LevelLinesTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        addSensorRow(kId);
        addSensorRow(kOtherId);
    }
    void addReading(const char* dateTime, const char* load, const QString& id = kId) {
        // zero1 holds the load as a number, as a recomputation stores it.
        addReadings(id, {ReadingRow::at(id, QString::fromLatin1(dateTime))
                             .channel1(QString::fromLatin1(load))
                             .channelT(QStringLiteral("20.0"))
                             .doNotPlot(0)
                             .zero1(QString::fromLatin1(load).toDouble())
                             .numTemp(20)});
    }
    // Loads from 0.4 to 12.36 tons over three months: a load axis from 0 to 13.
    void threeMonths(const QString& id = kId) {
        addReading("2006/03/15 08:00:00", "0.40", id);
        addReading("2006/04/20 08:00:00", "6.00", id);
        addReading("2006/06/14 08:00:00", "12.36", id);
    }
    void startShown() {
        ASSERT_TRUE(start());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        for (ChartPage* page : {window->loadVsTime, window->loadVsTimeTemp})
            page->setProgress(&progress);
    }
    void setLevels(const QString& id, const AlarmLevels& levels) {
        ASSERT_TRUE(saveAlarmLevels(s().gConnection, id, levels).ok());
    }
    void enter(int tab) {
        window->SSTab1->setCurrentIndex(1);
        window->SSTab1->setCurrentIndex(tab);
        ASSERT_EQ(window->SSTab1->currentIndex(), tab);
    }
    Chart& chart(int tab) {
        return *(tab == 3 ? window->loadVsTime : window->loadVsTimeTemp)->chart;
    }
    // Pixels of the picture in the row of a load value that have about that colour.
    static int pixelsInRow(const QImage& image, int row, const QColor& colour) {
        int n = 0;
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, row);
            if (std::abs(c.red() - colour.red()) < 40 &&
                std::abs(c.green() - colour.green()) < 40 &&
                std::abs(c.blue() - colour.blue()) < 40)
                ++n;
        }
        return n;
    }

    RecordingProgress progress;
};

TEST(LevelLineRules, TheLinesOfTheLevelsSetAndTheirLabels) {
    struct Case {
        AlarmLevels levels;
        QStringList labels;
        QVector<double> values;
    };
    const Case cases[] = {
        {{}, {}, {}},
        {{std::nullopt, std::nullopt, 1.5}, {}, {}},
        {{10.0, std::nullopt, std::nullopt}, {"Alert 10 t"}, {10}},
        {{std::nullopt, 14.5, std::nullopt}, {"Alarm 14.5 t"}, {14.5}},
        {{0.0, 0.25, 3.0}, {"Alert 0 t", "Alarm 0.25 t"}, {0, 0.25}},
    };
    for (const Case& c : cases) {
        QStringList labels;
        QVector<double> values;
        for (const LevelLine& line : levelLines(c.levels)) {
            labels << line.label;
            values << line.value;
            EXPECT_EQ(line.style, Qt::DashLine);
            EXPECT_EQ(line.colour,
                      line.label.startsWith(u"Alert") ? kAlertLineColour : kAlarmLineColour);
        }
        EXPECT_EQ(labels, c.labels);
        EXPECT_EQ(values, c.values);
    }
    const auto own =
        levelLines({10.0, 14.0, std::nullopt}, {Qt::blue, Qt::blue, QStringLiteral("200525001: ")});
    ASSERT_EQ(own.size(), 2u);
    EXPECT_EQ(own[0].label, "200525001: Alert 10 t");
    EXPECT_EQ(own[1].colour, QColor(Qt::blue));
}

TEST_F(LevelLinesTest, BothPlotsDrawTheAlertAndAlarmLoadsAsDashedLines) {
    threeMonths();
    startShown();
    setLevels(kId, {10.0, 14.0, 1.5});
    const std::vector<LevelLine> expected = {
        {10, kAlertLineColour, Qt::DashLine, 1.5, QStringLiteral("Alert 10 t")},
        {14, kAlarmLineColour, Qt::DashLine, 2.0, QStringLiteral("Alarm 14 t")}};
    for (int tab : {3, 4}) {
        enter(tab);
        Chart& c = chart(tab);
        EXPECT_EQ(c.levelLines(), expected) << "tab " << tab;
        EXPECT_EQ(c.loadAxis()->range(), QCPRange(0, tab == 3 ? 13 : 22))
            << "the scale is the data's";
        EXPECT_EQ(c.legendTitles(),
                  tab == 3 ? QStringList{"Load 1"} : QStringList({"Temp (C)", "Load 1"}))
            << "the lines are no series of the legend";

        // The picture (the export's and the report's) shows the alert line in amber at 10
        // tons; the alarm line at 14 tons lies above the first plot's axis and is not seen.
        const QImage picture = c.picture(c.size());
        const int alertRow = int(std::lround(c.loadAxis()->coordToPixel(10)));
        EXPECT_GT(pixelsInRow(picture, alertRow, kAlertLineColour), 100) << "tab " << tab;
        const int alarmRow = int(std::lround(c.loadAxis()->coordToPixel(14)));
        if (tab == 4)
            EXPECT_GT(pixelsInRow(picture, alarmRow, kAlarmLineColour), 100);
        else
            EXPECT_EQ(pixelsInRow(picture, alertRow, kAlarmLineColour), 0);
    }
    EXPECT_TRUE(dialogs.pending().empty());
}

TEST_F(LevelLinesTest, ALevelAboveTheDataLeavesTheScaleAsTheDataMakeIt) {
    threeMonths();
    threeMonths(kOtherId);
    startShown();
    setLevels(kId, {std::nullopt, 50.0, std::nullopt});
    enter(3);
    EXPECT_EQ(chart(3).loadAxis()->range(), QCPRange(0, 13));
    EXPECT_EQ(chart(3).loadStep(), 1);
    ASSERT_EQ(chart(3).levelLines().size(), 1u);
    EXPECT_EQ(chart(3).levelLines()[0].value, 50);
    // The same readings without levels draw the same scale.
    window->identification->imgNext->click();
    enter(3);
    EXPECT_EQ(chart(3).titleText(), kOtherId);
    EXPECT_EQ(chart(3).loadAxis()->range(), QCPRange(0, 13));
}

TEST_F(LevelLinesTest, ASensorWithoutLevelsHasNoLinesNorKeepsTheLastSensors) {
    threeMonths();
    threeMonths(kOtherId);
    startShown();
    setLevels(kId, {10.0, 14.0, std::nullopt});
    enter(4);
    EXPECT_EQ(chart(4).levelLines().size(), 2u);
    window->identification->imgNext->click();
    for (int tab : {3, 4}) {
        enter(tab);
        EXPECT_EQ(chart(tab).titleText(), kOtherId);
        EXPECT_TRUE(chart(tab).levelLines().empty()) << "tab " << tab;
    }
    // Levels removed: the lines go with them.
    window->identification->imgPrevious->click();
    setLevels(kId, {});
    enter(3);
    EXPECT_TRUE(chart(3).levelLines().empty());
}

TEST_F(LevelLinesTest, ALevelAtTheTopOfTheLoadAxisKeepsItsLabelInsideThePlot) {
    threeMonths();
    startShown();
    setLevels(kId, {12.0, 13.0, std::nullopt}); // the load axis runs from 0 to 13
    for (int tab : {3, 4}) {
        enter(tab);
        Chart& c = chart(tab);
        c.replot();
        const double top = tab == 3 ? 13 : 22;
        setLevels(kId, {12.0, top, std::nullopt});
        enter(tab);
        c.replot();
        ASSERT_EQ(c.loadAxis()->range().upper, top) << "tab " << tab;
        // The plot area and the frame around it, where a line at the top of the axis lies.
        const QRectF plot = QRectF(c.axisRect()->rect()).adjusted(0, -1, 0, 1);
        int seen = 0;
        for (int i = 0; i < c.itemCount(); ++i) {
            auto* label = qobject_cast<QCPItemText*>(c.item(i));
            if (!label || !label->text().startsWith(u"Al")) continue;
            ++seen;
            const QRectF drawn(label->topLeft->pixelPosition(),
                               label->bottomRight->pixelPosition());
            EXPECT_TRUE(plot.contains(drawn)) << label->text().toStdString() << " tab " << tab;
            // The alert line lies well inside: its label stays just above it.
            if (label->text().startsWith(u"Alert")) {
                EXPECT_LE(drawn.bottom(), c.loadAxis()->coordToPixel(12) + 1);
            }
        }
        EXPECT_EQ(seen, 2) << "tab " << tab;
    }
}

TEST_F(LevelLinesTest, AReadOnlyDatabaseWithoutTheLevelsTableDrawsNoLines) {
    threeMonths();
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    startShown();
    // Start-up says once what a database that can only be read goes without.
    dialogs.expect(readOnlyDatabaseText(false), kTitle, Icon::Information);
    window->SSTab1->setCurrentIndex(1);
    window->SSTab1->setCurrentIndex(3);
    ASSERT_EQ(window->SSTab1->currentIndex(), 3);
    // The loads cannot be stored again on this database: the plot draws those stored.
    EXPECT_EQ(chart(3).series(Chart::kLoadSeries)->data()->size(), 3);
    EXPECT_TRUE(chart(3).levelLines().empty());
}

} // namespace
