#pragma once
// The main window: it owns the run (the Session), builds the tab control and its pages,
// and keeps what is its own: start-up, resizing, closing, help, web site and About.
#include "app/Placement.h"
#include "maintenance/Maintenance.h"
#include "reports/SensorReport.h"
#include "sensors/SensorRecord.h"
#include "ui/Growth.h"
#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QShortcut;
class QTabWidget;

namespace rv {

struct Session;
class Clock;
class Desktop;
class Dialogs;
class Paths;
class SingleInstance;
class IdentificationTab;
class InstallationTab;
class ReadingsTab;
class UtilitiesTab;
class ChartPage;
class frmSplash;
class SensorRegistry;
class LevelsGroup;
class frmCompare;
class frmWeeklyReport;
class frmDatabase;
class Progress;
class QtProgress;
struct ImportHost;

// When start-up runs the engine's quick check of the database it opens.
enum class StartUpCheck {
    Always,
    // Only after a run that did not end cleanly: it left its lock beside the database (it
    // was killed, crashed or lost its power), or this run cannot lock the database, or its
    // compaction at the end failed. A run that ends cleanly lets go of its lock, after a
    // compaction that checks the file.
    AfterUncleanEnd,
};

inline const QString kWebSite = QStringLiteral("https://www.brackwell.example/rockvane");

class frmRockvane : public QMainWindow,
                    public SensorRecordHost,
                    public MaintenanceHost,
                    public ReportHost {
    Q_OBJECT
public:
    frmRockvane(Dialogs& dialogs, const Clock& clock, const Paths& paths, Desktop& desktop,
                SingleInstance& instance, QWidget* parent = nullptr);
    ~frmRockvane() override;

    // Which starts run the quick check of the database (Always unless set).
    void setStartUpCheck(StartUpCheck rule) { m_startUpCheck = rule; }
    // The command line's --server: the site server this run works on, whatever the user
    // chose in the Database window (and not remembered). Before Form_Load.
    void setServerArgument(std::optional<QString> server) { m_serverArgument = std::move(server); }
    // Start-up. Answers false when the program must end at once (a second copy, no
    // connection to the database, or a site server that cannot be opened and the file
    // declined in its place).
    bool Form_Load();
    void Form_Resize();
    // "Tabs grow with the window" on the Utilities tab: kept for the user, applied at once.
    void chkTabsGrow_Click();
    bool tabsGrow() const { return m_tabsGrow; }
    // The tab control's change of tab, given the index of the tab left.
    void SSTab1_Click(int previousTab);
    // The tab control's second event: on the "4. Load v Time" tab the readings are let go.
    void SSTab1_MouseUp();
    void Form_Unload();
    void Form_Terminate();

    // The Readings tab's "Import Datafiles:" picture: a datalogger file is imported.
    void imgAddSlugData_Click();
    // "Import a folder...": every datalogger file of a download folder at once.
    void cmdImportFolder_Click();
    void imgHelp_Click();
    void imgInternet_Click();
    void imgAbout_Click();
    // The Utilities tab's "Compare sensors on one plot...": the comparison window.
    void imgCompare_Click();
    // The comparison window while it is open (nothing otherwise).
    frmCompare* compareWindow() const { return m_compare; }
    // "Weekly report...": the report of a Level, a Location or the sensors beyond their
    // levels; the window while it is open.
    void cmdWeeklyReport_Click();
    frmWeeklyReport* weeklyReportWindow() const { return m_weeklyReport; }
    // "Database...": this computer's file or a site server; the choice is remembered for
    // the user and the program switches to it. The window while it is open.
    void cmdDatabase_Click();
    frmDatabase* databaseWindow() const { return m_database; }
    // Switches the running program to a database (a server's connection string; empty for
    // the file): the one open is let go, the other opened and its sensors read as at
    // start-up. Answers whether the chosen database is open.
    bool useDatabase(const QString& server);

    Session& session() { return *m_session; }
    QTabWidget* SSTab1 = nullptr;
    IdentificationTab* identification = nullptr;
    InstallationTab* installation = nullptr;
    ReadingsTab* readings = nullptr;
    ChartPage* loadVsTime = nullptr;     // "4. Load v Time"
    ChartPage* loadVsTimeTemp = nullptr; // "05. Load v Time with Temp"
    UtilitiesTab* utilities = nullptr;
    frmSplash* splash = nullptr;
    SensorRecord* record = nullptr;
    SensorRegistry* registry = nullptr;
    LevelsGroup* levels = nullptr;
    // Exports the Load v Time chart as a JPEG picture to a path (false on failure): the
    // chart page's export; tests may put a stand-in in its place.
    std::function<bool(const QString&)> loadVsTimeExport;
    BackupGroup* backups = nullptr;
    Maintenance* maintenance = nullptr;
    SensorReport* report = nullptr;

    // SensorRecordHost
    void setSensorCount(const QString& text) override;
    void hideReadingError() override;
    void enableReadingChannels() override;
    void enableSensorTabs() override;
    void takeOthersSensors() override;

    // MaintenanceHost (setSensorCount above serves both)
    void showCurrentSensor() override;
    void setSensorBoxText(const QString& text) override;
    void relistSensors() override;
    void endProgram() override;

    // ReportHost
    int currentTab() const override;
    void selectTab(int index) override;
    bool exportLoadVsTime(const QString& path) override;

    // On a site server, when the engineer comes back to the window: the sensors and the
    // readings shown as other engineers left them (see SensorRegistry::takeOthersSensors
    // and ReadingsTab::takeOthersReadings).
    void takeOthersChanges();

    // Twips per pixel of the screen the window is on.
    static int twipsPerPixel();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // What an import asks of the main window: saving the shown reading, the time period,
    // showing the reading again, the safety backup.
    ImportHost importHost(Progress& progress);

    // This run's claim on the database file against other copies: false when another copy
    // holds it (said with `refusal` and one log entry). Notes whether the file is to be
    // opened for reading only, and whether its quick check is due.
    bool guardFile(const QString& refusal, const QString& label);
    // Opens the database file as start-up does (inside a logged procedure): a damaged file
    // gets the message naming the backup, the quick check runs when due, what a run cut
    // short left beside the file goes. False when the program must end.
    bool openFile(const QString& label, bool quickCheck);
    // A site server that cannot be opened: the message naming why, one log entry, and the
    // question whether to open this computer's file instead (true: Yes).
    bool offerFileInstead(const QString& server, const Error& error, const QString& label);
    // Reads the database just opened as start-up does: the type's limits, the preferences,
    // the sensors, the first one shown (inside a logged procedure). switching: the boxes
    // held another database's sensor and are emptied when this one has none.
    void readDatabase(bool switching);
    // The caption, then the database open: the file's path or the server's name.
    void showDatabaseInTitle();

    std::unique_ptr<Session> m_session;
    SingleInstance& m_instance;
    std::optional<QString> m_serverArgument;
    bool m_fileReadOnly = false;
    bool m_fileCheckDue = false;
    frmDatabase* m_database = nullptr;
    // The progress of a backup or restore copying a site server's data, shown over the window.
    std::unique_ptr<QtProgress> m_copyProgress;
    bool m_secondCopy = false;
    // The database could not be reopened after a backup or restore: the run ends at once,
    // with nothing to save and nothing to compact.
    bool m_connectionLost = false;
    bool m_terminated = false;
    bool m_takingOthers = false; // takeOthersChanges is under way
    int m_currentTab = 0;
    StartUpCheck m_startUpCheck = StartUpCheck::Always;
    frmCompare* m_compare = nullptr;
    frmWeeklyReport* m_weeklyReport = nullptr;

    // The tabs grow with the window: the tab control fills it, and on each page the parts
    // that hold no data keep their normal size (once the tab control has been laid out).
    bool m_tabsGrow = false;
    bool m_partsKept = false;
    struct PageParts {
        QWidget* page;
        std::vector<KeptPart> parts;
    };
    std::vector<PageParts> m_pageParts;
    std::vector<QWidget*> m_roomTakers;
    // Lists held to a small height at the normal size, and that height.
    std::vector<std::pair<QWidget*, int>> m_heldLists;
    void keepPartsAtNormalSize(bool keep);

    // The keys that do what a click does, each on the tab where that click can be made:
    // on the other tabs it is off, and its key reaches the control that has the focus.
    struct KeyAction {
        QShortcut* shortcut;
        int tab;
    };
    std::vector<KeyAction> m_keys;
    void buildShortcuts();
    void enableShortcuts();
};

} // namespace rv
