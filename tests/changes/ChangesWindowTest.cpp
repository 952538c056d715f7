// The history of changes as the engineer sees it: the mark on the Readings tab, the Changes
// window and its filters, and "Put back", driven through the windows and checked on the
// tab, in the messages and in the database file.
#include "changes/frmChanges.h"
#include "platform/SingleInstance.h"
#include "readings/frmBatchDel.h"
#include "tests/readings/ReadingsFixture.h"
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

QT_BEGIN_NAMESPACE
// Texts as they read, in the failures.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

using namespace rv;
using namespace rv::test;
using namespace Qt::StringLiterals;

namespace {

class ChangesWindowTest : public ReadingsWindowTest {
protected:
    // One action of the history, made at `when` on a connection of the test's own.
    void record(const QDateTime& when, const QString& how,
                const std::function<void(Connection&, ChangeAction&)>& entries,
                const QString& id = kId) {
        Connection c;
        ASSERT_TRUE(openDatabase(c).ok() && ensureChangeTables(c).ok() && c.begin().ok());
        FixedClock at(when);
        c.setClock(&at);
        ChangeAction action(c, id, how);
        entries(c, action);
        ASSERT_TRUE(c.commit().ok());
    }
    frmChanges& open(QPushButton* button) {
        QTest::mouseClick(button, Qt::LeftButton);
        if (!tab().changesWindow()) {
            ADD_FAILURE() << "the Changes window did not open";
            std::abort();
        }
        return *tab().changesWindow();
    }
    static QStringList row(frmChanges& w, int r) {
        QStringList cells;
        for (int c = 0; c < w.model->columnCount(); ++c)
            cells << w.model->data(w.model->index(r, c)).toString();
        return cells;
    }
    // The first row listed of this kind (-1 when none is).
    static int rowOf(frmChanges& w, const QString& kind) {
        for (int r = 0; r < w.model->rowCount(); ++r)
            if (row(w, r).at(3) == kind) return r;
        return -1;
    }
    bool marked() { return tab().lblChanged->isVisible() && tab().cmdReadingHistory->isVisible(); }
    static QDateTime at(int day, int h, int m = 0, int s = 0) {
        return wallClock(QDate(2026, 3, day), QTime(h, m, s));
    }
    const QString me = currentUserName();
};

QVariantMap values(std::initializer_list<std::pair<const char*, const char*>> list) {
    QVariantMap map;
    for (const auto& [column, value] : list)
        map.insert(QLatin1String(column), QString::fromLatin1(value));
    return map;
}

TEST_F(ChangesWindowTest, TheTabMarksChangedReadingsAndTheWindowListsAndFiltersTheirChanges) {
    addReading("2026/03/01 06:00:00", "12.90", "18.5");
    addReading("2026/03/02 06:00:00", "13.00", "18.0");
    addReading("2026/03/03 12:00:00", "13.20", "18.0");
    addReading("2026/03/04 06:00:00", "14.10", "18.0");
    const QString k1 = key("2026/03/01 06:00:00"), k3 = key("2026/03/03 12:00:00");
    const QString k3was = key("2026/03/03 06:00:00"), k4 = key("2026/03/04 06:00:00");
    record(at(5, 8), u"Readings tab"_s, [&](Connection&, ChangeAction& a) {
        EXPECT_TRUE(a.record(change::Changed, k1, k1, values({{"Channel1", "12.50"}}),
                             values({{"Channel1", "12.80"}}))
                        .ok());
    });
    record(at(6, 0), u"Readings tab"_s, [&](Connection&, ChangeAction& a) {
        EXPECT_TRUE(
            a.record(change::Rekeyed, k3was, k3,
                     values({{"DateTimeKey", k3was.toLatin1()}, {"ReadingTime", "06:00:00"}}),
                     values({{"DateTimeKey", k3.toLatin1()}, {"ReadingTime", "12:00:00"}}))
                .ok());
    });
    record(at(7, 23, 59, 59), u"Delete readings"_s, [&](Connection& c, ChangeAction& a) {
        ASSERT_TRUE(a.recordLeaving(change::Deleted, kId, u"DateTimeKey = ?1"_s, {k4}).ok());
        ASSERT_TRUE(c.execute(u"DELETE FROM `%1` WHERE DateTimeKey = '%2'"_s.arg(kId, k4)).ok());
    });
    record(at(8, 10), u"Datasheet"_s, [&](Connection&, ChangeAction& a) {
        EXPECT_TRUE(a.record(change::Changed, k1, k1,
                             values({{"Channel1", "12.80"}, {"ChannelT", "18.0"}}),
                             values({{"Channel1", "12.90"}, {"ChannelT", "18.5"}}))
                        .ok());
    });
    record(
        at(7, 12), u"Datasheet"_s,
        [&](Connection&, ChangeAction& a) {
            EXPECT_TRUE(a.record(change::Changed, key("2026/03/02 06:00:00", kOther),
                                 key("2026/03/02 06:00:00", kOther), values({{"Channel1", "1.00"}}),
                                 values({{"Channel1", "2.00"}}))
                            .ok());
        },
        kOther);
    startOnReadings();

    // The newest reading was re-keyed, the first corrected, the second never changed.
    EXPECT_EQ(tab().txtReadingID->text(), k3);
    EXPECT_TRUE(marked());
    EXPECT_EQ(tab().lblChanged->text(), u"Changed since first stored"_s);
    tab().imgFirst_Click();
    EXPECT_TRUE(marked());
    tab().imgNextData_Click();
    EXPECT_EQ(tab().txtReadingID->text(), key("2026/03/02 06:00:00"));
    EXPECT_FALSE(marked());

    frmChanges& w = open(tab().cmdChanges);
    EXPECT_EQ(w.windowTitle(), u"Changes - Sensor 200525001"_s);
    EXPECT_FALSE(w.lblReading->isVisible());
    EXPECT_EQ(w.lblCount->text(), u"4 changes"_s) << "the other sensor's change is not listed";
    EXPECT_EQ(row(w, 0),
              (QStringList{u"8 Mar 2026 10:00:00"_s, me, u"Datasheet"_s, u"Changed"_s, k1,
                           u"Load 12.80; Temperature 18.0"_s, u"Load 12.90; Temperature 18.5"_s}));
    EXPECT_EQ(row(w, 1), (QStringList{u"7 Mar 2026 23:59:59"_s,
                                      me,
                                      u"Delete readings"_s,
                                      u"Deleted"_s,
                                      k4,
                                      u"Load 14.10; Temperature 18.0"_s,
                                      {}}));
    EXPECT_EQ(row(w, 2).at(4), k3was + u" -> "_s + k3);
    EXPECT_EQ(row(w, 3), (QStringList{u"5 Mar 2026 08:00:00"_s, me, u"Readings tab"_s, u"Changed"_s,
                                      k1, u"Load 12.50"_s, u"Load 12.80"_s}));
    // The deleted reading in full below the list: every column it had.
    w.choose(1);
    EXPECT_TRUE(w.cmdPutBack->isEnabled());
    const auto detail = [&](const QString& column) {
        for (int r = 0; r < w.grdEntry->rowCount(); ++r)
            if (w.grdEntry->item(r, 0)->text() == column)
                return w.grdEntry->item(r, 1)->text() + u'|' + w.grdEntry->item(r, 2)->text();
        return u"<none>"_s;
    };
    EXPECT_EQ(detail(u"Date and time"_s), k4 + u'|');
    EXPECT_EQ(detail(u"Load"_s), u"14.10|"_s);

    // Both ends of the range are whole days: 6 Mar from 00:00:00, 7 Mar to 23:59:59.
    w.chkFrom->click();
    w.dtpFrom->setDate(QDate(2026, 3, 6));
    EXPECT_EQ(w.lblCount->text(), u"3 changes"_s);
    w.chkTo->click();
    w.dtpTo->setDate(QDate(2026, 3, 7));
    EXPECT_EQ(w.lblCount->text(), u"2 changes"_s);
    EXPECT_EQ(row(w, 0).at(0), u"7 Mar 2026 23:59:59"_s);
    EXPECT_EQ(row(w, 1).at(0), u"6 Mar 2026 00:00:00"_s);
    w.chkFrom->click();
    w.chkTo->click();
    EXPECT_EQ(w.lblCount->text(), u"4 changes"_s);
    w.cboKind->setCurrentText(u"Changed"_s);
    EXPECT_EQ(w.lblCount->text(), u"2 changes"_s);
    EXPECT_EQ(row(w, 1).at(0), u"5 Mar 2026 08:00:00"_s);
    w.cboKind->setCurrentText(u"Deleted"_s);
    EXPECT_EQ(w.lblCount->text(), u"1 change"_s);
    w.cmdClose->click();
    settle();

    // One reading's history, then every reading's again.
    tab().imgFirst_Click();
    frmChanges& one = open(tab().cmdReadingHistory);
    EXPECT_EQ(one.lblReading->text(), u"Reading "_s + k1);
    EXPECT_EQ(one.lblCount->text(), u"2 changes"_s);
    one.cmdAllReadings->click();
    EXPECT_FALSE(one.lblReading->isVisible());
    EXPECT_EQ(one.lblCount->text(), u"4 changes"_s);
    EXPECT_EQ(logEntries(), 0);
}

TEST_F(ChangesWindowTest, PutBackRestoresACorrectionAndADeletionAndRefusesATakenKey) {
    for (const char* day : {"01", "02", "03", "04", "05"})
        addReading(qPrintable(u"2026/03/"_s + QLatin1String(day) + u" 06:00:00"_s), "12.50",
                   "18.0");
    startOnReadings();
    // The load of 1 Mar corrected on the tab; 2 to 4 Mar deleted by range.
    tab().imgFirst_Click();
    tab().txtChannel_1->setText(u"12.80"_s);
    tab().imgNextData_Click();
    tab().imgPrevData_Click();
    EXPECT_TRUE(marked()) << "marked from the tab's own save on";
    frmBatchDel& deletion = [&]() -> frmBatchDel& {
        tab().Label65->click();
        return *tab().batchDeleteWindow();
    }();
    deletion.DelStart->setSelectedDate(QDate(2026, 3, 2));
    deletion.DelEnd->setSelectedDate(QDate(2026, 3, 4));
    deletion.OKButton->click();
    settle();
    dialogs.take(); // "3 readings were deleted ..."
    ASSERT_EQ(readingCount(), 2);
    // The reading of 5 Mar re-keyed to noon, and a reading typed in since at its old time.
    tab().dtpRtime->setTime(QTime(12, 0));
    addReading("2026/03/05 06:00:00", "1.00", "18.0");
    tab().imgFirst_Click();
    EXPECT_EQ(tab().txtChannel_1->text(), u"12.80"_s);
    EXPECT_TRUE(marked());

    frmChanges& w = open(tab().cmdChanges);
    const int listed = w.model->rowCount();
    w.choose(rowOf(w, u"Changed"_s));
    dialogs.answerYes();
    w.cmdPutBack->click();
    const Message asked = dialogs.take();
    EXPECT_EQ(asked.text, u"The reading 200525001 2026/03/01 06:00:00 of sensor 200525001 goes "
                          "back to its values before the change at 09:30 on 14 Mar 2026 by "_s +
                              me + u": Load 12.80 -> 12.50.\r\n\r\nPut it back?"_s);
    EXPECT_EQ(asked.title, u"Put back"_s);
    EXPECT_EQ(asked.buttons, Buttons::YesNo);
    EXPECT_EQ(asked.defaultAnswer, Answer::No);
    EXPECT_EQ(stored("Channel1", "2026/03/01 06:00:00"), u"12.50"_s);
    EXPECT_EQ(tab().txtReadingID->text(), key("2026/03/01 06:00:00"));
    EXPECT_EQ(tab().txtChannel_1->text(), u"12.50"_s);
    ASSERT_EQ(w.model->rowCount(), listed + 1);
    EXPECT_EQ(row(w, 0),
              (QStringList{u"14 Mar 2026 09:30:15"_s, me, u"Changes window"_s, u"Put back"_s,
                           key("2026/03/01 06:00:00"), u"Load 12.80"_s, u"Load 12.50"_s}));

    // The three readings of the deletion come back at once; No first changes nothing.
    w.choose(rowOf(w, u"Deleted"_s));
    dialogs.answerNo();
    w.cmdPutBack->click();
    EXPECT_EQ(
        dialogs.take().text,
        u"The 3 readings that were deleted from sensor 200525001 at 09:30 on 14 Mar 2026 by "_s +
            me +
            u" will come back as they were stored (from 200525001 2026/03/02 06:00:00 "
            "to 200525001 2026/03/04 06:00:00).\r\n\r\nPut it back?"_s);
    EXPECT_EQ(readingCount(), 3);
    dialogs.answerYes();
    w.cmdPutBack->click();
    dialogs.take();
    EXPECT_EQ(readingCount(), 6);
    EXPECT_EQ(stored("Channel1", "2026/03/02 06:00:00"), u"12.50"_s);
    EXPECT_EQ(stored("ChannelT", "2026/03/04 06:00:00"), u"18.0"_s);
    EXPECT_EQ(tab().txtReadingID->text(), key("2026/03/01 06:00:00")) << "still the reading shown";
    EXPECT_EQ(tab().txtRcount->text(), u"1 of 6"_s);
    EXPECT_EQ(row(w, 0).at(3), u"Put back"_s);
    EXPECT_EQ(row(w, 2).at(3), u"Put back"_s);
    w.choose(0);
    EXPECT_FALSE(w.cmdPutBack->isEnabled()) << "delete the readings again instead";

    // The old time of the re-keyed reading is taken: refused, and said why.
    w.choose(rowOf(w, u"Re-keyed"_s));
    w.cmdPutBack->click();
    dialogs.expect(u"The date and time of the reading 200525001 2026/03/05 06:00:00 is taken by "
                   "another reading of the sensor now: nothing was put back. Delete or re-key that "
                   "reading first."_s,
                   u"Put back"_s, Icon::Exclamation);
    EXPECT_EQ(stored("Channel1", "2026/03/05 12:00:00"), u"12.50"_s);
    EXPECT_EQ(stored("Channel1", "2026/03/05 06:00:00"), u"1.00"_s);
    EXPECT_EQ(logEntries(), 0);
}

// The range's ends are whole days at the edges of what the boxes allow too: a "To" of the
// last day the box offers (31 Dec 9999) lists that whole day and every day before it, a
// "From" of the first day it offers lists that whole day and every day after it.
TEST_F(ChangesWindowTest, TheFirstAndTheLastDayTheBoxesAllowAreWholeDays) {
    addReading("2026/03/01 06:00:00", "12.90", "18.5");
    const QString k1 = key("2026/03/01 06:00:00");
    const auto change = [&](const char* from, const char* to) {
        return [=](Connection&, ChangeAction& a) {
            EXPECT_TRUE(a.record(change::Changed, k1, k1, values({{"Channel1", from}}),
                                 values({{"Channel1", to}}))
                            .ok());
        };
    };
    // The first day the "From" box allows, as it opens.
    const QDate first = QDateEdit().minimumDate();
    const QDate last(9999, 12, 31);
    record(wallClock(first, QTime(0, 0)), u"Readings tab"_s, change("1.00", "2.00"));
    record(wallClock(first, QTime(23, 59, 59)), u"Readings tab"_s, change("2.00", "3.00"));
    record(at(5, 8), u"Readings tab"_s, change("3.00", "4.00"));
    record(wallClock(last, QTime(0, 0)), u"Readings tab"_s, change("4.00", "5.00"));
    record(wallClock(last, QTime(23, 59, 59)), u"Readings tab"_s, change("5.00", "12.90"));
    startOnReadings();
    frmChanges& w = open(tab().cmdChanges);
    ASSERT_EQ(w.lblCount->text(), u"5 changes"_s);
    EXPECT_EQ(w.dtpFrom->minimumDate(), first);
    EXPECT_EQ(w.dtpTo->maximumDate(), last);
    EXPECT_EQ(w.dtpTo->date(), last) << "the newest entry's day is offered";

    // To 31 Dec 9999: the whole of that day and every day before it.
    w.chkTo->click();
    EXPECT_EQ(w.lblCount->text(), u"5 changes"_s);
    EXPECT_EQ(row(w, 0).at(0), u"31 Dec 9999 23:59:59"_s);
    // From the same day: that day alone.
    w.chkFrom->click();
    w.dtpFrom->setDate(last);
    EXPECT_EQ(w.lblCount->text(), u"2 changes"_s);
    EXPECT_EQ(row(w, 0).at(0), u"31 Dec 9999 23:59:59"_s);
    EXPECT_EQ(row(w, 1).at(0), u"31 Dec 9999 00:00:00"_s);
    // From the first day the box allows, to the day before the last: every entry but the
    // last day's.
    w.dtpFrom->setDate(first);
    EXPECT_EQ(w.dtpFrom->date(), first);
    w.dtpTo->setDate(last.addDays(-1));
    EXPECT_EQ(w.lblCount->text(), u"3 changes"_s);
    // To the first day: that day alone, both ends of it.
    w.dtpTo->setDate(first);
    EXPECT_EQ(w.lblCount->text(), u"2 changes"_s);
    EXPECT_EQ(row(w, 0).at(4), k1);
    EXPECT_EQ(row(w, 0).at(6), u"Load 3.00"_s);
    EXPECT_EQ(row(w, 1).at(6), u"Load 2.00"_s);
    // From the first day to the last: every entry.
    w.dtpTo->setDate(last);
    EXPECT_EQ(w.lblCount->text(), u"5 changes"_s);
    EXPECT_EQ(logEntries(), 0);
}

// Put back acts on the row the list shows chosen: a row unchosen with Ctrl leaves none.
TEST_F(ChangesWindowTest, PutBackActsOnlyOnTheRowShownChosen) {
    addReading("2026/03/01 06:00:00", "12.90", "18.5");
    const QString k1 = key("2026/03/01 06:00:00");
    record(at(5, 8), u"Readings tab"_s, [&](Connection&, ChangeAction& a) {
        EXPECT_TRUE(a.record(change::Changed, k1, k1, values({{"Channel1", "12.50"}}),
                             values({{"Channel1", "12.90"}}))
                        .ok());
    });
    startOnReadings();
    frmChanges& w = open(tab().cmdChanges);
    const QPoint first = w.grdChanges->visualRect(w.model->index(0, 0)).center();
    QTest::mouseClick(w.grdChanges->viewport(), Qt::LeftButton, Qt::ControlModifier, first);
    EXPECT_EQ(w.chosenEntry(), nullptr);
    EXPECT_FALSE(w.cmdPutBack->isEnabled());
}

TEST_F(ChangesWindowTest, ADatabaseWithoutTheHistoryGreysChangesAndMarksNothing) {
    addReading("2026/03/01 06:00:00", "12.50", "18.0");
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    startOnReadings();
    EXPECT_FALSE(tab().cmdChanges->isEnabled());
    EXPECT_EQ(tab().cmdChanges->toolTip(), u"This database keeps no record of changes."_s);
    EXPECT_FALSE(marked());
    dialogs.clear(); // what the read-only start-up says is another feature's concern
}

} // namespace
