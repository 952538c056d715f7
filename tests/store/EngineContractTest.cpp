// What every database engine behind the store promises, written once and run on each
// engine in kEngines. A new engine adds its line there.
#include "store/Engine.h"
#include "store/PgEngine.h"
#include "store/SqliteEngine.h"
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace rv;

namespace {

struct EngineCase {
    const char* name;
    DatabaseEngine& (*engine)();
    // Spoils a closed database so that a check must find it damaged.
    void (*damage)(const QString& location);
    // Where the database called name lives: a file in folder, or a database on a server
    // (tag makes the name the test's own).
    QString (*locate)(const QString& folder, const QString& tag, const char* name);
    // Why the engine cannot be tried here; empty when it can.
    QString (*unavailable)();
    bool files;            // databases are files: copied, checked, compacted
    bool typelessColumns;  // a column holds a value of any kind
    bool rowNumbers;       // every row has a number that its insert answers
    bool programFunctions; // the program's functions run inside statements
};

void PrintTo(const EngineCase& c, std::ostream* os) {
    *os << c.name;
}

void overwriteLastPages(const QString& path) {
    QFile f(path);
    if (f.open(QIODevice::ReadWrite) && f.seek(f.size() - 2 * 4096))
        f.write(QByteArray(2 * 4096, char(0x5a)));
}

QString fileIn(const QString& folder, const QString&, const char* name) {
    return folder + QStringLiteral("/") + QString::fromUtf8(name);
}

QString noReason() {
    return QString();
}

// A database of its own on the throwaway server ROCKVANE_TEST_PG names.
QString databaseOnTestServer(const QString&, const QString& tag, const char* name) {
    return qEnvironmentVariable("ROCKVANE_TEST_PG") + QStringLiteral(" dbname=rv_") + tag + u'_' +
           QString::fromUtf8(name).replace(u'.', u'_');
}

QString noTestServer() {
    return qEnvironmentVariableIsEmpty("ROCKVANE_TEST_PG")
               ? QStringLiteral("ROCKVANE_TEST_PG (the connection string of a throwaway "
                                "server's database) is not set; ./test.sh starts one")
               : QString();
}

const EngineCase kEngines[] = {
    {"SQLite", &sqliteEngine, &overwriteLastPages, &fileIn, &noReason, true, true, true, true},
    {"PostgreSQL", &postgresEngine, nullptr, &databaseOnTestServer, &noTestServer, false, false,
     false, false},
};

class EngineContract : public ::testing::TestWithParam<EngineCase> {
protected:
    void SetUp() override {
        if (const QString why = GetParam().unavailable(); !why.isEmpty())
            GTEST_SKIP() << why.toStdString();
    }
    DatabaseEngine& engine() { return GetParam().engine(); }
    QString location(const char* name) { return GetParam().locate(tmp.path(), tag, name); }
    // A new database holding table R (id, load, note) with n rows: id i, load i + 0.5,
    // note "row i".
    std::unique_ptr<EngineConnection> freshDatabase(const char* name, int n = 0) {
        auto created = engine().create(location(name));
        EXPECT_TRUE(created.ok()) << created.error().description.toStdString();
        if (!created.ok()) return nullptr;
        auto c = std::move(created).value();
        EXPECT_TRUE(c->execute(QStringLiteral("CREATE TABLE r (id INTEGER, load DOUBLE, note "
                                              "TEXT)"))
                        .ok());
        if (n > 0) {
            auto bulk = need(c->bulkWrite(QStringLiteral("INSERT INTO R VALUES (?1, ?2, ?3)")));
            for (int i = 1; i <= n; ++i) {
                bulk->row().bindInt64(1, i);
                bulk->row().bindDouble(2, i + 0.5);
                bulk->row().bindText(3, QStringLiteral("row %1").arg(i));
                EXPECT_TRUE(bulk->add().ok());
            }
            EXPECT_TRUE(bulk->finish().ok());
        }
        return c;
    }
    // Names this test's databases apart from every other's on the same server.
    const QString tag = QStringLiteral("%1_%2").arg(QCoreApplication::applicationPid()).arg(++made);
    static inline int made = 0;
    // The first column of every row of sql, as text ("null" for Null).
    static QStringList column(EngineConnection& c, const QString& sql) {
        QStringList values;
        auto q = need(c.prepare(sql));
        while (q->step() == EngineStatement::Step::Row)
            values << (q->isNull(0) ? QStringLiteral("null") : q->text(0));
        return values;
    }
    static QString count(EngineConnection& c) {
        return column(c, QStringLiteral("SELECT count(*) FROM R")).value(0);
    }
    QTemporaryDir tmp;
};

TEST_P(EngineContract, ValuesComeBackAsTheyWereBoundOfTheirOwnKind) {
    if (!GetParam().typelessColumns) GTEST_SKIP() << "a column holds values of one type";
    auto c = freshDatabase("values.db");
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->execute(QStringLiteral("CREATE TABLE V (n INTEGER, v)")).ok());
    const struct {
        QVariant bound;
        ValueKind kind;
        QVariant read;
    } cases[] = {
        {QVariant(12.345), ValueKind::Real, QVariant(12.345)},
        {QVariant(-0.001), ValueKind::Real, QVariant(-0.001)},
        {QVariant(QStringLiteral("ERR")), ValueKind::Text, QVariant(QStringLiteral("ERR"))},
        {QVariant(QStringLiteral("")), ValueKind::Text, QVariant(QStringLiteral(""))},
        {QVariant(QStringLiteral("Ünïcode ±")), ValueKind::Text,
         QVariant(QStringLiteral("Ünïcode ±"))},
        {QVariant(std::numeric_limits<qint64>::max()), ValueKind::Integer,
         QVariant(std::numeric_limits<qint64>::max())},
        {QVariant(std::numeric_limits<qint64>::min()), ValueKind::Integer,
         QVariant(std::numeric_limits<qint64>::min())},
        {QVariant(true), ValueKind::Integer, QVariant(qint64(1))},
        {QVariant(), ValueKind::Null, QVariant()},
    };
    auto insert = need(c->prepare(QStringLiteral("INSERT INTO V VALUES (?1, ?2)")));
    for (int i = 0; i < int(std::size(cases)); ++i) {
        insert->bindInt64(1, i);
        insert->bind(2, cases[i].bound);
        ASSERT_EQ(insert->step(), EngineStatement::Step::Done);
        insert->reset();
    }
    auto read = need(c->prepare(QStringLiteral("SELECT v FROM V ORDER BY n")));
    for (const auto& k : cases) {
        ASSERT_EQ(read->step(), EngineStatement::Step::Row);
        EXPECT_EQ(read->kind(0), k.kind) << k.bound.toString().toStdString();
        EXPECT_EQ(read->value(0), k.read) << k.bound.toString().toStdString();
    }
    EXPECT_EQ(read->step(), EngineStatement::Step::Done);
    // The typed reads agree with the values.
    auto typed = need(c->prepare(QStringLiteral("SELECT v FROM V WHERE n IN (0, 2, 3, 8) "
                                                "ORDER BY n")));
    ASSERT_EQ(typed->step(), EngineStatement::Step::Row);
    EXPECT_EQ(typed->real(0), 12.345);
    ASSERT_EQ(typed->step(), EngineStatement::Step::Row);
    EXPECT_EQ(typed->text(0), QStringLiteral("ERR"));
    EXPECT_EQ(typed->bytes(0), QByteArrayView("ERR"));
    ASSERT_EQ(typed->step(), EngineStatement::Step::Row);
    EXPECT_FALSE(typed->isNull(0)) << "an empty text is not Null";
    ASSERT_EQ(typed->step(), EngineStatement::Step::Row);
    EXPECT_TRUE(typed->isNull(0));
}

TEST_P(EngineContract, ValuesOfTypedColumnsComeBackAsTheyWereBoundOfTheColumnsKind) {
    auto c = freshDatabase("typed.db");
    ASSERT_TRUE(c);
    ASSERT_TRUE(
        c->execute(QStringLiteral("CREATE TABLE T (n INTEGER, i BIGINT, d DOUBLE, t TEXT)")).ok());
    const qint64 most = std::numeric_limits<qint64>::max();
    const qint64 least = std::numeric_limits<qint64>::min();
    auto insert = need(c->prepare(QStringLiteral("INSERT INTO T VALUES (?, ?, ?, ?)")));
    const QVariant rows[][3] = {
        {QVariant(most), QVariant(12.345), QVariant(QStringLiteral("Ünïcode ±"))},
        {QVariant(least), QVariant(-0.001), QVariant(QStringLiteral(""))},
        {QVariant(true), QVariant(1e300), QVariant(QStringLiteral("it's `x` ?"))},
        {QVariant(), QVariant(), QVariant()},
    };
    for (int n = 0; n < int(std::size(rows)); ++n) {
        insert->bindInt64(1, n);
        for (int i = 0; i < 3; ++i)
            insert->bind(i + 2, rows[n][i]);
        ASSERT_EQ(insert->step(), EngineStatement::Step::Done) << n;
        insert->reset();
    }
    auto read = need(c->prepare(QStringLiteral("SELECT i, d, t FROM T ORDER BY n")));
    const QVariant expected[][3] = {
        {QVariant(most), QVariant(12.345), QVariant(QStringLiteral("Ünïcode ±"))},
        {QVariant(least), QVariant(-0.001), QVariant(QStringLiteral(""))},
        {QVariant(qint64(1)), QVariant(1e300), QVariant(QStringLiteral("it's `x` ?"))},
        {QVariant(), QVariant(), QVariant()},
    };
    const ValueKind kinds[] = {ValueKind::Integer, ValueKind::Real, ValueKind::Text};
    for (int n = 0; n < int(std::size(expected)); ++n) {
        ASSERT_EQ(read->step(), EngineStatement::Step::Row) << n;
        CellView cells[3];
        read->readRow(cells, 3);
        for (int i = 0; i < 3; ++i) {
            const ValueKind kind = n == 3 ? ValueKind::Null : kinds[i];
            EXPECT_EQ(read->kind(i), kind) << n << "," << i;
            EXPECT_EQ(cells[i].kind, kind) << n << "," << i;
            EXPECT_EQ(read->value(i), expected[n][i]) << n << "," << i;
        }
        if (n == 1) {
            EXPECT_EQ(cells[0].integer, least);
            EXPECT_EQ(cells[1].real, -0.001);
            EXPECT_EQ(cells[2].length, 0);
            EXPECT_FALSE(read->isNull(2)) << "an empty text is not Null";
        }
    }
    EXPECT_EQ(read->step(), EngineStatement::Step::Done);
}

// A number column holds no NaN (it is Null) and no zero with a sign, however the number is
// written: by a statement, or by the engine's stream of rows where it has one.
TEST_P(EngineContract, ANaNIsNullAndAZeroHasNoSign) {
    auto c = freshDatabase("nan.db");
    ASSERT_TRUE(c);
    auto insert = need(c->prepare(QStringLiteral("INSERT INTO R (id, load) VALUES (?1, ?2)")));
    const double written[] = {std::numeric_limits<double>::quiet_NaN(), -0.0};
    for (int i = 0; i < 2; ++i) {
        insert->bindInt64(1, i + 1);
        insert->bindDouble(2, written[i]);
        ASSERT_EQ(insert->step(), EngineStatement::Step::Done) << i;
        insert->reset();
    }
    ASSERT_TRUE(c->begin().ok());
    if (auto stream = need(c->streamRows(QStringLiteral("INSERT INTO R (id, load)")))) {
        for (int i = 0; i < 2; ++i) {
            stream->integer(i + 3);
            stream->real(written[i]);
            ASSERT_TRUE(stream->endRow().ok());
        }
        ASSERT_TRUE(stream->finish().ok());
    }
    ASSERT_TRUE(c->commit().ok());
    auto read = need(c->prepare(QStringLiteral("SELECT load FROM R ORDER BY id")));
    for (int row = 0; read->step() == EngineStatement::Step::Row; ++row) {
        EXPECT_EQ(read->kind(0), row % 2 ? ValueKind::Real : ValueKind::Null) << row;
        EXPECT_FALSE(std::signbit(read->real(0))) << row;
    }
}

TEST_P(EngineContract, ARolledBackTransactionLeavesNothingAndACommittedOneKeepsAll) {
    auto c = freshDatabase("tx.db");
    ASSERT_TRUE(c);
    c->rollback(); // none open: nothing happens
    ASSERT_TRUE(c->begin().ok());
    EXPECT_TRUE(c->inTransaction());
    ASSERT_TRUE(c->execute(QStringLiteral("INSERT INTO R VALUES (1, 1.5, 'a')")).ok());
    c->rollback();
    EXPECT_FALSE(c->inTransaction());
    EXPECT_EQ(count(*c), QStringLiteral("0"));
    ASSERT_TRUE(c->begin().ok());
    ASSERT_TRUE(c->execute(QStringLiteral("INSERT INTO R VALUES (1, 1.5, 'a'); INSERT INTO R "
                                          "VALUES (2, 2.5, 'b')"))
                    .ok());
    ASSERT_TRUE(c->commit().ok());
    EXPECT_FALSE(c->inTransaction());
    EXPECT_EQ(count(*c), QStringLiteral("2"));
}

TEST_P(EngineContract, ARealReadAsAnIntegerIsItsWholePartHeldToTheRange) {
    auto c = freshDatabase("whole.db");
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->execute(QStringLiteral("CREATE TABLE W (n INTEGER, d DOUBLE)")).ok());
    const struct {
        double stored;
        qint64 whole;
    } cases[] = {
        {4.5, 4},
        {-4.5, -4},
        {0.999, 0},
        {1e300, std::numeric_limits<qint64>::max()},
        {-1e300, std::numeric_limits<qint64>::min()},
    };
    auto insert = need(c->prepare(QStringLiteral("INSERT INTO W VALUES (?1, ?2)")));
    for (int n = 0; n < int(std::size(cases)); ++n) {
        insert->bindInt64(1, n);
        insert->bindDouble(2, cases[n].stored);
        ASSERT_EQ(insert->step(), EngineStatement::Step::Done);
        insert->reset();
    }
    auto read = need(c->prepare(QStringLiteral("SELECT d FROM W ORDER BY n")));
    for (const auto& k : cases) {
        ASSERT_EQ(read->step(), EngineStatement::Step::Row);
        EXPECT_EQ(read->int64(0), k.whole) << k.stored;
    }
}

TEST_P(EngineContract, ACommitAfterAFailedStatementTellsWhetherTheRowsWereKept) {
    auto c = freshDatabase("spoiled.db");
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->begin().ok());
    ASSERT_TRUE(c->execute(QStringLiteral("INSERT INTO R VALUES (1, 1.5, 'a')")).ok());
    EXPECT_FALSE(c->execute(QStringLiteral("INSERT INTO Nowhere VALUES (1)")).ok());
    // An engine may go on with the transaction or give it up, but never report a commit
    // that kept nothing.
    const bool committed = c->commit().ok();
    c->rollback();
    EXPECT_FALSE(c->inTransaction());
    EXPECT_EQ(count(*c), committed ? QStringLiteral("1") : QStringLiteral("0"));
}

TEST_P(EngineContract, ABulkWriteKeepsEveryRowWhenFinishedAndNoneWhenAbandoned) {
    auto c = freshDatabase("bulk.db", 5000);
    ASSERT_TRUE(c);
    EXPECT_EQ(column(*c, QStringLiteral("SELECT note FROM R WHERE id IN (1, 5000) ORDER BY id")),
              (QStringList{QStringLiteral("row 1"), QStringLiteral("row 5000")}));
    EXPECT_EQ(column(*c, QStringLiteral("SELECT load FROM R WHERE id = 5000")),
              QStringList{QStringLiteral("5000.5")});
    {
        auto abandoned = need(c->bulkWrite(QStringLiteral("INSERT INTO R (id) VALUES (?1)")));
        abandoned->row().bindInt64(1, 9);
        ASSERT_TRUE(abandoned->add().ok());
    }
    EXPECT_FALSE(c->inTransaction());
    EXPECT_EQ(count(*c), QStringLiteral("5000"));
}

TEST_P(EngineContract, ChangesCountTheLastStatementsRowsAndInsertsTellTheirRowNumber) {
    auto c = freshDatabase("changes.db", 3);
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->execute(QStringLiteral("UPDATE R SET note = 'x' WHERE id >= 2")).ok());
    EXPECT_EQ(c->changes(), 2);
    EXPECT_EQ(column(*c, QStringLiteral("SELECT id FROM R WHERE id >= 1")).size(), 3);
    EXPECT_EQ(c->changes(), 2) << "preparing and reading rows change none";
    ASSERT_TRUE(c->execute(QStringLiteral("DELETE FROM R WHERE id = 99")).ok());
    EXPECT_EQ(c->changes(), 0);
    const qint64 before = c->totalChanges();
    ASSERT_TRUE(c->execute(QStringLiteral("INSERT INTO R VALUES (4, 4.5, 'row 4')")).ok());
    EXPECT_EQ(c->changes(), 1);
    EXPECT_EQ(c->totalChanges(), before + 1);
    if (GetParam().rowNumbers) {
        EXPECT_EQ(c->lastInsertId(), 4) << "the rows before it were numbered 1 to 3";
    }
}

TEST_P(EngineContract, AStatementKeptAfterItsConnectionClosedNeverCrashes) {
    auto c = freshDatabase("kept.db", 2);
    ASSERT_TRUE(c);
    auto kept = need(c->prepare(QStringLiteral("SELECT note FROM R ORDER BY id")));
    c.reset();
    // An engine may still answer from the statement or refuse it: either way, no crash.
    const EngineStatement::Step step = kept->step();
    if (step == EngineStatement::Step::Row) {
        EXPECT_EQ(kept->text(0), QStringLiteral("row 1"));
    } else {
        EXPECT_EQ(step, EngineStatement::Step::Failed);
        EXPECT_FALSE(kept->error().description.isEmpty());
    }
    kept.reset();
}

TEST_P(EngineContract, AMissingDatabaseIsRefusedAndNotMade) {
    const QString missing = location("missing.db");
    for (auto mode : {DatabaseEngine::Mode::ReadWrite, DatabaseEngine::Mode::ReadOnly}) {
        EXPECT_FALSE(engine().open(missing, mode, 100).ok());
        EXPECT_FALSE(QFileInfo::exists(missing));
    }
    ASSERT_TRUE(freshDatabase("twice.db"));
    EXPECT_FALSE(engine().create(location("twice.db")).ok()) << "create never replaces";
}

TEST_P(EngineContract, AReadOnlyConnectionRefusesWritesAndKeepsTheRows) {
    freshDatabase("ro.db", 2);
    auto c = need(engine().open(location("ro.db"), DatabaseEngine::Mode::ReadOnly, 100));
    EXPECT_TRUE(c->readOnly());
    EXPECT_FALSE(c->execute(QStringLiteral("DELETE FROM R")).ok());
    EXPECT_EQ(count(*c), QStringLiteral("2"));
    auto rw = need(engine().open(location("ro.db"), DatabaseEngine::Mode::ReadWrite, 100));
    EXPECT_FALSE(rw->readOnly());
    EXPECT_TRUE(rw->describe().startsWith(engine().name() + QStringLiteral(" ")));
}

TEST_P(EngineContract, TablesAndColumnsAreTheProgramsOwnInTheirOrder) {
    auto c = freshDatabase("tables.db", 3);
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->execute(QStringLiteral("CREATE TABLE `Alpha` (`Zeta` TEXT, `alpha` DOUBLE, "
                                          "`Mid` INTEGER); CREATE INDEX AlphaMid ON `Alpha` "
                                          "(`Mid`); ANALYZE"))
                    .ok());
    EXPECT_EQ(need(c->tables()), (QStringList{QStringLiteral("Alpha"), QStringLiteral("r")}));
    QStringList described;
    for (const EngineColumn& col : need(c->columns(QStringLiteral("Alpha"))))
        described << col.name + QStringLiteral(" ") + col.declaredType;
    EXPECT_EQ(described, (QStringList{QStringLiteral("Zeta TEXT"), QStringLiteral("alpha DOUBLE"),
                                      QStringLiteral("Mid INTEGER")}));
    EXPECT_TRUE(need(c->columns(QStringLiteral("Nowhere"))).empty());
}

TEST_P(EngineContract, FunctionsOfTheProgramAnswer) {
    auto c = freshDatabase("functions.db", 3);
    ASSERT_TRUE(c);
    if (!GetParam().programFunctions) {
        const Status refused = c->defineFunction(QStringLiteral("rv_twice"), 1, true,
                                                 [](FunctionCall& call) { call.answerNull(); });
        ASSERT_FALSE(refused.ok());
        EXPECT_EQ(refused.error().description,
                  QStringLiteral("The program's function rv_twice is not available on a site "
                                 "server"));
        return;
    }
    ASSERT_TRUE(c->defineFunction(QStringLiteral("rv_twice"), 1, true, [](FunctionCall& call) {
                     if (call.kind(0) == ValueKind::Null)
                         call.answerNull();
                     else
                         call.answerDouble(call.real(0) * 2);
                 }).ok());
    auto twice = need(c->prepare(QStringLiteral("SELECT rv_twice(load) FROM R ORDER BY id")));
    for (double expected : {3.0, 5.0, 7.0}) {
        ASSERT_EQ(twice->step(), EngineStatement::Step::Row);
        EXPECT_EQ(twice->real(0), expected);
    }
    twice.reset();
    EXPECT_EQ(column(*c, QStringLiteral("SELECT rv_twice(NULL)")), QStringList{"null"});
    ASSERT_TRUE(c->defineFunction(QStringLiteral("rv_twice"), 1, true, {}).ok());
    EXPECT_FALSE(c->prepare(QStringLiteral("SELECT rv_twice(1)")).ok()) << "removed";
}

TEST_P(EngineContract, TheProgressCallbackCanStopAStatement) {
    auto c = freshDatabase("progress.db", 3);
    ASSERT_TRUE(c);
    int asked = 0;
    c->setProgressHandler(100, [&] { return ++asked < 3; });
    EXPECT_FALSE(c->execute(QStringLiteral("WITH RECURSIVE k(n) AS (SELECT 1 UNION ALL SELECT "
                                           "n + 1 FROM k WHERE n < 10000000) SELECT count(*) "
                                           "FROM k"))
                     .ok());
    EXPECT_EQ(asked, 3);
    c->setProgressHandler(100, {});
    EXPECT_EQ(count(*c), QStringLiteral("3"));
}

TEST_P(EngineContract, AStreamedAnswerGivesEveryRowAndLeftHalfWayFreesTheConnection) {
    auto c = freshDatabase("stream.db", 1000);
    ASSERT_TRUE(c);
    const QString byId = QStringLiteral("SELECT id, load, note FROM R ORDER BY id");
    {
        auto q = need(c->prepare(byId));
        q->streamAnswer();
        QStringList ends;
        int rows = 0;
        while (q->step() == EngineStatement::Step::Row) {
            if (++rows == 1 || rows == 1000)
                ends << QStringLiteral("%1 %2 %3").arg(q->int64(0)).arg(q->real(1)).arg(q->text(2));
        }
        EXPECT_EQ(rows, 1000);
        EXPECT_EQ(ends, (QStringList{"1 1.5 row 1", "1000 1000.5 row 1000"}));
        // Run again from the start.
        q->reset();
        ASSERT_EQ(q->step(), EngineStatement::Step::Row);
        EXPECT_EQ(q->int64(0), 1);
        // Left after one row: the connection answers the next statement.
    }
    EXPECT_EQ(count(*c), QStringLiteral("1000"));
    // A row that fails half-way through ends the answer with the failure, not a short
    // answer taken as whole.
    auto failing = need(c->prepare(QStringLiteral("SELECT id, 1 / (id - 600) FROM R ORDER BY id")));
    failing->streamAnswer();
    int before = 0;
    EngineStatement::Step last;
    while ((last = failing->step()) == EngineStatement::Step::Row)
        ++before;
    if (GetParam().files) {
        EXPECT_EQ(last, EngineStatement::Step::Done) << "a file divides by zero as Null";
    } else {
        EXPECT_EQ(last, EngineStatement::Step::Failed);
        EXPECT_LT(before, 600);
        EXPECT_TRUE(failing->error().description.contains(QStringLiteral("division by zero")))
            << failing->error().description.toStdString();
    }
    EXPECT_EQ(count(*c), QStringLiteral("1000"));
}

TEST_P(EngineContract, TheCopyOutTheCheckAndTheCompactionKeepEveryRow) {
    if (!GetParam().files) {
        EXPECT_EQ(engine().compactInto(location("a"), location("b"), 100).error().description,
                  QStringLiteral("Compacting the database file is not available on a site "
                                 "server"));
        GTEST_SKIP() << "a database on a server is no file";
    }
    auto c = freshDatabase("source.db", 3000);
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->execute(QStringLiteral("DELETE FROM R WHERE id > 1500")).ok());
    ASSERT_TRUE(c->copyTo(location("copy.db"), 100).ok());
    EXPECT_EQ(count(*c), QStringLiteral("1500")) << "the connection goes on";
    ASSERT_TRUE(engine().compactInto(location("source.db"), location("compact.db"), 100).ok());
    for (const char* name : {"copy.db", "compact.db"}) {
        for (auto depth : {DatabaseCheckDepth::Quick, DatabaseCheckDepth::Full})
            EXPECT_EQ(need(engine().checkFile(location(name), depth, 100)).findings,
                      QStringList{QStringLiteral("ok")})
                << name;
        auto copy = need(engine().open(location(name), DatabaseEngine::Mode::ReadOnly, 100));
        EXPECT_EQ(column(*copy, QStringLiteral("SELECT note FROM R WHERE id IN (1, 1500) ORDER "
                                               "BY id")),
                  (QStringList{QStringLiteral("row 1"), QStringLiteral("row 1500")}))
            << name;
        EXPECT_EQ(count(*copy), QStringLiteral("1500")) << name;
    }
    EXPECT_LT(QFileInfo(location("compact.db")).size(), QFileInfo(location("source.db")).size());
    GetParam().damage(location("compact.db"));
    for (auto depth : {DatabaseCheckDepth::Quick, DatabaseCheckDepth::Full}) {
        const auto check = engine().checkFile(location("compact.db"), depth, 100);
        EXPECT_TRUE(!check.ok() || check.value().findings != QStringList{QStringLiteral("ok")});
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineContract, ::testing::ValuesIn(kEngines),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
