#include "app/frmRockvane.h"
#include "alarms/AlarmStore.h"
#include "app/UtilitiesTab.h"
#include "app/frmSplash.h"
#include "compare/frmCompare.h"
#include "core/Values.h"
#include "graphs/ChartPage.h"
#include "history/ImportHistory.h"
#include "import/ImportDataFiles.h"
#include "import/ImportHost.h"
#include "maintenance/DatabaseCheck.h"
#include "platform/Desktop.h"
#include "platform/OpenWritten.h"
#include "platform/Paths.h"
#include "platform/QtProgress.h"
#include "platform/SingleInstance.h"
#include "readings/ReadingsTab.h"
#include "sensors/LevelsGroup.h"
#include "sensors/SensorRegistry.h"
#include "sensors/SensorTabs.h"
#include "store/Module1.h"
#include "store/Provisioning.h"
#include "store/Session.h"
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>

namespace rv {

namespace {
const QString kFormLoad = QStringLiteral(" Form_Load");
const QString kFormUnload = QStringLiteral(" Form_Unload");
const QString kHelpClick = QStringLiteral(" imgHelp_Click");
constexpr QSize kTabSize(780, 560); // pixels
} // namespace

frmRockvane::frmRockvane(Dialogs& dialogs, const Clock& clock, const Paths& paths, Desktop& desktop,
                         SingleInstance& instance, QWidget* parent)
    : QMainWindow(parent), m_session(std::make_unique<Session>(dialogs, clock, paths, desktop)),
      m_instance(instance) {
    setObjectName(QStringLiteral("frmRockvane"));
    setWindowTitle(QStringLiteral("Rockvane LODIX"));

    auto* central = new QWidget(this);
    setCentralWidget(central);
    SSTab1 = new QTabWidget(central);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    SSTab1->setFixedSize(kTabSize);

    identification = new IdentificationTab;
    installation = new InstallationTab;
    readings = new ReadingsTab(*m_session);
    utilities = new UtilitiesTab;
    loadVsTime = new ChartPage(*m_session, ChartPage::Kind::LoadVsTime);
    loadVsTimeTemp = new ChartPage(*m_session, ChartPage::Kind::LoadVsTimeWithTemp);
    // The report's picture is the Load v Time chart as its export button writes it.
    loadVsTimeExport = [this](const QString& path) { return loadVsTime->exportPicture(path); };
    for (ChartPage* page : {loadVsTime, loadVsTimeTemp})
        page->setOffsetSource([this] { return installation->txtOffset->text(); });
    readings->setOffsetSource([this] { return installation->txtOffset->text(); });
    SSTab1->addTab(identification, QStringLiteral("1. Identification"));
    SSTab1->addTab(installation, QStringLiteral("2. Installation"));
    SSTab1->addTab(readings, QStringLiteral("3. Readings"));
    SSTab1->addTab(loadVsTime, QStringLiteral("4. Load v Time"));
    SSTab1->addTab(loadVsTimeTemp, QStringLiteral("05. Load v Time with Temp"));
    SSTab1->addTab(utilities, QStringLiteral("6. Utilities"));

    const int margin = 2 * 120 / 15;
    resize(kTabSize + QSize(margin, margin));
    SSTab1->move(120 / 15, 120 / 15);

    splash = new frmSplash(this);
    record = new SensorRecord(*m_session, *identification, *installation, *this);
    record->setParent(this);
    registry = new SensorRegistry(*m_session, *identification, *record, *this);
    registry->setParent(this);
    utilities->addGroup(registry->filterGroup());
    levels = new LevelsGroup(*m_session);
    utilities->addGroup(levels);
    connect(levels, &LevelsGroup::goToSensor, this, [this](const QString& id) {
        if (registry->goToSensor(id)) SSTab1->setCurrentIndex(0);
    });
    backups = new BackupGroup;
    utilities->addSideGroup(backups);
    maintenance = new Maintenance(*m_session, *backups, *this);
    maintenance->setParent(this);
    report = new SensorReport(*m_session, *this, this);
    report->setParent(this);
    connect(readings->imgReport, &PictureButton::clicked, report, &SensorReport::imgReport_Click);
    connect(readings->Label46, &CaptionLabel::clicked, report, &SensorReport::imgReport_Click);

    connect(SSTab1, &QTabWidget::currentChanged, this, [this](int index) {
        const int previous = m_currentTab;
        m_currentTab = index;
        SSTab1_Click(previous);
    });
    // The tab control's second event comes after a click on a tab has been handled.
    connect(SSTab1, &QTabWidget::tabBarClicked, this, &frmRockvane::SSTab1_MouseUp,
            Qt::QueuedConnection);
    connect(readings->imgAddSlugData, &PictureButton::clicked, this,
            &frmRockvane::imgAddSlugData_Click);
    connect(utilities->imgHelp, &PictureButton::clicked, this, &frmRockvane::imgHelp_Click);
    connect(utilities->Label66, &CaptionLabel::clicked, this, &frmRockvane::imgHelp_Click);
    connect(utilities->imgInternet, &PictureButton::clicked, this, &frmRockvane::imgInternet_Click);
    connect(utilities->Label40, &CaptionLabel::clicked, this, &frmRockvane::imgInternet_Click);
    connect(utilities->imgAbout, &PictureButton::clicked, this, &frmRockvane::imgAbout_Click);
    connect(utilities->Label29, &CaptionLabel::clicked, this, &frmRockvane::imgAbout_Click);
    connect(utilities->imgCompare, &PictureButton::clicked, this, &frmRockvane::imgCompare_Click);
    connect(utilities->lblCompare, &CaptionLabel::clicked, this, &frmRockvane::imgCompare_Click);
}

frmRockvane::~frmRockvane() {
    // The registry and the record watch keys of the first tab: they go before the tabs do.
    delete registry;
    registry = nullptr;
    delete record;
    record = nullptr;
    Form_Terminate();
}

int frmRockvane::twipsPerPixel() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return qMax(1, qRound(1440.0 / (dpi > 0 ? dpi : 96.0)));
}

bool frmRockvane::Form_Load() {
    Session& s = *m_session;
    s.gMakerFolder =
        s.paths.specialFolder(kCommonDocumentsFolder).trimmed() + QStringLiteral("/Brackwell");
    s.gDataFolder = s.gMakerFolder + QStringLiteral("/Rockvane");
    s.gDatabasePath = s.gDataFolder + QStringLiteral("/") + kDatabaseFileName;
    // A lock beside the database before this run takes it is one the run before left
    // behind: it did not end cleanly.
    const bool lockLeftBehind =
        QFileInfo::exists(LockFileInstance::databaseLockPath(s.gDatabasePath));
    // Another copy on the same database, whoever runs it and from wherever, is refused.
    m_instance.guard(s.gDatabasePath);
    if (m_instance.anotherCopyRunning()) {
        s.dialogs.inform(QStringLiteral("Rockvane is already running") + kCrLf +
                             QStringLiteral("Cannot load program again"),
                         kTitle, Icon::Exclamation);
        const QString holder = m_instance.holder();
        s.logFailure(Error{err::DatabaseBusy,
                           holder.isEmpty()
                               ? QStringLiteral("The database ") +
                                     QDir::toNativeSeparators(s.gDatabasePath) +
                                     QStringLiteral(" is in use by another copy of Rockvane")
                               : holder},
                     kFormLoad);
        m_secondCopy = true;
        return false;
    }
    // Without a lock beside the database other copies could write to it unseen: this run
    // only reads it.
    const bool readOnly = !m_instance.guardsDatabase();
    const bool quickCheck = m_startUpCheck == StartUpCheck::Always || lockLeftBehind || readOnly;
    maintenance->setReadOnly(readOnly);
    bool mustEnd = false;
    const bool finished = logged(s, kFormLoad, [&] {
        s.Firstload = true;

        const int tw = twipsPerPixel();
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QSize screenPx = screen ? screen->size() : QSize(1024, 768);
        const QPoint at = formLoadTabPosition(screenPx * tw, size() * tw);
        SSTab1->move(at / tw);

        SSTab1->setCurrentIndex(0);
        readings->hideError();

        const Status opened =
            openDatabase(s.gConnection, s.gDatabasePath,
                         readOnly ? Connection::Mode::ReadOnly : Connection::Mode::ReadWrite);
        // The engine and the database the run works on (empty while there is none).
        s.gConnectString = s.gConnection.describe();
        // A file that is there but damaged gets the message naming the backup to restore.
        if (!opened.ok() && isDamagedDatabase(opened.error()))
            tellDatabaseDamaged(s, maintenance->files(), true);
        need(opened);
        if (!s.gConnection.isOpen()) {
            s.dialogs.inform(QStringLiteral("ERROR: could not connect to database") + kCrLf +
                                 QStringLiteral("Program must exit"),
                             QStringLiteral("Database connection error"), Icon::Critical);
            mustEnd = true;
            return;
        }
        // The quick check of the file (when it is due), and the one notice of a database
        // open for reading. What a run cut short left beside a sound database goes, unless
        // another copy might be at work on it.
        if (G_CheckOpenedDatabase(s, maintenance->files(), kFormLoad, quickCheck) && !readOnly)
            G_RemoveWorkFiles(s, maintenance->files());
        need(s.rsConfig.open(s.gConnection, sql::ConfigurationByType));
        need(s.rsConfig.moveFirst());
        GetPrefs(s);
        need(s.rsSensors.open(s.gConnection, sql::SensorsByNumber));
        // A database of this program made before alarm levels and the import history gains
        // their tables; one that cannot be written works on without them (said once above,
        // and by the parts of the tabs concerned).
        (void)ensureNewTables(s.gConnection);

        Recordset& rs = s.rsSensors;
        if (rs.bof() || rs.eof()) {
            s.dialogs.inform(QStringLiteral("There are no sensors in the database, ") + kCrLf +
                                 QStringLiteral("click the ADD NEW button to begin using Rockvane"),
                             kTitle, Icon::Exclamation);
            utilities->txtSCount->setText(QStringLiteral("0"));
        } else {
            relistSensors();
            need(rs.moveFirst());
            utilities->txtSCount->setText(QString::number(rs.recordCount()));
            record->fillfields();
            identification->cboSensors->setEditText(
                displayText(need(s.currentSensor.value(QStringLiteral("InstrumentID")))));
        }
        s.Firstload = false;
        // The first sensor (or none) is shown: every tab starts from it.
        s.currentSensor.announceChanged();
    });
    (void)finished;
    return !mustEnd;
}

void frmRockvane::SSTab1_Click(int previousTab) {
    Session& s = *m_session;
    // Leaving the tab that was shown; a step that fails is skipped.
    if (previousTab == 0 || previousTab == 1) {
        skip([&] { record->savefields(); });
        skip([&] { record->fillfields(); });
    } else if (previousTab == 2) {
        readings->leaveTab();
    }
    // Showing the new tab.
    switch (SSTab1->currentIndex()) {
    case 0:
        identification->cboSensors->setFocus();
        s.gReadingBookmark = 0;
        break;
    case 1:
        installation->txtLevel->setFocus();
        break;
    case 2:
        readings->enterTab();
        break;
    case 5:
        skip([&] { maintenance->G_ListBackups(); });
        levels->refresh();
        break;
    case 3:
    case 4: {
        ChartPage* page = SSTab1->currentIndex() == 3 ? loadVsTime : loadVsTimeTemp;
        page->enterTab([this, previousTab] { SSTab1->setCurrentIndex(previousTab); });
        break;
    }
    default:
        break;
    }
}

void frmRockvane::Form_Resize() {
    if (!SSTab1) return;
    WindowState state = WindowState::Normal;
    if (isMinimized())
        state = WindowState::Minimized;
    else if (isMaximized())
        state = WindowState::Maximized;
    const int tw = twipsPerPixel();
    const QScreen* screen = this->screen();
    const QSize screenPx = screen ? screen->size() : QSize(1024, 768);
    if (const auto at = resizeTabPosition(state, screenPx * tw, SSTab1->size() * tw))
        SSTab1->move(*at / tw);
}

void frmRockvane::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmRockvane::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) Form_Resize();
}

void frmRockvane::Form_Unload() {
    if (m_secondCopy || m_connectionLost) return;
    logged(*m_session, kFormUnload, [&] {
        record->savefields();
        if (SSTab1->currentIndex() == 2) readings->unloading();
    });
}

void frmRockvane::SSTab1_MouseUp() {
    Session& s = *m_session;
    if (!m_terminated && SSTab1->currentIndex() == 3 && s.rsReadings.isOpen()) s.rsReadings.close();
}

void frmRockvane::Form_Terminate() {
    if (m_secondCopy || m_terminated) return;
    m_terminated = true;
    Session& s = *m_session;
    // The readings tab lets go of the run's state before it is released.
    readings->release();
    loadVsTime->release();
    loadVsTimeTemp->release();
    s.rsGraph.close();
    s.rsSensors.close();
    s.rsReadings.close();
    s.rsConfig.close();
    s.rsPrefs.close();
    // Only a database this run opened for writing and started on is compacted: one that
    // could not be opened or read at start-up (already in the log) or that is
    // write-protected is left exactly as it is.
    const bool compact = !s.Firstload && opensForWriting(s.gConnection);
    if (s.gConnection.isOpen()) s.gConnection.close();
    if (compact)
        G_CompactDB(s, s.gDataFolder + QStringLiteral("/"), kDatabaseFileName,
                    maintenance->files());
}

void frmRockvane::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void frmRockvane::imgAddSlugData_Click() {
    QtProgress progress(this);
    ImportHost host;
    host.SaveReadings = [this] { readings->SaveReadings(); };
    host.slugIntervalText = [this] { return readings->slugIntervalText(); };
    host.showReading = [this] { readings->showCurrentReading(); };
    host.safetyBackup = [this] { return maintenance->G_SafetyBackup(SafetyReason::Import); };
    host.progress = &progress;
    host.parent = this;
    rv::imgAddSlugData_Click(*m_session, host);
}

void frmRockvane::imgHelp_Click() {
    Session& s = *m_session;
    const QString manual = s.gDataFolder + QStringLiteral("/") + kManualFileName;
    if (!QFileInfo(manual).isFile()) {
        s.dialogs.inform(QStringLiteral("The Rockvane manual could not be found. It belongs in "
                                        "the data folder, as the file") +
                             kCrLf + QDir::toNativeSeparators(manual),
                         kTitle, Icon::Exclamation);
        s.logFailure(Error{err::FileNotFound,
                           QStringLiteral("There is no file ") + QDir::toNativeSeparators(manual)},
                     kHelpClick);
        return;
    }
    const Status opened = openWritten(s.dialogs, s.desktop, manual,
                                      QStringLiteral("The Rockvane manual could not be opened."),
                                      kTitle, Icon::Exclamation, Opened::AlreadyThere);
    if (!opened.ok()) s.logFailure(opened.error(), kHelpClick);
}

void frmRockvane::imgInternet_Click() {
    m_session->desktop.openAddress(kWebSite);
}

void frmRockvane::imgAbout_Click() {
    splash->setWindowModality(Qt::ApplicationModal);
    splash->show();
    splash->raise();
}

void frmRockvane::imgCompare_Click() {
    if (m_compare) return;
    frmCompare window(*m_session, this);
    m_compare = &window;
    window.exec();
    m_compare = nullptr;
}

void frmRockvane::setSensorCount(const QString& text) {
    utilities->txtSCount->setText(text);
}
void frmRockvane::hideReadingError() {
    readings->hideError();
}
void frmRockvane::enableReadingChannels() {
    readings->enableChannels();
}
void frmRockvane::enableSensorTabs() {
    for (int i : {0, 1, 3, 4})
        SSTab1->setTabEnabled(i, true);
}

void frmRockvane::showCurrentSensor() {
    record->fillfields();
}

void frmRockvane::setSensorBoxText(const QString& text) {
    QComboBox* box = identification->cboSensors;
    box->setCurrentIndex(box->findText(text));
    box->setEditText(text);
}

void frmRockvane::relistSensors() {
    registry->relistSensors();
}

void frmRockvane::endProgram() {
    m_connectionLost = true;
    close();
    QCoreApplication::exit(0);
}

int frmRockvane::currentTab() const {
    return SSTab1->currentIndex();
}

void frmRockvane::selectTab(int index) {
    SSTab1->setCurrentIndex(index);
}

bool frmRockvane::exportLoadVsTime(const QString& path) {
    return loadVsTimeExport && loadVsTimeExport(path);
}

} // namespace rv
