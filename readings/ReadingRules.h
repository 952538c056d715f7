#pragma once
// The rules of the Readings tab that need no widget and no database: which typed
// characters the number boxes take, the limits of a sensor type and their messages,
// the reading counter, and reading a stored date or time of day back.
#include "alarms/AlarmLevels.h"
#include "core/NumberText.h"
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

// Whether the text typed into a load or temperature box may be written into a reading:
// empty, a number, or the value the reading already holds (a logger's "ERR" left as it
// is). Blanks around the text do not count.
bool isReadingValue(const QString& typed, const QString& stored);

// "Error: Load 1 of the reading <key> is not a number: 1.2.3": the line shown when a box
// holds a text that cannot be written into the reading.
QString notNumberError(const QString& box, const QString& readingKey, const QString& typed);
// The message shown when a reading is written back without validation (the tab is left,
// a window opens) while a box holds such a text: the reading keeps its stored values.
QString notNumberNotSaved(const QString& box, const QString& readingKey, const QString& typed);

// What the level notice says of a reading whose channel 1 reads `reading` tons with the
// installation offset `offset`: its load above the offset, where that load comes from,
// and the level it reached; the rise per day since the previous plotted reading (whose
// load was `previousLoad`) when that is too fast. Empty when nothing is reached. E.g.
// "ALARM: load 56.65 t above the installation offset (reading 136.65 t \u2212 offset
// 80.00 t) is at or above the alarm load of 50 t".
QString readingLevelNotice(const LevelCheck& check, double reading, double offset,
                           std::optional<double> previousLoad, const AlarmLevels& levels);

// The message of a save refused because another engineer on the site server changed the
// reading shown: the refusal (who and when), then the values stored now and what saving
// again does. An empty value reads "none".
QString changedMeanwhileText(const QString& refusal, const QString& temperature,
                             const QString& load);

} // namespace rv
