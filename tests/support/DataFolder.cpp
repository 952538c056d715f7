#include "tests/support/DataFolder.h"
#include "store/Module1.h"
#include "store/PgEngine.h"
#include "store/Provisioning.h"
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <sqlite3.h>

namespace rv::test {

QByteArray digest(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

std::string engineName(const ::testing::TestParamInfo<StoreEngine>& info) {
    return info.param == StoreEngine::File ? "File" : "Server";
}

QString tableCounts(Connection& c) {
    QStringList tables = need(c.tables());
    tables.sort();
    QStringList parts;
    for (const QString& t : tables) {
        Query q(c, QStringLiteral("SELECT count(*) FROM `%1`").arg(t));
        parts << t + u'=' + (q.next() ? QString::number(q.int64(0)) : QStringLiteral("?"));
    }
    return parts.join(u' ');
}

QString newServerDatabase(const QString& server) {
    static int made = 0;
    const QString conninfo =
        server +
        QStringLiteral(" dbname=rv_%1_%2").arg(QCoreApplication::applicationPid()).arg(++made);
    auto created = postgresEngine().create(conninfo);
    if (!created.ok()) {
        ADD_FAILURE() << created.error().description.toStdString();
        return {};
    }
    return conninfo;
}

void DataFolderTest::SetUp() {
    ASSERT_TRUE(tmp.isValid());
    session = std::make_unique<Session>(dialogs, clock, paths, desktop);
    if (onServer() && qEnvironmentVariableIsEmpty("ROCKVANE_TEST_PG"))
        GTEST_SKIP() << "ROCKVANE_TEST_PG is not set; ./test.sh starts a server";
    documents = tmp.path() + QStringLiteral("/Documents");
    dataFolder = documents + QStringLiteral("/Brackwell/Rockvane");
    databasePath = dataFolder + QStringLiteral("/") + kDatabaseFileName;
    ASSERT_TRUE(QDir().mkpath(dataFolder));
    paths.documents = documents;
    if (onServer()) {
        location = newServerDatabase(databaseServer());
        const Status made = provisionServerDatabase(location);
        ASSERT_TRUE(made.ok()) << made.error().description.toStdString();
    } else {
        location = databasePath;
        ASSERT_TRUE(createShippedDatabase(databasePath).ok());
    }
}

Status DataFolderTest::openDatabase(Connection& c, Connection::Mode mode) {
    return onServer() ? c.openServer(location, mode) : c.open(location, mode);
}

QString DataFolderTest::openAsAnotherEngineer(Connection& c) {
    const QString user = QStringLiteral("rv_anna_%1").arg(QCoreApplication::applicationPid());
    Connection admin;
    EXPECT_TRUE(openDatabase(admin).ok());
    if (scalar(QStringLiteral("SELECT count(*) FROM pg_roles WHERE rolname = '%1'").arg(user))
            .toInt() == 0) {
        EXPECT_TRUE(admin.execute(QStringLiteral("CREATE ROLE %1 LOGIN").arg(user)).ok());
    }
    EXPECT_TRUE(admin
                    .execute(QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES "
                                            "IN SCHEMA public TO %1")
                                 .arg(user))
                    .ok());
    EXPECT_TRUE(c.openServer(location + QStringLiteral(" user=") + user).ok());
    return user;
}

void DataFolderTest::TearDown() {
    session.reset();
    for (const QString& path : m_immutable)
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
    for (const QString& path : m_protected)
        QFile::setPermissions(path, QFileInfo(path).permissions() | QFile::WriteOwner);
    for (const Message& m : dialogs.pending())
        ADD_FAILURE() << "Message not checked by the test: \"" << m.text.toStdString()
                      << "\" titled \"" << m.title.toStdString() << "\"";
}

void DataFolderTest::setPaths() {
    session->gMakerFolder = documents + QStringLiteral("/Brackwell");
    session->gDataFolder = dataFolder;
    session->gDatabasePath = location;
}

void DataFolderTest::openStore() {
    setPaths();
    ASSERT_TRUE(openDatabase(session->gConnection).ok());
    ASSERT_TRUE(session->rsConfig.open(session->gConnection, sql::ConfigurationByType).ok());
    ASSERT_TRUE(session->rsConfig.moveFirst().ok());
    ASSERT_TRUE(session->rsSensors.open(session->gConnection, sql::SensorsByNumber).ok());
}

void DataFolderTest::execSql(const QString& sql) {
    if (onServer()) {
        Connection c;
        ASSERT_TRUE(openDatabase(c).ok());
        const Status ran = c.engine()->execute(sql);
        EXPECT_TRUE(ran.ok()) << ran.error().description.toStdString() << " in "
                              << sql.toStdString();
        return;
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(databasePath.toUtf8().constData(), &db), SQLITE_OK);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    EXPECT_EQ(rc, SQLITE_OK) << (message ? message : "") << " in " << sql.toStdString();
    sqlite3_free(message);
    sqlite3_close(db);
}

ReadingRow ReadingRow::at(const QString& id, const QString& dateTime) {
    const QString date = dateTime.left(10).replace(u'/', u'-');
    const QString time = dateTime.mid(11);
    return ReadingRow(id + u' ' + dateTime)
        .readingDate(date)
        .readingTime(time)
        .fullDate(date + u' ' + time);
}

ReadingRow& ReadingRow::set(const QString& column, const QVariant& value) {
    const qsizetype at = m_columns.indexOf(column);
    if (at >= 0) {
        m_values[std::size_t(at)] = value;
    } else {
        m_columns << column;
        m_values.push_back(value);
    }
    return *this;
}

void DataFolderTest::addReadings(const QString& id, const std::vector<ReadingRow>& rows) {
    Connection c;
    ASSERT_TRUE(openDatabase(c).ok());
    ASSERT_TRUE(c.begin().ok());
    // One statement for each run of rows that set the same columns.
    std::unique_ptr<Query> insert;
    QStringList columns;
    for (const ReadingRow& row : rows) {
        if (!insert || row.columns() != columns) {
            columns = row.columns();
            QStringList places;
            for (qsizetype i = 1; i <= columns.size(); ++i)
                places << QStringLiteral("?%1").arg(i);
            const QString sql =
                QStringLiteral("INSERT INTO `%1` (%2) VALUES (%3)")
                    .arg(id, columns.join(QStringLiteral(", ")), places.join(QStringLiteral(", ")));
            insert.reset();
            insert = std::make_unique<Query>(c, sql);
            ASSERT_TRUE(insert->prepared().ok())
                << insert->prepared().error().description.toStdString() << " in "
                << sql.toStdString();
        }
        insert->reset();
        for (std::size_t i = 0; i < row.values().size(); ++i)
            insert->bind(int(i) + 1, row.values()[i]);
        const Status written = insert->run();
        ASSERT_TRUE(written.ok()) << written.error().description.toStdString() << " writing "
                                  << row.values().front().toString().toStdString();
    }
    insert.reset();
    ASSERT_TRUE(c.commit().ok());
}

QVariant DataFolderTest::scalar(const QString& sql) {
    Connection c;
    if (!openDatabase(c, Connection::Mode::ReadOnly).ok()) return {};
    Query q(c, sql);
    if (!q.next()) return {};
    return q.value(0);
}

void DataFolderTest::addSensorRow(const QString& id, const QString& destroyed,
                                  const QString& installDate) {
    execSql(QStringLiteral("INSERT INTO Sensors (InstrumentID, DateID, SensorType, TypeID, "
                           "SensorNo, Family, Model, InstallDate, Destroyed, HeadLocation) "
                           "VALUES ('%1', '%2', '%3', '%3', '%4', 'Load Cell', 'LODIX', '%5', "
                           "'%6', 1)")
                .arg(id, id.left(4), id.mid(4, 2), id.mid(6, 3), installDate, destroyed));
    Connection c;
    ASSERT_TRUE(openDatabase(c).ok());
    const Status made = c.execute(sql::newReadingsTable(id));
    ASSERT_TRUE(made.ok()) << made.error().description.toStdString();
}

QString DataFolderTest::logText() const {
    QFile f(dataFolder + QStringLiteral("/") + kLogFileName);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromLocal8Bit(f.readAll());
}

bool DataFolderTest::makeDatabaseReadOnly() {
    return makeReadOnly(databasePath);
}

bool DataFolderTest::makeReadOnly(const QString& path) {
    const bool folder = QFileInfo(path).isDir();
    QFile::setPermissions(path, folder ? QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                             QFile::ExeGroup
                                       : QFile::ReadOwner | QFile::ReadGroup);
    m_protected << path;
    // The superuser writes through permissions: the file or folder is made immutable.
    QTemporaryFile probe(path + QStringLiteral("/probe-XXXXXX"));
    const bool writable = folder ? probe.open() : QFileInfo(path).isWritable();
    if (folder) probe.remove();
    if (!writable) return true;
    if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) != 0)
        return false;
    m_immutable << path;
    return true;
}

int DataFolderTest::logEntries() const {
    return int(logText().count(QString(89, QLatin1Char('*'))));
}

} // namespace rv::test
