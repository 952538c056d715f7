// The datasheet window, deleting readings and the spreadsheet export on a sensor with
// 100,000 readings (one every 15 minutes from 2010), driven through the real main window
// as the user drives them. Set-up and restoring the readings between runs are left out of
// the timing.
#include "app/frmRockvane.h"
#include "bench/BenchData.h"
#include "readings/ReadingsTab.h"
#include "readings/frmBatchDel.h"
#include "readings/frmDatasheet.h"
#include "store/Connection.h"
#include "store/Module1.h"
#include "store/Session.h"
#include <QApplication>
#include <QCalendarWidget>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTabWidget>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace rv::bench {
namespace {

constexpr int kReadings = 100000;
constexpr int kRepetitions = 5;
// 521 days of 96 readings from 2010/01/01: the first 50,016 readings.
const QDate kBatchFirst(2010, 1, 1);
const QDate kBatchLast = kBatchFirst.addDays(520);
constexpr int kBatchCount = 521 * 96;

// The main window on the Readings tab of a sensor with 100,000 readings, with a copy of
// those readings from which they are restored after a deletion.
struct SheetWindow {
    BenchFolder folder;
    QString id = sensorIds(1).front();
    QString table = sql::quoted(id);
    NoProgress progress;
    std::unique_ptr<frmRockvane> window;

    SheetWindow() {
        application();
        folder.addReadingsTable(id, kReadings);
        {
            Connection c;
            if (!c.open(folder.databasePath()).ok() ||
                !c.execute(QStringLiteral("INSERT INTO Sensors (InstrumentID, DateID, SensorType, "
                                          "TypeID, SensorNo, Destroyed) VALUES ('%1', '2010', "
                                          "'25', '25', '000', 'No')")
                               .arg(id))
                     .ok() ||
                !c.execute(QStringLiteral("CREATE TABLE pristine AS SELECT * FROM ") + table).ok())
                fail("cannot prepare the sensor");
        }
        window = folder.startWindow();
        window->SSTab1->setCurrentIndex(2);
        tab().setProgress(&progress);
        if (count() != kReadings) fail("the readings tab shows no readings");
    }
    ReadingsTab& tab() { return *window->readings; }
    Session& session() { return window->session(); }
    qint64 count() { return session().rsReadings.recordCount(); }
    // Puts the 100,000 readings back and shows them.
    void restore() {
        Connection& c = session().gConnection;
        if (!c.execute(QStringLiteral("DELETE FROM ") + table).ok() ||
            !c.execute(QStringLiteral("INSERT INTO ") + table +
                       QStringLiteral(" SELECT * FROM pristine"))
                 .ok())
            fail("cannot restore the readings");
        window->SSTab1->setCurrentIndex(1);
        window->SSTab1->setCurrentIndex(2);
        if (count() != kReadings) fail("the readings were not restored");
    }
    frmDatasheet* openDatasheet() {
        tab().imgDatasheet_Click();
        frmDatasheet* form = tab().datasheetWindow();
        if (!form) fail("the datasheet did not open");
        QApplication::processEvents(); // the first screen of the grid is drawn
        return form;
    }
    void closeDatasheet(frmDatasheet* form) {
        form->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

SheetWindow& sheetWindow() {
    static SheetWindow* data = new SheetWindow;
    return *data;
}

// "Datasheet" on the Readings tab until the grid is on the screen: the reading shown is
// written back, the readings are opened afresh and the grid is laid out over them.
void DatasheetOpen100k(benchmark::State& state) {
    SheetWindow& w = sheetWindow();
    for (auto _ : state) {
        frmDatasheet* form = w.openDatasheet();
        state.PauseTiming();
        if (form->model->readingCount() != kReadings) state.SkipWithError("the grid is short");
        w.closeDatasheet(form);
        state.ResumeTiming();
    }
}
BENCHMARK(DatasheetOpen100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// Closing the datasheet after an edit: all 100,000 readings are written back in one
// transaction, then the Readings tab opens them again and shows the remembered reading.
void DatasheetWriteBack100k(benchmark::State& state) {
    SheetWindow& w = sheetWindow();
    int digit = 0;
    for (auto _ : state) {
        state.PauseTiming();
        frmDatasheet* form = w.openDatasheet();
        form->setCurrentCell(kReadings / 2, 4);
        form->MSFlexGrid1_KeyPress('0' + digit);
        digit = (digit + 1) % 10;
        state.ResumeTiming();
        w.closeDatasheet(form);
    }
    if (w.count() != kReadings) state.SkipWithError("the readings were not shown again");
}
BENCHMARK(DatasheetWriteBack100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// A batch deletion of 50,016 of the 100,000 readings as the user makes it: the deletion
// window opened and its two days chosen (outside the timing), then "BATCH DELETE" pressed
// and the tab carrying it out (choosing the readings, deleting them in one transaction,
// showing the newest reading left). In every iteration one SQL DELETE of the same rows on
// the same connection is timed too. The time reported is the batch deletion's; "sql_ms" is
// the single statement's and "ratio" the batch deletion's time over it, both from one run.
void BatchDelete50k(benchmark::State& state) {
    SheetWindow& w = sheetWindow();
    Session& s = w.session();
    double batchSeconds = 0, sqlSeconds = 0;
    for (auto _ : state) {
        w.restore();
        w.tab().imgDeleteReading_Click();
        frmBatchDel* form = w.tab().batchDeleteWindow();
        if (!form) {
            state.SkipWithError("the deletion window did not open");
            return;
        }
        form->DelStart->setSelectedDate(kBatchFirst);
        form->DelEnd->setSelectedDate(kBatchLast);
        QElapsedTimer timer;
        timer.start();
        form->OKButton->click();
        const double batch = double(timer.nsecsElapsed()) / 1e9;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (w.count() != kReadings - kBatchCount) {
            state.SkipWithError("the batch deleted the wrong readings");
            return;
        }

        w.restore();
        timer.start();
        const Status sql = s.gConnection.execute(
            QStringLiteral("DELETE FROM ") + w.table +
            QStringLiteral(" WHERE ReadingDate BETWEEN '%1' AND '%2'")
                .arg(kBatchFirst.toString(Qt::ISODate), kBatchLast.toString(Qt::ISODate)));
        const double single = double(timer.nsecsElapsed()) / 1e9;
        if (!sql.ok()) {
            state.SkipWithError("the SQL DELETE failed");
            return;
        }
        state.SetIterationTime(batch);
        batchSeconds += batch;
        sqlSeconds += single;
    }
    w.restore();
    state.counters["sql_ms"] = benchmark::Counter(sqlSeconds * 1000 / double(state.iterations()));
    state.counters["ratio"] = benchmark::Counter(batchSeconds / sqlSeconds);
}
BENCHMARK(BatchDelete50k)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3)
    ->Repetitions(kRepetitions);

// The datasheet's 100,000 readings written to a new .xlsx workbook (the program that
// would open it is left out).
void Export100k(benchmark::State& state) {
    SheetWindow& w = sheetWindow();
    frmDatasheet* form = w.openDatasheet();
    const QString path = QDir::temp().filePath(w.id + QStringLiteral(".xlsx"));
    for (auto _ : state) {
        QFile::remove(path);
        form->Image1_Click();
        state.PauseTiming();
        if (!QFileInfo::exists(path)) state.SkipWithError("no workbook was written");
        state.counters["xlsx_MiB"] = double(QFileInfo(path).size()) / (1024.0 * 1024.0);
        QFile::remove(path);
        state.ResumeTiming();
    }
    w.closeDatasheet(form);
}
BENCHMARK(Export100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

} // namespace
} // namespace rv::bench
