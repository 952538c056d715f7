#pragma once
// The rules of the datalogger import that need no widget and no database: the schema
// file's text, the proposal interval, reading a staged date text, the proposal marks,
// the reading made of a staged date text in each of the three date layouts, and the
// channel values written.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <optional>
#include <vector>

namespace rv {

// The date text a datalogger writes on a row that holds no reading (80 seconds): such a
// row is never proposed and never anchors the proposal.
inline const QString kSlugMarker = QStringLiteral("2000/01/01 00:00:80");

// The 19 lines of "Schema.ini", and the file's bytes (each line ended by CR LF).
const QStringList& schemaIniLines();
QByteArray schemaIniBytes();

// The proposal interval from the text of "Time Period (hr)": the text's leading-number
// value taken to the nearest whole number, halves going to the even number ("2.5" -> 2,
// "3.5" -> 4); an empty or non-numeric text gives 0.
double slugInterval(const QString& text);
double roundHalfEven(double value);

// In which order a date written with the year last gives its day and month.
enum class DayOrder { DayFirst, MonthFirst };
// The order of the machine's regional date form: day first when its short date form
// names the day before the month.
DayOrder regionalDayOrder();

// A staged date text read as a date and time, as the general date reader reads it: a
// year-first date ("2005/03/14", "2005-3-4"), or a date with the year last read in the
// given order ("14/03/2005" day first), or the machine's short date form; each optionally
// followed by blanks and a time "h:mm" or "h:mm:ss" (24-hour). Anything else, an
// impossible date or time (31/02/2005, 80 seconds) included, gives nothing.
std::optional<QDateTime> readSlugDateTime(const QString& text, DayOrder order);

// The number of hour boundaries crossed from one moment to a later one: both cut down to
// the whole hour, then the hours between them (10:59 to 11:01 counts 1, 10:01 to 10:59
// counts 0; negative when the second comes first).
qint64 hourBoundaries(const QDateTime& from, const QDateTime& to);

// Whether a reading's moment lies after the last day a reading may be dated (tomorrow by
// the program's clock): such a date is a logger's clock gone wrong, not a reading.
inline bool datedAfter(const QDateTime& moment, const QDate& lastDay) {
    return lastDay.isValid() && moment.date() > lastDay;
}

// The proposed marks (true: ticked, to be appended) of rows whose date texts are given
// in file order. The first row is ticked unless it is the marker. A later row is ticked
// when its moment is at least `interval` hour boundaries after the anchor, the moment of
// the last ticked row, and it is not the marker; it then becomes the anchor. A row whose
// date text cannot be read is not proposed (the first row excepted) and never anchors:
// until a row that can be read is reached, the next one that can is ticked. A row dated
// after `lastDay` is never proposed and never anchors, the first row included: the
// proposal goes on from the last row before it.
std::vector<char> proposeMarks(qint64 rows, const std::function<QString(qint64)>& dateText,
                               double interval, DayOrder order, const QDate& lastDay = QDate());

// How the date column of a datalogger file is laid out: the three options of the import
// window, by their index.
enum class SlugDateFormat { YearMonthDay = 0, DayMonthYear = 1, MonthDayYear = 2 };

// A reading's key, date and time texts and moment made of a staged date text.
struct SlugMoment {
    QString key;      // the identifier, a blank, yyyy/mm/dd, a blank, hh:nn:ss
    QString dateText; // yyyy/mm/dd
    QString timeText; // hh:nn:ss
    QDateTime fullDate;
};

// The reading made of the staged date text s in the chosen layout. YearMonthDay reads s
// as a date and time (readSlugDateTime). DayMonthYear and MonthDayYear cut s at fixed
// places: the date text is characters 7-10, "/", then characters 4-5 and 1-2 (day first)
// or 1-2 and 4-5 (month first); the time text is characters 12-19. Nothing is given when
// the texts so cut are not a real date as yyyy/mm/dd and a real time as hh:nn:ss, so that
// no reading is ever written with a malformed key or without its moment.
std::optional<SlugMoment> slugMoment(const QString& s, SlugDateFormat format,
                                     const QString& sensorId, DayOrder order);

// A date as "yyyy/MM/dd" (separator '/') or "yyyy-MM-dd" ('-'), and a time of day as
// "HH:mm:ss", written into out (10 and 8 characters) as the readings hold them, for years
// 1 to 9999. An import writes a hundred thousand of them: they are written digit by digit.
void writeDateDigits(char* out, const QDate& date, char separator);
void writeTimeDigits(char* out, const QTime& time);

// The value written into a channel column from a staged value: trimmed and formatted with
// "##0.0" (decimals 1) or "##0.00" (decimals 2). An empty value, or one that is not a
// number, leaves the column empty (Null).
QVariant importedChannel(const QString& staged, int decimals);

// "MS" + id + "_" + yyyy-mm-dd + ".txt": the archived copy of a downloaded file.
QString archiveFileName(const QString& sensorId, const QDate& day);
// "MS" + id + ".txt": the file a datalogger download leaves for the sensor.
QString downloadFileName(const QString& sensorId);

} // namespace rv
