// The two plot tabs driven through the real main window: entering them (refused, or
// recomputed and drawn), what each drawing shows, the user's actions on the chart, the
// JPEG export, printing and the tips.
#include "graphs/ChartPage.h"
#include "core/DateText.h"
#include "maintenance/DatabaseCheck.h"
#include "readings/ReadingsTab.h"
#include "sensors/SensorTabs.h"
#include "tests/support/DataFolder.h"
#include "tests/support/MainWindow.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QPrinter>
#include <QTabWidget>
#include <QTest>
#include <cmath>

using namespace rv;
using namespace rv::test;

namespace {

const QString kId = QStringLiteral("200525001");
const QString kOtherId = QStringLiteral("200525002");
const QString kMissingTable = QStringLiteral(
    "The data table for Sensor 200525001 could not be found\r\nA new table will be created");

double at(const char* dateTime) {
    const auto dt = readDateTime(QLatin1String(dateTime));
    return double(dt->toMSecsSinceEpoch()) / 1000.0;
}

class ChartPageTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        addSensorRow(kId);
    }
    // A reading written straight into a sensor's table; nullptr for a Null value.
    void addReading(const char* dateTime, const char* load, const char* temp = nullptr,
                    int doNotPlot = 0, const QString& id = kId) {
        addReadings(id, {ReadingRow::at(id, QString::fromLatin1(dateTime))
                             .channel1(ReadingRow::text(load))
                             .channelT(ReadingRow::text(temp))
                             .doNotPlot(doNotPlot)
                             .zero1(99)
                             .numTemp(98)});
    }
    // A second reading at the very moment of another, under a key of its own.
    void addTwin(const char* key, const char* fullDate, const char* load, const char* temp) {
        const QString full = QLatin1String(fullDate);
        addReadings(kId, {ReadingRow(QString::fromLatin1(key))
                              .readingDate(full.left(10))
                              .fullDate(full)
                              .channel1(ReadingRow::text(load))
                              .channelT(ReadingRow::text(temp))
                              .doNotPlot(0)});
    }
    void startShown() {
        ASSERT_TRUE(start());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        for (ChartPage* page : {window->loadVsTime, window->loadVsTimeTemp})
            page->setProgress(&progress);
    }
    // Shows a plot tab from the "2. Installation" tab.
    void enter(int tab) {
        window->SSTab1->setCurrentIndex(1);
        window->SSTab1->setCurrentIndex(tab);
    }
    ChartPage& page(int tab = 3) {
        return tab == 3 ? *window->loadVsTime : *window->loadVsTimeTemp;
    }
    Chart& chart(int tab = 3) { return *page(tab).chart; }
    QStringList loadLabels(int tab = 3) {
        chart(tab).replot();
        return QStringList(chart(tab).loadAxis()->tickVectorLabels().cbegin(),
                           chart(tab).loadAxis()->tickVectorLabels().cend());
    }
    QStringList timeLabels(int tab = 3) {
        chart(tab).replot();
        return QStringList(chart(tab).timeAxis()->tickVectorLabels().cbegin(),
                           chart(tab).timeAxis()->tickVectorLabels().cend());
    }
    QVector<double> values(int series, int tab = 3) {
        QVector<double> v;
        for (auto it = chart(tab).series(series)->data()->constBegin();
             it != chart(tab).series(series)->data()->constEnd(); ++it)
            v << it->value;
        return v;
    }
    QVector<double> keys(int series, int tab = 3) {
        QVector<double> v;
        for (auto it = chart(tab).series(series)->data()->constBegin();
             it != chart(tab).series(series)->data()->constEnd(); ++it)
            v << it->key;
        return v;
    }
    QString stored(const char* column, const char* dateTime) {
        const QVariant v = scalar(QStringLiteral("SELECT %1 FROM `%2` WHERE DateTimeKey = '%2 %3'")
                                      .arg(QLatin1String(column), kId, QLatin1String(dateTime)));
        return v.isNull() ? QStringLiteral("<null>") : QString::number(v.toDouble(), 'g', 17);
    }
    // Mouse gestures as the user makes them, the left button held between the ends.
    void send(QEvent::Type type, const QPoint& at, Qt::MouseButton button,
              Qt::MouseButtons buttons) {
        Chart& c = chart(m_tab);
        QMouseEvent e(type, QPointF(at), QPointF(c.mapToGlobal(at)), button, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(&c, &e);
    }
    void drag(const QPoint& from, const QPoint& to, int tab = 3) {
        m_tab = tab;
        send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        for (int i = 1; i <= 4; ++i)
            send(QEvent::MouseMove, from + (to - from) * i / 4, Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
    void hover(const QPoint& at, int tab = 3) {
        m_tab = tab;
        send(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    }
    QPoint pixelOf(int series, int index, int tab = 3) {
        Chart& c = chart(tab);
        const auto point = c.series(series)->data()->at(index);
        return QPoint(int(std::lround(c.timeAxis()->coordToPixel(point->key))),
                      int(std::lround(c.loadAxis()->coordToPixel(point->value))));
    }
    // Three months of readings whose loads run from 0.4 to 12.36 tons.
    void threeMonths() {
        addReading("2006/03/15 08:00:00", "0.40", "18.0");
        addReading("2006/04/20 08:00:00", "6.00", "20.0");
        addReading("2006/05/02 08:00:00", "9.00", "21.0", 1);
        addReading("2006/06/14 08:00:00", "12.36", "25.0");
    }

    RecordingProgress progress;
    int m_tab = 3;
};

// ---------------------------------------------------------------------------------
// Entering the tabs

TEST_F(ChartPageTest, OneReadingIsRefusedAndThePreviousTabComesBack) {
    addReading("2026/03/10 08:00:00", "10.00");
    startShown();
    for (int tab : {3, 4}) {
        window->SSTab1->setCurrentIndex(1);
        window->SSTab1->setCurrentIndex(tab);
        EXPECT_EQ(window->SSTab1->currentIndex(), 1) << tab;
        dialogs.expect(kPlotRefusal, kTitle, Icon::Information);
    }
    EXPECT_EQ(stored("zero1", "2026/03/10 08:00:00"), "99") << "nothing recomputed";
    EXPECT_TRUE(progress.labels.isEmpty());
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(ChartPageTest, TwoReadingsWithOneExcludedAreRefusedFromAnyTab) {
    addReading("2026/03/10 08:00:00", "10.00");
    addReading("2026/03/11 08:00:00", "11.00", nullptr, 1);
    startShown();
    window->SSTab1->setCurrentIndex(2);
    window->SSTab1->setCurrentIndex(4);
    EXPECT_EQ(window->SSTab1->currentIndex(), 2);
    dialogs.expect(kPlotRefusal, kTitle, Icon::Information);
    window->SSTab1->setCurrentIndex(0);
    window->SSTab1->setCurrentIndex(3);
    EXPECT_EQ(window->SSTab1->currentIndex(), 0);
    dialogs.expect(kPlotRefusal, kTitle, Icon::Information);
    EXPECT_EQ(stored("zero1", "2026/03/11 08:00:00"), "99");
}

TEST_F(ChartPageTest, AMissingReadingsTableIsCreatedAndThenThePlotRefused) {
    startShown();
    execSql(QStringLiteral("DROP TABLE `%1`").arg(kId));
    s().gConnection.forgetColumns();
    enter(3);
    dialogs.expect(kMissingTable);
    dialogs.expect(kPlotRefusal, kTitle, Icon::Information);
    EXPECT_EQ(window->SSTab1->currentIndex(), 1);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `%1`").arg(kId)).toInt(), 0)
        << "the table exists again";
    EXPECT_EQ(logEntries(), 1);
}

// On the database file and on a site server database alike.
using ChartPageOnEachEngine = OnEachEngine<ChartPageTest>;

TEST_P(ChartPageOnEachEngine, EnteringRecomputesWithTheOffsetShownAndDrawsAtOnce) {
    threeMonths();
    startShown();
    // The offset as the box shows it at that moment, never saved, by its leading number.
    window->SSTab1->setCurrentIndex(2);
    window->installation->txtOffset->setText(QStringLiteral("0.10"));
    window->SSTab1->setCurrentIndex(3);
    EXPECT_EQ(window->SSTab1->currentIndex(), 3);
    EXPECT_TRUE(chart().isVisible()) << "the chart is shown once drawn";
    EXPECT_EQ(stored("zero1", "2006/03/15 08:00:00"),
              QString::number(0.40 - double(0.10f), 'g', 17));
    EXPECT_EQ(stored("zero1", "2006/06/14 08:00:00"),
              QString::number(12.36 - double(0.10f), 'g', 17));
    EXPECT_EQ(stored("NumTemp", "2006/06/14 08:00:00"), "25");
    EXPECT_EQ(stored("zero1", "2006/05/02 08:00:00"), "99") << "an excluded reading";
    EXPECT_EQ(values(Chart::kLoadSeries),
              (QVector<double>{0.40 - double(0.10f), 6.00 - double(0.10f), 12.36 - double(0.10f)}));
    EXPECT_EQ(progress.ended, 1);

    for (const char* offset : {"1.5 x", ""}) {
        window->SSTab1->setCurrentIndex(2);
        window->installation->txtOffset->setText(QLatin1String(offset));
        window->SSTab1->setCurrentIndex(3);
        const double o = offset[0] ? 1.5 : 0;
        EXPECT_EQ(values(Chart::kLoadSeries), (QVector<double>{0.40 - o, 6.00 - o, 12.36 - o}))
            << "drawn again from the first step, not appended";
    }
    EXPECT_EQ(logEntries(), 0);
}
INSTANTIATE_TEST_SUITE_P(BothEngines, ChartPageOnEachEngine, bothEngines(), engineName);

TEST_F(ChartPageTest, TheSecondTabEventLetsTheReadingsGoOnTheLoadVTimeTab) {
    addReading("2026/03/10 08:00:00", "10.00");
    addReading("2026/03/11 08:00:00", "11.00");
    startShown();
    window->SSTab1->setCurrentIndex(2);
    ASSERT_TRUE(s().rsReadings.isOpen());
    window->SSTab1->setCurrentIndex(3);
    window->SSTab1_MouseUp();
    EXPECT_FALSE(s().rsReadings.isOpen());
    EXPECT_FALSE(s().rsGraph.isOpen()) << "the plot's readings live only while it is prepared";
}

// ---------------------------------------------------------------------------------
// What a drawing shows

TEST_F(ChartPageTest, LoadVTimeOverThreeMonths) {
    threeMonths();
    startShown();
    enter(3);
    Chart& c = chart();
    EXPECT_EQ(c.objectName(), "ChartT");
    EXPECT_EQ(c.titleText(), kId);
    EXPECT_EQ(c.loadAxis()->label(), "Load (tons)");
    EXPECT_EQ(c.loadAxis()->range(), QCPRange(0, 13));
    EXPECT_EQ(c.loadStep(), 1);
    const QStringList loads = loadLabels();
    EXPECT_EQ(loads.first(), "0");
    EXPECT_EQ(loads.last(), "13");
    EXPECT_EQ(loads.size(), 14) << loads.join(u' ').toStdString();
    EXPECT_EQ(c.timeAxis()->label(), "") << "dates along the axis need no title";
    EXPECT_EQ(c.timeLabelling().format, "yyyy/MM/dd");
    EXPECT_EQ(c.timeAxis()->range(),
              QCPRange(at("2006/03/15 08:00:00"), at("2006/06/14 08:00:00")));
    for (const QString& label : timeLabels())
        EXPECT_TRUE(readDate(label).has_value()) << label.toStdString();
    EXPECT_EQ(c.legendTitles(), QStringList{"Load 1"});
    EXPECT_EQ(c.listedSeries(), QList<int>{Chart::kLoadSeries});
    EXPECT_EQ(keys(Chart::kLoadSeries),
              (QVector<double>{at("2006/03/15 08:00:00"), at("2006/04/20 08:00:00"),
                               at("2006/06/14 08:00:00")}));
    for (int n = 0; n < Chart::kSeriesCount; ++n)
        EXPECT_TRUE(n == Chart::kLoadSeries || c.series(n)->data()->isEmpty()) << "series " << n;
    EXPECT_EQ(c.notice(), "");
}

TEST_F(ChartPageTest, ReadingsOfOneDayAreLabelledByTheHourUnderTheDay) {
    addReading("2026/03/12 08:00:00", "0.01");
    addReading("2026/03/12 14:30:00", "0.05");
    startShown();
    enter(3);
    Chart& c = chart();
    EXPECT_EQ(c.timeAxis()->label(), "2026/03/12");
    EXPECT_EQ(c.timeLabelling().format, "HH:mm");
    EXPECT_EQ(c.timeLabelling().minimumStep, 7200);
    EXPECT_EQ(c.timeAxis()->range(),
              QCPRange(at("2026/03/12 08:00:00"), at("2026/03/12 14:30:00")));
    const QStringList labels = timeLabels();
    ASSERT_FALSE(labels.isEmpty());
    EXPECT_EQ(labels.first(), "08:00") << "wall-clock time under any zone";
    const QVector<double> ticks = c.timeAxis()->tickVector();
    for (qsizetype i = 1; i < ticks.size(); ++i)
        EXPECT_GE(ticks[i] - ticks[i - 1], 7200);
    // All loads between 0 and 0.05: 0 to 0.1, a label every 0.01.
    EXPECT_EQ(c.loadAxis()->range(), QCPRange(0, 0.1));
    EXPECT_EQ(c.loadStep(), 0.01);
    EXPECT_EQ(loadLabels().at(1), "0.01");
}

TEST_F(ChartPageTest, ReadingsWithinTwoHoursStillCarryATime) {
    addReading("2026/03/12 08:10:00", "4");
    addReading("2026/03/12 08:40:00", "5");
    startShown();
    enter(3);
    EXPECT_EQ(timeLabels(), QStringList{"08:30"}) << "no whole two hours between the readings";
}

TEST_F(ChartPageTest, ReadingsOnTwoDaysAreLabelledEverySixHoursAtLeast) {
    addReading("2026/03/12 22:00:00", "16");
    addReading("2026/03/13 09:00:00", "30");
    startShown();
    enter(3);
    Chart& c = chart();
    EXPECT_EQ(c.timeAxis()->label(), "2026/03/12");
    EXPECT_EQ(c.timeLabelling().minimumStep, 21600);
    const QStringList labels = timeLabels();
    EXPECT_EQ(labels, (QStringList{"00:00", "06:00"}));
    EXPECT_EQ(c.loadAxis()->range(), QCPRange(0, 32));
    EXPECT_EQ(c.loadStep(), 2);
}

TEST_F(ChartPageTest, ANegativeLowestLoadAndAHighestBeyondTheTable) {
    addReading("2026/03/01 08:00:00", "-1.234");
    addReading("2026/03/09 08:00:00", "45");
    startShown();
    s().gPrefMaxY = QStringLiteral("5");
    enter(3);
    EXPECT_EQ(chart().loadAxis()->range(), QCPRange(-1.23, 46));
    EXPECT_EQ(chart().loadStep(), 5);
    enter(4);
    EXPECT_EQ(chart(4).loadAxis()->range(), QCPRange(-1.23, 50));
    EXPECT_EQ(chart(4).loadStep(), 10);
}

TEST_F(ChartPageTest, LoadVTimeWithTempDrawsBothSeriesOnOneScale) {
    addReading("2026/01/05 08:00:00", "0.5", "18");
    addReading("2026/02/05 08:00:00", "12", "25");
    addReading("2026/03/05 08:00:00", "6", "20");
    startShown();
    enter(4);
    Chart& c = chart(4);
    EXPECT_EQ(c.objectName(), "ChartT2");
    EXPECT_EQ(c.legendTitles(), (QStringList{"Temp (C)", "Load 1"}));
    EXPECT_EQ(values(Chart::kTemperatureSeries, 4), (QVector<double>{18, 25, 20}));
    EXPECT_EQ(values(Chart::kLoadSeries, 4), (QVector<double>{0.5, 12, 6}));
    EXPECT_EQ(c.loadAxis()->range(), QCPRange(0, 27));
    EXPECT_EQ(c.loadStep(), 2);
    EXPECT_EQ(c.loadAxis()->label(), "Load (tons)");
    // The temperature's markers are drawn whole at both ends of the time axis.
    const QCPRange time = c.timeAxis()->range();
    EXPECT_LT(time.lower, at("2026/01/05 08:00:00"));
    EXPECT_GT(time.upper, at("2026/03/05 08:00:00"));
    EXPECT_LT(time.size(), 1.05 * (at("2026/03/05 08:00:00") - at("2026/01/05 08:00:00")));
    // The same sensor on the first plot: no temperature, no margin.
    enter(3);
    EXPECT_EQ(chart(3).timeAxis()->range(),
              QCPRange(at("2026/01/05 08:00:00"), at("2026/03/05 08:00:00")));
}

TEST_F(ChartPageTest, WithoutTemperaturesTheTemperatureLiesAtZero) {
    addReading("2026/03/05 08:00:00", "4");
    addReading("2026/03/15 08:00:00", "7", "");
    startShown();
    enter(4);
    EXPECT_EQ(values(Chart::kTemperatureSeries, 4), (QVector<double>{0, 0}));
    EXPECT_EQ(chart(4).loadAxis()->range(), QCPRange(0, 7.5));
}

TEST_F(ChartPageTest, BadChannelsNeverGiveABlankOrBoundlessChart) {
    struct Case {
        const char* first;
        const char* second;
    };
    const Case cases[] = {{"1e300", "2"}, {"-0", "0 t"}, {"1e999", "5"}, {"1e999", "1e999"}};
    startShown();
    for (const Case& c : cases) {
        execSql(QStringLiteral("DELETE FROM `%1`").arg(kId));
        addReading("2026/03/05 08:00:00", c.first, c.first);
        addTwin("twin", "2026-03-05 08:00:00", c.second, c.second); // the same instant
        enter(4);
        const QString what =
            QStringLiteral("%1 / %2").arg(QLatin1String(c.first), QLatin1String(c.second));
        EXPECT_EQ(window->SSTab1->currentIndex(), 4) << what.toStdString();
        for (QCPAxis* a : {chart(4).loadAxis(), chart(4).timeAxis()}) {
            EXPECT_TRUE(std::isfinite(a->range().lower) && std::isfinite(a->range().upper))
                << what.toStdString();
            EXPECT_GT(a->range().size(), 0) << what.toStdString();
        }
        const bool nothing =
            chart(4).series(0)->data()->isEmpty() && chart(4).series(1)->data()->isEmpty();
        EXPECT_EQ(nothing, !chart(4).notice().isEmpty()) << what.toStdString();
    }
    EXPECT_EQ(chart(4).notice(),
              "No reading of sensor 200525001 could be plotted:\ntheir dates or loads cannot be "
              "read.");
}

TEST_F(ChartPageTest, AllReadingsAtOneInstantAreDrawnInTheMiddleOfTwoHours) {
    addReading("2026/03/05 08:00:00", "4");
    addTwin("x", "2026-03-05 08:00:00", "6", nullptr);
    startShown();
    enter(3);
    EXPECT_EQ(values(Chart::kLoadSeries), (QVector<double>{4, 6})) << "both, in stored order";
    EXPECT_EQ(chart().timeAxis()->range(),
              QCPRange(at("2026/03/05 07:00:00"), at("2026/03/05 09:00:00")));
    EXPECT_TRUE(timeLabels().contains(QStringLiteral("08:00")));
}

TEST_F(ChartPageTest, TheChartKeepsItsDesign) {
    threeMonths();
    startShown();
    enter(3);
    Chart& c = chart();
    c.replot();
    EXPECT_EQ(c.loadAxis()->tickLabelFont().pixelSize(), 17);
    EXPECT_TRUE(c.loadAxis()->tickLabelFont().bold());
    EXPECT_EQ(c.timeAxis()->tickLabelRotation(), 15);
    EXPECT_EQ(c.loadAxis()->grid()->pen().color(), QColor(192, 192, 192));
    EXPECT_FALSE(c.loadAxis()->subTicks());
    EXPECT_EQ(c.legend->font().pixelSize(), 12);
    const QCPGraph* load = c.series(Chart::kLoadSeries);
    EXPECT_EQ(load->pen().color(), QColor(0, 0, 255));
    EXPECT_EQ(load->pen().width(), 2);
    EXPECT_EQ(load->scatterStyle().shape(), QCPScatterStyle::ssDiamond);
    EXPECT_EQ(load->scatterStyle().size(), 8);
    EXPECT_EQ(load->scatterStyle().pen().style(), Qt::NoPen);
    const QCPGraph* temperature = c.series(Chart::kTemperatureSeries);
    EXPECT_EQ(temperature->name(), "Temp (C)");
    EXPECT_EQ(temperature->scatterStyle().size(), 6);
    EXPECT_NE(temperature->scatterStyle().pen().style(), Qt::NoPen);
    for (int n = 2; n < Chart::kSeriesCount; ++n)
        EXPECT_EQ(c.series(n)->name(), "Node 1");
    // The legend sits at the right of the plot, its top at 7 % of the chart's height.
    EXPECT_GT(c.legend->outerRect().left(), c.axisRect()->rect().right());
    EXPECT_NEAR(c.legend->outerRect().top(), 0.07 * c.height(), 2);
    EXPECT_TRUE(c.legend->elementAt(0) && qobject_cast<QCPTextElement*>(c.legend->elementAt(0)));
    EXPECT_EQ(qobject_cast<QCPTextElement*>(c.legend->elementAt(0))->text(), "Node Locations:");
}

TEST_F(ChartPageTest, AnotherSensorIsDrawnAfreshOnTheNextEntry) {
    threeMonths();
    addSensorRow(kOtherId);
    addReading("2026/03/12 08:00:00", "1", nullptr, 0, kOtherId);
    addReading("2026/03/12 09:00:00", "2", nullptr, 0, kOtherId);
    startShown();
    enter(3);
    EXPECT_EQ(values(Chart::kLoadSeries).size(), 3);
    window->SSTab1->setCurrentIndex(0);
    window->identification->imgNext->click();
    window->SSTab1->setCurrentIndex(3);
    EXPECT_EQ(chart().titleText(), kOtherId);
    EXPECT_EQ(values(Chart::kLoadSeries), (QVector<double>{1, 2}));
    EXPECT_EQ(chart().timeAxis()->label(), "2026/03/12");
}

// ---------------------------------------------------------------------------------
// Readings that hold no load, midnight readings, a database that can only be read

TEST_F(ChartPageTest, AReadingWithoutALoadIsLeftOutOfBothPlotsAndTheirCount) {
    addReading("2005/03/28 08:00:00", "10.00", "20");
    addReading("2005/04/28 08:00:00", "12.6 t", "21"); // its leading number is its load
    addReading("2005/05/28 08:00:00", "ERR", "22");    // a logger's error: no load
    startShown();
    window->installation->txtOffset->setText(QStringLiteral("0.10"));
    // "Add New", then leaving the tab, stores a reading dated today with no load.
    window->SSTab1->setCurrentIndex(2);
    window->readings->imgAddReading->click();
    window->SSTab1->setCurrentIndex(3);
    ASSERT_EQ(window->SSTab1->currentIndex(), 3);
    ASSERT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `%1` WHERE Channel1 IS NULL OR "
                                    "Channel1 = ''")
                         .arg(kId))
                  .toInt(),
              1);
    const double tenth = double(0.10f);
    EXPECT_EQ(values(Chart::kLoadSeries), (QVector<double>{10 - tenth, 12.6 - tenth}));
    EXPECT_EQ(chart().timeAxis()->range(),
              QCPRange(at("2005/03/28 08:00:00"), at("2005/04/28 08:00:00")))
        << "the time axis ends at the last load, not today";
    EXPECT_EQ(chart().loadAxis()->range(), QCPRange(0, 13)) << "no load of 0 less the offset";
    enter(4);
    EXPECT_EQ(values(Chart::kTemperatureSeries, 4), (QVector<double>{20, 21}));
    EXPECT_EQ(values(Chart::kLoadSeries, 4), (QVector<double>{10 - tenth, 12.6 - tenth}));
    // Their stored loads are still computed: 0 for an empty channel, less the offset for
    // a text without a number.
    EXPECT_EQ(stored("zero1", "2005/05/28 08:00:00"), QString::number(-tenth, 'g', 17));
    EXPECT_EQ(scalar(QStringLiteral("SELECT zero1 FROM `%1` WHERE Channel1 IS NULL OR "
                                    "Channel1 = ''")
                         .arg(kId))
                  .toDouble(),
              0.0);

    // One load left among three readings: both tabs are refused.
    execSql(QStringLiteral("DELETE FROM `%1` WHERE Channel1 = '10.00'").arg(kId));
    for (int tab : {3, 4}) {
        enter(tab);
        EXPECT_EQ(window->SSTab1->currentIndex(), 1) << tab;
        dialogs.expect(kPlotRefusal, kTitle, Icon::Information);
    }
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(ChartPageTest, AMidnightReadingStoredAsItsDateAloneIsPlottedAtMidnight) {
    addReading("2005/03/27 18:00:00", "1", "5");
    addTwin("midnight", "2005-03-28", "2", "6");
    addReading("2005/03/28 06:00:00", "3", "7");
    startShown();
    enter(4);
    const QVector<double> times = {at("2005/03/27 18:00:00"), at("2005/03/28 00:00:00"),
                                   at("2005/03/28 06:00:00")};
    EXPECT_EQ(keys(Chart::kLoadSeries, 4), times);
    EXPECT_EQ(values(Chart::kLoadSeries, 4), (QVector<double>{1, 2, 3}));
    EXPECT_EQ(keys(Chart::kTemperatureSeries, 4), times);
    EXPECT_EQ(chart(4).timeAxis()->label(), "2005/03/27") << "two days: hours under the day";
}

TEST_F(ChartPageTest, OnADatabaseThatCanOnlyBeReadTheLoadsAreDrawnAsComputed) {
    threeMonths(); // stored loads of 99: stale
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    startShown();
    dialogs.expect(readOnlyDatabaseText(false), kTitle, Icon::Information);
    window->SSTab1->setCurrentIndex(2);
    window->installation->txtOffset->setText(QStringLiteral("0.10"));
    window->SSTab1->setCurrentIndex(3);
    ASSERT_EQ(window->SSTab1->currentIndex(), 3);
    const double tenth = double(0.10f);
    EXPECT_EQ(values(Chart::kLoadSeries),
              (QVector<double>{0.40 - tenth, 6.00 - tenth, 12.36 - tenth}));
    EXPECT_EQ(chart().loadAxis()->range(), QCPRange(0, 13));
    EXPECT_EQ(chart().notice(), "");
    window->SSTab1->setCurrentIndex(4);
    EXPECT_EQ(values(Chart::kTemperatureSeries, 4), (QVector<double>{18, 20, 25}));
    EXPECT_EQ(values(Chart::kLoadSeries, 4),
              (QVector<double>{0.40 - tenth, 6.00 - tenth, 12.36 - tenth}));
    EXPECT_EQ(stored("zero1", "2006/03/15 08:00:00"), "99") << "nothing could be stored";
    EXPECT_EQ(int(logText().count(QStringLiteral(" G_GetTemporalData\r\n"))), 2)
        << "each recomputation's failure is logged, nothing is shown";
}

// ---------------------------------------------------------------------------------
// The user's actions on the chart

TEST_F(ChartPageTest, TheLegendCheckBoxHidesAndShowsItsSeriesWithoutRescaling) {
    addReading("2026/01/05 08:00:00", "0.5", "18");
    addReading("2026/02/05 08:00:00", "12", "25");
    startShown();
    enter(4);
    Chart& c = chart(4);
    c.replot();
    const QCPRange before = c.loadAxis()->range();
    const QRect entry = c.legendEntryRect(Chart::kTemperatureSeries);
    ASSERT_FALSE(entry.isEmpty());
    QTest::mouseClick(&c, Qt::LeftButton, {}, entry.center());
    EXPECT_FALSE(c.seriesShown(Chart::kTemperatureSeries));
    EXPECT_TRUE(c.seriesShown(Chart::kLoadSeries));
    EXPECT_EQ(c.loadAxis()->range(), before);
    QTest::mouseClick(&c, Qt::LeftButton, {}, entry.center());
    EXPECT_TRUE(c.seriesShown(Chart::kTemperatureSeries));
    // Hidden, then drawn again: a new drawing shows every series.
    QTest::mouseClick(&c, Qt::LeftButton, {}, c.legendEntryRect(Chart::kLoadSeries).center());
    EXPECT_FALSE(c.seriesShown(Chart::kLoadSeries));
    enter(4);
    EXPECT_TRUE(c.seriesShown(Chart::kLoadSeries));
}

TEST_F(ChartPageTest, DraggingRightZoomsInAndDraggingLeftRestoresTheFullView) {
    threeMonths();
    startShown();
    enter(3);
    Chart& c = chart();
    c.replot();
    const QCPRange time = c.timeAxis()->range(), load = c.loadAxis()->range();
    const QRect plot = c.axisRect()->rect();
    const QPoint from = plot.topLeft() + QPoint(plot.width() / 4, plot.height() / 4);
    const QPoint to = plot.topLeft() + QPoint(plot.width() / 2, plot.height() / 2);
    drag(from, to);
    EXPECT_TRUE(c.zoomed());
    EXPECT_NEAR(c.timeAxis()->range().size(), time.size() / 4, time.size() / 50);
    EXPECT_NEAR(c.loadAxis()->range().size(), load.size() / 4, load.size() / 50);
    drag(from + QPoint(4, 0), from + QPoint(2, 0)); // too short to count
    EXPECT_TRUE(c.zoomed());
    drag(to, from);
    EXPECT_FALSE(c.zoomed());
    EXPECT_EQ(c.timeAxis()->range(), time);
    EXPECT_EQ(c.loadAxis()->range(), load);
    // A zoom left by the user is undone by the next drawing.
    drag(from, to);
    enter(3);
    EXPECT_FALSE(chart().zoomed());
}

TEST_F(ChartPageTest, AViewBetweenTwoLoadLabelsStillCarriesALoad) {
    threeMonths();
    startShown();
    enter(3);
    chart().loadAxis()->setRange(12.25, 12.45); // zoomed on the last reading, 12.36
    EXPECT_EQ(loadLabels(), QStringList{"12.4"});
}

TEST_F(ChartPageTest, DraggingOverTheLoadAxisScrollsIt) {
    threeMonths();
    startShown();
    enter(3);
    Chart& c = chart();
    c.replot();
    const QCPRange time = c.timeAxis()->range();
    const QRect plot = c.axisRect()->rect();
    const QPoint on(plot.left() - 20, plot.center().y());
    drag(on, on + QPoint(0, plot.height() / 2));
    EXPECT_NEAR(c.loadAxis()->range().lower, 6.5, 0.2);
    EXPECT_NEAR(c.loadAxis()->range().upper, 19.5, 0.2);
    EXPECT_EQ(c.timeAxis()->range(), time) << "only the load axis moves";
    // Dragging inside the plot never pans: a downward drag there is no zoom either.
    const QCPRange scrolled = c.loadAxis()->range();
    drag(plot.center(), plot.center() + QPoint(0, 40));
    EXPECT_EQ(c.loadAxis()->range(), scrolled);
}

TEST_F(ChartPageTest, APointerOverASeriesBecomesAHand) {
    threeMonths();
    startShown();
    enter(3);
    Chart& c = chart();
    c.replot();
    hover(pixelOf(Chart::kLoadSeries, 1));
    EXPECT_EQ(c.cursor().shape(), Qt::PointingHandCursor);
    hover(c.axisRect()->rect().topLeft() + QPoint(3, 3));
    EXPECT_NE(c.cursor().shape(), Qt::PointingHandCursor);
}

// ---------------------------------------------------------------------------------
// Export, printing and tips

TEST_F(ChartPageTest, ExportWritesTheChartAsItStandsAndOpensIt) {
    threeMonths();
    startShown();
    enter(3);
    const QString first = dataFolder + QStringLiteral("/Temporal.jpg");
    const QString second = dataFolder + QStringLiteral("/Temporal2.jpg");
    page().cmdTemp->click();
    EXPECT_EQ(desktop.openedFiles, QStringList{first});
    QImage picture(first);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), Chart::kDesignSize);
    EXPECT_FALSE(QFileInfo::exists(second));

    // Zoomed in, the second export replaces the first with the zoomed view.
    QFile before(first);
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray full = before.readAll();
    before.close();
    chart().replot();
    const QRect plot = chart().axisRect()->rect();
    drag(plot.topLeft() + QPoint(10, 10), plot.center());
    page().cmdTemp->click();
    QFile after(first);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_NE(after.readAll(), full);
    EXPECT_EQ(desktop.openedFiles.size(), 2);
    EXPECT_TRUE(chart().zoomed()) << "exporting leaves the view as it was";

    // The other tab writes its own picture and never touches the first.
    const QDateTime stamp = QFileInfo(first).lastModified();
    enter(4);
    page(4).cmdExportT2->click();
    EXPECT_EQ(desktop.openedFiles.last(), second);
    EXPECT_FALSE(QImage(second).isNull());
    EXPECT_EQ(QFileInfo(first).lastModified(), stamp);
    EXPECT_EQ(QFileInfo(first).size(), after.size());
}

TEST_F(ChartPageTest, AFailedExportIsReportedAndOpensNothing) {
    threeMonths();
    startShown();
    enter(3);
    // A folder standing where the picture goes: nothing can replace it.
    ASSERT_TRUE(QDir(dataFolder).mkdir(QStringLiteral("Temporal.jpg")));
    page().cmdTemp->click();
    dialogs.expect(QStringLiteral("The chart could not be saved as ") + dataFolder +
                       QStringLiteral("/Temporal.jpg\r\nCheck that the data folder can be "
                                      "written to and that the picture is not open in another "
                                      "program."),
                   kTitle, Icon::Exclamation);
    EXPECT_TRUE(desktop.openedFiles.isEmpty());
    EXPECT_TRUE(QFileInfo(dataFolder + QStringLiteral("/Temporal.jpg")).isDir());
    // The report's way: a false answer, no message.
    EXPECT_FALSE(page().exportPicture(dataFolder + QStringLiteral("/missing/Temporal.jpg")));
    EXPECT_TRUE(page().exportPicture(dataFolder + QStringLiteral("/Report.jpg")));
}

TEST_F(ChartPageTest, WithoutAPictureViewerBothExportsSayWhereThePictureWasWritten) {
    threeMonths();
    startShown();
    desktop.opens = false;
    enter(3);
    page().cmdTemp->click();
    const QString first = QDir::toNativeSeparators(dataFolder + QStringLiteral("/Temporal.jpg"));
    dialogs.expect(QStringLiteral("The file was written to\r\n") + first +
                       QStringLiteral("\r\nbut no program could be started to open it."),
                   kTitle, Icon::Exclamation);
    enter(4);
    page(4).cmdExportT2->click();
    const QString second = QDir::toNativeSeparators(dataFolder + QStringLiteral("/Temporal2.jpg"));
    dialogs.expect(QStringLiteral("The file was written to\r\n") + second +
                       QStringLiteral("\r\nbut no program could be started to open it."),
                   kTitle, Icon::Exclamation);
    EXPECT_FALSE(QImage(second).isNull());
    EXPECT_EQ(logEntries(), 2);
    EXPECT_TRUE(logText().contains(QStringLiteral("No program could open ") + first +
                                   QStringLiteral(" cmdTemp_Click")));
    EXPECT_TRUE(logText().contains(QStringLiteral("No program could open ") + second +
                                   QStringLiteral(" cmdExportT2_Click")));
}

TEST_F(ChartPageTest, PrintingStretchesTheChartInsideFivePercentMargins) {
    EXPECT_EQ(printArea(QRect(0, 0, 1000, 800)), QRect(50, 40, 900, 720));
    EXPECT_EQ(printArea(QRect(0, 0, 3508, 2480)), QRect(175, 124, 3158, 2232));

    threeMonths();
    startShown();
    enter(3);
    const QString pdf = tmp.path() + QStringLiteral("/chart.pdf");
    int asked = 0;
    page().setPrinterChoice([&](QPrinter& printer) {
        ++asked;
        EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    });
    page().imgPrintT->click();
    EXPECT_EQ(asked, 1);
    EXPECT_GT(QFileInfo(pdf).size(), 1000);

    // Drawn on a page of its own: the margins stay blank, the chart fills the rest.
    QImage sheet(1000, 800, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QCPPainter painter(&sheet);
    chart().paintStretched(painter, printArea(sheet.rect()));
    painter.end();
    EXPECT_EQ(sheet.pixelColor(20, 400), QColor(Qt::white));
    EXPECT_EQ(sheet.pixelColor(500, 20), QColor(Qt::white));
    EXPECT_NE(sheet.pixelColor(50, 400), QColor(Qt::white)) << "the chart's frame, left";
    bool rightFrame = false;
    for (int x = 945; x < 950; ++x)
        rightFrame = rightFrame || sheet.pixelColor(x, 400) != QColor(Qt::white);
    EXPECT_TRUE(rightFrame) << "the chart's frame, right";
    for (int x = 951; x < 1000; x += 7)
        EXPECT_EQ(sheet.pixelColor(x, 400), QColor(Qt::white)) << x;

    // A cancelled choice prints nothing.
    QFile::remove(pdf);
    page().setPrinterChoice([](QPrinter&) { return false; });
    page().imgPrintT->click();
    EXPECT_FALSE(QFileInfo::exists(pdf));
}

TEST_F(ChartPageTest, TheTipsShowFourLines) {
    startShown();
    page().cmdTHelp->click();
    dialogs.expect(
        QStringLiteral(
            "1) To scroll graph hold down the left mouse button over an axis and drag to desired "
            "range\r\n2) Explanation of zooming (diagonal left to right zooms in, right to left "
            "zooms out)\r\n3) Click on a series in the graph to see raw data in lower "
            "annotation\r\n4) Uncheck a series in the legend to hide, check series to show"),
        QStringLiteral("Graphing Tips and Hints"), Icon::None);
    EXPECT_EQ(page(4).cmdTHelp, nullptr) << "only the Load v Time tab has the button";
    EXPECT_EQ(page(4).imgPrintT, nullptr);
    EXPECT_EQ(page(3).cmdExportT2, nullptr);
}

} // namespace
