// Entering a plot tab recomputes the loads of every plottable reading but writes only the
// readings whose stored values differ.
#include "graphs/ChartPage.h"
#include "sensors/SensorTabs.h"
#include "store/ReadingsTable.h"
#include "tests/support/MainWindow.h"
#include <QTabWidget>

using namespace rv;
using namespace rv::test;

namespace {

const QString kId = QStringLiteral("200525001");

class PlotEntryWritesTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        addSensorRow(kId);
        // Every reading written from now on is noted by its key.
        execSql(QStringLiteral("CREATE TABLE Written (DateTimeKey TEXT)"));
        execSql(QStringLiteral("CREATE TRIGGER NoteWritten AFTER UPDATE ON `%1` BEGIN INSERT "
                               "INTO Written VALUES (new.DateTimeKey); END")
                    .arg(kId));
    }
    // A reading written straight into the table, its stored load and temperature stale.
    void addReading(const char* dateTime, const char* load, const char* temp, int doNotPlot = 0) {
        const QString t = QLatin1String(dateTime);
        execSql(QStringLiteral("INSERT INTO `%1` (DateTimeKey, ReadingDate, FullDate, Channel1, "
                               "ChannelT, DoNotPlot, zero1, NumTemp) VALUES ('%1 %2', '%3', '%4', "
                               "'%5', '%6', %7, 99, 98)")
                    .arg(kId, t, t.left(10).replace(u'/', u'-'),
                         t.left(10).replace(u'/', u'-') + t.mid(10), QLatin1String(load),
                         QLatin1String(temp))
                    .arg(doNotPlot));
    }
    // The readings written since the last call, by the time in their keys.
    std::string written() {
        QStringList times;
        for (int i = 0, n = scalar(QStringLiteral("SELECT count(*) FROM Written")).toInt(); i < n;
             ++i)
            times << scalar(QStringLiteral("SELECT substr(DateTimeKey, 11) FROM Written ORDER "
                                           "BY DateTimeKey LIMIT 1 OFFSET %1")
                                .arg(i))
                         .toString();
        execSql(QStringLiteral("DELETE FROM Written"));
        return times.join(QStringLiteral(", ")).toStdString();
    }
    QString zero1(const char* dateTime) {
        return QString::number(scalar(QStringLiteral("SELECT zero1 FROM `%1` WHERE "
                                                     "DateTimeKey = '%1 %2'")
                                          .arg(kId, QLatin1String(dateTime)))
                                   .toDouble(),
                               'g', 17);
    }
    void setOffset(const char* text) {
        window->installation->txtOffset->setText(QLatin1String(text));
    }
    void showTab(int tab) { window->SSTab1->setCurrentIndex(tab); }
    RecordingProgress progress;
};

TEST_F(PlotEntryWritesTest, EnteringAPlotAgainWritesOnlyTheReadingsWhoseValuesChanged) {
    addReading("2006/03/15 08:00:00", "0.40", "18.0"); // the first plottable reading
    addReading("2006/04/20 08:00:00", "6.00", "20.0");
    addReading("2006/05/02 08:00:00", "9.00", "21.0", 1); // "Do not plot"
    addReading("2006/06/01 08:00:00", "", "19.0");        // no load: 0 whatever the offset
    addReading("2006/06/14 08:00:00", "12.36", "25.0");   // the last plottable reading
    ASSERT_TRUE(start());
    for (ChartPage* page : {window->loadVsTime, window->loadVsTimeTemp})
        page->setProgress(&progress);
    showTab(1);
    setOffset("0.00");
    showTab(3);
    ASSERT_EQ(window->SSTab1->currentIndex(), 3);
    EXPECT_EQ(written(), "2006/03/15 08:00:00, 2006/04/20 08:00:00, 2006/06/01 08:00:00, "
                         "2006/06/14 08:00:00")
        << "every stale reading but the one not plotted";

    // The other plot, the offset unchanged: nothing at all is written.
    const qint64 before = rowsWrittenSinceOpen(s().gConnection);
    showTab(4);
    ASSERT_EQ(window->SSTab1->currentIndex(), 4);
    EXPECT_EQ(written(), "");
    EXPECT_EQ(rowsWrittenSinceOpen(s().gConnection), before);
    EXPECT_EQ(progress.lastDone, 4) << "every plottable reading was still computed";

    // A changed offset: the readings with a load, the first and the last among them.
    setOffset("0.10");
    showTab(3);
    EXPECT_EQ(written(), "2006/03/15 08:00:00, 2006/04/20 08:00:00, 2006/06/14 08:00:00");
    EXPECT_EQ(zero1("2006/03/15 08:00:00"), QString::number(0.40 - double(0.10f), 'g', 17));
    EXPECT_EQ(zero1("2006/06/14 08:00:00"), QString::number(12.36 - double(0.10f), 'g', 17));
    EXPECT_EQ(zero1("2006/06/01 08:00:00"), "0");
    EXPECT_EQ(zero1("2006/05/02 08:00:00"), "99");

    // Channels changed at both ends, by another program: those two readings only.
    execSql(QStringLiteral("UPDATE `%1` SET Channel1 = '0.50' WHERE DateTimeKey LIKE '%2'")
                .arg(kId, QStringLiteral("% 2006/03/15 %")));
    execSql(QStringLiteral("UPDATE `%1` SET ChannelT = '26.0' WHERE DateTimeKey LIKE '%2'")
                .arg(kId, QStringLiteral("% 2006/06/14 %")));
    written();
    showTab(4);
    EXPECT_EQ(written(), "2006/03/15 08:00:00, 2006/06/14 08:00:00");
    EXPECT_EQ(zero1("2006/03/15 08:00:00"), QString::number(0.50 - double(0.10f), 'g', 17));
    EXPECT_EQ(logEntries(), 0);
}

} // namespace
