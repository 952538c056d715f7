#pragma once
// Alarm levels of a sensor: an alert load and an alarm load in tons, relative to the
// installation offset like the plotted loads, and a limit on how fast the load may rise,
// in tons per day. Each is optional. Pure rules: reading the typed levels, and judging a
// reading against them.
#include "platform/Status.h"
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <optional>

namespace rv {

struct AlarmLevels {
    std::optional<double> alert;      // tons
    std::optional<double> alarm;      // tons
    std::optional<double> ratePerDay; // tons per day
    bool empty() const { return !alert && !alarm && !ratePerDay; }
    bool operator==(const AlarmLevels&) const = default;
};

// Reads the three typed boxes. An empty box sets no level. A box that is not a plain
// number, a number too large for any level ("1e999"), a negative value, or an alert load
// above the alarm load is refused with a message that says which box and why.
Result<AlarmLevels> readAlarmLevels(const QString& alert, const QString& alarm,
                                    const QString& ratePerDay);

// The typed form of a level: its shortest decimal, or empty when there is none.
QString levelText(const std::optional<double>& level);

// Whether a reading's channel 1 holds a load: a text that begins with a number
// (hasLeadingNumber: "12.5", " -0.3", ".5 t", "1e999"). An empty channel, a
// Null one, or a text such as a logger's "ERR" holds none: such a reading is no load of
// zero and takes no part in the plots or the level checks (it stays a reading).
bool holdsLoad(std::optional<QStringView> channel1);

enum class LevelReached { None, Alert, Alarm };

struct LevelCheck {
    LevelReached reached = LevelReached::None;
    bool rateExceeded = false;
    double risePerDay = 0; // the rise from the previous reading, when there is one
    bool any() const { return reached != LevelReached::None || rateExceeded; }
};

// A reading's load (and, when there is one, the previous plotted reading's load and
// moment) judged against the levels, to a ten-thousandth of a ton (so that the offset's
// single precision never puts a load shown at a level below it): at or above the alarm
// load is Alarm, else at or above the alert load is Alert; the rise exceeds the limit
// when it is faster than the limit allows. Two readings at the same moment compare the
// rise itself with the limit.
struct LoadAt {
    double load = 0;
    QDateTime at;
};
LevelCheck checkLoad(const LoadAt& reading, const std::optional<LoadAt>& previous,
                     const AlarmLevels& levels);

// What the notice says of a check, e.g. "ALARM: load 12.50 t is at or above the alarm
// load of 12 t". Empty when nothing is reached.
QString levelNotice(const LevelCheck& check, double load, const AlarmLevels& levels);

} // namespace rv
