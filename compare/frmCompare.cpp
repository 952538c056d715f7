#include "compare/frmCompare.h"
#include "compare/ComparePlot.h"
#include "graphs/ChartPage.h"
#include "platform/Desktop.h"
#include "platform/OpenWritten.h"
#include "platform/QtProgress.h"
#include "store/Session.h"
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace rv {

namespace {

const QString kChoose = QStringLiteral("(choose)");
const QString kExportTitle = QStringLiteral("Export the comparison as a JPEG picture");
// What the plot says while it has nothing to show, in the window's own captions.
const QString kPlotHint = QStringLiteral("Tick sensors in the list, then click \"Plot ticked "
                                         "sensors\",\nor choose one in \"All sensors on "
                                         "Level\" or \"All sensors at Location\".");
const QString kNothingPlotted = QStringLiteral("None of the chosen sensors could be plotted:\n"
                                               "the note under the list says why.");

QString listText(const ComparedSensor& s) {
    QStringList where;
    if (!s.level.isEmpty()) where << s.level;
    if (!s.location.isEmpty()) where << s.location;
    QString text = s.instrumentId;
    if (!where.isEmpty()) text += QStringLiteral("  ") + where.join(QStringLiteral(", "));
    if (s.destroyed) text += QStringLiteral("  (destroyed)");
    return text;
}

} // namespace

QPixmap comparePicture() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 90, 90), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 3.5, 27, 25));
    const QColor colours[] = {ComparePlot::sensorColour(0), ComparePlot::sensorColour(1),
                              ComparePlot::sensorColour(2)};
    const QPointF curves[3][4] = {{{5, 24}, {12, 17}, {19, 14}, {27, 9}},
                                  {{5, 26}, {12, 22}, {19, 20}, {27, 17}},
                                  {{5, 20}, {12, 14}, {19, 16}, {27, 13}}};
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(colours[i], 2));
        p.drawPolyline(curves[i], 4);
    }
    p.setPen(QPen(QColor(210, 30, 30), 1.2, Qt::DashLine));
    p.drawLine(QPointF(4, 7.5), QPointF(28, 7.5));
    return pixmap;
}

frmCompare::frmCompare(Session& session, QWidget* parent) : QDialog(parent), m_s(session) {
    setObjectName(QStringLiteral("frmCompare"));
    setWindowTitle(QStringLiteral("Compare sensors"));
    setModal(true);

    lstSensors = new QListWidget(this);
    lstSensors->setObjectName(QStringLiteral("lstSensors"));
    lstSensors->setMinimumWidth(330);
    cboLevel = new QComboBox(this);
    cboLevel->setObjectName(QStringLiteral("cboLevel"));
    cboLocation = new QComboBox(this);
    cboLocation->setObjectName(QStringLiteral("cboLocation"));
    for (QComboBox* box : {cboLevel, cboLocation}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(12);
    }
    cmdUntick = new QPushButton(QStringLiteral("Untick all"), this);
    cmdUntick->setObjectName(QStringLiteral("cmdUntick"));
    cmdPlot = new QPushButton(QStringLiteral("Plot ticked sensors"), this);
    cmdPlot->setObjectName(QStringLiteral("cmdPlot"));
    cmdPlot->setDefault(true);
    lblNote = new QLabel(this);
    lblNote->setObjectName(QStringLiteral("lblNote"));
    lblNote->setWordWrap(true);
    lblNote->setStyleSheet(QStringLiteral("color: #8a1c1c;"));
    ChartCompare = new ComparePlot(this);
    cmdWhole = new QPushButton(QStringLiteral("Whole plot"), this);
    cmdWhole->setObjectName(QStringLiteral("cmdWhole"));
    cmdWhole->setToolTip(QStringLiteral("Show every reading again after zooming or moving"));
    cmdExport = new QPushButton(QStringLiteral("Export as JPG"), this);
    cmdExport->setObjectName(QStringLiteral("cmdExport"));
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));

    auto* choice = new QGroupBox(QStringLiteral("Sensors to compare"), this);
    auto* choiceLayout = new QVBoxLayout(choice);
    choiceLayout->addWidget(lstSensors, 1);
    auto* by = new QGridLayout;
    by->addWidget(new QLabel(QStringLiteral("All sensors on Level:"), choice), 0, 0);
    by->addWidget(cboLevel, 0, 1);
    by->addWidget(new QLabel(QStringLiteral("All sensors at Location:"), choice), 1, 0);
    by->addWidget(cboLocation, 1, 1);
    by->setColumnStretch(1, 1);
    choiceLayout->addLayout(by);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdUntick);
    buttons->addStretch();
    buttons->addWidget(cmdPlot);
    choiceLayout->addLayout(buttons);
    choiceLayout->addWidget(lblNote);

    auto* right = new QVBoxLayout;
    right->addWidget(ChartCompare, 1);
    auto* below = new QHBoxLayout;
    auto* tip = new QLabel(QStringLiteral("Mouse wheel: zoom.  Drag: move.  Click a sensor in "
                                          "the legend to hide or show it."),
                           this);
    tip->setStyleSheet(QStringLiteral("color: #555;"));
    below->addWidget(tip);
    below->addStretch();
    below->addWidget(cmdWhole);
    below->addWidget(cmdExport);
    below->addWidget(cmdClose);
    right->addLayout(below);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(choice, 0);
    layout->addLayout(right, 1);
    resize(1150, 680);

    connect(cmdPlot, &QPushButton::clicked, this, &frmCompare::cmdPlot_Click);
    connect(cmdUntick, &QPushButton::clicked, this, &frmCompare::cmdUntick_Click);
    connect(cmdWhole, &QPushButton::clicked, this, &frmCompare::cmdWhole_Click);
    connect(cmdExport, &QPushButton::clicked, this, &frmCompare::cmdExport_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(cboLevel, &QComboBox::currentIndexChanged, this, &frmCompare::cboLevel_Click);
    connect(cboLocation, &QComboBox::currentIndexChanged, this, &frmCompare::cboLocation_Click);

    fillChoices();
    ChartCompare->showEmpty(kPlotHint);
    cmdExport->setEnabled(false);
}

frmCompare::~frmCompare() = default;

void frmCompare::setProgress(Progress* progress) {
    m_progress = progress;
}

Progress& frmCompare::progress() {
    if (m_progress) return *m_progress;
    if (!m_ownProgress) m_ownProgress = std::make_unique<QtProgress>(this);
    return *m_ownProgress;
}

void frmCompare::fillChoices() {
    m_sensors.clear();
    if (m_s.gConnection.isOpen()) {
        if (auto sensors = comparedSensors(m_s.gConnection))
            m_sensors = std::move(sensors.value());
        else {
            m_s.logFailure(sensors.error(), QStringLiteral(" G_CompareSensors"));
            lblNote->setText(QStringLiteral("The sensors could not be read (see the log file)."));
        }
    }
    for (const ComparedSensor& sensor : m_sensors) {
        auto* item = new QListWidgetItem(listText(sensor), lstSensors);
        item->setData(Qt::UserRole, sensor.instrumentId);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
    }
    const QSignalBlocker levelQuiet(cboLevel), locationQuiet(cboLocation);
    cboLevel->addItem(kChoose);
    cboLevel->addItems(levelsOf(m_sensors));
    cboLocation->addItem(kChoose);
    cboLocation->addItems(locationsOf(m_sensors));
}

void frmCompare::tickSensors(const QStringList& ids) {
    for (int i = 0; i < lstSensors->count(); ++i) {
        QListWidgetItem* item = lstSensors->item(i);
        item->setCheckState(ids.contains(item->data(Qt::UserRole).toString()) ? Qt::Checked
                                                                              : Qt::Unchecked);
    }
}

QStringList frmCompare::tickedSensors() const {
    QStringList ids;
    for (int i = 0; i < lstSensors->count(); ++i)
        if (lstSensors->item(i)->checkState() == Qt::Checked)
            ids << lstSensors->item(i)->data(Qt::UserRole).toString();
    return ids;
}

void frmCompare::cmdUntick_Click() {
    tickSensors({});
}

void frmCompare::cmdPlot_Click() {
    const QStringList ids = tickedSensors();
    plot(ids, ids.size() == 1 ? QStringLiteral("Sensor ") + ids.front()
                              : QString::number(ids.size()) + QStringLiteral(" sensors"));
}

void frmCompare::cboLevel_Click() {
    if (cboLevel->currentIndex() <= 0) return;
    {
        const QSignalBlocker quiet(cboLocation);
        cboLocation->setCurrentIndex(0);
    }
    const QString level = cboLevel->currentText();
    tickSensors(sensorsOnLevel(m_sensors, level));
    plot(tickedSensors(), QStringLiteral("All sensors on ") + level);
}

void frmCompare::cboLocation_Click() {
    if (cboLocation->currentIndex() <= 0) return;
    {
        const QSignalBlocker quiet(cboLevel);
        cboLevel->setCurrentIndex(0);
    }
    const QString location = cboLocation->currentText();
    tickSensors(sensorsAtLocation(m_sensors, location));
    plot(tickedSensors(), QStringLiteral("All sensors at ") + location);
}

void frmCompare::plot(const QStringList& ids, const QString& title) {
    if (ids.isEmpty()) {
        ChartCompare->showEmpty(kPlotHint);
        lblNote->setText(QStringLiteral("Tick the sensors to compare, or choose a Level or a "
                                        "Location."));
        cmdExport->setEnabled(false);
        return;
    }
    std::vector<ComparedSensor> chosen;
    for (const QString& id : ids)
        for (const ComparedSensor& sensor : m_sensors)
            if (sensor.instrumentId == id) chosen.push_back(sensor);
    const Comparison comparison = readComparison(m_s, chosen, progress());
    if (comparison.curves.empty())
        ChartCompare->showEmpty(kNothingPlotted);
    else
        ChartCompare->draw(comparison.curves, title);
    lblNote->setText(comparisonNote(comparison, int(chosen.size())));
    cmdExport->setEnabled(!comparison.curves.empty());
}

void frmCompare::cmdWhole_Click() {
    ChartCompare->showWhole();
}

void frmCompare::cmdExport_Click() {
    QString path =
        m_s.dialogs.saveFileName(kExportTitle, m_s.gDataFolder + QStringLiteral("/Comparison.jpg"),
                                 QStringLiteral("JPEG picture (*.jpg) | *.jpg"));
    if (path.isEmpty()) return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QStringLiteral("jpg") && suffix != QStringLiteral("jpeg"))
        path += QStringLiteral(".jpg");
    if (!saveJpeg(ChartCompare->picture(), path)) {
        m_s.dialogs.inform(QStringLiteral("The comparison could not be saved as ") + path + kCrLf +
                               QStringLiteral("Check that the folder can be written to and that "
                                              "the picture is not open in another program."),
                           kTitle, Icon::Exclamation);
        return;
    }
    // No picture viewer: the user learns where the picture lies.
    if (const Status opened = openWritten(m_s.dialogs, m_s.desktop, path); !opened.ok())
        m_s.logFailure(opened.error(), QStringLiteral(" cmdExport_Click"));
}

} // namespace rv
