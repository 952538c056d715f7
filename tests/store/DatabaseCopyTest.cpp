// Copying a whole database between two connections: every value as it was, the target's
// own data replaced or refused, and a copy that fails or is cancelled leaving the target
// as it was. Run onto a file, and onto the throwaway site server when there is one.
#include "store/DatabaseCopy.h"
#include "store/AlarmLevelsTable.h"
#include "store/ChangeHistory.h"
#include "store/Connection.h"
#include "store/ImportHistoryTable.h"
#include "store/PgEngine.h"
#include "store/Provisioning.h"
#include "store/Statements.h"
#include "tests/support/DataFolder.h"
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace rv;

namespace {

const QString kFirstKey = QStringLiteral("200525001 2020/01/01 08:00:00");
const QString kLastKey = QStringLiteral("200525001 2020/03/01 08:00:00");

void run(Connection& c, const QString& sql, const QVariantList& values = {}) {
    Query q(c, sql);
    ASSERT_TRUE(q.prepared().ok())
        << q.prepared().error().description.toStdString() << " in " << sql.toStdString();
    for (int i = 0; i < values.size(); ++i)
        q.bind(i + 1, values[i]);
    const Status s = q.run();
    ASSERT_TRUE(s.ok()) << s.error().description.toStdString() << " in " << sql.toStdString();
}

void addSensor(Connection& c, const QString& id) {
    run(c,
        QStringLiteral("INSERT INTO Sensors (InstrumentID, SensorType, Recess, HeadLocation) "
                       "VALUES (?, '25', 1.5, 1)"),
        {id});
    ASSERT_TRUE(c.execute(sql::newReadingsTable(id)).ok());
}

void addReading(Connection& c, const QString& id, const QString& key, const QVariant& load,
                const QVariant& zero, const QVariant& temperature) {
    run(c,
        QStringLiteral("INSERT INTO `%1` (DateTimeKey, ReadingDate, Channel1, zero1, NumTemp, "
                       "DoNotPlot) VALUES (?, '2020-01-01', ?, ?, ?, 0)")
            .arg(id),
        {key, load, zero, temperature});
}

// Two sensors, one with the values that must survive exactly (a text with leading zeros,
// the real 0.1, a null) in its first and last reading, alarm levels and one import.
void fillSample(Connection& c) {
    addSensor(c, QStringLiteral("200525001"));
    addSensor(c, QStringLiteral("200525002"));
    const QString one = QStringLiteral("200525001");
    addReading(c, one, kFirstKey, QStringLiteral("0012.50"), 0.1, QVariant());
    addReading(c, one, QStringLiteral("200525001 2020/02/01 08:00:00"), QStringLiteral("7"), 2.0,
               18.25);
    addReading(c, one, kLastKey, QStringLiteral("0099.90"), QVariant(), -0.1);
    addReading(c, QStringLiteral("200525002"), QStringLiteral("200525002 2020/01/05 09:00:00"),
               QVariant(), 1e-9, 20.0);
    ASSERT_TRUE(ensureAlarmTable(c).ok());
    run(c, QStringLiteral("INSERT INTO AlarmLevels (InstrumentID, AlertLoad, AlarmLoad) VALUES "
                          "('200525001', 150.5, 200)"));
    ASSERT_TRUE(ensureHistoryTables(c).ok());
    run(c, QStringLiteral("INSERT INTO ImportBatches (BatchID, InstrumentID, FileName, "
                          "ImportedAt, RowsAppended) VALUES (7, '200525001', 'a.csv', "
                          "'2020-03-02 10:00:00', 1)"));
    run(c,
        QStringLiteral("INSERT INTO ImportBatchRows (BatchID, DateTimeKey, Channel1) VALUES "
                       "(7, ?, '0099.90')"),
        {kLastKey});
    run(c, QStringLiteral("UPDATE Prefs SET MaxY = 33.3"));
    // The history of changes travels with the data: a deleted reading kept whole.
    ASSERT_TRUE(ensureChangeTables(c).ok());
    run(c, QStringLiteral("INSERT INTO ChangeActions (ActionID, InstrumentID, ChangedAt, "
                          "ChangedBy, How) VALUES (3, '200525001', '2020-03-03 11:00:00', 'jo', "
                          "'Delete readings')"));
    run(c, QStringLiteral("INSERT INTO ReadingChanges (ActionID, Kind, DateTimeKey, Channel1, "
                          "zero1, DoNotPlot) VALUES (3, 'Deleted', '200525001 2020/01/09 "
                          "08:00:00', '0042.00', 41.5, 1)"));
}

// Every program table's rows, each cell with the kind it is held as, in one text.
QString dump(Connection& c) {
    QStringList out;
    for (const QString& table : need(programTables(c))) {
        Query q(c, QStringLiteral("SELECT * FROM `%1`").arg(table));
        QStringList rows;
        while (q.next()) {
            QStringList cells;
            for (int i = 0; i < q.columnCount(); ++i) {
                QString v;
                switch (q.kind(i)) {
                case ValueKind::Null:
                    v = QStringLiteral("N");
                    break;
                case ValueKind::Integer:
                    v = QStringLiteral("I:") + QString::number(q.int64(i));
                    break;
                case ValueKind::Real:
                    v = QStringLiteral("R:") + QString::number(q.real(i), 'g', 17);
                    break;
                default:
                    v = QStringLiteral("T:") + q.text(i);
                }
                cells << q.columnName(i).toLower() + u'=' + v;
            }
            cells.sort();
            rows << cells.join(u' ');
        }
        EXPECT_TRUE(q.status().ok()) << q.status().error().description.toStdString();
        rows.sort();
        out << table + QStringLiteral(":\n  ") + rows.join(QStringLiteral("\n  "));
    }
    return out.join(u'\n');
}

enum class Engine { File, Server };

class DatabaseCopyTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        if (GetParam() == Engine::Server && qEnvironmentVariableIsEmpty("ROCKVANE_TEST_PG"))
            GTEST_SKIP() << "ROCKVANE_TEST_PG is not set; ./test.sh starts a server";
    }
    // A new, empty Rockvane database: a shipped file, or a prepared server database.
    void openNewFile(Connection& c) {
        const QString path = tmp.filePath(QStringLiteral("db%1.mdb").arg(++count));
        ASSERT_TRUE(createShippedDatabase(path).ok());
        ASSERT_TRUE(c.open(path).ok());
    }
    void openNewServerDatabase(Connection& c) {
        const QString conninfo =
            qEnvironmentVariable("ROCKVANE_TEST_PG") + QStringLiteral(" dbname=rv_copy_%1_%2")
                                                           .arg(QCoreApplication::applicationPid())
                                                           .arg(++count);
        ASSERT_TRUE(postgresEngine().create(conninfo).ok());
        const Status made = provisionServerDatabase(conninfo);
        ASSERT_TRUE(made.ok()) << made.error().description.toStdString();
        ASSERT_TRUE(c.openServer(conninfo).ok());
    }
    void openTarget(Connection& c) {
        if (GetParam() == Engine::File)
            openNewFile(c);
        else
            openNewServerDatabase(c);
    }
    void openSample(Connection& c) {
        openNewFile(c);
        fillSample(c);
    }

    QTemporaryDir tmp;
    static inline int count = 0;
};

TEST_P(DatabaseCopyTest, EveryTableArrivesWithEveryValueAsItWas) {
    Connection source, target;
    openSample(source);
    openTarget(target);
    const QByteArray before = test::digest(source.path());
    const QString sample = dump(source);

    const Result<CopyReport> copied = copyDatabase(source, target, CopyInto::NewDatabase);

    ASSERT_TRUE(copied.ok()) << copied.error().description.toStdString();
    EXPECT_EQ(dump(target), sample);
    QStringList counts;
    for (const CopiedTable& t : copied.value().tables)
        counts << QStringLiteral("%1 %2/%3").arg(t.name).arg(t.sourceRows).arg(t.targetRows);
    EXPECT_EQ(counts, QStringList({"Configuration 1/1", "Sensors 2/2", "NetworkConfig 0/0",
                                   "Prefs 1/1", "sensordata 0/0", "AlarmLevels 1/1",
                                   "ImportBatches 1/1", "ImportBatchRows 1/1", "ChangeActions 1/1",
                                   "ReadingChanges 1/1", "200525001 3/3", "200525002 1/1"}));
    EXPECT_EQ(copied.value().rows, 13);
    // The first reading, read back through the store as the program reads it.
    Query q(target, QStringLiteral("SELECT Channel1, zero1, NumTemp FROM `200525001` WHERE "
                                   "DateTimeKey = ?"));
    q.bind(1, kFirstKey);
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.kind(0), ValueKind::Text);
    EXPECT_EQ(q.text(0), QStringLiteral("0012.50"));
    EXPECT_EQ(q.kind(1), ValueKind::Real);
    EXPECT_EQ(q.real(1), 0.1);
    EXPECT_EQ(q.kind(2), ValueKind::Null);
    source.close();
    EXPECT_EQ(test::digest(source.path()), before);
}

TEST_P(DatabaseCopyTest, AReplacedDatabaseLosesTheSensorsTheCopyDoesNotHave) {
    Connection source, target;
    openSample(source);
    openTarget(target);
    addSensor(target, QStringLiteral("200525009"));
    addReading(target, QStringLiteral("200525009"), QStringLiteral("200525009 2021/01/01 08:00:00"),
               QStringLiteral("1"), 0.0, 0.0);

    const Result<CopyReport> copied = copyDatabase(source, target, CopyInto::Replace);

    ASSERT_TRUE(copied.ok()) << copied.error().description.toStdString();
    EXPECT_EQ(dump(target), dump(source));
    EXPECT_FALSE(need(target.tables()).contains(QStringLiteral("200525009")));
}

TEST_P(DatabaseCopyTest, ANewDatabaseThatHoldsSensorsIsRefusedUntouched) {
    Connection source, target;
    openSample(source);
    openTarget(target);
    addSensor(target, QStringLiteral("200525009"));
    const QString before = dump(target);

    const Result<CopyReport> copied = copyDatabase(source, target, CopyInto::NewDatabase);

    ASSERT_FALSE(copied.ok());
    EXPECT_EQ(copied.error().number, err::CopyRefused);
    EXPECT_EQ(copied.error().description,
              QStringLiteral("The database to copy into already holds data (the table Sensors "
                             "has 1 rows)"));
    EXPECT_EQ(dump(target), before);
}

TEST_P(DatabaseCopyTest, ACopyRefusedHalfWayLeavesTheTargetAsItWas) {
    Connection source, target;
    openSample(source);
    openTarget(target);
    addSensor(target, QStringLiteral("200525001"));
    addReading(target, QStringLiteral("200525001"), QStringLiteral("200525001 2019/01/01 08:00:00"),
               QStringLiteral("5"), 0.0, 0.0);
    // The target's readings table refuses the source's last reading.
    if (GetParam() == Engine::File)
        run(target, QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON `200525001` WHEN "
                                   "NEW.DateTimeKey = '%1' BEGIN SELECT RAISE(ABORT, 'refused'); "
                                   "END")
                        .arg(kLastKey));
    else
        run(target, QStringLiteral("ALTER TABLE `200525001` ADD CONSTRAINT refuse CHECK "
                                   "(`DateTimeKey` <> '%1')")
                        .arg(kLastKey));
    const QString before = dump(target);

    const Result<CopyReport> copied = copyDatabase(source, target, CopyInto::Replace);

    ASSERT_FALSE(copied.ok());
    EXPECT_TRUE(
        copied.error().description.startsWith(QStringLiteral("Copying the table 200525001: ")))
        << copied.error().description.toStdString();
    EXPECT_FALSE(target.inTransaction());
    EXPECT_EQ(dump(target), before);
}

TEST_P(DatabaseCopyTest, ProgressCountsEveryRowAndACancelLeavesTheTargetAsItWas) {
    Connection source, target;
    openSample(source);
    openTarget(target);
    std::vector<std::pair<qint64, qint64>> seen;
    ASSERT_TRUE(copyDatabase(source, target, CopyInto::NewDatabase, [&](qint64 done, qint64 all) {
                    seen.emplace_back(done, all);
                    return true;
                }).ok());
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), std::make_pair(qint64(1), qint64(13))); // Configuration's one row
    EXPECT_EQ(seen.back(), std::make_pair(qint64(13), qint64(13)));

    Connection fresh;
    openTarget(fresh);
    const QString before = dump(fresh);
    const Result<CopyReport> cancelled =
        copyDatabase(source, fresh, CopyInto::NewDatabase, [](qint64, qint64) { return false; });
    ASSERT_FALSE(cancelled.ok());
    EXPECT_EQ(cancelled.error().description, QStringLiteral("The copy was cancelled"));
    EXPECT_EQ(dump(fresh), before);
}

INSTANTIATE_TEST_SUITE_P(OntoEachEngine, DatabaseCopyTest,
                         ::testing::Values(Engine::File, Engine::Server), [](const auto& info) {
                             return info.param == Engine::File ? "File" : "Server";
                         });

class FileCopyTest : public DatabaseCopyTest {};

TEST_P(FileCopyTest, AKeyTheTargetChangesOnTheWayFailsTheCopyNamingIt) {
    Connection source, target;
    openSample(source);
    openTarget(target);
    addSensor(target, QStringLiteral("200525001"));
    // As many rows arrive, but the last one under another key.
    run(target, QStringLiteral("CREATE TRIGGER shift AFTER INSERT ON `200525001` WHEN "
                               "NEW.DateTimeKey = '%1' BEGIN UPDATE `200525001` SET DateTimeKey "
                               "= DateTimeKey || 'x' WHERE rowid = NEW.rowid; END")
                    .arg(kLastKey));
    const QString before = dump(target);

    const Result<CopyReport> copied = copyDatabase(source, target, CopyInto::Replace);

    ASSERT_FALSE(copied.ok());
    EXPECT_EQ(copied.error().number, err::CopyMismatch);
    EXPECT_EQ(copied.error().description,
              QStringLiteral("The readings of the table 200525001 differ from those copied "
                             "(first at the key 200525001 2020/03/01 08:00:00)"));
    EXPECT_EQ(dump(target), before);
}

TEST_P(FileCopyTest, AValueTheNewFilesTableWouldRefuseFailsTheCopy) {
    struct Case {
        const char* column;
        QVariant value;
        QString refusal;
    };
    const Case cases[] = {
        {"zero1", QStringLiteral("abc"),
         QStringLiteral("typeof(zero1) IN ('null', 'real', 'integer')")},
        {"DoNotPlot", 5, QStringLiteral("DoNotPlot IS NULL OR DoNotPlot IN (0, 1)")},
        {"FullDate", QStringLiteral("14/03/2026"),
         QStringLiteral("FullDate IS NULL OR (typeof(FullDate) = 'text' AND FullDate GLOB "
                        "'[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*')")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        Connection source, target;
        openSample(source);
        // The source's readings table without the file's checks holds the value.
        ASSERT_TRUE(source.execute(QStringLiteral("DROP TABLE `200525002`")).ok());
        ASSERT_TRUE(source
                        .execute(QStringLiteral("CREATE TABLE `200525002` AS SELECT * FROM "
                                                "sensordata WHERE 0"))
                        .ok());
        run(source,
            QStringLiteral("INSERT INTO `200525002` (DateTimeKey, %1) VALUES ('k', ?)")
                .arg(c.column),
            {c.value});
        openTarget(target);
        const QString before = dump(target);

        const Result<CopyReport> copied = copyDatabase(source, target, CopyInto::NewDatabase);

        ASSERT_FALSE(copied.ok());
        EXPECT_EQ(copied.error().description,
                  QStringLiteral("Copying the table 200525002: CHECK constraint failed: ") +
                      c.refusal);
        EXPECT_EQ(dump(target), before);
    }
}

INSTANTIATE_TEST_SUITE_P(OntoAFile, FileCopyTest, ::testing::Values(Engine::File),
                         [](const auto&) { return "File"; });

class ServerCopyTest : public DatabaseCopyTest {};

TEST_P(ServerCopyTest, AServersDataComesBackIntoANewFileAsItWas) {
    Connection file, server, backup;
    openSample(file);
    openNewServerDatabase(server);
    ASSERT_TRUE(copyDatabase(file, server, CopyInto::NewDatabase).ok());
    openNewFile(backup);

    const Result<CopyReport> copied = copyDatabase(server, backup, CopyInto::NewDatabase);

    ASSERT_TRUE(copied.ok()) << copied.error().description.toStdString();
    EXPECT_EQ(dump(backup), dump(file));
    EXPECT_FALSE(server.inTransaction());
}

TEST_P(ServerCopyTest, TheNextImportOnTheServerIsNumberedAfterTheImportsCopied) {
    Connection file, server;
    openSample(file);
    openNewServerDatabase(server);
    ASSERT_TRUE(copyDatabase(file, server, CopyInto::NewDatabase).ok());
    ImportBatch batch;
    batch.instrumentId = QStringLiteral("200525002");
    batch.fileName = QStringLiteral("b.csv");
    const Result<qint64> id = startBatch(server, batch);
    ASSERT_TRUE(id.ok()) << id.error().description.toStdString();
    EXPECT_EQ(id.value(), 8);
}

TEST_P(ServerCopyTest, KeysOfAColumnInAnotherCollationAreComparedInByteOrder) {
    Connection file, server, backup;
    openSample(file);
    openNewServerDatabase(server);
    ASSERT_TRUE(copyDatabase(file, server, CopyInto::NewDatabase).ok());
    // In the language's order "a" comes before "B"; in byte order after it.
    for (const char* sql : {"ALTER TABLE \"200525001\" ALTER COLUMN \"DateTimeKey\" TYPE text "
                            "COLLATE \"und-x-icu\"",
                            "INSERT INTO \"200525001\" (\"DateTimeKey\") VALUES ('a'), ('B')"})
        ASSERT_TRUE(server.execute(QString::fromUtf8(sql)).ok())
            << server.lastError().description.toStdString();
    openNewFile(backup);

    const Result<CopyReport> copied = copyDatabase(server, backup, CopyInto::NewDatabase);

    ASSERT_TRUE(copied.ok()) << copied.error().description.toStdString();
}

// Two sensors whose names differ only by the case of their letters have a table each on a
// server; a file cannot hold both, and a backup that would merge them is refused.
TEST_P(ServerCopyTest, SensorsWhoseNamesDifferOnlyInCaseAreNeitherLostNorMerged) {
    Connection server, backup;
    openNewServerDatabase(server);
    for (const QString& id : {QStringLiteral("lc7"), QStringLiteral("LC7")}) {
        addSensor(server, id);
        addReading(server, id, id + QStringLiteral(" 2020/01/01 08:00:00"), id, 1.0, 1.0);
    }
    openNewFile(backup);
    const QString before = dump(backup);

    const Result<CopyReport> copied = copyDatabase(server, backup, CopyInto::NewDatabase);

    ASSERT_FALSE(copied.ok());
    EXPECT_EQ(copied.error().description,
              QStringLiteral("The tables LC7 and lc7 differ only by the case of their letters: a "
                             "database file cannot hold both"));
    EXPECT_EQ(dump(backup), before);
}

TEST_P(ServerCopyTest, ARestoredSensorsReadingsGoIntoItsOwnTableNotOneDifferingInCase) {
    Connection file, server;
    openNewFile(file);
    addSensor(file, QStringLiteral("lc7"));
    addReading(file, QStringLiteral("lc7"), QStringLiteral("lc7 2020/01/01 08:00:00"),
               QStringLiteral("7"), 1.0, 1.0);
    openNewServerDatabase(server);
    addSensor(server, QStringLiteral("LC7"));
    addSensor(server, QStringLiteral("lc7"));

    const Result<CopyReport> copied = copyDatabase(file, server, CopyInto::Replace);

    ASSERT_TRUE(copied.ok()) << copied.error().description.toStdString();
    Query q(server, QStringLiteral("SELECT DateTimeKey FROM `lc7`"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.text(0), QStringLiteral("lc7 2020/01/01 08:00:00"));
    EXPECT_FALSE(need(server.tables()).contains(QStringLiteral("LC7")));
}

// The count of other connections once it is n, or as it stands after five seconds: a
// connection just closed leaves the server's list a moment later.
int othersSettledAt(Connection& c, int n) {
    int others = -1;
    for (int i = 0; i < 50 && others != n; ++i) {
        if (i > 0) QThread::msleep(100);
        others = need(otherConnections(c));
    }
    return others;
}

TEST_P(ServerCopyTest, OtherConnectionsToTheSameDatabaseAreCounted) {
    Connection server, other, file;
    openNewServerDatabase(server);
    EXPECT_EQ(othersSettledAt(server, 0), 0);
    ASSERT_TRUE(other.openServer(server.path()).ok());
    EXPECT_EQ(need(otherConnections(server)), 1);
    openNewFile(file);
    EXPECT_EQ(need(otherConnections(file)), 0);
}

INSTANTIATE_TEST_SUITE_P(OnTheServer, ServerCopyTest, ::testing::Values(Engine::Server),
                         [](const auto&) { return "Server"; });

} // namespace
