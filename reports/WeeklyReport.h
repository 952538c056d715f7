#pragma once
// The weekly report: for the sensors of one Level, of one Location, or every sensor beyond
// its levels, a table of their latest loads against their alert and alarm loads with the
// change over a period, then a small Load v Time plot of each, written as a PDF document
// (A4) or an OpenDocument text (.odt) for the mine manager.
//
// The loads are those of "4. Load v Time": channel 1 less the installation offset as the
// offset box shows it, readings marked "Do not plot" or without a load left out
// (readSensorLoads). A reading whose load cannot be used (a text such as "1e999", too large
// for any number) or whose date cannot be read is left out of the figures and the plot as
// well, but never silently: the report says so under its table (weeklyNotes).
#include "alarms/AlarmLevels.h"
#include "platform/Status.h"
#include <QByteArray>
#include <QColor>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>
#include <vector>

namespace rv {

struct Session;
class Progress;

enum class WeeklyPeriod { Last7Days, Last30Days, Last90Days, AllReadings };

// "Last 7 days", "Last 30 days", "Last 90 days", "All readings".
QString periodCaption(WeeklyPeriod period);
// The first moment of the period as time-axis seconds (timeAxisValue): 00:00 of the first
// of its days, today being the last ("Last 7 days" on 2026/12/08 starts on 2026/12/02).
// None for all readings.
std::optional<double> periodStart(WeeklyPeriod period, const QDate& today);

// How a sensor's latest load stands against its levels; the colour of its row.
enum class LoadState { NoLevels, Within, Alert, Alarm };

// A sensor's figures over the period.
struct SensorFigures {
    bool hasReadings = false;             // any plotted reading in the period
    double latest = 0;                    // the load of the latest reading
    double change = 0;                    // latest less the first reading's load in the period
    std::optional<double> risePerDay;     // change per day between the first and latest reading
    std::optional<double> percentOfAlarm; // latest as a percentage of the alarm load
    LoadState state = LoadState::NoLevels;
};

// The figures from a sensor's loads (times in ascending order, as readSensorLoads gives
// them) and its levels; `from` leaves out readings before it. The state is the alarm
// rules' own judgement (checkLoad): at or above the alarm load is Alarm, else at or above
// the alert load is Alert. Without readings in the period, no state and no figures.
SensorFigures sensorFigures(const QVector<double>& times, const QVector<double>& loads,
                            const AlarmLevels& levels, std::optional<double> from);

// The plotted readings of a sensor in the period whose channel 1 holds a load (begins with
// a number) that cannot be used: one too large for any number, such as "1e999", which
// reads as infinite. They take no part in the figures or the plot.
struct UnusableLoads {
    qint64 count = 0;
    QString latestText; // the channel 1 of the latest of them, as stored
    QDateTime latestAt; // its date and time (a wall-clock value)
};

// One row of the table.
struct WeeklyRow {
    QString sensor;
    AlarmLevels levels;
    SensorFigures figures;
    QString problem; // set when the readings could not be read
    UnusableLoads unusable;
    qint64 undated = 0; // plotted readings holding a load whose date cannot be read
};

// The headings of the table's columns.
QStringList weeklyColumns();
// The texts of a row's cells, under weeklyColumns(). A sensor whose only readings in the
// period have loads that cannot be used has "No usable readings in the period".
QStringList weeklyCells(const WeeklyRow& row);
// The background of a row (invalid: none) and its text colour.
QColor rowBackground(LoadState state);
QColor rowText(LoadState state);

// Which sensors a report is of.
struct WeeklyChoice {
    enum class Kind { Level, Location, BeyondLevels };
    Kind kind = Kind::Level;
    QString name; // the Level or the Location
    WeeklyPeriod period = WeeklyPeriod::Last7Days;
    QString site; // may be empty
};

// The report as laid out: the heading, the table and the plots (PNG pictures).
struct WeeklyReport {
    QString title;
    QStringList heading;
    std::vector<WeeklyRow> rows;
    QString emptyNote; // said in place of the table when there are no rows
    struct Plot {
        QString sensor;
        QByteArray png;
    };
    std::vector<Plot> plots;
};

// What is said under the table, in the rows' order: a line for each sensor with readings in
// the period whose loads cannot be used ("200625001: 1 reading in the period has a load that
// cannot be used ("1e999" on 2026/03/13 12:00:00); it is left out of the figures and the
// plot."), and one for each with readings holding a load whose date and time cannot be read,
// which are in no period. Empty when every reading could be used.
QStringList weeklyNotes(const WeeklyReport& report);

// "Weekly report Level 3 2026-12-08": the name a document is offered under, with
// characters that no file name may hold replaced by "-".
QString weeklyFileName(const WeeklyChoice& choice, const QDate& today);

// Reads the chosen sensors (in identifier order; beyond their levels: alarms first) and
// draws their plots. A sensor without a readings table has no readings; one whose readings
// cannot be read says so in its row, and the failure is logged under " G_WeeklyReport".
// Progress counts the sensors; a cancel answers `cancelled` and a report not to be written.
struct WeeklyBuilt {
    WeeklyReport report;
    bool cancelled = false;
};
Result<WeeklyBuilt> buildWeeklyReport(Session& s, const WeeklyChoice& choice, Progress& progress);

// The document as a PDF (A4 portrait; several plots to a page) or an OpenDocument text,
// by the path's suffix (".pdf" or ".odt", in any case). The file is written whole or not
// at all: a failure leaves what was at the path before. Answers the pages of a PDF (0 for
// an .odt).
Result<int> writeWeeklyReport(const WeeklyReport& report, const QString& path);

// The OpenDocument text of the report, as bytes.
QByteArray weeklyOdt(const WeeklyReport& report);

} // namespace rv
