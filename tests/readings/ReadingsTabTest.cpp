// The "3. Readings" tab driven through the real main window: showing, moving, validating,
// adding, re-keying and writing back readings, and what tab changes and closing do.
#include "readings/ReadingsTab.h"
#include "tests/support/DataFolder.h"
#include "tests/support/MainWindow.h"
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <ctime>

using namespace rv;
using namespace rv::test;

namespace {

const QString kId = QStringLiteral("200525001");
// The three readings of threeReadings(), oldest first.
const char* const k10 = "2026/03/10 08:00:00";
const char* const k11 = "2026/03/11 08:00:00";
const char* const k12 = "2026/03/12 08:00:00";

class ReadingsTabTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        addSensorRow(kId);
    }
    // A reading written straight into the sensor's table; "-" for a Null value.
    void addReading(const char* dateTime, const char* load = "-", const char* temp = "-",
                    int doNotPlot = 0) {
        auto value = [](const char* v) {
            return qstrcmp(v, "-") == 0 ? QVariant() : ReadingRow::text(v);
        };
        addReadings(kId, {ReadingRow::at(kId, QString::fromLatin1(dateTime))
                              .channel1(value(load))
                              .channelT(value(temp))
                              .doNotPlot(doNotPlot)});
    }
    void threeReadings() {
        addReading(k10, "10.00", "20.0");
        addReading(k11, "11.00", "21.0", 1);
        addReading(k12, "12.00", "22.0");
    }
    void startOnReadings() {
        ASSERT_TRUE(start());
        window->show();
        window->SSTab1->setCurrentIndex(2);
    }
    // Real focus changes need the window to be the active one.
    void activate() {
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    ReadingsTab& tab() { return *window->readings; }
    static QString key(const char* dateTime) { return kId + u' ' + QLatin1String(dateTime); }
    // A column of the reading with that key, straight from the file ("<null>" for Null).
    QString stored(const char* column, const char* dateTime) {
        return stored(column, key(dateTime));
    }
    QString stored(const char* column, const QString& key) {
        const QVariant v = scalar(QStringLiteral("SELECT %1 FROM `%2` WHERE DateTimeKey = '%3'")
                                      .arg(QLatin1String(column), kId, key));
        return v.isNull() ? QStringLiteral("<null>") : v.toString();
    }
    int readingCount() {
        return scalar(QStringLiteral("SELECT count(*) FROM `%1`").arg(kId)).toInt();
    }
    QString counter() { return tab().txtRcount->text(); }
    bool errorShown() { return !tab().lblError->isHidden(); }
    int logCount(const char* label) {
        return int(logText().count(QLatin1String(label) + QStringLiteral("\r\n")));
    }
};

// ---------------------------------------------------------------------------------
// Showing and moving

TEST_F(ReadingsTabTest, EnteringShowsTheNewestReadingAndTheButtonsWalkTheOrder) {
    threeReadings();
    addReading("2026/03/13 08:00:00"); // Null values and a stored No
    execSql(QStringLiteral("UPDATE `%1` SET DoNotPlot = NULL WHERE Channel1 IS NULL").arg(kId));
    startOnReadings();
    EXPECT_EQ(counter(), "4 of 4");
    EXPECT_EQ(tab().txtChannel_1->text(), "") << "Null shows empty, not 0";
    EXPECT_EQ(tab().txtChannelT->text(), "");
    EXPECT_TRUE(tab().chkDontPlot->isChecked()) << "a Null mark shows ticked";

    tab().imgPrevData->click();
    EXPECT_EQ(counter(), "3 of 4");
    EXPECT_EQ(tab().txtReadingID->text(), key(k12));
    EXPECT_EQ(tab().dtpRdate->date(), QDate(2026, 3, 12));
    EXPECT_EQ(tab().dtpRtime->time(), QTime(8, 0, 0));
    EXPECT_EQ(tab().txtChannel_1->text(), "12.00");
    EXPECT_EQ(tab().txtChannelT->text(), "22.0");
    EXPECT_FALSE(tab().chkDontPlot->isChecked());
    EXPECT_FALSE(errorShown());
    tab().Label62->click();
    EXPECT_TRUE(tab().chkDontPlot->isChecked());
    tab().Label61->click(); // First, by its caption
    EXPECT_EQ(counter(), "1 of 4");
    tab().imgFirst->click();
    dialogs.expect(QStringLiteral("Start of readings"));
    tab().imgPrevData->click();
    dialogs.expect(QStringLiteral("Start of readings"));
    tab().Label60->click(); // Next
    EXPECT_EQ(counter(), "2 of 4");
    tab().Label64->click(); // Last
    EXPECT_EQ(counter(), "4 of 4");
    tab().imgNextData->click();
    dialogs.expect(QStringLiteral("End of readings"));
    tab().imgLast->click();
    dialogs.expect(QStringLiteral("End of readings"));
    EXPECT_EQ(counter(), "4 of 4");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(ReadingsTabTest, ASensorWithoutReadingsShowsAnEmptyReadingAndTheButtonsDoNothing) {
    startOnReadings();
    EXPECT_EQ(counter(), "0 of 0");
    EXPECT_EQ(tab().txtReadingID->text(), "");
    EXPECT_EQ(tab().dtpRdate->date(), clock.today());
    EXPECT_EQ(tab().dtpRtime->time(), QTime(12, 0, 0));
    EXPECT_TRUE(errorShown());
    EXPECT_EQ(tab().lblError->text(), "0 Readings - Click the Add button to add a reading");
    for (PictureButton* b : {tab().imgFirst, tab().imgPrevData, tab().imgNextData, tab().imgLast})
        b->click();
    tab().chkDontPlot->click();
    EXPECT_TRUE(dialogs.pending().empty());
    EXPECT_EQ(readingCount(), 0);
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(ReadingsTabTest, FutureDateWarningComesAndGoesWithTheReadingShown) {
    addReading("2026/03/14 06:00:00"); // today
    addReading("2026/03/15 06:00:00"); // tomorrow
    startOnReadings();
    EXPECT_TRUE(errorShown());
    EXPECT_EQ(tab().lblError->text(), "Warning: Reading Date is in the future");
    tab().imgPrevData->click();
    EXPECT_FALSE(errorShown()) << "a reading dated today is not in the future";
}

TEST_F(ReadingsTabTest, AMissingReadingsTableIsAnnouncedCreatedAndShownEmpty) {
    threeReadings();
    execSql(QStringLiteral("DROP TABLE `%1`").arg(kId));
    QFile workFile(dataFolder + QStringLiteral("/datafile.txt"));
    ASSERT_TRUE(workFile.open(QIODevice::WriteOnly));
    workFile.close();
    startOnReadings();
    dialogs.expect(QStringLiteral("The data table for Sensor 200525001 could not be found\r\n"
                                  "A new table will be created"));
    EXPECT_EQ(counter(), "0 of 0");
    EXPECT_FALSE(QFile::exists(workFile.fileName())) << "the import work file is removed";
    window->SSTab1->setCurrentIndex(0);
    window->SSTab1->setCurrentIndex(2);
    EXPECT_TRUE(dialogs.pending().empty()) << "the table now exists";
    tab().imgAddReading->click();
    EXPECT_EQ(counter(), "1 of 1");
}

TEST_F(ReadingsTabTest, ShowingAReadingIsNotAnEdit) {
    // A key in an older form than the pickers write: showing it must not re-key it.
    execSql(QStringLiteral("INSERT INTO `%1` (DateTimeKey, ReadingDate, ReadingTime, FullDate) "
                           "VALUES ('200525001 2026/3/9 7:05:00', '2026-03-09', '7:05:00', "
                           "'2026-03-09 07:05:00')")
                .arg(kId));
    startOnReadings();
    EXPECT_EQ(tab().dtpRtime->time(), QTime(7, 5, 0));
    EXPECT_EQ(stored("ReadingTime", QStringLiteral("200525001 2026/3/9 7:05:00")), "7:05:00");
}

// ---------------------------------------------------------------------------------
// Validation and the number boxes

TEST_F(ReadingsTabTest, LimitsAreAcceptedAtBothEndsAndRefusedJustOutside) {
    threeReadings();
    startOnReadings();
    const char* const loadError = "Error: Channel 1 must be > 0 and < 300";
    const char* const tempError = "Error: Channel T must be > -20 and < 60";
    const struct {
        const char *load, *temp, *error; // error nullptr: valid
    } cases[] = {
        {"0", "20", nullptr},
        {"300", "-20", nullptr},
        {"", "", nullptr},
        {"12.5.3", "60",
         "Error: Load 1 of the reading 200525001 2026/03/12 08:00:00 is not a "
         "number: 12.5.3"},
        {"-0.01", "20", loadError},
        {"300.01", "20", loadError},
        {"12", "-20.1", tempError},
        {"12", "60.1", tempError},
        {"999", "99", tempError},
    };
    for (const auto& c : cases) {
        tab().lblError->hide();
        tab().txtChannel_1->setText(QLatin1String(c.load));
        tab().txtChannelT->setText(QLatin1String(c.temp));
        EXPECT_EQ(tab().G_ReadingValid(), c.error == nullptr) << c.load << " / " << c.temp;
        EXPECT_EQ(tab().lblError->text(), QLatin1String(c.error ? c.error : "Error:"));
        EXPECT_EQ(errorShown(), c.error != nullptr);
        tab().lblError->setText(QStringLiteral("Error:"));
    }
    // The type's own settings decide: no temperature test, a load range above zero.
    execSql(QStringLiteral("UPDATE Configuration SET tempchannel = 0, lowval = 0.5"));
    ASSERT_TRUE(s().rsConfig.requery().ok());
    tab().txtChannelT->setText(QStringLiteral("500"));
    tab().txtChannel_1->setText(QStringLiteral(""));
    EXPECT_FALSE(tab().G_ReadingValid());
    EXPECT_EQ(tab().lblError->text(), "Error: Channel 1 must be > 0.5 and < 300");
}

TEST_F(ReadingsTabTest, AnInvalidReadingBlocksMovingAddingAndTheMarkButNotLeavingTheTab) {
    threeReadings();
    startOnReadings();
    tab().txtChannel_1->setText(QStringLiteral("13"));
    tab().chkDontPlot->click();
    EXPECT_EQ(stored("DoNotPlot", k12), "1") << "a valid reading is saved with its mark";
    EXPECT_EQ(stored("Channel1", k12), "13.00");

    tab().txtChannel_1->setText(QStringLiteral("500"));
    tab().imgPrevData->click();
    tab().Label63->click(); // Add New
    tab().chkDontPlot->click();
    EXPECT_EQ(counter(), "3 of 3");
    EXPECT_EQ(tab().lblError->text(), "Error: Channel 1 must be > 0 and < 300");
    EXPECT_EQ(readingCount(), 3);
    EXPECT_EQ(stored("Channel1", k12), "13.00");
    EXPECT_EQ(stored("DoNotPlot", k12), "1");

    window->SSTab1->setCurrentIndex(1);
    EXPECT_EQ(stored("Channel1", k12), "500.00") << "leaving the tab writes without validation";
    EXPECT_EQ(stored("DoNotPlot", k12), "0");
}

TEST_F(ReadingsTabTest, LeavingANumberBoxOutsideItsLimitsKeepsTheFocusThere) {
    threeReadings();
    startOnReadings();
    activate();
    tab().txtChannel_1->setFocus();
    tab().txtChannel_1->setText(QStringLiteral("301"));
    tab().chkDontPlot->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(window->focusWidget(), tab().txtChannel_1);
    EXPECT_EQ(tab().lblError->text(), "Error: Channel 1 must be > 0 and < 300");
    EXPECT_TRUE(errorShown());

    tab().txtChannel_1->setText(QStringLiteral("300"));
    tab().txtChannelT->setFocus(Qt::BacktabFocusReason);
    EXPECT_EQ(window->focusWidget(), tab().txtChannelT);
    EXPECT_FALSE(errorShown());
    tab().txtChannelT->setText(QStringLiteral("61"));
    tab().dtpRtime->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(window->focusWidget(), tab().txtChannelT);
    EXPECT_EQ(tab().lblError->text(), "Error: Channel T must be > -20 and < 60");

    // Changing tabs is not refused: the reading is written back as it is.
    window->SSTab1->setCurrentIndex(1);
    EXPECT_EQ(window->SSTab1->currentIndex(), 1);
    EXPECT_EQ(stored("ChannelT", k12), "61.0");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(ReadingsTabTest, WithoutAConfigurationRowReadingsAreTakenAsValidAndLoggedOnce) {
    threeReadings();
    execSql(QStringLiteral("UPDATE Sensors SET SensorType = '99'"));
    startOnReadings();
    // Shown by the sensor record at start-up and again on leaving the first tab.
    for (int i = 0; i < 2; ++i)
        dialogs.expect(
            QStringLiteral("There was an error accessing the Sensors COnfiguration Table"));
    tab().txtChannel_1->setText(QStringLiteral("5000"));
    tab().imgPrevData->click();
    tab().imgNextData->click();
    bool cancel = false;
    tab().txtChannel_Validate(1, cancel);
    tab().txtChannelT_Validate(cancel);
    EXPECT_FALSE(cancel);
    EXPECT_EQ(counter(), "3 of 3");
    EXPECT_EQ(stored("Channel1", k12), "5000.00");
    EXPECT_EQ(logCount(" G_ReadingValid"), 1);
}

TEST_F(ReadingsTabTest, NumberBoxesDiscardEveryTypedCharacterButDigitsSignAndPoint) {
    threeReadings();
    startOnReadings();
    activate();
    for (QLineEdit* box : {tab().txtChannel_1, tab().txtChannelT}) {
        box->clear();
        box->setFocus();
        QTest::keyClicks(box, QStringLiteral("a1,b2 +.5e-x"));
        QTest::keyClick(box, '@', Qt::ControlModifier | Qt::AltModifier);
        QTest::keyClick(box, '9', Qt::AltModifier);
        EXPECT_EQ(box->text(), "12.5-9");
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClick(box, Qt::Key_Home);
        QTest::keyClick(box, Qt::Key_Delete);
        EXPECT_EQ(box->text(), "2.5-");
    }
    // Pasted text is not filtered, but a text that is no number never reaches the reading.
    QApplication::clipboard()->setText(QStringLiteral("abc"));
    tab().txtChannelT->setText(QStringLiteral("20"));
    tab().txtChannel_1->clear();
    tab().txtChannel_1->setFocus();
    QTest::keyClick(tab().txtChannel_1, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(tab().txtChannel_1->text(), "abc");
    tab().imgPrevData->click();
    EXPECT_EQ(counter(), "3 of 3");
    EXPECT_EQ(tab().lblError->text(),
              "Error: Load 1 of the reading 200525001 2026/03/12 08:00:00 is not a number: abc");
    EXPECT_EQ(stored("Channel1", k12), "12.00");
}

// ---------------------------------------------------------------------------------
// Writing back

TEST_F(ReadingsTabTest, MovingWritesTheReadingWithItsNumbersFormatted) {
    threeReadings();
    startOnReadings();
    const struct {
        const char *load, *temp, *storedLoad, *storedTemp;
    } cases[] = {
        {"7", "21.25", "7.00", "21.3"}, {" 5.5 ", "-0.05", "5.50", "-0.1"}, {"", "", "", ""}};
    for (const auto& c : cases) {
        tab().txtChannel_1->setText(QLatin1String(c.load));
        tab().txtChannelT->setText(QLatin1String(c.temp));
        tab().imgPrevData->click();
        tab().imgNextData->click();
        EXPECT_EQ(stored("Channel1", k12), QLatin1String(c.storedLoad));
        EXPECT_EQ(stored("ChannelT", k12), QLatin1String(c.storedTemp));
        EXPECT_EQ(stored("FullDate", k12), "2026-03-12 08:00:00");
        EXPECT_EQ(stored("ReadingTime", k12), "08:00:00");
    }
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(ReadingsTabTest, ATextThatIsNoNumberNeverReachesTheReading) {
    threeReadings();
    // A logger's "ERR" already stored is no edit: the reading can be left as it is.
    execSql(QStringLiteral("UPDATE `%1` SET ChannelT = 'ERR' WHERE Channel1 = '11.00'").arg(kId));
    startOnReadings();
    const struct {
        const char *load, *temp, *error;
    } refused[] = {
        {"85.8086.10", "22.0",
         "Error: Load 1 of the reading 200525001 2026/03/12 08:00:00 is not a number: "
         "85.8086.10"},
        {"12", "1.2.3",
         "Error: Temperature of the reading 200525001 2026/03/12 08:00:00 is not a number: "
         "1.2.3"},
        {"-", "22.0",
         "Error: Load 1 of the reading 200525001 2026/03/12 08:00:00 is not a number: -"},
    };
    for (const auto& c : refused) {
        tab().txtChannel_1->setText(QLatin1String(c.load));
        tab().txtChannelT->setText(QLatin1String(c.temp));
        tab().imgPrevData->click();
        EXPECT_EQ(counter(), "3 of 3") << c.load;
        EXPECT_EQ(tab().lblError->text(), QLatin1String(c.error));
        bool cancel = false;
        tab().txtChannel_Validate(1, cancel);
        tab().txtChannelT_Validate(cancel);
        EXPECT_TRUE(cancel) << "leaving the box is refused too";
    }
    // Left without validation, the reading keeps every stored value, the mark included.
    tab().txtChannel_1->setText(QStringLiteral("1.2.3"));
    tab().txtChannelT->setText(QStringLiteral("30"));
    tab().chkDontPlot->setChecked(true);
    window->SSTab1->setCurrentIndex(1);
    dialogs.expect(QStringLiteral("The reading 200525001 2026/03/12 08:00:00 was not saved: Load "
                                  "1 holds \"1.2.3\", which is not a number.\r\nThe reading "
                                  "keeps its stored values."),
                   QStringLiteral("Brackwell's Rockvane"), Icon::Exclamation);
    EXPECT_EQ(stored("Channel1", k12), "12.00");
    EXPECT_EQ(stored("ChannelT", k12), "22.0");
    EXPECT_EQ(stored("DoNotPlot", k12), "0");

    window->SSTab1->setCurrentIndex(2);
    tab().imgPrevData->click();
    EXPECT_EQ(tab().txtChannelT->text(), "ERR");
    tab().imgPrevData->click();
    EXPECT_EQ(counter(), "1 of 3") << "a stored ERR does not hold the user on its reading";
    EXPECT_EQ(stored("ChannelT", k11), "ERR");
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(ReadingsTabTest, NoReadingIsEverWrittenWithAnotherReadingsValuesOrKey) {
    threeReadings();
    // The middle reading has no date or time that can be read.
    execSql(QStringLiteral("UPDATE `%1` SET ReadingDate = '2026-02-30', ReadingTime = 'noon', "
                           "FullDate = '2026-03-11 99:99:99', DateTimeKey = 'damaged' WHERE "
                           "Channel1 = '11.00'")
                .arg(kId));
    startOnReadings();
    {
        // A date that reached the picker without its change event: another reading's key.
        const QSignalBlocker blocker(tab().dtpRdate);
        tab().dtpRdate->setDate(QDate(2026, 3, 10));
    }
    tab().txtChannel_1->setText(QStringLiteral("99"));
    tab().imgPrevData->click(); // refused by the database, and the move still happens
    EXPECT_EQ(logCount(" G_SaveReadings"), 1);
    EXPECT_EQ(stored("Channel1", k12), "12.00");
    EXPECT_EQ(stored("Channel1", k10), "10.00");
    EXPECT_EQ(counter(), "2 of 3");
    EXPECT_EQ(logCount(" Module1_fillreadings"), 1);
    EXPECT_EQ(tab().txtChannel_1->text(), "") << "no other reading's values beside it";

    tab().imgPrevData->click(); // the unreadable reading is left as stored
    EXPECT_EQ(logCount(" G_SaveReadings"), 2);
    EXPECT_EQ(counter(), "1 of 3");
    EXPECT_EQ(stored("Channel1", QStringLiteral("damaged")), "11.00");
    EXPECT_EQ(stored("ReadingDate", QStringLiteral("damaged")), "2026-02-30");
}

// ---------------------------------------------------------------------------------
// Adding

// On the database file and on a site server database alike.
using ReadingsTabOnEachEngine = OnEachEngine<ReadingsTabTest>;

TEST_P(ReadingsTabOnEachEngine, AddNewSavesTheShownReadingAndStampsANewOneWithTheClock) {
    threeReadings();
    startOnReadings();
    tab().txtChannel_1->setText(QStringLiteral("12.5"));
    tab().Label63->click();
    const char* const now = "2026/03/14 09:30:15";
    EXPECT_EQ(stored("Channel1", k12), "12.50");
    EXPECT_EQ(stored("FullDate", now), "2026-03-14 09:30:15");
    EXPECT_EQ(stored("ReadingDate", now), "2026-03-14");
    EXPECT_EQ(stored("ReadingTime", now), "09:30:15");
    EXPECT_EQ(stored("IsDirty + Plottemporal + PlotSpatial", now), "3");
    EXPECT_EQ(stored("Channel1", now), "<null>");
    EXPECT_EQ(tab().txtReadingID->text(), key(now));
    EXPECT_EQ(counter(), "4 of 4");

    // A second add in the same second finds the reading just added.
    tab().imgAddReading->click();
    dialogs.expect(QStringLiteral("There is already a reading with that date and time"),
                   QStringLiteral("Duplicate Reading"));
    EXPECT_EQ(readingCount(), 4);
    tab().txtChannel_1->setText(QStringLiteral("3"));
    tab().imgFirst->click();
    EXPECT_EQ(stored("Channel1", now), "3.00");
    EXPECT_EQ(stored("Channel1", k12), "12.50");
}
INSTANTIATE_TEST_SUITE_P(BothEngines, ReadingsTabOnEachEngine, bothEngines(), engineName);

TEST_F(ReadingsTabTest, AfterAnAddTheNewReadingIsShownEvenBeforeALaterOne) {
    addReading(k10, "10.00");
    addReading("2026/03/20 08:00:00", "20.00");
    startOnReadings();
    tab().imgAddReading->click();
    EXPECT_EQ(tab().txtReadingID->text(), key("2026/03/14 09:30:15"));
    EXPECT_EQ(counter(), "2 of 3");
    tab().txtChannel_1->setText(QStringLiteral("7"));
    tab().imgNextData->click();
    EXPECT_EQ(stored("Channel1", "2026/03/14 09:30:15"), "7.00");
    EXPECT_EQ(stored("Channel1", "2026/03/20 08:00:00"), "20.00");
}

TEST_F(ReadingsTabTest, AddNewFindsADuplicateAtThePositionOfTheLastReKeyedReading) {
    threeReadings();
    startOnReadings();
    // Re-key the newest reading to the clock's moment: it stays third.
    tab().dtpRdate->setDate(QDate(2026, 3, 14));
    tab().dtpRtime->setTime(QTime(9, 30, 15));
    EXPECT_EQ(s().gReadingPosition, 3);
    tab().imgAddReading->click();
    dialogs.expect(QStringLiteral("There is already a reading with that date and time"),
                   QStringLiteral("Duplicate Reading"));
    EXPECT_EQ(readingCount(), 3);
    EXPECT_EQ(logEntries(), 0);
}

// ---------------------------------------------------------------------------------
// Re-keying

TEST_F(ReadingsTabTest, ChangingTheDateAndTimeReKeysTheReadingAndMovesItInTheOrder) {
    threeReadings();
    startOnReadings();
    tab().imgFirst->click();
    tab().txtChannel_1->setText(QStringLiteral("42")); // typed, not yet written
    tab().dtpRtime->setTime(QTime(9, 15, 0));
    tab().dtpRdate->setDate(QDate(2026, 3, 11));
    const char* const moved = "2026/03/11 09:15:00";
    EXPECT_EQ(tab().txtReadingID->text(), key(moved));
    EXPECT_EQ(counter(), "2 of 3");
    EXPECT_EQ(stored("FullDate", moved), "2026-03-11 09:15:00");
    EXPECT_EQ(stored("ReadingDate", moved), "2026-03-11");
    EXPECT_EQ(stored("ReadingTime", moved), "09:15:00");
    EXPECT_EQ(tab().txtChannel_1->text(), "42") << "typed values survive the re-keying";
    tab().imgNextData->click();
    EXPECT_EQ(stored("Channel1", moved), "42.00");
    EXPECT_EQ(readingCount(), 3);
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(ReadingsTabTest, ReKeyingOntoAnotherReadingIsRefusedAndUndone) {
    threeReadings();
    startOnReadings();
    tab().dtpRdate->setDate(QDate(2026, 3, 10));
    dialogs.expect(QStringLiteral("There is already a reading on 2026/03/10 at 08:00:00"),
                   QStringLiteral("Duplicate Reading"));
    EXPECT_EQ(tab().dtpRdate->date(), QDate(2026, 3, 12));
    EXPECT_EQ(tab().dtpRtime->time(), QTime(8, 0, 0));
    EXPECT_EQ(counter(), "3 of 3");
    tab().txtChannel_1->setText(QStringLiteral("1"));
    tab().imgFirst->click();
    EXPECT_EQ(stored("Channel1", k12), "1.00");
    EXPECT_EQ(stored("Channel1", k10), "10.00");
}

TEST_F(ReadingsTabTest, ATimeStillBeingTypedIsReKeyedBeforeTheNextMove) {
    threeReadings();
    startOnReadings();
    activate();
    tab().dtpRtime->setFocus();
    tab().dtpRtime->setSelectedSection(QDateTimeEdit::HourSection);
    QTest::keyClicks(tab().dtpRtime, QStringLiteral("23"));
    tab().imgFirst->click(); // a picture takes no focus
    EXPECT_EQ(stored("Channel1", "2026/03/12 23:00:00"), "12.00");
    EXPECT_EQ(readingCount(), 3);
}

TEST_F(ReadingsTabTest, AReadingInTheDaylightSavingGapKeepsItsWallClockTime) {
    const QByteArray zone = qgetenv("TZ");
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", "America/New_York");
    tzset();
    addReading("2026/03/08 01:00:00", "5.00");
    clock.set(QDateTime(QDate(2026, 3, 8), QTime(2, 30, 0), Qt::UTC));
    startOnReadings();
    tab().dtpRtime->setTime(QTime(2, 45, 0));
    EXPECT_EQ(tab().txtReadingID->text(), key("2026/03/08 02:45:00"));
    EXPECT_EQ(stored("FullDate", "2026/03/08 02:45:00"), "2026-03-08 02:45:00");
    tab().imgAddReading->click(); // stamped 02:30:00 by the clock
    EXPECT_EQ(stored("FullDate", "2026/03/08 02:30:00"), "2026-03-08 02:30:00");
    EXPECT_EQ(stored("ReadingTime", "2026/03/08 02:30:00"), "02:30:00");
    EXPECT_EQ(tab().dtpRtime->time(), QTime(2, 30, 0));
    if (hadZone)
        qputenv("TZ", zone);
    else
        qunsetenv("TZ");
    tzset();
}

// ---------------------------------------------------------------------------------
// Tab changes and closing

TEST_F(ReadingsTabTest, TheReadingShownIsRememberedAcrossTabsButNotAcrossTheFirstTab) {
    threeReadings();
    startOnReadings();
    tab().imgPrevData->click();
    window->SSTab1->setCurrentIndex(1);
    window->SSTab1->setCurrentIndex(2);
    EXPECT_EQ(counter(), "2 of 3");
    EXPECT_EQ(tab().txtReadingID->text(), key(k11));
    window->SSTab1->setCurrentIndex(0);
    window->SSTab1->setCurrentIndex(2);
    EXPECT_EQ(counter(), "3 of 3");

    // A click on the "4. Load v Time" tab lets the readings go; coming back opens them.
    QTabBar* bar = window->SSTab1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(3).center());
    QApplication::processEvents();
    EXPECT_FALSE(s().rsReadings.isOpen());
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    QApplication::processEvents();
    EXPECT_EQ(counter(), "3 of 3");
}

TEST_F(ReadingsTabTest, ClosingOnTheReadingsTabSavesAValidReadingAndDropsAnInvalidOne) {
    threeReadings();
    startOnReadings();
    tab().txtChannel_1->setText(QStringLiteral("12.345"));
    window->close();
    EXPECT_EQ(stored("Channel1", k12), "12.35");

    window.reset();
    startOnReadings();
    tab().txtChannel_1->setText(QStringLiteral("999"));
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    window->Form_Terminate();
    EXPECT_FALSE(s().gConnection.isOpen());
    EXPECT_EQ(stored("Channel1", k12), "12.35");
    EXPECT_EQ(logEntries(), 0);
}

// On a site server, a save refused for another engineer's change keeps the values typed in
// the boxes: "Add New" and "Datasheet" then stay on the reading, as the moves do.
class ReadingsTabOnServer : public ReadingsTabTest {
    StoreEngine engine() const override { return StoreEngine::Server; }
};

TEST_F(ReadingsTabOnServer, AddNewAndDatasheetKeepTheValuesOfASaveRefusedForAnother) {
    addReading(k12, "12.00");
    startOnReadings();
    Connection other;
    openAsAnotherEngineer(other);
    for (PictureButton* button : {tab().imgAddReading, tab().imgDatasheet}) {
        ASSERT_TRUE(other.execute("UPDATE `200525001` SET Channel1 = Channel1 || '1'").ok());
        tab().txtChannel_1->setText(QStringLiteral("3"));
        button->click();
        EXPECT_EQ(dialogs.take().title.toStdString(), "Site server");
        EXPECT_EQ(tab().datasheetWindow(), nullptr);
        EXPECT_EQ(readingCount(), 1);
        EXPECT_EQ(tab().txtChannel_1->text().toStdString(), "3");
    }
}

} // namespace
