// Alarm levels on the "2. Installation" tab: typed, validated, saved with the sensor,
// deleted with it; a database that cannot gain the table works on without them.
#include "alarms/AlarmStore.h"
#include "maintenance/DatabaseCheck.h"
#include "readings/ReadingsTab.h"
#include "sensors/LevelsGroup.h"
#include "sensors/SensorTabs.h"
#include "tests/sensors/RegistryFixture.h"
#include <QTabWidget>
#include <QTableWidget>

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

// On the database file and on a site server database alike.
using AlarmWindowOnEachEngine = OnEachEngine<AlarmWindowTest>;

TEST_P(AlarmWindowOnEachEngine, LevelsAreSavedWithTheSensorAndShownForItAlone) {
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
INSTANTIATE_TEST_SUITE_P(BothEngines, AlarmWindowOnEachEngine, bothEngines(), engineName);

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
    // Start-up says once what a database that can only be read goes without.
    dialogs.expect(readOnlyDatabaseText(false), kTitle, Icon::Information);
    EXPECT_FALSE(inst().fraLevels->isEnabled());
    EXPECT_TRUE(inst().fraLevels->title().contains(u"read-only"_s));
    EXPECT_EQ(logEntries(), 0);
    EXPECT_EQ(id().txtSensor->text(), u"200525001"_s) << "the sensor is shown all the same";
}

} // namespace

namespace {

// The Utilities tab lists the sensors beyond their levels; a double-click goes to one.
TEST_F(AlarmWindowTest, TheUtilitiesTabListsSensorsBeyondTheirLevelsAndGoesToThem) {
    for (const char* id : {"200525001", "200525002", "200525003"})
        addSensorRow(QString::fromLatin1(id));
    execSql(u"INSERT INTO `200525003` (DateTimeKey, FullDate, Channel1, DoNotPlot) VALUES "
            "('200525003 2026/03/02 06:00:00', '2026-03-02 06:00:00', '12.5', 0)"_s);
    execSql(u"INSERT INTO `200525002` (DateTimeKey, FullDate, Channel1, DoNotPlot) VALUES "
            "('200525002 2026/03/02 06:00:00', '2026-03-02 06:00:00', '3', 0)"_s);
    ASSERT_TRUE(start());
    {
        Connection c;
        ASSERT_TRUE(c.open(databasePath).ok());
        ASSERT_TRUE(saveAlarmLevels(c, u"200525003"_s, {10.0, 12.0, std::nullopt}).ok());
        ASSERT_TRUE(saveAlarmLevels(c, u"200525002"_s, {10.0, 12.0, std::nullopt}).ok());
    }
    window->SSTab1->setCurrentIndex(5);
    QTableWidget* list = window->levels->lstBeyond;
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(list->item(0, 0)->text(), u"200525003"_s);
    EXPECT_EQ(list->item(0, 1)->text(), u"12.50"_s);
    EXPECT_EQ(list->item(0, 2)->text(), u"ALARM 12"_s);
    EXPECT_EQ(list->item(0, 3)->text(), u"2026/03/02 06:00"_s);
    EXPECT_EQ(window->levels->lblBeyond->text(), u"1 sensor is at or above a level:"_s);

    emit list->cellDoubleClicked(0, 2);
    EXPECT_EQ(window->SSTab1->currentIndex(), 0);
    EXPECT_EQ(id().txtSensor->text(), u"200525003"_s);
    EXPECT_EQ(box()->currentText(), u"200525003"_s);
    EXPECT_EQ(id().txtSnav->text(), u"3 of 3"_s);

    // A sensor the filter hides is not reached; the one shown stays.
    EXPECT_FALSE(registry().goToSensor(u"200525999"_s));
    EXPECT_TRUE(dialogs.take().text.contains(u"filter hides it"_s));
    EXPECT_EQ(id().txtSensor->text(), u"200525003"_s);
}

} // namespace

namespace {

// The Readings tab tells when the reading shown is at or beyond a level, or rose too fast.
TEST_F(AlarmWindowTest, TheReadingsTabShowsANoticeForAReadingBeyondItsLevels) {
    addSensorRow(u"200525001"_s);
    auto reading = [&](const QString& day, const QString& load, int doNotPlot) {
        execSql(u"INSERT INTO `200525001` (DateTimeKey, ReadingDate, ReadingTime, FullDate, "
                "Channel1, DoNotPlot) VALUES ('200525001 %1 06:00:00', '%2', '06:00:00', "
                "'%2 06:00:00', '%3', %4)"_s.arg(QString(day).replace(u'-', u'/'), day, load)
                    .arg(doNotPlot));
    };
    reading(u"2026-03-01"_s, u"5.00"_s, 0);
    reading(u"2026-03-02"_s, u"20.00"_s, 1); // not plotted: never the previous reading
    reading(u"2026-03-03"_s, u"11.00"_s, 0);
    reading(u"2026-03-04"_s, u"11.50"_s, 0);
    ASSERT_TRUE(start());
    {
        Connection c;
        ASSERT_TRUE(c.open(databasePath).ok());
        ASSERT_TRUE(saveAlarmLevels(c, u"200525001"_s, {10.0, 12.0, 2.0}).ok());
    }
    window->SSTab1->setCurrentIndex(2);
    QLabel* notice = window->readings->lblLevels;
    EXPECT_TRUE(notice->isVisibleTo(window.get())) << "11.5 is above the alert load";
    EXPECT_EQ(notice->text(), u"ALERT: load 11.50 t above the installation offset (reading "
                              "11.50 t \u2212 offset 0.00 t) is at or above the alert load of "
                              "10 t"_s);
    window->readings->chkDontPlot->click(); // kept out of the plots, and of the checks
    EXPECT_FALSE(notice->isVisibleTo(window.get()));
    window->readings->chkDontPlot->click();
    EXPECT_TRUE(notice->isVisibleTo(window.get()));

    window->readings->imgPrevData->click(); // 11.00, 6 tons in 2 days from 5.00
    EXPECT_EQ(notice->text(), u"ALERT: load 11.00 t above the installation offset (reading "
                              "11.00 t \u2212 offset 0.00 t) is at or above the alert load of "
                              "10 t; RISING FAST: 3.00 t/day since the previous reading "
                              "(5.00 t), faster than the limit of 2 t/day"_s);
    window->readings->imgPrevData->click(); // the reading kept out of the plots
    EXPECT_FALSE(notice->isVisibleTo(window.get())) << "20.00 is kept out of the checks";
    window->readings->imgPrevData->click(); // 5.00, the first: nothing to say
    EXPECT_FALSE(notice->isVisibleTo(window.get()));

    // The load is taken from the offset shown, as the plots take it.
    window->installation->txtOffset->setText(u"1.6"_s);
    window->readings->imgLast->click();
    EXPECT_FALSE(notice->isVisibleTo(window.get())) << "11.5 - 1.6 is below the alert load";
}

} // namespace
