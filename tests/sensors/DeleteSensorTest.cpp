// Deleting the current sensor: its readings table, its own NetworkConfig row and its
// Sensors row; the list is rebuilt and the first remaining sensor shown.
#include "tests/sensors/RegistryFixture.h"

using namespace rv;
using namespace rv::test;
using namespace Qt::StringLiterals;

namespace {

class DeleteSensorTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        execSql(u"INSERT INTO NetworkConfig (SensorID, NodeAddress) VALUES ('200525001', 'n1'), "
                "('200525002', 'n2'), ('200525003', 'n3'), (NULL, 'spare'), ('', 'blank')"_s);
        startWith({u"200525001"_s, u"200525002"_s, u"200525003"_s});
    }
    void deleteShown() {
        const QString sensor = shown();
        dialogs.answerYes();
        id().imgDelete->click();
        dialogs.expect(u"Permanently delete Sensor "_s + sensor + u" from database?"_s, kTitleCaps,
                       Icon::None, Buttons::YesNo);
    }
    int network() { return rows(u"SELECT count(*) FROM NetworkConfig"_s); }
};

// On the database file and on a site server database alike.
using DeleteSensorOnEachEngine = OnEachEngine<DeleteSensorTest>;

TEST_P(DeleteSensorOnEachEngine, DeletingAMiddleSensorRemovesOnlyWhatIsItsOwn) {
    dialogs.answerNo();
    id().Label55->click();
    dialogs.take();
    EXPECT_EQ(sensors(), 3);
    EXPECT_TRUE(tableExists(u"200525001"_s));
    EXPECT_EQ(network(), 5);

    id().imgNext->click();
    level()->setText(u"unsaved"_s);
    deleteShown();
    EXPECT_FALSE(tableExists(u"200525002"_s));
    EXPECT_EQ(rows(u"SELECT count(*) FROM Sensors WHERE InstrumentID = '200525002'"_s), 0);
    EXPECT_EQ(rows(u"SELECT count(*) FROM NetworkConfig WHERE SensorID = '200525002'"_s), 0);
    EXPECT_EQ(network(), 4) << "the other rows stay";
    EXPECT_TRUE(tableExists(u"200525001"_s));
    EXPECT_EQ(rows(u"SELECT count(*) FROM Sensors WHERE Level = 'unsaved'"_s), 0);
    EXPECT_EQ(rows(u"SELECT count(*) FROM ChangeActions a JOIN ReadingChanges c ON c.ActionID = "
                   "a.ActionID WHERE a.InstrumentID = '200525002' AND a.How = 'Delete sensor' "
                   "AND c.Kind = 'Sensor deleted'"_s),
              1)
        << "the deletion is in the history";

    EXPECT_EQ(listed(), QStringList({"200525001", "200525003"}));
    EXPECT_EQ(shown(), "200525001");
    EXPECT_EQ(box()->currentText(), "200525001");
    EXPECT_EQ(id().txtSnav->text(), "1 of 2");
    EXPECT_EQ(count(), "2");
    EXPECT_EQ(logEntries(), 0);
}
INSTANTIATE_TEST_SUITE_P(BothEngines, DeleteSensorOnEachEngine, bothEngines(), engineName);

TEST_F(DeleteSensorTest, DeletingEverySensorLeavesTheNoSensorState) {
    execSql(u"DROP TABLE `200525001`"_s); // a missing table does not stop the deletion
    for (int i = 0; i < 3; ++i)
        deleteShown();
    EXPECT_EQ(sensors(), 0);
    EXPECT_TRUE(listed().isEmpty());
    EXPECT_EQ(box()->currentText(), "");
    EXPECT_EQ(shown(), "");
    EXPECT_EQ(id().txtSnav->text(), "No records");
    EXPECT_EQ(count(), "0");

    // Nothing left to delete: no question, and the rows naming no sensor stay.
    id().imgDelete->click();
    EXPECT_EQ(network(), 2);
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(DeleteSensorTest, AnIdentifierNamingAFixedTableNeverDropsIt) {
    execSql(u"INSERT INTO Sensors (InstrumentID, SensorType) VALUES ('Prefs', '25')"_s);
    ASSERT_TRUE(s().rsSensors.requery().ok());
    ASSERT_TRUE(s().rsSensors.moveLast().ok());
    window->record->fillfields();
    deleteShown();
    EXPECT_TRUE(tableExists(u"Prefs"_s));
    EXPECT_EQ(sensors(), 3);
}

TEST_F(DeleteSensorTest, UnderAFilterTheListKeepsToThePassingSensors) {
    execSql(u"UPDATE Sensors SET Destroyed = 'Yes' WHERE InstrumentID = '200525002'"_s);
    ASSERT_TRUE(s().rsSensors.requery().ok());
    filter().chkDontShowDestroyed->setChecked(true);
    filter().imgFilter->click();
    id().imgNext->click();
    deleteShown();
    EXPECT_EQ(listed(), QStringList({"200525001"}));
    EXPECT_EQ(count(), "1");
    EXPECT_EQ(sensors(), 2);
}

} // namespace
