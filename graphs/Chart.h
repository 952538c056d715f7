#pragma once
// The chart of the two plot tabs: a title, the load axis on the left and the time axis at
// the bottom, eleven line series, a legend at the right with a check box per listed
// series, zooming by dragging a rectangle, scrolling the load axis by dragging over it,
// and pictures of the chart as it stands for export and printing.
//
// The chart only shows what a drawing gives it; the drawing procedures (ChartPage) and
// the scale rules (AxisRules.h) decide what that is.
#include "graphs/AxisRules.h"
#include "graphs/LevelLines.h"
#include <QImage>
#include <QPointer>
#include <array>
#include <qcustomplot.h>

namespace rv {

class LoadTicker;

// Wall-clock labels on a time axis that holds seconds since 1970-01-01 00:00 of the wall
// clock (timeAxisValue), labelled as such under any time zone, in the format and at the
// smallest step of a labelling (axis::timeLabelling), never overlapping.
class TimeTicker : public QCPAxisTicker {
public:
    explicit TimeTicker(QCPAxis* axis) : m_axis(axis) {}
    void setLabelling(const axis::TimeLabelling& labelling) { m_labelling = labelling; }
    const axis::TimeLabelling& labelling() const { return m_labelling; }

protected:
    double getTickStep(const QCPRange& range) override;
    int getSubTickCount(double) override { return 0; }
    QString getTickLabel(double tick, const QLocale&, QChar, int) override;
    QVector<double> createTickVector(double step, const QCPRange& range) override;

private:
    QPointer<QCPAxis> m_axis;
    axis::TimeLabelling m_labelling = axis::initialTimeLabelling();
};

class Chart : public QCustomPlot {
    Q_OBJECT
public:
    static constexpr int kSeriesCount = 11;
    static constexpr int kTemperatureSeries = 0;
    static constexpr int kLoadSeries = 1;
    // The size the chart is designed for; pictures are made at this size.
    static constexpr QSize kDesignSize{983, 601};
    // Drags shorter than this (pixels, in both directions) neither zoom nor restore.
    static constexpr int kZoomThreshold = 5;

    explicit Chart(const QString& name, QWidget* parent = nullptr);
    ~Chart() override;

    QCPGraph* series(int n) const { return m_series[std::size_t(n)]; }
    QString titleText() const;
    void setTitleText(const QString& text);
    QCPAxis* loadAxis() const { return yAxis; }
    QCPAxis* timeAxis() const { return xAxis; }

    // The smallest distance between two load labels (more when they would overlap).
    void setLoadStep(double step);
    double loadStep() const;
    // The time axis' smallest label step, label format and title.
    void setTimeLabelling(const axis::TimeLabelling& labelling);
    axis::TimeLabelling timeLabelling() const;

    // The legend lists series in the order they are added; each line has a check box.
    void clearLegend();
    void listInLegend(int n);
    QList<int> listedSeries() const;
    QStringList legendTitles() const;
    // Where the legend line of series n is (widget pixels); empty when not listed.
    QRect legendEntryRect(int n) const;
    // A listed series is shown or hidden with its check box.
    void setSeriesShown(int n, bool shown);
    bool seriesShown(int n) const;

    // The view a drawing set; unzoom() returns to it from any zoom or scroll.
    void setFullView(const QCPRange& time, const QCPRange& load);
    void unzoom();
    void zoomTo(const QRect& pixels);
    bool zoomed() const;
    // The keyboard's zooming, each followed by a redrawing: into the middle half of the
    // plot area (as dragging a rectangle over it would); out to twice the span around the
    // middle, never beyond the view the drawing set; and back to that whole view (as
    // dragging from right to left does).
    void zoomIn();
    void zoomOut();
    void showWhole();

    // The current sensor's alert and alarm loads as labelled horizontal lines across the
    // plot area (none: no lines). They follow zooming and scrolling but never change the
    // load axis' range.
    void setLevelLines(const std::vector<LevelLine>& lines);
    // The level lines as drawn, read back from the chart.
    std::vector<LevelLine> levelLines() const;

    // A message drawn in the middle of the plot area (empty: none).
    void setNotice(const QString& text);
    QString notice() const;

    // The chart as it stands (zoom, scroll, hidden series) drawn at the given size.
    QImage picture(const QSize& size = kDesignSize);
    // The chart as it stands, laid out at the design size and stretched over target, on
    // any painter (a printed page).
    void paintStretched(QCPPainter& painter, const QRect& target);

    // The fonts of the design: "Trebuchet MS" bold, or the nearest sans-serif face.
    static QFont designFont(int pixelSize);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void buildLayout();
    void buildAxes();
    void buildSeries();
    // Lays the chart out at a size (a picture's, or its own again).
    void layOutAt(const QSize& size);
    // The top margin (2 % of the height) and the legend's top (7 % of the height) for a
    // chart of that size.
    void fitDecorations(const QSize& size);
    void rectangleDragged(const QRect& rect, QMouseEvent* event);
    bool overLoadAxis(const QPoint& pos) const;
    bool overShownSeries(const QPointF& pos) const;
    int legendEntryAt(const QPoint& pos) const;

    std::array<QCPGraph*, kSeriesCount> m_series{};
    QCPTextElement* m_title = nullptr;
    QCPTextElement* m_legendHeading = nullptr;
    QCPLayoutElement* m_legendSpacer = nullptr;
    QCPItemText* m_notice = nullptr;
    QSharedPointer<LoadTicker> m_loadTicker;
    QSharedPointer<TimeTicker> m_timeTicker;
    QList<int> m_listed;
    std::vector<LevelLineItems> m_levels;
    QCPRange m_fullTime{0, 86400};
    QCPRange m_fullLoad{0, 20};

    enum class Press { None, Rectangle, LoadAxis, Click };
    Press m_press = Press::None;
    QPoint m_pressPos;
    QCPRange m_pressLoad;
};

// The area of a printed page the chart is stretched over: the page less 5 % of its width
// on the left and right and 5 % of its height at the top and bottom.
QRect printArea(const QRect& page);

} // namespace rv
