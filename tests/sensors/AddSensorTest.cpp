// Adding a sensor: the "Add New" prompt, Enter in the sensor box, the checks of the typed
// number, and the new row, readings table, list and display.
#include "tests/sensors/RegistryFixture.h"
#include <QTest>
#include <QThread>
#include <thread>

using namespace rv;
using namespace rv::test;
using namespace Qt::StringLiterals;

namespace {

void expectQuestion(FakeDialogs& dialogs, const QString& id) {
    dialogs.expect(u"Do you want to add new Sensor "_s + id + u" to the database?"_s, kTitle,
                   Icon::None, Buttons::YesNo);
}

void expectExists(FakeDialogs& dialogs, const QString& id) {
    dialogs.expect(u"Sensor "_s + id +
                       u" already exists\r\n\r\nType a new sensor number in the 'Add or Select "
                       "Sensor' combo box\r\nThen click 'Add New' or hit the Enter key"_s,
                   kTitle, Icon::Information);
}

class AddSensorTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        startWith({u"200525001"_s, u"200525003"_s});
    }
    void typeAndEnter(const QString& text) {
        box()->setEditText(text);
        QTest::keyClick(box(), Qt::Key_Return);
    }
    void prompted(const QString& answer) {
        dialogs.promptAnswer(answer);
        id().imgAddSensor->click();
    }
};

// On the database file and on a site server database alike.
using AddSensorOnEachEngine = OnEachEngine<AddSensorTest>;

TEST_P(AddSensorOnEachEngine, ANewNumberBecomesTheCurrentSensorWithAnEmptyReadingsTable) {
    level()->setText(u"L4"_s);
    dialogs.answerYes();
    prompted(u"060125007"_s);
    ASSERT_EQ(dialogs.prompts.size(), 1u);
    EXPECT_EQ(dialogs.prompts[0].text, "Enter new Sensor No:");
    EXPECT_EQ(dialogs.prompts[0].title, "Add New Sensor");
    EXPECT_EQ(dialogs.prompts[0].defaultAnswer, "");
    expectQuestion(dialogs, u"060125007"_s);

    const QString added = u"060125007"_s;
    const std::pair<const char*, const char*> columns[] = {{"DateID", "0601"},
                                                           {"SensorType", "25"},
                                                           {"TypeID", "25"},
                                                           {"SensorNo", "007"},
                                                           {"Family", "Load Cell"},
                                                           {"Model", "LODIX Hydraulic Load Cell"},
                                                           {"InstallDate", "2026-03-14"},
                                                           {"Destroyed", "No"},
                                                           {"HeadLocation", "1"}};
    for (const auto& [name, value] : columns)
        EXPECT_EQ(column(QString::fromLatin1(name), added), value) << name;
    EXPECT_TRUE(tableExists(added));
    EXPECT_EQ(rows(u"SELECT count(*) FROM `060125007`"_s), 0);
    EXPECT_EQ(column(u"Level"_s, u"200525001"_s), "L4") << "the sensor shown before is saved";

    EXPECT_EQ(shown(), added);
    EXPECT_EQ(id().txtSensorNo->text(), "007");
    EXPECT_EQ(id().txtSnav->text(), "1 of 3") << "in identifier order again";
    EXPECT_EQ(count(), "3");
    EXPECT_EQ(box()->currentText(), added);
    EXPECT_EQ(listed(), QStringList({"060125007", "200525001", "200525003"}));
    id().imgNext->click();
    EXPECT_EQ(shown(), "200525001");

    // Enter in the sensor box adds the typed number the same way.
    dialogs.answerYes();
    typeAndEnter(u"200525002"_s);
    expectQuestion(dialogs, u"200525002"_s);
    EXPECT_EQ(shown(), "200525002");
    EXPECT_EQ(id().txtSnav->text(), "3 of 4");
    EXPECT_EQ(logEntries(), 0);
}
INSTANTIATE_TEST_SUITE_P(BothEngines, AddSensorOnEachEngine, bothEngines(), engineName);

// Two engineers on one site server adding the same number: the second is told it exists
// and its list gains it, whether the first added it while the question was open or in the
// instant before the second's row was written (held in a transaction the first commits
// while the second's row waits on it).
class AddSensorOnServer : public AddSensorTest {
protected:
    StoreEngine engine() const override { return StoreEngine::Server; }
    void addedElsewhereAt(const QString& question, const std::function<void()>& add) {
        dialogs.whileShown = [=](const Message& m) {
            if (m.text == question) add();
        };
        dialogs.answerYes();
        prompted(u"060125007"_s);
        expectQuestion(dialogs, u"060125007"_s);
        expectExists(dialogs, u"060125007"_s);
        EXPECT_EQ(rows(u"SELECT count(*) FROM Sensors WHERE InstrumentID = '060125007'"_s), 1);
        EXPECT_EQ(listed(), QStringList({"060125007", "200525001", "200525003"}));
        EXPECT_EQ(count(), "3");
        EXPECT_EQ(shown(), "060125007");
        EXPECT_EQ(logEntries(), 0);
    }
    const QString question = u"Do you want to add new Sensor 060125007 to the database?"_s;
    // The other engineer's program adds the row and the readings table as this one does.
    const QStringList added = {
        u"INSERT INTO Sensors (InstrumentID, DateID, SensorType, TypeID, SensorNo, Family, "
        "Model, InstallDate, Destroyed, HeadLocation) VALUES ('060125007', '0601', '25', "
        "'25', '007', 'Load Cell', 'LODIX Hydraulic Load Cell', '2026-03-14', 'No', 1)"_s,
        u"SELECT * INTO `060125007` FROM sensordata WHERE DateTimeKey IS NULL"_s};
};

TEST_F(AddSensorOnServer, ANumberAnotherEngineerAddedWhileTheQuestionWasOpenIsToldAsExisting) {
    addedElsewhereAt(question, [&] {
        for (const QString& sql : added)
            execSql(sql);
    });
}

TEST_F(AddSensorOnServer, ANumberAnotherEngineerAddsAtTheSameInstantIsToldAsExisting) {
    Connection other;
    ASSERT_TRUE(openDatabase(other).ok());
    std::thread commitLater;
    addedElsewhereAt(question, [&] {
        ASSERT_TRUE(other.begin().ok());
        ASSERT_TRUE(other.execute(added[0]).ok()) << other.lastError().description.toStdString();
        commitLater = std::thread([&] {
            QThread::msleep(500);
            EXPECT_TRUE(other.commit().ok());
        });
    });
    commitLater.join();
}

TEST_F(AddSensorTest, RefusedNumbersAddNothing) {
    dialogs.promptAnswer(std::nullopt);
    id().Label57->click();
    dialogs.expect(u"No sensor entered"_s);
    prompted(QString());
    dialogs.expect(u"No sensor entered"_s);

    const std::pair<QString, const char*> cases[] = {
        {u"20052500"_s, "Sensor # must be 9 digits"},
        {u"2005250071"_s, "Sensor # must be 9 digits"},
        {u"20052a007"_s, "Sensor # must be a numeric value"},
        {u"200525000"_s, "Last 3 digits must be between 001 and 999"},
        {u"\u0662\u0660\u0660\u0665\u0662\u0665\u0660\u0660\u0667"_s,
         "Sensor # must be a numeric value"},
    };
    for (const auto& [typed, message] : cases) {
        prompted(typed);
        dialogs.expect(QString::fromLatin1(message), u"Invalid Sensor Number"_s);
        EXPECT_EQ(box()->currentText(), typed);
    }
    typeAndEnter(QString(50, u'7')); // pasted
    dialogs.expect(u"Sensor # must be 9 digits"_s, u"Invalid Sensor Number"_s);

    dialogs.answerNo();
    typeAndEnter(u"200525004"_s);
    expectQuestion(dialogs, u"200525004"_s);
    EXPECT_FALSE(tableExists(u"200525004"_s));

    // A table left behind without its sensor: nothing added, nothing said.
    execSql(u"CREATE TABLE `200525009` AS SELECT * FROM sensordata WHERE 0"_s);
    prompted(u"200525009"_s);
    EXPECT_EQ(sensors(), 2);
    EXPECT_EQ(shown(), "200525001");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(AddSensorTest, ARegisteredNumberIsRefusedWhateverSensorIsShownOrHidden) {
    id().imgNext->click();
    prompted(u"200525001"_s);
    expectExists(dialogs, u"200525001"_s);
    // The sensor shown stays current: its boxes are saved into its own row.
    EXPECT_EQ(shown(), "200525003");
    level()->setText(u"L5"_s);
    id().imgPrevious->click();
    EXPECT_EQ(column(u"Level"_s, u"200525003"_s), "L5");
    EXPECT_EQ(column(u"Level"_s, u"200525001"_s), "");

    execSql(u"DROP TABLE `200525003`"_s); // a sensor row without its table
    prompted(u"200525003"_s);
    expectExists(dialogs, u"200525003"_s);

    execSql(u"UPDATE Sensors SET Destroyed = 'Yes' WHERE InstrumentID = '200525003'"_s);
    ASSERT_TRUE(s().rsSensors.requery().ok());
    filter().chkDontShowDestroyed->setChecked(true);
    filter().imgFilter->click();
    prompted(u"200525003"_s);
    expectExists(dialogs, u"200525003"_s);
    EXPECT_EQ(sensors(), 2);
}

TEST_F(AddSensorTest, FailuresAreLoggedAndLeaveTheShownSensorCurrent) {
    dialogs.answerYes();
    prompted(u"200526001"_s);
    dialogs.expect(u"Sensors database error!!!"_s);
    expectQuestion(dialogs, u"200526001"_s);
    EXPECT_FALSE(tableExists(u"200526001"_s));

    execSql(u"CREATE TRIGGER refuse BEFORE INSERT ON Sensors BEGIN SELECT RAISE(ABORT, "
            "'refused'); END"_s);
    id().imgNext->click();
    dialogs.answerYes();
    prompted(u"200525004"_s);
    expectQuestion(dialogs, u"200525004"_s);
    EXPECT_EQ(logEntries(), 2);
    EXPECT_EQ(logText().count(u" G_AddTypedSensor\r\n"_s), 2);
    EXPECT_EQ(sensors(), 2);
    EXPECT_FALSE(tableExists(u"200525004"_s));
    EXPECT_EQ(listed(), QStringList({"200525001", "200525003"}));
    level()->setText(u"L8"_s);
    window->record->savefields();
    EXPECT_EQ(column(u"Level"_s, u"200525003"_s), "L8");
}

TEST_F(AddSensorTest, AFilterThatHidesTheNewSensorIsRemovedOneThatPassesItStays) {
    filter().chkDontShowDestroyed->setChecked(true);
    filter().imgFilter->click();
    dialogs.answerYes();
    prompted(u"200525002"_s);
    dialogs.take();
    EXPECT_TRUE(s().rsSensors.hasFilter());
    EXPECT_EQ(id().txtSnav->text(), "2 of 3");
    filter().imgFilter->click();

    execSql(u"UPDATE Sensors SET Level = 'L12'"_s);
    ASSERT_TRUE(s().rsSensors.requery().ok());
    filter().txtFilterLevel->setText(u"L12"_s);
    filter().imgFilter->click();
    dialogs.answerYes();
    prompted(u"200525004"_s);
    dialogs.take();
    EXPECT_FALSE(s().rsSensors.hasFilter());
    EXPECT_EQ(filter().lblFilterState->text(), "Apply Filter");
    EXPECT_EQ(filter().txtFilterLevel->text(), "");
    EXPECT_EQ(shown(), "200525004");
    EXPECT_EQ(box()->currentText(), "200525004");
    EXPECT_EQ(id().txtSnav->text(), "4 of 4");
    EXPECT_EQ(listed().size(), 4);
    EXPECT_EQ(logEntries(), 0);
}

// Both ends of the sequence number's range are sensors; the number below them is not.
TEST_F(AddSensorTest, TheSequenceRunsFrom001To999) {
    for (const QString& added : {u"200525999"_s, u"200625001"_s}) {
        dialogs.answerYes();
        prompted(added);
        expectQuestion(dialogs, added);
        EXPECT_EQ(shown(), added);
        EXPECT_EQ(column(u"SensorNo"_s, added), added.right(3));
        EXPECT_TRUE(tableExists(added));
    }
    prompted(u"200625000"_s);
    dialogs.expect(u"Last 3 digits must be between 001 and 999"_s, u"Invalid Sensor Number"_s);
    EXPECT_FALSE(tableExists(u"200625000"_s));
    EXPECT_EQ(sensors(), 4);
    EXPECT_EQ(logEntries(), 0);
}

// A database that cannot be written: the answer Yes is met with one message that names
// what stopped it, and nothing is written.
TEST_F(AddSensorTest, OnAReadOnlyDatabaseYesSaysWhyNothingIsAdded) {
    window.reset();
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    ASSERT_TRUE(start());
    dialogs.take(); // the database can only be read
    dialogs.answerYes();
    prompted(u"200525007"_s);
    expectQuestion(dialogs, u"200525007"_s);
    dialogs.expect(u"Sensor 200525007 cannot be added.\r\nThe file "_s + databasePath +
                       u" is read-only: nothing can be written to it."_s,
                   kTitle, Icon::Exclamation);
    EXPECT_EQ(sensors(), 2);
    EXPECT_FALSE(tableExists(u"200525007"_s));
    EXPECT_EQ(listed(), QStringList({"200525001", "200525003"}));
    EXPECT_EQ(shown(), "200525001");
    // Only the save of the sensor shown, refused as every save on this database is.
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(u" G_savefields\r\n"_s)) << logText().toStdString();
}

class FirstSensorTest : public RegistryTest {};

TEST_F(FirstSensorTest, TheFirstSensorOfAnEmptyDatabase) {
    ASSERT_TRUE(start());
    dialogs.take(); // there are no sensors yet
    dialogs.answerYes();
    dialogs.promptAnswer(u"200525001"_s);
    id().Label57->click();
    expectQuestion(dialogs, u"200525001"_s);
    EXPECT_EQ(shown(), "200525001");
    EXPECT_EQ(id().txtSnav->text(), "1 of 1");
    EXPECT_EQ(count(), "1");
    EXPECT_EQ(listed(), QStringList({"200525001"}));
    EXPECT_EQ(logEntries(), 0);
}

} // namespace
