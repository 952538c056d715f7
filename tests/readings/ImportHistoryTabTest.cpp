// The Readings tab's import history: the list of the sensor's imports and "Undo import",
// driven as a user does, checked on the tab, in the messages and in the database file.
#include "core/DateText.h"
#include "history/ImportHistory.h"
#include "sensors/SensorTabs.h"
#include "tests/readings/ReadingsFixture.h"
#include <QTest>

using namespace rv;
using namespace rv::test;
using namespace Qt::StringLiterals;

namespace {

class ImportHistoryTabTest : public ReadingsWindowTest {
protected:
    void SetUp() override {
        ReadingsWindowTest::SetUp();
        addSensorRow(kOther);
    }
    // Readings appended from a file (moments "yyyy/MM/dd HH:mm:ss", six hours apart from
    // `first`), recorded as one import made at `when`.
    qint64 imported(const QString& file, const QDateTime& first, int count, const QDateTime& when,
                    const QString& id = kId) {
        Connection c;
        EXPECT_TRUE(c.open(databasePath).ok());
        EXPECT_TRUE(ensureHistoryTables(c).ok());
        std::vector<AppendedRow> rows;
        for (int i = 0; i < count; ++i) {
            const QDateTime at = first.addSecs(qint64(i) * 6 * 3600);
            const QByteArray moment = at.toString(u"yyyy/MM/dd HH:mm:ss"_s).toLatin1();
            const QByteArray load = QByteArray::number(5 + i / 10.0, 'f', 2);
            addReading(moment.constData(), load.constData(), "18.5", 0, id);
            rows.push_back({readingKey(id, at), u"18.5"_s, QString::fromLatin1(load)});
        }
        EXPECT_TRUE(c.begin().ok());
        const auto batch = recordBatch(c, {0, id, file, u"ab"_s.repeated(32), when, 0, {}}, rows);
        EXPECT_TRUE(c.commit().ok());
        return batch.valueOr(0);
    }
    ImportHistoryPanel& history() { return *tab().fraImportHistory; }
    QTreeWidget* list() { return history().lstImports; }
    QStringList row(int i) {
        QTreeWidgetItem* item = list()->topLevelItem(i);
        return item ? QStringList{item->text(0), item->text(1), item->text(2)} : QStringList{};
    }
    void choose(int i) { list()->setCurrentItem(list()->topLevelItem(i)); }
    void undo() { QTest::mouseClick(history().cmdUndoImport, Qt::LeftButton); }
    // Undoes jan.txt of 10 Jan, none of whose two readings is stored under its date and
    // time any more: the question says so, and nothing is removed.
    void undoAnImportWithNothingLeft() {
        dialogs.answerYes();
        undo();
        dialogs.expect(u"Undo the import of jan.txt of "_s + generalDateText(jan10.addDays(1)) +
                           u"?\r\n\r\nNone of its readings is stored under its date and time "
                           "any more: the import will only be removed from the history.\r\n2 "
                           "readings of the import were already deleted or given another date "
                           "and time by hand."_s,
                       u"Undo import"_s, Icon::Exclamation, Buttons::YesNo);
        dialogs.expect(u"0 readings of jan.txt were removed from sensor 200525001."_s,
                       u"Undo import"_s, Icon::Information);
    }
    int batchRecords() { return scalar(u"SELECT count(*) FROM ImportBatches"_s).toInt(); }
    const QDateTime jan10 = wallClock(QDate(2026, 1, 10), QTime(6, 0));
    const QDateTime feb1 = wallClock(QDate(2026, 2, 1), QTime(0, 0));
    RecordingProgress progress;
};

TEST_F(ImportHistoryTabTest, TheImportsAreListedNewestFirstAndUndoRemovesOnlyTheChosenOne) {
    addReading("2026/01/10 00:00:00", "4.00"); // just before the first import
    const qint64 first = imported(u"/logs/jan.txt"_s, jan10, 8, jan10.addDays(5));
    imported(u"/logs/feb.txt"_s, feb1, 4, feb1.addDays(3));
    addReading("2026/02/02 06:00:00", "6.00"); // just after the second
    imported(u"/logs/other.txt"_s, feb1, 4, feb1.addDays(3), kOther);
    ASSERT_EQ(readingCount(), 14);
    startOnReadings();
    tab().setProgress(&progress);

    ASSERT_EQ(list()->topLevelItemCount(), 2);
    EXPECT_EQ(row(0), (QStringList{generalDateText(feb1.addDays(3)), u"feb.txt"_s, u"4"_s}));
    EXPECT_EQ(row(1), (QStringList{generalDateText(jan10.addDays(5)), u"jan.txt"_s, u"8"_s}));
    EXPECT_TRUE(history().lblImportHistory->isHidden());
    EXPECT_FALSE(history().cmdUndoImport->isEnabled()) << "nothing chosen yet";
    choose(0);
    EXPECT_TRUE(history().cmdUndoImport->isEnabled());

    dialogs.answerYes();
    undo();
    const Message asked = dialogs.take();
    EXPECT_EQ(asked.text, u"Undo the import of feb.txt of "_s + generalDateText(feb1.addDays(3)) +
                              u"?\r\n\r\n4 readings will be removed from sensor 200525001."_s);
    EXPECT_EQ(asked.title, u"Undo import"_s);
    EXPECT_EQ(asked.buttons, Buttons::YesNo);
    EXPECT_EQ(asked.defaultAnswer, Answer::No);
    dialogs.expect(u"4 readings of feb.txt were removed from sensor 200525001."_s, u"Undo import"_s,
                   Icon::Information);

    EXPECT_EQ(readingCount(), 10);
    EXPECT_EQ(stored("Channel1", "2026/02/01 00:00:00"), u"<none>"_s) << "its first reading";
    EXPECT_EQ(stored("Channel1", "2026/02/01 18:00:00"), u"<none>"_s) << "its last reading";
    EXPECT_EQ(stored("Channel1", "2026/02/02 06:00:00"), u"6.00"_s);
    EXPECT_EQ(stored("Channel1", "2026/01/10 00:00:00"), u"4.00"_s);
    EXPECT_EQ(stored("Channel1", "2026/01/11 12:00:00"), u"5.50"_s) << "the other import";
    EXPECT_EQ(readingCount(kOther), 4);
    EXPECT_EQ(stored("Channel1", "2026/02/01 00:00:00", kOther), u"5.00"_s);
    EXPECT_EQ(progress.lastDone, 4);

    // The tab shows the readings left: the newest, and the count.
    EXPECT_EQ(counter(), u"10 of 10"_s);
    EXPECT_EQ(tab().txtReadingID->text(), key("2026/02/02 06:00:00"));
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    EXPECT_EQ(row(0).at(1), u"jan.txt"_s);
    EXPECT_FALSE(history().cmdUndoImport->isEnabled());
    EXPECT_EQ(batchRecords(), 2);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM ImportBatches WHERE BatchID = %1"_s.arg(first)), 1);
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(ImportHistoryTabTest, AfterAnUndoTheRemainingImportIsListedOnce) {
    imported(u"jan.txt"_s, jan10, 4, jan10.addDays(5));
    imported(u"feb.txt"_s, feb1, 4, feb1.addDays(3));
    startOnReadings();
    // The older import undone first: the newer one stays, listed once.
    choose(1);
    dialogs.answerYes();
    undo();
    dialogs.take();
    dialogs.expect(u"4 readings of jan.txt were removed from sensor 200525001."_s, u"Undo import"_s,
                   Icon::Information);
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    EXPECT_EQ(row(0).at(1), u"feb.txt"_s);
    choose(0);
    dialogs.answerYes();
    undo();
    dialogs.take();
    dialogs.take();
    EXPECT_EQ(list()->topLevelItemCount(), 0);
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(ImportHistoryTabTest, TheConfirmationCountsDeletionsAndNamesEditsAndNoKeepsEverything) {
    if (shortDateText(QDate(2026, 1, 11)) != u"11 Jan 2026"_s)
        GTEST_SKIP() << "the texts below are written in the C locale's date form";
    imported(u"jan.txt"_s, jan10, 12, jan10.addDays(3));
    auto edit = [&](const char* moment, const QString& set) {
        execSql(u"UPDATE `%1` SET %2 WHERE DateTimeKey = '%3'"_s.arg(kId, set, key(moment)));
    };
    edit("2026/01/10 06:00:00", u"Channel1 = '9.99'"_s); // the first reading
    edit("2026/01/10 12:00:00", u"ChannelT = '30.0'"_s);
    edit("2026/01/11 00:00:00", u"DoNotPlot = 1"_s);
    edit("2026/01/11 06:00:00", u"Channel1 = NULL"_s);
    edit("2026/01/11 12:00:00", u"Channel1 = '1'"_s);
    edit("2026/01/12 12:00:00", u"Channel1 = '2'"_s);
    execSql(u"DELETE FROM `%1` WHERE DateTimeKey IN ('%2', '%3')"_s.arg(
        kId, key("2026/01/10 18:00:00"), key("2026/01/12 06:00:00")));
    startOnReadings();
    // The last reading of the import, shown by the tab, is edited there and not yet saved.
    ASSERT_EQ(tab().txtReadingID->text(), key("2026/01/13 00:00:00"));
    tab().txtChannel_1->setText(u"7.25"_s);

    choose(0);
    dialogs.answerNo();
    undo();
    // Every reading is named with its time, the one at midnight too.
    const QString question =
        u"Undo the import of jan.txt of 13 Jan 2026 06:00:00?\r\n\r\n"
        "10 readings will be removed from sensor 200525001.\r\n"
        "2 readings of the import were already deleted or given another date and time by "
        "hand.\r\n"
        "7 readings to be removed were edited since the import: 10 Jan 2026 06:00:00, "
        "10 Jan 2026 12:00:00, 11 Jan 2026 00:00:00, 11 Jan 2026 06:00:00, 11 Jan 2026 "
        "12:00:00 and 2 more."_s;
    dialogs.expect(question, u"Undo import"_s, Icon::Exclamation, Buttons::YesNo);
    EXPECT_EQ(readingCount(), 10) << "No removes nothing";
    EXPECT_EQ(stored("Channel1", "2026/01/13 00:00:00"), u"7.25"_s)
        << "the edit on the tab was written back before the question";
    EXPECT_EQ(batchRecords(), 1);
    EXPECT_EQ(list()->topLevelItemCount(), 1);

    dialogs.answerYes();
    undo();
    dialogs.expect(question, u"Undo import"_s, Icon::Exclamation, Buttons::YesNo);
    dialogs.expect(u"10 readings of jan.txt were removed from sensor 200525001."_s,
                   u"Undo import"_s, Icon::Information);
    EXPECT_EQ(readingCount(), 0);
    EXPECT_EQ(counter(), u"0 of 0"_s);
    EXPECT_EQ(list()->topLevelItemCount(), 0);
    EXPECT_EQ(batchRecords(), 0);
}

TEST_F(ImportHistoryTabTest, ACancelledUndoKeepsEveryReadingAndTheImport) {
    imported(u"jan.txt"_s, jan10, 3, jan10.addDays(1));
    startOnReadings();
    tab().setProgress(&progress);
    progress.cancelAt = 1; // the cancel comes once every reading is deleted, before the end
    choose(0);
    dialogs.answerYes();
    undo();
    dialogs.take();
    dialogs.expect(u"The undo was cancelled: no reading was removed."_s, u"Undo import"_s,
                   Icon::Exclamation);
    EXPECT_EQ(readingCount(), 3);
    EXPECT_EQ(batchRecords(), 1);
    EXPECT_EQ(counter(), u"3 of 3"_s);
    EXPECT_EQ(list()->topLevelItemCount(), 1);
}

TEST_F(ImportHistoryTabTest, AnImportWhoseReadingsAreAllGoneIsOnlyForgotten) {
    imported(u"jan.txt"_s, jan10, 2, jan10.addDays(1));
    addReading("2026/03/01 06:00:00", "3.00");
    execSql(u"DELETE FROM `%1` WHERE FullDate < '2026-02'"_s.arg(kId));
    startOnReadings();
    choose(0);
    undoAnImportWithNothingLeft();
    EXPECT_EQ(readingCount(), 1);
    EXPECT_EQ(batchRecords(), 0);
}

// A reading given another date and time since the import is no longer at the import's
// date and time: the undo leaves it, and the question does not call it deleted.
TEST_F(ImportHistoryTabTest, ReadingsGivenAnotherTimeAreKeptAndNotCalledDeleted) {
    imported(u"jan.txt"_s, jan10, 2, jan10.addDays(1));
    startOnReadings();
    // The tab opens on the newest reading; the first is one click away.
    ASSERT_EQ(tab().txtReadingID->text(), key("2026/01/10 12:00:00"));
    tab().dtpRtime->setTime(QTime(12, 30));
    tab().imgFirst_Click();
    ASSERT_EQ(tab().txtReadingID->text(), key("2026/01/10 06:00:00"));
    tab().dtpRtime->setTime(QTime(6, 30));
    choose(0);
    undoAnImportWithNothingLeft();
    EXPECT_EQ(stored("Channel1", "2026/01/10 06:30:00"), u"5.00"_s);
    EXPECT_EQ(stored("Channel1", "2026/01/10 12:30:00"), u"5.10"_s);
    EXPECT_EQ(batchRecords(), 0);
}

TEST_F(ImportHistoryTabTest, TheListFollowsTheSensorAndANewImport) {
    imported(u"a.txt"_s, jan10, 2, jan10.addDays(1));
    imported(u"b.txt"_s, feb1, 3, feb1.addDays(1), kOther);
    startOnReadings();
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    EXPECT_EQ(row(0).at(1), u"a.txt"_s);

    // An import appends and records a batch, then the tab shows the current reading.
    imported(u"c.txt"_s, feb1, 1, feb1.addDays(2));
    ASSERT_TRUE(s().rsReadings.requery().ok());
    tab().showCurrentReading();
    ASSERT_EQ(list()->topLevelItemCount(), 2);
    EXPECT_EQ(row(0).at(1), u"c.txt"_s);

    // Another sensor chosen on the first tab: its own imports.
    window->SSTab1->setCurrentIndex(0);
    window->identification->imgNext->click();
    window->SSTab1->setCurrentIndex(2);
    ASSERT_EQ(tab().txtSensor3->text(), kOther);
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    EXPECT_EQ(row(0), (QStringList{generalDateText(feb1.addDays(1)), u"b.txt"_s, u"3"_s}));
}

TEST_F(ImportHistoryTabTest, DeletingASensorForgetsItsImports) {
    imported(u"a.txt"_s, jan10, 2, jan10.addDays(1));
    imported(u"b.txt"_s, feb1, 3, feb1.addDays(1), kOther);
    ASSERT_TRUE(start());
    window->show();
    dialogs.answerYes();
    window->identification->imgDelete->click();
    dialogs.take();
    EXPECT_EQ(scalar(u"SELECT count(*) FROM ImportBatches WHERE InstrumentID = '%1'"_s.arg(kId)),
              0);
    EXPECT_EQ(scalar(u"SELECT count(*) FROM ImportBatchRows"_s), 3);
    EXPECT_EQ(batchRecords(), 1);
}

TEST_F(ImportHistoryTabTest, WithoutTheTablesOrOnAReadOnlyDatabaseTheHistoryIsUnavailable) {
    imported(u"a.txt"_s, jan10, 2, jan10.addDays(1));
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    startOnReadings();
    EXPECT_TRUE(history().lblImportHistory->isVisibleTo(&tab()));
    EXPECT_EQ(history().lblImportHistory->text(),
              u"The import history is unavailable: the database cannot be written, so imports "
              "cannot be undone."_s);
    ASSERT_EQ(list()->topLevelItemCount(), 1) << "the imports are still listed";
    choose(0);
    EXPECT_FALSE(history().cmdUndoImport->isEnabled());
    dialogs.clear(); // what the read-only start-up says is another feature's concern
}

TEST_F(ImportHistoryTabTest, ADatabaseThatCannotGainTheTablesSaysTheHistoryIsUnavailable) {
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    startOnReadings();
    EXPECT_EQ(history().lblImportHistory->text(),
              u"The import history is unavailable: this database keeps no record of imports."_s);
    EXPECT_FALSE(list()->isEnabled());
    EXPECT_FALSE(history().cmdUndoImport->isEnabled());
    dialogs.clear();
}

TEST_F(ImportHistoryTabTest, WithoutTheHistoryOfChangesNoImportIsUndone) {
    imported(u"a.txt"_s, jan10, 2, jan10.addDays(1));
    // A view left under the history's name: its table cannot be made (said at start-up).
    execSql(u"DROP TABLE IF EXISTS ReadingChanges"_s);
    execSql(u"CREATE VIEW ReadingChanges AS SELECT 1 AS ActionID"_s);
    startOnReadings();
    EXPECT_EQ(history().lblImportHistory->text(),
              u"Imports cannot be undone: this database keeps no history of changes, where the "
              "readings an undo removes are kept."_s);
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    choose(0);
    EXPECT_FALSE(history().cmdUndoImport->isEnabled());
    dialogs.clear();
}

} // namespace
