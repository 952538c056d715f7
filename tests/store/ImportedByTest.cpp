// Each import batch keeps who appended it: the login name on a file, the database user on a
// site server; a history made before it kept that gains the column with its next batch.
#include "platform/SingleInstance.h"
#include "store/ImportHistoryTable.h"
#include "tests/support/DataFolder.h"

using namespace rv;
using namespace rv::test;

namespace {

using ImportedByTest = TwoSensorsOnEachEngine;

ImportBatch batchOf(const QString& file, const QString& by = {}) {
    return ImportBatch{0, QStringLiteral("200525001"), file, QString(40, u'a'), QDateTime(), 1, by};
}

TEST_P(ImportedByTest, ABatchKeepsWhoAppendedItAndAnOlderHistoryGainsTheColumn) {
    Connection& c = session->gConnection;
    // The history as the program first made it, without the column.
    execSql(QStringLiteral("DROP TABLE IF EXISTS ImportBatches"));
    execSql(QStringLiteral("CREATE TABLE ImportBatches (BatchID INTEGER PRIMARY KEY AUTOINCREMENT, "
                           "InstrumentID TEXT NOT NULL, FileName TEXT, Sha256 TEXT, ImportedAt "
                           "DATETIME, RowsAppended INTEGER)"));
    execSql(QStringLiteral("INSERT INTO ImportBatches (InstrumentID, FileName, RowsAppended) "
                           "VALUES ('200525001', 'old.txt', 3)"));
    c.forgetColumns();
    ASSERT_EQ(need(listBatches(c, QStringLiteral("200525001"))).size(), 1u);

    ASSERT_TRUE(c.begin().ok());
    ASSERT_TRUE(startBatch(c, batchOf(QStringLiteral("new.txt"))).ok());
    ASSERT_TRUE(startBatch(c, batchOf(QStringLiteral("named.txt"), QStringLiteral("jo"))).ok());
    ASSERT_TRUE(c.commit().ok());

    const std::vector<ImportBatch> batches = need(listBatches(c, QStringLiteral("200525001")));
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0].by, QStringLiteral("jo"));
    const QString expected =
        onServer() ? scalar(QStringLiteral("SELECT current_user")).toString() : currentUserName();
    EXPECT_FALSE(expected.isEmpty());
    EXPECT_EQ(batches[1].fileName, QStringLiteral("new.txt"));
    EXPECT_EQ(batches[1].by, expected);
    EXPECT_EQ(batches[2].by, QString()) << "a batch from before is nobody's";
}

INSTANTIATE_TEST_SUITE_P(BothEngines, ImportedByTest, bothEngines(), engineName);

} // namespace
