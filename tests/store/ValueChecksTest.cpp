// The checks a copy into a file judges in the program: each verdict it gives is the one the
// file's own table gives the same value, and what it cannot judge is left to the engine.
#include "store/ValueChecks.h"
#include "store/Connection.h"
#include "store/Provisioning.h"
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

using namespace rv;

namespace {

const QString kDate = QStringLiteral("FullDate IS NULL OR (typeof(FullDate) = 'text' AND FullDate "
                                     "GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*')");
const QString kYesNo = QStringLiteral("DoNotPlot IS NULL OR DoNotPlot IN (0, 1)");
const QString kNumber = QStringLiteral("typeof(zero1) IN ('null', 'real', 'integer')");

CheckVerdict judged(const QString& check, const QString& column, const QString& type,
                    const QVariant& value) {
    const QByteArray text = value.toString().toUtf8();
    CellView cell;
    if (value.isNull()) {
        cell.kind = ValueKind::Null;
    } else if (value.typeId() == QMetaType::LongLong) {
        cell.kind = ValueKind::Integer;
        cell.integer = value.toLongLong();
    } else if (value.typeId() == QMetaType::Double) {
        cell.kind = ValueKind::Real;
        cell.real = value.toDouble();
    } else {
        cell.kind = ValueKind::Text;
        cell.bytes = text.constData();
        cell.length = text.size();
    }
    ValueChecks checks({check}, {column}, {type});
    checks.see(&cell);
    if (checks.leftToEngine(0)) return CheckVerdict::Unknown;
    return checks.broken(0) ? CheckVerdict::Broken : CheckVerdict::Kept;
}

TEST(ValueChecksTest, AValueJudgedInTheProgramGetsTheFilesOwnVerdict) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("checks.mdb"));
    ASSERT_TRUE(createShippedDatabase(path).ok());
    Connection c;
    ASSERT_TRUE(c.open(path).ok());
    using V = CheckVerdict;
    const qlonglong one = 1, two = 2, minusOne = -1, zero = 0, day = 20260314;
    struct Case {
        const QString& check;
        const char* column;
        const char* type;
        QVariant value;
        CheckVerdict expected;
    } cases[] = {
        {kDate, "FullDate", "DATETIME", QStringLiteral("2026-03-14"), V::Kept},
        {kDate, "FullDate", "DATETIME", QStringLiteral("2026-03-14 08:00:00"), V::Kept},
        {kDate, "FullDate", "DATETIME", QStringLiteral("2026-03-1"), V::Broken},
        {kDate, "FullDate", "DATETIME", QStringLiteral("14/03/2026"), V::Broken},
        {kDate, "FullDate", "DATETIME", QStringLiteral("20260314"), V::Broken},
        {kDate, "FullDate", "DATETIME", QStringLiteral("２０２６-03-14"), V::Broken},
        {kDate, "FullDate", "DATETIME", day, V::Broken},
        {kDate, "FullDate", "DATETIME", 2026.5, V::Broken},
        {kDate, "FullDate", "DATETIME", QVariant(), V::Kept},
        {kYesNo, "DoNotPlot", "YESNO", zero, V::Kept},
        {kYesNo, "DoNotPlot", "YESNO", one, V::Kept},
        {kYesNo, "DoNotPlot", "YESNO", two, V::Broken},
        {kYesNo, "DoNotPlot", "YESNO", minusOne, V::Broken},
        {kYesNo, "DoNotPlot", "YESNO", 1.0, V::Kept},
        {kYesNo, "DoNotPlot", "YESNO", -0.0, V::Kept},
        {kYesNo, "DoNotPlot", "YESNO", 0.5, V::Broken},
        {kYesNo, "DoNotPlot", "YESNO", QStringLiteral("1"), V::Unknown},
        {kNumber, "zero1", "DOUBLE", 0.1, V::Kept},
        {kNumber, "zero1", "DOUBLE", two, V::Kept},
        {kNumber, "zero1", "DOUBLE", QVariant(), V::Kept},
        {kNumber, "zero1", "DOUBLE", QStringLiteral("1.5"), V::Unknown},
        {kNumber, "zero1", "DOUBLE", QStringLiteral("abc"), V::Unknown},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.column + (": " + k.value.toString().toStdString()));
        const CheckVerdict verdict =
            judged(k.check, QLatin1String(k.column), QLatin1String(k.type), k.value);
        EXPECT_EQ(int(verdict), int(k.expected));
        if (verdict == V::Unknown) continue;
        Query insert(c, QStringLiteral("INSERT INTO sensordata (%1) VALUES (?)").arg(k.column));
        insert.bind(1, k.value);
        const Status stored = insert.run();
        EXPECT_EQ(stored.ok(), verdict == V::Kept) << stored.error().description.toStdString();
    }
}

TEST(ValueChecksTest, AnotherFormOrTypeIsLeftToTheEngine) {
    const qlonglong five = 5;
    struct Case {
        QString check;
        const char* type;
    } cases[] = {
        {QStringLiteral("length(DoNotPlot) < 3"), "YESNO"},
        {QStringLiteral("DoNotPlot IS NULL OR IsDirty IN (0, 1)"), "YESNO"},
        {QStringLiteral("DoNotPlot IS NULL OR DoNotPlot IN (0, 1, 2)"), "YESNO"},
        {QStringLiteral("DoNotPlot IS NULL OR DoNotPlot IN (0, 1)"), "TEXT"},
        {QStringLiteral("typeof(DoNotPlot) IN ('null', 'real', 'integer')"), "TEXT"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.check.toStdString());
        EXPECT_EQ(int(judged(k.check, QStringLiteral("DoNotPlot"), QLatin1String(k.type), five)),
                  int(CheckVerdict::Unknown));
    }
    // Keywords and names in any case are the same check; a quoted text is not.
    EXPECT_EQ(int(judged(QStringLiteral("donotplot is null or DONOTPLOT in (0,1)"),
                         QStringLiteral("DoNotPlot"), QStringLiteral("YESNO"), five)),
              int(CheckVerdict::Broken));
    EXPECT_EQ(int(judged(QStringLiteral("typeof(DoNotPlot) IN ('NULL', 'REAL', 'INTEGER')"),
                         QStringLiteral("DoNotPlot"), QStringLiteral("DOUBLE"), five)),
              int(CheckVerdict::Unknown));
}

} // namespace
