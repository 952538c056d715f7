// Readings tables: whether one exists; the preferences; files and folders.
#include "store/Module1.h"
#include "store/ChangeHistory.h"
#include "store/ReadingsAppend.h"
#include "store/ReadingsTable.h"
#include "tests/support/DataFolder.h"
#include <QFile>

using namespace rv;
using namespace rv::test;

namespace {

using Module1Test = TwoSensorsTest;

TEST_F(Module1Test, TableExistsMatchesTheWholeNameWithItsLetterCase) {
    Session& s = *session;
    EXPECT_TRUE(TableExists(s, databasePath, QStringLiteral("200525001")));
    EXPECT_TRUE(TableExists(s, databasePath, QStringLiteral("Sensors")));
    EXPECT_FALSE(TableExists(s, databasePath, QStringLiteral("sensors")));
    EXPECT_FALSE(TableExists(s, databasePath, QStringLiteral("20052500")));
    EXPECT_FALSE(TableExists(s, databasePath, QStringLiteral("200525009")));
    execSql(QStringLiteral("CREATE TABLE MSysObjects (x TEXT); CREATE TABLE msysLower (x TEXT)"));
    EXPECT_FALSE(TableExists(s, databasePath, QStringLiteral("MSysObjects")))
        << "the engine's own tables never count";
    EXPECT_TRUE(TableExists(s, databasePath, QStringLiteral("msysLower")))
        << "the MSys test is case-sensitive";
    EXPECT_EQ(logEntries(), 0);
}

// A damaged Sensors row naming the history of changes (a reading's columns and all) must
// never have it shown as readings, where it could be changed or emptied, nor imported into.
TEST_F(Module1Test, NoneOfTheProgramsOwnTablesIsOpenedOrAppendedToAsReadings) {
    ASSERT_TRUE(ensureChangeTables(session->gConnection).ok());
    Recordset rs;
    for (const char* id : {"ReadingChanges", "readingchanges", "Configuration"}) {
        const Status opened = openReadings(session->gConnection, rs, QString::fromLatin1(id));
        ASSERT_FALSE(opened.ok()) << id;
        EXPECT_EQ(opened.error().description.toStdString(),
                  std::string("No readings table can have the name ") + id);
        EXPECT_FALSE(rs.isOpen()) << id;
        const ReadingsAppend append(session->gConnection, QString::fromLatin1(id));
        ASSERT_FALSE(append.started().ok()) << id;
        EXPECT_EQ(append.started().error().description.toStdString(),
                  std::string("No readings table can have the name ") + id);
        const auto loads = readPlottedLoads(session->gConnection, QString::fromLatin1(id), 0.0);
        EXPECT_FALSE(loads.ok()) << "nor read for a plot or its loads recomputed: " << id;
        EXPECT_FALSE(replaceReadingsTable(session->gConnection, QString::fromLatin1(id)).ok())
            << "nor emptied and made again: " << id;
    }
    EXPECT_TRUE(openReadings(session->gConnection, rs, QStringLiteral("200525001")).ok());
}

TEST_F(Module1Test, TableExistsOnAMissingDatabaseAnswersFalseAndLogs) {
    EXPECT_FALSE(TableExists(*session, dataFolder + QStringLiteral("/gone.mdb"),
                             QStringLiteral("200525001")));
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" Module1_TableExists")));
    EXPECT_FALSE(QFile::exists(dataFolder + QStringLiteral("/gone.mdb")));
}

TEST_F(Module1Test, GetPrefsReadsMaxYAsTextAndLogsAnEmptyTable) {
    GetPrefs(*session);
    EXPECT_EQ(session->gPrefMaxY, "20");
    execSql(QStringLiteral("DELETE FROM Prefs"));
    session->gPrefMaxY.clear();
    GetPrefs(*session);
    EXPECT_EQ(session->gPrefMaxY, "");
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" Module1_GetPrefs")));
}

TEST_F(Module1Test, FileAndFolderExistence) {
    EXPECT_TRUE(FileExists(databasePath));
    EXPECT_FALSE(FileExists(dataFolder));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_TRUE(FolderExists(dataFolder));
    EXPECT_FALSE(FolderExists(databasePath));
}

} // namespace
