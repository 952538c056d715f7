#pragma once
// The comparison plot: one curve per sensor on a shared time axis, each in a colour of its
// own with its alert and alarm loads as dashed lines in that colour, a legend under the
// plot (a click on a sensor hides or shows it), zooming with the mouse wheel and moving
// the view by dragging.
#include "compare/CompareData.h"
#include "graphs/LevelLines.h"
#include <QImage>
#include <qcustomplot.h>
#include <vector>

namespace rv {

class TimeTicker;

class ComparePlot : public QCustomPlot {
    Q_OBJECT
public:
    // The size pictures are made at when the plot is not on screen.
    static constexpr QSize kPictureSize{1100, 650};

    explicit ComparePlot(QWidget* parent = nullptr);

    // Draws the curves (replacing any drawn before) under a title.
    void draw(const std::vector<SensorCurve>& curves, const QString& title);
    // An empty plot (no curves, no title, no scale on either axis) with a hint in the
    // middle of the plot area; the plot starts so, without a hint.
    void showEmpty(const QString& hint);
    // The hint shown, empty when curves are drawn.
    QString hint() const;
    // The colour of the n-th sensor drawn (0-based): ten distinct colours, then more.
    static QColor sensorColour(int n);

    QString titleText() const;
    // The sensors drawn, in order (the legend's names), and their level lines as drawn.
    QStringList sensorNames() const;
    std::vector<LevelLine> levelLinesOf(int n) const;
    QCPGraph* curve(int n) const { return graph(n); }
    // Hides or shows a sensor's curve and its level lines, as a click on its legend line.
    void setSensorShown(int n, bool shown);

    // The view of the whole data, as after a drawing.
    void showWhole();
    // The plot as it stands (zoom, hidden sensors), at its own size or kPictureSize, the
    // whole legend inside the picture.
    QImage picture();

private:
    void legendClicked(QCPLegend*, QCPAbstractLegendItem* item, QMouseEvent*);
    void timeRangeChanged(const QCPRange& range);

    void clear();
    // As many legend lines side by side as fit in a plot of that width (at most
    // kLegendColumns, at least one).
    void fitLegend(int width);

    QCPTextElement* m_title = nullptr;
    QCPItemText* m_hint = nullptr;
    QSharedPointer<TimeTicker> m_timeTicker;
    std::vector<std::vector<LevelLineItems>> m_levels; // per sensor
    QCPRange m_wholeTime{0, 86400};
    QCPRange m_wholeLoad{0, 1};
};

} // namespace rv
