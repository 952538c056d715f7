// The scenes: which window, in which state, goes into which picture.
#include "app/UtilitiesTab.h"
#include "app/frmRockvane.h"
#include "compare/frmCompare.h"
#include "fakes/Fakes.h"
#include "import/frmSlugData.h"
#include "maintenance/Maintenance.h"
#include "readings/ReadingsTab.h"
#include "readings/frmBatchDel.h"
#include "readings/frmDatasheet.h"
#include "reports/SensorReport.h"
#include "reports/frmReport.h"
#include "shots/SampleData.h"
#include "shots/Shots.h"
#include "store/Session.h"
#include <QApplication>
#include <QDir>
#include <QFile>
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
    };
}

} // namespace rv::shots
