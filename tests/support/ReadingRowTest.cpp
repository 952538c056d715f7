// The readings builder writes what the same INSERT statement with literals wrote: the
// same values of the same kinds, and the table's defaults where no value is given.
#include "tests/support/DataFolder.h"
#include <gtest/gtest.h>

namespace rv::test {
namespace {

class ReadingRowTest : public DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        addSensorRow(QStringLiteral("200525001"));
        addSensorRow(QStringLiteral("200525002"));
    }
    // Every column of a reading, each with the kind the engine stored it as.
    QString row(const QString& id, const QString& key) {
        return scalar(QStringLiteral("SELECT quote(ReadingDate) || ' ' || quote(ReadingTime) || "
                                     "' ' || quote(FullDate) || ' ' || quote(Channel1) || ' ' || "
                                     "quote(ChannelT) || ' ' || quote(DoNotPlot) || ' ' || "
                                     "quote(IsDirty) || ' ' || quote(zero1) || ' ' || "
                                     "quote(NumTemp) || ' ' || typeof(zero1) || ' ' || "
                                     "typeof(NumTemp) FROM `%1` WHERE DateTimeKey = '%2'")
                          .arg(id, key))
            .toString();
    }
};

TEST_F(ReadingRowTest, RowsAreStoredAsTheSameLiteralsWouldBe) {
    const struct {
        const char* literals; // the columns and values of the INSERT statement
        ReadingRow built;
        const char* stored;
    } cases[] = {
        {"(DateTimeKey, ReadingDate, ReadingTime, FullDate, Channel1, ChannelT, DoNotPlot, "
         "zero1, NumTemp) VALUES ('%1 2026/03/10 08:00:00', '2026-03-10', '08:00:00', "
         "'2026-03-10 08:00:00', '12.50', '21.5', 0, 99, 98)",
         ReadingRow::at(QStringLiteral("%1"), QStringLiteral("2026/03/10 08:00:00"))
             .channel1(QStringLiteral("12.50"))
             .channelT(QStringLiteral("21.5"))
             .doNotPlot(0)
             .zero1(99)
             .numTemp(98),
         "'2026-03-10' '08:00:00' '2026-03-10 08:00:00' '12.50' '21.5' 0 0 99.0 98.0 real real"},
        {"(DateTimeKey, ReadingDate, ReadingTime, FullDate, Channel1, ChannelT, DoNotPlot, "
         "zero1, NumTemp) VALUES ('%1 2006/06/14 23:59:59', '2006-06-14', '23:59:59', "
         "'2006-06-14 23:59:59', '12.36', NULL, 1, 12.36, 20)",
         ReadingRow::at(QStringLiteral("%1"), QStringLiteral("2006/06/14 23:59:59"))
             .channel1(QStringLiteral("12.36"))
             .channelT(QVariant())
             .doNotPlot(1)
             .zero1(12.36)
             .numTemp(20),
         "'2006-06-14' '23:59:59' '2006-06-14 23:59:59' '12.36' NULL 1 0 12.36 20.0 real real"},
        {"(DateTimeKey, FullDate, DoNotPlot) VALUES ('%1 n', '2026-03-01 00:00:00', NULL)",
         ReadingRow(QStringLiteral("%1 n"))
             .fullDate(QStringLiteral("2026-03-01 00:00:00"))
             .doNotPlot(QVariant()),
         "NULL NULL '2026-03-01 00:00:00' NULL NULL NULL 0 NULL NULL null null"},
    };
    for (const auto& c : cases) {
        const QString literal = QLatin1String(c.literals);
        execSql(QStringLiteral("INSERT INTO `200525001` ") + literal.arg(u"200525001"));
        ReadingRow built = c.built;
        built.set(QStringLiteral("DateTimeKey"),
                  built.values().front().toString().arg(u"200525002"));
        addReadings(QStringLiteral("200525002"), {built});
        const QString key = built.values().front().toString().mid(10);
        EXPECT_EQ(row(QStringLiteral("200525001"), QStringLiteral("200525001 ") + key),
                  QLatin1String(c.stored));
        EXPECT_EQ(row(QStringLiteral("200525002"), QStringLiteral("200525002 ") + key),
                  QLatin1String(c.stored));
    }
}

TEST_F(ReadingRowTest, ManyRowsOfDifferentColumnsGoInTogether) {
    std::vector<ReadingRow> rows;
    for (int day = 1; day <= 28; ++day)
        rows.push_back(
            ReadingRow::at(QStringLiteral("200525001"),
                           QStringLiteral("2026/02/%1 08:00:00").arg(day, 2, 10, QLatin1Char('0')))
                .channel1(QString::number(day)));
    rows.push_back(
        ReadingRow(QStringLiteral("200525001 last")).fullDate(QStringLiteral("2026-03-01")));
    rows.push_back(
        ReadingRow::at(QStringLiteral("200525001"), QStringLiteral("2026/03/02 08:00:00")));
    addReadings(QStringLiteral("200525001"), rows);
    EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM `200525001`")).toInt(), 30);
    EXPECT_EQ(scalar(QStringLiteral("SELECT group_concat(Channel1, ',') FROM `200525001` WHERE "
                                    "ReadingDate BETWEEN '2026-02-01' AND '2026-02-03'"))
                  .toString(),
              QStringLiteral("1,2,3"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT FullDate FROM `200525001` WHERE DateTimeKey = "
                                    "'200525001 2026/02/28 08:00:00'"))
                  .toString(),
              QStringLiteral("2026-02-28 08:00:00"));
}

} // namespace
} // namespace rv::test
