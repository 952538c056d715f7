// The Readings tab on a sensor with 100,000 readings, driven through the real main window
// as the user drives it: entering the tab, moving to the next or previous reading, adding
// a reading and re-keying one. The data folder and the window are made once, outside the
// timing; the widgets need a QApplication, made here on first use (run with
// QT_QPA_PLATFORM=offscreen on a machine without a display).
#include "app/frmRockvane.h"
#include "bench/BenchData.h"
#include "readings/ReadingsTab.h"
#include "store/Connection.h"
#include "store/Session.h"
#include <QApplication>
#include <QTabWidget>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace rv::bench {
namespace {

constexpr int kReadings = 100000;
constexpr int kRepetitions = 5;

// A clock one second later at every reading, so that every "Add New" has a moment of its
// own.
class TickingClock : public Clock {
public:
    QDateTime now() const override { return m_next = m_next.addSecs(1); }

private:
    mutable QDateTime m_next = wallClock(QDate(2026, 3, 14), QTime(9, 30, 0));
};

// The main window started on a data folder whose one sensor has 100,000 readings (one
// every 15 minutes from 2010), showing the Readings tab.
struct ReadingsWindow {
    BenchFolder folder;
    QString id = sensorIds(1).front();
    TickingClock clock;
    std::unique_ptr<frmRockvane> window;

    ReadingsWindow() {
        application();
        folder.addReadingsTable(id, kReadings);
        {
            Connection c;
            const Status s =
                c.open(folder.databasePath())
                    ? c.execute(QStringLiteral("INSERT INTO Sensors (InstrumentID, DateID, "
                                               "SensorType, TypeID, SensorNo, Destroyed) VALUES "
                                               "('%1', '2010', '25', '25', '000', 'No')")
                                    .arg(id))
                    : Status::fail(1, QStringLiteral("cannot open the database"));
            if (!s.ok()) {
                std::fprintf(stderr, "rockvane-bench: %s\n", qPrintable(s.error().description));
                std::exit(EXIT_FAILURE);
            }
        }
        window = folder.startWindow(&clock);
        window->SSTab1->setCurrentIndex(2);
        if (window->session().rsReadings.recordCount() != kReadings) {
            std::fprintf(stderr, "rockvane-bench: the readings tab shows no readings\n");
            std::exit(EXIT_FAILURE);
        }
    }
    ReadingsTab& tab() { return *window->readings; }
    qint64 count() { return window->session().rsReadings.recordCount(); }
};

ReadingsWindow& readingsWindow() {
    static ReadingsWindow* data = new ReadingsWindow;
    return *data;
}

bool check(benchmark::State& state, bool ok, const char* what) {
    if (!ok) state.SkipWithError(what);
    return ok;
}

// From the "2. Installation" tab to the Readings tab: the readings are opened afresh and
// the remembered reading shown.
void EnterReadingsTab100k(benchmark::State& state) {
    ReadingsWindow& w = readingsWindow();
    for (auto _ : state) {
        state.PauseTiming();
        w.window->SSTab1->setCurrentIndex(1);
        state.ResumeTiming();
        w.window->SSTab1->setCurrentIndex(2);
    }
    check(state, w.count() >= kReadings, "the readings were not opened");
}
BENCHMARK(EnterReadingsTab100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// Next, then Previous, in the middle of the readings: each validates the reading shown,
// writes it back, moves and shows the next one.
void NextPrevious100k(benchmark::State& state) {
    ReadingsWindow& w = readingsWindow();
    Recordset& rs = w.window->session().rsReadings;
    if (!check(state, rs.setAbsolutePosition(kReadings / 2).ok(), "cannot reach the middle"))
        return;
    w.tab().fillreadings();
    bool forward = true;
    for (auto _ : state) {
        if (forward)
            w.tab().imgNextData->click();
        else
            w.tab().imgPrevData->click();
        forward = !forward;
    }
    check(state,
          rs.absolutePosition() == kReadings / 2 || rs.absolutePosition() == kReadings / 2 + 1,
          "the moves went astray");
}
BENCHMARK(NextPrevious100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// "Add New": the reading shown is validated and written back, a reading stamped with the
// clock is added, the readings are read again and the new one is shown.
void AddNew100k(benchmark::State& state) {
    ReadingsWindow& w = readingsWindow();
    for (auto _ : state) {
        const qint64 before = w.count();
        w.tab().imgAddReading->click();
        if (!check(state, w.count() == before + 1, "no reading was added")) return;
    }
}
BENCHMARK(AddNew100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

// A changed time of day re-keys the reading shown: the duplicate test, the row written,
// the readings read again and the reading shown at its new place.
void ReKey100k(benchmark::State& state) {
    ReadingsWindow& w = readingsWindow();
    Recordset& rs = w.window->session().rsReadings;
    if (!check(state, rs.setAbsolutePosition(kReadings / 2).ok(), "cannot reach the middle"))
        return;
    w.tab().fillreadings();
    // Readings are a quarter of an hour apart: a few seconds past never meets another.
    const QTime base = w.tab().dtpRtime->time();
    int seconds = 0;
    for (auto _ : state) {
        seconds = seconds % 50 + 1;
        w.tab().dtpRtime->setTime(base.addSecs(seconds));
        if (!check(state,
                   w.tab().dtpRtime->time() == base.addSecs(seconds) &&
                       w.tab().txtReadingID->text().endsWith(
                           base.addSecs(seconds).toString(QStringLiteral("HH:mm:ss"))),
                   "the reading was not re-keyed"))
            return;
    }
}
BENCHMARK(ReKey100k)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

} // namespace
} // namespace rv::bench
