#pragma once
// The rules of the Readings tab that need no widget and no database: which typed
// characters the number boxes take, the limits of a sensor type and their messages,
// the reading counter, and reading a stored date or time of day back.
#include <QDate>
#include <QString>
#include <QTime>
#include <QVariant>
#include <optional>

namespace rv {

// Whether a character typed into a load or temperature box reaches the box: backspace
// (8), tab (9), enter (13), "-" (45), "." (46), the digits (48 to 57) and delete (127).
// Every other character code is discarded.
bool acceptsReadingKey(int code);

// A lowest and a highest accepted value. Both ends are accepted.
struct Limits {
    double low = 0;
    double high = 0;
    bool accepts(double value) const { return low <= value && value <= high; }
};

// The limits of a sensor type, each taken as the leading-number value of its text.
struct ReadingLimits {
    Limits load;          // lowval, highval
    bool testTemperature; // tempchannel: the temperature is tested unless this is false
    Limits temperature;   // templow, temphigh
};

// A limit column as a number: the leading-number value of its text (Null gives 0).
double limitValue(const QVariant& column);

// "Error: Channel 1 must be > 0 and < 300": the limits in their plain decimal form.
QString loadLimitMessage(int channel, const Limits& limits);
// "Error: Channel T must be > -20 and < 60".
QString temperatureLimitMessage(const Limits& limits);

// "3 of 17": the 1-based position, " of ", the number of readings; "0 of 0" when there
// are none.
QString readingCounter(qint64 position, qint64 count);

// The date of a stored date value (a date, or a text the date reader accepts).
std::optional<QDate> storedDate(const QVariant& value);
// The time of day of a stored time value: a text "h:mm:ss" or "h:mm" on the 24-hour
// clock, or the time of a date-and-time value.
std::optional<QTime> storedTime(const QVariant& value);
// The date and the time of day named by a reading key: the identifier, a blank,
// yyyy/mm/dd, a blank, hh:nn:ss.
std::optional<QDate> keyDate(const QString& key);
std::optional<QTime> keyTime(const QString& key);

// A time of day to the whole second, as the readings hold it.
QTime toSecond(const QTime& time);

} // namespace rv
