// The sensor record on the first two tabs: showing, writing back, the destroyed status.
#include "app/UtilitiesTab.h"
#include "core/DateText.h"
#include "readings/ReadingsTab.h"
#include "sensors/SensorTabs.h"
#include "tests/support/MainWindow.h"
#include <QTest>
#include <functional>

using namespace rv;
using namespace rv::test;

namespace {

class SensorRecordTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        addSensorRow(QStringLiteral("200525001"));
        addSensorRow(QStringLiteral("200525002"), QStringLiteral("Yes"));
        execSql(
            QStringLiteral("UPDATE Sensors SET DestructionDate = '2011-02-03', Recess = 3, "
                           "Level = 'L7', Location = 'North' WHERE InstrumentID = '200525002'"));
        ASSERT_TRUE(start());
        window->show();
    }
    IdentificationTab& id() { return *window->identification; }
    InstallationTab& inst() { return *window->installation; }
    QVariant column(const QString& name, const QString& sensor = QStringLiteral("200525001")) {
        return scalar(
            QStringLiteral("SELECT %1 FROM Sensors WHERE InstrumentID = '%2'").arg(name, sensor));
    }
    void showSecond() {
        // As the sensor navigation moves: the record shows the sensor, which is announced.
        ASSERT_TRUE(s().rsSensors.moveNext().ok());
        window->record->fillfields();
        s().currentSensor.announceChanged();
    }
};

TEST_F(SensorRecordTest, ShowsEveryBoxOfTheCurrentSensor) {
    showSecond();
    EXPECT_EQ(id().txtSensor->text(), "200525002");
    EXPECT_EQ(id().txtDateID->text(), "2005");
    EXPECT_EQ(id().txtTypeID->text(), "25");
    EXPECT_EQ(id().txtSensorNo->text(), "002");
    EXPECT_EQ(id().txtFamily->text(), "Load Cell");
    EXPECT_EQ(id().txtSnav->text(), "2 of 2");
    EXPECT_EQ(inst().txtSensor2->text(), "200525002");
    EXPECT_EQ(inst().txtLevel->text(), "L7");
    EXPECT_EQ(inst().txtInstallDate->text(), "2005/06/01");
    EXPECT_EQ(inst().txtOffset->text(), "3.00");
    EXPECT_EQ(inst().txtBorehole->text(), "") << "a Null column shows an empty box";
    EXPECT_EQ(inst().lblNotes->text(), "Notes:");
    EXPECT_EQ(window->readings->txtSensor3->text(), "200525002");
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
}

TEST_F(SensorRecordTest, RecordCounterReadsOneOfNThenNOfN) {
    EXPECT_EQ(id().txtSnav->text(), "1 of 2");
    showSecond();
    EXPECT_EQ(id().txtSnav->text(), "2 of 2");
}

TEST_F(SensorRecordTest, DeadAndAlivePictures) {
    EXPECT_EQ(id().imgheart->pictureName(), "imgalive");
    EXPECT_EQ(id().txtDestructionDate->text(), "");
    showSecond();
    EXPECT_EQ(id().imgheart->pictureName(), "imgdead");
    EXPECT_EQ(id().cboDestroyed->currentText(), "Yes");
    EXPECT_EQ(id().txtDestructionDate->text(), shortDateText(QDate(2011, 2, 3)));
    // A stored date on a sensor that is not destroyed stays hidden.
    execSql(QStringLiteral("UPDATE Sensors SET DestructionDate = '2011-02-03' WHERE InstrumentID "
                           "= '200525001'"));
    ASSERT_TRUE(s().rsSensors.requery().ok());
    window->record->fillfields();
    EXPECT_EQ(id().imgheart->pictureName(), "imgalive");
    EXPECT_EQ(id().txtDestructionDate->text(), "");
}

TEST_F(SensorRecordTest, SaveWritesTrimmedTextsAndTheOffsetWithTwoDecimals) {
    inst().txtLevel->setText(QStringLiteral("  L12 "));
    inst().txtNotes->setPlainText(QStringLiteral("  roof bolt 4 \n"));
    inst().txtInstallDate->setText(QStringLiteral(" 2006/07/08 "));
    const struct {
        const char* typed;
        double stored;
        const char* shown;
    } offsets[] = {{"2.5", 2.5, "2.50"},
                   {"-0.456", -0.46, "-0.46"},
                   {" 3 ", 3.0, "3.00"},
                   {"2.675", 2.68, "2.68"},
                   {"1.005", 1.01, "1.01"}};
    for (const auto& o : offsets) {
        inst().txtOffset->setText(QString::fromLatin1(o.typed));
        inst().cmdSave->click();
        EXPECT_DOUBLE_EQ(column(QStringLiteral("Recess")).toDouble(), o.stored) << o.typed;
        window->record->fillfields();
        EXPECT_EQ(inst().txtOffset->text(), o.shown) << o.typed;
    }
    EXPECT_EQ(column(QStringLiteral("Level")).toString(), "L12");
    EXPECT_EQ(column(QStringLiteral("Notes")).toString(), "roof bolt 4");
    EXPECT_EQ(column(QStringLiteral("InstallDate")).toString(), "2006-07-08");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(SensorRecordTest, AnInstallDateThatIsNotADateIsRefusedWithOneLogEntry) {
    inst().txtLevel->setText(QStringLiteral("L99"));
    inst().txtInstallDate->setText(QStringLiteral("next week"));
    inst().cmdSave->click();
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral(" G_savefields\r\n")));
    EXPECT_EQ(column(QStringLiteral("InstallDate")).toString(), "2005-06-01");
    EXPECT_TRUE(column(QStringLiteral("Level")).isNull()) << "the row is unchanged";
    // An offset that is not a number is refused the same way.
    inst().txtInstallDate->setText(QStringLiteral("2005/06/01"));
    inst().txtOffset->setText(QStringLiteral("abc"));
    inst().cmdSave->click();
    EXPECT_EQ(logEntries(), 2);
    EXPECT_TRUE(column(QStringLiteral("Recess")).isNull());
}

TEST_F(SensorRecordTest, NullColumnsAreWrittenBackAsEmptyTexts) {
    inst().cmdSave->click();
    EXPECT_EQ(column(QStringLiteral("Borehole")).toString(), "");
    EXPECT_FALSE(column(QStringLiteral("Borehole")).isNull());
}

TEST_F(SensorRecordTest, ChoosingYesDatesTheDestructionAndNoKeepsTheStoredDate) {
    id().cboDestroyed->setCurrentText(QStringLiteral("Yes"));
    emit id().cboDestroyed->activated(1);
    EXPECT_EQ(id().txtDestructionDate->text(), shortDateText(clock.today()));
    EXPECT_EQ(window->focusWidget(), id().txtDestructionDate);
    EXPECT_EQ(id().imgheart->pictureName(), "imgdead");
    EXPECT_EQ(column(QStringLiteral("Destroyed")).toString(), "Yes");
    EXPECT_EQ(column(QStringLiteral("DestructionDate")).toString(), "2026-03-14");

    id().cboDestroyed->setCurrentText(QStringLiteral("No"));
    emit id().cboDestroyed->activated(0);
    EXPECT_EQ(id().txtDestructionDate->text(), "");
    EXPECT_EQ(id().imgheart->pictureName(), "imgalive");
    EXPECT_EQ(column(QStringLiteral("Destroyed")).toString(), "No");
    EXPECT_EQ(column(QStringLiteral("DestructionDate")).toString(), "2026-03-14")
        << "an emptied date box never clears the stored date";
}

// A stored status other than No and Yes is shown as stored, and a save keeps it; choosing
// Yes or No then stores that, and Yes dates the destruction.
TEST_F(SensorRecordTest, AnotherStoredStatusIsShownAndKeptUntilAnotherIsChosen) {
    const struct {
        const char* stored; // nullptr: Null
        const char* shown;
    } statuses[] = {{"Unknown", "Unknown"}, {"yes", "yes"}, {"", ""}, {nullptr, ""}};
    for (const auto& st : statuses) {
        SCOPED_TRACE(st.stored ? st.stored : "Null");
        execSql(QStringLiteral("UPDATE Sensors SET Destroyed = %1, DestructionDate = NULL WHERE "
                               "InstrumentID = '200525001'")
                    .arg(st.stored ? QStringLiteral("'%1'").arg(QLatin1String(st.stored))
                                   : QStringLiteral("NULL")));
        ASSERT_TRUE(s().rsSensors.requery().ok());
        window->record->fillfields();
        EXPECT_EQ(id().cboDestroyed->currentText(), st.shown);

        inst().txtLevel->setText(QStringLiteral("L%1").arg(st.shown));
        inst().cmdSave->click();
        EXPECT_EQ(column(QStringLiteral("Level")).toString(), QStringLiteral("L%1").arg(st.shown));
        const QVariant kept = column(QStringLiteral("Destroyed"));
        EXPECT_EQ(kept.isNull(), st.stored == nullptr) << "the save keeps the status as stored";
        EXPECT_EQ(kept.toString(), st.shown);

        id().cboDestroyed->setCurrentText(QStringLiteral("Yes"));
        emit id().cboDestroyed->activated(id().cboDestroyed->currentIndex());
        EXPECT_EQ(column(QStringLiteral("Destroyed")).toString(), "Yes");
        EXPECT_EQ(column(QStringLiteral("DestructionDate")).toString(), "2026-03-14");
        EXPECT_EQ(id().txtDestructionDate->text(), shortDateText(clock.today()));
        EXPECT_EQ(id().cboDestroyed->count(), 2) << "the list offers No and Yes again";
    }
    // The next sensor shown offers No and Yes alone.
    execSql(QStringLiteral("UPDATE Sensors SET Destroyed = 'Unknown' WHERE InstrumentID = "
                           "'200525001'"));
    ASSERT_TRUE(s().rsSensors.requery().ok());
    window->record->fillfields();
    showSecond();
    EXPECT_EQ(id().cboDestroyed->currentText(), "Yes");
    EXPECT_EQ(id().cboDestroyed->count(), 2);
    EXPECT_EQ(logEntries(), 0);
}

// Choosing Yes again for a sensor already destroyed, in the list or by its key, keeps the
// date of its destruction.
TEST_F(SensorRecordTest, ChoosingYesAgainKeepsTheDestructionDate) {
    const std::function<void()> ways[] = {
        [&] {
            id().cboDestroyed->setCurrentText(QStringLiteral("Yes"));
            emit id().cboDestroyed->activated(id().cboDestroyed->currentIndex());
        },
        [&] {
            id().cboDestroyed->setFocus();
            QTest::keyClick(id().cboDestroyed, Qt::Key_Y);
        },
    };
    showSecond();
    for (const auto& chooseYes : ways) {
        chooseYes();
        EXPECT_EQ(id().cboDestroyed->currentText(), "Yes");
        EXPECT_EQ(id().txtDestructionDate->text(), shortDateText(QDate(2011, 2, 3)));
        EXPECT_EQ(id().imgheart->pictureName(), "imgdead");
        EXPECT_EQ(column(QStringLiteral("Destroyed"), QStringLiteral("200525002")).toString(),
                  "Yes");
        EXPECT_EQ(column(QStringLiteral("DestructionDate"), QStringLiteral("200525002")).toString(),
                  "2011-02-03");
    }
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(SensorRecordTest, DestroyedBoxTakesOnlyYAndNAndAlwaysSaves) {
    id().cboDestroyed->setFocus();
    QTest::keyClick(id().cboDestroyed, Qt::Key_Y, Qt::ShiftModifier);
    EXPECT_EQ(id().cboDestroyed->currentText(), "Yes");
    EXPECT_EQ(column(QStringLiteral("Destroyed")).toString(), "Yes");
    id().cboDestroyed->setFocus();
    QTest::keyClick(id().cboDestroyed, Qt::Key_N);
    EXPECT_EQ(id().cboDestroyed->currentText(), "No");
    EXPECT_EQ(column(QStringLiteral("Destroyed")).toString(), "No");
    // Any other key changes nothing but still saves what the boxes hold.
    inst().txtLevel->setText(QStringLiteral("L3"));
    id().cboDestroyed->setFocus();
    QTest::keyClick(id().cboDestroyed, Qt::Key_Q);
    QTest::keyClick(id().cboDestroyed, Qt::Key_Space);
    EXPECT_EQ(id().cboDestroyed->currentText(), "No");
    EXPECT_EQ(column(QStringLiteral("Level")).toString(), "L3");
    EXPECT_EQ(column(QStringLiteral("Destroyed")).toString(), "No");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(SensorRecordTest, BeyondTheLastSensorNothingIsShownOrSaved) {
    ASSERT_TRUE(s().rsSensors.moveLast().ok());
    ASSERT_TRUE(s().rsSensors.moveNext().ok());
    inst().txtLevel->setText(QStringLiteral("changed"));
    window->record->fillfields();
    dialogs.expect(QStringLiteral("Either you are at the first record or the last record."),
                   QStringLiteral("Cannot Fill Fields"), Icon::Exclamation);
    window->record->savefields();
    dialogs.expect(QStringLiteral("Either you are at the first record or the last record."),
                   QStringLiteral("Cannot Save Fields"), Icon::Exclamation);
    EXPECT_EQ(
        scalar(QStringLiteral("SELECT count(*) FROM Sensors WHERE Level = 'changed'")).toInt(), 0);
}

TEST_F(SensorRecordTest, NoSensorsEmptiesTheBoxesAndSavesNothing) {
    execSql(QStringLiteral("DELETE FROM Sensors"));
    ASSERT_TRUE(s().rsSensors.requery().ok());
    window->record->fillfields();
    EXPECT_EQ(id().txtSensor->text(), "");
    EXPECT_EQ(inst().txtOffset->text(), "");
    EXPECT_EQ(id().txtSnav->text(), "No records");
    EXPECT_EQ(window->utilities->txtSCount->text(), "0");
    window->record->savefields();
    EXPECT_EQ(logEntries(), 0);
}

} // namespace
