#include "reports/WeeklyReport.h"
#include "alarms/AlarmStore.h"
#include "compare/CompareData.h"
#include "core/DateText.h"
#include "core/NumberText.h"
#include "graphs/AxisRules.h"
#include "graphs/Chart.h"
#include "graphs/GraphData.h"
#include "platform/Progress.h"
#include "reports/OdtWriter.h"
#include "store/Session.h"
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSet>
#include <QTimeZone>
#include <QXmlStreamWriter>
#include <algorithm>
#include <cmath>

namespace rv {

using namespace odf;

namespace {

const QString kWeeklyLabel = QStringLiteral(" G_WeeklyReport");
constexpr double kSecondsPerDay = 86400.0;
// The size the plots are drawn at: small enough that the chart's lettering stays legible
// when eight plots share a page.
constexpr QSize kPlotSize{700, 430};

// The wall-clock moment of a time-axis value.
QDateTime axisMoment(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000.0)), QTimeZone::utc());
}

QDate dayOf(double seconds) {
    return axisMoment(seconds).date();
}

// The Load v Time plot of one sensor's readings in the period, as "4. Load v Time" draws
// it (its scale rules, its level lines), as PNG bytes.
QByteArray plotPicture(Chart& chart, const QString& id, const QVector<double>& times,
                       const QVector<double>& loads, const AlarmLevels& levels,
                       const QString& prefMaxY) {
    chart.setTitleText(id);
    chart.clearLegend();
    chart.series(Chart::kLoadSeries)->setName(QStringLiteral("Load 1"));
    chart.series(Chart::kLoadSeries)->setData(times, loads, true);
    chart.listInLegend(Chart::kLoadSeries);
    chart.loadAxis()->setLabel(QStringLiteral("Load (tons)"));
    chart.setLevelLines(levelLines(levels));
    axis::LoadValues values;
    const auto [lo, hi] = std::minmax_element(loads.cbegin(), loads.cend());
    values.lowest = *lo;
    values.highest = *hi;
    values.loadMaximum = *hi;
    const axis::LoadScale scale = axis::loadScale(values, prefMaxY);
    chart.setLoadStep(scale.step);
    const QDate first = dayOf(times.front()), last = dayOf(times.back());
    chart.setTimeLabelling(axis::timeLabelling(first.daysTo(last), first));
    const axis::Span span = axis::timeSpan(times.front(), times.back());
    chart.setFullView(QCPRange(span.lower, span.upper), QCPRange(scale.minimum, scale.maximum));
    const QImage image = chart.picture(kPlotSize);
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return {};
    return png;
}

// ---------------------------------------------------------------------------------
// The PDF

class PdfPages {
public:
    PdfPages(QPdfWriter& writer, const QString& footer)
        : m_writer(writer), m_footer(footer), m_painter(&writer) {
        m_area = writer.pageLayout().paintRectPixels(writer.resolution());
        m_area.moveTo(0, 0);
        m_font = QFont(QStringLiteral("Helvetica"));
        m_font.setPointSizeF(8);
        m_painter.setFont(m_font);
        m_footerHeight = QFontMetrics(m_font, &writer).height() * 2;
        m_y = 0;
        drawFooter();
    }
    bool ok() const { return m_painter.isActive(); }
    int pages() const { return m_pages; }
    QPainter& painter() { return m_painter; }
    int width() const { return m_area.width(); }
    int bottom() const { return m_area.height() - m_footerHeight; }
    int& y() { return m_y; }
    void newPage() {
        m_writer.newPage();
        ++m_pages;
        m_y = 0;
        drawFooter();
    }
    // Room for `height` more on this page, else a new page.
    void need(int height) {
        if (m_y > 0 && m_y + height > bottom()) newPage();
    }
    int textHeight(const QFont& font, const QString& text, int width) {
        return QFontMetrics(font, &m_writer)
            .boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, text)
            .height();
    }
    void line(const QString& text, const QFont& font) {
        const int h = textHeight(font, text, width());
        need(h);
        m_painter.setFont(font);
        m_painter.setPen(Qt::black);
        m_painter.drawText(QRect(0, m_y, width(), h), Qt::TextWordWrap, text);
        m_y += h;
    }
    bool end() { return m_painter.end(); }

private:
    void drawFooter() {
        m_painter.setFont(m_font);
        m_painter.setPen(Qt::darkGray);
        m_painter.drawText(QRect(0, bottom(), width(), m_footerHeight),
                           Qt::AlignRight | Qt::AlignBottom,
                           m_footer + QStringLiteral(" - page %1").arg(m_pages));
    }

    QPdfWriter& m_writer;
    QString m_footer;
    QPainter m_painter;
    QRect m_area;
    QFont m_font;
    int m_footerHeight = 0;
    int m_y = 0;
    int m_pages = 1;
};

// The widths of the table's columns, as parts of the page's width.
const double kColumnShares[] = {0.14, 0.22, 0.11, 0.11, 0.14, 0.13, 0.15};

// The height of a row of the table, its cells' texts wrapped in their columns.
int rowHeight(PdfPages& pages, const QStringList& cells, const QFont& font) {
    const int pad = pages.width() / 200;
    int h = 0;
    for (qsizetype i = 0; i < cells.size(); ++i)
        h = std::max(
            h, pages.textHeight(font, cells[i], int(pages.width() * kColumnShares[i]) - 2 * pad));
    return h + 2 * pad;
}

void drawTableRow(PdfPages& pages, const QStringList& cells, const QFont& font,
                  const QColor& background, const QColor& text, bool header = false) {
    const int pad = pages.width() / 200;
    const int h = rowHeight(pages, cells, font);
    pages.need(h);
    QPainter& p = pages.painter();
    p.setFont(font);
    int x = 0;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        const int w = int(pages.width() * kColumnShares[i]);
        const QRect cell(x, pages.y(), w, h);
        if (background.isValid()) p.fillRect(cell, background);
        p.setPen(QPen(Qt::gray, 0));
        p.drawRect(cell);
        p.setPen(text);
        const Qt::Alignment align = (i == 0 || header) ? Qt::AlignLeft | Qt::AlignVCenter
                                                       : Qt::AlignRight | Qt::AlignVCenter;
        p.drawText(cell.adjusted(pad, pad, -pad, -pad), int(align) | Qt::TextWordWrap, cells[i]);
        x += w;
    }
    pages.y() += h;
}

Result<int> writePdf(const WeeklyReport& report, QIODevice& device) {
    QPdfWriter writer(&device);
    writer.setTitle(report.title);
    writer.setCreator(QStringLiteral("Rockvane"));
    writer.setResolution(150);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(15, 15, 15, 12), QPageLayout::Millimeter));
    PdfPages pages(writer, report.title);
    if (!pages.ok())
        return Error{err::FileError, QStringLiteral("The PDF document could not be begun")};

    QFont title(QStringLiteral("Helvetica"));
    title.setPointSizeF(16);
    title.setBold(true);
    QFont body(QStringLiteral("Helvetica"));
    body.setPointSizeF(10);
    QFont cell(QStringLiteral("Helvetica"));
    cell.setPointSizeF(8);
    QFont bold = cell;
    bold.setBold(true);

    pages.line(report.title, title);
    for (const QString& line : report.heading)
        pages.line(line, body);
    pages.line(QString(), body);
    const QColor headerBackground(217, 217, 217);
    drawTableRow(pages, weeklyColumns(), bold, headerBackground, Qt::black, true);
    for (const WeeklyRow& row : report.rows) {
        const QStringList cells = weeklyCells(row);
        // A row that goes onto a new page has the headings above it there too.
        if (pages.y() + rowHeight(pages, cells, cell) > pages.bottom()) {
            pages.newPage();
            drawTableRow(pages, weeklyColumns(), bold, headerBackground, Qt::black, true);
        }
        drawTableRow(pages, cells, cell, rowBackground(row.figures.state),
                     rowText(row.figures.state));
    }
    if (!report.emptyNote.isEmpty()) pages.line(report.emptyNote, body);
    // What the figures leave out, right under the table.
    const QStringList notes = weeklyNotes(report);
    if (!notes.isEmpty()) pages.line(QString(), cell);
    for (const QString& note : notes)
        pages.line(note, body);
    pages.line(QString(), cell);
    pages.line(QStringLiteral("Red: at or above the alarm load. Amber: at or above the alert "
                              "load. Green: below both. No colour: no alert or alarm load."),
               cell);

    // The plots, two across and four rows to a page; the first row follows the table on
    // its page when it fits there.
    const int gap = pages.width() / 40;
    const int cellWidth = (pages.width() - gap) / 2;
    const int titleHeight = pages.textHeight(title, QStringLiteral("Load v Time"), pages.width());
    const int cellHeight = (pages.bottom() - titleHeight - 4 * gap) / 4;
    if (!report.plots.empty()) {
        pages.line(QString(), body);
        pages.need(titleHeight + cellHeight);
        pages.line(QStringLiteral("Load v Time"), title);
        pages.y() += gap / 2;
    }
    for (std::size_t n = 0; n < report.plots.size(); ++n) {
        const int across = int(n % 2);
        if (across == 0) pages.need(cellHeight);
        const QRect room(across * (cellWidth + gap), pages.y(), cellWidth, cellHeight);
        QImage image;
        image.loadFromData(report.plots[n].png, "PNG");
        if (!image.isNull())
            pages.painter().drawImage(
                QRect(room.topLeft(), image.size().scaled(room.size(), Qt::KeepAspectRatio)),
                image);
        if (across == 1 || n + 1 == report.plots.size()) pages.y() += cellHeight + gap;
    }
    const int count = pages.pages();
    if (!pages.end())
        return Error{err::FileError, QStringLiteral("The PDF document could not be finished")};
    return count;
}

// ---------------------------------------------------------------------------------
// The OpenDocument text

void style(QXmlStreamWriter& xml, const QString& name, const QString& family,
           const QString& properties, const QList<std::pair<QString, QString>>& values) {
    xml.writeStartElement(kStyle, QStringLiteral("style"));
    xml.writeAttribute(kStyle, QStringLiteral("name"), name);
    xml.writeAttribute(kStyle, QStringLiteral("family"), family);
    xml.writeEmptyElement(kStyle, properties);
    for (const auto& [attribute, value] : values) {
        const qsizetype colon = attribute.indexOf(u':');
        const QString ns = attribute.left(colon) == u"fo"      ? kFo
                           : attribute.left(colon) == u"table" ? kTable
                                                               : kStyle;
        xml.writeAttribute(ns, attribute.mid(colon + 1), value);
    }
    xml.writeEndElement();
}

QString cellStyle(LoadState state) {
    switch (state) {
    case LoadState::Alarm:
        return QStringLiteral("Alarm");
    case LoadState::Alert:
        return QStringLiteral("Alert");
    case LoadState::Within:
        return QStringLiteral("Within");
    case LoadState::NoLevels:
        break;
    }
    return QStringLiteral("Plain");
}

QByteArray contentXml(const WeeklyReport& report) {
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(false);
    xml.writeStartDocument();
    odf::declareNamespaces(xml);
    xml.writeStartElement(kOffice, QStringLiteral("document-content"));
    xml.writeAttribute(kOffice, QStringLiteral("version"), QStringLiteral("1.2"));

    xml.writeStartElement(kOffice, QStringLiteral("automatic-styles"));
    style(xml, QStringLiteral("Title"), QStringLiteral("paragraph"),
          QStringLiteral("text-properties"),
          {{QStringLiteral("fo:font-size"), QStringLiteral("16pt")},
           {QStringLiteral("fo:font-weight"), QStringLiteral("bold")}});
    style(xml, QStringLiteral("Bold"), QStringLiteral("paragraph"),
          QStringLiteral("text-properties"), {{QStringLiteral("fo:font-weight"), "bold"}});
    style(xml, QStringLiteral("Light"), QStringLiteral("paragraph"),
          QStringLiteral("text-properties"), {{QStringLiteral("fo:color"), "#ffffff"}});
    // The figures stand at the right of their cells, as in the PDF.
    style(xml, QStringLiteral("Number"), QStringLiteral("paragraph"),
          QStringLiteral("paragraph-properties"), {{QStringLiteral("fo:text-align"), "end"}});
    xml.writeStartElement(kStyle, QStringLiteral("style"));
    xml.writeAttribute(kStyle, QStringLiteral("name"), QStringLiteral("LightNumber"));
    xml.writeAttribute(kStyle, QStringLiteral("family"), QStringLiteral("paragraph"));
    xml.writeEmptyElement(kStyle, QStringLiteral("paragraph-properties"));
    xml.writeAttribute(kFo, QStringLiteral("text-align"), QStringLiteral("end"));
    xml.writeEmptyElement(kStyle, QStringLiteral("text-properties"));
    xml.writeAttribute(kFo, QStringLiteral("color"), QStringLiteral("#ffffff"));
    xml.writeEndElement();
    style(xml, QStringLiteral("Sensors"), QStringLiteral("table"),
          QStringLiteral("table-properties"),
          {{QStringLiteral("style:width"), QStringLiteral("18cm")},
           {QStringLiteral("table:align"), QStringLiteral("margins")}});
    const std::pair<QString, QColor> cells[] = {
        {QStringLiteral("Head"), QColor(217, 217, 217)},
        {QStringLiteral("Plain"), QColor()},
        {QStringLiteral("Within"), rowBackground(LoadState::Within)},
        {QStringLiteral("Alert"), rowBackground(LoadState::Alert)},
        {QStringLiteral("Alarm"), rowBackground(LoadState::Alarm)},
    };
    for (const auto& [name, colour] : cells) {
        QList<std::pair<QString, QString>> values{
            {QStringLiteral("fo:border"), QStringLiteral("0.5pt solid #808080")},
            {QStringLiteral("fo:padding"), QStringLiteral("0.05cm")}};
        if (colour.isValid())
            values.push_back({QStringLiteral("fo:background-color"), colour.name()});
        style(xml, name, QStringLiteral("table-cell"), QStringLiteral("table-cell-properties"),
              values);
    }
    xml.writeEndElement(); // automatic-styles

    auto paragraph = [&](const QString& text, const QString& styleName = {}) {
        xml.writeStartElement(kText, QStringLiteral("p"));
        if (!styleName.isEmpty())
            xml.writeAttribute(kText, QStringLiteral("style-name"), styleName);
        xml.writeCharacters(text);
        xml.writeEndElement();
    };
    auto row = [&](const QStringList& texts, const QString& cellStyleName,
                   const QString& paragraphStyle, const QString& numberStyle) {
        xml.writeStartElement(kTable, QStringLiteral("table-row"));
        for (qsizetype i = 0; i < texts.size(); ++i) {
            const QString& text = texts[i];
            xml.writeStartElement(kTable, QStringLiteral("table-cell"));
            xml.writeAttribute(kTable, QStringLiteral("style-name"), cellStyleName);
            xml.writeAttribute(kOffice, QStringLiteral("value-type"), QStringLiteral("string"));
            paragraph(text, i == 0 ? paragraphStyle : numberStyle);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    };

    xml.writeStartElement(kOffice, QStringLiteral("body"));
    xml.writeStartElement(kOffice, QStringLiteral("text"));
    paragraph(report.title, QStringLiteral("Title"));
    for (const QString& line : report.heading)
        paragraph(line);
    paragraph(QString());
    xml.writeStartElement(kTable, QStringLiteral("table"));
    xml.writeAttribute(kTable, QStringLiteral("name"), QStringLiteral("Sensors"));
    xml.writeAttribute(kTable, QStringLiteral("style-name"), QStringLiteral("Sensors"));
    xml.writeEmptyElement(kTable, QStringLiteral("table-column"));
    xml.writeAttribute(kTable, QStringLiteral("number-columns-repeated"),
                       QString::number(weeklyColumns().size()));
    xml.writeStartElement(kTable, QStringLiteral("table-header-rows"));
    row(weeklyColumns(), QStringLiteral("Head"), QStringLiteral("Bold"), QStringLiteral("Bold"));
    xml.writeEndElement();
    for (const WeeklyRow& r : report.rows) {
        const bool light = rowText(r.figures.state) == Qt::white;
        row(weeklyCells(r), cellStyle(r.figures.state), light ? QStringLiteral("Light") : QString(),
            light ? QStringLiteral("LightNumber") : QStringLiteral("Number"));
    }
    xml.writeEndElement(); // table
    if (!report.emptyNote.isEmpty()) paragraph(report.emptyNote);
    for (const QString& note : weeklyNotes(report))
        paragraph(note);
    paragraph(QStringLiteral("Red: at or above the alarm load. Amber: at or above the alert "
                             "load. Green: below both. No colour: no alert or alarm load."));
    if (!report.plots.empty()) {
        paragraph(QString());
        paragraph(QStringLiteral("Load v Time"), QStringLiteral("Title"));
    }
    // Two plots side by side in each paragraph.
    const double width = 8.6;
    const double height = width * kPlotSize.height() / kPlotSize.width();
    for (std::size_t i = 0; i < report.plots.size(); i += 2) {
        xml.writeStartElement(kText, QStringLiteral("p"));
        for (std::size_t j = i; j < std::min(i + 2, report.plots.size()); ++j) {
            if (j > i) xml.writeEmptyElement(kText, QStringLiteral("s"));
            xml.writeStartElement(kDraw, QStringLiteral("frame"));
            xml.writeAttribute(kDraw, QStringLiteral("name"), QStringLiteral("Plot%1").arg(j + 1));
            xml.writeAttribute(kText, QStringLiteral("anchor-type"), QStringLiteral("as-char"));
            xml.writeAttribute(kSvg, QStringLiteral("width"), QString::number(width) + "cm");
            xml.writeAttribute(kSvg, QStringLiteral("height"),
                               QString::number(height, 'f', 3) + "cm");
            xml.writeEmptyElement(kDraw, QStringLiteral("image"));
            xml.writeAttribute(kXlink, QStringLiteral("href"),
                               QStringLiteral("Pictures/Plot%1.png").arg(j + 1));
            xml.writeAttribute(kXlink, QStringLiteral("type"), QStringLiteral("simple"));
            xml.writeAttribute(kXlink, QStringLiteral("show"), QStringLiteral("embed"));
            xml.writeAttribute(kXlink, QStringLiteral("actuate"), QStringLiteral("onLoad"));
            xml.writeEndElement(); // frame
        }
        xml.writeEndElement(); // p
    }
    xml.writeEndElement(); // text
    xml.writeEndElement(); // body
    xml.writeEndElement(); // document-content
    xml.writeEndDocument();
    return bytes;
}

// The page: A4 with margins of 1.5 cm.
QByteArray stylesXml() {
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.writeStartDocument();
    odf::declareNamespaces(xml);
    xml.writeStartElement(kOffice, QStringLiteral("document-styles"));
    xml.writeAttribute(kOffice, QStringLiteral("version"), QStringLiteral("1.2"));
    xml.writeStartElement(kOffice, QStringLiteral("automatic-styles"));
    xml.writeStartElement(kStyle, QStringLiteral("page-layout"));
    xml.writeAttribute(kStyle, QStringLiteral("name"), QStringLiteral("A4"));
    xml.writeEmptyElement(kStyle, QStringLiteral("page-layout-properties"));
    xml.writeAttribute(kFo, QStringLiteral("page-width"), QStringLiteral("21cm"));
    xml.writeAttribute(kFo, QStringLiteral("page-height"), QStringLiteral("29.7cm"));
    for (const char* side : {"margin-top", "margin-bottom", "margin-left", "margin-right"})
        xml.writeAttribute(kFo, QLatin1String(side), QStringLiteral("1.5cm"));
    xml.writeEndElement(); // page-layout
    xml.writeEndElement(); // automatic-styles
    xml.writeStartElement(kOffice, QStringLiteral("master-styles"));
    xml.writeEmptyElement(kStyle, QStringLiteral("master-page"));
    xml.writeAttribute(kStyle, QStringLiteral("name"), QStringLiteral("Standard"));
    xml.writeAttribute(kStyle, QStringLiteral("page-layout-name"), QStringLiteral("A4"));
    xml.writeEndElement(); // master-styles
    xml.writeEndElement(); // document-styles
    xml.writeEndDocument();
    return bytes;
}

} // namespace

QString periodCaption(WeeklyPeriod period) {
    switch (period) {
    case WeeklyPeriod::Last7Days:
        return QStringLiteral("Last 7 days");
    case WeeklyPeriod::Last30Days:
        return QStringLiteral("Last 30 days");
    case WeeklyPeriod::Last90Days:
        return QStringLiteral("Last 90 days");
    case WeeklyPeriod::AllReadings:
        break;
    }
    return QStringLiteral("All readings");
}

namespace {
std::optional<int> periodDays(WeeklyPeriod period) {
    switch (period) {
    case WeeklyPeriod::Last7Days:
        return 7;
    case WeeklyPeriod::Last30Days:
        return 30;
    case WeeklyPeriod::Last90Days:
        return 90;
    case WeeklyPeriod::AllReadings:
        break;
    }
    return std::nullopt;
}
} // namespace

std::optional<double> periodStart(WeeklyPeriod period, const QDate& today) {
    const std::optional<int> days = periodDays(period);
    if (!days) return std::nullopt;
    return timeAxisValue(wallClock(today.addDays(1 - *days)));
}

SensorFigures sensorFigures(const QVector<double>& times, const QVector<double>& loads,
                            const AlarmLevels& levels, std::optional<double> from) {
    SensorFigures f;
    const qsizetype n = std::min(times.size(), loads.size());
    const qsizetype first =
        from ? qsizetype(std::lower_bound(times.cbegin(), times.cbegin() + n, *from) -
                         times.cbegin())
             : 0;
    if (first >= n) return f;
    const qsizetype last = n - 1;
    f.hasReadings = true;
    f.latest = loads[last];
    f.change = loads[last] - loads[first];
    const double days = (times[last] - times[first]) / kSecondsPerDay;
    if (days > 0) f.risePerDay = f.change / days;
    if (levels.alarm && *levels.alarm > 0) f.percentOfAlarm = f.latest / *levels.alarm * 100.0;
    if (levels.alert || levels.alarm) {
        const AlarmLevels judged{levels.alert, levels.alarm, std::nullopt};
        switch (checkLoad({f.latest, {}}, std::nullopt, judged).reached) {
        case LevelReached::Alarm:
            f.state = LoadState::Alarm;
            break;
        case LevelReached::Alert:
            f.state = LoadState::Alert;
            break;
        case LevelReached::None:
            f.state = LoadState::Within;
            break;
        }
    }
    return f;
}

QStringList weeklyColumns() {
    return {QStringLiteral("Sensor"),          QStringLiteral("Latest load (t)"),
            QStringLiteral("Alert load (t)"),  QStringLiteral("Alarm load (t)"),
            QStringLiteral("% of alarm load"), QStringLiteral("Change (t)"),
            QStringLiteral("Rise per day (t)")};
}

namespace {
// The latest load as a percentage of the alarm load, to one decimal. A load below the
// alarm load never reads "100.0 %": its share is cut to 99.9 rather than rounded up.
QString percentText(const SensorFigures& f) {
    QString text = formatNumber(*f.percentOfAlarm, 1);
    if (f.state != LoadState::Alarm && text == QLatin1String("100.0"))
        text = QStringLiteral("99.9");
    return text + QStringLiteral(" %");
}
} // namespace

QStringList weeklyCells(const WeeklyRow& row) {
    const SensorFigures& f = row.figures;
    QString latest = !row.problem.isEmpty()   ? row.problem
                     : f.hasReadings          ? formatNumber(f.latest, 2)
                     : row.unusable.count > 0 ? QStringLiteral("No usable readings in the period")
                                              : QStringLiteral("No readings in the period");
    return {row.sensor,
            latest,
            levelText(row.levels.alert),
            levelText(row.levels.alarm),
            f.percentOfAlarm ? percentText(f) : QString(),
            f.hasReadings ? formatNumber(f.change, 2) : QString(),
            f.risePerDay ? formatNumber(*f.risePerDay, 2) : QString()};
}

QStringList weeklyNotes(const WeeklyReport& report) {
    QStringList notes;
    for (const WeeklyRow& row : report.rows) {
        if (const UnusableLoads& u = row.unusable; u.count > 0) {
            const QString latest = u'"' + u.latestText + QStringLiteral("\" on ") +
                                   readingDateText(u.latestAt.date()) + u' ' +
                                   readingTimeText(u.latestAt.time());
            notes << (u.count == 1
                          ? row.sensor +
                                QStringLiteral(": 1 reading in the period has a load that cannot "
                                               "be used (") +
                                latest +
                                QStringLiteral("); it is left out of the figures and the plot.")
                          : row.sensor +
                                QStringLiteral(": %1 readings in the period have a load that "
                                               "cannot be used (the latest: ")
                                    .arg(u.count) +
                                latest +
                                QStringLiteral("); they are left out of the figures and the "
                                               "plot."));
        }
        // A reading whose date cannot be read is in no period: it is said whatever the period.
        if (row.undated == 1)
            notes << row.sensor +
                         QStringLiteral(": 1 reading holds a load but has a date and time that "
                                        "cannot be read; it is in no period and is left out of "
                                        "the figures and the plot.");
        else if (row.undated > 1)
            notes << row.sensor +
                         QStringLiteral(": %1 readings hold a load but have a date and time that "
                                        "cannot be read; they are in no period and are left out "
                                        "of the figures and the plot.")
                             .arg(row.undated);
    }
    return notes;
}

QColor rowBackground(LoadState state) {
    switch (state) {
    case LoadState::Alarm:
        return QColor(0xc6, 0x28, 0x28); // as the level notice's alarm
    case LoadState::Alert:
        return QColor(0xf9, 0xa8, 0x25); // as the level notice's alert
    case LoadState::Within:
        return QColor(0xc8, 0xe6, 0xc9);
    case LoadState::NoLevels:
        break;
    }
    return QColor();
}

QColor rowText(LoadState state) {
    return state == LoadState::Alarm ? QColor(Qt::white) : QColor(Qt::black);
}

QString weeklyFileName(const WeeklyChoice& choice, const QDate& today) {
    QString what = choice.kind == WeeklyChoice::Kind::BeyondLevels ? QStringLiteral("beyond levels")
                                                                   : choice.name.trimmed();
    for (const QChar c : QStringLiteral("/\\:*?\"<>|"))
        what.replace(c, u'-');
    return QStringLiteral("Weekly report ") + what + u' ' +
           today.toString(QStringLiteral("yyyy-MM-dd"));
}

namespace {
// The readings in the period (from `from` on) that readSensorLoads left out for a load that
// cannot be used: how many, and the latest (of equal moments, the one the plot's order puts
// last).
UnusableLoads unusableLoads(const SensorLoads& l, std::optional<double> from) {
    UnusableLoads found;
    std::optional<double> latest;
    for (qsizetype i = 0; i < l.unusableTimes.size(); ++i) {
        const double t = l.unusableTimes[i];
        if (from && t < *from) continue;
        ++found.count;
        if (latest && t < *latest) continue;
        latest = t;
        found.latestText = l.unusableTexts[i];
        found.latestAt = axisMoment(t);
    }
    return found;
}
} // namespace

Result<WeeklyBuilt> buildWeeklyReport(Session& s, const WeeklyChoice& choice, Progress& progress) {
    Connection& c = s.gConnection;
    const auto all = comparedSensors(c);
    if (!all) return all.error();
    QStringList ids;
    switch (choice.kind) {
    case WeeklyChoice::Kind::Level:
        ids = sensorsOnLevel(all.value(), choice.name);
        break;
    case WeeklyChoice::Kind::Location:
        ids = sensorsAtLocation(all.value(), choice.name);
        break;
    case WeeklyChoice::Kind::BeyondLevels: {
        const auto beyond = sensorsBeyondLevels(c);
        if (!beyond) return beyond.error();
        for (const SensorBeyond& b : beyond.value())
            ids << b.instrumentId;
        break;
    }
    }
    QHash<QString, const ComparedSensor*> byId;
    for (const ComparedSensor& sensor : all.value())
        byId.insert(sensor.instrumentId, &sensor);
    const auto names = c.tables();
    if (!names) return names.error();
    const QSet<QString> tables(names.value().cbegin(), names.value().cend());
    const bool levelsKept = hasAlarmTable(c);

    const QDate today = s.clock.today();
    const std::optional<double> from = periodStart(choice.period, today);
    WeeklyBuilt built;
    WeeklyReport& report = built.report;
    report.title = QStringLiteral("Weekly report");
    if (!choice.site.trimmed().isEmpty())
        report.title += QStringLiteral(" - ") + choice.site.trimmed();
    switch (choice.kind) {
    case WeeklyChoice::Kind::Level:
        report.heading << QStringLiteral("Level: ") + choice.name.trimmed();
        break;
    case WeeklyChoice::Kind::Location:
        report.heading << QStringLiteral("Location: ") + choice.name.trimmed();
        break;
    case WeeklyChoice::Kind::BeyondLevels:
        report.heading << QStringLiteral("Sensors: every sensor beyond its levels");
        report.emptyNote = QStringLiteral("No sensor is at or above its alert or alarm load.");
        break;
    }
    report.heading << QStringLiteral("Date: ") + readingDateText(today);
    report.heading << (from ? QStringLiteral("Period: %1, from %2 to %3")
                                  .arg(periodCaption(choice.period), readingDateText(dayOf(*from)),
                                       readingDateText(today))
                            : QStringLiteral("Period: All readings"));

    progress.begin(QStringLiteral("Writing the weekly report of %1 sensors").arg(ids.size()),
                   ids.size());
    const auto ended = qScopeGuard([&] { progress.end(); });
    Chart chart(QStringLiteral("ChartWeekly"));
    qint64 done = 0;
    for (const QString& id : ids) {
        if (!progress.step(done++)) {
            built.cancelled = true;
            return built;
        }
        const ComparedSensor* sensor = byId.value(id);
        if (!sensor) continue;
        WeeklyRow row;
        row.sensor = id;
        if (levelsKept) {
            if (const auto levels = loadAlarmLevels(c, id))
                row.levels = levels.value();
            else
                s.logFailure(levels.error(), kWeeklyLabel);
        }
        if (tables.contains(id)) {
            const auto loads = readSensorLoads(c, id, sensor->offsetText);
            if (!loads) {
                s.logFailure(loads.error(), kWeeklyLabel);
                row.problem = QStringLiteral("Its readings could not be read");
            } else {
                const SensorLoads& l = loads.value();
                row.figures = sensorFigures(l.times, l.loads, row.levels, from);
                row.unusable = unusableLoads(l, from);
                row.undated = l.undated;
                if (row.figures.hasReadings) {
                    const qsizetype first =
                        from ? std::lower_bound(l.times.cbegin(), l.times.cend(), *from) -
                                   l.times.cbegin()
                             : 0;
                    const QByteArray png = plotPicture(chart, id, l.times.mid(first),
                                                       l.loads.mid(first), row.levels, s.gPrefMaxY);
                    if (!png.isEmpty()) report.plots.push_back({id, png});
                }
            }
        }
        report.rows.push_back(std::move(row));
    }
    progress.step(done);
    if (!report.rows.empty()) report.emptyNote.clear();
    return built;
}

QByteArray weeklyOdt(const WeeklyReport& report) {
    StoredZip zip;
    zip.add(QStringLiteral("mimetype"),
            QByteArrayLiteral("application/vnd.oasis.opendocument.text"));
    zip.add(QStringLiteral("content.xml"), contentXml(report));
    zip.add(QStringLiteral("styles.xml"), stylesXml());
    for (std::size_t i = 0; i < report.plots.size(); ++i)
        zip.add(QStringLiteral("Pictures/Plot%1.png").arg(i + 1), report.plots[i].png);
    QStringList files{QStringLiteral("content.xml"), QStringLiteral("styles.xml")};
    for (std::size_t i = 1; i <= report.plots.size(); ++i)
        files << QStringLiteral("Pictures/Plot%1.png").arg(i);
    zip.add(QStringLiteral("META-INF/manifest.xml"), odtManifest(files));
    return zip.finish();
}

Result<int> writeWeeklyReport(const WeeklyReport& report, const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QString native = QDir::toNativeSeparators(path);
    if (suffix != u"pdf" && suffix != u"odt")
        return Error{err::InvalidArgument,
                     QStringLiteral("A weekly report is written as .pdf or .odt, not as ") +
                         native};
    // Written beside the path and put in its place only once whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Error{err::FileError, QStringLiteral("Could not create ") + native +
                                         QStringLiteral(": ") + file.errorString()};
    int pages = 0;
    if (suffix == u"pdf") {
        const Result<int> written = writePdf(report, file);
        if (!written) {
            file.cancelWriting();
            return written.error();
        }
        pages = written.value();
    } else {
        const QByteArray bytes = weeklyOdt(report);
        if (file.write(bytes) != bytes.size()) {
            const QString problem = file.errorString();
            file.cancelWriting();
            return Error{err::FileError, QStringLiteral("Could not write ") + native +
                                             QStringLiteral(": ") + problem};
        }
    }
    if (!file.commit())
        return Error{err::FileError, QStringLiteral("Could not write ") + native +
                                         QStringLiteral(": ") + file.errorString()};
    return pages;
}

} // namespace rv
