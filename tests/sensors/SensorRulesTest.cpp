// The pure rules of the registry: which typed numbers are admitted as a new sensor, and
// the filter's criteria, expression and row test.
#include "core/DateText.h"
#include "sensors/SensorFilter.h"
#include "sensors/SensorNumber.h"
#include <QHash>
#include <gtest/gtest.h>

using namespace rv;
using namespace Qt::StringLiterals;

namespace {

TEST(SensorNumber, EachTypedTextGetsTheFirstRuleItBreaks) {
    using P = SensorNumberProblem;
    const std::pair<QString, P> cases[] = {
        {u"200525007"_s, P::None},
        {u"000000001"_s, P::None},
        {u"200525000"_s, P::SequenceOutOfRange},
        {u"20052500"_s, P::NotNineDigits},
        {u"2005250071"_s, P::NotNineDigits},
        {u"123456.78"_s, P::NotNineDigits},
        {u" 20052500"_s, P::NotNineDigits},
        {u"+20052500"_s, P::NotNineDigits},
        {QString(50, u'7'), P::NotNineDigits},
        {u"12345678a"_s, P::NotNumeric},
        {u""_s, P::NotNumeric},
        {QString(50, u'x'), P::NotNumeric},
        // Nine characters of the number grammar, but far beyond any number.
        {u"2e9999999"_s, P::NotNumeric},
        // Digits of other scripts are not the digits of an identifier.
        {u"\u0662\u0660\u0660\u0665\u0662\u0665\u0660\u0660\u0667"_s, P::NotNumeric},
        {u"\uFF12\uFF10\uFF10\uFF15\uFF12\uFF15\uFF10\uFF10\uFF17"_s, P::NotNumeric},
    };
    for (const auto& [typed, problem] : cases)
        EXPECT_EQ(int(checkSensorNumber(typed)), int(problem)) << typed.toStdString();
    EXPECT_EQ(sensorNumberMessage(P::NotNumeric), "Sensor # must be a numeric value");
    EXPECT_EQ(sensorNumberMessage(P::NotNineDigits), "Sensor # must be 9 digits");
    EXPECT_EQ(sensorNumberMessage(P::SequenceOutOfRange),
              "Last 3 digits must be between 001 and 999");
}

const QDate kToday(2026, 3, 14);
FilterReading read(const FilterBoxes& boxes) {
    return readFilterBoxes(boxes, kToday);
}

TEST(SensorFilterCriteria, ExpressionsAndRefusals) {
    const struct {
        FilterBoxes boxes;
        const char* expression; // empty: refused with `refusal`
        FilterRefusal refusal;
    } cases[] = {
        {{{}, {}, {}, {}, {}, true}, "Destroyed = 'No'", {}},
        {{u"25"_s, {}, {}, {}, {}, true}, "Destroyed = 'No' AND SensorType ='25'", {}},
        {{u"25: LODIX"_s, {}, {}, {}, {}, true}, "Destroyed = 'No' AND SensorType ='25'", {}},
        {{{}, u" L12 "_s, u"North  "_s, {}, {}, false}, "Level ='L12' AND Location ='North'", {}},
        {{{}, {}, {}, u"2005/01/01"_s, u"2005/12/31"_s, true},
         "Destroyed = 'No' AND InstallDate >= 2005/01/01 AND InstallDate <= 2005/12/31",
         {}},
        {{u"25"_s, u"L12"_s, u"North"_s, u"2005/01/01"_s, u"2005/12/31"_s, true},
         "Destroyed = 'No' AND SensorType ='25' AND Level ='L12' AND Location ='North' AND "
         "InstallDate >= 2005/01/01 AND InstallDate <= 2005/12/31",
         {}},
        // Quotes, backquotes and percent signs are written as they are.
        {{{}, u"O'Brien"_s, u"`shaft` 50%"_s, {}, {}, false},
         "Level ='O'Brien' AND Location ='`shaft` 50%'",
         {}},
        // A one-sided range is completed; the date texts stay as typed.
        {{{}, {}, {}, {}, u"2005-6-1"_s, false},
         "InstallDate >= 1999/01/01 AND InstallDate <= 2005-6-1",
         {}},
        {{u"26"_s, {}, {}, u"bad"_s, {}, true}, "", FilterRefusal::UnknownType},
        {{u"25: lodix"_s, {}, {}, {}, {}, true}, "", FilterRefusal::UnknownType},
        {{{}, {}, {}, u"2005/13/45"_s, u"bad"_s, true}, "", FilterRefusal::BadStartDate},
        {{{}, {}, {}, u" "_s, {}, true}, "", FilterRefusal::BadStartDate},
        {{{}, {}, {}, u"2005/01/01"_s, u"2005/02/30"_s, true}, "", FilterRefusal::BadEndDate},
        {{u"  "_s, u" "_s, {}, {}, {}, false}, "", FilterRefusal::NoCriteria},
    };
    for (const auto& c : cases) {
        const FilterReading r = read(c.boxes);
        EXPECT_EQ(int(r.refusal), int(c.refusal)) << c.expression;
        if (r.refusal == FilterRefusal::None) {
            EXPECT_EQ(r.criteria.expression().toStdString(), c.expression);
        }
    }

    const FilterReading onlyStart = read({{}, {}, {}, u"2005/06/01"_s, {}, false});
    EXPECT_EQ(onlyStart.criteria.end, kToday);
    EXPECT_EQ(onlyStart.criteria.expression(),
              u"InstallDate >= 2005/06/01 AND InstallDate <= "_s + shortDateText(kToday));
}

// A Sensors row given by its columns.
struct Row {
    QHash<QString, QVariant> columns;
    QVariant operator()(const QString& name) const { return columns.value(name); }
};

Row sensor(const QVariant& destroyed, const QVariant& level, const QVariant& installDate) {
    return Row{{{u"Destroyed"_s, destroyed},
                {u"Level"_s, level},
                {u"InstallDate"_s, installDate},
                {u"SensorType"_s, u"25"_s}}};
}

QVariant day(int y, int m, int d, int hour = 0) {
    return wallClock(QDate(y, m, d), QTime(hour, 0));
}

TEST(SensorFilterCriteria, RowsAreJudgedByWholeTextAndCalendarDay) {
    const QString no = u"No"_s;
    const auto level = read({{}, u"L12"_s, {}, {}, {}, false}).criteria;
    EXPECT_TRUE(level.accepts(sensor(no, u"l12 "_s, {}))) << "case and blanks are ignored";
    EXPECT_FALSE(level.accepts(sensor(no, u"L120"_s, {}))) << "the whole text must match";
    EXPECT_FALSE(level.accepts(sensor(no, QVariant(), {})));
    const auto percent = read({{}, u"L1%"_s, {}, {}, {}, false}).criteria;
    EXPECT_FALSE(percent.accepts(sensor(no, u"L12"_s, {}))) << "no wildcard";
    EXPECT_TRUE(percent.accepts(sensor(no, u"L1%"_s, {})));

    const auto alive = read({{}, {}, {}, {}, {}, true}).criteria;
    EXPECT_TRUE(alive.accepts(sensor(u"no"_s, {}, {})));
    EXPECT_FALSE(alive.accepts(sensor(u"Yes"_s, {}, {})));
    EXPECT_FALSE(alive.accepts(sensor(QVariant(), {}, {})));
    EXPECT_FALSE(
        read({u"25"_s, {}, {}, {}, {}, false}).criteria.accepts(Row{{{u"SensorType"_s, u"26"_s}}}));

    const auto year = read({{}, {}, {}, u"2005/01/01"_s, u"2005/12/31"_s, false}).criteria;
    EXPECT_FALSE(year.accepts(sensor(no, {}, day(2004, 12, 31))));
    EXPECT_TRUE(year.accepts(sensor(no, {}, day(2005, 1, 1))));
    EXPECT_TRUE(year.accepts(sensor(no, {}, day(2005, 12, 31, 18)))) << "the last day included";
    EXPECT_FALSE(year.accepts(sensor(no, {}, day(2006, 1, 1))));
    EXPECT_TRUE(year.accepts(sensor(no, {}, u"2005-06-01"_s)));
    EXPECT_FALSE(year.accepts(sensor(no, {}, QVariant()))) << "no install date";
}

} // namespace
