// The Readings tab follows the current sensor: another sensor shown, or the database
// restored, gives the tab that sensor's number and readings, and nothing of the reading
// shown before is written back under the new sensor's name.
#include "store/Session.h"
#include "tests/readings/ReadingsFixture.h"

using namespace rv;
using namespace rv::test;

namespace {

class CurrentSensorTabTest : public ReadingsWindowTest {
protected:
    void SetUp() override {
        ReadingsWindowTest::SetUp();
        addSensorRow(kOther);
        addReading("2005/03/27 06:00:00", "130.00");
        addReading("2005/03/28 06:00:00", "136.65");
        addReading("2005/04/02 12:00:00", "7.25", "-", 0, kOther);
        watchWrites(kId);
        watchWrites(kOther);
    }
    // The sensors are moved as the navigation moves them, then the move is announced.
    void show(const QString& id, bool restored = false) {
        Recordset& sensors = s().rsSensors;
        ASSERT_TRUE(sensors.moveFirst().ok());
        ASSERT_TRUE(sensors.find(QStringLiteral("InstrumentID = '") + id + u'\'').ok());
        if (restored)
            s().currentSensor.announceRestored();
        else
            s().currentSensor.announceChanged();
    }
    QStringList shown() {
        return {tab().txtSensor3->text(), tab().txtReadingID->text(), tab().txtChannel_1->text(),
                counter()};
    }
};

TEST_F(CurrentSensorTabTest, TheTabOnScreenShowsTheNewSensorsNewestReadingAtOnce) {
    startOnReadings();
    tab().imgFirst->click();
    ASSERT_EQ(shown(),
              (QStringList{"200525001", "200525001 2005/03/27 06:00:00", "130.00", "1 of 2"}));
    show(kOther);
    EXPECT_EQ(shown(),
              (QStringList{"200525002", "200525002 2005/04/02 12:00:00", "7.25", "1 of 1"}));
    // A restore reads everything again: the remembered reading is no more, the newest shows.
    show(kId, true);
    EXPECT_EQ(shown(),
              (QStringList{"200525001", "200525001 2005/03/28 06:00:00", "136.65", "2 of 2"}));
    window->SSTab1->setCurrentIndex(0);
    // Every reading is still found under its own key with its own load.
    EXPECT_EQ(stored("Channel1", "2005/03/27 06:00:00"), "130.00");
    EXPECT_EQ(stored("Channel1", "2005/03/28 06:00:00"), "136.65");
    EXPECT_EQ(stored("Channel1", "2005/04/02 12:00:00", kOther), "7.25");
    EXPECT_EQ(readingCount(kId), 2);
    EXPECT_EQ(readingCount(kOther), 1);
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(CurrentSensorTabTest, AHiddenTabTakesTheNumberAtOnceAndTheReadingsWhenEntered) {
    startOnReadings();
    for (const bool restored : {false, true}) {
        SCOPED_TRACE(restored ? "restored" : "changed");
        window->SSTab1->setCurrentIndex(0);
        const int writes = writesTo(kId) + writesTo(kOther);
        show(kOther, restored);
        EXPECT_EQ(tab().txtSensor3->text(), "200525002");
        EXPECT_EQ(writesTo(kId) + writesTo(kOther), writes) << "nothing written while hidden";
        window->SSTab1->setCurrentIndex(2);
        EXPECT_EQ(shown(),
                  (QStringList{"200525002", "200525002 2005/04/02 12:00:00", "7.25", "1 of 1"}));
        window->SSTab1->setCurrentIndex(0);
        show(kId, restored);
        window->SSTab1->setCurrentIndex(2);
        EXPECT_EQ(shown(),
                  (QStringList{"200525001", "200525001 2005/03/28 06:00:00", "136.65", "2 of 2"}));
    }
    EXPECT_EQ(logEntries(), 0);
}

} // namespace
