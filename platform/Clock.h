#pragma once
// "Now" and "today" as wall-clock values (see core/DateText.h).
#include "core/DateText.h"

namespace rv {

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    QDate today() const { return now().date(); }
};

// The machine's clock, to the second, as the wall clock shows it.
class SystemClock : public Clock {
public:
    QDateTime now() const override {
        const QDateTime local = QDateTime::currentDateTime();
        const QTime t = local.time();
        return wallClock(local.date(), QTime(t.hour(), t.minute(), t.second()));
    }
};

} // namespace rv
