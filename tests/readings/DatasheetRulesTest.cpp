// The datasheet's pure rules: the columns of a sensor's grid, their headers and widths,
// and what each typed key does.
#include "readings/DatasheetRules.h"
#include <gtest/gtest.h>

using namespace rv;

namespace {

TEST(DatasheetRulesTest, TheLastColumnComesFromTheFirstDigitOfTheSensorType) {
    const struct {
        const char* id;
        int last;
    } cases[] = {{"200525001", 5}, {"200505001", 3}, {"200595001", 12},
                 {"2005x5001", 3}, {"2005", 3},      {"", 3}};
    for (const auto& c : cases)
        EXPECT_EQ(datasheetLastColumn(QLatin1String(c.id)), c.last) << c.id;
}

TEST(DatasheetRulesTest, HeadersAndWidthsFollowTheLastColumn) {
    // Type 25: six columns.
    const char* type25[] = {"DateTime Key", "ReadingDate", "R. Time",
                            "ChannelT",     "Channel1",    "DoNotPlot"};
    const int twips[] = {2600, 1320, 840, 960, 960, 1080};
    for (int c = 0; c <= 5; ++c) {
        EXPECT_EQ(datasheetHeader(c, 5), QLatin1String(type25[c])) << c;
        EXPECT_EQ(datasheetColumnTwips(c, 5), twips[c]) << c;
    }
    EXPECT_EQ(datasheetHeader(6, 5), "");
    // The widest grid: channels 2 to 8 in columns 5 to 11, the marks in column 12.
    EXPECT_EQ(datasheetHeader(5, 12), "Channel2");
    EXPECT_EQ(datasheetHeader(11, 12), "Channel8");
    EXPECT_EQ(datasheetHeader(12, 12), "DoNotPlot");
    EXPECT_EQ(datasheetColumnTwips(11, 12), 960);
    // Below five, the first columns have no header and no width, except column 0.
    EXPECT_EQ(datasheetHeader(0, 4), "");
    EXPECT_EQ(datasheetHeader(3, 4), "");
    EXPECT_EQ(datasheetHeader(4, 4), "DoNotPlot");
    EXPECT_EQ(datasheetColumnTwips(0, 4), 2600);
    EXPECT_EQ(datasheetColumnTwips(2, 4), 0);
    EXPECT_EQ(datasheetHeader(3, 3), "DoNotPlot");
}

TEST(DatasheetRulesTest, KeysInDateColumnsAndChannelColumns) {
    const struct {
        int code, column;
        bool editable;
        GridKey effect;
    } cases[] = {
        {'\b', 0, true, GridKey::Nothing},
        {'\b', 2, true, GridKey::Nothing},
        {'\b', 3, true, GridKey::RemoveLast},
        {'\b', 12, true, GridKey::RemoveLast},
        {'\t', 0, true, GridKey::NextCell},
        {'\t', 4, false, GridKey::NextCell},
        {'0', 2, true, GridKey::MessageA},
        {'9', 0, true, GridKey::MessageA},
        {'.', 1, true, GridKey::MessageA},
        {'0', 3, true, GridKey::Append},
        {'9', 4, true, GridKey::Append},
        {'.', 3, true, GridKey::Append},
        {'-', 3, true, GridKey::MessageB},
        {'\r', 4, true, GridKey::MessageB},
        {'a', 4, true, GridKey::MessageB},
        {'/', 3, true, GridKey::MessageB},
        {':', 3, true, GridKey::MessageB},
        {'-', 2, true, GridKey::MessageA},
        // Cells without a channel value: the marks, the fixed row.
        {'5', 5, false, GridKey::MessageA},
        {'a', 5, false, GridKey::MessageA},
        {'\b', 5, false, GridKey::Nothing},
    };
    for (const auto& c : cases)
        EXPECT_EQ(int(datasheetKey(c.code, c.column, c.editable)), int(c.effect))
            << "key " << c.code << " in column " << c.column;
}

TEST(DatasheetRulesTest, ADigitOrPointIsTakenOnlyWhileTheCellStillHoldsANumber) {
    const struct {
        int code;
        const char* cell;
        GridKey effect;
    } cases[] = {
        {'.', "85.80", GridKey::MessageB}, {'.', "85", GridKey::Append},
        {'.', "", GridKey::Append},        {'.', ".", GridKey::MessageB},
        {'6', "85.80", GridKey::Append},   {'5', "ERR", GridKey::MessageB},
        {'5', "-", GridKey::Append},       {'5', "1e", GridKey::Append},
        {127, "85.80", GridKey::Empty},    {127, "", GridKey::Empty},
    };
    for (const auto& c : cases)
        EXPECT_EQ(int(datasheetKey(c.code, 4, true, QLatin1String(c.cell))), int(c.effect))
            << "key " << c.code << " after " << c.cell;
    // Delete empties channel cells only.
    EXPECT_EQ(int(datasheetKey(127, 2, true, QStringLiteral("08:00:00"))), int(GridKey::Nothing));
    EXPECT_EQ(int(datasheetKey(127, 5, false)), int(GridKey::Nothing));
    for (const char* value : {"", " ", "12.5", "-3", "85.", "1e3"})
        EXPECT_TRUE(isChannelValue(QLatin1String(value))) << value;
    for (const char* value : {".", "1.2.", "85.8086.10", "ER", "-", "1e"})
        EXPECT_FALSE(isChannelValue(QLatin1String(value))) << value;
}

TEST(DatasheetRulesTest, TheTwoMessagesHaveTwoLines) {
    EXPECT_EQ(datasheetMessageA(), "Only Channel Data is editable in this datasheet\r\nPlease use "
                                   "the main form to change dates and times");
    EXPECT_EQ(datasheetMessageB(), "Channel Data must be a numeric value\r\nUse the backspace key "
                                   "to delete, field accepts numeric values only");
}

} // namespace
