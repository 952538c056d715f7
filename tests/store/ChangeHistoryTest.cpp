// The history of changes on each engine: what the store's writes record, and putting an
// entry back.
#include "store/ChangeHistory.h"
#include "store/AlarmLevelsTable.h"
#include "store/Module1.h"
#include "store/ReadingsTable.h"
#include "store/Statements.h"
#include "tests/support/DataFolder.h"
#include <QThread>
#include <gtest/gtest.h>
#include <thread>

using namespace rv;
using namespace rv::test;
using namespace Qt::StringLiterals;

namespace {

const QString kId = QStringLiteral("200525001");
const QString kFirst = QStringLiteral("200525001 2026/12/01 08:00:00");
const QString kMiddle = QStringLiteral("200525001 2026/12/02 08:00:00");
const QString kLast = QStringLiteral("200525001 2026/12/03 08:00:00");

// Three readings of sensor 200525001, one a day, and the history's tables.
class ChangeHistory : public TwoSensorsOnEachEngine {
protected:
    void SetUp() override {
        TwoSensorsOnEachEngine::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        addReadings(kId, {ReadingRow::at(kId, "2026/12/01 08:00:00").channel1("0012.50"),
                          ReadingRow::at(kId, "2026/12/02 08:00:00")
                              .channel1("0020.00")
                              .channelT("18.5")
                              .zero1(19.25)
                              .doNotPlot(1),
                          ReadingRow::at(kId, "2026/12/03 08:00:00").channel1("0030.00")});
        ASSERT_TRUE(ensureChangeTables(session->gConnection).ok());
        ASSERT_TRUE(readings
                        .open(session->gConnection,
                              QStringLiteral("SELECT * FROM `200525001` ORDER BY FullDate"))
                        .ok());
        readings.setChangeHow(QStringLiteral("Readings tab"));
    }
    Connection& c() { return session->gConnection; }
    // Deletes the readings of 2 December (expected: `count`); the newest entry's number.
    qint64 deleteMiddle(qint64 count = 1) {
        EXPECT_EQ(need(deleteReadingsOnDays(c(), kId, QDate(2026, 12, 2), QDate(2026, 12, 2),
                                            [](auto&&...) { return std::nullopt; })),
                  count);
        return need(listChanges(c(), {})).front().id;
    }
    // "kind key -> newKey before | after", newest first.
    std::vector<std::string> listed(const ChangeFilter& filter = {}) {
        std::vector<std::string> out;
        for (const ChangeEntry& e : need(listChanges(c(), filter)))
            out.push_back((e.kind + u' ' + e.key + QStringLiteral(" -> ") + e.newKey + u' ' +
                           e.before + QStringLiteral(" | ") + e.after)
                              .toStdString());
        return out;
    }
    QString row(const QString& key) {
        QString out;
        for (const char* col : {"DateTimeKey", "ReadingDate", "ReadingTime", "Channel1", "ChannelT",
                                "zero1", "DoNotPlot", "FullDate"})
            out += scalar(QStringLiteral("SELECT %1 FROM `200525001` WHERE DateTimeKey = '%2'")
                              .arg(QLatin1String(col), key))
                       .toString() +
                   u'/';
        return out;
    }
    static QString need(const Status& s) { return s.ok() ? QString() : s.error().description; }
    template <class T> static T need(const Result<T>& r) {
        EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().description.toStdString());
        return r.ok() ? r.value() : T{};
    }
    Recordset readings;
};
using ChangeHistoryOnEachEngine = ChangeHistory;

TEST_P(ChangeHistoryOnEachEngine, EachWriteIsRecordedWithWhoWhenAndHowAndPutsBackExactly) {
    clock.set(wallClock(QDate(2026, 12, 9), QTime(14, 32, 5)));
    // A corrected load, a re-key and a deletion of the middle day.
    ASSERT_TRUE(readings.setValue(QStringLiteral("Channel1"), QStringLiteral("0013.20")).ok());
    ASSERT_TRUE(readings.update().ok());
    ASSERT_TRUE(readings.moveLast().ok());
    ASSERT_TRUE(readings
                    .setValue(QStringLiteral("DateTimeKey"),
                              QStringLiteral("200525001 2026/12/03 09:00:00"))
                    .ok());
    ASSERT_TRUE(readings.update().ok());
    const QString middle = row(kMiddle);
    ASSERT_EQ(need(deleteReadingsOnDays(c(), kId, QDate(2026, 12, 2), QDate(2026, 12, 2),
                                        [](auto&&...) { return std::nullopt; })),
              1);

    EXPECT_EQ(listed(), std::vector<std::string>(
                            {"Deleted 200525001 2026/12/02 08:00:00 ->   | ",
                             "Re-keyed 200525001 2026/12/03 08:00:00 -> 200525001 2026/12/03 "
                             "09:00:00 {\"DateTimeKey\":\"200525001 2026/12/03 08:00:00\"} | "
                             "{\"DateTimeKey\":\"200525001 2026/12/03 09:00:00\"}",
                             "Changed 200525001 2026/12/01 08:00:00 -> 200525001 2026/12/01 "
                             "08:00:00 {\"Channel1\":\"0012.50\"} | {\"Channel1\":\"0013.20\"}"}));
    const std::vector<ChangeEntry> entries = need(listChanges(c(), {}));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].how, QStringLiteral("Delete readings"));
    EXPECT_EQ(entries[0].note, QStringLiteral("Readings from 2 Dec 2026 to 2 Dec 2026 deleted"));
    EXPECT_EQ(entries[2].how, QStringLiteral("Readings tab"));
    EXPECT_EQ(entries[2].by, c().userName());
    EXPECT_EQ(entries[2].when, wallClock(QDate(2026, 12, 9), QTime(14, 32, 5)));
    EXPECT_EQ(need(changedKeys(c(), kId)),
              QSet<QString>({kFirst, QStringLiteral("200525001 2026/12/03 09:00:00")}));

    // The deleted reading comes back with every value it had, the change is undone.
    EXPECT_EQ(need(planPutBack(c(), entries[0].id)).description,
              QStringLiteral("The reading 200525001 2026/12/02 08:00:00, which was deleted from "
                             "sensor 200525001 at 14:32 on 9 Dec 2026 by ") +
                  c().userName() + QStringLiteral(", will come back as it was stored."));
    EXPECT_EQ(need(putBack(c(), entries[0].id, how::ChangesWindow)), 1);
    EXPECT_EQ(row(kMiddle), middle);
    EXPECT_EQ(need(planPutBack(c(), entries[2].id)).description,
              QStringLiteral("The reading 200525001 2026/12/01 08:00:00 of sensor 200525001 goes "
                             "back to its values before the change at 14:32 on 9 Dec 2026 by ") +
                  c().userName() + QStringLiteral(": Load 0013.20 -> 0012.50."));
    for (int twice = 0; twice < 2; ++twice) // put back again, it changes and records nothing
        EXPECT_EQ(need(putBack(c(), entries[2].id, how::ChangesWindow)), 1);
    EXPECT_TRUE(row(kFirst).contains(QStringLiteral("/0012.50/")));
    EXPECT_EQ(listed(ChangeFilter{kId, {}, {}, {change::PutBack}, {}}),
              std::vector<std::string>(
                  {"Put back 200525001 2026/12/01 08:00:00 -> 200525001 2026/12/01 "
                   "08:00:00 {\"Channel1\":\"0013.20\"} | {\"Channel1\":\"0012.50\"}",
                   "Put back  -> 200525001 2026/12/02 08:00:00  | "
                   "{\"DateTimeKey\":\"200525001 2026/12/02 08:00:00\",\"Restores\":3}"}));

    // The old key of the re-keyed reading taken since by another reading: refused whole.
    addReadings(kId, {ReadingRow::at(kId, "2026/12/03 08:00:00").channel1("0031.00")});
    const Result<qint64> refused = putBack(c(), entries[1].id, how::ChangesWindow);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().number, err::KeyTaken);
    EXPECT_EQ(refused.error().description,
              QStringLiteral("The date and time of the reading 200525001 2026/12/03 08:00:00 is "
                             "taken by another reading of the sensor now: nothing was put back. "
                             "Delete or re-key that reading first."));
    EXPECT_TRUE(row(QStringLiteral("200525001 2026/12/03 09:00:00")).contains(u"/0030.00/"));
}

TEST_P(ChangeHistoryOnEachEngine, AWriteThatChangesNothingOrFailsRecordsNothing) {
    // The datasheet writing back every reading with the values it holds.
    std::vector<ReadingValues> same;
    for (qint64 rowid : {1, 2, 3})
        same.push_back({rowid, {{0, QVariant()}}, QVariant()});
    same[0].changed = {{0, QStringLiteral("0012.50")}};
    same[0].doNotPlot = 0;
    same[1].changed = {{0, QStringLiteral("0020.00")}};
    same[1].doNotPlot = 1;
    same[2].changed = {{0, QStringLiteral("0030.00")}};
    same[2].doNotPlot = 0;
    EXPECT_EQ(need(writeReadingValues(c(), kId, {QStringLiteral("Channel1")}, same)), QString());
    EXPECT_TRUE(listed().empty());
    // A write refused half-way (its last reading is gone) leaves neither readings nor history.
    same[0].changed = {{0, QStringLiteral("0099.00")}};
    same[2].rowid = 999;
    EXPECT_FALSE(writeReadingValues(c(), kId, {QStringLiteral("Channel1")}, same).ok());
    EXPECT_TRUE(listed().empty());
    EXPECT_TRUE(row(kFirst).contains(u"/0012.50/"));
    // One real change of the datasheet records that reading only, by the datasheet.
    same.resize(2);
    EXPECT_EQ(need(writeReadingValues(c(), kId, {QStringLiteral("Channel1")}, same)), QString());
    EXPECT_EQ(listed(),
              std::vector<std::string>({"Changed 200525001 2026/12/01 08:00:00 -> 200525001 "
                                        "2026/12/01 08:00:00 {\"Channel1\":\"0012.50\"} | "
                                        "{\"Channel1\":\"0099.00\"}"}));
}

TEST_P(ChangeHistoryOnEachEngine, EveryReadingDeletedAtOnceComesBackAtOnceAndClearingIsRecorded) {
    clock.set(wallClock(QDate(2026, 12, 9), QTime(8, 0)));
    addReadings(kId, {ReadingRow::at(kId, "2026/11/30 08:00:00").channel1("0011.00")});
    EXPECT_EQ(need(deleteAllReadings(c(), kId)), 4);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `200525001`")).toLongLong(), 0);
    const std::vector<ChangeEntry> gone = need(listChanges(c(), {}));
    ASSERT_EQ(gone.size(), 4u);
    EXPECT_TRUE(need(planPutBack(c(), gone.back().id))
                    .description.endsWith(u"(from 200525001 2026/11/30 08:00:00 to 200525001 "
                                          "2026/12/03 08:00:00)."));
    EXPECT_EQ(need(putBack(c(), gone.back().id, how::ChangesWindow)), 4);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `200525001`")).toLongLong(), 4);
    EXPECT_TRUE(row(kLast).contains(u"/0030.00/"));

    // Clearing before tomorrow takes the 8 entries and leaves one entry saying so.
    clock.set(wallClock(QDate(2026, 12, 10), QTime(9, 0)));
    EXPECT_EQ(need(clearChangesBefore(c(), QDate(2026, 12, 10), how::Utilities)), 8);
    const std::vector<ChangeEntry> left = need(listChanges(c(), {}));
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].kind, QStringLiteral("History cleared"));
    EXPECT_EQ(left[0].note,
              QStringLiteral("Changes made before 10 Dec 2026 were cleared: 8 entries of 2 "
                             "actions."));
    const HistorySize size = need(historySize(c()));
    EXPECT_EQ(size.entries, 1);
    EXPECT_EQ(size.actions, 1);
}

// The readings leaving by their row numbers are locked and copied a chunk at a time: with
// 1,001 (two whole chunks and one over) each is recorded once, the first and the last too.
TEST_P(ChangeHistoryOnEachEngine, ReadingsLeavingByRowNumberAreEachRecordedOnce) {
    std::vector<ReadingRow> more;
    const QDateTime start(QDate(2026, 11, 1), QTime(0, 0), Qt::UTC); // no clock change
    for (int i = 0; i < 998; ++i)
        more.push_back(ReadingRow::at(
            kId, start.addSecs(600 * i).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"))));
    addReadings(kId, more);
    std::vector<qint64> rowids;
    for (Query q(c(), u"SELECT rowid FROM `200525001`"_s); q.next();)
        rowids.push_back(q.int64(0));
    ASSERT_EQ(rowids.size(), 1001u);
    ASSERT_TRUE(c().begin().ok());
    // On a server they are locked the same way first (nothing to do on a file).
    ASSERT_EQ(need(lockRowsInOrder(c(), quoteName(kId), rowids)), QString());
    ChangeAction action(c(), kId, how::DeleteReadings);
    ASSERT_EQ(need(action.recordLeavingRows(change::Deleted, kId, rowids)), QString());
    ASSERT_TRUE(c().commit().ok());
    EXPECT_EQ(action.entries(), 1001);
    EXPECT_EQ(scalar(u"SELECT count(DISTINCT DateTimeKey) FROM ReadingChanges"_s).toInt(), 1001);
    EXPECT_EQ(scalar(u"SELECT min(DateTimeKey) FROM ReadingChanges"_s).toString(),
              u"200525001 2026/11/01 00:00:00"_s);
    EXPECT_EQ(scalar(u"SELECT max(DateTimeKey) FROM ReadingChanges"_s).toString(),
              u"200525001 2026/12/03 08:00:00"_s);
}

TEST_P(ChangeHistoryOnEachEngine, ASensorsValuesComeBackFromTheHistoryAsTheyWereStored) {
    const QString notes = QStringLiteral("Bolt \"B7\" re-tensioned\\\nby Jo\t\u00e9");
    ASSERT_EQ(need(recordSensorChange(
                  c(), kId, how::SensorRecord,
                  {{QStringLiteral("Notes"), QVariant()}, {QStringLiteral("Recess"), 0.1}},
                  {{QStringLiteral("Notes"), notes}, {QStringLiteral("Recess"), 1e-7}})),
              QString());
    const std::vector<ChangeEntry> entries = need(listChanges(c(), {}));
    ASSERT_EQ(entries.size(), 1u);
    const std::vector<ChangedValue> values = listedValues(entries[0]);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].column, QStringLiteral("Notes"));
    EXPECT_TRUE(values[0].before.isNull());
    EXPECT_EQ(values[0].after.toString(), notes);
    EXPECT_EQ(values[1].before.toDouble(), 0.1);
    EXPECT_EQ(values[1].after.toDouble(), 1e-7);
}

TEST_P(ChangeHistoryOnEachEngine, AReadingIsMarkedChangedOnlyWhileTheChangedOneIsStored) {
    ASSERT_TRUE(readings.setValue(QStringLiteral("Channel1"), QStringLiteral("0013.20")).ok());
    ASSERT_TRUE(readings.update().ok());
    EXPECT_EQ(need(changedKeys(c(), kId)), QSet<QString>({kFirst}));
    ASSERT_TRUE(readings.remove().ok());
    EXPECT_EQ(need(changedKeys(c(), kId)), QSet<QString>());
    // Put back, the changed reading is there again; deleted by range, a reading imported at
    // its date and time since is another one.
    EXPECT_EQ(need(putBack(c(), need(listChanges(c(), {})).front().id, how::ChangesWindow)), 1);
    EXPECT_EQ(need(changedKeys(c(), kId)), QSet<QString>({kFirst}));
    ASSERT_EQ(need(deleteReadingsOnDays(c(), kId, QDate(2026, 12, 1), QDate(2026, 12, 1),
                                        [](auto&&...) { return std::nullopt; })),
              1);
    addReadings(kId, {ReadingRow::at(kId, "2026/12/01 08:00:00").channel1("0014.00")});
    EXPECT_EQ(need(changedKeys(c(), kId)), QSet<QString>());
}

TEST_P(ChangeHistoryOnEachEngine, ASensorsRecordAndLevelsChangedAreEntriesOfTheSensor) {
    Recordset sensors;
    ASSERT_TRUE(sensors.open(c(), sql::SensorsByNumber).ok());
    sensors.setChangeHow(how::SensorRecord);
    ASSERT_TRUE(sensors.find(QStringLiteral("InstrumentID = '200525001'")).ok());
    ASSERT_TRUE(sensors.setValue(QStringLiteral("Recess"), 0.35).ok());
    ASSERT_TRUE(sensors.setValue(QStringLiteral("Location"), QStringLiteral("Drive 4")).ok());
    ASSERT_TRUE(sensors.update().ok());
    ASSERT_TRUE(ensureAlarmTable(c()).ok());
    for (int twice = 0; twice < 2; ++twice) // the second write changes nothing
        ASSERT_TRUE(writeStoredLevels(c(), kId, {120.0, 150.0, std::nullopt}).ok());
    EXPECT_EQ(
        listed(ChangeFilter{kId, {}, {}, {change::SensorChanged}, {}}),
        std::vector<std::string>({"Sensor changed  ->  {\"AlarmLoad\":null,\"AlertLoad\":null} | "
                                  "{\"AlarmLoad\":150,\"AlertLoad\":120}",
                                  "Sensor changed  ->  {\"Location\":null,\"Recess\":null} | "
                                  "{\"Location\":\"Drive 4\",\"Recess\":0.35}"}));
    for (const ChangeEntry& e : need(listChanges(c(), {})))
        EXPECT_EQ(e.how.toStdString() + '/' + e.instrumentId.toStdString(),
                  "Sensor record/200525001");
}

TEST_P(ChangeHistoryOnEachEngine, ASensorDeletedAndMadeAgainDoesNotInheritItsEntries) {
    ASSERT_TRUE(readings.setValue(QStringLiteral("Channel1"), QStringLiteral("0013.20")).ok());
    ASSERT_TRUE(readings.update().ok());
    ASSERT_EQ(need(deleteReadingsOnDays(c(), kId, QDate(2026, 12, 2), QDate(2026, 12, 2),
                                        [](auto&&...) { return std::nullopt; })),
              1);
    const qint64 deletion = need(listChanges(c(), {})).front().id;
    readings.close();
    // The sensor deleted as the registry deletes it, then registered again under its number
    // with a reading where the corrected one was.
    clock.set(wallClock(QDate(2026, 12, 9), QTime(14, 32)));
    Recordset sensors;
    ASSERT_TRUE(sensors.open(c(), sql::SensorsByNumber).ok());
    sensors.setChangeHow(how::SensorRecord);
    ASSERT_TRUE(sensors.find(QStringLiteral("InstrumentID = '200525001'")).ok());
    ASSERT_TRUE(sensors.remove().ok());
    execSql(QStringLiteral("DROP TABLE `200525001`"));
    ASSERT_TRUE(createReadingsTable(c(), kId).ok());
    addReadings(kId, {ReadingRow::at(kId, "2026/12/01 08:00:00").channel1("0014.00")});

    EXPECT_EQ(need(changedKeys(c(), kId)), QSet<QString>());
    const std::vector<ChangeEntry> shown =
        need(listChanges(c(), ChangeFilter{kId, {}, {}, {}, {}}));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].kind, QStringLiteral("Sensor deleted"));
    EXPECT_EQ(shown[0].how, QStringLiteral("Delete sensor"));
    EXPECT_TRUE(shown[0].before.contains(QStringLiteral("\"InstrumentID\":\"200525001\"")))
        << shown[0].before.toStdString();
    EXPECT_EQ(need(listChanges(c(), {})).size(), 3u) << "the history keeps every entry";
    const Result<qint64> back = putBack(c(), deletion, how::ChangesWindow);
    ASSERT_FALSE(back.ok());
    EXPECT_EQ(back.error().description.toStdString(),
              "This change was made to an earlier sensor 200525001, deleted at 14:32 on 9 Dec "
              "2026: nothing was put back into the sensor registered under that number since.");
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `200525001`")).toLongLong(), 1);
}

TEST_P(ChangeHistoryOnEachEngine, AChangePutBackNeverLandsOnAnotherReadingStoredAtItsKeySince) {
    // Corrected, re-keyed, corrected again and deleted; a reading imported at the first key.
    for (const auto& [column, value] : {std::pair{"Channel1", "0013.20"},
                                        {"DateTimeKey", "200525001 2026/12/01 09:00:00"},
                                        {"Channel1", "0013.50"}}) {
        ASSERT_TRUE(readings.setValue(QLatin1String(column), QLatin1String(value)).ok());
        ASSERT_TRUE(readings.update().ok());
    }
    ASSERT_TRUE(readings.remove().ok());
    addReadings(kId, {ReadingRow::at(kId, "2026/12/01 08:00:00").channel1("0040.00")});
    const Result<qint64> back =
        putBack(c(), need(listChanges(c(), {})).back().id, how::ChangesWindow);
    ASSERT_FALSE(back.ok());
    EXPECT_EQ(back.error().description,
              QStringLiteral("The reading 200525001 2026/12/01 08:00:00 that was changed is no "
                             "longer stored (it was deleted or given another date and time "
                             "since): the reading stored there now is another one, and nothing "
                             "was put back."));
    EXPECT_TRUE(row(kFirst).contains(u"/0040.00/")) << row(kFirst).toStdString();

    // The middle reading deleted; another imported there, corrected and deleted; the first
    // deletion put back: the correction names the other reading.
    clock.set(wallClock(QDate(2026, 12, 5), QTime(10, 0)));
    const qint64 firstDeletion = deleteMiddle();
    clock.set(wallClock(QDate(2026, 12, 6), QTime(10, 0)));
    addReadings(kId, {ReadingRow::at(kId, "2026/12/02 08:00:00").channel1("0041.00")});
    const qint64 other =
        scalar(u"SELECT rowid FROM `200525001` WHERE Channel1 = '0041.00'"_s).toLongLong();
    ASSERT_EQ(
        need(writeReadingValues(c(), kId, {u"Channel1"_s}, {{other, {{0, u"0042.00"_s}}, 0}})),
        QString());
    const qint64 correction = need(listChanges(c(), {})).front().id;
    deleteMiddle();
    ASSERT_EQ(need(putBack(c(), firstDeletion, how::ChangesWindow)), 1);
    EXPECT_FALSE(putBack(c(), correction, how::ChangesWindow).ok());
    // Still so when the first deletion's entry is cleared from the history.
    clock.set(wallClock(QDate(2026, 12, 7), QTime(10, 0)));
    ASSERT_GT(need(clearChangesBefore(c(), QDate(2026, 12, 6), how::Utilities)), 0);
    EXPECT_FALSE(putBack(c(), correction, how::ChangesWindow).ok());
    EXPECT_TRUE(row(kMiddle).contains(u"/0020.00/")) << row(kMiddle).toStdString();
}

TEST_P(ChangeHistoryOnEachEngine, AReadingPutBackIsFollowedThroughItAndNoDeletionComesBackTwice) {
    // With the middle reading, one without a key on the same day (stored by another program).
    execSql(u"INSERT INTO `200525001` (DateTimeKey, ReadingDate, FullDate, Channel1, DoNotPlot) "
            u"VALUES (NULL, '2026-12-02', '2026-12-02 12:00:00', '0021.00', 0)"_s);
    clock.set(wallClock(QDate(2026, 12, 9), QTime(14, 32)));
    const qint64 first = deleteMiddle(2);
    ASSERT_EQ(need(putBack(c(), first, how::ChangesWindow)), 2);
    const QString asStored = row(kMiddle);
    const qint64 middle =
        scalar(u"SELECT rowid FROM `200525001` WHERE DateTimeKey = '"_s + kMiddle + u"'"_s)
            .toLongLong();
    ASSERT_EQ(
        need(writeReadingValues(c(), kId, {u"Channel1"_s}, {{middle, {{0, u"0099.00"_s}}, 0}})),
        QString());
    const qint64 correction = need(listChanges(c(), {})).front().id;
    const qint64 second = deleteMiddle(2);
    ASSERT_EQ(need(putBack(c(), second, how::ChangesWindow)), 2);

    // The correction is still the reading's own, through two deletions put back.
    EXPECT_EQ(need(putBack(c(), correction, how::ChangesWindow)), 1);
    EXPECT_EQ(row(kMiddle), asStored); // its load and its "Do not plot" mark
    // Neither deletion comes back again, the keyless reading neither.
    for (const qint64 deletion : {first, second}) {
        const Result<qint64> again = putBack(c(), deletion, how::ChangesWindow);
        ASSERT_FALSE(again.ok());
        EXPECT_EQ(again.error().description.toStdString(),
                  "These readings were put back already, at 14:32 on 9 Dec 2026 by " +
                      c().userName().toStdString() +
                      ": nothing was put back. If they were deleted or removed again since, "
                      "put back that later entry.");
    }
    EXPECT_EQ(scalar(u"SELECT count(*) FROM `200525001`"_s).toLongLong(), 4);
    // The link the history keeps is not a value of the reading.
    const std::vector<ChangedValue> shown = listedValues(need(listChanges(c(), {}))[1]);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].column.toStdString(), "DateTimeKey");
}

// On a server, a putting back waits for another engineer's correction of the same reading
// under way, and records the value that correction stored as the one it replaced.
TEST_P(ChangeHistoryOnEachEngine, APuttingBackRecordsTheValueItReplacesStoredByAnotherMeanwhile) {
    if (!onServer()) GTEST_SKIP() << "a file has one writer at a time";
    ASSERT_TRUE(readings.setValue(u"Channel1"_s, u"0013.20"_s).ok() && readings.update().ok());
    const qint64 correction = need(listChanges(c(), {})).front().id;
    Connection other;
    ASSERT_TRUE(openDatabase(other).ok() && other.begin().ok());
    ASSERT_TRUE(
        other
            .execute(u"UPDATE `200525001` SET Channel1 = '0077.70' WHERE DateTimeKey = '"_s +
                     kFirst + u"'"_s)
            .ok());
    Result<qint64> back = qint64(0);
    std::thread puttingBack([&] { back = putBack(c(), correction, how::ChangesWindow); });
    QThread::msleep(500);
    EXPECT_TRUE(other.commit().ok());
    puttingBack.join();
    EXPECT_EQ(need(back), 1);
    EXPECT_EQ(listed(ChangeFilter{kId, {}, {}, {change::PutBack}, {}}),
              std::vector<std::string>({"Put back 200525001 2026/12/01 08:00:00 -> 200525001 "
                                        "2026/12/01 08:00:00 {\"Channel1\":\"0077.70\"} | "
                                        "{\"Channel1\":\"0012.50\"}"}));
}

INSTANTIATE_TEST_SUITE_P(BothEngines, ChangeHistoryOnEachEngine, bothEngines(), engineName);

} // namespace
