// The import history: the record of each append and the undo of a batch, checked on the
// database itself.
#include "history/ImportHistory.h"
#include "core/DateText.h"
#include "import/SlugAppend.h"
#include "store/Connection.h"
#include "tests/support/DataFolder.h"
#include <QFile>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace rv;
using namespace rv::test;
using namespace Qt::StringLiterals;

namespace {

const QString kSensor = u"200525001"_s;
const QString kOther = u"200525002"_s;
const QDateTime kStart = wallClock(QDate(2026, 1, 10), QTime(6, 0));

class ImportHistoryTest : public DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        addSensorRow(kSensor);
        addSensorRow(kOther);
        ASSERT_TRUE(openDatabase(c).ok());
        ASSERT_TRUE(ensureHistoryTables(c).ok());
    }

    // Appends `count` readings six hours apart from `from` as the import does, and
    // records them as one batch. Channel 1 of reading i is 10 + i/100, the temperature
    // 20.5; every seventh reading has no temperature.
    qint64 importBatch(const QString& id, const QDateTime& from, int count,
                       const QString& file = u"/mine/logs/200525001.txt"_s) {
        std::vector<PlannedReading> planned;
        std::vector<AppendedRow> rows;
        for (int i = 0; i < count; ++i) {
            const QDateTime at = from.addSecs(qint64(i) * 6 * 3600);
            const QByteArray t = i % 7 == 3 ? QByteArray() : QByteArray("20.5");
            const QByteArray load = QByteArray::number(10 + i / 100.0, 'f', 2);
            planned.push_back({at, t, load});
            rows.push_back({readingKey(id, at),
                            t.isNull() ? QVariant() : QVariant(QString::fromLatin1(t)),
                            QString::fromLatin1(load)});
        }
        NoProgress none;
        const WriteOutcome written = writeReadings(c, id, planned, none);
        EXPECT_EQ(written.kind, WriteOutcome::Kind::Written)
            << written.error.description.toStdString();
        // The append records its batch inside its own transaction.
        EXPECT_TRUE(c.begin().ok());
        const auto batch =
            recordBatch(c, {0, id, file, u"ab"_s.repeated(32), clock.now(), 0, {}}, rows);
        EXPECT_TRUE(batch.ok()) << batch.error().description.toStdString();
        EXPECT_TRUE(c.commit().ok());
        return batch.valueOr(0);
    }
    // One reading typed in by hand.
    void typedReading(const QString& id, const QDateTime& at, const QString& channel1) {
        addReadings(id, {ReadingRow(readingKey(id, at))
                             .fullDate(at.toString(u"yyyy-MM-dd HH:mm:ss"_s))
                             .channelT(u"19.0"_s)
                             .channel1(channel1)
                             .doNotPlot(0)});
    }
    int readings(const QString& id) {
        return scalar(u"SELECT count(*) FROM `%1`"_s.arg(id)).toInt();
    }
    bool stored(const QString& id, const QDateTime& at) {
        return scalar(u"SELECT count(*) FROM `%1` WHERE DateTimeKey = '%2'"_s.arg(
                          id, readingKey(id, at)))
                   .toInt() == 1;
    }
    int recorded(qint64 batch) {
        return scalar(u"SELECT count(*) FROM ImportBatches WHERE BatchID = %1"_s.arg(batch))
                   .toInt() +
               scalar(u"SELECT count(*) FROM ImportBatchRows WHERE BatchID = %1"_s.arg(batch))
                   .toInt();
    }
    QDateTime nth(int i) const { return kStart.addSecs(qint64(i) * 6 * 3600); }

    Connection c;
};

TEST_F(ImportHistoryTest, TheTablesAreAddedOnceAndARecordedBatchIsListedNewestFirst) {
    EXPECT_TRUE(hasHistoryTables(c));
    ASSERT_TRUE(ensureHistoryTables(c).ok()) << "a second opening changes nothing";

    const qint64 first = importBatch(kSensor, kStart, 3, u"/mine/logs/jan.txt"_s);
    clock.set(clock.now().addDays(2));
    const qint64 second = importBatch(kSensor, nth(10), 4, u"/mine/logs/feb.txt"_s);
    clock.set(clock.now().addDays(-30)); // the clock set back: the order still holds
    const qint64 third = importBatch(kSensor, nth(20), 5, u"C:feb2.txt"_s);
    (void)importBatch(kOther, kStart, 2);
    ASSERT_GT(first, 0);
    EXPECT_LT(first, second);

    const auto list = listBatches(c, kSensor);
    ASSERT_TRUE(list.ok());
    ASSERT_EQ(list.value().size(), 3u);
    EXPECT_EQ(list.value()[0].id, third);
    EXPECT_EQ(list.value()[2].id, first);
    const ImportBatch& b = list.value()[1];
    EXPECT_EQ(b.instrumentId, kSensor);
    EXPECT_EQ(b.fileName, u"feb.txt"_s) << "the folder is not kept";
    EXPECT_EQ(b.rows, 4);
    EXPECT_EQ(b.when, wallClock(QDate(2026, 3, 16), QTime(9, 30, 15)));
    EXPECT_EQ(b.sha256, u"ab"_s.repeated(32));
    EXPECT_EQ(
        scalar(u"SELECT count(*) FROM ImportBatchRows WHERE BatchID = %1"_s.arg(second)).toInt(),
        4);
    EXPECT_TRUE(listBatches(c, u"200525099"_s).value().empty());

    const auto found = findBatchBySha(c, kSensor, u"AB"_s.repeated(32));
    ASSERT_TRUE(found.ok());
    ASSERT_TRUE(found.value().has_value());
    EXPECT_EQ(found.value()->id, third) << "the newest import of that file";
    EXPECT_FALSE(findBatchBySha(c, kSensor, u"cd"_s.repeated(32)).value().has_value());
    EXPECT_FALSE(findBatchBySha(c, u"200525099"_s, u"ab"_s.repeated(32)).value().has_value());

    EXPECT_EQ(recordBatch(c, {0, kSensor, u"x.txt"_s, {}, clock.now(), 0, {}}, {}).valueOr(-1), 0)
        << "nothing appended, nothing recorded";
    EXPECT_EQ(listBatches(c, kSensor).value().size(), 3u);
}

TEST_F(ImportHistoryTest, AFilesDigestIsItsSha256InLowerCase) {
    const QString path = tmp.filePath(u"abc.txt"_s);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("abc");
    f.close();
    EXPECT_EQ(fileSha256(path).valueOr({}),
              u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"_s);
    const auto missing = fileSha256(tmp.filePath(u"none.txt"_s));
    ASSERT_FALSE(missing.ok());
    EXPECT_TRUE(missing.error().description.contains(u"none.txt"_s));
}

// On the database file and on a site server database alike.
using ImportHistoryOnEachEngine = OnEachEngine<ImportHistoryTest>;

TEST_P(ImportHistoryOnEachEngine, UndoRemovesExactlyTheBatchsReadingsAndItsRecord) {
    typedReading(kSensor, nth(-1), u"9.00"_s); // just before the batch
    const qint64 earlier = importBatch(kSensor, nth(-40), 5);
    const qint64 batch = importBatch(kSensor, kStart, 50);
    typedReading(kSensor, nth(50), u"11.00"_s); // just after it
    (void)importBatch(kOther, kStart, 50);      // the same moments on another sensor
    ASSERT_EQ(readings(kSensor), 57);

    const auto preview = previewUndo(c, batch);
    ASSERT_TRUE(preview.ok());
    EXPECT_EQ(preview.value().stored, 50);
    EXPECT_EQ(preview.value().missing, 0);
    EXPECT_TRUE(preview.value().editedKeys.isEmpty());

    RecordingProgress progress;
    const auto removed = undoBatch(c, batch, progress);
    ASSERT_TRUE(removed.ok()) << removed.error().description.toStdString();
    EXPECT_EQ(removed.value(), 50);
    EXPECT_EQ(progress.lastDone, 50);
    EXPECT_EQ(progress.ended, 1);

    EXPECT_EQ(readings(kSensor), 7);
    EXPECT_FALSE(stored(kSensor, nth(0))) << "the first reading of the batch";
    EXPECT_FALSE(stored(kSensor, nth(49))) << "the last reading of the batch";
    EXPECT_TRUE(stored(kSensor, nth(-1)));
    EXPECT_TRUE(stored(kSensor, nth(50)));
    EXPECT_TRUE(stored(kSensor, nth(-40))) << "an earlier batch";
    EXPECT_EQ(readings(kOther), 50);
    EXPECT_TRUE(stored(kOther, nth(0)));
    EXPECT_TRUE(stored(kOther, nth(49)));
    EXPECT_EQ(recorded(batch), 0);
    EXPECT_EQ(recorded(earlier), 6);
    EXPECT_EQ(listBatches(c, kSensor).value().size(), 1u);

    EXPECT_FALSE(undoBatch(c, batch, progress).ok()) << "a batch is undone once";
    EXPECT_FALSE(previewUndo(c, batch).ok());
    EXPECT_EQ(readings(kSensor), 7);
}
INSTANTIATE_TEST_SUITE_P(BothEngines, ImportHistoryOnEachEngine, bothEngines(), engineName);

TEST_F(ImportHistoryTest, ReadingsEditedOrDeletedSinceTheAppendAreToldApart) {
    const qint64 batch = importBatch(kSensor, kStart, 20);
    auto key = [&](int i) { return readingKey(kSensor, nth(i)); };
    auto update = [&](const QString& set, int i) {
        execSql(u"UPDATE `%1` SET %2 WHERE DateTimeKey = '%3'"_s.arg(kSensor, set, key(i)));
    };
    update(u"Channel1 = '12.00'"_s, 0);          // the first reading: load changed
    update(u"ChannelT = '21.0'"_s, 5);           // temperature changed
    update(u"ChannelT = NULL"_s, 6);             // temperature cleared
    update(u"ChannelT = '22'"_s, 10);            // a temperature where the file had none
    update(u"ChannelT = ''"_s, 17);              // the empty box written back: not an edit
    update(u"DoNotPlot = 1"_s, 19);              // the last reading: no longer plotted
    update(u"IsDirty = 0, Channel2 = 'x'"_s, 8); // other columns: not an edit
    update(u"Channel1 = '10.09'"_s, 9);          // written again with the same value
    execSql(u"DELETE FROM `%1` WHERE DateTimeKey IN ('%2', '%3')"_s.arg(kSensor, key(1), key(2)));
    // Reading 4 deleted by hand and typed in again at the same moment with another load.
    execSql(u"DELETE FROM `%1` WHERE DateTimeKey = '%2'"_s.arg(kSensor, key(4)));
    typedReading(kSensor, nth(4), u"3.00"_s);

    const auto preview = previewUndo(c, batch);
    ASSERT_TRUE(preview.ok()) << preview.error().description.toStdString();
    EXPECT_EQ(preview.value().stored, 18);
    EXPECT_EQ(preview.value().missing, 2);
    EXPECT_EQ(preview.value().editedKeys,
              (QStringList{key(0), key(4), key(5), key(6), key(10), key(19)}));

    NoProgress none;
    EXPECT_EQ(undoBatch(c, batch, none).valueOr(-1), 18);
    EXPECT_EQ(readings(kSensor), 0) << "edited readings of the batch go with it";
    EXPECT_EQ(recorded(batch), 0);
}

TEST_F(ImportHistoryTest, ABatchPartlyDeletedByHandLosesTheRestOnly) {
    const qint64 batch = importBatch(kSensor, kStart, 10);
    typedReading(kSensor, nth(10), u"4.00"_s);
    execSql(u"DELETE FROM `%1` WHERE FullDate < '2026-01-11 01'"_s.arg(kSensor)); // readings 0-3,
    // the last of them at midnight, stored as the date alone
    const auto preview = previewUndo(c, batch);
    EXPECT_EQ(preview.value().stored, 6);
    EXPECT_EQ(preview.value().missing, 4);
    NoProgress none;
    EXPECT_EQ(undoBatch(c, batch, none).valueOr(-1), 6);
    EXPECT_EQ(readings(kSensor), 1);
    EXPECT_TRUE(stored(kSensor, nth(10)));
}

TEST_F(ImportHistoryTest, AReadingDeletedByHandAndImportedAgainBelongsToTheLaterImport) {
    // The first download, some of it deleted by hand, then the same download imported
    // again: its readings that were gone are appended anew, in the second batch.
    const qint64 first = importBatch(kSensor, kStart, 10);
    execSql(u"DELETE FROM `%1` WHERE FullDate < '2026-01-11 01'"_s.arg(kSensor)); // readings 0-3
    const qint64 second = importBatch(kSensor, kStart, 4);
    ASSERT_GT(second, first);
    ASSERT_EQ(readings(kSensor), 10);

    // Undoing the first import takes its own six readings and none of the second's.
    const auto preview = previewUndo(c, first);
    EXPECT_EQ(preview.value().stored, 6);
    EXPECT_EQ(preview.value().missing, 4);
    NoProgress none;
    EXPECT_EQ(undoBatch(c, first, none).valueOr(-1), 6);
    EXPECT_EQ(readings(kSensor), 4);
    EXPECT_TRUE(stored(kSensor, nth(0)));
    EXPECT_TRUE(stored(kSensor, nth(3)));
    EXPECT_FALSE(stored(kSensor, nth(4)));
    // The second import is still whole and undoes in turn.
    EXPECT_EQ(previewUndo(c, second).value().stored, 4);
    EXPECT_EQ(undoBatch(c, second, none).valueOr(-1), 4);
    EXPECT_EQ(readings(kSensor), 0);
}

TEST_F(ImportHistoryTest, ABatchWhoseReadingsAreAllGoneIsForgotten) {
    const qint64 batch = importBatch(kSensor, kStart, 10);
    execSql(u"DELETE FROM `%1`"_s.arg(kSensor));
    const auto preview = previewUndo(c, batch);
    EXPECT_EQ(preview.value().stored, 0);
    EXPECT_EQ(preview.value().missing, 10);
    NoProgress none;
    EXPECT_EQ(undoBatch(c, batch, none).valueOr(-1), 0);
    EXPECT_EQ(recorded(batch), 0);
}

TEST_F(ImportHistoryTest, TheBatchOfADeletedSensorIsForgottenAndDeletingASensorForgetsItsBatches) {
    const qint64 gone = importBatch(kSensor, kStart, 10);
    const qint64 kept = importBatch(kOther, kStart, 10);
    execSql(u"DROP TABLE `%1`"_s.arg(kSensor));
    const auto preview = previewUndo(c, gone);
    ASSERT_TRUE(preview.ok());
    EXPECT_EQ(preview.value().stored, 0);
    EXPECT_EQ(preview.value().missing, 10);
    RecordingProgress progress;
    EXPECT_EQ(undoBatch(c, gone, progress).valueOr(-1), 0);
    EXPECT_EQ(recorded(gone), 0);
    EXPECT_EQ(readings(kOther), 10);

    const qint64 second = importBatch(kOther, nth(20), 3);
    ASSERT_TRUE(deleteBatchesOf(c, kOther).ok());
    EXPECT_EQ(recorded(kept) + recorded(second), 0);
    EXPECT_EQ(readings(kOther), 13) << "forgetting batches removes no reading";
    const qint64 again = importBatch(kOther, nth(40), 2);
    ASSERT_TRUE(c.begin().ok());
    ASSERT_TRUE(deleteBatchesOf(c, kOther).ok()) << "inside the caller's transaction";
    c.rollback();
    EXPECT_EQ(recorded(again), 3) << "the caller's rollback keeps them";
}

TEST_F(ImportHistoryTest, ACancelOrAFailureLeavesEveryReadingAndTheRecord) {
    const qint64 batch = importBatch(kSensor, kStart, 3000);
    typedReading(kSensor, nth(-1), u"9.00"_s);
    RecordingProgress cancel;
    cancel.cancelAt = 1024;
    const auto cancelled = undoBatch(c, batch, cancel);
    ASSERT_FALSE(cancelled.ok());
    EXPECT_EQ(cancelled.error().number, kUndoCancelled);
    EXPECT_EQ(cancel.ended, 1);
    EXPECT_EQ(readings(kSensor), 3001);
    EXPECT_EQ(recorded(batch), 3001);

    // A trigger makes the last deletion fail: nothing is removed either.
    execSql(
        u"CREATE TRIGGER refuse BEFORE DELETE ON `%1` WHEN old.DateTimeKey = '%2' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END"_s.arg(kSensor, readingKey(kSensor, nth(2999))));
    NoProgress none;
    const auto failed = undoBatch(c, batch, none);
    ASSERT_FALSE(failed.ok());
    EXPECT_TRUE(failed.error().description.contains(u"refused"_s));
    EXPECT_EQ(readings(kSensor), 3001);
    EXPECT_EQ(recorded(batch), 3001);
}

// A progress that ends the process at once, as a power cut would, after some deletions.
class KillingProgress : public Progress {
public:
    void begin(const QString&, qint64) override {}
    bool step(qint64 done) override {
        if (done >= 1024) _exit(0);
        return true;
    }
    void end() override {}
};

TEST_F(ImportHistoryTest, TheProgramKilledDuringAnUndoLeavesTheDatabaseAsBefore) {
    const qint64 batch = importBatch(kSensor, kStart, 3000);
    c.close();
    const pid_t pid = fork();
    if (pid == 0) {
        Connection child;
        if (!child.open(databasePath).ok()) _exit(4);
        KillingProgress killing;
        (void)undoBatch(child, batch, killing);
        _exit(3); // the kill never came
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the child was killed in the middle of the undo";

    ASSERT_TRUE(c.open(databasePath).ok());
    EXPECT_EQ(readings(kSensor), 3000);
    EXPECT_EQ(recorded(batch), 3001);
    NoProgress none;
    EXPECT_EQ(undoBatch(c, batch, none).valueOr(-1), 3000) << "and the undo can be done again";
    EXPECT_EQ(readings(kSensor), 0);
}

// The readings and the batch's rows are written, and the readings removed, a chunk of rows
// per statement: each count on either side of a chunk's end keeps every row, in order.
TEST_F(ImportHistoryTest, AppendAndUndoKeepEveryRowOnEitherSideOfAChunksEnd) {
    typedReading(kSensor, nth(-1), u"7.00"_s); // not the batch's: the undo leaves it
    int from = 0;
    for (const int count : {1, 99, 100, 101, 200, 201}) {
        SCOPED_TRACE(count);
        std::vector<PlannedReading> planned;
        for (int i = 0; i < count; ++i)
            planned.push_back({nth(from + i), i == count - 1 ? QByteArray() : "20.5",
                               QByteArray::number(10 + i / 100.0, 'f', 2)});
        const ImportBatch batch{0, kSensor, u"x.txt"_s, {}, clock.now(), 0, {}};
        NoProgress none;
        ASSERT_EQ(writeReadings(c, kSensor, planned, none, &batch).kind,
                  WriteOutcome::Kind::Written);
        const qint64 id = listBatches(c, kSensor).value().front().id;
        EXPECT_EQ(readings(kSensor), 1 + count);
        EXPECT_EQ(recorded(id), 1 + count);
        // The batch's rows in the order written, each beside the reading it recorded.
        const QString rows = u"SELECT %2 FROM ImportBatchRows WHERE BatchID = %1 ORDER BY rowid"_s;
        EXPECT_EQ(scalar(rows.arg(id).arg(u"group_concat(DateTimeKey, '|')"_s)).toString(),
                  scalar(u"SELECT group_concat(DateTimeKey, '|') FROM (SELECT DateTimeKey FROM "
                         "`%1` WHERE Channel1 <> '7.00' ORDER BY rowid)"_s.arg(kSensor))
                      .toString());
        EXPECT_EQ(scalar(rows.arg(id).arg(u"Channel1"_s) + u" LIMIT 1"_s).toString(), u"10.00"_s);
        EXPECT_EQ(scalar(rows.arg(id).arg(u"ChannelT IS NULL"_s) + u" DESC LIMIT 1"_s).toInt(), 1)
            << "the last row has no temperature";
        EXPECT_TRUE(stored(kSensor, nth(from)));
        EXPECT_TRUE(stored(kSensor, nth(from + count - 1)));

        EXPECT_EQ(undoBatch(c, id, none).valueOr(-1), count);
        EXPECT_EQ(readings(kSensor), 1);
        EXPECT_EQ(recorded(id), 0);
        from += count;
    }
}

TEST_F(ImportHistoryTest, AReadOnlyDatabaseWithoutTheTablesIsRefusedAndLeftAlone) {
    c.close();
    execSql(u"DROP TABLE ImportBatchRows"_s);
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    ASSERT_TRUE(c.open(databasePath).ok());
    EXPECT_FALSE(hasHistoryTables(c));
    EXPECT_FALSE(ensureHistoryTables(c).ok());
    EXPECT_FALSE(hasHistoryTables(c));
}

} // namespace
