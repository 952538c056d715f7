// The engine's operations on the database file as a whole: checking a file, holding it
// against writers, compacting it into a new file and copying the open database out.
#include "store/DatabaseFile.h"
#include "store/Connection.h"
#include "tests/support/DataFolder.h"
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <functional>
#include <sqlite3.h>

using namespace rv;
using namespace rv::test;

namespace {

// Another program's connection to the file, which never waits for a lock.
class OtherProgram {
public:
    explicit OtherProgram(const QString& path) { sqlite3_open(path.toUtf8().constData(), &m_db); }
    ~OtherProgram() { sqlite3_close(m_db); }
    int run(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

private:
    sqlite3* m_db = nullptr;
};

class DatabaseFileTest : public DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        // Enough rows that the table fills the last pages of the file.
        execSql(QStringLiteral("CREATE TABLE Filler (n INTEGER, t TEXT);"
                               "WITH RECURSIVE k(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM k "
                               "WHERE n < 3000) INSERT INTO Filler SELECT n, hex(randomblob(60)) "
                               "FROM k;"));
    }
    QString fileNamed(const QString& name) const { return dataFolder + QStringLiteral("/") + name; }
    QString native(const QString& path) const { return QDir::toNativeSeparators(path); }
    // A copy of the database, then changed by how.
    QString variant(const QString& name, const std::function<void(const QString&)>& how) {
        const QString path = fileNamed(name);
        QFile::copy(databasePath, path);
        how(path);
        return path;
    }
};

TEST_F(DatabaseFileTest, TheCheckTellsASoundDatabaseFromADamagedOneAtEitherDepth) {
    const QString sound = variant(QStringLiteral("sound.mdb"), [](const QString&) {});
    const QString noNetwork = variant(QStringLiteral("nonetwork.mdb"), [](const QString& p) {
        OtherProgram(p).run("DROP TABLE NetworkConfig");
    });
    const QString junkPages = variant(QStringLiteral("junkpages.mdb"), [](const QString& p) {
        QFile f(p);
        if (f.open(QIODevice::ReadWrite) && f.seek(f.size() - 3 * 4096))
            f.write(QByteArray(3 * 4096, char(0x5a)));
    });
    const QString junk = variant(QStringLiteral("junk.mdb"), [](const QString& p) {
        QFile f(p);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(QByteArray(8192, char(0x5a)));
    });
    const struct {
        QString path;
        long long full, quick; // 0: sound
    } cases[] = {
        {sound, 0, 0},
        {noNetwork, 3265, 0},
        {junkPages, 11, 11},
        {junk, 26, 26},
    };
    for (const auto& c : cases) {
        const Status full = checkDatabaseFile(c.path, DatabaseCheckDepth::Full, 100);
        const Status quick = checkDatabaseFile(c.path, DatabaseCheckDepth::Quick, 100);
        EXPECT_EQ(full.ok() ? 0 : full.error().number, c.full) << c.path.toStdString();
        EXPECT_EQ(quick.ok() ? 0 : quick.error().number, c.quick) << c.path.toStdString();
    }
    EXPECT_EQ(checkDatabaseFile(noNetwork, DatabaseCheckDepth::Full, 100).error().description,
              QStringLiteral("The file holds no table NetworkConfig: ") + native(noNetwork));
    EXPECT_EQ(checkDatabaseFile(junk, DatabaseCheckDepth::Quick, 100).error().description,
              QStringLiteral("file is not a database: ") + native(junk));
}

TEST_F(DatabaseFileTest, OnlyACorruptFileOrNoDatabaseCountsAsDamaged) {
    const struct {
        long long number;
        bool damaged;
    } cases[] = {
        {11, true},    {26, true},           {267, true}, // corrupt, with the engine's detail
        {5, false},    {14, false},          {61, false},
        {3265, false}, {-2147483637, false}, // a provider's negative number ending in the same byte
                                             // as 11
    };
    for (const auto& c : cases)
        EXPECT_EQ(isDamagedDatabaseError(Error{c.number, QString()}), c.damaged) << c.number;
}

TEST_F(DatabaseFileTest, ALockKeepsWritersOutAndSeesAWriteUnderWay) {
    OtherProgram other(databasePath);
    {
        const auto lock = lockDatabaseFile(databasePath, 100);
        ASSERT_TRUE(lock.ok());
        EXPECT_TRUE(lock.value()->holds());
        EXPECT_FALSE(lock.value()->writerActive());
        EXPECT_EQ(other.run("SELECT count(*) FROM Filler"), SQLITE_OK) << "readers go on";
        ASSERT_EQ(other.run("BEGIN IMMEDIATE"), SQLITE_OK);
        EXPECT_TRUE(lock.value()->writerActive());
        ASSERT_EQ(other.run("DELETE FROM Filler"), SQLITE_OK);
        EXPECT_EQ(other.run("COMMIT"), SQLITE_BUSY) << "the write cannot reach the file";
        ASSERT_EQ(other.run("ROLLBACK"), SQLITE_OK);
        EXPECT_FALSE(lock.value()->writerActive());
    }
    EXPECT_EQ(other.run("DELETE FROM Filler"), SQLITE_OK) << "the lock is let go with its answer";
}

TEST_F(DatabaseFileTest, ALockIsRefusedDuringAWriteAndEmptyWhereThereIsNoDatabase) {
    {
        OtherProgram other(databasePath);
        ASSERT_EQ(other.run("BEGIN EXCLUSIVE"), SQLITE_OK);
        const auto refused = lockDatabaseFile(databasePath, 50);
        ASSERT_FALSE(refused.ok());
        EXPECT_EQ(refused.error().number, 5);
        EXPECT_EQ(refused.error().description,
                  QStringLiteral("The database is in use by another program (database is "
                                 "locked: ") +
                      native(databasePath) + QStringLiteral(")"));
    }
    const QString junk = fileNamed(QStringLiteral("junk.mdb"));
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    for (const QString& path : {junk, fileNamed(QStringLiteral("missing.mdb"))}) {
        const auto empty = lockDatabaseFile(path, 50);
        ASSERT_TRUE(empty.ok()) << path.toStdString();
        EXPECT_FALSE(empty.value()->holds());
        EXPECT_FALSE(empty.value()->writerActive());
    }
    EXPECT_FALSE(QFile::exists(fileNamed(QStringLiteral("missing.mdb"))));
}

TEST_F(DatabaseFileTest, CompactingWritesEveryRowSmallerAndLeavesTheSourceAsItWas) {
    execSql(QStringLiteral("DELETE FROM Filler WHERE n % 2 = 0"));
    const QByteArray before = digest(databasePath);
    const QString target = fileNamed(QStringLiteral("Copy_RockvaneLODIX.mdb"));
    ASSERT_TRUE(compactDatabaseInto(databasePath, target, 100).ok());
    EXPECT_EQ(digest(databasePath), before);
    EXPECT_LT(QFile(target).size(), QFile(databasePath).size());
    EXPECT_TRUE(checkDatabaseFile(target, DatabaseCheckDepth::Full, 100).ok());
    Connection copy;
    ASSERT_TRUE(copy.open(target, Connection::Mode::ReadOnly).ok());
    Query rows(copy, QStringLiteral("SELECT count(*), min(n), max(n) FROM Filler"));
    ASSERT_TRUE(rows.next());
    EXPECT_EQ(rows.value(0).toInt(), 1500);
    EXPECT_EQ(rows.value(1).toInt(), 1);
    EXPECT_EQ(rows.value(2).toInt(), 2999);
    copy.close();

    // A target that holds a file is never written over.
    const QByteArray compacted = digest(target);
    EXPECT_FALSE(compactDatabaseInto(databasePath, target, 100).ok());
    EXPECT_EQ(digest(target), compacted);
    EXPECT_EQ(digest(databasePath), before);
}

TEST_F(DatabaseFileTest, TheOpenDatabaseIsCopiedOutWhileItsConnectionStaysOpen) {
    const QString target = fileNamed(QStringLiteral("copy.part"));
    Connection c;
    ASSERT_TRUE(c.open(databasePath).ok());
    {
        Query reading(c, QStringLiteral("SELECT n FROM Filler ORDER BY n"));
        ASSERT_TRUE(reading.next());
        ASSERT_TRUE(copyOpenDatabase(c, target, 100).ok());
        EXPECT_TRUE(reading.next()) << "a statement under way goes on";
        EXPECT_EQ(reading.value(0).toInt(), 2);
    }
    EXPECT_TRUE(checkDatabaseFile(target, DatabaseCheckDepth::Full, 100).ok());
    EXPECT_FALSE(QFile::exists(target + QStringLiteral("-journal")));

    // Another program's write is waited for, then named.
    QFile::remove(target);
    {
        OtherProgram other(databasePath);
        ASSERT_EQ(other.run("BEGIN EXCLUSIVE"), SQLITE_OK);
        const Status busy = copyOpenDatabase(c, target, 50);
        ASSERT_FALSE(busy.ok());
        EXPECT_EQ(busy.error().number, 5);
        EXPECT_EQ(busy.error().description,
                  QStringLiteral("The database is in use by another program (database is "
                                 "locked)"));
    }

    c.close();
    QFile::remove(target);
    const Status closed = copyOpenDatabase(c, target, 50);
    ASSERT_FALSE(closed.ok());
    EXPECT_EQ(closed.error().number, 3704);
    EXPECT_EQ(closed.error().description,
              QStringLiteral("The connection to the database is closed"));
    EXPECT_FALSE(QFile::exists(target));
}

} // namespace
