// The tables a database of an earlier version gains when the program opens it: made
// together or not at all.
#include "alarms/AlarmStore.h"
#include "history/ImportHistory.h"
#include "maintenance/DatabaseCheck.h"
#include "store/Connection.h"
#include "tests/support/DataFolder.h"
#include <gtest/gtest.h>

using namespace rv;
using namespace rv::test;
using namespace Qt::StringLiterals;

namespace {

class NewTablesTest : public DataFolderTest {
protected:
    int tables(const QString& names) {
        return scalar(u"SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN (%1)"_s
                          .arg(names))
            .toInt();
    }
    const QString kNew = u"'AlarmLevels', 'ImportBatches', 'ImportBatchRows'"_s;
};

TEST_F(NewTablesTest, AnOlderDatabaseGainsEveryNewTableOnceAndKeepsItsOwn) {
    addSensorRow(u"200525001"_s);
    ASSERT_EQ(tables(kNew), 0);
    const int before = scalar(u"SELECT count(*) FROM sqlite_master"_s).toInt();
    {
        Connection c;
        ASSERT_TRUE(c.open(databasePath).ok());
        ASSERT_TRUE(ensureNewTables(c).ok());
        EXPECT_TRUE(hasAlarmTable(c));
        EXPECT_TRUE(hasHistoryTables(c));
        // A second opening finds them and changes nothing.
        const int after = scalar(u"SELECT count(*) FROM sqlite_master"_s).toInt();
        ASSERT_TRUE(ensureNewTables(c).ok());
        EXPECT_EQ(scalar(u"SELECT count(*) FROM sqlite_master"_s).toInt(), after);
        EXPECT_GT(after, before);
    }
    EXPECT_EQ(tables(kNew), 3);
    EXPECT_EQ(tables(u"'200525001', 'Sensors', 'Configuration'"_s), 3);
}

TEST_F(NewTablesTest, WhenOneCannotBeMadeNoneIsMade) {
    // A table of the user's own holds the name an index of the history needs: the history
    // cannot be made, and the alarm table made before it in the same step is undone too.
    execSql(u"CREATE TABLE ImportBatchRows_BatchID (x)"_s);
    {
        Connection c;
        ASSERT_TRUE(c.open(databasePath).ok());
        EXPECT_FALSE(ensureNewTables(c).ok());
        EXPECT_FALSE(hasAlarmTable(c));
        // The connection is usable afterwards: no transaction is left open.
        EXPECT_TRUE(c.execute(u"CREATE TABLE Scratch (x)"_s).ok());
    }
    EXPECT_EQ(tables(kNew), 0);
    EXPECT_EQ(tables(u"'Scratch'"_s), 1);
}

} // namespace
