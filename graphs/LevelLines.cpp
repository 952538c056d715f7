#include "graphs/LevelLines.h"
#include "core/NumberText.h"
#include <qcustomplot.h>

namespace rv {

namespace {

// A level's label: at the right end of its line, just above it; below it instead where a
// label above would be cut off by the top of the plot area (a level at the top of the
// load axis lies on the frame). A line outside the plot area keeps its label with it.
class LevelLabel : public QCPItemText {
public:
    explicit LevelLabel(QCustomPlot* plot) : QCPItemText(plot) {}

protected:
    void draw(QCPPainter* painter) override {
        place();
        QCPItemText::draw(painter);
    }

private:
    void place() {
        const QCPAxisRect* rect = clipAxisRect();
        if (!rect) return;
        const QRect area = rect->rect();
        const double y = position->pixelPosition().y();
        const QFontMetrics metrics(mainFont());
        const int height =
            metrics.boundingRect(0, 0, 0, 0, Qt::TextDontClip | textAlignment(), text()).height() +
            padding().top() + padding().bottom();
        const bool inside = y >= area.top() - 1 && y <= area.bottom() + 1;
        const bool below = inside && y - height < area.top();
        setPositionAlignment(Qt::AlignRight | (below ? Qt::AlignTop : Qt::AlignBottom));
    }
};

} // namespace

QString levelLineLabel(LevelReached kind, double value) {
    const QString name =
        kind == LevelReached::Alarm ? QStringLiteral("Alarm ") : QStringLiteral("Alert ");
    return name + plainDecimal(value) + QStringLiteral(" t");
}

std::vector<LevelLine> levelLines(const AlarmLevels& levels, const LevelLineStyle& style) {
    std::vector<LevelLine> lines;
    if (levels.alert)
        lines.push_back({*levels.alert, style.alert, Qt::DashLine, 1.5,
                         style.prefix + levelLineLabel(LevelReached::Alert, *levels.alert)});
    if (levels.alarm)
        lines.push_back({*levels.alarm, style.alarm, Qt::DashLine, 2.0,
                         style.prefix + levelLineLabel(LevelReached::Alarm, *levels.alarm)});
    return lines;
}

LevelLineItems addLevelLine(QCustomPlot& plot, QCPAxisRect& rect, const LevelLine& line) {
    QCPAxis* time = rect.axis(QCPAxis::atBottom);
    QCPAxis* load = rect.axis(QCPAxis::atLeft);
    LevelLineItems items;
    items.line = new QCPItemStraightLine(&plot);
    items.line->setClipAxisRect(&rect);
    items.line->setClipToAxisRect(true);
    QPen pen(line.colour, line.width, line.style);
    pen.setCapStyle(Qt::FlatCap);
    items.line->setPen(pen);
    items.line->setSelectable(false);
    for (QCPItemPosition* end : {items.line->point1, items.line->point2}) {
        end->setAxes(time, load);
        end->setAxisRect(&rect);
        // Across the whole width whatever the time range: the ends sit at the rect's left
        // and right edges, at the level's value on the load axis.
        end->setTypeX(QCPItemPosition::ptAxisRectRatio);
        end->setTypeY(QCPItemPosition::ptPlotCoords);
    }
    items.line->point1->setCoords(0, line.value);
    items.line->point2->setCoords(1, line.value);

    items.label = new LevelLabel(&plot);
    items.label->setClipAxisRect(&rect);
    items.label->setClipToAxisRect(true);
    items.label->setSelectable(false);
    items.label->position->setAxes(time, load);
    items.label->position->setAxisRect(&rect);
    items.label->position->setTypeX(QCPItemPosition::ptAxisRectRatio);
    items.label->position->setTypeY(QCPItemPosition::ptPlotCoords);
    items.label->position->setCoords(1, line.value);
    items.label->setPositionAlignment(Qt::AlignRight | Qt::AlignBottom);
    items.label->setText(line.label);
    items.label->setColor(line.colour);
    QFont font = plot.font();
    font.setPixelSize(12);
    font.setBold(true);
    items.label->setFont(font);
    items.label->setPadding(QMargins(4, 1, 6, 1));
    // Above the curves, on a light ground, so that a curve crossing it leaves it legible.
    items.label->setLayer(QStringLiteral("axes"));
    items.label->setBrush(QColor(255, 255, 255, 210));
    return items;
}

LevelLine drawnLevelLine(const LevelLineItems& items) {
    LevelLine line;
    if (!items.line) return line;
    const QPen pen = items.line->pen();
    line.value = items.line->point1->coords().y();
    line.colour = pen.color();
    line.style = pen.style();
    line.width = pen.widthF();
    if (items.label) line.label = items.label->text();
    return line;
}

void removeLevelLine(QCustomPlot& plot, const LevelLineItems& items) {
    if (items.label) plot.removeItem(items.label);
    if (items.line) plot.removeItem(items.line);
}

} // namespace rv
