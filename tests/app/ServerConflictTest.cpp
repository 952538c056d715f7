// Two engineers on one site server change the same reading: the second save is refused with
// who and when, the values typed stay in the boxes, and saving again stores them on purpose;
// a reading deleted meanwhile is said so and the tab shows the readings that are left.
#include "readings/frmBatchDel.h"
#include "sensors/SensorTabs.h"
#include "store/ImportHistoryTable.h"
#include "tests/readings/ReadingsFixture.h"
#include <QLocale>

using namespace rv;
using namespace rv::test;
using namespace Qt::StringLiterals;

namespace {

const char* const k01 = "2026/03/01 08:00:00";
const char* const k02 = "2026/03/02 08:00:00";

class ServerConflictTest : public ReadingsWindowTest {
protected:
    StoreEngine engine() const override { return StoreEngine::Server; }
    void SetUp() override {
        ReadingsWindowTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        addSensorRow(kOther);
        addReading(k01, "1.00", "12.0");
        addReading(k02, "2.00", "12.5");
        startOnReadings();
        anna = openAsAnotherEngineer(other);
    }
    // What the other engineer does, and when (as the messages give it, to the minute).
    void otherDoes(const QString& sql) {
        before = QDateTime::currentDateTime();
        ASSERT_TRUE(other.execute(sql).ok()) << other.lastError().description.toStdString();
        after = QDateTime::currentDateTime();
    }
    // The message taken, with the moment of the other engineer's change written as "<at>".
    QString messageTaken(const QString& title = QStringLiteral("Site server")) {
        const Message m = dialogs.take();
        EXPECT_EQ(m.title, title);
        QString text = m.text;
        for (const QDateTime& t : {before, after})
            text.replace(QLocale::c().toString(t, QStringLiteral("HH:mm 'on' d MMM yyyy")),
                         QStringLiteral("<at>"));
        return text;
    }
    // The save of the reading of 2 March refused after the other engineer's change to 2.50.
    QString saveRefusedOn02() const {
        return "The reading 200525001 2026/03/02 08:00:00 was changed by " + anna +
               " at <at>, after it was shown to you. Nothing was saved.\r\nStored now: "
               "temperature 12.5, load 2.50. Your values are still in the boxes: moving to "
               "another reading saves them over these.";
    }
    // 150 readings an hour apart from 1 February before the two of March: the tab opens on
    // the newest 100, counting all 152.
    void openOnTheNewestOf152() {
        std::vector<ReadingRow> february;
        for (int h = 0; h < 150; ++h)
            february.push_back(
                ReadingRow::at(kId, QDateTime(QDate(2026, 2, 1), QTime(0, 0))
                                        .addSecs(3600 * h)
                                        .toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"))));
        addReadings(kId, february);
        window->SSTab1->setCurrentIndex(0); // a sensor chosen there starts at its newest
        window->SSTab1->setCurrentIndex(2);
    }
    Connection other;
    QString anna;
    QDateTime before, after;
};

TEST_F(ServerConflictTest,
       AReadingChangedMeanwhileIsNotOverwrittenAndTheTypedValueIsSavedOnTheNextMove) {
    EXPECT_EQ(counter(), "2 of 2");
    otherDoes(QStringLiteral("UPDATE `200525001` SET Channel1 = '2.50' WHERE DateTimeKey = "
                             "'200525001 2026/03/02 08:00:00'"));
    tab().txtChannel_1->setText(QStringLiteral("3.00"));
    tab().imgPrevData->click();

    EXPECT_EQ(messageTaken(), saveRefusedOn02());
    EXPECT_EQ(stored("Channel1", k02), "2.50");
    EXPECT_EQ(counter(), "2 of 2") << "the reading stays shown";
    EXPECT_EQ(tab().txtChannel_1->text(), "3.00");
    EXPECT_TRUE(logText().contains(QStringLiteral(" - Err #1107: The reading 200525001 "
                                                  "2026/03/02 08:00:00 was changed by ")))
        << logText().toStdString();

    // Moving on again is the engineer's choice: the typed value is stored over the other's.
    tab().imgPrevData->click();
    EXPECT_TRUE(dialogs.pending().empty()) << dialogs.pending().front().text.toStdString();
    EXPECT_EQ(stored("Channel1", k02), "3.00");
    EXPECT_EQ(counter(), "1 of 2");
    EXPECT_EQ(tab().txtChannel_1->text(), "1.00");
}

TEST_F(ServerConflictTest, AReadingChangedMeanwhileIsNotReKeyedAndTheTypedDateStays) {
    otherDoes(QStringLiteral("UPDATE `200525001` SET Channel1 = '2.50' WHERE DateTimeKey = "
                             "'200525001 2026/03/02 08:00:00'"));
    tab().dtpRdate->setDate(QDate(2026, 3, 5));
    EXPECT_EQ(messageTaken(), saveRefusedOn02());
    EXPECT_EQ(stored("Channel1", k02), "2.50");
    EXPECT_EQ(stored("Channel1", "2026/03/05 08:00:00"), "<none>");
    EXPECT_EQ(tab().dtpRdate->date(), QDate(2026, 3, 5));
}

TEST_F(ServerConflictTest, AReadingDeletedMeanwhileIsSaidSoAndTheReadingsLeftAreShown) {
    otherDoes(QStringLiteral("DELETE FROM `200525001` WHERE DateTimeKey = '200525001 "
                             "2026/03/02 08:00:00'"));
    tab().txtChannel_1->setText(QStringLiteral("3.00"));
    tab().imgPrevData->click();

    EXPECT_EQ(messageTaken(), "The reading 200525001 2026/03/02 08:00:00 was deleted by " + anna +
                                  " at <at>, after it was shown to you. Nothing was saved.");
    EXPECT_EQ(readingCount(), 1) << "the deleted reading is not written back";
    EXPECT_EQ(counter(), "1 of 1");
    EXPECT_EQ(tab().txtChannel_1->text(), "1.00");
    tab().imgNextData->click(); // the next click works on what is there
    dialogs.expect(QStringLiteral("End of readings"));
}

TEST_F(ServerConflictTest, AReadingChangedMeanwhileIsNotDeletedAndItsStoredValuesAreShown) {
    otherDoes(QStringLiteral("UPDATE `200525001` SET Channel1 = '2.50' WHERE DateTimeKey = "
                             "'200525001 2026/03/02 08:00:00'"));
    tab().Label65->click();
    ASSERT_NE(tab().batchDeleteWindow(), nullptr);
    tab().batchDeleteWindow()->cmdSingleDel->click();
    settle();

    EXPECT_EQ(messageTaken(), "The reading 200525001 2026/03/02 08:00:00 was changed by " + anna +
                                  " at <at>, after it was shown to you. It was not deleted.");
    EXPECT_EQ(readingCount(), 2);
    EXPECT_EQ(tab().txtChannel_1->text(), "2.50");
    // Asked again, now that the engineer has seen it, the deletion is done.
    tab().Label65->click();
    tab().batchDeleteWindow()->cmdSingleDel->click();
    settle();
    EXPECT_EQ(stored("Channel1", k02), "<none>");
    EXPECT_EQ(counter(), "1 of 1");
}

TEST_F(ServerConflictTest, ComingBackShowsTheReadingsAnotherEngineerAddedButNotOnesOwn) {
    // Walking past readings without changing them writes nothing, so nothing is recorded as
    // changed for the other engineers.
    const QString changes = QStringLiteral("SELECT count(*) FROM rv_row_changes");
    const int before = scalar(changes).toInt();
    tab().imgPrevData->click();
    tab().imgNextData->click();
    EXPECT_EQ(scalar(changes).toInt(), before);
    // The engineer's own change is no one else's: nothing is read again for it.
    tab().txtChannel_1->setText(QStringLiteral("2.75"));
    tab().imgPrevData->click();
    window->takeOthersChanges();
    EXPECT_TRUE(tab().lblOthers->isHidden());
    EXPECT_EQ(counter(), "1 of 2");

    otherDoes(QStringLiteral("INSERT INTO `200525001` (DateTimeKey, FullDate, ReadingDate, "
                             "ReadingTime, Channel1) VALUES ('200525001 2026/03/03 08:00:00', "
                             "'2026-03-03 08:00:00', '2026-03-03', '08:00:00', '4.00')"));
    window->takeOthersChanges();
    EXPECT_FALSE(tab().lblOthers->isHidden());
    EXPECT_EQ(tab().lblOthers->text(), "Another engineer changed this sensor's readings on the "
                                       "site server since you opened them: they were read again "
                                       "at 09:30.");
    EXPECT_EQ(counter(), "1 of 3") << "the reading shown stays shown";
    EXPECT_EQ(tab().txtChannel_1->text(), "1.00");
    tab().imgLast->click();
    EXPECT_EQ(tab().txtChannel_1->text(), "4.00");
    EXPECT_EQ(stored("Channel1", k02), "2.75");
}

TEST_F(ServerConflictTest, ATypedValueIsSavedOnTheReadingShownWhenAnotherAddedAnOlderOne) {
    // An older reading takes a place before the one shown: whatever the tab reads again,
    // the value typed belongs to the reading shown, and Previous goes to the one before it.
    otherDoes(QStringLiteral("INSERT INTO `200525001` (DateTimeKey, FullDate, ReadingDate, "
                             "ReadingTime, Channel1) VALUES ('200525001 2026/02/28 08:00:00', "
                             "'2026-02-28 08:00:00', '2026-02-28', '08:00:00', '0.50')"));
    tab().txtChannel_1->setText(QStringLiteral("3.00"));
    tab().imgPrevData->click();
    EXPECT_TRUE(dialogs.pending().empty()) << dialogs.pending().front().text.toStdString();
    EXPECT_EQ(stored("Channel1", k02), "3.00");
    EXPECT_EQ(stored("Channel1", k01), "1.00");
    EXPECT_EQ(stored("Channel1", "2026/02/28 08:00:00"), "0.50");
    EXPECT_EQ(tab().txtChannel_1->text(), "1.00");
}

TEST_F(ServerConflictTest, OfManyReadingsTheNewestShowFirstAndEveryReadingIsReachedAndSaved) {
    openOnTheNewestOf152();
    EXPECT_EQ(counter(), "152 of 152");
    EXPECT_EQ(tab().txtChannel_1->text(), "2.00");

    otherDoes(QStringLiteral("INSERT INTO `200525001` (DateTimeKey, FullDate, ReadingDate, "
                             "ReadingTime, Channel1) VALUES ('200525001 2026/01/15 08:00:00', "
                             "'2026-01-15 08:00:00', '2026-01-15', '08:00:00', '0.50')"));
    tab().imgFirst->click();
    EXPECT_EQ(counter(), "1 of 153");
    EXPECT_EQ(tab().txtReadingID->text(), key("2026/01/15 08:00:00"));
    tab().imgLast->click();
    EXPECT_EQ(counter(), "153 of 153");
    tab().txtChannel_1->setText(QStringLiteral("3.00"));
    tab().imgPrevData->click();
    EXPECT_TRUE(dialogs.pending().empty()) << dialogs.pending().front().text.toStdString();
    EXPECT_EQ(stored("Channel1", k02), "3.00");
    EXPECT_EQ(tab().txtChannel_1->text(), "1.00");

    // Back on the tab after another engineer stored an older reading, the reading left shows.
    tab().imgFirst->click();
    window->SSTab1->setCurrentIndex(1);
    otherDoes(QStringLiteral("INSERT INTO `200525001` (DateTimeKey, FullDate, ReadingDate, "
                             "ReadingTime, Channel1) VALUES ('200525001 2026/01/10 08:00:00', "
                             "'2026-01-10 08:00:00', '2026-01-10', '08:00:00', '0.40')"));
    window->SSTab1->setCurrentIndex(2);
    EXPECT_EQ(counter(), "2 of 154");
    EXPECT_EQ(tab().txtReadingID->text().toStdString(), key("2026/01/15 08:00:00").toStdString());
}

TEST_F(ServerConflictTest, ADateOrTimeChangedAfterAnotherMovedTheOlderReadingsIsJudgedAndKept) {
    openOnTheNewestOf152();
    // An older reading deleted meanwhile: a date and time already taken is refused.
    otherDoes(QStringLiteral("DELETE FROM `200525001` WHERE DateTimeKey = "
                             "'200525001 2026/02/01 00:00:00'"));
    tab().dtpRdate->setDate(QDate(2026, 3, 1));
    dialogs.expect(QStringLiteral("There is already a reading on 2026/03/01 at 08:00:00"),
                   QStringLiteral("Duplicate Reading"));
    EXPECT_EQ(tab().dtpRdate->date(), QDate(2026, 3, 2));
    EXPECT_EQ(counter(), "151 of 151");

    // Back on the tab, another engineer stores an older reading: the new time is stored with
    // the load typed still in its box.
    window->SSTab1->setCurrentIndex(1);
    window->SSTab1->setCurrentIndex(2);
    otherDoes(QStringLiteral("INSERT INTO `200525001` (DateTimeKey, FullDate, ReadingDate, "
                             "ReadingTime, Channel1) VALUES ('200525001 2026/01/15 08:00:00', "
                             "'2026-01-15 08:00:00', '2026-01-15', '08:00:00', '0.50')"));
    tab().txtChannel_1->setText(QStringLiteral("3.00"));
    tab().dtpRtime->setTime(QTime(9, 0));
    EXPECT_TRUE(dialogs.pending().empty()) << dialogs.pending().front().text.toStdString();
    EXPECT_EQ(counter(), "152 of 152");
    EXPECT_EQ(tab().txtReadingID->text().toStdString(), key("2026/03/02 09:00:00").toStdString());
    tab().imgPrevData->click();
    EXPECT_EQ(stored("Channel1", "2026/03/02 09:00:00"), "3.00");
    EXPECT_EQ(tab().txtReadingID->text().toStdString(), key(k01).toStdString());
}

TEST_F(ServerConflictTest, AnUndoStopsWhenTheReadingShownWasChangedMeanwhile) {
    Connection& c = s().gConnection;
    ASSERT_TRUE(ensureHistoryTables(c).ok());
    ASSERT_TRUE(c.begin().ok());
    ASSERT_TRUE(recordBatch(c,
                            {0,
                             kId,
                             u"mar.txt"_s,
                             u"ab"_s.repeated(32),
                             QDateTime(QDate(2026, 3, 3), QTime(9, 0)),
                             0,
                             {}},
                            {{key(k02), u"12.5"_s, u"2.00"_s}})
                    .ok());
    ASSERT_TRUE(c.commit().ok());
    window->SSTab1->setCurrentIndex(1);
    window->SSTab1->setCurrentIndex(2);
    otherDoes(QStringLiteral("UPDATE `200525001` SET Channel1 = '2.50' WHERE DateTimeKey = "
                             "'200525001 2026/03/02 08:00:00'"));
    tab().txtChannel_1->setText(QStringLiteral("3.00"));
    tab().fraImportHistory->lstImports->setCurrentItem(
        tab().fraImportHistory->lstImports->topLevelItem(0));
    dialogs.answerYes(); // were the undo to ask
    tab().fraImportHistory->cmdUndoImport->click();

    EXPECT_EQ(messageTaken(), saveRefusedOn02());
    EXPECT_TRUE(dialogs.pending().empty()) << dialogs.pending().front().text.toStdString();
    EXPECT_EQ(stored("Channel1", k02), "2.50");
    EXPECT_EQ(tab().txtChannel_1->text(), "3.00");
}

TEST_F(ServerConflictTest, ASensorAnotherEngineerChangedOrDeletedIsNeitherOverwrittenNorACrash) {
    window->SSTab1->setCurrentIndex(1);
    window->installation->txtLocation->setText(QStringLiteral("Drive 4 north"));
    otherDoes(QStringLiteral("UPDATE Sensors SET Location = 'Drive 4 south' WHERE InstrumentID "
                             "= '200525001'"));
    window->installation->cmdSave->click();
    EXPECT_EQ(messageTaken(), "The sensor 200525001 was changed by " + anna +
                                  " at <at>, after it was shown to you. Nothing was saved.\r\n"
                                  "Your values are still in the boxes: Save Updates stores them "
                                  "over the values stored now.");
    EXPECT_EQ(scalar(QStringLiteral("SELECT Location FROM Sensors WHERE InstrumentID = "
                                    "'200525001'")),
              "Drive 4 south");
    EXPECT_EQ(window->installation->txtLocation->text(), "Drive 4 north");
    window->installation->cmdSave->click();
    EXPECT_EQ(scalar(QStringLiteral("SELECT Location FROM Sensors WHERE InstrumentID = "
                                    "'200525001'")),
              "Drive 4 north");

    // Deleted meanwhile: said so when the engineer comes back, and the next click works.
    otherDoes(QStringLiteral("DELETE FROM Sensors WHERE InstrumentID = '200525001'"));
    window->takeOthersChanges();
    EXPECT_EQ(messageTaken(), "Sensor 200525001 was deleted from the site server by another "
                              "engineer. The list shows the sensors stored now.");
    EXPECT_EQ(window->identification->cboSensors->count(), 1);
    EXPECT_EQ(s().currentSensor.id(), "200525002");
    EXPECT_EQ(window->identification->cboSensors->currentText(), "200525002");
    window->identification->imgNext->click();
    dialogs.expect(QStringLiteral("End of sensors"));
}

TEST_F(ServerConflictTest, PickingASensorAnotherEngineerDeletedSaysSoAndKeepsTheOneShown) {
    QComboBox* box = window->identification->cboSensors;
    ASSERT_EQ(box->count(), 2);
    otherDoes(QStringLiteral("DELETE FROM Sensors WHERE InstrumentID = '200525002'"));
    box->setCurrentIndex(1);
    emit box->activated(1);
    EXPECT_EQ(messageTaken(), "Sensor 200525002 was deleted from the site server by another "
                              "engineer. The list shows the sensors stored now.");
    EXPECT_EQ(box->count(), 1);
    EXPECT_EQ(s().currentSensor.id(), "200525001");
    EXPECT_EQ(box->currentText(), "200525001");
    window->identification->imgNext->click();
    dialogs.expect(QStringLiteral("End of sensors"));
}

TEST_F(ServerConflictTest, ASensorChangedMeanwhileIsNotDeleted) {
    otherDoes(QStringLiteral("UPDATE Sensors SET Location = 'Drive 4 south' WHERE InstrumentID "
                             "= '200525001'"));
    dialogs.answerYes();
    window->identification->imgDelete->click();
    dialogs.expect(QStringLiteral("Permanently delete Sensor 200525001 from database?"),
                   QStringLiteral("Brackwell's ROCKVANE"), Icon::None, Buttons::YesNo);
    EXPECT_EQ(messageTaken(), "The sensor 200525001 was changed by " + anna +
                                  " at <at>, after it was shown to you. It was not deleted.");
    EXPECT_EQ(window->installation->txtLocation->text(), "Drive 4 south");
    EXPECT_EQ(readingCount(), 2) << "its readings are kept";
    EXPECT_EQ(window->identification->cboSensors->count(), 2);
}

} // namespace
