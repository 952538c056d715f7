// Alarm levels on the "2. Installation" tab: typed, validated, saved with the sensor,
// deleted with it; a database that cannot gain the table works on without them.
#include "alarms/AlarmStore.h"
#include "sensors/SensorTabs.h"
#include "tests/sensors/RegistryFixture.h"
#include <QTabWidget>

using namespace rv;
using namespace rv::test;
using namespace Qt::StringLiterals;

namespace {

class AlarmWindowTest : public RegistryTest {
protected:
    InstallationTab& inst() { return *window->installation; }
    void type(const QString& alert, const QString& alarm, const QString& rate) {
        inst().txtAlertLoad->setText(alert);
        inst().txtAlarmLoad->setText(alarm);
        inst().txtRateLimit->setText(rate);
    }
    QStringList shownLevels() {
        return {inst().txtAlertLoad->text(), inst().txtAlarmLoad->text(),
                inst().txtRateLimit->text()};
    }
    int levelRows() { return rows(u"SELECT count(*) FROM AlarmLevels"_s); }
};

TEST_F(AlarmWindowTest, LevelsAreSavedWithTheSensorAndShownForItAlone) {
    startWith({u"200525001"_s, u"200525002"_s});
    window->SSTab1->setCurrentIndex(1);
    EXPECT_TRUE(inst().fraLevels->isEnabled());
    EXPECT_EQ(shownLevels(), QStringList({"", "", ""}));
    type(u"10.50"_s, u"12"_s, u" 0.5"_s);
    window->SSTab1->setCurrentIndex(0); // leaving the tab saves the sensor
    EXPECT_EQ(rows(u"SELECT count(*) FROM AlarmLevels WHERE InstrumentID = '200525001' AND "
                   "AlertLoad = 10.5 AND AlarmLoad = 12 AND RateLimit = 0.5"_s),
              1);

    id().imgNext->click();
    EXPECT_EQ(shownLevels(), QStringList({"", "", ""})) << "the next sensor has none";
    id().imgPrevious->click();
    EXPECT_EQ(shownLevels(), QStringList({"10.5", "12", "0.5"}));

    type(u""_s, u"12"_s, u""_s);
    inst().cmdSave->click();
    EXPECT_EQ(rows(u"SELECT count(*) FROM AlarmLevels WHERE AlertLoad IS NULL AND "
                   "RateLimit IS NULL AND AlarmLoad = 12"_s),
              1);
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(AlarmWindowTest, ARefusedLevelIsSaidOnceAndNothingOfItIsStored) {
    startWith({u"200525001"_s});
    window->SSTab1->setCurrentIndex(1);
    type(u"15"_s, u"12"_s, u""_s);
    inst().txtLevel->setText(u"Level 7"_s);
    inst().cmdSave->click();
    const Message m = dialogs.take();
    EXPECT_TRUE(m.text.contains(u"alert load (15 tons) is above the alarm load (12 tons)"_s));
    EXPECT_TRUE(m.text.endsWith(u"The alarm levels were not saved."_s));
    EXPECT_EQ(m.title, u"Alarm levels"_s);
    EXPECT_EQ(m.icon, Icon::Exclamation);
    EXPECT_EQ(levelRows(), 0);
    EXPECT_EQ(column(u"Level"_s, u"200525001"_s), u"Level 7"_s) << "the rest of the record";

    type(u"abc"_s, u""_s, u""_s);
    window->SSTab1->setCurrentIndex(0);
    EXPECT_TRUE(dialogs.take().text.contains(u"\"abc\" is not a number"_s));
    EXPECT_EQ(levelRows(), 0);
    window->SSTab1->setCurrentIndex(1);
    EXPECT_EQ(shownLevels(), QStringList({"", "", ""})) << "the stored levels come back";
}

TEST_F(AlarmWindowTest, DeletingASensorDeletesItsLevels) {
    startWith({u"200525001"_s, u"200525002"_s});
    {
        Connection c;
        ASSERT_TRUE(c.open(databasePath).ok());
        ASSERT_TRUE(saveAlarmLevels(c, u"200525001"_s, {1.0, 2.0, 3.0}).ok());
        ASSERT_TRUE(saveAlarmLevels(c, u"200525002"_s, {4.0, 5.0, 6.0}).ok());
    }
    dialogs.answerYes();
    id().imgDelete->click();
    dialogs.take();
    EXPECT_EQ(rows(u"SELECT count(*) FROM AlarmLevels WHERE InstrumentID = '200525001'"_s), 0);
    EXPECT_EQ(rows(u"SELECT count(*) FROM AlarmLevels WHERE InstrumentID = '200525002'"_s), 1);
}

TEST_F(AlarmWindowTest, AReadOnlyDatabaseWorksWithoutLevelsAndSaysSo) {
    addSensorRow(u"200525001"_s);
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    ASSERT_TRUE(start());
    EXPECT_FALSE(inst().fraLevels->isEnabled());
    EXPECT_TRUE(inst().fraLevels->title().contains(u"read-only"_s));
    EXPECT_EQ(logEntries(), 0);
    EXPECT_EQ(id().txtSensor->text(), u"200525001"_s) << "the sensor is shown all the same";
}

} // namespace
