// The data behind the plots: the load computation from the installation offset, which
// readings are plotted, their recomputation and storage, and the values a drawing reads.
#include "graphs/GraphData.h"
#include "core/DateText.h"
#include "core/Loads.h"
#include "core/Values.h"
#include "store/Module1.h"
#include "tests/support/DataFolder.h"
#include <cmath>
#include <limits>
#include <sqlite3.h>

using namespace rv;
using namespace rv::test;

namespace {

const QString kId = QStringLiteral("200525001");

// ---------------------------------------------------------------------------------
// The load computation itself

TEST(Loads, TheOffsetIsTheLeadingNumberInSinglePrecision) {
    struct Case {
        const char* text;
        double offset;
    };
    const Case cases[] = {
        {"0.10", double(0.10f)}, {"0.00", 0}, {"1.5 x", 1.5}, {"", 0}, {"abc", 0},
        {"  2.25", 2.25},        {"-3", -3},  {"1e3", 1000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(installationOffset(QLatin1String(c.text)), c.offset) << c.text;
    EXPECT_NE(installationOffset(QStringLiteral("0.10")), 0.10) << "never the double 0.1";
}

TEST(Loads, LoadsAndTemperaturesFollowTheChannelTexts) {
    const double tenth = installationOffset(QStringLiteral("0.10"));
    struct Case {
        std::optional<QString> channel;
        double offset;
        double load;
    };
    const Case cases[] = {
        {QStringLiteral("12.50"), tenth, 12.399999998509884},
        {QStringLiteral("3.25"), 0, 3.25},
        {std::nullopt, 1.5, 0},             // Null: no load, not minus the offset
        {QString(), 1.5, 0},                // empty: the same
        {QStringLiteral("abc"), 1.5, -1.5}, // no leading number: minus the offset
        {QStringLiteral(" "), 1.5, -1.5},   // a blank is not empty
        {QStringLiteral("7.5 t"), 0.5, 7},  // reading stops at the blank
        {QStringLiteral("1e300"), 0, 1e300},
        {QStringLiteral("-0"), 0, 0},
    };
    for (const Case& c : cases) {
        std::optional<QStringView> view;
        if (c.channel) view = QStringView(*c.channel);
        EXPECT_EQ(loadAfterOffset(view, c.offset), c.load)
            << (c.channel ? c.channel->toStdString() : "Null");
    }
    const QString huge = QStringLiteral("1e999");
    EXPECT_TRUE(std::isinf(loadAfterOffset(QStringView(huge), 0)));

    const QString minusFive = QStringLiteral("-5.0"), empty;
    EXPECT_EQ(temperatureValue(QStringView(minusFive)), -5);
    EXPECT_EQ(temperatureValue(std::nullopt), 0);
    EXPECT_EQ(temperatureValue(QStringView(empty)), 0);
}

// ---------------------------------------------------------------------------------
// Through the database

class GraphDataTest : public DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        addSensorRow(kId);
    }
    void open() {
        openStore();
        ASSERT_FALSE(HasFatalFailure());
    }
    // A reading written straight into the table; nullptr for a Null value. zero1 and
    // NumTemp start at 99 and 98 so that a recomputation shows.
    void addReading(const char* dateTime, const char* load, const char* temp, int doNotPlot = 0) {
        addReadings(kId, {ReadingRow::at(kId, QString::fromLatin1(dateTime))
                              .channel1(ReadingRow::text(load))
                              .channelT(ReadingRow::text(temp))
                              .doNotPlot(doNotPlot)
                              .zero1(99)
                              .numTemp(98)});
    }
    QString stored(const char* column, const char* dateTime) {
        const QVariant v = scalar(QStringLiteral("SELECT %1 FROM `%2` WHERE DateTimeKey = '%2 %3'")
                                      .arg(QLatin1String(column), kId, QLatin1String(dateTime)));
        return v.isNull() ? QStringLiteral("<null>") : QString::number(v.toDouble(), 'g', 17);
    }
    int logCount(const char* label) {
        return int(logText().count(QLatin1String(label) + QStringLiteral("\r\n")));
    }
    RecordingProgress progress;
};

TEST_F(GraphDataTest, RecomputingStoresEveryPlottableReadingAndLeavesTheExcludedAlone) {
    addReading("2026/03/10 08:00:00", "12.50", "21.5");
    addReading("2026/03/11 08:00:00", "3.25", nullptr, 1); // excluded
    addReading("2026/03/12 08:00:00", nullptr, "-5.0");
    addReading("2026/03/13 08:00:00", "abc", "");
    addReading("2026/03/14 08:00:00", "4.00", "20.0", 1); // excluded
    open();
    // Commits on the connection: the recomputation is one transaction.
    int commits = 0;
    sqlite3_commit_hook(
        session->gConnection.handle(),
        [](void* count) {
            ++*static_cast<int*>(count);
            return 0;
        },
        &commits);

    EXPECT_EQ(CountGraphData(*session), 1) << "a Null or \"abc\" channel 1 holds no load";
    EXPECT_EQ(G_GetTemporalData(*session, QStringLiteral("0.10"), progress), Recomputed::Done);
    sqlite3_commit_hook(session->gConnection.handle(), nullptr, nullptr);

    EXPECT_EQ(stored("zero1", "2026/03/10 08:00:00"), "12.399999998509884");
    EXPECT_EQ(stored("NumTemp", "2026/03/10 08:00:00"), "21.5");
    EXPECT_EQ(stored("zero1", "2026/03/12 08:00:00"), "0") << "Null load: 0, not -offset";
    EXPECT_EQ(stored("NumTemp", "2026/03/12 08:00:00"), "-5");
    EXPECT_EQ(stored("zero1", "2026/03/13 08:00:00"), QString::number(-double(0.10f), 'g', 17));
    EXPECT_EQ(stored("NumTemp", "2026/03/13 08:00:00"), "0");
    for (const char* excluded : {"2026/03/11 08:00:00", "2026/03/14 08:00:00"}) {
        EXPECT_EQ(stored("zero1", excluded), "99") << excluded;
        EXPECT_EQ(stored("NumTemp", excluded), "98") << excluded;
    }
    EXPECT_EQ(commits, 1);
    EXPECT_EQ(progress.labels, QStringList{"Computing the loads of sensor 200525001"});
    EXPECT_EQ(progress.lastDone, 3);
    EXPECT_EQ(progress.ended, 1);
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(GraphDataTest, AValueTheNumberColumnCannotHoldIsStoredAsNullAndLogged) {
    addReading("2026/03/10 08:00:00", "1e999", "21.5");
    addReading("2026/03/11 08:00:00", "1e300", "-1e999");
    addReading("2026/03/12 08:00:00", "-0", "5");
    open();
    EXPECT_EQ(G_GetTemporalData(*session, QString(), progress), Recomputed::Done);
    EXPECT_EQ(stored("zero1", "2026/03/10 08:00:00"), "<null>") << "never the stale 99";
    EXPECT_EQ(stored("NumTemp", "2026/03/10 08:00:00"), "21.5");
    EXPECT_EQ(stored("zero1", "2026/03/11 08:00:00"), "1.0000000000000001e+300");
    EXPECT_EQ(stored("NumTemp", "2026/03/11 08:00:00"), "<null>");
    EXPECT_EQ(stored("zero1", "2026/03/12 08:00:00"), "0");
    EXPECT_EQ(logCount(" G_SetZeros"), 2);
    EXPECT_TRUE(logText().contains(QStringLiteral(
        "Err #13: Type mismatch: 'inf' is not a number and cannot be stored in zero1 G_SetZeros")));
    EXPECT_TRUE(logText().contains(QStringLiteral("stored in NumTemp G_SetZeros")));
}

TEST_F(GraphDataTest, ACancelledRecomputationLeavesTheDatabaseAsItWas) {
    addReading("2026/03/10 08:00:00", "12.50", "21.5");
    addReading("2026/03/11 08:00:00", "13.50", "22.5");
    open();
    progress.cancelAt = 0;
    EXPECT_EQ(G_GetTemporalData(*session, QStringLiteral("0.10"), progress), Recomputed::Cancelled);
    EXPECT_EQ(stored("zero1", "2026/03/10 08:00:00"), "99");
    EXPECT_EQ(stored("zero1", "2026/03/11 08:00:00"), "99");
    EXPECT_EQ(progress.ended, 1);
    EXPECT_EQ(logEntries(), 0);
    // The connection is usable again: no transaction was left open.
    progress.cancelAt = -1;
    EXPECT_EQ(G_GetTemporalData(*session, QStringLiteral("0.10"), progress), Recomputed::Done);
    EXPECT_EQ(stored("zero1", "2026/03/11 08:00:00"),
              QString::number(13.5 - double(0.10f), 'g', 17));
}

TEST_F(GraphDataTest, ACancelWhileTheLoadsAreStoredUndoesEveryRow) {
    // Enough readings for the work to report progress while it stores them.
    execSql(QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
                "INSERT INTO `%1` (DateTimeKey, ReadingDate, FullDate, Channel1, ChannelT, "
                "DoNotPlot, zero1, NumTemp) SELECT 'k' || i, '2026-03-10', "
                "'2026-03-10 08:00:00', '5.00', '20.0', 0, 99, 98 FROM n")
                .arg(kId));
    open();
    progress.cancelAt = 1;
    EXPECT_EQ(G_GetTemporalData(*session, QString(), progress, 5000), Recomputed::Cancelled);
    EXPECT_GT(progress.lastDone, 0) << "cancelled while storing, not before";
    EXPECT_LT(progress.lastDone, 5000);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `%1` WHERE zero1 = 99").arg(kId)).toInt(),
              5000);
    EXPECT_EQ(logEntries(), 0);
    progress.cancelAt = -1;
    EXPECT_EQ(G_GetTemporalData(*session, QString(), progress, 5000), Recomputed::Done);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `%1` WHERE zero1 = 5").arg(kId)).toInt(),
              5000);
}

TEST_F(GraphDataTest, ADatabaseThatCannotBeWrittenIsLoggedOnceAndKeepsItsValues) {
    addReading("2026/03/10 08:00:00", "12.50", "21.5");
    addReading("2026/03/11 08:00:00", "13.50", "22.5");
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    open();
    EXPECT_EQ(G_GetTemporalData(*session, QStringLiteral("0.10"), progress), Recomputed::NotStored);
    EXPECT_EQ(logCount(" G_GetTemporalData"), 1);
    EXPECT_EQ(logEntries(), 1);
    EXPECT_EQ(stored("zero1", "2026/03/10 08:00:00"), "99");
    EXPECT_EQ(progress.ended, 1);
}

TEST_F(GraphDataTest, AMissingReadingsTableIsAnnouncedCreatedAndCountsNoReadings) {
    open();
    execSql(QStringLiteral("DROP TABLE `%1`").arg(kId));
    session->gConnection.forgetColumns();
    EXPECT_EQ(CountGraphData(*session), 0);
    dialogs.expect(QStringLiteral("The data table for Sensor 200525001 could not be found\r\nA "
                                  "new table will be created"));
    EXPECT_TRUE(TableExists(*session, databasePath, kId));
    EXPECT_EQ(logCount(" Module1_OpenGraphData"), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral("Err #1: no such table: 200525001")));

    execSql(QStringLiteral("DROP TABLE `%1`").arg(kId));
    OpenGraphData(*session);
    dialogs.expect(QStringLiteral("The data table for Sensor 200525001 could not be found\r\nA "
                                  "new table will be created"));
    EXPECT_FALSE(session->rsGraph.isOpen());
    EXPECT_TRUE(TableExists(*session, databasePath, kId));
    EXPECT_EQ(logCount(" Module1_OpenGraphData"), 2);
}

TEST_F(GraphDataTest, AReadingsTableThatCannotBeReadIsNeverOfferedForReplacement) {
    // A table of the sensor's name that lacks the plot mark: it exists, but the plottable
    // readings cannot be selected from it. Its rows must never be put at risk.
    execSql(QStringLiteral("DROP TABLE `%1`").arg(kId));
    execSql(QStringLiteral("CREATE TABLE `%1` (DateTimeKey TEXT, Channel1 TEXT)").arg(kId));
    execSql(QStringLiteral("INSERT INTO `%1` VALUES ('a', '1'), ('b', '2')").arg(kId));
    open();
    EXPECT_EQ(CountGraphData(*session), 0);
    OpenGraphData(*session);
    EXPECT_FALSE(session->rsGraph.isOpen());
    EXPECT_TRUE(dialogs.pending().empty()) << "no offer to overwrite the table";
    EXPECT_EQ(logCount(" Module1_OpenGraphData"), 2);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `%1`").arg(kId)).toInt(), 2);
}

TEST_F(GraphDataTest, OpenGraphDataHoldsThePlottableReadingsInTimeOrder) {
    addReading("2026/03/12 08:00:00", "3", "1");
    addReading("2026/03/10 08:00:00", "1", "1");
    addReading("2026/03/11 08:00:00", "2", "1", 1);
    open();
    OpenGraphData(*session);
    Recordset& rs = session->rsGraph;
    ASSERT_TRUE(rs.isOpen());
    EXPECT_EQ(rs.recordCount(), 2);
    EXPECT_EQ(rs.absolutePosition(), 1);
    EXPECT_EQ(displayText(need(rs.value(QStringLiteral("Channel1")))), "1");
    ASSERT_TRUE(rs.moveLast().ok());
    EXPECT_EQ(displayText(need(rs.value(QStringLiteral("Channel1")))), "3");
}

TEST_F(GraphDataTest, APlotReadsWallClockTimesAndLeavesOutWhatCannotBePlaced) {
    addReading("2026/03/10 08:00:00", "1", "10");
    addReading("2026/03/10 14:30:00", "2", "11");
    addReading("2026/03/11 08:00:00", "3", "12");
    open();
    ASSERT_EQ(G_GetTemporalData(*session, QString(), progress), Recomputed::Done);
    // Equal times keep the database's order; a Null value leaves out its point only;
    // a reading without a date has no place on the time axis.
    execSql(QStringLiteral("INSERT INTO `%1` (DateTimeKey, ReadingDate, FullDate, Channel1, zero1, "
                           "NumTemp, DoNotPlot) VALUES ('a', '2026-03-11', '2026-03-11 08:00:00', "
                           "'7', 7, NULL, 0), ('b', NULL, NULL, '5', 5, 5, 0)")
                .arg(kId));
    OpenGraphData(*session);
    const PlotData data = readPlotData(*session);
    EXPECT_EQ(data.readings, 5);
    const double eight = timeAxisValue(wallClock(QDate(2026, 3, 10), QTime(8, 0)));
    EXPECT_EQ(eight, double(QDateTime(QDate(2026, 3, 10), QTime(8, 0), Qt::UTC).toSecsSinceEpoch()))
        << "08:00 is 08:00 whatever the machine's zone";
    EXPECT_EQ(data.loadTimes,
              (QVector<double>{eight, eight + 6.5 * 3600, eight + 86400, eight + 86400}));
    EXPECT_EQ(data.loads, (QVector<double>{1, 2, 3, 7}));
    EXPECT_EQ(data.temperatures, (QVector<double>{10, 11, 12}));
    EXPECT_EQ(data.temperatureTimes.size(), 3);
    EXPECT_EQ(data.firstDay, QDate(2026, 3, 10));
    EXPECT_EQ(data.dayRange, 1);
}

} // namespace
