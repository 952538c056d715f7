#pragma once
// Data folders for the benchmarks: a temporary folder holding a fresh shipped database,
// filled with generated readings tables, with the stand-ins for the edges of the world a
// Session needs, and the main window started on it. Nothing here is timed; every folder
// is removed at exit.
#include "fakes/Fakes.h"
#include "store/Session.h"
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class QApplication;

namespace rv {
class frmRockvane;
}

namespace rv::bench {

// Ends the benchmark program with the reason: a benchmark on missing data would measure
// nothing.
[[noreturn]] void fail(const QString& what);
// Ends the program when s failed, naming what failed and why.
void check(const Status& s, const QString& what);

// Opens rsReadings on the sensor's readings as the readings window does, then reads every
// row's Channel1 and FullDate from the first reading to the last. Answers the rows read.
Result<qint64> openAndWalk(Session& s, const QString& id);
// The program's one application object (offscreen unless a platform is set).
QApplication& application();

// A temporary data folder with the shipped database, and a Session whose paths name it.
// Aborts the program when the folder or the database cannot be made: a benchmark on
// missing data would measure nothing.
class BenchFolder {
public:
    BenchFolder();
    ~BenchFolder();
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;

    const QString& databasePath() const { return m_databasePath; }
    Session& session() { return *m_session; }

    // What the folder's session and its windows meet: every message answered Ok and every
    // question No (a benchmark may choose Yes), nothing shown, a clock standing at
    // 2026/03/14 09:30:15, the documents folder holding this data folder, a desktop on
    // which no program opens anything, and no other copy running.
    fakes::ScriptedDialogs dialogs{fakes::Unscripted::No};
    fakes::FixedClock clock;
    fakes::FolderPaths paths;
    fakes::RecordingDesktop desktop;
    fakes::FixedInstance instance;

    // The main window on this folder as the program starts on its data folder: Form_Load
    // run and the window shown, with the folder's stand-ins and the clock given (the
    // folder's own without one). Ends the program when the window does not start.
    std::unique_ptr<frmRockvane> startWindow(const Clock* clock = nullptr);
    // The same window built only, for a benchmark that times Form_Load itself.
    std::unique_ptr<frmRockvane> newWindow(const Clock* clock = nullptr);

    // Adds a readings table copied from the template (through the program's own
    // statement) holding count readings, one every 15 minutes from 2010-01-01 00:00:00,
    // written through the SQLite C API in one transaction.
    void addReadingsTable(const QString& id, int count);
    // The same for every sensor of ids, through one connection in one transaction.
    void addReadingsTables(const QStringList& ids, int count);
    // Adds the sensors' rows to the Sensors table (offset 0.1, Levels "L0" to "L19",
    // Locations "North" and "South" in turn), in one transaction.
    void addSensorRows(const QStringList& ids);
    // Adds count empty readings tables, the identifiers of sensorIds(count), through the
    // program's own copying statement.
    void addEmptyReadingsTables(int count);

private:
    QTemporaryDir m_tmp;
    QString m_dataFolder;
    QString m_databasePath;
    std::unique_ptr<Session> m_session;
};

// count instrument identifiers of the usual nine digits (date identifier, type 25,
// sequence number), in ascending order.
QStringList sensorIds(int count);

// Figures of this process from /proc/self/status, in KiB; -1 when unavailable.
long long peakResidentKiB();    // VmHWM
long long currentResidentKiB(); // VmRSS
// Starts a new peak: the next peakResidentKiB() counts from the present resident size.
// False when the system does not allow it (the peak then covers the whole run).
bool resetPeakResident();

} // namespace rv::bench
