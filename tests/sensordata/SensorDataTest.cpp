// The current sensor's readings table: created shaped like the template, replaced only
// after the question, opened on the first reading, a missing one announced and created.
#include "sensordata/SensorData.h"
#include "store/ChangeHistory.h"
#include "store/Module1.h"
#include "tests/support/DataFolder.h"

using namespace rv;
using namespace rv::test;

namespace {

class SensorDataTest : public TwoSensorsTest {
protected:
    void addReading(const QString& id, const QString& key) {
        addReadings(id, {ReadingRow(key).fullDate(QStringLiteral("2010-01-01 10:00:00"))});
    }
};

TEST_F(SensorDataTest, AddDataTableCreatesAnEmptyTableShapedLikeTheTemplate) {
    execSql(QStringLiteral("INSERT INTO Sensors (InstrumentID) VALUES ('200525003')"));
    ASSERT_TRUE(session->rsSensors.requery().ok());
    ASSERT_TRUE(session->rsSensors.find(QStringLiteral("InstrumentID = '200525003'")).ok());
    AddDataTable(*session);
    EXPECT_TRUE(TableExists(*session, location, QStringLiteral("200525003")));
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `200525003`")).toInt(), 0);
    const QString created =
        scalar(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = '200525003'")).toString();
    const QString templ =
        scalar(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'sensordata'"))
            .toString();
    EXPECT_EQ(created.mid(created.indexOf('(')), templ.mid(templ.indexOf('(')))
        << "columns, types, defaults and checks come along";
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND "
                                    "tbl_name = '200525003'"))
                  .toInt(),
              2)
        << "the key's uniqueness and the FullDate index";
}

TEST_F(SensorDataTest, OverwritingAskingNoKeepsTheReadings) {
    addReading(QStringLiteral("200525001"), QStringLiteral("k1"));
    dialogs.answerNo();
    AddDataTable(*session);
    dialogs.expect(QStringLiteral("Table 200525001 Already Exists"));
    dialogs.expect(QStringLiteral("Table 200525001 already exists\r\nDo you want to overwrite this "
                                  "table?"),
                   kTitleCaps, Icon::None, Buttons::YesNo);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `200525001`")).toInt(), 1);
}

TEST_F(SensorDataTest, OpenSensorDataOpensTheCurrentSensorsReadingsOnTheFirstRow) {
    addReading(QStringLiteral("200525002"), QStringLiteral("k2"));
    ASSERT_TRUE(session->rsSensors.moveNext().ok());
    OpenSensorData(*session);
    ASSERT_TRUE(session->rsReadings.isOpen());
    EXPECT_EQ(session->rsReadings.recordCount(), 1);
    EXPECT_EQ(session->rsReadings.absolutePosition(), 1);
}

// On the database file and on a site server database alike.
using SensorDataOnEachEngine = OnEachEngine<SensorDataTest>;

TEST_P(SensorDataOnEachEngine, AMissingReadingsTableIsAnnouncedCreatedAndOpenedEmpty) {
    addReading(QStringLiteral("200525002"), QStringLiteral("k2"));
    ASSERT_TRUE(session->rsSensors.moveNext().ok());
    OpenSensorData(*session); // another sensor's readings are open
    ASSERT_TRUE(session->rsSensors.moveFirst().ok());
    execSql(QStringLiteral("DROP TABLE `200525001`"));
    OpenSensorData(*session);
    dialogs.expect(QStringLiteral("The data table for Sensor 200525001 could not be found\r\nA new "
                                  "table will be created"));
    EXPECT_TRUE(TableExists(*session, location, QStringLiteral("200525001")));
    ASSERT_TRUE(session->rsReadings.isOpen());
    EXPECT_EQ(session->rsReadings.recordCount(), 0) << "never the other sensor's readings";
    OpenSensorData(*session);
    EXPECT_TRUE(dialogs.pending().empty()) << "the next showing opens it without a message";
}
TEST_P(SensorDataOnEachEngine, OverwritingAskingYesEmptiesTheTableKeepingItsReadingsInTheHistory) {
    ASSERT_TRUE(ensureChangeTables(session->gConnection).ok()); // as opening the database does
    addReading(QStringLiteral("200525001"), QStringLiteral("200525001 2010/01/01 10:00:00"));
    dialogs.answerYes();
    AddDataTable(*session);
    dialogs.take();
    dialogs.take();
    EXPECT_EQ(logEntries(), 0) << logText().toStdString();
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `200525001`")).toInt(), 0);
    const std::vector<ChangeEntry> kept = need(listChanges(session->gConnection, {}));
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].kind.toStdString(), "Deleted");
    EXPECT_EQ(kept[0].how.toStdString(), "Add sensor");
    EXPECT_EQ(need(putBack(session->gConnection, kept[0].id, QStringLiteral("Changes window"))), 1);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `200525001`")).toInt(), 1);
}
INSTANTIATE_TEST_SUITE_P(BothEngines, SensorDataOnEachEngine, bothEngines(), engineName);

// A table that cannot be made again (its template gone) is left as it was, its readings
// in it, and nothing is recorded.
TEST_F(SensorDataTest, OverwritingThatCannotMakeTheTableAgainLeavesItAsItWas) {
    ASSERT_TRUE(ensureChangeTables(session->gConnection).ok());
    addReading(QStringLiteral("200525001"), QStringLiteral("200525001 2010/01/01 10:00:00"));
    execSql(QStringLiteral("DROP TABLE sensordata"));
    dialogs.answerYes();
    AddDataTable(*session);
    dialogs.clear(); // "Table 200525001 Already Exists" and the question
    EXPECT_EQ(logEntries(), 1);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `200525001`")).toInt(), 1);
    EXPECT_TRUE(need(listChanges(session->gConnection, {})).empty());
}

TEST_F(SensorDataTest, NoCurrentSensorLogsUnderTheProceduresLabel) {
    ASSERT_TRUE(session->rsSensors.moveLast().ok());
    ASSERT_TRUE(session->rsSensors.moveNext().ok());
    OpenSensorData(*session);
    AddDataTable(*session);
    EXPECT_EQ(logEntries(), 2);
    EXPECT_TRUE(logText().contains(QStringLiteral(": Either BOF or EOF is True, or the current "
                                                  "record has been deleted. Requested operation "
                                                  "requires a current record. "
                                                  "Module1_OpenSensorData")));
    EXPECT_TRUE(logText().contains(QStringLiteral(" Module1_AddDataTable")));
}

} // namespace
