// The sensor filter on the "6. Utilities" tab, driven through its boxes and its button.
#include "core/DateText.h"
#include "tests/sensors/RegistryFixture.h"
#include <QApplication>
#include <QFocusEvent>
#include <QTabWidget>
#include <QTest>

using namespace rv;
using namespace rv::test;
using namespace Qt::StringLiterals;

namespace {

class SensorFilterTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // id, destroyed, install date, level, location
        const QStringList sensors[] = {
            {u"200425001"_s, u"No"_s, u"2004-12-31"_s, u"L12"_s, u"North"_s},
            {u"200525001"_s, u"No"_s, u"2005-01-01"_s, u"L12"_s, u"North"_s},
            {u"200525002"_s, u"Yes"_s, u"2005-06-01"_s, u"L12"_s, u"North"_s},
            {u"200525003"_s, u"No"_s, u"2005-12-31"_s, u"L7"_s, u"South"_s},
            {u"202625001"_s, u"No"_s, u"2026-03-14"_s, u"O''Brien"_s, u"`shaft` 50%"_s},
            {u"202625002"_s, u"No"_s, u"2026-03-15"_s, u"L1%"_s, u"North"_s},
        };
        for (const QStringList& row : sensors) {
            addSensorRow(row[0], row[1], row[2]);
            execSql(
                u"UPDATE Sensors SET Level = '%1', Location = '%2' WHERE InstrumentID = '%3'"_s.arg(
                    row[3], row[4], row[0]));
        }
        ASSERT_TRUE(start());
        window->show();
        window->SSTab1->setCurrentIndex(5);
    }
    void apply() { filter().imgFilter->click(); }
    void expectFiltered(const QStringList& passing, const QString& expression) {
        EXPECT_EQ(s().rsSensors.filterText(), expression);
        EXPECT_EQ(listed(), passing);
        EXPECT_EQ(count(), QString::number(passing.size()));
        EXPECT_EQ(shown(), passing.front());
        EXPECT_EQ(box()->currentText(), passing.front());
        EXPECT_EQ(filter().lblFilterState->text(), "Remove Filter");
        EXPECT_FALSE(filter().lblFilter->isHidden());
        EXPECT_EQ(filter().imgFilter->pictureName(), "imgRemoveFilter");
    }
    void expectUnfiltered() {
        EXPECT_FALSE(s().rsSensors.hasFilter());
        EXPECT_EQ(listed().size(), 6);
        EXPECT_EQ(count(), "6");
        EXPECT_EQ(shown(), "200425001");
        EXPECT_EQ(filter().lblFilterState->text(), "Apply Filter");
        EXPECT_TRUE(filter().lblFilter->isHidden());
        EXPECT_EQ(filter().imgFilter->pictureName(), "imgApplyFilter");
    }
};

// On the database file and on a site server database alike.
using SensorFilterOnEachEngine = OnEachEngine<SensorFilterTest>;

TEST_P(SensorFilterOnEachEngine, HidingDestroyedSensorsNarrowsListCountAndNavigation) {
    EXPECT_TRUE(filter().isVisible());
    EXPECT_EQ(filter().txtFilterType->currentText(), "");
    EXPECT_EQ(filter().txtFilterType->itemText(0), "25: LODIX");
    expectUnfiltered();

    filter().chkDontShowDestroyed->setChecked(true);
    apply();
    expectFiltered({"200425001", "200525001", "200525003", "202625001", "202625002"},
                   u"Destroyed = 'No'"_s);
    id().imgNext->click();
    id().imgNext->click();
    EXPECT_EQ(shown(), "200525003") << "the destroyed sensor is passed over";

    filter().lblFilterState->click();
    expectUnfiltered();
    EXPECT_FALSE(filter().chkDontShowDestroyed->isChecked());
    EXPECT_EQ(logEntries(), 0);
}
INSTANTIATE_TEST_SUITE_P(BothEngines, SensorFilterOnEachEngine, bothEngines(), engineName);

TEST_F(SensorFilterTest, AnUnknownTypeIsRefusedAndAllFiveCriteriaApply) {
    filter().txtFilterType->setEditText(u"26"_s);
    apply();
    dialogs.expect(u"Sensor Type is not recognized\r\n\r\nPlease choose a sensor from the list, "
                   "or enter the 2 digit sensor #"_s);
    expectUnfiltered();

    filter().txtFilterType->setEditText(u"25"_s);
    filter().txtFilterLevel->setText(u"L12"_s);
    filter().txtFilterLocation->setText(u"North"_s);
    filter().txtStartDate->setText(u"2005/01/01"_s);
    filter().txtEndDate->setText(u"2005/12/31"_s);
    filter().chkDontShowDestroyed->setChecked(true);
    apply();
    expectFiltered({"200525001"}, u"Destroyed = 'No' AND SensorType ='25' AND Level ='L12' AND "
                                  "Location ='North' AND InstallDate >= 2005/01/01 AND "
                                  "InstallDate <= 2005/12/31"_s);
    // Removing the filter empties every box and unticks the check box.
    apply();
    expectUnfiltered();
    for (const QLineEdit* box :
         {filter().txtFilterType->lineEdit(), filter().txtFilterLevel, filter().txtFilterLocation,
          static_cast<QLineEdit*>(filter().txtStartDate),
          static_cast<QLineEdit*>(filter().txtEndDate)})
        EXPECT_EQ(box->text(), "") << box->objectName().toStdString();
    EXPECT_FALSE(filter().chkDontShowDestroyed->isChecked());
}

TEST_F(SensorFilterTest, QuotesBackquotesAndPercentSignsArePlainText) {
    filter().txtFilterLevel->setText(u"O'Brien"_s);
    filter().txtFilterLocation->setText(u"`shaft` 50%"_s);
    apply();
    expectFiltered({"202625001"}, u"Level ='O'Brien' AND Location ='`shaft` 50%'"_s);
    apply();
    filter().txtFilterLevel->setText(u"L1%"_s);
    apply();
    expectFiltered({"202625002"}, u"Level ='L1%'"_s);
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(SensorFilterTest, DateRangesIncludeBothDaysWhateverTheirForm) {
    filter().txtStartDate->setText(u"2005-1-1"_s);
    filter().txtEndDate->setText(u"2005/12/31"_s);
    apply();
    expectFiltered({"200525001", "200525002", "200525003"},
                   u"InstallDate >= 2005-1-1 AND InstallDate <= 2005/12/31"_s);
    apply();

    filter().txtStartDate->setText(u"2005/12/31"_s);
    apply();
    expectFiltered({"200525003", "202625001"}, u"InstallDate >= 2005/12/31 AND InstallDate <= "_s +
                                                   shortDateText(QDate(2026, 3, 14)));
    apply();

    filter().txtEndDate->setText(u"2005/01/01"_s);
    apply();
    expectFiltered({"200425001", "200525001"},
                   u"InstallDate >= 1999/01/01 AND InstallDate <= 2005/01/01"_s);
}

TEST_F(SensorFilterTest, RefusedCriteriaAndNoMatchLeaveTheFullList) {
    apply();
    dialogs.expect(u"You must enter criteria to filter sensors on"_s, kTitle, Icon::Information);

    filter().txtStartDate->setText(u"2005/13/45"_s);
    apply();
    dialogs.expect(u"Start date is not a valid date\r\nPlease enter a date in the format "
                   "yyyy/mm/dd"_s);
    EXPECT_EQ(window->focusWidget(), filter().txtStartDate);
    filter().txtStartDate->clear();
    filter().txtEndDate->setText(u"yesterday"_s);
    apply();
    dialogs.expect(u"End date is not a valid date\r\nPlease enter a date in the format "
                   "yyyy/mm/dd"_s);
    EXPECT_EQ(window->focusWidget(), filter().txtEndDate);
    filter().txtEndDate->clear();

    filter().txtFilterLevel->setText(u"L99"_s);
    id().imgNext->click();
    apply();
    dialogs.expect(u"There are no sensors that meet the criteria"_s, kTitle, Icon::Exclamation);
    expectUnfiltered();
    EXPECT_EQ(filter().txtFilterLevel->text(), "L99") << "kept for correcting";
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(SensorFilterTest, LeavingADateBoxChecksItsDateOnce) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const QString tail = u" is not a valid date\r\nPlease type a date in the format yyyy/mm/dd"_s;
    filter().txtStartDate->setFocus();
    filter().txtStartDate->setText(u"2005/12/01"_s);
    filter().txtEndDate->setFocus();
    EXPECT_TRUE(dialogs.pending().empty()) << "a good date is left without a word";

    filter().txtEndDate->setText(u"31.12.2005x"_s);
    filter().txtFilterLevel->setFocus();
    dialogs.expect(u"End Date"_s + tail, kAppTitle, Icon::Exclamation);
    EXPECT_EQ(QApplication::focusWidget(), filter().txtEndDate);

    // Two bad dates: the focus comes back once and never goes back and forth.
    filter().txtStartDate->setText(u"bad"_s);
    filter().txtStartDate->setFocus();
    dialogs.expect(u"End Date"_s + tail, kAppTitle, Icon::Exclamation);
    EXPECT_EQ(QApplication::focusWidget(), filter().txtEndDate);
    EXPECT_TRUE(dialogs.pending().empty());

    // Switching to another program is no leaving of the box.
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(filter().txtEndDate, &away);
    EXPECT_TRUE(dialogs.pending().empty());
}

} // namespace
