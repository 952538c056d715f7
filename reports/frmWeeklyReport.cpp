#include "reports/frmWeeklyReport.h"
#include "compare/CompareData.h"
#include "platform/OpenWritten.h"
#include "platform/QtProgress.h"
#include "platform/UserChoices.h"
#include "platform/WriteCheck.h"
#include "store/Session.h"
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace rv {

namespace {
const QString kWeeklyLabel = QStringLiteral(" cmdWeeklyReport_Click");
const QString kSiteKey = QStringLiteral("Reports/Site");
const QString kKeptFolderKey = QStringLiteral("Reports/KeptFolder");
// Room asked of the disk before writing: a report of a few hundred sensors with their plots.
constexpr qint64 kRoomNeeded = 20 * 1024 * 1024;
} // namespace

frmWeeklyReport::frmWeeklyReport(Session& session, QWidget* parent)
    : QDialog(parent), m_s(session) {
    setObjectName(QStringLiteral("frmWeeklyReport"));
    setWindowTitle(QStringLiteral("Weekly report"));
    setModal(true);

    optLevel = new QRadioButton(QStringLiteral("Every sensor on Level:"), this);
    optLevel->setObjectName(QStringLiteral("optLevel"));
    cboLevel = new QComboBox(this);
    cboLevel->setObjectName(QStringLiteral("cboLevel"));
    optLocation = new QRadioButton(QStringLiteral("Every sensor at Location:"), this);
    optLocation->setObjectName(QStringLiteral("optLocation"));
    cboLocation = new QComboBox(this);
    cboLocation->setObjectName(QStringLiteral("cboLocation"));
    optBeyond = new QRadioButton(QStringLiteral("Every sensor beyond its levels"), this);
    optBeyond->setObjectName(QStringLiteral("optBeyond"));
    cboPeriod = new QComboBox(this);
    cboPeriod->setObjectName(QStringLiteral("cboPeriod"));
    for (WeeklyPeriod p : {WeeklyPeriod::Last7Days, WeeklyPeriod::Last30Days,
                           WeeklyPeriod::Last90Days, WeeklyPeriod::AllReadings})
        cboPeriod->addItem(periodCaption(p), int(p));
    txtSite = new QLineEdit(this);
    txtSite->setObjectName(QStringLiteral("txtSite"));
    txtSite->setText(UserChoices(m_s.paths).text(kSiteKey));
    cmdOK = new QPushButton(QStringLiteral("Write report..."), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    // The Levels and Locations of the Sensors table, whatever filter the sensor list has.
    if (m_s.gConnection.isOpen()) {
        if (const auto sensors = comparedSensors(m_s.gConnection)) {
            cboLevel->addItems(levelsOf(sensors.value()));
            cboLocation->addItems(locationsOf(sensors.value()));
        } else {
            m_s.logFailure(sensors.error(), kWeeklyLabel);
        }
    }
    optLevel->setEnabled(cboLevel->count() > 0);
    cboLevel->setEnabled(cboLevel->count() > 0);
    optLocation->setEnabled(cboLocation->count() > 0);
    cboLocation->setEnabled(cboLocation->count() > 0);
    (cboLevel->count() > 0      ? optLevel
     : cboLocation->count() > 0 ? optLocation
                                : optBeyond)
        ->setChecked(true);
    // Choosing from a list chooses its kind of report.
    connect(cboLevel, &QComboBox::activated, optLevel, [this] { optLevel->setChecked(true); });
    connect(cboLocation, &QComboBox::activated, optLocation,
            [this] { optLocation->setChecked(true); });

    auto* which = new QGridLayout;
    which->addWidget(optLevel, 0, 0);
    which->addWidget(cboLevel, 0, 1);
    which->addWidget(optLocation, 1, 0);
    which->addWidget(cboLocation, 1, 1);
    which->addWidget(optBeyond, 2, 0, 1, 2);
    which->setColumnStretch(1, 1);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Period:"), cboPeriod);
    form->addRow(QStringLiteral("Site:"), txtSite);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Report on:"), this));
    layout->addLayout(which);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(cmdOK, &QPushButton::clicked, this, &frmWeeklyReport::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

frmWeeklyReport::~frmWeeklyReport() = default;

Progress& frmWeeklyReport::progress() {
    if (m_progress) return *m_progress;
    if (!m_ownProgress) m_ownProgress = std::make_unique<QtProgress>(this);
    return *m_ownProgress;
}

WeeklyChoice frmWeeklyReport::choice() const {
    WeeklyChoice c;
    if (optLevel->isChecked()) {
        c.kind = WeeklyChoice::Kind::Level;
        c.name = cboLevel->currentText();
    } else if (optLocation->isChecked()) {
        c.kind = WeeklyChoice::Kind::Location;
        c.name = cboLocation->currentText();
    } else {
        c.kind = WeeklyChoice::Kind::BeyondLevels;
    }
    c.period = WeeklyPeriod(cboPeriod->currentData().toInt());
    c.site = txtSite->text().trimmed();
    return c;
}

void frmWeeklyReport::cmdOK_Click() {
    Session& s = m_s;
    const WeeklyChoice chosen = choice();
    UserChoices choices(s.paths);
    // The site's name is asked once and kept for the next reports.
    if (chosen.site != choices.text(kSiteKey)) choices.setText(kSiteKey, chosen.site);

    QString folder = choices.text(kKeptFolderKey);
    if (folder.isEmpty()) folder = QDir::tempPath();
    const QString suggested =
        QDir(folder).filePath(weeklyFileName(chosen, s.clock.today()) + QStringLiteral(".pdf"));
    QString path =
        s.dialogs.saveFileName(QStringLiteral("Save the weekly report"), suggested,
                               QStringLiteral("PDF document (*.pdf);;OpenDocument text (*.odt)"));
    if (path.isEmpty()) return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix.isEmpty()) {
        path += QStringLiteral(".pdf");
    } else if (suffix != u"pdf" && suffix != u"odt") {
        s.dialogs.inform(QStringLiteral("A weekly report is written as a PDF document (.pdf) "
                                        "or an OpenDocument text (.odt).") +
                             kCrLf +
                             QStringLiteral("Please choose a name that ends in .pdf or "
                                            ".odt."),
                         kTitle, Icon::Exclamation);
        return;
    }
    QString why = whyCannotWrite(s.paths, QFileInfo(path).absolutePath(), kRoomNeeded);
    if (why.isEmpty() && QFileInfo::exists(path)) why = whyCannotChange(path);
    if (!why.isEmpty()) {
        s.dialogs.inform(QStringLiteral("The weekly report could not be written:") + kCrLf + why,
                         kTitle, Icon::Exclamation);
        return;
    }

    logged(s, kWeeklyLabel, [&] {
        auto failed = [&](const Error& error) {
            s.dialogs.inform(QStringLiteral("The weekly report could not be written:") + kCrLf +
                                 error.description,
                             kTitle, Icon::Exclamation);
            need(Status(error));
        };
        const Result<WeeklyBuilt> built = buildWeeklyReport(s, chosen, progress());
        if (!built) failed(built.error());
        // Stopped by the user: nothing is written and the window stays.
        if (built.value().cancelled) return;
        const Result<int> written = writeWeeklyReport(built.value().report, path);
        if (!written) failed(written.error());
        m_lastDocument = path;
        accept();
        need(openWritten(s.dialogs, s.desktop, path));
    });
}

} // namespace rv
