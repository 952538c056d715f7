#pragma once
// The data behind the two plots: which readings of the current sensor are plotted (the
// rows whose DoNotPlot is false, in FullDate order), the recomputation of their loads and
// temperatures from the installation offset, and the values a drawing reads.
#include "platform/Status.h"
#include <QDate>
#include <QString>
#include <QVector>
#include <optional>

namespace rv {

struct Session;
class Connection;
class Progress;

// Opens rsGraph on the current sensor's plottable readings and makes the first current.
// A sensor without a readings table is announced ("The data table for Sensor ... could
// not be found"), its table is created, and the failed open is logged; rsGraph then
// stays closed. Any other failure is only logged (a readings table that exists is never
// offered for replacement because of it).
void OpenGraphData(Session& s);

// The number of plottable readings of the current sensor (not marked "Do not plot", and
// their channel 1 holding a load: see holdsLoad), with the same handling of a missing
// table as OpenGraphData; 0 when they cannot be counted, -1 when the site server could not
// be reached (which the engineer has been told). Counting does not read the readings
// themselves.
qint64 CountGraphData(Session& s);

enum class Recomputed { Done, Cancelled, NotStored };

// Brings zero1 (the load after the offset) and NumTemp (the temperature) of every
// plottable reading up to date and stores them, in one transaction with one prepared
// statement; readings marked DoNotPlot are never touched. Only the readings whose stored
// values differ are written: entering a plot again with the offset unchanged writes none.
// offsetText is the text of the installation offset as shown at that moment; expected, the number
// of plottable readings when known (for the progress). A value that cannot be stored (an infinite
// load from a text such as "1e999") is stored as Null and logged under " G_SetZeros",
// once per reading. A failure to store (a database that can only be read) leaves every
// reading as it was, with one entry under " G_GetTemporalData", and answers NotStored: the
// values are then drawn as computed in memory (readPlotData with the offset). A cancel
// through the progress leaves every reading as it was too (without the entry).
// Given `plot`, an engine that computes the loads in the program (a site server) fills it
// from the same read of the readings as a drawing would take it from rsGraph, and sets
// *filled; the file leaves it alone (the drawing then reads rsGraph).
struct PlotData;
Recomputed G_GetTemporalData(Session& s, const QString& offsetText, Progress& progress,
                             qint64 expected = 0, PlotData* plot = nullptr, bool* filled = nullptr);

// The values a drawing takes from rsGraph (opened by OpenGraphData), one entry per
// plottable reading in the recordset's order. A reading whose channel 1 holds no load
// (holdsLoad) is left out altogether, as is one without a readable FullDate, which has
// no place on the time axis; a Null zero1 or NumTemp leaves out that series' point only.
// With an offset given, the loads and temperatures are computed from the channels as
// G_GetTemporalData computes them (a value it would store as Null is left out) instead
// of being read from zero1 and NumTemp: for when they could not be stored.
struct PlotData {
    QVector<double> loadTimes, loads;               // series "Load 1"
    QVector<double> temperatureTimes, temperatures; // series "Temp (C)"
    int readings = 0;                               // rows read
    std::optional<qint64> dayRange; // ReadingDate of the last row less that of the first
    QDate firstDay;
};
PlotData readPlotData(Session& s, std::optional<double> computeWithOffset = std::nullopt);

// The loads of one sensor's plottable readings exactly as "4. Load v Time" draws them
// (the rows whose DoNotPlot is false and whose channel 1 holds a load, channel 1 less the
// installation offset given as the offset box would show it, a load that cannot be stored
// left out, the points in time order), computed without storing anything: one query on
// the sensor's readings table (readPlottedLoads).
// A missing or unreadable table is a failure; nothing is created or announced.
struct SensorLoads {
    QVector<double> times, loads;
    qint64 readings = 0; // plottable rows read
    // The readings left out for a load that cannot be stored, in the table's order
    // (PlottedLoads).
    QVector<double> unusableTimes;
    QStringList unusableTexts;
    qint64 undated = 0; // readings holding a load left out for a date that cannot be read
};
Result<SensorLoads> readSensorLoads(Connection& c, const QString& instrumentId,
                                    const QString& offsetText);

// Seconds of wall-clock time on the time axis for a stored date and time.
double timeAxisValue(const QDateTime& wallClock);

} // namespace rv
