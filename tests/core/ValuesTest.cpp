#include "core/Values.h"

#include "core/DateText.h"

#include <gtest/gtest.h>
#include <utility>

using namespace rv;

namespace {

const QDate kDay(2005, 1, 2);
const QDateTime kMoment = wallClock(kDay, QTime(7, 5, 9));
const qlonglong kNoExactDouble = 9007199254740993; // 2^53 + 1

using Case = std::pair<QVariant, QString>;

} // namespace

TEST(Values, EachKindOfValue) {
    // clang-format off
    const Case display[] = {
        {QVariant(), ""}, {QString(" 12 "), " 12 "}, {300.0, "300"}, {true, "True"},
        {false, "False"}, {kNoExactDouble, "9007199254740993"}, {kDay, shortDateText(kDay)},
        {kMoment, generalDateText(kMoment)}};
    const Case dates[] = {
        {kMoment, "2005/01/02 07:05"}, {kDay, "2005/01/02 00:00"}, {QVariant(), ""},
        {QString("2005-1-2 7:05"), "2005/01/02 07:05"}, {shortDateText(kDay), "2005/01/02 00:00"},
        {QString("2005/13/45"), "2005/13/45"}, {2.5, "2.5"}};
    const Case numbers[] = {
        {2.675, "2.68"}, {12, "12.00"}, {kNoExactDouble, "9007199254740993.00"},
        {QString("2.675"), "2.68"}, {QString(" abc"), " abc"}, {QVariant(), ""}, {true, "True"}};
    // clang-format on
    for (const auto& [value, expected] : display)
        EXPECT_EQ(displayText(value), expected) << value.typeName();
    for (const auto& [value, expected] : dates)
        EXPECT_EQ(formatDateValue(value, "yyyy/MM/dd HH:mm"), expected) << value.typeName();
    for (const auto& [value, expected] : numbers)
        EXPECT_EQ(formatNumberValue(value, 2), expected) << value.typeName();
}
