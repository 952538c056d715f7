// Recovery is never blocked by what a killed run left beside the database, and a database
// reached through a link is compacted and restored where the link leads.
#include "app/UtilitiesTab.h"
#include "tests/maintenance/MaintenanceFixture.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>
#include <unistd.h>

using namespace rv;
using namespace rv::test;

namespace {

const QString kBackupOk = QStringLiteral("Backup was successful");
const QString kRestoreOk = QStringLiteral("Restore was successful");
const QString kToday = QStringLiteral("LODIXbackup2026-03-14.mdb");

QString question(const QString& name) {
    return QStringLiteral("Restoring Rockvane from backup ") + name +
           QStringLiteral("\r\nwill permanently overwrite current database. Continue?");
}

class RecoveryTest : public MaintenanceTest {
protected:
    // A backup of two sensors; the database then gains a third.
    void backupThenAddASensor() {
        window->backups->imgBackup->click();
        dialogs.expect(kBackupOk, kTitle, Icon::Information);
        addSensorRow(QStringLiteral("200525003"));
    }
    void restoreTodays() {
        enterUtilities();
        choose(1);
        dialogs.answerYes();
        window->backups->imgRestore->click();
        dialogs.expect(question(kToday), kTitleCaps, Icon::Exclamation, Buttons::YesNo);
    }
    QString journal() const { return databasePath + QStringLiteral("-journal"); }
    // Another run writing readings to the database is killed before it commits. With a
    // small page cache the engine has already written pages of the database and synced
    // its journal (a hot journal, to be rolled back); otherwise the journal only holds
    // what the write had begun (the engine has finished with it).
    void killedWhileWriting(bool hot) {
        const QByteArray path = databasePath.toUtf8();
        ASSERT_TRUE(diesInChild([&] {
            sqlite3* db = nullptr;
            if (sqlite3_open(path.constData(), &db) != SQLITE_OK) _exit(4);
            if (hot) sqlite3_exec(db, "PRAGMA cache_size = 2", nullptr, nullptr, nullptr);
            const char* write =
                "BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                "i < 3000) INSERT INTO `200525001` (DateTimeKey, ReadingDate, ReadingTime, "
                "FullDate, Channel1, ChannelT, DoNotPlot) SELECT '200525001 2030/01/01 ' || i, "
                "'2030-01-01', '00:00:00', '2030-01-01 00:00:00', '99.00', '20.0', 0 FROM n;";
            if (sqlite3_exec(db, write, nullptr, nullptr, nullptr) != SQLITE_OK) _exit(5);
            _exit(0); // before the commit
        }));
        ASSERT_TRUE(QFile::exists(journal()));
    }
};

class InterruptedWrite : public RecoveryTest, public ::testing::WithParamInterface<bool> {};

TEST_P(InterruptedWrite, NeitherBlocksARestoreNorOutlivesTheNextStart) {
    addSensorsWithReadings();
    ASSERT_TRUE(start());
    backupThenAddASensor();
    const QString backedUp = contents(backupPath(kToday));

    // Nothing of this run writes between the kill and the restore (a write of its own
    // would clear the journal away).
    enterUtilities();
    killedWhileWriting(GetParam());
    restoreTodays();
    dialogs.expect(kRestoreOk, kTitle, Icon::Information);
    EXPECT_EQ(contents(databasePath), backedUp);
    EXPECT_FALSE(QFile::exists(journal())) << "never to be applied to the restored file";
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
    EXPECT_EQ(logEntries(), 0);

    // Killed again, and the program closed and started anew: the journal is gone (rolled
    // back if hot, removed if spent), and no reading of the killed write is there.
    killedWhileWriting(GetParam());
    window.reset();
    EXPECT_TRUE(dialogs.pending().empty());
    ASSERT_TRUE(start());
    EXPECT_FALSE(QFile::exists(journal()));
    EXPECT_EQ(contents(databasePath), backedUp);
    EXPECT_EQ(
        scalar(QStringLiteral("SELECT count(*) FROM `200525001` WHERE Channel1 = '99.00'")).toInt(),
        0);
    EXPECT_TRUE(dialogs.pending().empty());
    // The next restore works as well.
    restoreTodays();
    dialogs.expect(kRestoreOk, kTitle, Icon::Information);
}

INSTANTIATE_TEST_SUITE_P(Recovery, InterruptedWrite, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Hot" : "Spent"; });

// A journal left by a killed write that the engine has finished with is removed at the
// next start, with one log entry; one that another program's write still needs is left.
TEST_F(RecoveryTest, TheNextStartRemovesASpentJournalOnlyWhenNoOneWrites) {
    addSensorsWithReadings();
    killedWhileWriting(false);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(databasePath.toUtf8().constData(), &other), SQLITE_OK);
    // Another program begins a write of its own (it holds the engine's write lock).
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_TRUE(start());
    EXPECT_TRUE(QFile::exists(journal()));
    EXPECT_EQ(logEntries(), 0);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    window.reset();
    killedWhileWriting(false);
    ASSERT_TRUE(start());
    EXPECT_FALSE(QFile::exists(journal()));
    EXPECT_EQ(logEntries(), 1);
    EXPECT_TRUE(logText().contains(QStringLiteral("The journal of a write that was cut short, "
                                                  "which the database engine had finished "
                                                  "with, was removed: ") +
                                   journal()))
        << logText().toStdString();
}

// The data folder's database is a link to a file elsewhere (a shared disk): the link stays
// a link, and the file it leads to is compacted and restored, its work files beside it.
TEST_F(RecoveryTest, ALinkedDatabaseIsCompactedAndRestoredWhereTheLinkLeads) {
    addSensorsWithReadings(2000);
    execSql(QStringLiteral("DELETE FROM `200525001` WHERE rowid % 2 = 0"));
    const QString shared = tmp.path() + QStringLiteral("/shared");
    ASSERT_TRUE(QDir().mkpath(shared));
    const QString target = shared + QStringLiteral("/mine.mdb");
    ASSERT_TRUE(QFile::rename(databasePath, target));
    ASSERT_TRUE(QFile::link(target, databasePath));
    const qint64 size = QFileInfo(target).size();
    ASSERT_TRUE(start());
    backupThenAddASensor();
    const QString backedUp = contents(backupPath(kToday));
    const QString latest = contents(databasePath);
    auto stillLinked = [&] {
        EXPECT_TRUE(QFileInfo(databasePath).isSymLink());
        EXPECT_EQ(QFileInfo(databasePath).symLinkTarget(), target);
        for (const QString& folder : {dataFolder, shared})
            for (const QString& prefix : {QStringLiteral("Copy_"), QStringLiteral("Restore_")})
                EXPECT_TRUE(QDir(folder).entryList({prefix + QStringLiteral("*")}).isEmpty())
                    << (folder + QStringLiteral("/") + prefix).toStdString();
    };

    window.reset(); // compacts
    EXPECT_TRUE(dialogs.pending().empty());
    stillLinked();
    EXPECT_LT(QFileInfo(target).size(), size * 3 / 4);
    EXPECT_EQ(contents(target), latest);

    ASSERT_TRUE(start());
    restoreTodays();
    dialogs.expect(kRestoreOk, kTitle, Icon::Information);
    stillLinked();
    EXPECT_EQ(contents(target), backedUp);
    EXPECT_EQ(window->utilities->txtSCount->text(), "2");
    window.reset();
    stillLinked();
    EXPECT_EQ(contents(target), backedUp);
    EXPECT_EQ(logEntries(), 0);
}

} // namespace
