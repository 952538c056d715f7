#pragma once
// A sensor's alert and alarm loads drawn across a plot as labelled horizontal lines: a
// dashed line at the level's value on the load axis, its label ("Alert 10 t") at the
// right end, just above the line (just below it when the line lies so near the top of the
// plot area that a label above would be cut off). The lines never take part in scaling an
// axis: a level outside the load axis' range is simply not seen.
#include "alarms/AlarmLevels.h"
#include <QColor>
#include <QString>
#include <vector>

class QCustomPlot;
class QCPAxisRect;
class QCPItemStraightLine;
class QCPItemText;

namespace rv {

// The colours of the two plots' level lines: amber for the alert load, red for the alarm.
inline const QColor kAlertLineColour(230, 140, 0);
inline const QColor kAlarmLineColour(210, 30, 30);

// One line: where it is drawn, how, and what its label says.
struct LevelLine {
    double value = 0; // on the load axis
    QColor colour;
    Qt::PenStyle style = Qt::DashLine;
    double width = 1.5;
    QString label;
    bool operator==(const LevelLine&) const = default;
};

// "Alert 10 t", "Alarm 14.5 t": the level in its shortest decimal form.
QString levelLineLabel(LevelReached kind, double value);

// The lines of a sensor's levels: the alert load first, then the alarm load; none for a
// level that is not set (the rate limit is no line). Without colours given, alert lines
// are amber and alarm lines red; a prefix goes before each label ("200625001: ").
struct LevelLineStyle {
    QColor alert = kAlertLineColour;
    QColor alarm = kAlarmLineColour;
    QString prefix;
};
std::vector<LevelLine> levelLines(const AlarmLevels& levels, const LevelLineStyle& style = {});

// The two items of a line drawn on a plot.
struct LevelLineItems {
    QCPItemStraightLine* line = nullptr;
    QCPItemText* label = nullptr;
};

// Draws a line across the axis rect (on its bottom and left axes) of a plot.
LevelLineItems addLevelLine(QCustomPlot& plot, QCPAxisRect& rect, const LevelLine& line);
// What the items draw, read back from them.
LevelLine drawnLevelLine(const LevelLineItems& items);
// Removes the items from their plot.
void removeLevelLine(QCustomPlot& plot, const LevelLineItems& items);

} // namespace rv
