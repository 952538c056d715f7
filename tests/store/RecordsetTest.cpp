// The recordset against the meaning every window relies on.
#include "store/Module1.h"
#include "tests/support/DataFolder.h"

using namespace rv;
using namespace rv::test;

namespace {

class RecordsetTest : public DataFolderTest, public ::testing::WithParamInterface<StoreEngine> {
protected:
    StoreEngine engine() const override { return GetParam(); }
    void SetUp() override {
        DataFolderTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        for (const char* id : {"200525003", "200525001", "200525002"})
            addSensorRow(QString::fromLatin1(id));
        setPaths();
        ASSERT_TRUE(openDatabase(session->gConnection).ok());
    }
    Recordset& rs() { return session->rsSensors; }
    QString id() { return rs().value(QStringLiteral("InstrumentID")).value().toString(); }
    void openSensors() { ASSERT_TRUE(rs().open(session->gConnection, sql::SensorsByNumber).ok()); }
};

TEST_P(RecordsetTest, OpensInStatementOrderOnTheFirstRow) {
    openSensors();
    EXPECT_EQ(rs().recordCount(), 3);
    EXPECT_FALSE(rs().bof());
    EXPECT_FALSE(rs().eof());
    EXPECT_EQ(rs().absolutePosition(), 1);
    EXPECT_EQ(id(), "200525001");
    ASSERT_TRUE(rs().moveNext().ok());
    EXPECT_EQ(id(), "200525002");
    ASSERT_TRUE(rs().moveLast().ok());
    EXPECT_EQ(id(), "200525003");
    EXPECT_EQ(rs().absolutePosition(), 3);
}

TEST_P(RecordsetTest, MovesPastTheEndsAndBack) {
    openSensors();
    ASSERT_TRUE(rs().moveLast().ok());
    ASSERT_TRUE(rs().moveNext().ok());
    EXPECT_TRUE(rs().eof());
    EXPECT_FALSE(rs().bof());
    EXPECT_EQ(rs().absolutePosition(), Recordset::PosEOF);
    EXPECT_EQ(rs().recordCount(), 3) << "the count does not depend on the position";
    EXPECT_EQ(rs().moveNext().error().number, err::NoCurrentRow);
    EXPECT_EQ(rs().value(QStringLiteral("InstrumentID")).error().number, err::NoCurrentRow);
    ASSERT_TRUE(rs().movePrevious().ok());
    EXPECT_EQ(id(), "200525003");

    ASSERT_TRUE(rs().moveFirst().ok());
    ASSERT_TRUE(rs().movePrevious().ok());
    EXPECT_TRUE(rs().bof());
    EXPECT_EQ(rs().absolutePosition(), Recordset::PosBOF);
    EXPECT_FALSE(rs().movePrevious().ok());
    ASSERT_TRUE(rs().moveNext().ok());
    EXPECT_EQ(id(), "200525001");
}

TEST_P(RecordsetTest, EmptyRecordsetIsAtBothEndsAndRefusesMoves) {
    Recordset empty;
    ASSERT_TRUE(empty.open(session->gConnection, sql::NetworkBySensor).ok());
    EXPECT_TRUE(empty.bof());
    EXPECT_TRUE(empty.eof());
    EXPECT_EQ(empty.recordCount(), 0);
    EXPECT_EQ(empty.moveFirst().error().number, err::NoCurrentRow);
    EXPECT_EQ(empty.moveLast().error().number, err::NoCurrentRow);
    EXPECT_FALSE(empty.moveNext().ok());
}

TEST_P(RecordsetTest, FieldNamesIgnoreLetterCase) {
    openSensors();
    EXPECT_EQ(rs().value(QStringLiteral("instrumentid")).value().toString(), "200525001");
    EXPECT_EQ(rs().value(QStringLiteral("InstrumentId")).value().toString(), "200525001");
    EXPECT_EQ(rs().value(QStringLiteral("NoSuchColumn")).error().number, err::ItemNotFound);
}

TEST_P(RecordsetTest, BookmarksSurviveReopeningTheSameRows) {
    openSensors();
    ASSERT_TRUE(rs().moveNext().ok());
    const qint64 mark = rs().bookmark().value();
    ASSERT_TRUE(rs().moveFirst().ok());
    ASSERT_TRUE(rs().setBookmark(mark).ok());
    EXPECT_EQ(id(), "200525002");
    openSensors();
    ASSERT_TRUE(rs().setBookmark(mark).ok());
    EXPECT_EQ(id(), "200525002");
    EXPECT_FALSE(rs().setBookmark(99).ok());
}

TEST_P(RecordsetTest, FindSearchesForwardFromTheCurrentRowInclusive) {
    openSensors();
    ASSERT_TRUE(rs().find(QStringLiteral("InstrumentID = '200525002'")).ok());
    EXPECT_EQ(id(), "200525002");
    // From the found row itself (inclusive), and without blanks around "=".
    ASSERT_TRUE(rs().find(QStringLiteral("InstrumentID='200525002'")).ok());
    EXPECT_EQ(rs().absolutePosition(), 2);
    // Forward only: the first row is behind the current one.
    ASSERT_TRUE(rs().find(QStringLiteral("InstrumentID = '200525001'")).ok());
    EXPECT_TRUE(rs().eof());
    ASSERT_TRUE(rs().moveFirst().ok());
    ASSERT_TRUE(rs().find(QStringLiteral("instrumentid = '200525001'")).ok());
    EXPECT_EQ(rs().absolutePosition(), 1);
    ASSERT_TRUE(rs().find(QStringLiteral("Destroyed = 'NO'")).ok()) << "values ignore letter case";
    EXPECT_EQ(rs().absolutePosition(), 1);
    EXPECT_FALSE(rs().find(QStringLiteral("InstrumentID 200525001")).ok());
}

TEST_P(RecordsetTest, FindComparesWholeTextsIgnoringCaseBeyondAscii) {
    execSql(QStringLiteral("UPDATE Sensors SET Location = 'Élan drift' WHERE InstrumentID = "
                           "'200525002'; UPDATE Sensors SET Location = 'Élan' WHERE "
                           "InstrumentID = '200525003'"));
    openSensors();
    ASSERT_TRUE(rs().find(QStringLiteral("Location = 'élan'")).ok());
    EXPECT_EQ(id(), "200525003") << "a whole-text match, not a prefix";
    ASSERT_TRUE(rs().moveFirst().ok());
    ASSERT_TRUE(rs().find(QStringLiteral("Location = 'ÉLAN DRIFT'")).ok());
    EXPECT_EQ(id(), "200525002");
    ASSERT_TRUE(rs().moveFirst().ok());
    ASSERT_TRUE(rs().find(QStringLiteral("Location = ''")).ok());
    EXPECT_TRUE(rs().eof()) << "Null never equals the empty text";
}

TEST_P(RecordsetTest, AddNewAndUpdateWriteOneRowWithTheTablesDefaults) {
    openSensors();
    ASSERT_TRUE(rs().addNew().ok());
    EXPECT_EQ(rs().recordCount(), 4);
    EXPECT_EQ(rs().absolutePosition(), 4);
    ASSERT_TRUE(rs().setValue(QStringLiteral("InstrumentID"), QStringLiteral("200525010")).ok());
    ASSERT_TRUE(rs().setValue(QStringLiteral("Recess"), QStringLiteral("2.50")).ok());
    ASSERT_TRUE(rs().update().ok());
    EXPECT_EQ(scalar(QStringLiteral("SELECT Recess FROM Sensors WHERE InstrumentID='200525010'"))
                  .toDouble(),
              2.5);
    EXPECT_EQ(rs().value(QStringLiteral("HeadLocation")).value(), QVariant(false))
        << "the table's default is read back";
    // The added row answers a bookmark of its own, which brings back that row and no other.
    const qint64 added = rs().bookmark().value();
    ASSERT_TRUE(rs().moveFirst().ok());
    const qint64 first = rs().bookmark().value();
    EXPECT_NE(added, first);
    ASSERT_TRUE(rs().moveLast().ok());
    ASSERT_TRUE(rs().movePrevious().ok());
    EXPECT_NE(rs().bookmark().value(), added) << "the row before it has another bookmark";
    ASSERT_TRUE(rs().setBookmark(added).ok());
    EXPECT_EQ(id(), "200525010");
    EXPECT_EQ(rs().absolutePosition(), 4);
    ASSERT_TRUE(rs().setBookmark(first).ok());
    EXPECT_EQ(id(), "200525001");
    ASSERT_TRUE(rs().requery().ok());
    EXPECT_EQ(rs().recordCount(), 4);
}

TEST_P(RecordsetTest, MovingAwayAbandonsAnUnwrittenEdit) {
    openSensors();
    ASSERT_TRUE(rs().setValue(QStringLiteral("Level"), QStringLiteral("L9")).ok());
    EXPECT_EQ(rs().value(QStringLiteral("Level")).value().toString(), "L9");
    ASSERT_TRUE(rs().moveNext().ok());
    ASSERT_TRUE(rs().moveFirst().ok());
    EXPECT_TRUE(rs().value(QStringLiteral("Level")).value().isNull());
    ASSERT_TRUE(rs().addNew().ok());
    ASSERT_TRUE(rs().moveFirst().ok());
    EXPECT_EQ(rs().recordCount(), 3);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM Sensors")).toInt(), 3);
}

TEST_P(RecordsetTest, DeleteKeepsThePlaceUntilTheNextMove) {
    openSensors();
    ASSERT_TRUE(rs().moveNext().ok());
    ASSERT_TRUE(rs().remove().ok());
    EXPECT_EQ(rs().recordCount(), 2);
    EXPECT_EQ(rs().value(QStringLiteral("InstrumentID")).error().number, err::NoCurrentRow);
    ASSERT_TRUE(rs().moveNext().ok());
    EXPECT_EQ(id(), "200525003") << "the row after the deleted one";
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM Sensors WHERE InstrumentID = "
                                    "'200525002'"))
                  .toInt(),
              0);
    // Deleting the last row leaves no current row; the next move reaches the end.
    ASSERT_TRUE(rs().remove().ok());
    ASSERT_TRUE(rs().moveNext().ok());
    EXPECT_TRUE(rs().eof());
}

TEST_P(RecordsetTest, RequeryRereadsAndReturnsToTheFirstRow) {
    openSensors();
    ASSERT_TRUE(rs().moveLast().ok());
    execSql(QStringLiteral("INSERT INTO Sensors (InstrumentID) VALUES ('200425001')"));
    EXPECT_EQ(rs().recordCount(), 3);
    ASSERT_TRUE(rs().requery().ok());
    EXPECT_EQ(rs().recordCount(), 4);
    EXPECT_EQ(id(), "200425001");
}

TEST_P(RecordsetTest, CloseReleasesTheRows) {
    openSensors();
    rs().close();
    EXPECT_FALSE(rs().isOpen());
    EXPECT_EQ(rs().moveFirst().error().number, err::ObjectClosed);
    EXPECT_EQ(rs().value(QStringLiteral("InstrumentID")).error().number, err::ObjectClosed);
}

TEST_P(RecordsetTest, FilterNarrowsCountMovesAndFind) {
    execSql(
        QStringLiteral("UPDATE Sensors SET Destroyed = 'Yes' WHERE InstrumentID = '200525002'"));
    openSensors();
    ASSERT_TRUE(rs().moveLast().ok());
    rs().setFilter(RowFilter{[](const RowView& row) {
                                 return row.value(QStringLiteral("destroyed")).toString() == "No";
                             },
                             QStringLiteral("Destroyed = 'No'")});
    EXPECT_TRUE(rs().hasFilter());
    EXPECT_EQ(rs().filterText(), "Destroyed = 'No'");
    EXPECT_EQ(rs().recordCount(), 2);
    EXPECT_EQ(id(), "200525001") << "the first passing row is current";
    ASSERT_TRUE(rs().moveNext().ok());
    EXPECT_EQ(id(), "200525003");
    ASSERT_TRUE(rs().moveFirst().ok());
    ASSERT_TRUE(rs().find(QStringLiteral("InstrumentID = '200525002'")).ok());
    EXPECT_TRUE(rs().eof());
    rs().clearFilter();
    EXPECT_EQ(rs().recordCount(), 3);
    EXPECT_FALSE(rs().hasFilter());
}

// The store keeps each column's logical type: a value of the wrong kind is refused,
// and the row stays as it was stored.
TEST_P(RecordsetTest, RefusesMistypedValuesAndLeavesTheRowUnchanged) {
    openSensors();
    ASSERT_TRUE(rs().setValue(QStringLiteral("Level"), QStringLiteral("L12")).ok());
    const Status notADate = rs().setValue(QStringLiteral("InstallDate"), QStringLiteral("soon"));
    ASSERT_FALSE(notADate.ok());
    EXPECT_EQ(notADate.error().number, err::TypeMismatch);
    EXPECT_FALSE(rs().editing()) << "the whole edit is abandoned";
    ASSERT_TRUE(rs().update().ok());
    EXPECT_TRUE(scalar(QStringLiteral("SELECT Level FROM Sensors WHERE InstrumentID='200525001'"))
                    .isNull());

    EXPECT_FALSE(rs().setValue(QStringLiteral("Recess"), QStringLiteral("12a")).ok());
    EXPECT_FALSE(rs().setValue(QStringLiteral("HeadLocation"), QStringLiteral("maybe")).ok());
    EXPECT_FALSE(rs().setValue(QStringLiteral("InstallDate"), QStringLiteral("2005/13/45")).ok());

    // Accepted forms are converted to the column's type.
    ASSERT_TRUE(rs().setValue(QStringLiteral("InstallDate"), QStringLiteral("2005/6/9")).ok());
    ASSERT_TRUE(rs().setValue(QStringLiteral("Recess"), QStringLiteral(" -0.46 ")).ok());
    ASSERT_TRUE(rs().setValue(QStringLiteral("HeadLocation"), QStringLiteral("Yes")).ok());
    ASSERT_TRUE(rs().update().ok());
    EXPECT_EQ(scalar(QStringLiteral("SELECT InstallDate FROM Sensors WHERE "
                                    "InstrumentID='200525001'"))
                  .toString(),
              "2005-06-09");
    const QVariant date = rs().value(QStringLiteral("InstallDate")).value();
    ASSERT_EQ(date.typeId(), QMetaType::QDateTime);
    EXPECT_EQ(date.toDateTime().date(), QDate(2005, 6, 9));
    EXPECT_EQ(rs().value(QStringLiteral("Recess")).value().toDouble(), -0.46);
    EXPECT_EQ(rs().value(QStringLiteral("HeadLocation")).value(), QVariant(true));
    // An emptied date or number box stores Null, not an error.
    ASSERT_TRUE(rs().setValue(QStringLiteral("InstallDate"), QString()).ok());
    ASSERT_TRUE(rs().update().ok());
    EXPECT_TRUE(rs().value(QStringLiteral("InstallDate")).value().isNull());
}

TEST_P(RecordsetTest, TheFileItselfRefusesMistypedValues) {
    Connection c;
    ASSERT_TRUE(openDatabase(c).ok());
    EXPECT_FALSE(c.execute(QStringLiteral("UPDATE Sensors SET Recess = 'abc'")).ok());
    EXPECT_FALSE(c.execute(QStringLiteral("UPDATE Sensors SET InstallDate = 'tomorrow'")).ok());
    EXPECT_FALSE(c.execute(QStringLiteral("INSERT INTO `200525001` (DoNotPlot) VALUES (7)")).ok());
    EXPECT_FALSE(
        c.execute(QStringLiteral("INSERT INTO Sensors (InstrumentID) VALUES ('200525001')")).ok())
        << "an identifier is unique";
}

TEST_P(RecordsetTest, ReadingsOrderChronologicallyAndDefaultDoNotPlotToFalse) {
    Recordset& r = session->rsReadings;
    ASSERT_TRUE(
        r.open(session->gConnection, sql::readingsByDate(QStringLiteral("200525001"))).ok());
    const QDateTime moments[] = {wallClock(QDate(2010, 1, 2), QTime(9, 0)),
                                 wallClock(QDate(2009, 12, 31), QTime(23, 59, 59)),
                                 wallClock(QDate(2010, 1, 2))};
    for (const QDateTime& m : moments) {
        ASSERT_TRUE(r.addNew().ok());
        ASSERT_TRUE(
            r.setValue(QStringLiteral("DateTimeKey"), readingKey(QStringLiteral("200525001"), m))
                .ok());
        ASSERT_TRUE(r.setValue(QStringLiteral("FullDate"), m).ok());
        ASSERT_TRUE(r.update().ok());
    }
    ASSERT_TRUE(r.requery().ok());
    ASSERT_EQ(r.recordCount(), 3);
    EXPECT_EQ(r.value(QStringLiteral("FullDate")).value().toDateTime(), moments[1]);
    EXPECT_EQ(r.value(QStringLiteral("DoNotPlot")).value(), QVariant(false));
    ASSERT_TRUE(r.moveNext().ok());
    EXPECT_EQ(r.value(QStringLiteral("FullDate")).value().toDateTime(), moments[2]);
    ASSERT_TRUE(r.moveNext().ok());
    EXPECT_EQ(r.value(QStringLiteral("FullDate")).value().toDateTime(), moments[0]);

    Recordset plottable;
    ASSERT_TRUE(r.setValue(QStringLiteral("DoNotPlot"), true).ok());
    ASSERT_TRUE(r.update().ok());
    ASSERT_TRUE(
        plottable
            .open(session->gConnection, sql::plottableReadingsByDate(QStringLiteral("200525001")))
            .ok());
    EXPECT_EQ(plottable.recordCount(), 2);
}

// A requery after the recordset's own writes re-sorts the rows it holds instead of
// reading the table again: the result must be exactly what reading it again gives.
TEST_P(RecordsetTest, RequeryAfterOwnWritesMatchesReadingTheTableAgain) {
    const QString id = QStringLiteral("200525001");
    Recordset& r = session->rsReadings;
    ASSERT_TRUE(r.open(session->gConnection, sql::readingsByDate(id)).ok());
    auto add = [&](const QString& key, const QVariant& when) {
        ASSERT_TRUE(r.addNew().ok());
        ASSERT_TRUE(r.setValue(QStringLiteral("DateTimeKey"), key).ok());
        ASSERT_TRUE(r.setValue(QStringLiteral("FullDate"), when).ok());
        ASSERT_TRUE(r.update().ok());
    };
    const QDateTime base = wallClock(QDate(2012, 5, 1), QTime(8, 0));
    for (int i = 0; i < 30; ++i)
        add(QStringLiteral("k%1").arg(i), base.addSecs(3600 * ((i * 7) % 11))); // ties
    add(QStringLiteral("no date"), QVariant());
    ASSERT_TRUE(r.requery().ok());
    // Move some readings in time, delete some, add more.
    for (int step = 0; step < 10; ++step) {
        ASSERT_TRUE(r.setAbsolutePosition(1 + (step * 13) % r.recordCount()).ok());
        if (step % 3 == 0) {
            ASSERT_TRUE(r.remove().ok());
        } else {
            ASSERT_TRUE(r.setValue(QStringLiteral("FullDate"), base.addSecs(-600 * step)).ok());
            ASSERT_TRUE(r.update().ok());
        }
        add(QStringLiteral("n%1").arg(step), base.addSecs(3600 * (step % 4)));
        ASSERT_TRUE(r.requery().ok());
        Recordset fresh;
        ASSERT_TRUE(fresh.open(session->gConnection, sql::readingsByDate(id)).ok());
        ASSERT_EQ(r.recordCount(), fresh.recordCount());
        EXPECT_EQ(r.absolutePosition(), 1);
        for (qint64 i = 1; i <= fresh.recordCount(); ++i) {
            ASSERT_TRUE(r.setAbsolutePosition(i).ok());
            ASSERT_TRUE(fresh.setAbsolutePosition(i).ok());
            EXPECT_EQ(r.value(QStringLiteral("DateTimeKey")).value(),
                      fresh.value(QStringLiteral("DateTimeKey")).value())
                << "step " << step << ", row " << i;
            EXPECT_EQ(r.bookmark().value(), fresh.bookmark().value());
        }
    }
}

TEST_P(RecordsetTest, RequerySeesWhatOthersWrote) {
    const QString id = QStringLiteral("200525001");
    Recordset& r = session->rsReadings;
    ASSERT_TRUE(r.open(session->gConnection, sql::readingsByDate(id)).ok());
    // Another connection.
    execSql(QStringLiteral("INSERT INTO `200525001` (DateTimeKey) VALUES ('other')"));
    ASSERT_TRUE(r.requery().ok());
    EXPECT_EQ(r.recordCount(), 1);
    // A statement on the same connection.
    ASSERT_TRUE(session->gConnection.execute(sql::deleteAllReadings(id)).ok());
    ASSERT_TRUE(r.requery().ok());
    EXPECT_EQ(r.recordCount(), 0);
    // The table dropped and made again with a row.
    ASSERT_TRUE(session->gConnection.execute(sql::dropReadingsTable(id)).ok());
    ASSERT_TRUE(session->gConnection.execute(sql::newReadingsTable(id)).ok());
    execSql(QStringLiteral("INSERT INTO `200525001` (DateTimeKey) VALUES ('again')"));
    ASSERT_TRUE(r.requery().ok());
    ASSERT_EQ(r.recordCount(), 1);
    EXPECT_EQ(r.value(QStringLiteral("DateTimeKey")).value().toString(), "again");
}

TEST_P(RecordsetTest, AReadingsTableMadeInsideATransactionIsKeptOrUndoneWithIt) {
    Connection& c = session->gConnection;
    for (const bool keep : {false, true}) {
        ASSERT_TRUE(c.begin().ok());
        ASSERT_TRUE(c.execute(sql::newReadingsTable(QStringLiteral("060125007"))).ok())
            << c.lastError().description.toStdString();
        EXPECT_TRUE(c.inTransaction()) << "the caller's transaction goes on";
        if (keep)
            ASSERT_TRUE(c.commit().ok());
        else
            c.rollback();
        c.forgetColumns();
        EXPECT_EQ(need(c.tables()).contains(QStringLiteral("060125007")), keep);
    }
}

TEST_P(RecordsetTest, PositionsAreWideIntegers) {
    // More rows than a 16-bit counter holds.
    execSql(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                           "i < 40000) INSERT INTO `200525001` (DateTimeKey, FullDate) SELECT "
                           "'k' || i, '2010-01-01' FROM n"));
    Recordset& r = session->rsReadings;
    ASSERT_TRUE(
        r.open(session->gConnection, sql::readingsByDate(QStringLiteral("200525001"))).ok());
    EXPECT_EQ(r.recordCount(), 40000);
    ASSERT_TRUE(r.moveLast().ok());
    EXPECT_EQ(r.absolutePosition(), 40000);
    EXPECT_EQ(r.bookmark().value(), 40000);
    ASSERT_TRUE(r.setAbsolutePosition(32768).ok());
    EXPECT_EQ(r.absolutePosition(), 32768);
}

// Readings of sensor 200525001, one an hour, `count` of them from `from` hours after 1 Jan 2010.
std::vector<ReadingRow> hourly(int from, int count) {
    std::vector<ReadingRow> rows;
    const QDateTime start(QDate(2010, 1, 1), QTime(0, 0));
    for (int i = from; i < from + count; ++i)
        rows.push_back(ReadingRow::at(QStringLiteral("200525001"),
                                      start.addSecs(3600 * i).toString("yyyy/MM/dd HH:mm:ss")));
    return rows;
}

TEST_P(RecordsetTest, OpenedOnItsNewestRowsItReachesEveryRowAndKeepsItsBookmarks) {
    const QString id = QStringLiteral("200525001");
    addReadings(id, hourly(0, 250));
    Recordset& r = session->rsReadings;
    const auto key = [&] { return r.value(QStringLiteral("DateTimeKey")).value().toString(); };
    ASSERT_TRUE(r.openNewest(session->gConnection, sql::readingsByDate(id), 100).ok());
    EXPECT_EQ(r.recordCount(), 250);
    EXPECT_EQ(r.absolutePosition(), 250);
    EXPECT_EQ(key(), "200525001 2010/01/11 09:00:00");
    const qint64 newest = r.bookmark().value();
    ASSERT_TRUE(r.setAbsolutePosition(151).ok());
    EXPECT_EQ(key(), "200525001 2010/01/07 06:00:00") << "the first of the window";
    const qint64 first = r.bookmark().value();

    // Older readings stored by another engineer meanwhile, then the rest read.
    addReadings(id, hourly(-3, 3));
    ASSERT_TRUE(r.movePrevious().ok());
    EXPECT_EQ(key(), "200525001 2010/01/07 05:00:00");
    EXPECT_EQ(r.absolutePosition(), 153);
    EXPECT_EQ(r.recordCount(), 253);
    for (const auto& [bookmark, shown] : {std::pair{newest, "200525001 2010/01/11 09:00:00"},
                                          std::pair{first, "200525001 2010/01/07 06:00:00"}}) {
        ASSERT_TRUE(r.setBookmark(bookmark).ok());
        EXPECT_EQ(key(), shown) << "a bookmark from the window names its own row";
    }
    ASSERT_TRUE(r.moveFirst().ok());
    EXPECT_EQ(key(), "200525001 2009/12/31 21:00:00");
    ASSERT_TRUE(r.moveLast().ok());
    EXPECT_EQ(key(), "200525001 2010/01/11 09:00:00");
    EXPECT_EQ(r.absolutePosition(), 253);

    // A table no larger than the window is read whole, on its last row; an empty one is
    // at both ends.
    Recordset none;
    ASSERT_TRUE(
        none.openNewest(session->gConnection, sql::readingsByDate(QStringLiteral("200525002")), 100)
            .ok());
    EXPECT_TRUE(none.bof() && none.eof());
    Recordset small;
    ASSERT_TRUE(small.openNewest(session->gConnection, sql::readingsByDate(id), 300).ok());
    EXPECT_EQ(small.absolutePosition(), 253);
    ASSERT_TRUE(small.moveFirst().ok());
    EXPECT_EQ(small.value(QStringLiteral("DateTimeKey")).value().toString(),
              "200525001 2009/12/31 21:00:00");
}

TEST_P(RecordsetTest, AWindowRowChangedByAnotherStaysAsReadUntilTheRowsAreReadAgain) {
    const QString id = QStringLiteral("200525001");
    addReadings(id, hourly(0, 150));
    Recordset& r = session->rsReadings;
    ASSERT_TRUE(r.openNewest(session->gConnection, sql::readingsByDate(id), 100).ok());
    execSql(QStringLiteral("UPDATE `200525001` SET Channel1 = '9.99' WHERE DateTimeKey = "
                           "'200525001 2010/01/07 05:00:00'"));
    ASSERT_TRUE(r.setAbsolutePosition(51).ok());
    ASSERT_TRUE(r.find(QStringLiteral("DateTimeKey = '200525001 2010/01/03 10:00:00'")).ok());
    EXPECT_EQ(r.absolutePosition(), 59) << "searched forward from the window's first row";
    ASSERT_TRUE(r.moveFirst().ok());
    ASSERT_TRUE(r.find(QStringLiteral("DateTimeKey = '200525001 2010/01/01 00:00:00'")).ok());
    EXPECT_EQ(r.absolutePosition(), 1);
    ASSERT_TRUE(r.moveLast().ok());
    EXPECT_EQ(r.value(QStringLiteral("Channel1")).value(), QVariant())
        << "the newest row is shown as it was read";
    ASSERT_TRUE(r.requery().ok());
    ASSERT_TRUE(r.moveLast().ok());
    EXPECT_EQ(r.value(QStringLiteral("Channel1")).value().toString(), "9.99");
}

INSTANTIATE_TEST_SUITE_P(BothEngines, RecordsetTest, bothEngines(), engineName);

} // namespace
