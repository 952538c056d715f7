#include "graphs/ChartPage.h"
#include "alarms/AlarmStore.h"
#include "core/Loads.h"
#include "core/Values.h"
#include "graphs/GraphData.h"
#include "platform/Desktop.h"
#include "platform/OpenWritten.h"
#include "platform/QtProgress.h"
#include "store/Session.h"
#include <QBuffer>
#include <QPainter>
#include <QPainterPath>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QScopeGuard>
#include <QVBoxLayout>
#include <algorithm>

namespace rv {

namespace {

const QString kExportCaption = QStringLiteral("Export as JPG");
const QString kTipsTitle = QStringLiteral("Graphing Tips and Hints");

// A small picture of a printer, for the print button.
QPixmap printerPicture() {
    QPixmap pixmap(28, 28);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(28.0 / 32.0, 28.0 / 32.0);
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 3, 14, 10)); // the sheet going in
    p.setBrush(QColor(150, 150, 160));
    p.drawRoundedRect(QRectF(3, 11, 26, 12), 2, 2); // the body
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 19, 14, 10)); // the printed sheet
    p.setPen(QPen(QColor(0, 0, 255), 1));
    p.drawLine(QPointF(11, 23), QPointF(21, 23));
    p.drawLine(QPointF(11, 26), QPointF(19, 26));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 200, 0));
    p.drawEllipse(QPointF(25, 15), 1.5, 1.5);
    return pixmap;
}

// A small picture of a picture: the export button's icon.
QPixmap pictureIcon() {
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(QColor(220, 235, 255));
    p.drawRect(QRectF(1.5, 3.5, 17, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 200, 0));
    p.drawEllipse(QPointF(6, 7.5), 2, 2);
    p.setBrush(QColor(40, 140, 40));
    QPainterPath hills;
    hills.moveTo(2, 16);
    hills.lineTo(8, 10);
    hills.lineTo(11, 13);
    hills.lineTo(14, 9);
    hills.lineTo(18, 16);
    hills.closeSubpath();
    p.drawPath(hills);
    return pixmap;
}

QPushButton* exportButton(const QString& name, QWidget* parent) {
    auto* button = new QPushButton(QIcon(pictureIcon()), kExportCaption, parent);
    button->setObjectName(name);
    button->setCursor(Qt::PointingHandCursor);
    button->adjustSize();
    return button;
}

} // namespace

void ShowGraphTips(Dialogs& dialogs) {
    const QStringList lines = {
        QStringLiteral("1) To scroll graph hold down the left mouse button over an axis and drag "
                       "to desired range"),
        QStringLiteral("2) Explanation of zooming (diagonal left to right zooms in, right to left "
                       "zooms out)"),
        QStringLiteral("3) Click on a series in the graph to see raw data in lower annotation"),
        QStringLiteral("4) Uncheck a series in the legend to hide, check series to show")};
    dialogs.inform(lines.join(kCrLf), kTipsTitle, Icon::None);
}

ChartPage::ChartPage(Session& session, Kind kind, QWidget* parent)
    : QWidget(parent), m_s(&session), m_kind(kind) {
    const bool first = kind == Kind::LoadVsTime;
    setObjectName(first ? QStringLiteral("tabLoadVsTime") : QStringLiteral("tabLoadVsTimeTemp"));
    chart = new Chart(first ? QStringLiteral("ChartT") : QStringLiteral("ChartT2"), this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(chart, 1);
    if (first) {
        cmdTemp = exportButton(QStringLiteral("cmdTemp"), chart);
        // The print picture and the tips button sit in the chart's top right corner, above
        // the legend, so that the plot keeps the whole height of the tab.
        imgPrintT = new PictureButton(QStringLiteral("imgPrintT"), printerPicture(), chart);
        imgPrintT->setToolTip(QStringLiteral("Print the chart"));
        imgPrintT->setCursor(Qt::PointingHandCursor);
        imgPrintT->adjustSize();
        cmdTHelp = new QPushButton(QStringLiteral("?"), chart);
        cmdTHelp->setObjectName(QStringLiteral("cmdTHelp"));
        cmdTHelp->setFixedSize(26, 26);
        connect(cmdTemp, &QPushButton::clicked, this, &ChartPage::cmdTemp_Click);
        connect(imgPrintT, &PictureButton::clicked, this, &ChartPage::imgPrintT_Click);
        connect(cmdTHelp, &QPushButton::clicked, this, &ChartPage::cmdTHelp_Click);
    } else {
        cmdExportT2 = exportButton(QStringLiteral("cmdExportT2"), chart);
        connect(cmdExportT2, &QPushButton::clicked, this, &ChartPage::cmdExportT2_Click);
    }
    m_choosePrinter = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, this);
        dialog.setWindowTitle(QStringLiteral("Print the Load v Time plot"));
        return dialog.exec() == QDialog::Accepted;
    };
}

ChartPage::~ChartPage() {
    m_s = nullptr;
}

void ChartPage::release() {
    m_s = nullptr;
}

void ChartPage::setOffsetSource(std::function<QString()> offsetText) {
    m_offsetText = std::move(offsetText);
}

void ChartPage::setProgress(Progress* progress) {
    m_progress = progress;
}

void ChartPage::setPrinterChoice(std::function<bool(QPrinter&)> choose) {
    m_choosePrinter = std::move(choose);
}

Progress& ChartPage::progress() {
    if (m_progress) return *m_progress;
    if (!m_ownProgress) m_ownProgress = std::make_unique<QtProgress>(this);
    return *m_ownProgress;
}

void ChartPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The export button sits in the chart's top left corner, clear of the title.
    if (QPushButton* button = cmdTemp ? cmdTemp : cmdExportT2) button->move(6, 6);
    if (cmdTHelp) cmdTHelp->move(chart->width() - cmdTHelp->width() - 6, 4);
    if (imgPrintT) imgPrintT->move(chart->width() - cmdTHelp->width() - imgPrintT->width() - 12, 1);
}

QString ChartPage::sensorId() const {
    return displayText(need(m_s->currentSensor.value(QStringLiteral("InstrumentID"))));
}

void ChartPage::enterTab(const std::function<void()>& switchBack) {
    if (!m_s) return;
    Session& s = *m_s;
    skip([&] {
        chart->setFocus();
        chart->hide();
    });
    const qint64 count = CountGraphData(s);
    // Readings that could not be counted (the site server out of reach) were told as such.
    if (count < 0) return switchBack();
    if (count > 1) {
        const QString offset = m_offsetText ? m_offsetText() : QString();
        // On a site server the loads are computed in the program, and the same read gives
        // the drawing its values: the readings cross the network once.
        PlotData read;
        bool filled = false;
        const Recomputed recomputed =
            G_GetTemporalData(s, offset, progress(), count, &read, &filled);
        if (recomputed == Recomputed::Cancelled) {
            switchBack();
            return;
        }
        chart->show();
        // Loads that could not be stored (a database that can only be read) are drawn as
        // computed, the same numbers the store would have held.
        if (filled)
            drawPlot(std::nullopt, std::move(read));
        else if (recomputed == Recomputed::NotStored)
            drawPlot(installationOffset(offset));
        else
            draw();
        return;
    }
    switchBack();
    s.dialogs.inform(kPlotRefusal, kTitle, Icon::Information);
}

void ChartPage::draw() {
    drawPlot(std::nullopt);
}

void ChartPage::drawPlot(std::optional<double> computeWithOffset, std::optional<PlotData> read) {
    if (!m_s) return;
    Session& s = *m_s;
    Chart& c = *chart;
    const bool withTemperature = m_kind == Kind::LoadVsTimeWithTemp;

    // The title names the sensor; the time axis has no title until its labelling below.
    skip([&] {
        c.setTitleText(QString());
        c.timeAxis()->setLabel(QString());
        c.setTitleText(sensorId());
    });
    // No points and no legend lines; every series shown again.
    skip([&] {
        for (int n = 0; n < Chart::kSeriesCount; ++n) {
            c.series(n)->data()->clear();
            c.series(n)->setVisible(true);
        }
        c.clearLegend();
        c.setNotice(QString());
        c.setLevelLines({});
    });
    // No zoom left over from the last drawing.
    skip([&] { c.unzoom(); });
    // The load axis' title.
    skip([&] { c.loadAxis()->setLabel(QStringLiteral("Load (tons)")); });

    // The plottable readings, read while rsGraph is open.
    PlotData data;
    if (read)
        data = std::move(*read);
    else
        skip([&] {
            OpenGraphData(s);
            const auto closed = qScopeGuard([&] { s.rsGraph.close(); });
            data = readPlotData(s, computeWithOffset);
        });
    skip([&] {
        if (withTemperature) {
            c.series(Chart::kTemperatureSeries)
                ->setData(data.temperatureTimes, data.temperatures, true);
            c.listInLegend(Chart::kTemperatureSeries);
        }
        c.series(Chart::kLoadSeries)->setName(QStringLiteral("Load 1"));
        c.series(Chart::kLoadSeries)->setData(data.loadTimes, data.loads, true);
        c.listInLegend(Chart::kLoadSeries);
    });

    // The sensor's alert and alarm loads across the plot, drawn at their values on the
    // load axis like the loads themselves (both relative to the installation offset); they
    // take no part in the load axis' scale below. A database without the levels' table
    // (read-only) draws none.
    skip([&] {
        if (!s.gConnection.isOpen() || !hasAlarmTable(s.gConnection)) return;
        c.setLevelLines(levelLines(need(loadAlarmLevels(s.gConnection, sensorId()))));
    });

    // The load axis, from the values drawn.
    axis::LoadScale scale;
    skip([&] {
        axis::LoadValues values;
        QVector<double> shown = data.loads;
        if (withTemperature) shown += data.temperatures;
        if (!shown.isEmpty()) {
            const auto [lo, hi] = std::minmax_element(shown.cbegin(), shown.cend());
            values.lowest = *lo;
            values.highest = *hi;
        }
        if (!data.loads.isEmpty())
            values.loadMaximum = *std::max_element(data.loads.cbegin(), data.loads.cend());
        if (withTemperature)
            values.temperatureMaximum =
                data.temperatures.isEmpty()
                    ? 0.0
                    : *std::max_element(data.temperatures.cbegin(), data.temperatures.cend());
        scale = axis::loadScale(values, s.gPrefMaxY);
        c.setLoadStep(scale.step);
    });

    // The time axis, from the days the readings span.
    skip([&] { c.setTimeLabelling(axis::timeLabelling(data.dayRange, data.firstDay)); });

    // The view: the time axis from the first to the last point (the temperature's
    // markers drawn whole at its ends), the load axis as the rules say.
    skip([&] {
        QVector<double> times = data.loadTimes;
        if (withTemperature) times += data.temperatureTimes;
        axis::Span span;
        if (times.isEmpty()) {
            const double now = timeAxisValue(s.clock.now());
            span = axis::timeSpan(now, now);
            c.setNotice(QStringLiteral("No reading of sensor ") + c.titleText() +
                        QStringLiteral(" could be plotted:\ntheir dates or loads cannot be "
                                       "read."));
        } else {
            const auto [first, last] = std::minmax_element(times.cbegin(), times.cend());
            span = axis::timeSpan(*first, *last);
        }
        if (withTemperature && !data.temperatureTimes.isEmpty()) {
            const double width = std::max(40, c.axisRect()->width() - 8);
            const double margin = (span.upper - span.lower) * 4.0 / width;
            span.lower -= margin;
            span.upper += margin;
        }
        c.setFullView(QCPRange(span.lower, span.upper), QCPRange(scale.minimum, scale.maximum));
    });
    c.replot();
}

QString ChartPage::picturePath() const {
    const QString folder = m_s ? m_s->gDataFolder : QString();
    return folder + (m_kind == Kind::LoadVsTime ? QStringLiteral("/Temporal.jpg")
                                                : QStringLiteral("/Temporal2.jpg"));
}

bool ChartPage::exportPicture(const QString& path) {
    return saveJpeg(chart->picture(), path);
}

bool saveJpeg(const QImage& image, const QString& path) {
    if (image.isNull()) return false;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "JPG", 90)) return false;
    // The picture replaces the old one only once it is written whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void ChartPage::exportAndOpen(const QString& label) {
    if (!m_s) return;
    const QString path = picturePath();
    if (!exportPicture(path)) {
        m_s->dialogs.inform(QStringLiteral("The chart could not be saved as ") + path + kCrLf +
                                QStringLiteral("Check that the data folder can be written to "
                                               "and that the picture is not open in another "
                                               "program."),
                            kTitle, Icon::Exclamation);
        return;
    }
    // No picture viewer: the user learns where the picture lies.
    if (const Status opened = openWritten(m_s->dialogs, m_s->desktop, path); !opened.ok())
        m_s->logFailure(opened.error(), label);
}

void ChartPage::cmdTemp_Click() {
    exportAndOpen(QStringLiteral(" cmdTemp_Click"));
}

void ChartPage::cmdExportT2_Click() {
    exportAndOpen(QStringLiteral(" cmdExportT2_Click"));
}

bool ChartPage::printChart(QPrinter& printer) {
    QCPPainter painter;
    if (!painter.begin(&printer)) return false;
    const QRect page(0, 0, printer.width(), printer.height());
    chart->paintStretched(painter, printArea(page));
    return painter.end();
}

void ChartPage::imgPrintT_Click() {
    if (!m_s) return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setFullPage(true);
    printer.setDocName(QStringLiteral("Load v Time ") + chart->titleText());
    if (!m_choosePrinter || !m_choosePrinter(printer)) return;
    if (!printChart(printer))
        m_s->dialogs.inform(QStringLiteral("The chart could not be printed.") + kCrLf +
                                QStringLiteral("Check that a printer is installed and ready."),
                            kTitle, Icon::Exclamation);
}

void ChartPage::cmdTHelp_Click() {
    if (m_s) ShowGraphTips(m_s->dialogs);
}

} // namespace rv
