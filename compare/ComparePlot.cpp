#include "compare/ComparePlot.h"
#include "graphs/AxisRules.h"
#include "graphs/Chart.h"
#include <QDateTime>
#include <algorithm>
#include <array>

namespace rv {

namespace {

// Curves with more points than this are drawn as lines alone: markers on every reading
// of a long record would only blot the line.
constexpr int kMarkerLimit = 400;
// Legend lines side by side under the plot.
constexpr int kLegendColumns = 6;

const std::array<QColor, 10> kPalette = {
    QColor(0, 90, 200),  QColor(0, 150, 60),   QColor(150, 40, 170), QColor(0, 160, 170),
    QColor(190, 95, 0),  QColor(220, 20, 120), QColor(90, 90, 90),   QColor(130, 110, 0),
    QColor(40, 40, 130), QColor(200, 30, 30)};

QFont plotFont(int pixelSize, bool bold = false) {
    QFont font = Chart::designFont(pixelSize);
    font.setBold(bold);
    return font;
}

} // namespace

QColor ComparePlot::sensorColour(int n) {
    if (n >= 0 && n < int(kPalette.size())) return kPalette[std::size_t(n)];
    // Beyond the palette: hues spread by the golden angle, alternately darker.
    return QColor::fromHsv((n * 137) % 360, 220, n % 2 ? 150 : 200);
}

ComparePlot::ComparePlot(QWidget* parent) : QCustomPlot(parent) {
    setObjectName(QStringLiteral("ChartCompare"));
    setBackground(Qt::white);
    setMinimumSize(480, 320);
    setNoAntialiasingOnDrag(true);
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);

    m_title = new QCPTextElement(this, QString(), plotFont(16, true));
    plotLayout()->insertRow(0);
    plotLayout()->addElement(0, 0, m_title);
    // The legend under the plot, its lines side by side.
    QCPAxisRect* rect = axisRect();
    rect->insetLayout()->take(legend);
    plotLayout()->addElement(2, 0, legend);
    plotLayout()->setRowStretchFactor(2, 0.001);
    legend->setVisible(true);
    legend->setFont(plotFont(12));
    legend->setBorderPen(QPen(Qt::gray, 1));
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend->setWrap(kLegendColumns);
    // Legend lines answer clicks (legendClick) without ever being selected: legend
    // selection is not among the plot's interactions.
    legend->setSelectableParts(QCPLegend::spItems);
    legend->setMargins(QMargins(6, 3, 6, 3));
    // Room around the plot's edges, so that the legend's frame is never on them.
    plotLayout()->setMargins(QMargins(4, 0, 6, 6));
    connect(this, &QCustomPlot::beforeReplot, this, [this] { fitLegend(width()); });

    for (QCPAxis* a : {xAxis, yAxis}) {
        a->setTickLabelFont(plotFont(12));
        a->setLabelFont(plotFont(13, true));
        a->grid()->setPen(QPen(QColor(210, 210, 210), 1));
        a->setSubTicks(false);
    }
    yAxis->setLabel(QStringLiteral("Load (tons)"));
    m_timeTicker = QSharedPointer<TimeTicker>::create(xAxis);
    xAxis->setTicker(m_timeTicker);
    xAxis->setTickLabelRotation(15);
    connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &ComparePlot::timeRangeChanged);
    connect(this, &QCustomPlot::legendClick, this, &ComparePlot::legendClicked);

    m_hint = new QCPItemText(this);
    m_hint->setClipToAxisRect(false);
    m_hint->position->setType(QCPItemPosition::ptAxisRectRatio);
    m_hint->position->setCoords(0.5, 0.5);
    m_hint->setPositionAlignment(Qt::AlignCenter);
    m_hint->setTextAlignment(Qt::AlignCenter);
    m_hint->setFont(plotFont(15));
    m_hint->setColor(QColor(90, 90, 90));
    showEmpty(QString());
}

void ComparePlot::clear() {
    for (const auto& lines : m_levels)
        for (const LevelLineItems& items : lines)
            removeLevelLine(*this, items);
    m_levels.clear();
    clearGraphs();
}

void ComparePlot::showEmpty(const QString& hint) {
    clear();
    m_title->setText(QString());
    m_hint->setText(hint);
    m_hint->setVisible(!hint.isEmpty());
    // No dates and no loads: an axis with nothing on it would only show the epoch.
    for (QCPAxis* a : {xAxis, yAxis}) {
        a->setTickLabels(false);
        a->setTicks(false);
        a->grid()->setVisible(false);
    }
    yAxis->setLabel(QString());
    xAxis->setLabel(QString());
    legend->setVisible(false);
    replot();
}

QString ComparePlot::hint() const {
    return m_hint->visible() ? m_hint->text() : QString();
}

void ComparePlot::draw(const std::vector<SensorCurve>& curves, const QString& title) {
    clear();
    m_title->setText(title);
    m_hint->setVisible(false);
    for (QCPAxis* a : {xAxis, yAxis}) {
        a->setTickLabels(true);
        a->setTicks(true);
        a->grid()->setVisible(true);
    }
    yAxis->setLabel(QStringLiteral("Load (tons)"));
    legend->setVisible(true);

    double first = 0, last = 0, lowest = 0, highest = 0;
    bool any = false;
    for (std::size_t n = 0; n < curves.size(); ++n) {
        const SensorCurve& c = curves[n];
        const QColor colour = sensorColour(int(n));
        QCPGraph* g = addGraph(xAxis, yAxis);
        g->setName(c.instrumentId);
        g->setPen(QPen(colour, 1.5));
        g->setLineStyle(QCPGraph::lsLine);
        g->setAdaptiveSampling(true);
        if (c.times.size() <= kMarkerLimit)
            g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, colour, colour, 5));
        g->setData(c.times, c.loads, true);

        std::vector<LevelLineItems> lines;
        for (const LevelLine& line :
             levelLines(c.levels, {colour, colour, c.instrumentId + QStringLiteral(": ")}))
            lines.push_back(addLevelLine(*this, *axisRect(), line));
        m_levels.push_back(std::move(lines));

        if (c.times.isEmpty()) continue;
        const auto [lo, hi] = std::minmax_element(c.loads.cbegin(), c.loads.cend());
        if (!any) {
            first = c.times.front();
            last = c.times.back();
            lowest = *lo;
            highest = *hi;
            any = true;
        } else {
            first = std::min(first, c.times.front());
            last = std::max(last, c.times.back());
            lowest = std::min(lowest, *lo);
            highest = std::max(highest, *hi);
        }
    }

    // The time axis from the first to the last reading; the load axis from the data
    // (from 0 when no load is below it), a twentieth of the span spare at either end.
    // The level lines take no part: a level beyond the loads is off the view.
    const axis::Span time = any ? axis::timeSpan(first, last) : axis::Span{0, 86400};
    m_wholeTime = QCPRange(time.lower, time.upper);
    // As on the plot tabs, the axis stops at the largest bound: an absurd load (1e300) is
    // drawn off the view instead of making a range the plot refuses, which would leave
    // every other sensor's loads off the view.
    lowest = std::clamp(lowest, -axis::kLargestBound, axis::kLargestBound);
    highest = std::clamp(highest, -axis::kLargestBound, axis::kLargestBound);
    const double span = std::max(highest - std::min(lowest, 0.0), 1e-9);
    const double spare = highest > lowest ? span / 20 : 1.0;
    m_wholeLoad = QCPRange(lowest >= 0 ? 0.0 : lowest - spare, highest + spare);
    if (!QCPRange::validRange(m_wholeLoad)) m_wholeLoad = QCPRange(0, 1);
    // The labelling follows the range shown, also when it is the range already shown.
    timeRangeChanged(m_wholeTime);
    showWhole();
}

void ComparePlot::showWhole() {
    xAxis->setRange(m_wholeTime);
    yAxis->setRange(m_wholeLoad);
    // The labels' spacing is chosen from the plot area's size before the drawing lays it
    // out: when the layout changes (the first drawing, a new legend, a resized window)
    // the drawing is made again with the real size.
    const QRect before = axisRect()->rect();
    replot();
    if (axisRect()->rect() != before) replot();
}

void ComparePlot::timeRangeChanged(const QCPRange& range) {
    // Labels for the days in view: hours when a day or two is shown, dates otherwise.
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(qint64(range.lower * 1000), Qt::UTC);
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(qint64(range.upper * 1000), Qt::UTC);
    const axis::TimeLabelling labelling =
        axis::timeLabelling(from.date().daysTo(to.date()), from.date());
    m_timeTicker->setLabelling(labelling);
    xAxis->setLabel(labelling.title);
}

QString ComparePlot::titleText() const {
    return m_title->text();
}

QStringList ComparePlot::sensorNames() const {
    QStringList names;
    for (int n = 0; n < graphCount(); ++n)
        names << graph(n)->name();
    return names;
}

std::vector<LevelLine> ComparePlot::levelLinesOf(int n) const {
    std::vector<LevelLine> lines;
    if (n < 0 || n >= int(m_levels.size())) return lines;
    for (const LevelLineItems& items : m_levels[std::size_t(n)])
        lines.push_back(drawnLevelLine(items));
    return lines;
}

void ComparePlot::setSensorShown(int n, bool shown) {
    if (n < 0 || n >= graphCount()) return;
    graph(n)->setVisible(shown);
    for (const LevelLineItems& items : m_levels[std::size_t(n)]) {
        items.line->setVisible(shown);
        items.label->setVisible(shown);
    }
    if (auto* item = legend->itemWithPlottable(graph(n)))
        item->setTextColor(shown ? Qt::black : Qt::gray);
    replot();
}

void ComparePlot::legendClicked(QCPLegend*, QCPAbstractLegendItem* item, QMouseEvent*) {
    auto* line = qobject_cast<QCPPlottableLegendItem*>(item);
    if (!line) return;
    for (int n = 0; n < graphCount(); ++n)
        if (graph(n) == line->plottable()) setSensorShown(n, !graph(n)->visible());
}

void ComparePlot::fitLegend(int width) {
    int widest = 1;
    for (int i = 0; i < legend->itemCount(); ++i)
        if (const QCPAbstractLegendItem* item = legend->item(i)) // a cell may be empty
            widest = std::max(widest, item->minimumOuterSizeHint().width());
    const QMargins outer = plotLayout()->margins(), inner = legend->margins();
    const int room = width - outer.left() - outer.right() - inner.left() - inner.right();
    const int columns = std::clamp(
        (room + legend->columnSpacing()) / (widest + legend->columnSpacing()), 1, kLegendColumns);
    if (legend->wrap() == columns) return;
    legend->setWrap(columns);
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst, true);
}

QImage ComparePlot::picture() {
    const QSize size = isVisible() && width() > 100 ? this->size() : kPictureSize;
    fitLegend(size.width());
    return toPixmap(size.width(), size.height(), 1.0).toImage();
}

} // namespace rv
