// The model of the sensor shown: every event is announced exactly once, whatever the
// number of steps it takes, and a part that follows the announcements shows what the
// database now holds.
#include "alarms/AlarmStore.h"
#include "maintenance/Maintenance.h"
#include "sensors/FilterGroup.h"
#include "sensors/LevelsGroup.h"
#include "sensors/SensorRegistry.h"
#include "sensors/SensorTabs.h"
#include "tests/support/MainWindow.h"
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <array>

using namespace rv;
using namespace rv::test;
using namespace Qt::StringLiterals;

namespace {

class CurrentSensorTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        for (const char* id : {"200525001", "200525002"})
            addSensorRow(QString::fromLatin1(id));
        ASSERT_TRUE(start());
        changed = std::make_unique<QSignalSpy>(&s().currentSensor, &CurrentSensor::changed);
        saved = std::make_unique<QSignalSpy>(&s().currentSensor, &CurrentSensor::saved);
        restored = std::make_unique<QSignalSpy>(&s().currentSensor, &CurrentSensor::restored);
    }
    // The announcements since the last call: changed, saved, restored.
    std::array<int, 3> heard() {
        const std::array<int, 3> counts{int(changed->count()), int(saved->count()),
                                        int(restored->count())};
        for (QSignalSpy* spy : {changed.get(), saved.get(), restored.get()})
            spy->clear();
        return counts;
    }
    IdentificationTab& id() { return *window->identification; }

    std::unique_ptr<QSignalSpy> changed, saved, restored;
};

using Heard = std::array<int, 3>;

TEST_F(CurrentSensorTest, MovingAndSavingAreEachAnnouncedOnce) {
    EXPECT_EQ(s().currentSensor.id(), u"200525001"_s);
    // At the first sensor Previous goes nowhere: nothing is announced.
    id().imgPrevious->click();
    dialogs.expect(u"Start of Sensors"_s);
    EXPECT_EQ(heard(), (Heard{0, 0, 0}));
    // Next saves the sensor left, then shows the next one.
    id().imgNext->click();
    EXPECT_EQ(heard(), (Heard{1, 1, 0}));
    EXPECT_EQ(s().currentSensor.id(), u"200525002"_s);
    EXPECT_EQ(s().currentSensor.position(), 2);
    // At the last sensor Next goes nowhere.
    id().imgNext->click();
    dialogs.expect(u"End of sensors"_s);
    EXPECT_EQ(heard(), (Heard{0, 0, 0}));
    window->installation->cmdSave->click();
    EXPECT_EQ(heard(), (Heard{0, 1, 0}));
    EXPECT_EQ(s().currentSensor.id(), u"200525002"_s);
}

// Adding a sensor the filter hides takes the filter off and shows the first sensor before
// the new one: still one event.
TEST_F(CurrentSensorTest, AddingASensorTheFilterHidesIsOneChange) {
    execSql(u"UPDATE Sensors SET Level = 'L12'"_s);
    ASSERT_TRUE(s().rsSensors.requery().ok());
    FilterGroup& filter = window->registry->filter();
    filter.txtFilterLevel->setText(u"L12"_s);
    filter.imgFilter->click();
    EXPECT_EQ(heard()[0], 1);
    dialogs.answerYes();
    window->registry->gNewSensorID = u"200525003"_s;
    window->registry->G_AddTypedSensor();
    dialogs.take(); // "Do you want to add new Sensor 200525003 to the database?"
    EXPECT_FALSE(s().rsSensors.hasFilter());
    EXPECT_EQ(heard()[0], 1);
    EXPECT_EQ(s().currentSensor.id(), u"200525003"_s);
    EXPECT_EQ(s().currentSensor.count(), 3);
}

// A restore is announced once, as a restore; the list of sensors beyond their levels, on
// the tab the restore is made from, then shows the restored database, not the one it
// replaced.
TEST_F(CurrentSensorTest, ARestoreIsAnnouncedOnceAndTheLevelsListIsMadeAgain) {
    execSql(u"INSERT INTO `200525002` (DateTimeKey, FullDate, Channel1, DoNotPlot) VALUES "
            "('200525002 2026/03/02 06:00:00', '2026-03-02 06:00:00', '12.5', 0)"_s);
    window->SSTab1->setCurrentIndex(5);
    window->backups->imgBackup->click();
    dialogs.expect(u"Backup was successful"_s, kTitle, Icon::Information);
    EXPECT_EQ(heard()[2], 0);
    {
        Connection c;
        ASSERT_TRUE(c.open(databasePath).ok());
        ASSERT_TRUE(saveAlarmLevels(c, u"200525002"_s, {10.0, 12.0, std::nullopt}).ok());
    }
    window->levels->refresh();
    ASSERT_EQ(window->levels->lstBeyond->rowCount(), 1);
    heard();

    window->backups->lstFiles->setCurrentRow(1);
    window->backups->lstFiles->item(1)->setSelected(true);
    ASSERT_EQ(window->backups->lstFiles->item(1)->text(), u"LODIXbackup2026-03-14.mdb"_s);
    dialogs.answerYes();
    window->backups->imgRestore->click();
    dialogs.take(); // "Restoring Rockvane from backup ..."
    dialogs.expect(u"Restore was successful"_s, kTitle, Icon::Information);
    EXPECT_EQ(heard(), (Heard{0, 0, 1}));
    EXPECT_EQ(window->levels->lstBeyond->rowCount(), 0);
    EXPECT_EQ(window->levels->lblBeyond->text(), u"No sensor is at or above its levels."_s);
    EXPECT_EQ(s().currentSensor.id(), u"200525001"_s);
}

} // namespace
