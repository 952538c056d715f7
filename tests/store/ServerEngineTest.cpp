// The site server's engine where it differs from a file's: addresses, bytes, and the
// operations on database files it answers with a reason.
#include "store/Connection.h"
#include "store/PgEngine.h"
#include "store/Provisioning.h"
#include "store/ReadingsAppend.h"
#include "store/Statements.h"
#include "tests/support/DataFolder.h"
#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace rv;

namespace {

QString reason(const Status& s) {
    return s.ok() ? QStringLiteral("(done)") : s.error().description;
}

TEST(ServerEngine, AnAddressWithoutADatabaseOrNotUnderstoodIsRefused) {
    DatabaseEngine& engine = postgresEngine();
    const auto unnamed = engine.create(QStringLiteral("host=/nowhere"));
    ASSERT_FALSE(unnamed.ok());
    EXPECT_EQ(unnamed.error().description,
              QStringLiteral("The server's address names no database: host=/nowhere"));
    const auto garbled =
        engine.open(QStringLiteral("host='/nowhere"), DatabaseEngine::Mode::ReadWrite, 100);
    ASSERT_FALSE(garbled.ok());
    EXPECT_TRUE(garbled.error().description.startsWith(
        QStringLiteral("The server's address is not understood: ")))
        << garbled.error().description.toStdString();
    const auto absent = engine.open(QStringLiteral("host=/nowhere dbname=mine"),
                                    DatabaseEngine::Mode::ReadOnly, 100);
    ASSERT_FALSE(absent.ok());
    EXPECT_FALSE(absent.error().description.isEmpty());
}

TEST(ServerEngine, OperationsOnDatabaseFilesAnswerThatTheyAreNotAvailable) {
    DatabaseEngine& engine = postgresEngine();
    const QString somewhere = QStringLiteral("host=/nowhere dbname=mine");
    EXPECT_EQ(reason(engine.compactInto(somewhere, somewhere, 100)),
              QStringLiteral("Compacting the database file is not available on a site server"));
    const auto check = engine.checkFile(somewhere, DatabaseCheckDepth::Full, 100);
    ASSERT_FALSE(check.ok());
    EXPECT_EQ(check.error().description,
              QStringLiteral("A check of the database file is not available on a site server"));
    const auto lock = engine.holdForSwap(somewhere, 100);
    ASSERT_FALSE(lock.ok());
    EXPECT_EQ(lock.error().description,
              QStringLiteral("Replacing the database file is not available on a site server"));
    EXPECT_EQ(engine.journalOf(somewhere), QString());
}

// On the throwaway server ROCKVANE_TEST_PG names, when there is one.
class OnTestServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("ROCKVANE_TEST_PG"))
            GTEST_SKIP() << "ROCKVANE_TEST_PG is not set; ./test.sh starts a server";
        name =
            QStringLiteral("rv_server_%1_%2").arg(QCoreApplication::applicationPid()).arg(++count);
        auto made = postgresEngine().create(qEnvironmentVariable("ROCKVANE_TEST_PG") +
                                            QStringLiteral(" dbname=") + name);
        ASSERT_TRUE(made.ok()) << made.error().description.toStdString();
        c = std::move(made).value();
    }
    QString name;
    std::unique_ptr<EngineConnection> c;
    static inline int count = 0;
};

TEST_F(OnTestServer, MixedCaseNamesAndParametersWrittenAsTheStoreWritesThem) {
    ASSERT_TRUE(c->execute(QStringLiteral("CREATE TABLE `Level Log` (`Sensor` TEXT, `Load` "
                                          "DOUBLE, note TEXT)"))
                    .ok());
    auto insert = need(c->prepare(QStringLiteral("INSERT INTO `Level Log` VALUES (?, ?, '?`x`')")));
    insert->bindText(1, QStringLiteral("LC-7"));
    insert->bindDouble(2, 41.25);
    ASSERT_EQ(insert->step(), EngineStatement::Step::Done);
    auto read = need(c->prepare(
        QStringLiteral("SELECT `Load`, note FROM `Level Log` WHERE `Sensor` = ?1 AND ?1 <> ''")));
    read->bindText(1, QStringLiteral("LC-7"));
    ASSERT_EQ(read->step(), EngineStatement::Step::Row);
    EXPECT_EQ(read->columnName(0), QStringLiteral("Load"));
    EXPECT_EQ(read->real(0), 41.25);
    EXPECT_EQ(read->text(1), QStringLiteral("?`x`"));
    EXPECT_EQ(read->step(), EngineStatement::Step::Done);
    EXPECT_EQ(need(c->tables()), QStringList{QStringLiteral("Level Log")});
}

// A site's server, database or user set to write doubles with fewer digits (as servers
// before version 12 did by default) still gives back every digit of each.
TEST_F(OnTestServer, NumbersKeepEveryDigitWhereTheServerIsSetToShortenThem) {
    ASSERT_TRUE(c->execute(QStringLiteral("CREATE TABLE t (n INTEGER, d DOUBLE)")).ok());
    ASSERT_TRUE(
        c->execute(QStringLiteral("ALTER DATABASE %1 SET extra_float_digits = 0").arg(name)).ok());
    // Each value with every digit it needs to be read back exactly.
    const char* const values[] = {"0.30000000000000004", "0.33333333333333331", "9007199254740992",
                                  "1.0000000000000001e-17", "4.9406564584124654e-324"};
    auto insert = need(c->prepare(QStringLiteral("INSERT INTO t VALUES (?1, ?2)")));
    for (int i = 0; i < int(std::size(values)); ++i) {
        insert->bindInt64(1, i);
        insert->bindDouble(2, QByteArray(values[i]).toDouble());
        ASSERT_EQ(insert->step(), EngineStatement::Step::Done);
        insert->reset();
    }
    auto later = need(postgresEngine().open(qEnvironmentVariable("ROCKVANE_TEST_PG") +
                                                QStringLiteral(" dbname=") + name,
                                            DatabaseEngine::Mode::ReadOnly, 1000));
    auto read = need(later->prepare(QStringLiteral("SELECT d FROM t ORDER BY n")));
    for (const char* value : values) {
        ASSERT_EQ(read->step(), EngineStatement::Step::Row);
        EXPECT_EQ(QString::number(read->real(0), 'g', 17), QLatin1String(value));
    }
}

TEST_F(OnTestServer, BytesComeBackAsABlobOfTheirOwnBytes) {
    auto q = need(c->prepare(QStringLiteral("SELECT '\\x00ff41'::bytea, ''::bytea")));
    ASSERT_EQ(q->step(), EngineStatement::Step::Row);
    EXPECT_EQ(q->kind(0), ValueKind::Blob);
    EXPECT_EQ(q->value(0), QVariant(QByteArray("\0\xff"
                                               "A",
                                               3)));
    EXPECT_EQ(q->kind(1), ValueKind::Blob);
    EXPECT_EQ(q->bytes(1).size(), 0);
}

// A database prepared as the program prepares it, on the test server, with a connection of
// the server's own superuser to change it behind the store's back.
class PreparedServerDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("ROCKVANE_TEST_PG"))
            GTEST_SKIP() << "ROCKVANE_TEST_PG is not set; ./test.sh starts a server";
        conninfo = test::newServerDatabase();
        ASSERT_TRUE(provisionServerDatabase(conninfo).ok());
        ASSERT_TRUE(admin.openServer(conninfo).ok());
    }
    qint64 count(const QString& table) {
        Query q(admin, QStringLiteral("SELECT count(*) FROM ") + table);
        return q.next() ? q.int64(0) : -1;
    }
    QString conninfo;
    Connection admin;
};

TEST_F(PreparedServerDatabase, RowsStreamedInAChunkComeBackExactlyWithTheirTabsAndBackslashes) {
    ASSERT_TRUE(admin.execute(sql::newReadingsTable(QStringLiteral("7"))).ok());
    ASSERT_TRUE(admin.begin().ok());
    {
        ChunkedInsert insert(admin,
                             QStringLiteral("INSERT INTO `7` (DateTimeKey, Channel1, zero1)"), 3);
        ASSERT_TRUE(insert.prepared().ok());
        const QByteArray texts[] = {"a\tb", "line\nbreak\r", "back\\slash \\N", ""};
        for (int i = 0; i < 4; ++i) {
            const QByteArray key = "k" + QByteArray::number(i);
            insert.text(0, key.constData(), key.size());
            insert.text(1, texts[i].constData(), texts[i].size());
            if (i == 3)
                insert.null(2);
            else
                insert.value(2, QVariant(i == 0 ? 0.1 : -12.5e3));
            ASSERT_TRUE(insert.endRow().ok());
        }
        ASSERT_TRUE(insert.flush().ok());
    }
    ASSERT_TRUE(admin.commit().ok());
    Query q(admin, QStringLiteral("SELECT Channel1, zero1 FROM `7` ORDER BY DateTimeKey"));
    QStringList channels;
    QVariantList loads;
    while (q.next()) {
        channels << q.text(0);
        loads << q.value(1);
    }
    EXPECT_EQ(channels, (QStringList{QStringLiteral("a\tb"), QStringLiteral("line\nbreak\r"),
                                     QStringLiteral("back\\slash \\N"), QString()}));
    EXPECT_EQ(loads, (QVariantList{0.1, -12500.0, -12500.0, QVariant()}));
}

// The server's texts end at a NUL character: a text holding one is refused whole, bound or
// streamed, never stored cut short.
TEST_F(PreparedServerDatabase, ATextWithANulCharacterIsRefusedNotCut) {
    ASSERT_TRUE(admin.execute(sql::newReadingsTable(QStringLiteral("7"))).ok());
    const QString nul = QStringLiteral("12.5") + QChar(u'\0') + QStringLiteral("junk");
    Query bound(admin, QStringLiteral("INSERT INTO `7` (DateTimeKey, Channel1) VALUES ('a', ?1)"));
    bound.bind(1, nul);
    const Status refused = bound.run();
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().description,
              "A text holds a NUL character (code 0), which the site server cannot store; "
              "nothing of it was written");
    ASSERT_TRUE(admin.begin().ok());
    {
        ChunkedInsert insert(admin, QStringLiteral("INSERT INTO `7` (DateTimeKey, Channel1)"), 2);
        ASSERT_TRUE(insert.prepared().ok());
        const QByteArray text = nul.toUtf8();
        insert.text(0, "b", 1);
        insert.text(1, text.constData(), text.size());
        EXPECT_EQ(insert.endRow().error().number, err::TypeMismatch);
    }
    admin.rollback();
    EXPECT_EQ(count(QStringLiteral("`7`")), 0);
}

TEST_F(PreparedServerDatabase, AUserWhoMayOnlyReadOpensItReadOnlyAndEveryWriteIsRefused) {
    const QString reader = QStringLiteral("rv_reader_%1").arg(QCoreApplication::applicationPid());
    (void)admin.engine()->execute(QStringLiteral("CREATE ROLE ") + reader +
                                  QStringLiteral(" LOGIN"));
    ASSERT_TRUE(
        admin.engine()
            ->execute(QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO ") + reader)
            .ok());
    Connection c;
    ASSERT_TRUE(c.openServer(conninfo + QStringLiteral(" user=") + reader).ok());
    EXPECT_TRUE(c.readOnly());
    EXPECT_TRUE(admin.onServer());
    EXPECT_FALSE(admin.readOnly());
    Query prefs(c, QStringLiteral("SELECT MaxY FROM Prefs"));
    ASSERT_TRUE(prefs.next());
    EXPECT_EQ(prefs.real(0), 20.0);
    const Status refused = c.execute(QStringLiteral("UPDATE Prefs SET MaxY = 30"));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().number, err::WriteRefused);
    Query after(admin, QStringLiteral("SELECT MaxY FROM Prefs"));
    ASSERT_TRUE(after.next());
    EXPECT_EQ(after.real(0), 20.0);
}

TEST_F(PreparedServerDatabase, WorkCutOffByTheServerIsRolledBackAndTheNextStatementConnectsAgain) {
    Connection c;
    ASSERT_TRUE(c.openServer(conninfo).ok());
    Query pid(c, QStringLiteral("SELECT pg_backend_pid()"));
    ASSERT_TRUE(pid.next());
    ASSERT_TRUE(c.begin().ok());
    ASSERT_TRUE(c.execute(QStringLiteral("INSERT INTO Prefs (MaxY) VALUES (99)")).ok());
    Query cut(admin, QStringLiteral("SELECT pg_terminate_backend(?1)"));
    cut.bindInt64(1, pid.int64(0));
    ASSERT_TRUE(cut.next());
    const Status lost = c.execute(QStringLiteral("INSERT INTO Prefs (MaxY) VALUES (98)"));
    ASSERT_FALSE(lost.ok());
    EXPECT_EQ(lost.error().number, err::ConnectionLost);
    EXPECT_TRUE(lost.error().description.startsWith(
        QStringLiteral("The connection to the site server was lost: ")))
        << lost.error().description.toStdString();
    // Until the transaction is ended, its statements are never sent on a new connection,
    // where each would be stored on its own.
    EXPECT_EQ(c.execute(QStringLiteral("INSERT INTO Prefs (MaxY) VALUES (96)")).error().number,
              err::ConnectionLost);
    c.rollback();
    EXPECT_EQ(count(QStringLiteral("Prefs")), 1) << "nothing of the cut-off work is stored";
    ASSERT_TRUE(c.execute(QStringLiteral("INSERT INTO Prefs (MaxY) VALUES (97)")).ok());
    EXPECT_EQ(count(QStringLiteral("Prefs")), 2);
}

// A database prepared before the server kept who changed its rows gains that record when
// its owner opens it; a deletion forgets what is older than 30 days and keeps the rest.
TEST_F(PreparedServerDatabase, AnOlderDatabaseGainsTheRecordOfChangesAndDeletionsPruneIt) {
    ASSERT_TRUE(admin.execute(QStringLiteral("DROP FUNCTION rv_note_row_changes() CASCADE")).ok());
    ASSERT_TRUE(admin.execute(QStringLiteral("DROP TABLE rv_row_changes")).ok());
    ASSERT_TRUE(admin
                    .execute(QStringLiteral("INSERT INTO Sensors (InstrumentID) VALUES "
                                            "('200525001'), ('200525002'), ('200525003')"))
                    .ok());
    ASSERT_FALSE(admin.engine()->keepsRowChanges().value());

    Connection opened;
    ASSERT_TRUE(opened.openServer(conninfo).ok());
    ASSERT_TRUE(opened.engine()->keepsRowChanges().value());
    ASSERT_TRUE(admin
                    .execute(QStringLiteral("UPDATE Sensors SET Model = 'X' WHERE InstrumentID "
                                            "= '200525001'"))
                    .ok());
    EXPECT_EQ(count(QStringLiteral("rv_row_changes")), 1);
    const Status older = admin.execute(
        QStringLiteral("INSERT INTO rv_row_changes VALUES ('sensors', -1, 'old', now() - interval "
                       "'31 days', 'f'), ('sensors', -2, 'recent', now() - interval '29 days', "
                       "'f')"));
    ASSERT_TRUE(older.ok()) << older.error().description.toStdString();
    ASSERT_TRUE(
        admin.execute(QStringLiteral("DELETE FROM Sensors WHERE InstrumentID = '200525002'")).ok());
    Query left(admin, QStringLiteral("SELECT string_agg(changed_by || '/' || deleted::text, ' ' "
                                     "ORDER BY row_id) FROM rv_row_changes"));
    ASSERT_TRUE(left.next());
    const QString me = admin.userName();
    EXPECT_EQ(left.text(0), QStringLiteral("recent/false %1/false %1/true").arg(me));
}

} // namespace
