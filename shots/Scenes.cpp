// The scenes: which window, in which state, goes into which picture.
#include "app/UtilitiesTab.h"
#include "app/frmDatabase.h"
#include "app/frmRockvane.h"
#include "changes/frmChanges.h"
#include "compare/frmCompare.h"
#include "core/DateText.h"
#include "fakes/Fakes.h"
#include "import/frmFolderImport.h"
#include "import/frmSlugData.h"
#include "maintenance/Maintenance.h"
#include "platform/QtDialogs.h"
#include "readings/ReadingRules.h"
#include "readings/ReadingsTab.h"
#include "readings/frmBatchDel.h"
#include "readings/frmDatasheet.h"
#include "reports/SensorReport.h"
#include "reports/WeeklyReport.h"
#include "reports/frmReport.h"
#include "reports/frmWeeklyReport.h"
#include "shots/SampleData.h"
#include "shots/Shots.h"
#include "store/Recordset.h"
#include "store/Session.h"
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QRadioButton>
#include <QTabWidget>

namespace rv::shots {

namespace {

// The whole main window with one of its tabs shown.
Scene tab(const QString& file, int index) {
    return Scene{file,
                 [index](frmRockvane& w) { w.SSTab1->setCurrentIndex(index); },
                 [](frmRockvane& w) -> QWidget* { return &w; },
                 {}};
}

// The week's downloads of the three sensors read every six hours, and a note the logger
// program left beside them, in a folder of their own.
QString writeWeeklyDownloads(frmRockvane& w) {
    const QString folder = w.session().gDataFolder + QStringLiteral("/week-download");
    QDir().mkpath(folder);
    for (const QString& id :
         {QStringLiteral("200625001"), QStringLiteral("200625002"), QStringLiteral("200625003")}) {
        QFile file(folder + QStringLiteral("/MS") + id + QStringLiteral(".txt"));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(sampleDownload(w.session().clock.now(), id));
    }
    QFile note(folder + QStringLiteral("/download-log.txt"));
    if (note.open(QIODevice::WriteOnly | QIODevice::Truncate))
        note.write("Downloaded by the logger program at the shift change.\r\n");
    return folder;
}

// The first pages (two at the most) of the weekly report of Level 12 over the last 30
// days, as the PDF prints them (drawn from the PDF by pdftoppm) side by side, shown in a
// label so that they can be grabbed.
QWidget* weeklyReportPages(frmRockvane& w) {
    WeeklyChoice choice;
    choice.name = QStringLiteral("Level 12");
    choice.period = WeeklyPeriod::Last30Days;
    choice.site = QStringLiteral("Brackwell Deeps");
    NoProgress none;
    const auto built = buildWeeklyReport(w.session(), choice, none);
    if (!built.ok()) return nullptr;
    const QString pdf = w.session().gDataFolder + QStringLiteral("/weekly-report.pdf");
    if (!writeWeeklyReport(built.value().report, pdf).ok()) return nullptr;
    const QString pages = w.session().gDataFolder + QStringLiteral("/weekly-report-page");
    if (QProcess::execute(QStringLiteral("pdftoppm"),
                          {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"),
                           QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                           QStringLiteral("2"), pdf, pages}) != 0)
        return nullptr;
    std::vector<QPixmap> drawn;
    for (const QString& name :
         QDir(w.session().gDataFolder)
             .entryList({QStringLiteral("weekly-report-page-*.png")}, QDir::Files, QDir::Name))
        drawn.emplace_back(w.session().gDataFolder + u'/' + name);
    if (drawn.empty()) return nullptr;
    const int gap = 16;
    int width = -gap, height = 0;
    for (const QPixmap& page : drawn) {
        width += page.width() + gap;
        height = qMax(height, page.height());
    }
    QPixmap both(width, height);
    both.fill(QColor(0x80, 0x80, 0x80));
    QPainter painter(&both);
    int x = 0;
    for (const QPixmap& page : drawn) {
        painter.drawPixmap(x, 0, page);
        x += page.width() + gap;
    }
    painter.end();
    // A window of the main window's, gone with it.
    auto* label = new QLabel(&w, Qt::Window);
    label->setPixmap(both);
    label->setFixedSize(both.size());
    return label;
}

} // namespace

std::vector<Scene> scenes() {
    return {
        tab(QStringLiteral("identification.png"), 0),
        tab(QStringLiteral("installation.png"), 1),
        tab(QStringLiteral("readings.png"), 2),
        Scene{QStringLiteral("utilities.png"),
              [](frmRockvane& w) {
                  // A backup taken today, so the list shows one under its heading.
                  w.maintenance->imgBackup_Click();
                  w.SSTab1->setCurrentIndex(5);
              },
              [](frmRockvane& w) -> QWidget* { return &w; },
              {}},
        Scene{QStringLiteral("import-history.png"),
              [](frmRockvane& w) {
                  // The readings tab with the latest import chosen, ready to be undone.
                  w.SSTab1->setCurrentIndex(2);
                  QTreeWidget* list = w.readings->fraImportHistory->lstImports;
                  if (list->topLevelItemCount() > 0) list->setCurrentItem(list->topLevelItem(0));
              },
              [](frmRockvane& w) -> QWidget* { return &w; },
              {}},
        Scene{QStringLiteral("safety-backups.png"),
              [](frmRockvane& w) {
                  // Today's backup, the safety backups of two earlier imports and a restore
                  // (copies of the sample database under their names), and the one made
                  // before an import now.
                  w.maintenance->imgBackup_Click();
                  const QString folder = w.session().gDataFolder + QStringLiteral("/LODIXbackup/");
                  const struct {
                      QDateTime at;
                      SafetyReason reason;
                  } earlier[] = {
                      {wallClock(QDate(2026, 3, 12), QTime(14, 22, 8)), SafetyReason::Import},
                      {wallClock(QDate(2026, 3, 13), QTime(8, 5, 41)), SafetyReason::Restore},
                      {wallClock(QDate(2026, 3, 13), QTime(16, 47, 3)), SafetyReason::Import},
                  };
                  for (const auto& e : earlier)
                      QFile::copy(w.session().gDatabasePath,
                                  folder + safetyBackupFileName(e.at, e.reason));
                  w.maintenance->G_SafetyBackup(SafetyReason::Import);
                  w.SSTab1->setCurrentIndex(5);
                  w.backups->lstFiles->setCurrentRow(5);
              },
              [](frmRockvane& w) -> QWidget* { return w.backups; },
              {}},
        tab(QStringLiteral("load-v-time.png"), 3),
        tab(QStringLiteral("load-v-time-with-temp.png"), 4),
        Scene{QStringLiteral("compare-window.png"),
              [](frmRockvane& w) { w.SSTab1->setCurrentIndex(5); },
              [](frmRockvane& w) -> QWidget* {
                  frmCompare* window = w.compareWindow();
                  if (window) {
                      // The three sensors of the sample mine that have readings.
                      window->resize(1100, 600);
                      QApplication::processEvents();
                      window->tickSensors({QStringLiteral("200625001"), QStringLiteral("200625002"),
                                           QStringLiteral("200625003")});
                      window->cmdPlot_Click();
                  }
                  return window;
              },
              [](frmRockvane& w) { w.imgCompare_Click(); }},
        Scene{QStringLiteral("about.png"), {}, {}, [](frmRockvane& w) { w.imgAbout_Click(); }},
        Scene{QStringLiteral("database-window.png"),
              [](frmRockvane& w) { w.SSTab1->setCurrentIndex(5); },
              [](frmRockvane& w) -> QWidget* {
                  // The mine's site server typed in, as an engineer chooses it.
                  frmDatabase* window = w.databaseWindow();
                  if (window) {
                      window->optServer->click();
                      window->txtHost->setText(QStringLiteral("db.mine"));
                      window->txtPort->setText(QStringLiteral("5432"));
                      window->txtDatabase->setText(QStringLiteral("rockvane"));
                      window->txtUser->setText(QStringLiteral("anna"));
                      window->cboSslMode->setCurrentText(QStringLiteral("verify-full"));
                      window->adjustSize();
                  }
                  return window;
              },
              [](frmRockvane& w) { w.cmdDatabase_Click(); }},
        Scene{QStringLiteral("report-window.png"),
              {},
              [](frmRockvane& w) -> QWidget* {
                  frmReport& report = w.report->reportWindow();
                  report.adjustSize();
                  return &report;
              },
              [](frmRockvane& w) { w.report->reportWindow().open(); }},
        Scene{QStringLiteral("import-window.png"),
              [](frmRockvane& w) {
                  w.SSTab1->setCurrentIndex(2);
                  // A download that repeats readings already stored, with the hour of a
                  // rock burst among the new ones.
                  const QString folder = w.session().gDataFolder + QStringLiteral("/download");
                  QDir().mkpath(folder);
                  QFile file(folder + QStringLiteral("/") + kSampleSensor + QStringLiteral(".txt"));
                  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                      file.write(sampleDownload(w.session().clock.now()));
                  file.close();
                  if (auto* d = dynamic_cast<fakes::ScriptedDialogs*>(&w.session().dialogs))
                      d->fileAnswer(file.fileName());
              },
              [](frmRockvane&) -> QWidget* {
                  auto* window = qobject_cast<frmSlugData*>(QApplication::activeModalWidget());
                  if (window) window->optDateFormat[0]->click();
                  return window;
              },
              [](frmRockvane& w) { w.imgAddSlugData_Click(); }},
        Scene{QStringLiteral("folder-import.png"),
              [](frmRockvane& w) {
                  // Every hourly reading proposed: the ones not stored yet are appended.
                  w.SSTab1->setCurrentIndex(2);
                  w.readings->cboSlugInt->setCurrentText(QStringLiteral("1"));
                  if (auto* d = dynamic_cast<fakes::ScriptedDialogs*>(&w.session().dialogs))
                      d->fileAnswer(writeWeeklyDownloads(w));
              },
              [](frmRockvane&) -> QWidget* {
                  auto* window = qobject_cast<frmFolderImport*>(QApplication::activeModalWidget());
                  if (window) {
                      window->optDateFormat[0]->click();
                      window->resize(900, 300);
                  }
                  return window;
              },
              [](frmRockvane& w) { w.cmdImportFolder_Click(); }},
        Scene{QStringLiteral("weekly-report-window.png"),
              [](frmRockvane& w) { w.SSTab1->setCurrentIndex(5); },
              [](frmRockvane& w) -> QWidget* {
                  frmWeeklyReport* window = w.weeklyReportWindow();
                  if (window) {
                      window->optLevel->click();
                      window->cboLevel->setCurrentText(QStringLiteral("Level 12"));
                      window->cboPeriod->setCurrentIndex(1);
                      window->txtSite->setText(QStringLiteral("Brackwell Deeps"));
                      window->adjustSize();
                  }
                  return window;
              },
              [](frmRockvane& w) { w.cmdWeeklyReport_Click(); }},
        Scene{QStringLiteral("weekly-report.png"), {}, weeklyReportPages, {}},
        Scene{QStringLiteral("datasheet.png"), [](frmRockvane& w) { w.SSTab1->setCurrentIndex(2); },
              [](frmRockvane& w) -> QWidget* {
                  frmDatasheet* sheet = w.readings->datasheetWindow();
                  if (sheet) {
                      sheet->resize(640, 320);
                      sheet->setCurrentCell(5, 4);
                  }
                  return sheet;
              },
              [](frmRockvane& w) { w.readings->imgDatasheet_Click(); }},
        Scene{QStringLiteral("delete-readings.png"),
              [](frmRockvane& w) { w.SSTab1->setCurrentIndex(2); },
              [](frmRockvane& w) -> QWidget* {
                  frmBatchDel* deletion = w.readings->batchDeleteWindow();
                  if (deletion) deletion->adjustSize();
                  return deletion;
              },
              [](frmRockvane& w) { w.readings->imgDeleteReading_Click(); }},
        Scene{QStringLiteral("changes.png"), [](frmRockvane& w) { w.SSTab1->setCurrentIndex(2); },
              [](frmRockvane& w) -> QWidget* {
                  // The sample sensor's changes, the corrected spike chosen.
                  frmChanges* changes = w.readings->changesWindow();
                  if (changes) {
                      changes->resize(1240, 560);
                      for (int row = 0; changes->model->entry(row); ++row)
                          if (changes->model->entry(row)->kind == change::Changed) {
                              changes->choose(row);
                              break;
                          }
                  }
                  return changes;
              },
              [](frmRockvane& w) { w.readings->cmdChanges_Click(); }},
        Scene{QStringLiteral("changed-by-another.png"),
              {},
              {},
              [](frmRockvane& w) {
                  // What an engineer sees who saves a reading that another engineer changed
                  // on the site server since it was shown, drawn as the program's own
                  // message window shows it.
                  QtDialogs dialogs;
                  dialogs.setOwner(&w);
                  RowChange anna{QStringLiteral("anna"),
                                 wallClock(QDate(2026, 3, 14), QTime(9, 41)), false};
                  dialogs.inform(
                      changedMeanwhileText(
                          changedByAnotherText(QStringLiteral("The reading 200525001 2026/03/14 "
                                                              "06:00:00"),
                                               anna, false, QStringLiteral("Nothing was saved.")),
                          QStringLiteral("18.5"), QStringLiteral("41.20")),
                      QStringLiteral("Site server"), Icon::Exclamation);
              }},
        Scene{QStringLiteral("tabs-grow.png"),
              [](frmRockvane& w) {
                  // The choice on and the window enlarged: the plot takes the room.
                  if (!w.utilities->chkTabsGrow->isChecked()) w.utilities->chkTabsGrow->click();
                  w.SSTab1->setCurrentIndex(3);
                  w.resize(1400, 860);
              },
              [](frmRockvane& w) -> QWidget* { return &w; },
              {}},
    };
}

} // namespace rv::shots
