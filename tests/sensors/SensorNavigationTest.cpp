// Moving between sensors: Previous and Next, picking in the sensor box, and typing into it.
#include "tests/sensors/RegistryFixture.h"
#include <QTest>

using namespace rv;
using namespace rv::test;
using namespace Qt::StringLiterals;

namespace {

class SensorNavigationTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        startWith({u"200625001"_s, u"200525002"_s, u"200525001"_s, u"200725001"_s});
    }
    QLineEdit* edit() { return box()->lineEdit(); }
    void typeFresh(const QString& keys) {
        box()->setEditText(QString());
        QTest::keyClicks(box(), keys);
    }
    void pick(int index) {
        box()->setCurrentIndex(index);
        emit box()->activated(index);
    }
};

// On the database file and on a site server database alike.
using SensorNavigationOnEachEngine = OnEachEngine<SensorNavigationTest>;

TEST_P(SensorNavigationOnEachEngine, NextAndPreviousWalkTheSensorsSavingEachAndStopAtTheEnds) {
    EXPECT_EQ(listed(), QStringList({"200525001", "200525002", "200625001", "200725001"}));
    id().imgNext->click();
    EXPECT_EQ(shown(), "200525002");
    EXPECT_EQ(box()->currentText(), "200525002");
    EXPECT_EQ(id().txtSnav->text(), "2 of 4");
    id().Label59->click();
    id().imgNext->click();
    level()->setText(u"not saved"_s);
    id().imgNext->click();
    dialogs.expect(u"End of sensors"_s);
    EXPECT_EQ(shown(), "200725001");
    EXPECT_EQ(column(u"Level"_s, u"200725001"_s), "") << "at the end nothing is saved";

    level()->setText(u"L3"_s);
    id().Label56->click();
    EXPECT_EQ(shown(), "200625001");
    EXPECT_EQ(column(u"Level"_s, u"200725001"_s), "L3") << "a move saves the sensor left";
    id().imgPrevious->click();
    id().imgPrevious->click();
    id().imgPrevious->click();
    dialogs.expect(u"Start of Sensors"_s);
    EXPECT_EQ(shown(), "200525001");

    // A bad install date is refused with one log entry; the move still happens.
    window->installation->txtInstallDate->setText(u"2005/13/45"_s);
    id().imgNext->click();
    EXPECT_EQ(shown(), "200525002");
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().endsWith(u" G_savefields\r\n"_s));
    EXPECT_EQ(column(u"InstallDate"_s, u"200525001"_s), "2005-06-01");
}
INSTANTIATE_TEST_SUITE_P(BothEngines, SensorNavigationOnEachEngine, bothEngines(), engineName);

TEST_F(SensorNavigationTest, PickingInTheListSavesAndShowsThePickedSensor) {
    level()->setText(u"L9"_s);
    pick(2);
    EXPECT_EQ(shown(), "200625001");
    EXPECT_EQ(id().txtSnav->text(), "3 of 4");
    EXPECT_EQ(column(u"Level"_s, u"200525001"_s), "L9");
    box()->setEditText(u"200725001"_s);
    EXPECT_EQ(shown(), "200625001") << "a text set from code never moves";

    s().Firstload = true;
    pick(3);
    EXPECT_EQ(shown(), "200625001") << "no pick while the window loads";
    s().Firstload = false;

    box()->setEditText(u"199925001"_s);
    registry().cboSensors_Click();
    dialogs.expect(u"Error: Could not find data on the chosen sensor"_s);
    dialogs.expect(u"Either you are at the first record or the last record."_s,
                   u"Cannot Fill Fields"_s, Icon::Exclamation);
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(SensorNavigationTest, TypingCompletesToTheFirstMatchSearchedFromTheSecondEntry) {
    // "2005" begins the first and the second entry: the second is searched first.
    level()->setText(u"East"_s);
    typeFresh(u"2005"_s);
    EXPECT_EQ(shown(), "200525002");
    EXPECT_EQ(box()->currentText(), "200525002");
    EXPECT_EQ(edit()->selectedText(), "25002") << "the completed remainder is highlighted";
    EXPECT_EQ(edit()->cursorPosition(), 4);
    EXPECT_EQ(column(u"Level"_s, u"200525001"_s), "East") << "the sensor left is saved";

    // The next typed character replaces the remainder; a text only the first entry
    // begins with finds it, tried last.
    QTest::keyClick(box(), Qt::Key_2);
    EXPECT_EQ(edit()->selectedText(), "5002");
    QTest::keyClicks(box(), u"5001"_s);
    EXPECT_EQ(shown(), "200525001");
    EXPECT_EQ(edit()->selectedText(), "");

    // Backspace and Delete never complete; the next ordinary key does.
    typeFresh(u"2006"_s);
    EXPECT_EQ(box()->currentText(), "200625001");
    QTest::keyClick(box(), Qt::Key_Backspace);
    QTest::keyClick(box(), Qt::Key_Backspace);
    EXPECT_EQ(box()->currentText(), "200");
    QTest::keyClick(edit(), Qt::Key_7);
    EXPECT_EQ(shown(), "200725001");
    EXPECT_EQ(box()->currentText(), "200725001");
    edit()->setCursorPosition(3);
    QTest::keyClick(box(), Qt::Key_Delete);
    EXPECT_EQ(box()->currentText(), "20025001");

    typeFresh(u"3"_s);
    EXPECT_EQ(shown(), "200725001") << "no entry begins with 3";
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(SensorNavigationTest, ArrowKeysMoveOneSensorWhicheverWidgetGetsThem) {
    id().imgNext->click();
    QTest::keyClick(edit(), Qt::Key_Down);
    EXPECT_EQ(shown(), "200625001");
    QTest::keyClick(box(), Qt::Key_Up);
    EXPECT_EQ(shown(), "200525002");
    QTest::keyClick(box(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(edit()->selectedText(), "200525002") << "what a key selects stays selected";
}

TEST_F(SensorNavigationTest, MoreThanNineCharactersTakeOnlyBackspace) {
    box()->setEditText(u"999999999"_s);
    QTest::keyClicks(box(), u"99a"_s);
    QTest::keyClick(box(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(box()->currentText(), "9999999999");
    QTest::keyClick(box(), Qt::Key_Backspace);
    QTest::keyClick(box(), Qt::Key_8);
    EXPECT_EQ(box()->currentText(), "9999999998");
}

TEST_F(SensorNavigationTest, WithOneSensorOrNoneTheButtonsStop) {
    execSql(u"DELETE FROM Sensors WHERE InstrumentID <> '200525001'"_s);
    ASSERT_TRUE(s().rsSensors.requery().ok());
    id().imgNext->click();
    dialogs.expect(u"End of sensors"_s);
    id().imgPrevious->click();
    dialogs.expect(u"Start of Sensors"_s);

    execSql(u"DELETE FROM Sensors"_s);
    ASSERT_TRUE(s().rsSensors.requery().ok());
    id().imgNext->click();
    id().imgPrevious->click();
    EXPECT_EQ(logEntries(), 2);
    EXPECT_TRUE(logText().contains(u" imgNext_Click\r\n"_s));
    EXPECT_TRUE(logText().contains(u" imgPrevious_Click\r\n"_s));
}

} // namespace
