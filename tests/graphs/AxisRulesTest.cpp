// The pure rules that scale the plots: rounding, the step table and what lies between
// and beyond its rows, the preferred maximum, the minimum, the time-axis labelling, and
// the spacing of labels and ticks on both axes.
#include "graphs/AxisRules.h"
#include <QDateTime>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace rv;
using namespace rv::axis;

namespace {

double at(int y, int m, int d, int h = 0, int min = 0) {
    return double(QDateTime(QDate(y, m, d), QTime(h, min), Qt::UTC).toSecsSinceEpoch());
}

} // namespace

TEST(AxisRules, RoundingGoesToTheEvenDigitOnlyOnATrueTie) {
    struct Case {
        double x;
        int n;
        double expected;
    };
    const Case cases[] = {
        {1.26, 1, 1.3},   {12.36, 0, 12},    {9.995, 0, 10}, {-1.234, 2, -1.23},
        {0.125, 2, 0.12}, {0.135, 2, 0.14},  {2.5, 0, 2},    {3.5, 0, 4},
        {-2.5, 0, -2},    {2.675, 2, 2.68},  {1.25, 1, 1.2}, {1.2501, 1, 1.3},
        {-8, 2, -8},      {0.004, 2, 0},     {9.96, 1, 10},  {99.95, 1, 100},
        {0.0049, 2, 0},   {1e300, 0, 1e300}, {-0.005, 2, 0}, {-0.0051, 2, -0.01},
        {16, 0, 16},      {29.5, 0, 30},     {30.5, 0, 30},  {0, 2, 0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(roundHalfEven(c.x, c.n), c.expected) << c.x << " to " << c.n;
    EXPECT_TRUE(std::isinf(roundHalfEven(std::numeric_limits<double>::infinity(), 2)));
}

TEST(AxisRules, StepTableRowsIncludeBothBoundsAndLeaveTheGapsOpen) {
    struct Case {
        double h;
        std::optional<StepRow> row;
    };
    const Case cases[] = {
        {0, StepRow{0.01, 0.1}},    {0.05, StepRow{0.01, 0.1}}, {0.099, StepRow{0.01, 0.1}},
        {0.0995, std::nullopt},     {0.1, StepRow{0.1, 1}},     {0.99, StepRow{0.1, 1}},
        {0.995, std::nullopt},      {1, StepRow{0.1, 1.05}},    {1.26, StepRow{0.1, 1.35}},
        {1.99, StepRow{0.1, 2.05}}, {2, StepRow{0.1, 2.1}},     {2.99, StepRow{0.1, 3.1}},
        {3, StepRow{0.5, 3.5}},     {9.99, StepRow{0.5, 10.5}}, {9.995, std::nullopt},
        {10, StepRow{1, 11}},       {12.36, StepRow{1, 13}},    {15.99, StepRow{1, 17}},
        {15.995, std::nullopt},     {16, StepRow{2, 18}},       {25, StepRow{2, 27}},
        {30, StepRow{2, 32}},       {30.01, std::nullopt},      {45, std::nullopt},
        {-0.001, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto row = stepTableRow(c.h);
        ASSERT_EQ(row.has_value(), c.row.has_value()) << c.h;
        if (!row) continue;
        EXPECT_DOUBLE_EQ(row->step, c.row->step) << c.h;
        EXPECT_NEAR(row->maximum, c.row->maximum, 1e-12) << c.h;
    }
    // Negative zero (a channel of "-0") is zero and belongs to the first row.
    EXPECT_TRUE(stepTableRow(-0.0).has_value());
}

TEST(AxisRules, TheLoadPlotTakesTheNextRowUpInAGapAndATenStepScaleOutside) {
    struct Case {
        double h, minimum;
        StepRow row;
    };
    const Case cases[] = {
        {0.0995, 0, StepRow{0.1, 1}},  {0.995, 0, StepRow{0.1, 1.05}},
        {1.995, 0, StepRow{0.1, 2.1}}, {2.995, 0, StepRow{0.5, 3.5}},
        {9.995, 0, StepRow{1, 11}},    {15.995, 0, StepRow{2, 18}},
        {45, 0, StepRow{5, 46}},       {30.01, 0, StepRow{5, 31.01}},
        {250, 0, StepRow{50, 251}},    {-0.2, -0.8, StepRow{0.2, 0.8}},
        {-3, -5.5, StepRow{0.5, -2}},  {1e300, 0, StepRow{1e299, 1e300}},
    };
    for (const Case& c : cases) {
        const StepRow row = loadPlotFallback(c.h, c.minimum);
        EXPECT_NEAR(row.step, c.row.step, std::abs(c.row.step) * 1e-12) << c.h;
        EXPECT_NEAR(row.maximum, c.row.maximum, std::abs(c.row.maximum) * 1e-12) << c.h;
        if (c.h < 1e15) { // beyond that, adding one ton is lost in the rounding
            EXPECT_GT(row.maximum, c.h) << "the highest value lies below the top of the axis";
        }
    }
    EXPECT_EQ(temperaturePlotFallback(45), (StepRow{10, 50}));
    EXPECT_EQ(temperaturePlotFallback(9.995), (StepRow{10, 15}));
    EXPECT_EQ(temperaturePlotFallback(-7.6), (StepRow{10, -3}));
}

TEST(AxisRules, ThePreferredMaximumActsBelowTheValueOrWhenItIsNoNumber) {
    EXPECT_FALSE(preferredMaximumApplies(QStringLiteral("100"), 12));
    EXPECT_FALSE(preferredMaximumApplies(QStringLiteral("20"), 20));
    EXPECT_TRUE(preferredMaximumApplies(QStringLiteral("20"), 20.01));
    EXPECT_TRUE(preferredMaximumApplies(QStringLiteral("5"), 45));
    EXPECT_TRUE(preferredMaximumApplies(QString(), -3));
    EXPECT_TRUE(preferredMaximumApplies(QStringLiteral("abc"), 0));
    EXPECT_TRUE(preferredMaximumApplies(QStringLiteral("20 t"), 1));
}

TEST(AxisRules, LoadScalesOfTheLoadVTimePlot) {
    struct Case {
        const char* what;
        double lowest, highest;
        const char* pref;
        LoadScale scale;
    };
    const Case cases[] = {
        {"three months, 0.4 to 12.36", 0.4, 12.36, "20", {0, 13, 1}},
        {"all below 0.05", 0.01, 0.05, "20", {0, 0.1, 0.01}},
        {"highest exactly 0.099", 0, 0.099, "20", {0, 0.1, 0.01}},
        {"highest exactly 0.1", 0, 0.1, "20", {0, 1, 0.1}},
        {"highest 1.26", 0.5, 1.26, "20", {0, 1.35, 0.1}},
        {"highest 16", 2, 16, "20", {0, 18, 2}},
        {"highest 30", 2, 30, "20", {0, 32, 2}},
        {"lowest -1.234", -1.234, 2.5, "20", {-1.23, 2.6, 0.1}},
        {"preference 100, loads to 12", 1, 12, "100", {0, 13, 1}},
        {"preference 5, loads to 45", 1, 45, "5", {0, 46, 5}},
        {"preference 100, loads to 45", 1, 45, "100", {0, 46, 5}},
        {"no preference loaded", 1, 45, "", {0, 46, 5}},
        {"highest 9.995", 0, 9.995, "20", {0, 11, 1}},
        {"all negative", -0.8, -0.2, "20", {-0.8, 0.8, 0.2}},
        {"a zero time span of one load", 5, 5, "20", {0, 5.5, 0.5}},
    };
    for (const Case& c : cases) {
        LoadValues v;
        v.lowest = c.lowest;
        v.highest = c.highest;
        v.loadMaximum = c.highest;
        const LoadScale s = loadScale(v, QLatin1String(c.pref));
        EXPECT_NEAR(s.minimum, c.scale.minimum, 1e-12) << c.what;
        EXPECT_NEAR(s.maximum, c.scale.maximum, 1e-12) << c.what;
        EXPECT_NEAR(s.step, c.scale.step, 1e-12) << c.what;
    }
}

TEST(AxisRules, LoadScalesOfTheLoadVTimeWithTempPlot) {
    struct Case {
        const char* what;
        double lowest, highest, loadMaximum, temperatureMaximum;
        const char* pref;
        LoadScale scale;
    };
    const Case cases[] = {
        {"temperatures 18 to 25, loads 0.5 to 12", 0.5, 25, 12, 25, "20", {0, 27, 2}},
        {"temperatures -8 to -2, loads 0 to 0.5", -8, 0.5, 0.5, -2, "20", {-8, 1, 0.1}},
        {"loads up to 45", 0, 45, 45, 22, "20", {0, 50, 10}},
        {"highest exactly 9.995", 0, 9.995, 9.995, 5, "20", {0, 15, 10}},
        {"preference 20, temperatures 25, loads 12", 0, 25, 12, 25, "20", {0, 27, 2}},
        {"no temperatures, loads 3 to 7", 0, 7, 7, 0, "20", {0, 7.5, 0.5}},
        {"below zero only", -12.4, -3.2, -3.2, -5, "20", {-12.4, 2, 10}},
    };
    for (const Case& c : cases) {
        LoadValues v{c.lowest, c.highest, c.loadMaximum, c.temperatureMaximum};
        const LoadScale s = loadScale(v, QLatin1String(c.pref));
        EXPECT_NEAR(s.minimum, c.scale.minimum, 1e-12) << c.what;
        EXPECT_NEAR(s.maximum, c.scale.maximum, 1e-12) << c.what;
        EXPECT_NEAR(s.step, c.scale.step, 1e-12) << c.what;
    }
}

TEST(AxisRules, EveryScaleIsOneAChartCanShow) {
    EXPECT_EQ(displayable(LoadScale{0, 13, 1}), (LoadScale{0, 13, 1}));
    const LoadScale huge = displayable(LoadScale{0, 1e300, 1e299});
    EXPECT_EQ(huge.maximum, kLargestBound);
    EXPECT_GT(huge.step, 0);
    const LoadScale hugeBelow = displayable(LoadScale{-1e300, 0, 10});
    EXPECT_EQ(hugeBelow.minimum, -kLargestBound);
    const LoadScale flat = displayable(LoadScale{0, 0, 0.01});
    EXPECT_GT(flat.maximum, flat.minimum);
    const LoadScale nan = displayable(LoadScale{std::nan(""), std::nan(""), std::nan("")});
    EXPECT_TRUE(std::isfinite(nan.minimum) && std::isfinite(nan.maximum));
    EXPECT_GT(nan.maximum, nan.minimum);
    EXPECT_GT(nan.step, 0);
    const LoadScale top = displayable(LoadScale{kLargestBound, kLargestBound, 1});
    EXPECT_GT(top.maximum, top.minimum);
    EXPECT_LE(top.maximum, kLargestBound);

    LoadValues absurd;
    absurd.highest = absurd.loadMaximum = 1e300;
    const LoadScale s = loadScale(absurd, QStringLiteral("20"));
    EXPECT_LE(s.maximum, kLargestBound);
    EXPECT_GT(s.maximum, s.minimum);
}

TEST(AxisRules, TheTimeAxisIsLabelledByTheDaysTheReadingsSpan) {
    const QDate day(2026, 3, 12);
    EXPECT_EQ(timeLabelling(0, day),
              (TimeLabelling{7200, QStringLiteral("HH:mm"), QStringLiteral("2026/03/12")}));
    EXPECT_EQ(timeLabelling(1, day),
              (TimeLabelling{21600, QStringLiteral("HH:mm"), QStringLiteral("2026/03/12")}));
    for (std::optional<qint64> d : {std::optional<qint64>(2), std::optional<qint64>(7),
                                    std::optional<qint64>(-1), std::optional<qint64>()})
        EXPECT_EQ(timeLabelling(d, day),
                  (TimeLabelling{86400, QStringLiteral("yyyy/MM/dd"), QString()}));
    EXPECT_EQ(initialTimeLabelling(), timeLabelling(std::nullopt, day));
}

TEST(AxisRules, TimeSpansRunFromFirstToLastAndAnInstantGetsAnHourEachSide) {
    EXPECT_EQ(timeSpan(100, 5000), (Span{100, 5000}));
    EXPECT_EQ(timeSpan(5000, 100), (Span{100, 5000}));
    EXPECT_EQ(timeSpan(7200, 7200), (Span{3600, 10800}));
}

TEST(AxisRules, TimeLabelStepsHonourTheMinimumAndAvoidOverlap) {
    struct Case {
        double span, minimum;
        int fits;
        double step;
    };
    const Case cases[] = {
        {6.5 * 3600, 7200, 12, 7200},        // 08:00 to 14:30: every 2 hours
        {6.5 * 3600, 7200, 2, 6 * 3600},     // a narrow axis: every 6 hours
        {30 * 3600, 21600, 12, 21600},       // two days: every 6 hours
        {7 * 86400, 86400, 12, 86400},       // a week: every day
        {90 * 86400, 86400, 10, 14 * 86400}, // three months: every two weeks
        {90 * 86400, 86400, 2, 2 * 30.4375 * 86400},
        {3 * 365.25 * 86400, 86400, 8, 6 * 30.4375 * 86400},
        {40 * 365.25 * 86400, 86400, 8, 5 * 365.25 * 86400},
        {600, 60, 12, 60},
        {0, 7200, 10, 7200},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(timeLabelStep(c.span, c.minimum, c.fits), c.step, 1e-6)
            << c.span << " seconds, " << c.fits << " labels";
}

TEST(AxisRules, TimeTicksFallOnWallClockBoundaries) {
    // Every two hours from 08:00 to 14:30: 08:00, 10:00, 12:00, 14:00.
    const auto hours = timeTicks(at(2026, 3, 12, 8), at(2026, 3, 12, 14, 30), 7200);
    ASSERT_EQ(hours.size(), 4);
    EXPECT_EQ(timeLabel(hours.first(), QStringLiteral("HH:mm")), "08:00");
    EXPECT_EQ(timeLabel(hours.last(), QStringLiteral("HH:mm")), "14:00");
    // Daily ticks at midnight, the last day included when the range ends on it.
    const auto days = timeTicks(at(2026, 3, 10, 6), at(2026, 3, 13), 86400);
    ASSERT_EQ(days.size(), 3);
    EXPECT_EQ(timeLabel(days.first(), QStringLiteral("yyyy/MM/dd HH:mm")), "2026/03/11 00:00");
    EXPECT_EQ(timeLabel(days.last(), QStringLiteral("yyyy/MM/dd")), "2026/03/13");
    // Month steps fall on the first of every n-th month.
    const auto months = timeTicks(at(2025, 11, 15), at(2026, 6, 2), 2 * 30.4375 * 86400);
    QStringList labels;
    for (double t : months)
        labels << timeLabel(t, QStringLiteral("yyyy/MM/dd"));
    EXPECT_EQ(labels, (QStringList{"2026/01/01", "2026/03/01", "2026/05/01"}));
    const auto years = timeTicks(at(2003, 5, 1), at(2012, 1, 1), 5 * 365.25 * 86400);
    labels.clear();
    for (double t : years)
        labels << timeLabel(t, QStringLiteral("yyyy/MM/dd"));
    EXPECT_EQ(labels, (QStringList{"2005/01/01", "2010/01/01"}));
    // Nonsense ranges give no ticks; absurd spans are capped.
    EXPECT_TRUE(timeTicks(10, 5, 60).isEmpty());
    EXPECT_TRUE(timeTicks(0, std::numeric_limits<double>::infinity(), 60).isEmpty());
    EXPECT_EQ(timeTicks(0, 1e12, 60, 50).size(), 50);
}

TEST(AxisRules, LoadLabelsKeepTheStepWhereTheyFitAndSpreadWhereTheyWouldOverlap) {
    EXPECT_DOUBLE_EQ(loadLabelStep(13, 1, 20), 1);
    EXPECT_DOUBLE_EQ(loadLabelStep(13, 1, 5), 5);
    EXPECT_DOUBLE_EQ(loadLabelStep(0.1, 0.01, 10), 0.01);
    EXPECT_DOUBLE_EQ(loadLabelStep(3.1, 0.01, 10), 0.5);
    EXPECT_NEAR(loadLabelStep(2e200, 0.01, 10), 2e199, 1e186); // no loop over 10^202 labels
    EXPECT_DOUBLE_EQ(loadLabelStep(0, 0.5, 10), 0.5);

    const auto ticks = loadTicks(-1.23, 2.6, 0.5);
    ASSERT_EQ(ticks.size(), 8);
    EXPECT_DOUBLE_EQ(ticks.first(), -1.0);
    EXPECT_DOUBLE_EQ(ticks.last(), 2.5);
    const auto tenths = loadTicks(0, 1.35, 0.1);
    ASSERT_EQ(tenths.size(), 14);
    EXPECT_EQ(loadLabel(tenths[3], 0.1), "0.3");
    EXPECT_EQ(loadTicks(0, 13, 1).size(), 14) << "both ends are labelled";
    EXPECT_EQ(loadTicks(0, 1e200, 1e-3, 100).size(), 100);

    EXPECT_EQ(loadLabel(0.05, 0.01), "0.05");
    EXPECT_EQ(loadLabel(-1e-17, 0.1), "0.0");
    EXPECT_EQ(loadLabel(2.5, 2.5), "2.5");
    EXPECT_EQ(loadLabel(46, 5), "46");
    EXPECT_EQ(loadLabel(2e10, 1e10), "2e+10");
}
