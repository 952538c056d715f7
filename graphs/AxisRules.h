#pragma once
// The rules that scale the two plots: the load axis (minimum, maximum and label step
// chosen from the values drawn), the time axis (label step and format chosen from the
// days the readings span), and the spacing of labels so that they never overlap. Pure
// functions, no widgets, no database.
#include <QDate>
#include <QString>
#include <QVector>
#include <optional>

namespace rv::axis {

// x rounded to n decimals; a value exactly halfway (as the number stands) goes to the
// even last digit: round(0.125, 2) = 0.12, round(2.5, 0) = 2, round(-1.234, 2) = -1.23.
double roundHalfEven(double x, int decimals);

// One row of a step table: the smallest distance between two load labels and the
// load axis maximum.
struct StepRow {
    double step = 1;
    double maximum = 20;
    bool operator==(const StepRow&) const = default;
};

// The step table of the load axis: the first row whose range (bounds included) holds
// the highest value drawn.
//   0 to 0.099    0.01  0.1
//   0.1 to 0.99   0.1   1
//   1 to 1.99     0.1   round(h, 1) + 0.05
//   2 to 2.99     0.1   round(h, 1) + 0.1
//   3 to 9.99     0.5   round(h, 1) + 0.5
//   10 to 15.99   1     round(h, 0) + 1
//   16 to 30      2     round(h, 0) + 2
// Values between two rows (0.0995, 9.995), below 0 and above 30 match no row.
std::optional<StepRow> stepTableRow(double highest);

// The last row of the "Load v Time with Temp" plot, for every value the table misses:
// step 10, maximum round(h, 0) + 5.
StepRow temperaturePlotFallback(double highest);

// The "Load v Time" plot where the table misses the highest value:
//  - between two rows, the scale of the next row up (9.995 is drawn as 10 would be:
//    step 1, maximum 11), so the load axis keeps the look of its neighbours;
//  - below 0 or above 30, the maximum is load maximum + 1 (what the preferred maximum
//    rule gives when it applies) and the step the smallest of 1, 2 or 5 times a power of
//    ten that leaves at most ten steps between the minimum and the maximum (0 to 46 is
//    labelled every 5 tons).
StepRow loadPlotFallback(double highest, double minimum);

// The smallest of 1, 2 or 5 times a power of ten that divides span into at most
// `intervals` steps; 1 for an empty or meaningless span.
double niceStep(double span, int intervals);

// Whether the preferred maximum rule acts: the preference text is not a number, or its
// number is smaller than the value.
bool preferredMaximumApplies(const QString& prefMaxY, double value);

// What a drawing knows about the values on the load axis.
struct LoadValues {
    double lowest = 0;  // smallest value drawn on the load axis (every series shown)
    double highest = 0; // largest value drawn on the load axis
    double loadMaximum = 0;
    std::optional<double> temperatureMaximum; // the "with Temp" plot only
};

struct LoadScale {
    double minimum = 0;
    double maximum = 20;
    double step = 1;
    bool operator==(const LoadScale&) const = default;
};

// The load axis of a drawing: the preferred maximum rules (temperature first, then the
// load), the minimum rule (0 when lowest >= 0, otherwise round(lowest, 2)), then the step
// table; the "with Temp" plot (temperatureMaximum set) ends with its own last row, the
// "Load v Time" plot with loadPlotFallback. The result is always displayable (see
// displayable).
LoadScale loadScale(const LoadValues& values, const QString& prefMaxY);

// The largest magnitude an axis bound may have: values beyond it are still drawn, off
// the scale, but the axis stops there so that its range stays a range the chart can
// compute with.
constexpr double kLargestBound = 1e200;

// A scale that a chart can show: bounds finite and within kLargestBound, maximum above
// minimum, a positive step. A scale that already is one comes back unchanged.
LoadScale displayable(LoadScale scale);

// The labelling of the time axis by the day range (the ReadingDate of the last plotted
// reading less that of the first, in days; nothing when either cannot be read).
struct TimeLabelling {
    qint64 minimumStep = 86400; // seconds
    QString format;             // Qt's notation
    QString title;
    bool operator==(const TimeLabelling&) const = default;
};
//   0 days: labels at least 2 hours apart, "HH:mm", title the first day as yyyy/MM/dd;
//   1 day:  labels at least 6 hours apart, "HH:mm", the same title;
//   other:  labels at least a day apart, "yyyy/MM/dd", no title.
TimeLabelling timeLabelling(std::optional<qint64> dayRange, const QDate& firstDay);

// The labelling of the time axis before the first drawing.
TimeLabelling initialTimeLabelling();

// The range of a time axis (seconds) from the first to the last point; an instant
// alone gets an hour on either side, so a single moment is drawn in the middle.
struct Span {
    double lower = 0;
    double upper = 0;
    bool operator==(const Span&) const = default;
};
Span timeSpan(double first, double last);

// The label step of the time axis: the smallest step of the ladder (1, 2, 5, 10, 15, 30
// minutes; 1, 2, 3, 6, 12 hours; 1, 2, 7, 14 days; 1, 2, 3, 6 months; 1, 2, 5, 10, 20,
// 50, 100... years) that is at least minimumStep and leaves at most `fits` labels over
// the span. Months count as 30.4375 days and years as 365.25 days here; the ticks
// themselves fall on the first of a month or of January (see timeTicks).
double timeLabelStep(double span, double minimumStep, int fits);

// The step a time axis is labelled at: the step given when one of its ticks falls inside
// [lower, upper]; otherwise (a range shorter than the step, between two of its ticks) the
// largest smaller step of the ladder that puts exactly one tick there, so that the range
// carries a time: a single label is never closer than the minimum to another.
double timeStepWithALabel(double lower, double upper, double step);

// The ticks of a time axis (seconds of wall-clock time) inside [lower, upper] for a step
// from timeLabelStep: multiples of the step counted from 1970-01-01 00:00 for steps up to
// 14 days, the first of every n-th month for month steps, the first of January of every
// n-th year for year steps. At most `limit` ticks are made.
QVector<double> timeTicks(double lower, double upper, double step, int limit = 2000);

// The label step of the load axis: the smallest multiple of the table's step (times 1, 2,
// 5, 10, 20, 50, ...) that leaves at most `fits` labels over the span.
double loadLabelStep(double span, double minimumStep, int fits);

// The step the load axis is labelled at: the step given when one of its multiples falls
// inside [lower, upper]; otherwise (a view zoomed or scrolled between two labels) the
// largest smaller 1, 2 or 5 times a power of ten that puts one there, so that the view
// always carries a load.
double loadStepWithALabel(double lower, double upper, double step);

// The ticks of the load axis: the multiples of step inside [lower, upper] (a hair of
// rounding allowed at either end), at most `limit` of them.
QVector<double> loadTicks(double lower, double upper, double step, int limit = 2000);

// A load label: as many decimals as the step needs (0.01 -> two, 0.5 -> one, 2 -> none),
// no "-0"; magnitudes from a billion up in exponent form.
QString loadLabel(double value, double step);

// The wall-clock moment of a time-axis value as a label in the given format.
QString timeLabel(double seconds, const QString& format);

} // namespace rv::axis
