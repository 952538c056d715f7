// The work on a sensor's readings table refuses an identifier that would end the quoting
// of the table's name: such a text never becomes part of a statement.
#include "store/ReadingsTable.h"
#include "platform/Progress.h"
#include "tests/support/DataFolder.h"

using namespace rv;
using namespace rv::test;

namespace {

using ReadingsTableTest = DataFolderTest;

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

} // namespace
