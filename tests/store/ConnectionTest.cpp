// Opening the database file: only an existing, readable database opens, and opening
// never creates or changes a file.
#include "store/Connection.h"
#include "data/ShippedDatabase.h"
#include "store/NotesColumns.h"
#include "store/Provisioning.h"
#include "tests/support/DataFolder.h"
#include <QCryptographicHash>
#include <QFile>

using namespace rv;
using namespace rv::test;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

using ConnectionTest = DataFolderTest;

TEST_F(ConnectionTest, AMissingFileIsNeverCreated) {
    Connection c;
    const QString missing = dataFolder + QStringLiteral("/missing.mdb");
    const Status s = c.open(missing);
    EXPECT_FALSE(s.ok());
    EXPECT_FALSE(c.isOpen());
    EXPECT_FALSE(QFile::exists(missing));
}

TEST_F(ConnectionTest, ItNamesItsEngineAndFileWhileOpen) {
    Connection c;
    EXPECT_EQ(c.describe(), QString());
    ASSERT_TRUE(c.open(databasePath).ok());
    EXPECT_EQ(c.describe(), QStringLiteral("SQLite file ") + databasePath);
    c.close();
    EXPECT_EQ(c.describe(), QString());
}

TEST_F(ConnectionTest, RandomBytesAreNotADatabase) {
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(char((i * 7919) % 251));
    writeFile(databasePath, junk);
    Connection c;
    const Status s = c.open(databasePath);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.error().number, 26);
    EXPECT_FALSE(c.isOpen());
    EXPECT_EQ(digest(databasePath), QCryptographicHash::hash(junk, QCryptographicHash::Sha256));
}

TEST_F(ConnectionTest, AnEmptyFileOpensButHasNoTables) {
    writeFile(databasePath, QByteArray());
    Connection c;
    ASSERT_TRUE(c.open(databasePath).ok());
    Recordset rs;
    EXPECT_FALSE(
        rs.open(c, QStringLiteral("SELECT * FROM Configuration ORDER BY SensorType")).ok());
    c.close();
    EXPECT_EQ(QFile(databasePath).size(), 0);
}

TEST_F(ConnectionTest, AWriteProtectedFileIsReadButNotChanged) {
    const QByteArray before = digest(databasePath);
    if (!makeDatabaseReadOnly()) GTEST_SKIP() << "the database cannot be made read-only here";
    Connection c;
    ASSERT_TRUE(c.open(databasePath).ok());
    Recordset rs;
    ASSERT_TRUE(rs.open(c, QStringLiteral("SELECT * FROM Configuration")).ok());
    EXPECT_EQ(rs.recordCount(), 1);
    EXPECT_FALSE(rs.setValue(QStringLiteral("Family"), QStringLiteral("x")).ok() &&
                 rs.update().ok());
    c.close();
    EXPECT_EQ(digest(databasePath), before);
}

TEST_F(ConnectionTest, TablesLeaveOutTheEnginesOwn) {
    Connection c;
    ASSERT_TRUE(c.open(databasePath).ok());
    const QStringList tables = c.tables().value();
    EXPECT_EQ(tables,
              (QStringList{"Configuration", "NetworkConfig", "Prefs", "Sensors", "sensordata"}));
}

TEST_F(ConnectionTest, ShippedDatabaseHoldsItsRowsAndTemplate) {
    Connection c;
    ASSERT_TRUE(c.open(databasePath).ok());
    Recordset config;
    ASSERT_TRUE(
        config.open(c, QStringLiteral("SELECT * FROM Configuration ORDER BY SensorType")).ok());
    ASSERT_EQ(config.recordCount(), 1);
    EXPECT_EQ(config.value(QStringLiteral("SensorType")).value().toString(), "25");
    EXPECT_EQ(config.value(QStringLiteral("lblNotes")).value().toString(), "Notes:");
    EXPECT_EQ(config.value(QStringLiteral("lowval")).value().toDouble(), 0.0);
    EXPECT_EQ(config.value(QStringLiteral("highval")).value().toDouble(), 300.0);
    EXPECT_EQ(config.value(QStringLiteral("tempchannel")).value(), QVariant(true));
    EXPECT_EQ(config.value(QStringLiteral("templow")).value().toDouble(), -20.0);
    EXPECT_EQ(config.value(QStringLiteral("temphigh")).value().toDouble(), 60.0);
    Recordset templ;
    ASSERT_TRUE(templ.open(c, QStringLiteral("SELECT * FROM sensordata")).ok());
    EXPECT_EQ(templ.columnNames().mid(0, 6),
              (QStringList{"DateTimeKey", "ReadingDate", "ReadingTime", "ChannelT", "Channel1",
                           "DoNotPlot"}));
    EXPECT_EQ(templ.recordCount(), 0);    EXPECT_TRUE(notesKeepText(c));
}

// A note is kept as typed. A file made before notes were declared TEXT had them read as
// numbers ("0012.50" stored as 12.5); opening it for writing makes the two tables again.
TEST_F(ConnectionTest, NotesKeepWhatIsTypedInAnOlderFileOnceItIsOpened) {
    writeFile(databasePath, QByteArray());
    execSql(QString::fromUtf8(shipped::kSchemaSql).replace("Notes TEXT", "Notes MEMO"));
    execSql("INSERT INTO Sensors (rowid, InstrumentID, Notes) VALUES (1, '001', '0012.50'), "
            "(7, '999', 'Rock bolt 3')");
    execSql("INSERT INTO NetworkConfig (SensorID, Notes) VALUES ('001', '1e3')");
    Connection c;
    const auto notes = [&](const QString& table) {
        Recordset rs;
        EXPECT_TRUE(rs.open(c, "SELECT rowid, * FROM " + table + " ORDER BY rowid").ok());
        QStringList seen;
        for (; !rs.eof(); (void)rs.moveNext())
            seen << rs.value("rowid").value().toString() + "=" +
                        rs.value("Notes").value().toString();
        return seen.join(' ').toStdString();
    };
    ASSERT_TRUE(c.open(databasePath).ok());
    EXPECT_FALSE(notesKeepText(c));
    ASSERT_TRUE(ensureTextNotes(c).ok());
    EXPECT_TRUE(notesKeepText(c));
    EXPECT_EQ(notes("Sensors"), "1=12.5 7=Rock bolt 3");
    EXPECT_EQ(notes("NetworkConfig"), "1=1000");
    Recordset rs;
    ASSERT_TRUE(rs.open(c, "SELECT * FROM Sensors ORDER BY InstrumentID").ok());
    ASSERT_TRUE(rs.setValue("Notes", "0012.50").ok() && rs.update().ok());
    EXPECT_EQ(notes("Sensors"), "1=0012.50 7=Rock bolt 3");
    EXPECT_FALSE(c.execute("INSERT INTO Sensors (InstrumentID) VALUES ('999')").ok());
}

TEST_F(ConnectionTest, ProvisioningNeverOverwrites) {
    // The fixture already made the database; add a sensor so a rewrite would show.
    execSql(QStringLiteral("INSERT INTO Sensors (InstrumentID) VALUES ('200525001')"));
    const QByteArray before = digest(databasePath);
    EXPECT_FALSE(createShippedDatabase(databasePath).ok());
    const QString manual = dataFolder + QStringLiteral("/") + kManualFileName;
    writeFile(manual, "my own manual");
    int manualsWritten = 0;
    const auto report = provisionDataFolder(dataFolder, [&](const QString&) {
        ++manualsWritten;
        return Status();
    });
    ASSERT_TRUE(report.ok());
    EXPECT_FALSE(report.value().createdFolder);
    EXPECT_FALSE(report.value().createdDatabase);
    EXPECT_FALSE(report.value().createdManual);
    EXPECT_EQ(manualsWritten, 0);
    EXPECT_EQ(digest(databasePath), before);
    QFile f(manual);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "my own manual");
}

TEST_F(ConnectionTest, ProvisioningMakesWhatIsMissing) {
    const QString fresh = tmp.path() + QStringLiteral("/Other/Brackwell/Rockvane");
    const auto report = provisionDataFolder(fresh, [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write("%PDF") == 4
                   ? Status()
                   : Status::fail(err::FileError, QStringLiteral("cannot write"));
    });
    ASSERT_TRUE(report.ok());
    EXPECT_TRUE(report.value().createdFolder);
    EXPECT_TRUE(report.value().createdDatabase);
    EXPECT_TRUE(report.value().createdManual);
    Connection c;
    EXPECT_TRUE(c.open(fresh + QStringLiteral("/") + kDatabaseFileName).ok());
    EXPECT_TRUE(QFile::exists(fresh + QStringLiteral("/") + kManualFileName));
    EXPECT_FALSE(
        QFile::exists(fresh + QStringLiteral("/") + kManualFileName + QStringLiteral(".new")));
}

} // namespace
