// The work on a sensor's readings table refuses an identifier that would end the quoting
// of the table's name: such a text never becomes part of a statement. Each engine finds
// the readings that hold a load by the program's own rule.
#include "store/ReadingsTable.h"
#include "core/NumberText.h"
#include "platform/Progress.h"
#include "tests/support/DataFolder.h"

using namespace rv;
using namespace rv::test;

namespace {

using ReadingsTableTest = DataFolderTest;
using HoldsLoadTest = TwoSensorsOnEachEngine;

TEST_F(ReadingsTableTest, AnIdentifierWithABackquoteNeverBecomesPartOfAStatement) {
    addSensorRow(QStringLiteral("200525001"));
    execSql(QStringLiteral("INSERT INTO `200525001` (DateTimeKey, Channel1, DoNotPlot, zero1) "
                           "VALUES ('a', '5', 1, 99)"));
    openStore();
    ASSERT_FALSE(HasFatalFailure());
    Connection& c = session->gConnection;
    NoProgress progress;

    const QString rewrite = QStringLiteral("200525001` SET zero1 = 0 --");
    const LoadsRecomputed done = recomputeLoads(c, rewrite, 0, progress);
    ASSERT_FALSE(done.status.ok());
    EXPECT_EQ(done.status.error().description,
              "No readings table can have the name 200525001` SET zero1 = 0 --");
    EXPECT_EQ(scalar(QStringLiteral("SELECT zero1 FROM `200525001`")).toDouble(), 99)
        << "a reading marked \"Do not plot\" keeps its load";

    const auto counted = countPlottableReadings(c, QStringLiteral("200525001` --"));
    EXPECT_FALSE(counted.ok()) << "never a count of every reading, the unplotted included";
    EXPECT_FALSE(readPlottedLoads(c, QStringLiteral("200525001` --"), 0).ok());
    EXPECT_FALSE(countPlottableReadings(c, QString()).ok());
}

// The texts in time order; the last one holds no load, so the latest with a load is
// "\u2029 3" (a paragraph separator is white space to the program).
TEST_P(HoldsLoadTest, TheEngineFindsTheReadingsThatHoldALoadByTheProgramsRule) {
    const QString id = QStringLiteral("200525001");
    const std::pair<QString, bool> texts[] = {
        {"5", true},
        {"  -.5", true},
        {"+7 t", true},
        {".", false},
        {"-", false},
        {"+-5", false},
        {"..5", false},
        {"x5", false},
        {"", false},
        {"\t\n\v\f\r9", true},
        {"\u0085\u00a0 1", true},
        {"\u1680\u2000\u200a\u3000 2", true},
        {"\u200b4", false},
        {"\u0663", false},
        {"\u2029 3", true},
        {"\u202f\u205fx", false},
    };
    std::vector<ReadingRow> rows;
    qint64 holding = 0;
    for (int i = 0; i < int(std::size(texts)); ++i) {
        const auto& [text, holds] = texts[i];
        EXPECT_EQ(hasLeadingNumber(text), holds) << i;
        holding += holds;
        rows.push_back(
            ReadingRow::at(
                id, QStringLiteral("2026/03/%1 08:00:00").arg(i + 1, 2, 10, QLatin1Char('0')))
                .channel1(text));
    }
    rows.push_back(ReadingRow::at(id, QStringLiteral("2026/03/31 08:00:00")).channel1(QVariant()));
    addReadings(id, rows);
    Connection& c = session->gConnection;

    EXPECT_EQ(need(countPlottableReadings(c, id)), holding);
    const auto latest = need(latestPlottedReadings(c, {id}));
    ASSERT_TRUE(latest.at(0));
    EXPECT_EQ(latest.at(0)->channel1, QStringLiteral("\u2029 3"));
    const auto previous =
        need(previousPlottedReading(c, id, QDateTime(QDate(2026, 3, 15), QTime(8, 0), Qt::UTC)));
    ASSERT_TRUE(previous);
    EXPECT_EQ(previous->channel1, QStringLiteral("\u1680\u2000\u200a\u3000 2"));
}
INSTANTIATE_TEST_SUITE_P(BothEngines, HoldsLoadTest, bothEngines(), engineName);

} // namespace
