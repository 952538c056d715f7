#include "app/frmRockvane.h"
#include "alarms/AlarmStore.h"
#include "app/ServerAddress.h"
#include "app/UtilitiesTab.h"
#include "app/frmDatabase.h"
#include "app/frmSplash.h"
#include "compare/frmCompare.h"
#include "core/Values.h"
#include "graphs/ChartPage.h"
#include "history/ImportHistory.h"
#include "import/FolderImport.h"
#include "import/ImportDataFiles.h"
#include "import/ImportHost.h"
#include "maintenance/ChangeHistoryGroup.h"
#include "maintenance/DatabaseCheck.h"
#include "platform/Desktop.h"
#include "platform/OpenWritten.h"
#include "platform/Paths.h"
#include "platform/QtProgress.h"
#include "platform/SingleInstance.h"
#include "platform/UserChoices.h"
#include "readings/ReadingsTab.h"
#include "reports/frmWeeklyReport.h"
#include "sensors/LevelsGroup.h"
#include "sensors/SensorRegistry.h"
#include "sensors/SensorTabs.h"
#include "store/Module1.h"
#include "store/PgEngine.h"
#include "store/Provisioning.h"
#include "store/Session.h"
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTabWidget>

namespace rv {

namespace {
const QString kFormLoad = QStringLiteral(" Form_Load");
const QString kFormUnload = QStringLiteral(" Form_Unload");
const QString kHelpClick = QStringLiteral(" imgHelp_Click");
const QString kDatabaseClick = QStringLiteral(" cmdDatabase_Click");
const QString kCaption = QStringLiteral("Rockvane LODIX");
constexpr QSize kTabSize(780, 560); // pixels
const QString kTabsGrowKey = QStringLiteral("Window/TabsGrow");
// The database file whose compaction at the end of a run failed (it may be damaged): the
// next start checks it, though that run ended cleanly. Cleared by a check that finds it
// sound.
const QString kCheckAtStartKey = QStringLiteral("Database/CheckAtStart");

// Logs a choice the user's settings file could not keep (it holds for this run only).
void logUnkept(const Session& s, const UserChoices& choices, const QString& what,
               const QString& label) {
    s.logFailure(Error{err::FileError, what + QStringLiteral(" holds for this run only: ") +
                                           (choices.file().isEmpty()
                                                ? QStringLiteral("the user has no settings folder")
                                                : QDir::toNativeSeparators(choices.file()) +
                                                      QStringLiteral(" cannot be written"))},
                 label);
}

// Does what a click on the control does, when it can be clicked.
void press(QWidget* control) {
    if (!control->isEnabled()) return;
    if (auto* picture = qobject_cast<PictureButton*>(control))
        picture->click();
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->click();
}
} // namespace

frmRockvane::frmRockvane(Dialogs& dialogs, const Clock& clock, const Paths& paths, Desktop& desktop,
                         SingleInstance& instance, QWidget* parent)
    : QMainWindow(parent), m_session(std::make_unique<Session>(dialogs, clock, paths, desktop)),
      m_instance(instance) {
    setObjectName(QStringLiteral("frmRockvane"));
    setWindowTitle(kCaption);

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
    m_copyProgress = std::make_unique<QtProgress>(this);
    maintenance->setProgress(*m_copyProgress);
    // The history of changes under the sensors beyond their levels: it reads its size
    // whenever it is shown.
    auto* changeHistory = new ChangeHistoryGroup(*m_session);
    changeHistory->setProgress(*m_copyProgress);
    utilities->addGroup(changeHistory);
    report = new SensorReport(*m_session, *this, this);
    report->setParent(this);
    connect(readings->imgReport, &PictureButton::clicked, report, &SensorReport::imgReport_Click);
    connect(readings->Label46, &CaptionLabel::clicked, report, &SensorReport::imgReport_Click);

    connect(SSTab1, &QTabWidget::currentChanged, this, [this](int index) {
        const int previous = m_currentTab;
        m_currentTab = index;
        SSTab1_Click(previous);
        enableShortcuts();
    });
    // The tab control's second event comes after a click on a tab has been handled.
    connect(SSTab1, &QTabWidget::tabBarClicked, this, &frmRockvane::SSTab1_MouseUp,
            Qt::QueuedConnection);
    connect(readings->imgAddSlugData, &PictureButton::clicked, this,
            &frmRockvane::imgAddSlugData_Click);
    connect(readings->cmdImportFolder, &QPushButton::clicked, this,
            &frmRockvane::cmdImportFolder_Click);
    connect(utilities->imgHelp, &PictureButton::clicked, this, &frmRockvane::imgHelp_Click);
    connect(utilities->Label66, &CaptionLabel::clicked, this, &frmRockvane::imgHelp_Click);
    connect(utilities->imgInternet, &PictureButton::clicked, this, &frmRockvane::imgInternet_Click);
    connect(utilities->Label40, &CaptionLabel::clicked, this, &frmRockvane::imgInternet_Click);
    connect(utilities->imgAbout, &PictureButton::clicked, this, &frmRockvane::imgAbout_Click);
    connect(utilities->Label29, &CaptionLabel::clicked, this, &frmRockvane::imgAbout_Click);
    connect(utilities->imgCompare, &PictureButton::clicked, this, &frmRockvane::imgCompare_Click);
    connect(utilities->lblCompare, &CaptionLabel::clicked, this, &frmRockvane::imgCompare_Click);
    connect(utilities->cmdWeeklyReport, &QPushButton::clicked, this,
            &frmRockvane::cmdWeeklyReport_Click);
    connect(utilities->cmdDatabase, &QPushButton::clicked, this, &frmRockvane::cmdDatabase_Click);

    // When the tabs grow with the window the plots fill their tabs by themselves; on the
    // other tabs the frames of controls keep their normal size, and the lists of imports,
    // of sensors beyond their levels and of backups take the room.
    constexpr Qt::Orientations both = Qt::Horizontal | Qt::Vertical;
    m_pageParts = {
        {identification, {{identification, both}}},
        {installation, {{installation, both}}},
        {readings, {{readings->fraReading, both}, {readings->fraActions, Qt::Horizontal}}},
        // The manual's and the plots' frames are the ones their buttons sit in.
        {utilities,
         {{registry->filterGroup(), both},
          {utilities->imgHelp->parentWidget(), both},
          {utilities->imgCompare->parentWidget(), both}}},
    };
    m_roomTakers = {levels, backups};
    m_heldLists = {{backups->lstFiles, backups->lstFiles->maximumHeight()}};
    m_tabsGrow = UserChoices(m_session->paths).flag(kTabsGrowKey);
    {
        const QSignalBlocker quiet(utilities->chkTabsGrow);
        utilities->chkTabsGrow->setChecked(m_tabsGrow);
    }
    connect(utilities->chkTabsGrow, &QCheckBox::toggled, this, &frmRockvane::chkTabsGrow_Click);
    buildShortcuts();
}

void frmRockvane::buildShortcuts() {
    auto add = [this](const QList<QKeySequence>& keys, int tab, std::function<void()> run) {
        auto* shortcut = new QShortcut(this);
        shortcut->setKeys(keys);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, tab, run = std::move(run)] {
            if (SSTab1->currentIndex() == tab) run();
        });
        m_keys.push_back({shortcut, tab});
        return keys.first().toString(QKeySequence::NativeText);
    };
    // A click by key; the tips of the control and of its caption name the key, after the
    // words of a tip the control already has.
    auto click = [&](const QKeySequence& key, int tab, QWidget* control, QWidget* caption,
                     const QString& words) {
        const QString keyText = add({key}, tab, [control] { press(control); });
        for (QWidget* w : {control, caption}) {
            if (!w) continue;
            const QString tip = w->toolTip().isEmpty() ? words : w->toolTip();
            w->setToolTip(tip + QStringLiteral(" (") + keyText + QStringLiteral(")"));
        }
    };
    const IdentificationTab& id = *identification;
    click(Qt::CTRL | Qt::Key_PageDown, 0, id.imgNext, id.Label59, QStringLiteral("Next sensor"));
    click(Qt::CTRL | Qt::Key_PageUp, 0, id.imgPrevious, id.Label56,
          QStringLiteral("Previous sensor"));
    click(Qt::CTRL | Qt::Key_N, 0, id.imgAddSensor, id.Label57, QStringLiteral("Add a new sensor"));
    const ReadingsTab& r = *readings;
    click(Qt::CTRL | Qt::Key_Down, 2, r.imgNextData, r.Label60, QStringLiteral("Next reading"));
    click(Qt::CTRL | Qt::Key_Up, 2, r.imgPrevData, r.Label62, QStringLiteral("Previous reading"));
    click(Qt::CTRL | Qt::SHIFT | Qt::Key_Up, 2, r.imgFirst, r.Label61,
          QStringLiteral("First reading"));
    click(Qt::CTRL | Qt::SHIFT | Qt::Key_Down, 2, r.imgLast, r.Label64,
          QStringLiteral("Last reading"));
    click(Qt::CTRL | Qt::Key_N, 2, r.imgAddReading, r.Label63, QStringLiteral("Add a new reading"));
    click(Qt::CTRL | Qt::Key_D, 2, r.imgDatasheet, r.Label45, QStringLiteral("Open the datasheet"));
    click(Qt::CTRL | Qt::Key_R, 2, r.imgReport, r.Label46,
          QStringLiteral("Write the sensor's report"));
    click(Qt::CTRL | Qt::Key_I, 2, r.imgAddSlugData, nullptr, QStringLiteral("Import a datafile"));
    for (ChartPage* page : {loadVsTime, loadVsTimeTemp}) {
        const int tab = page == loadVsTime ? 3 : 4;
        Chart* chart = page->chart;
        add({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)}, tab,
            [chart] { chart->zoomIn(); });
        add({QKeySequence(Qt::CTRL | Qt::Key_Minus)}, tab, [chart] { chart->zoomOut(); });
        add({QKeySequence(Qt::CTRL | Qt::Key_0)}, tab, [chart] { chart->showWhole(); });
        click(Qt::CTRL | Qt::Key_E, tab, page->cmdTemp ? page->cmdTemp : page->cmdExportT2, nullptr,
              QStringLiteral("Save the plot as a JPEG picture and open it"));
    }
    click(Qt::CTRL | Qt::Key_P, 3, loadVsTime->imgPrintT, nullptr, QStringLiteral("Print"));
    click(Qt::Key_F1, 3, loadVsTime->cmdTHelp, nullptr, QStringLiteral("Graphing tips"));
    enableShortcuts();
}

void frmRockvane::enableShortcuts() {
    // Only the keys of the tab shown are on, so one key can serve two tabs.
    const int shown = SSTab1->currentIndex();
    for (const KeyAction& key : m_keys)
        key.shortcut->setEnabled(key.tab == shown);
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
    // A site server, named on the command line or chosen before in the Database window,
    // is connected to first: it requires the program's fixed tables. One that cannot be
    // opened is named with why, and the file is offered in its place.
    if (const QString server = startingServer(m_serverArgument, UserChoices(s.paths));
        !server.isEmpty()) {
        const Status opened = s.gConnection.openServer(server);
        if (!opened.ok() && !offerFileInstead(server, opened.error(), kFormLoad)) return false;
    }
    // A server keeps its own users apart and maintains itself: the lock beside the file
    // and the file's quick check are the file's alone.
    const bool onServer = s.gConnection.onServer();
    if (!onServer && !guardFile(QStringLiteral("Rockvane is already running") + kCrLf +
                                    QStringLiteral("Cannot load program again"),
                                kFormLoad)) {
        m_secondCopy = true;
        return false;
    }
    const bool quickCheck = m_startUpCheck == StartUpCheck::Always || m_fileCheckDue;
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

        if (!onServer && !openFile(kFormLoad, quickCheck)) {
            mustEnd = true;
            return;
        }
        s.gConnectString = s.gConnection.describe();
        readDatabase(false);
        s.Firstload = false;
        // The first sensor (or none) is shown: every tab starts from it.
        s.currentSensor.announceChanged();
    });
    (void)finished;
    return !mustEnd;
}

bool frmRockvane::guardFile(const QString& refusal, const QString& label) {
    Session& s = *m_session;
    // A lock beside the database before this run takes it is one the run before left
    // behind: it did not end cleanly.
    const bool lockLeftBehind =
        QFileInfo::exists(LockFileInstance::databaseLockPath(s.gDatabasePath));
    // Another copy on the same database, whoever runs it and from wherever, is refused.
    m_instance.guard(s.gDatabasePath);
    if (m_instance.anotherCopyRunning()) {
        s.dialogs.inform(refusal, kTitle, Icon::Exclamation);
        const QString holder = m_instance.holder();
        s.logFailure(Error{err::DatabaseBusy,
                           holder.isEmpty()
                               ? QStringLiteral("The database ") +
                                     QDir::toNativeSeparators(s.gDatabasePath) +
                                     QStringLiteral(" is in use by another copy of Rockvane")
                               : holder},
                     label);
        return false;
    }
    // Without a lock beside the database other copies could write to it unseen: this run
    // only reads it.
    m_fileReadOnly = !m_instance.guardsDatabase();
    m_fileCheckDue = lockLeftBehind || m_fileReadOnly ||
                     UserChoices(s.paths).text(kCheckAtStartKey) == s.gDatabasePath;
    maintenance->setReadOnly(m_fileReadOnly);
    return true;
}

bool frmRockvane::openFile(const QString& label, bool quickCheck) {
    Session& s = *m_session;
    const Status opened =
        openDatabase(s.gConnection, s.gDatabasePath,
                     m_fileReadOnly ? Connection::Mode::ReadOnly : Connection::Mode::ReadWrite);
    // The engine and the database the run works on (empty while there is none).
    s.gConnectString = s.gConnection.describe();
    showDatabaseInTitle();
    // A file that is there but damaged gets the message naming the backup to restore.
    if (!opened.ok() && isDamagedDatabase(opened.error()))
        tellDatabaseDamaged(s, maintenance->files(), true);
    need(opened);
    if (!s.gConnection.isOpen()) {
        s.dialogs.inform(QStringLiteral("ERROR: could not connect to database") + kCrLf +
                             QStringLiteral("Program must exit"),
                         QStringLiteral("Database connection error"), Icon::Critical);
        return false;
    }
    // The quick check of the file (when it is due), and the one notice of a database
    // open for reading. What a run cut short left beside a sound database goes, unless
    // another copy might be at work on it.
    const bool sound = G_CheckOpenedDatabase(s, maintenance->files(), label, quickCheck);
    if (sound && !m_fileReadOnly) G_RemoveWorkFiles(s, maintenance->files());
    if (sound && quickCheck) {
        UserChoices choices(s.paths);
        if (choices.text(kCheckAtStartKey) == s.gDatabasePath)
            choices.setText(kCheckAtStartKey, QString());
    }
    return true;
}

bool frmRockvane::offerFileInstead(const QString& server, const Error& error,
                                   const QString& label) {
    Session& s = *m_session;
    s.logFailure(error, label);
    return s.dialogs.ask(serverFailureText(server, error) + kCrLf + kCrLf +
                             QStringLiteral("Open this computer's database file instead?"),
                         QStringLiteral("Database connection error"), Icon::Exclamation);
}

void frmRockvane::readDatabase(bool switching) {
    Session& s = *m_session;
    showDatabaseInTitle();
    // A site server that lets this database user only read says so once, at the start.
    s.writeRefusalTold = false;
    if (s.gConnection.onServer() && s.gConnection.readOnly())
        s.dialogs.inform(QStringLiteral("Your database user may read the site server's database ") +
                             serverDisplayName(s.gConnection.path()) +
                             QStringLiteral(" but not write to it.") + kCrLf +
                             QStringLiteral("You can look at every sensor, plot and report; "
                                            "changes you make are not stored."),
                         kTitle, Icon::Information);
    // Nothing read from another database is kept: the readings shown and the place
    // remembered in them go.
    s.rsReadings.close();
    s.rsGraph.close();
    s.gReadingBookmark = 0;
    need(s.rsConfig.open(s.gConnection, sql::ConfigurationByType));
    need(s.rsConfig.moveFirst());
    GetPrefs(s);
    need(s.rsSensors.open(s.gConnection, sql::SensorsByNumber));
    // A database of this program made before alarm levels and the import history gains
    // their tables; one that cannot be written works on without them (said once above,
    // and by the parts of the tabs concerned).
    G_AddNewTables(s, switching ? kDatabaseClick : kFormLoad);

    Recordset& rs = s.rsSensors;
    if (rs.bof() || rs.eof()) {
        s.dialogs.inform(QStringLiteral("There are no sensors in the database, ") + kCrLf +
                             QStringLiteral("click the ADD NEW button to begin using Rockvane"),
                         kTitle, Icon::Exclamation);
        utilities->txtSCount->setText(QStringLiteral("0"));
        if (switching) {
            relistSensors();
            record->fillfields();
        }
        return;
    }
    relistSensors();
    need(rs.moveFirst());
    utilities->txtSCount->setText(QString::number(rs.recordCount()));
    record->fillfields();
    identification->cboSensors->setEditText(
        displayText(need(s.currentSensor.value(QStringLiteral("InstrumentID")))));
}

void frmRockvane::showDatabaseInTitle() {
    const Connection& c = m_session->gConnection;
    setWindowTitle(kCaption + QStringLiteral(" - ") +
                   (c.onServer() ? serverDisplayName(c.path())
                                 : QDir::toNativeSeparators(m_session->gDatabasePath)));
}

void frmRockvane::cmdDatabase_Click() {
    if (m_database) return;
    Session& s = *m_session;
    const QString current = s.gConnection.onServer() ? s.gConnection.path() : QString();
    frmDatabase window(s.gDatabasePath, current, this);
    m_database = &window;
    const bool chosen = window.exec() == QDialog::Accepted;
    m_database = nullptr;
    if (!chosen) return;
    const QString server = window.chosenServer();
    UserChoices choices(s.paths);
    if (!choices.setText(kServerChoiceKey, server))
        logUnkept(s, choices, QStringLiteral("The choice of the database"), kDatabaseClick);
    if (server != current || !s.gConnection.isOpen()) (void)useDatabase(server);
}

bool frmRockvane::useDatabase(const QString& server) {
    Session& s = *m_session;
    // Another copy at work on the file keeps this run where it is.
    if (server.isEmpty() && s.gConnection.onServer() &&
        !guardFile(QStringLiteral("The database file ") +
                       QDir::toNativeSeparators(s.gDatabasePath) +
                       QStringLiteral(" is in use by another copy of Rockvane.") + kCrLf +
                       QStringLiteral("Rockvane stays on the site server."),
                   kDatabaseClick))
        return false;
    // The record shown keeps its changes in the database it came from.
    skip([&] { record->savefields(); });
    s.rsReadings.close();
    s.rsGraph.close();
    if (s.gConnection.isOpen()) s.gConnection.close();
    bool onFile = server.isEmpty();
    if (!onFile) {
        const Status opened = s.gConnection.openServer(server);
        if (!opened.ok()) {
            if (!offerFileInstead(server, opened.error(), kDatabaseClick) ||
                !guardFile(QStringLiteral("Rockvane is already running") + kCrLf +
                               QStringLiteral("Cannot load program again"),
                           kDatabaseClick)) {
                endProgram();
                return false;
            }
            onFile = true;
        }
    }
    // A server decides itself who may write; the file's lock no longer does, and another
    // copy may open the file meanwhile.
    if (!onFile) {
        maintenance->setReadOnly(false);
        m_instance.release();
    }
    bool mustEnd = false;
    logged(s, kDatabaseClick, [&] {
        if (onFile && !openFile(kDatabaseClick, m_fileCheckDue)) {
            mustEnd = true;
            return;
        }
        s.gConnectString = s.gConnection.describe();
        readDatabase(true);
        s.Firstload = false;
    });
    if (mustEnd) {
        endProgram();
        return false;
    }
    // Everything shown came from the other database: every tab reads again.
    s.currentSensor.announceRestored();
    return s.gConnection.isOpen() && s.gConnection.onServer() == !server.isEmpty();
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
    if (m_tabsGrow) {
        const QSize area = centralWidget() ? centralWidget()->size() : size();
        if (const auto grown = grownTabRect(state, area, kTabSize, 120 / tw)) {
            keepPartsAtNormalSize(true);
            SSTab1->setFixedSize(grown->size());
            SSTab1->move(grown->topLeft());
        }
        return;
    }
    SSTab1->setFixedSize(kTabSize);
    const QScreen* screen = this->screen();
    const QSize screenPx = screen ? screen->size() : QSize(1024, 768);
    if (const auto at = resizeTabPosition(state, screenPx * tw, SSTab1->size() * tw))
        SSTab1->move(*at / tw);
}

void frmRockvane::keepPartsAtNormalSize(bool keep) {
    if (!keep) {
        for (const auto& [page, parts] : m_pageParts)
            releaseNormalSize(parts);
        for (QWidget* part : m_roomTakers)
            takeRoom(*part, false);
        for (const auto& [list, height] : m_heldLists)
            list->setMaximumHeight(height);
        m_partsKept = false;
        return;
    }
    // The pages' normal size is the tab control's page area at its normal size: known once
    // the tab control has been laid out, which it is only while shown.
    if (m_partsKept || !SSTab1->isVisible() || !SSTab1->currentWidget()) return;
    const QSize normalPage = SSTab1->currentWidget()->size() - (SSTab1->size() - kTabSize);
    for (const auto& [page, parts] : m_pageParts)
        keepNormalSize(*page, normalPage, parts);
    for (QWidget* part : m_roomTakers)
        takeRoom(*part, true);
    for (const auto& [list, height] : m_heldLists)
        list->setMaximumHeight(QWIDGETSIZE_MAX);
    m_partsKept = true;
}

void frmRockvane::chkTabsGrow_Click() {
    Session& s = *m_session;
    m_tabsGrow = utilities->chkTabsGrow->isChecked();
    UserChoices choices(s.paths);
    if (!choices.setFlag(kTabsGrowKey, m_tabsGrow))
        logUnkept(s, choices, QStringLiteral("The choice of the tabs' growth"),
                  QStringLiteral(" chkTabsGrow_Click"));
    if (!m_tabsGrow) keepPartsAtNormalSize(false);
    Form_Resize();
}

void frmRockvane::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The tab control is laid out only once shown: the parts' normal sizes are known now.
    if (m_tabsGrow) Form_Resize();
}

void frmRockvane::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmRockvane::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) Form_Resize();
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) takeOthersChanges();
}

void frmRockvane::takeOthersChanges() {
    Session& s = *m_session;
    // A message this shows takes the window's activation and gives it back: not again then.
    if (m_takingOthers || m_secondCopy || m_connectionLost || m_terminated || s.Firstload ||
        !s.gConnection.onServer())
        return;
    m_takingOthers = true;
    const auto done = qScopeGuard([this] { m_takingOthers = false; });
    if (!registry->takeOthersSensors()) return;
    if (SSTab1->currentIndex() == 2) readings->takeOthersReadings();
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
    // Only a database file this run opened for writing and started on is compacted: one that
    // could not be opened or read at start-up (already in the log) or that is
    // write-protected is left exactly as it is.
    // A site server maintains itself: only the file is compacted.
    const bool compact =
        !s.Firstload && opensForWriting(s.gConnection) && !s.gConnection.onServer();
    if (s.gConnection.isOpen()) s.gConnection.close();
    if (compact && !G_CompactDB(s, s.gDataFolder + QStringLiteral("/"), kDatabaseFileName,
                                maintenance->files()))
        UserChoices(s.paths).setText(kCheckAtStartKey, s.gDatabasePath);
}

void frmRockvane::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

ImportHost frmRockvane::importHost(Progress& progress) {
    ImportHost host;
    host.SaveReadings = [this] {
        readings->commitPickers();
        return readings->SaveReadings();
    };
    host.slugIntervalText = [this] { return readings->slugIntervalText(); };
    host.showReading = [this] { readings->showCurrentReading(); };
    host.safetyBackup = [this] { return maintenance->G_SafetyBackup(SafetyReason::Import); };
    host.progress = &progress;
    host.parent = this;
    return host;
}

void frmRockvane::imgAddSlugData_Click() {
    QtProgress progress(this);
    rv::imgAddSlugData_Click(*m_session, importHost(progress));
}

void frmRockvane::cmdImportFolder_Click() {
    QtProgress progress(this);
    rv::cmdImportFolder_Click(*m_session, importHost(progress));
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

void frmRockvane::cmdWeeklyReport_Click() {
    if (m_weeklyReport) return;
    frmWeeklyReport window(*m_session, this);
    m_weeklyReport = &window;
    window.exec();
    m_weeklyReport = nullptr;
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
void frmRockvane::takeOthersSensors() {
    (void)registry->takeOthersSensors();
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
