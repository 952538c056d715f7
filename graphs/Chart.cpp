#include "graphs/Chart.h"
#include <QFontDatabase>
#include <QFontMetrics>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>

namespace rv {

// ---------------------------------------------------------------------------------
// Tickers: where the labels of the two axes go.

namespace {

// How many labels fit along an axis of `pixels` when each takes `room` pixels.
int labelsThatFit(int pixels, double room) {
    if (room <= 0) return 10;
    return std::max(1, int(double(pixels) / room));
}

// The length of an axis in pixels; before its first layout, that of the design size.
int axisLength(const QCPAxis* axis, bool horizontal) {
    if (axis && axis->axisRect()) {
        const int length = horizontal ? axis->axisRect()->width() : axis->axisRect()->height();
        if (length > 10) return length;
    }
    return horizontal ? 800 : 480;
}

} // namespace

// Load labels at multiples of the step a drawing set, spaced further apart (2, 5, 10...
// times the step) only where they would overlap.
class LoadTicker : public QCPAxisTicker {
public:
    explicit LoadTicker(QCPAxis* axis) : m_axis(axis) {}
    void setMinimumStep(double step) { m_minimum = step; }
    double minimumStep() const { return m_minimum; }

protected:
    double getTickStep(const QCPRange& range) override {
        const QFontMetrics metrics(m_axis ? m_axis->tickLabelFont() : QFont());
        const int fits = labelsThatFit(axisLength(m_axis, false), metrics.height() * 1.2);
        m_current = axis::loadStepWithALabel(range.lower, range.upper,
                                             axis::loadLabelStep(range.size(), m_minimum, fits));
        return m_current;
    }
    int getSubTickCount(double) override { return 0; }
    QString getTickLabel(double tick, const QLocale&, QChar, int) override {
        return axis::loadLabel(tick, m_current);
    }
    QVector<double> createTickVector(double step, const QCPRange& range) override {
        return axis::loadTicks(range.lower, range.upper, step);
    }

private:
    QPointer<QCPAxis> m_axis;
    double m_minimum = 1;
    double m_current = 1;
};

double TimeTicker::getTickStep(const QCPRange& range) {
    const QFontMetrics metrics(m_axis ? m_axis->tickLabelFont() : QFont());
    // A wide label of the format: 23:58 on the 28th of December 2000.
    const QString sample = QLocale::c().toString(
        QDateTime(QDate(2000, 12, 28), QTime(23, 58), Qt::UTC), m_labelling.format);
    // Labels turned by 15 degrees take their width's and their height's share.
    const double angle = 15.0 * M_PI / 180.0;
    const double room = metrics.horizontalAdvance(sample) * std::cos(angle) +
                        metrics.height() * std::sin(angle) + metrics.height();
    const int fits = labelsThatFit(axisLength(m_axis, true), room);
    const double step = axis::timeLabelStep(range.size(), double(m_labelling.minimumStep), fits);
    return axis::timeStepWithALabel(range.lower, range.upper, step);
}

QString TimeTicker::getTickLabel(double tick, const QLocale&, QChar, int) {
    return axis::timeLabel(tick, m_labelling.format);
}

QVector<double> TimeTicker::createTickVector(double step, const QCPRange& range) {
    return axis::timeTicks(range.lower, range.upper, step);
}

namespace {

// ---------------------------------------------------------------------------------
// The legend line of a series: a check box, the series' line symbol and its title.

class SeriesLegendItem : public QCPPlottableLegendItem {
public:
    SeriesLegendItem(QCPLegend* legend, QCPAbstractPlottable* series)
        : QCPPlottableLegendItem(legend, series) {}

protected:
    int boxSize() const { return std::min(mParentLegend->iconSize().height(), 12); }

    void draw(QCPPainter* painter) override {
        if (!mPlottable) return;
        const QSize icon = mParentLegend->iconSize();
        const QFontMetrics metrics(getFont());
        const int height = std::max(
            metrics.boundingRect(0, 0, 0, icon.height(), Qt::TextDontClip, mPlottable->name())
                .height(),
            icon.height());
        const int box = boxSize();
        const QRect boxRect(mRect.x(), mRect.y() + (height - box) / 2, box, box);
        painter->setPen(QPen(Qt::darkGray, 1));
        painter->setBrush(Qt::white);
        painter->drawRect(boxRect);
        if (mPlottable->visible()) {
            painter->setPen(QPen(Qt::black, 2));
            const QPointF a(boxRect.left() + box * 0.2, boxRect.top() + box * 0.5);
            const QPointF b(boxRect.left() + box * 0.42, boxRect.top() + box * 0.75);
            const QPointF c(boxRect.left() + box * 0.82, boxRect.top() + box * 0.22);
            painter->drawLine(a, b);
            painter->drawLine(b, c);
        }
        // The line symbol and the title follow the box, drawn as every legend line is.
        const QRect whole = mRect;
        mRect.setLeft(whole.left() + box + mParentLegend->iconTextPadding());
        QCPPlottableLegendItem::draw(painter);
        mRect = whole;
    }

    QSize minimumOuterSizeHint() const override {
        if (!mPlottable) return QSize();
        const QSize icon = mParentLegend->iconSize();
        const QFontMetrics metrics(getFont());
        const QRect textRect =
            metrics.boundingRect(0, 0, 0, icon.height(), Qt::TextDontClip, mPlottable->name());
        const int padding = mParentLegend->iconTextPadding();
        return QSize(boxSize() + padding + icon.width() + padding + textRect.width() +
                         mMargins.left() + mMargins.right(),
                     std::max(textRect.height(), icon.height()) + mMargins.top() +
                         mMargins.bottom());
    }
};

// The gray frame around the whole chart.
class ChartFrame : public QCPLayerable {
public:
    explicit ChartFrame(QCustomPlot* plot) : QCPLayerable(plot, QStringLiteral("legend")) {}

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override {
        painter->setAntialiasing(false);
    }
    QRect clipRect() const override { return mParentPlot->viewport(); }
    void draw(QCPPainter* painter) override {
        // One device pixel wide whatever the scale: a page narrower than the chart's design
        // would otherwise thin the frame away.
        QPen pen(Qt::gray, 1);
        pen.setCosmetic(true);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(mParentPlot->viewport().adjusted(0, 0, -1, -1));
    }
};

const QColor kSilver(192, 192, 192);

// Colours of the series that are never shown (2 to 10), for completeness of the design.
const std::array<QColor, Chart::kSeriesCount> kSeriesColours = {
    QColor(0, 0, 0),     QColor(0, 0, 255),   QColor(255, 0, 0),   QColor(0, 128, 0),
    QColor(255, 128, 0), QColor(128, 0, 128), QColor(0, 128, 128), QColor(128, 128, 0),
    QColor(255, 0, 255), QColor(128, 64, 0),  QColor(64, 64, 192)};

} // namespace

// ---------------------------------------------------------------------------------
// The chart

QFont Chart::designFont(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("Trebuchet MS"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

Chart::Chart(const QString& name, QWidget* parent) : QCustomPlot(parent) {
    setObjectName(name);
    setBackground(Qt::white);
    setMinimumSize(400, 300);
    setNoAntialiasingOnDrag(true);
    setSelectionRectMode(QCP::srmCustom);
    selectionRect()->setPen(QPen(Qt::black, 1, Qt::DashLine));
    selectionRect()->setBrush(QColor(0, 0, 255, 24));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    new ChartFrame(this);

    buildLayout();
    buildAxes();
    buildSeries();

    m_notice = new QCPItemText(this);
    m_notice->setClipToAxisRect(false);
    m_notice->position->setType(QCPItemPosition::ptAxisRectRatio);
    m_notice->position->setCoords(0.5, 0.5);
    m_notice->setPositionAlignment(Qt::AlignCenter);
    m_notice->setTextAlignment(Qt::AlignCenter);
    m_notice->setFont(designFont(16));
    m_notice->setColor(QColor(160, 0, 0));
    m_notice->setPadding(QMargins(10, 6, 10, 6));
    m_notice->setBrush(QColor(255, 255, 255, 230));
    m_notice->setVisible(false);

    connect(selectionRect(), &QCPSelectionRect::accepted, this, &Chart::rectangleDragged);
    connect(this, &QCustomPlot::beforeReplot, this, [this] { fitDecorations(size()); });
}

Chart::~Chart() = default;

void Chart::buildLayout() {
    // Two columns: the title above the plot, and at their right the legend below a
    // spacer that puts the legend's top at 7 % of the chart's height.
    m_title = new QCPTextElement(this, QString(), designFont(20));
    m_title->setTextColor(Qt::black);
    m_title->setMargins(QMargins(0, 2, 0, 2));
    QCPAxisRect* rect = axisRect();
    plotLayout()->take(rect);
    auto* main = new QCPLayoutGrid;
    plotLayout()->addElement(0, 0, main);
    main->setRowSpacing(0);
    main->addElement(0, 0, m_title);
    main->addElement(1, 0, rect);
    auto* side = new QCPLayoutGrid;
    plotLayout()->addElement(0, 1, side);
    plotLayout()->setColumnSpacing(8);
    plotLayout()->setColumnStretchFactor(1, 0.001);
    side->setRowSpacing(0);
    m_legendSpacer = new QCPLayoutElement(this);
    side->addElement(0, 0, m_legendSpacer);
    rect->insetLayout()->take(legend);
    side->addElement(1, 0, legend);
    side->addElement(2, 0, new QCPLayoutElement(this));
    side->setRowStretchFactors({0.001, 0.001, 1});
    side->setMargins(QMargins(0, 0, 6, 0));

    legend->setVisible(true);
    legend->setFont(designFont(12));
    legend->setBrush(Qt::white);
    legend->setBorderPen(QPen(Qt::gray, 1));
    legend->setIconSize(28, 14);
    legend->setIconTextPadding(5);
    legend->setSelectableParts(QCPLegend::spNone);
    m_legendHeading = new QCPTextElement(this, QStringLiteral("Node Locations:"), designFont(12));
    m_legendHeading->setLayer(legend->layer());
    m_legendHeading->setTextFlags(Qt::AlignLeft | Qt::AlignVCenter);
    m_legendHeading->setMargins(QMargins(0, 0, 0, 4));
    legend->addElement(0, 0, m_legendHeading);
}

void Chart::buildAxes() {
    axisRect()->setBackground(Qt::white);
    // The plot area's gray border: the four axis lines.
    for (QCPAxis* a : {xAxis, yAxis, xAxis2, yAxis2}) {
        a->setVisible(true);
        a->setBasePen(QPen(Qt::gray, 1));
        a->setTickPen(QPen(Qt::black, 1));
        a->setSubTicks(false);
        a->grid()->setSubGridVisible(false);
    }
    for (QCPAxis* a : {xAxis2, yAxis2}) {
        a->setTicks(false);
        a->setTickLabels(false);
        a->grid()->setVisible(false);
    }
    for (QCPAxis* a : {xAxis, yAxis}) {
        a->grid()->setPen(QPen(kSilver, 1, Qt::SolidLine));
        a->grid()->setZeroLinePen(QPen(kSilver, 1, Qt::SolidLine));
        a->setTickLabelFont(designFont(17));
        a->setLabelFont(designFont(17));
        a->setTickLengthIn(0);
        a->setTickLengthOut(5);
    }
    m_loadTicker = QSharedPointer<LoadTicker>::create(yAxis);
    yAxis->setTicker(m_loadTicker);
    yAxis->setLabel(QStringLiteral("Load (tons)"));
    // The load labels sit in a column at least 50 pixels wide.
    axisRect()->setMinimumMargins(QMargins(50 + 17 + 10, 0, 0, 0));
    m_timeTicker = QSharedPointer<TimeTicker>::create(xAxis);
    xAxis->setTicker(m_timeTicker);
    xAxis->setTickLabelRotation(15); // 345 degrees: slanting down to the right
    setLoadStep(1);
    yAxis->setRange(0, 20);
    xAxis->setRange(m_fullTime);
}

void Chart::buildSeries() {
    for (int n = 0; n < kSeriesCount; ++n) {
        QCPGraph* g = addGraph(xAxis, yAxis);
        m_series[std::size_t(n)] = g;
        const QColor colour = kSeriesColours[std::size_t(n)];
        g->setPen(QPen(colour, 2));
        g->setLineStyle(QCPGraph::lsLine);
        g->setAdaptiveSampling(true);
        if (n == kTemperatureSeries) {
            g->setName(QStringLiteral("Temp (C)"));
            g->setScatterStyle(
                QCPScatterStyle(QCPScatterStyle::ssDiamond, QPen(Qt::black, 1), colour, 6));
        } else if (n == kLoadSeries) {
            g->setName(QStringLiteral("Load 1"));
            g->setScatterStyle(
                QCPScatterStyle(QCPScatterStyle::ssDiamond, QPen(Qt::NoPen), colour, 8));
        } else {
            g->setName(QStringLiteral("Node 1"));
            g->setScatterStyle(
                QCPScatterStyle(QCPScatterStyle::ssDiamond, QPen(colour, 1), colour, 8));
        }
        g->removeFromLegend();
    }
}

void Chart::fitDecorations(const QSize& size) {
    const int top = int(std::lround(size.height() * 0.02));
    plotLayout()->setMargins(QMargins(0, top, 0, 0));
    const int spacer = std::max(0, int(std::lround(size.height() * 0.07)) - top);
    m_legendSpacer->setMinimumSize(0, spacer);
    m_legendSpacer->setMaximumSize(QWIDGETSIZE_MAX, spacer);
}

QString Chart::titleText() const {
    return m_title->text();
}

void Chart::setTitleText(const QString& text) {
    m_title->setText(text);
}

void Chart::setLoadStep(double step) {
    m_loadTicker->setMinimumStep(step);
}

double Chart::loadStep() const {
    return m_loadTicker->minimumStep();
}

void Chart::setTimeLabelling(const axis::TimeLabelling& labelling) {
    m_timeTicker->setLabelling(labelling);
    xAxis->setLabel(labelling.title);
}

axis::TimeLabelling Chart::timeLabelling() const {
    axis::TimeLabelling l = m_timeTicker->labelling();
    l.title = xAxis->label();
    return l;
}

void Chart::clearLegend() {
    legend->clearItems();
    m_listed.clear();
}

void Chart::listInLegend(int n) {
    if (m_listed.contains(n)) return;
    legend->addItem(new SeriesLegendItem(legend, series(n)));
    m_listed << n;
}

QList<int> Chart::listedSeries() const {
    return m_listed;
}

QStringList Chart::legendTitles() const {
    QStringList titles;
    for (int i = 0; i < legend->itemCount(); ++i)
        if (auto* item = qobject_cast<QCPPlottableLegendItem*>(legend->item(i)))
            titles << item->plottable()->name();
    return titles;
}

QRect Chart::legendEntryRect(int n) const {
    if (auto* item = legend->itemWithPlottable(series(n))) return item->outerRect();
    return QRect();
}

void Chart::setSeriesShown(int n, bool shown) {
    series(n)->setVisible(shown);
    replot(QCustomPlot::rpQueuedReplot);
}

bool Chart::seriesShown(int n) const {
    return series(n)->visible();
}

void Chart::setFullView(const QCPRange& time, const QCPRange& load) {
    m_fullTime = time;
    m_fullLoad = load;
    unzoom();
}

void Chart::unzoom() {
    xAxis->setRange(m_fullTime);
    yAxis->setRange(m_fullLoad);
}

void Chart::zoomTo(const QRect& pixels) {
    const QRect r = pixels.normalized();
    const QCPRange time(xAxis->pixelToCoord(r.left()), xAxis->pixelToCoord(r.right()));
    const QCPRange load(yAxis->pixelToCoord(r.bottom()), yAxis->pixelToCoord(r.top()));
    if (!QCPRange::validRange(time) || !QCPRange::validRange(load)) return;
    xAxis->setRange(time);
    yAxis->setRange(load);
}

bool Chart::zoomed() const {
    return xAxis->range() != m_fullTime || yAxis->range() != m_fullLoad;
}

void Chart::zoomIn() {
    const QRect plot = axisRect()->rect();
    zoomTo(
        plot.adjusted(plot.width() / 4, plot.height() / 4, -plot.width() / 4, -plot.height() / 4));
    replot();
}

void Chart::zoomOut() {
    // Twice the span around the middle, cut to the whole view; a view scrolled clear of
    // the whole one returns to it.
    auto widened = [](const QCPRange& now, const QCPRange& whole) {
        const double lower = std::max(now.center() - now.size(), whole.lower);
        const double upper = std::min(now.center() + now.size(), whole.upper);
        return lower < upper && QCPRange::validRange(lower, upper) ? QCPRange(lower, upper) : whole;
    };
    xAxis->setRange(widened(xAxis->range(), m_fullTime));
    yAxis->setRange(widened(yAxis->range(), m_fullLoad));
    replot();
}

void Chart::showWhole() {
    unzoom();
    replot();
}

void Chart::setLevelLines(const std::vector<LevelLine>& lines) {
    for (const LevelLineItems& items : m_levels)
        removeLevelLine(*this, items);
    m_levels.clear();
    for (const LevelLine& line : lines)
        m_levels.push_back(addLevelLine(*this, *axisRect(), line));
}

std::vector<LevelLine> Chart::levelLines() const {
    std::vector<LevelLine> lines;
    for (const LevelLineItems& items : m_levels)
        lines.push_back(drawnLevelLine(items));
    return lines;
}

void Chart::setNotice(const QString& text) {
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
}

QString Chart::notice() const {
    return m_notice->visible() ? m_notice->text() : QString();
}

void Chart::layOutAt(const QSize& size) {
    setViewport(QRect(QPoint(), size));
    fitDecorations(size);
    updateLayout();
}

QImage Chart::picture(const QSize& size) {
    // The chart is laid out for the picture's size and then for its own again. A layout
    // spaces the labels for the size of the layout before it: each size is laid out once
    // ahead, or the labels of a picture made from a large window would overlap.
    layOutAt(size);
    const QImage image = toPixmap(size.width(), size.height(), 1.0).toImage();
    layOutAt(this->size());
    replot(QCustomPlot::rpImmediateRefresh);
    return image;
}

void Chart::paintStretched(QCPPainter& painter, const QRect& target) {
    // Laid out at the design size, as the exported picture is: a page shows the same
    // chart whatever size the window gives it on screen.
    const QSize own = kDesignSize;
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(double(target.width()) / own.width(), double(target.height()) / own.height());
    layOutAt(own);
    toPainter(&painter, own.width(), own.height());
    painter.restore();
    layOutAt(size());
    replot(QCustomPlot::rpImmediateRefresh);
}

// ---------------------------------------------------------------------------------
// The mouse

bool Chart::overLoadAxis(const QPoint& pos) const {
    const QRect plot = axisRect()->rect();
    return pos.x() < plot.left() && pos.x() >= axisRect()->outerRect().left() &&
           pos.y() >= plot.top() && pos.y() <= plot.bottom();
}

bool Chart::overShownSeries(const QPointF& pos) const {
    for (QCPGraph* g : m_series) {
        if (!g->visible() || g->data()->isEmpty()) continue;
        const double distance = g->selectTest(pos, false);
        if (distance >= 0 && distance <= selectionTolerance()) return true;
    }
    return false;
}

int Chart::legendEntryAt(const QPoint& pos) const {
    for (int n : m_listed)
        if (legendEntryRect(n).contains(pos)) return n;
    return -1;
}

void Chart::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        m_press = Press::None;
        return;
    }
    m_pressPos = event->pos();
    if (overLoadAxis(m_pressPos)) {
        m_press = Press::LoadAxis;
        m_pressLoad = yAxis->range();
        setCursor(Qt::SizeVerCursor);
        return;
    }
    if (axisRect()->rect().contains(m_pressPos)) {
        m_press = Press::Rectangle;
        QCustomPlot::mousePressEvent(event);
        return;
    }
    m_press = Press::Click;
}

void Chart::mouseMoveEvent(QMouseEvent* event) {
    switch (m_press) {
    case Press::LoadAxis: {
        // The load range follows the mouse: dragging down shows higher loads.
        const double height = std::max(1, axisRect()->height());
        const double shift = (event->pos().y() - m_pressPos.y()) / height * m_pressLoad.size();
        yAxis->setRange(m_pressLoad.lower + shift, m_pressLoad.upper + shift);
        replot(QCustomPlot::rpQueuedReplot);
        return;
    }
    case Press::Rectangle:
        QCustomPlot::mouseMoveEvent(event);
        return;
    case Press::Click:
        return;
    case Press::None:
        break;
    }
    if (overShownSeries(event->position()))
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void Chart::mouseReleaseEvent(QMouseEvent* event) {
    const Press press = m_press;
    m_press = Press::None;
    switch (press) {
    case Press::LoadAxis:
        unsetCursor();
        return;
    case Press::Rectangle:
        QCustomPlot::mouseReleaseEvent(event);
        return;
    case Press::Click:
        if ((event->pos() - m_pressPos).manhattanLength() <= kZoomThreshold) {
            const int n = legendEntryAt(event->pos());
            if (n >= 0) setSeriesShown(n, !seriesShown(n));
        }
        return;
    case Press::None:
        return;
    }
}

void Chart::rectangleDragged(const QRect&, QMouseEvent* event) {
    const QPoint end = event->pos();
    const int dx = end.x() - m_pressPos.x();
    const int dy = end.y() - m_pressPos.y();
    if (std::abs(dx) < kZoomThreshold && std::abs(dy) < kZoomThreshold) return;
    if (dx > 0)
        zoomTo(QRect(m_pressPos, end));
    else if (dx < 0)
        unzoom();
    replot(QCustomPlot::rpQueuedReplot);
}

QRect printArea(const QRect& page) {
    const int dx = int(std::lround(page.width() * 0.05));
    const int dy = int(std::lround(page.height() * 0.05));
    return page.adjusted(dx, dy, -dx, -dy);
}

} // namespace rv
