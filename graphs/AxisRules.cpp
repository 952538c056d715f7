#include "graphs/AxisRules.h"
#include "core/NumberText.h"
#include <QDateTime>
#include <QLocale>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>

namespace rv::axis {

namespace {

constexpr double kMinute = 60;
constexpr double kHour = 3600;
constexpr double kDay = 86400;
constexpr double kMonth = 30.4375 * kDay;
constexpr double kYear = 365.25 * kDay;

// A step of the time ladder that is counted in calendar months (1, 2, 3, 6) or years.
int monthsIn(double step) {
    if (step < 0.9 * kMonth) return 0;
    return int(std::lround(step / kMonth));
}

// The ladder of time-axis steps below one year.
constexpr std::array<double, 19> kTimeLadder = {
    kMinute,   2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute, kHour,
    2 * kHour, 3 * kHour,   6 * kHour,   12 * kHour,   kDay,         2 * kDay,     7 * kDay,
    14 * kDay, kMonth,      2 * kMonth,  3 * kMonth,   6 * kMonth};

// 1, 2, 5, 10, 20, 50, ... times a unit: the smallest that is at least `wanted` units.
double nextOneTwoFive(double wanted) {
    if (!(wanted > 1) || !std::isfinite(wanted)) return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(wanted)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude >= wanted * (1 - 1e-12)) return m * magnitude;
    return 10 * magnitude;
}

QDateTime moment(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000.0)), Qt::UTC);
}

double secondsOf(const QDateTime& dt) {
    return double(dt.toMSecsSinceEpoch()) / 1000.0;
}

} // namespace

double roundHalfEven(double x, int decimals) {
    if (!std::isfinite(x) || x == 0) return x;
    // The number as it stands is its shortest decimal form: 2.675 is 2.675, not the binary
    // value just below it, so a value typed as a tie is rounded as a tie.
    char buffer[64];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, std::abs(x), std::chars_format::scientific);
    const std::string text(buffer, written.ptr);
    const auto e = text.find('e');
    std::string digits;
    for (char c : text.substr(0, e))
        if (c != '.') digits += c;
    const long long exponent = std::stoll(text.substr(e + 1));
    // value = 0.<digits> x 10^point
    const long long point = exponent + 1;
    const long long keep = point + decimals; // digits kept before the rounding place
    const long long count = static_cast<long long>(digits.size());
    if (keep >= count) return x;
    if (keep < 0) return std::copysign(0.0, x);

    std::string kept = digits.substr(0, static_cast<size_t>(keep));
    const char first = digits[static_cast<size_t>(keep)];
    const bool restNonZero =
        digits.find_first_not_of('0', static_cast<size_t>(keep) + 1) != std::string::npos;
    const bool lastOdd = !kept.empty() && (kept.back() - '0') % 2 == 1;
    const bool up = first > '5' || (first == '5' && (restNonZero || lastOdd));
    long long shift = point;
    if (up) {
        // Adds one to the kept digits; a carry out of the first digit lengthens them.
        int i = int(kept.size()) - 1;
        while (i >= 0 && kept[size_t(i)] == '9')
            kept[size_t(i--)] = '0';
        if (i >= 0)
            ++kept[size_t(i)];
        else {
            kept.insert(kept.begin(), '1');
            ++shift;
        }
    }
    if (kept.empty() || kept.find_first_not_of('0') == std::string::npos)
        return std::copysign(0.0, x);
    const std::string plain = "0." + kept + "e" + std::to_string(shift);
    double value = 0;
    std::from_chars(plain.data(), plain.data() + plain.size(), value);
    return std::copysign(value, x);
}

std::optional<StepRow> stepTableRow(double h) {
    if (h >= 0 && h <= 0.099) return StepRow{0.01, 0.1};
    if (h >= 0.1 && h <= 0.99) return StepRow{0.1, 1};
    if (h >= 1 && h <= 1.99) return StepRow{0.1, roundHalfEven(h, 1) + 0.05};
    if (h >= 2 && h <= 2.99) return StepRow{0.1, roundHalfEven(h, 1) + 0.1};
    if (h >= 3 && h <= 9.99) return StepRow{0.5, roundHalfEven(h, 1) + 0.5};
    if (h >= 10 && h <= 15.99) return StepRow{1, roundHalfEven(h, 0) + 1};
    if (h >= 16 && h <= 30) return StepRow{2, roundHalfEven(h, 0) + 2};
    return std::nullopt;
}

StepRow temperaturePlotFallback(double h) {
    return StepRow{10, roundHalfEven(h, 0) + 5};
}

double niceStep(double span, int intervals) {
    if (!(span > 0) || !std::isfinite(span) || intervals < 1) return 1;
    const double raw = span / intervals;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude >= raw * (1 - 1e-12)) return m * magnitude;
    return 10 * magnitude;
}

StepRow loadPlotFallback(double h, double minimum) {
    // Between two rows: the row above, with its own formula.
    if (h > 0.099 && h < 0.1) return StepRow{0.1, 1};
    if (h > 0.99 && h < 1) return StepRow{0.1, roundHalfEven(h, 1) + 0.05};
    if (h > 1.99 && h < 2) return StepRow{0.1, roundHalfEven(h, 1) + 0.1};
    if (h > 2.99 && h < 3) return StepRow{0.5, roundHalfEven(h, 1) + 0.5};
    if (h > 9.99 && h < 10) return StepRow{1, roundHalfEven(h, 0) + 1};
    if (h > 15.99 && h < 16) return StepRow{2, roundHalfEven(h, 0) + 2};
    // Below 0 or above 30.
    const double maximum = h + 1;
    return StepRow{niceStep(maximum - minimum, 10), maximum};
}

bool preferredMaximumApplies(const QString& prefMaxY, double value) {
    if (!isNumberText(prefMaxY)) return true;
    return leadingNumber(prefMaxY) < value;
}

LoadScale loadScale(const LoadValues& v, const QString& prefMaxY) {
    // Automatic scaling first: the axis follows the values drawn.
    LoadScale s{v.lowest, v.highest, 1};
    if (v.temperatureMaximum && preferredMaximumApplies(prefMaxY, *v.temperatureMaximum))
        s.maximum = *v.temperatureMaximum + 1;
    if (preferredMaximumApplies(prefMaxY, v.loadMaximum)) s.maximum = v.loadMaximum + 1;
    s.minimum = v.lowest >= 0 ? 0 : roundHalfEven(v.lowest, 2);
    StepRow row;
    if (const auto matched = stepTableRow(v.highest))
        row = *matched;
    else if (v.temperatureMaximum)
        row = temperaturePlotFallback(v.highest);
    else
        row = loadPlotFallback(v.highest, s.minimum);
    s.step = row.step;
    s.maximum = row.maximum;
    return displayable(s);
}

LoadScale displayable(LoadScale s) {
    auto bound = [](double v) {
        if (std::isnan(v)) return 0.0;
        return std::clamp(v, -kLargestBound, kLargestBound);
    };
    s.minimum = bound(s.minimum);
    s.maximum = bound(s.maximum);
    if (!(s.maximum > s.minimum)) {
        const double pad = std::max(1.0, std::abs(s.minimum) * 0.1);
        if (s.minimum + pad <= kLargestBound) {
            s.maximum = s.minimum + pad;
        } else {
            s.maximum = kLargestBound;
            s.minimum = kLargestBound - pad;
        }
    }
    if (!(s.step > 0) || !std::isfinite(s.step)) s.step = niceStep(s.maximum - s.minimum, 10);
    return s;
}

TimeLabelling timeLabelling(std::optional<qint64> dayRange, const QDate& firstDay) {
    const QString title = QLocale::c().toString(firstDay, QStringLiteral("yyyy/MM/dd"));
    if (dayRange == 0) return TimeLabelling{qint64(2 * kHour), QStringLiteral("HH:mm"), title};
    if (dayRange == 1) return TimeLabelling{qint64(6 * kHour), QStringLiteral("HH:mm"), title};
    return initialTimeLabelling();
}

TimeLabelling initialTimeLabelling() {
    return TimeLabelling{qint64(kDay), QStringLiteral("yyyy/MM/dd"), QString()};
}

Span timeSpan(double first, double last) {
    if (last < first) std::swap(first, last);
    if (last > first) return Span{first, last};
    return Span{first - kHour, first + kHour};
}

double timeLabelStep(double span, double minimumStep, int fits) {
    fits = std::max(fits, 1);
    if (!(span > 0) || !std::isfinite(span)) return std::max(minimumStep, kMinute);
    for (double step : kTimeLadder)
        if (step >= minimumStep && span / step <= fits) return step;
    const double years = std::max(span / fits, minimumStep) / kYear;
    return nextOneTwoFive(years) * kYear;
}

double timeStepWithALabel(double lower, double upper, double step) {
    if (!timeTicks(lower, upper, step, 1).isEmpty()) return step;
    for (auto it = kTimeLadder.rbegin(); it != kTimeLadder.rend(); ++it)
        if (*it < step && timeTicks(lower, upper, *it, 2).size() == 1) return *it;
    return step;
}

QVector<double> timeTicks(double lower, double upper, double step, int limit) {
    QVector<double> ticks;
    if (!std::isfinite(lower) || !std::isfinite(upper) || !(step > 0) || upper < lower)
        return ticks;
    const int months = monthsIn(step);
    if (months == 0) {
        const double first = std::ceil(lower / step - 1e-9);
        for (double i = first; ticks.size() < limit; ++i) {
            const double t = i * step;
            if (t > upper + 1e-6) break;
            ticks << t;
        }
        return ticks;
    }
    // Calendar steps: the first of a month (or of January) at midnight.
    const QDate start = moment(lower).date();
    const int every = months < 12 ? months : 12 * std::max(1, int(std::lround(step / kYear)));
    long long index = qint64(start.year()) * 12 + (start.month() - 1);
    // The first month boundary at or after `lower` that falls on the step.
    auto boundary = [](long long monthIndex) {
        const int year = int(std::floor(double(monthIndex) / 12.0));
        const int month = int(monthIndex - qint64(year) * 12) + 1;
        return QDateTime(QDate(year, month, 1), QTime(0, 0), Qt::UTC);
    };
    if (secondsOf(boundary(index)) < lower - 1e-6) ++index;
    const long long remainder = ((index % every) + every) % every;
    if (remainder != 0) index += every - remainder;
    while (ticks.size() < limit) {
        const QDateTime at = boundary(index);
        if (!at.isValid()) break;
        const double t = secondsOf(at);
        if (t > upper + 1e-6) break;
        ticks << t;
        index += every;
    }
    return ticks;
}

double loadLabelStep(double span, double minimumStep, int fits) {
    fits = std::max(fits, 1);
    if (!(minimumStep > 0) || !std::isfinite(minimumStep)) minimumStep = 1;
    if (!(span > 0) || !std::isfinite(span)) return minimumStep;
    const double wanted = span / (minimumStep * fits);
    if (wanted <= 1) return minimumStep;
    return minimumStep * nextOneTwoFive(wanted);
}

double loadStepWithALabel(double lower, double upper, double step) {
    if (!(step > 0) || !std::isfinite(step) || !(upper > lower)) return step;
    double s = step;
    // A range holds a multiple of every step up to its width: a few dozen steps at most.
    for (int i = 0; i < 64 && loadTicks(lower, upper, s, 1).isEmpty(); ++i) {
        const double magnitude = std::pow(10.0, std::floor(std::log10(s)));
        const double m = s / magnitude;
        s = (m > 5.000001 ? 5 : m > 2.000001 ? 2 : m > 1.000001 ? 1 : 0.5) * magnitude;
    }
    return loadTicks(lower, upper, s, 1).isEmpty() ? step : s;
}

QVector<double> loadTicks(double lower, double upper, double step, int limit) {
    QVector<double> ticks;
    if (!std::isfinite(lower) || !std::isfinite(upper) || !(step > 0) || upper < lower)
        return ticks;
    const double first = std::ceil(lower / step - 1e-9);
    const double last = std::floor(upper / step + 1e-9);
    for (double i = first; i <= last && ticks.size() < limit; ++i)
        ticks << i * step;
    return ticks;
}

QString loadLabel(double value, double step) {
    if (std::abs(value) < std::abs(step) * 1e-9) value = 0; // never "-0.00"
    if (std::abs(value) >= 1e9) return QLocale::c().toString(value, 'g', 6);
    int decimals = 0;
    while (decimals < 12 && std::abs(roundHalfEven(step, decimals) - step) > step * 1e-9)
        ++decimals;
    return QLocale::c().toString(value, 'f', decimals);
}

QString timeLabel(double seconds, const QString& format) {
    if (!std::isfinite(seconds)) return QString();
    return QLocale::c().toString(moment(seconds), format);
}

} // namespace rv::axis
