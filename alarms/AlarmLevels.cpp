#include "alarms/AlarmLevels.h"
#include "core/NumberText.h"
#include <cmath>

namespace rv {

namespace {

Result<std::optional<double>> readLevel(const QString& typed, const QString& what) {
    const QString text = typed.trimmed();
    if (text.isEmpty()) return std::optional<double>();
    if (!isNumberText(text))
        return Error{err::TypeMismatch, QStringLiteral("The ") + what + QStringLiteral(" \"") +
                                            text +
                                            QStringLiteral("\" is not a number. Type a "
                                                           "number such as 12.5, or leave the "
                                                           "box empty for no level.")};
    const double value = leadingNumber(text);
    // "1e999" is written as a number but no double holds it: an infinite level would never
    // be reached and could not be stored.
    if (!std::isfinite(value))
        return Error{err::InvalidArgument, QStringLiteral("The ") + what + QStringLiteral(" \"") +
                                               text + QStringLiteral("\" is too large.")};
    if (value < 0)
        return Error{err::InvalidArgument,
                     QStringLiteral("The ") + what + QStringLiteral(" cannot be negative.")};
    return std::optional<double>(value);
}

} // namespace

Result<AlarmLevels> readAlarmLevels(const QString& alert, const QString& alarm,
                                    const QString& ratePerDay) {
    AlarmLevels levels;
    const auto a = readLevel(alert, QStringLiteral("alert load"));
    if (!a) return a.error();
    const auto b = readLevel(alarm, QStringLiteral("alarm load"));
    if (!b) return b.error();
    const auto r = readLevel(ratePerDay, QStringLiteral("rate limit"));
    if (!r) return r.error();
    levels.alert = a.value();
    levels.alarm = b.value();
    levels.ratePerDay = r.value();
    if (levels.alert && levels.alarm && *levels.alert > *levels.alarm)
        return Error{err::InvalidArgument,
                     QStringLiteral("The alert load (") + plainDecimal(*levels.alert) +
                         QStringLiteral(" tons) is above the alarm load (") +
                         plainDecimal(*levels.alarm) +
                         QStringLiteral(" tons). The alert load warns before the alarm load, "
                                        "so it must not be higher.")};
    return levels;
}

bool holdsLoad(std::optional<QStringView> channel1) {
    return channel1 && hasLeadingNumber(*channel1);
}

QString levelText(const std::optional<double>& level) {
    return level ? plainDecimal(*level) : QString();
}

namespace {

// A load is read against a level to a ten-thousandth of a ton. Loads are the reading less
// the offset held in single precision, which moves them off their decimal value by up to
// 0.00005 t for an offset under 1,500 t: 10.10 less an offset of 0.10 is 9.99999999851,
// shown as 10.00, and it is at the alert load of 10. Readings are taken to a hundredth.
constexpr double kLevelResolution = 1e-4;

bool reaches(double load, double level) {
    return load >= level - kLevelResolution;
}

} // namespace

LevelCheck checkLoad(const LoadAt& reading, const std::optional<LoadAt>& previous,
                     const AlarmLevels& levels) {
    LevelCheck check;
    if (levels.alarm && reaches(reading.load, *levels.alarm))
        check.reached = LevelReached::Alarm;
    else if (levels.alert && reaches(reading.load, *levels.alert))
        check.reached = LevelReached::Alert;
    if (previous && previous->at.isValid() && reading.at.isValid()) {
        const double rise = reading.load - previous->load;
        const double days = previous->at.secsTo(reading.at) / 86400.0;
        check.risePerDay = days > 0 ? rise / days : rise;
        if (levels.ratePerDay && rise > 0 && check.risePerDay > *levels.ratePerDay)
            check.rateExceeded = true;
    }
    return check;
}

QString levelNotice(const LevelCheck& check, double load, const AlarmLevels& levels) {
    QStringList parts;
    const QString loadText = formatNumber(load, 2) + QStringLiteral(" tons");
    if (check.reached == LevelReached::Alarm)
        parts << QStringLiteral("ALARM: load ") + loadText +
                     QStringLiteral(" is at or above the alarm load of ") +
                     plainDecimal(*levels.alarm) + QStringLiteral(" tons");
    else if (check.reached == LevelReached::Alert)
        parts << QStringLiteral("ALERT: load ") + loadText +
                     QStringLiteral(" is at or above the alert load of ") +
                     plainDecimal(*levels.alert) + QStringLiteral(" tons");
    if (check.rateExceeded)
        parts << QStringLiteral("RISING FAST: ") + formatNumber(check.risePerDay, 2) +
                     QStringLiteral(" tons/day since the previous reading (limit ") +
                     plainDecimal(*levels.ratePerDay) + QStringLiteral(" tons/day)");
    return parts.join(QStringLiteral("; "));
}

} // namespace rv
