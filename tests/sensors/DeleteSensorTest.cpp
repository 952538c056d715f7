// Deleting the current sensor: its readings table, its own NetworkConfig row, its alarm
// levels, its import history and its Sensors row, all or nothing; the list is rebuilt and
// the first remaining sensor shown.
#include "tests/sensors/RegistryFixture.h"
#include <optional>
#include <string>

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

TEST_P(DeleteSensorOnEachEngine, DeletingEverySensorLeavesTheNoSensorState) {
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
INSTANTIATE_TEST_SUITE_P(BothEngines, DeleteSensorOnEachEngine, bothEngines(), engineName);

// What the middle sensor holds besides its Sensors row: readings, alarm levels and an
// import, all of which go with it or stay with it.
class DeleteKeepingTest : public DeleteSensorTest {
protected:
    void SetUp() override {
        DeleteSensorTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        addReadings(u"200525002"_s,
                    {ReadingRow::at(u"200525002"_s, u"2005/03/01 08:00:00"_s).channel1(u"1.00"_s),
                     ReadingRow::at(u"200525002"_s, u"2005/03/02 08:00:00"_s).channel1(u"2.00"_s)});
        execSql(u"INSERT INTO AlarmLevels (InstrumentID, AlertLoad) VALUES ('200525002', 5)"_s);
        execSql(u"INSERT INTO ImportBatches (InstrumentID, FileName, RowsAppended) VALUES "
                "('200525002', 'logger.csv', 2)"_s);
        execSql(u"INSERT INTO ImportBatchRows (BatchID, DateTimeKey) SELECT BatchID, "
                "'200525002 2005/03/01 08:00:00' FROM ImportBatches"_s);
        id().imgNext->click();
    }
    // Everything of sensor 200525002, "Sensors=1 NetworkConfig=1 ... readings=2" (readings
    // "none" without its table), and the deletions the history holds.
    std::string heldOfMiddleSensor() {
        QStringList held;
        for (const QString& table :
             {u"Sensors"_s, u"NetworkConfig"_s, u"AlarmLevels"_s, u"ImportBatches"_s}) {
            const QString column = table == u"NetworkConfig"_s ? u"SensorID"_s : u"InstrumentID"_s;
            held << u"%1=%2"_s.arg(table).arg(
                rows(u"SELECT count(*) FROM %1 WHERE %2 = '200525002'"_s.arg(table, column)));
        }
        held << u"ImportBatchRows=%1"_s.arg(rows(u"SELECT count(*) FROM ImportBatchRows"_s));
        held << u"readings=%1"_s.arg(tableExists(u"200525002"_s)
                                         ? QString::number(rows(u"SELECT count(*) FROM "
                                                                "`200525002`"_s))
                                         : u"none"_s);
        held << u"deletions=%1"_s.arg(rows(u"SELECT count(*) FROM ReadingChanges WHERE Kind = "
                                           "'Sensor deleted'"_s));
        return held.join(u' ').toStdString();
    }
    void expectKeptAndShown(const QString& why) {
        EXPECT_EQ(heldOfMiddleSensor(), "Sensors=1 NetworkConfig=1 AlarmLevels=1 ImportBatches=1 "
                                        "ImportBatchRows=1 readings=2 deletions=0");
        EXPECT_EQ(listed(), QStringList({"200525001", "200525002", "200525003"}));
        EXPECT_EQ(shown().toStdString(), "200525002");
        EXPECT_EQ(box()->currentText().toStdString(), "200525002");
        EXPECT_EQ(id().txtSnav->text().toStdString(), "2 of 3");
        EXPECT_EQ(count().toStdString(), "3");
        // The question, then why the sensor is still there.
        dialogs.expect(u"Permanently delete Sensor 200525002 from database?"_s, kTitleCaps,
                       Icon::None, Buttons::YesNo);
        const Message told = dialogs.take();
        EXPECT_TRUE(told.text.startsWith(u"Sensor 200525002 was not deleted: "_s))
            << told.text.toStdString();
        EXPECT_TRUE(told.text.contains(why)) << told.text.toStdString();
        EXPECT_TRUE(told.text.endsWith(u"Its record, its readings, its alarm levels and its "
                                       "import history are kept as they were."_s))
            << told.text.toStdString();
        EXPECT_EQ(told.title, kTitleCaps);
        EXPECT_EQ(told.icon, Icon::Exclamation);
        // The registry goes on from the sensor kept.
        id().imgNext->click();
        EXPECT_EQ(id().txtSnav->text().toStdString(), "3 of 3");
        id().imgPrevious->click();
        EXPECT_EQ(shown().toStdString(), "200525002");
    }
};
using DeleteKeepingOnEachEngine = OnEachEngine<DeleteKeepingTest>;

// The deletion is one transaction: a step the database refuses, whichever, leaves the sensor
// with everything it held, and the engineer is told. Its readings table was dropped first.
TEST_P(DeleteKeepingOnEachEngine, ARefusedStepDeletesNothingAndSaysWhy) {
    const struct {
        const char* table;
        const char* event;
    } refused[] = {
        {"Sensors", "DELETE"},       // the last step, after its readings table was dropped
        {"ChangeActions", "INSERT"}, // the deletion cannot be kept in the history
        {"NetworkConfig", "DELETE"}, {"AlarmLevels", "DELETE"}, {"ImportBatches", "DELETE"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.table);
        refuse(QString::fromLatin1(r.table), QString::fromLatin1(r.event), u"no deletions today"_s);
        dialogs.answerYes();
        id().imgDelete->click();
        expectKeptAndShown(u"no deletions today"_s);
        allow(QString::fromLatin1(r.table), QString::fromLatin1(r.event));
    }
    EXPECT_EQ(logEntries(), int(std::size(refused)));
    EXPECT_EQ(logText().count(u" imgDelete_Click\r\n"_s), int(std::size(refused)));

    // Nothing is left half done: the next deletion deletes it all.
    deleteShown();
    EXPECT_EQ(heldOfMiddleSensor(), "Sensors=0 NetworkConfig=0 AlarmLevels=0 ImportBatches=0 "
                                    "ImportBatchRows=0 readings=none deletions=1");
    EXPECT_EQ(listed(), QStringList({"200525001", "200525003"}));
    EXPECT_EQ(shown(), "200525001");
}

// Every step done and the end of the transaction refused: on the server a check it makes at
// the commit, on the file another program reading it meanwhile (the file stays locked). The
// sensor, which the registry had already let go, is listed and shown again.
TEST_P(DeleteKeepingOnEachEngine, ARefusedCommitDeletesNothingAndSaysWhy) {
    Connection reader;
    std::optional<Query> reading;
    QString why;
    if (onServer()) {
        execSql(u"CREATE FUNCTION rv_refuse_at_commit() RETURNS trigger LANGUAGE plpgsql AS "
                "'BEGIN RAISE EXCEPTION ''not at the end of the day''; END'"_s);
        execSql(u"CREATE CONSTRAINT TRIGGER rv_refuse_at_commit AFTER DELETE ON Sensors "
                "DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION "
                "rv_refuse_at_commit()"_s);
        why = u"not at the end of the day"_s;
    } else {
        ASSERT_TRUE(openDatabase(reader).ok());
        ASSERT_TRUE(reader.begin().ok());
        reading.emplace(reader, u"SELECT count(*) FROM Sensors"_s);
        ASSERT_TRUE(reading->next());
        why = u"locked"_s;
    }
    dialogs.answerYes();
    id().imgDelete->click();
    reading.reset();
    reader.close();
    expectKeptAndShown(why);
    EXPECT_EQ(logEntries(), 1);
}
INSTANTIATE_TEST_SUITE_P(BothEngines, DeleteKeepingOnEachEngine, bothEngines(), engineName);

// A damaged Sensors row naming one of the program's own tables loses its row, never the
// table: the first and the last of them, and the change history's in another letter case.
TEST_F(DeleteSensorTest, AnIdentifierNamingOneOfTheProgramsTablesNeverDropsIt) {
    ASSERT_TRUE(tableExists(u"ReadingChanges"_s));
    for (const QString& id : {u"Configuration"_s, u"readingchanges"_s, u"ReadingChanges"_s}) {
        SCOPED_TRACE(id.toStdString());
        execSql(u"INSERT INTO Sensors (InstrumentID, SensorType) VALUES ('%1', '25')"_s.arg(id));
        ASSERT_TRUE(s().rsSensors.requery().ok());
        ASSERT_TRUE(s().rsSensors.moveFirst().ok());
        ASSERT_TRUE(s().rsSensors.find(u"InstrumentID = '"_s + id + u"'"_s).ok());
        window->record->fillfields();
        deleteShown();
        EXPECT_EQ(sensors(), 3);
    }
    EXPECT_TRUE(tableExists(u"Configuration"_s));
    EXPECT_TRUE(tableExists(u"ReadingChanges"_s));
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
