// The three statement forms SQLite does not take, and everything else left alone.
#include "store/Statements.h"
#include <gtest/gtest.h>

using namespace rv;
using Kind = TranslatedStatement::Kind;

TEST(StatementTranslation, SelectIntoBecomesACopyOfTheSourceTable) {
    const auto t = translateStatement(
        QStringLiteral("SELECT * INTO `200525001` FROM sensordata WHERE DateTimeKey is null"));
    ASSERT_EQ(t.kind, Kind::SelectInto);
    EXPECT_EQ(t.target, "200525001");
    EXPECT_EQ(t.source, "sensordata");
    EXPECT_EQ(t.tail, " WHERE DateTimeKey is null");
    const auto lower = translateStatement(
        QStringLiteral("select * into `200525001` from sensordata where datetimekey is null;"));
    ASSERT_EQ(lower.kind, Kind::SelectInto);
    EXPECT_EQ(lower.tail, " where datetimekey is null");
}

TEST(StatementTranslation, RewritesOnlyWhatSqliteRefuses) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"DELETE * FROM `200525001`", "DELETE FROM `200525001`"},
        {"Drop Table 200525001", "Drop Table `200525001`"},
        {"DROP TABLE `200525001`", "DROP TABLE `200525001`"},
        {"SELECT * FROM 200525001 ORDER BY FullDate",
         "SELECT * FROM `200525001` ORDER BY FullDate"},
        {"SELECT Sensors.* FROM Sensors ORDER BY InstrumentID;",
         "SELECT Sensors.* FROM Sensors ORDER BY InstrumentID"},
        {"SELECT * FROM `200525001` WHERE DoNotPlot = False ORDER BY FullDate",
         "SELECT * FROM `200525001` WHERE DoNotPlot = False ORDER BY FullDate"},
        {"SELECT * FROM Prefs WHERE MaxY = 20", "SELECT * FROM Prefs WHERE MaxY = 20"},
    };
    for (const Case& c : cases) {
        const auto t = translateStatement(QString::fromLatin1(c.in));
        EXPECT_EQ(t.kind, Kind::Plain) << c.in;
        EXPECT_EQ(t.sql.toStdString(), c.out) << c.in;
    }
}

TEST(StatementTranslation, NamesAreQuotedAndUnquoted) {
    EXPECT_EQ(quoteName(QStringLiteral("200525001")), "\"200525001\"");
    EXPECT_EQ(quoteName(QStringLiteral("a\"b")), "\"a\"\"b\"");
    EXPECT_EQ(unquoteName(QStringLiteral("`200525001`")), "200525001");
    EXPECT_EQ(unquoteName(QStringLiteral("[Sensors]")), "Sensors");
    EXPECT_EQ(unquoteName(QStringLiteral("Sensors")), "Sensors");
}
