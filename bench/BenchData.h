#pragma once
// Data folders for the benchmarks: a temporary folder holding a fresh shipped database,
// filled with generated readings tables, and trivial stand-ins for the edges of the
// world a Session needs. Nothing here is timed; every folder is removed at exit.
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"
#include "store/Session.h"
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class QApplication;

namespace rv::bench {

// Ends the benchmark program with the reason: a benchmark on missing data would measure
// nothing.
[[noreturn]] void fail(const QString& what);
// Ends the program when s failed, naming what failed and why.
void check(const Status& s, const QString& what);
// The program's one application object (offscreen unless a platform is set).
QApplication& application();

// Dialogs that show nothing: every message is answered Ok (a question No), every
// prompt and file dialog is cancelled.
class QuietDialogs : public Dialogs {
public:
    Answer show(const Message& message) override;
    std::optional<QString> prompt(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
};

class StillClock : public Clock {
public:
    QDateTime now() const override { return wallClock(QDate(2026, 3, 14), QTime(9, 30, 15)); }
};

class FolderPaths : public Paths {
public:
    QString documents;
    QString specialFolder(int id) const override {
        return id == kCommonDocumentsFolder ? documents : QString();
    }
};

class NoDesktop : public Desktop {
public:
    bool openFile(const QString&) override { return false; }
    bool openAddress(const QString&) override { return false; }
};

// A temporary data folder with the shipped database, and a Session whose paths name it.
// Aborts the program when the folder or the database cannot be made: a benchmark on
// missing data would measure nothing.
class BenchFolder {
public:
    BenchFolder();
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;

    const QString& databasePath() const { return m_databasePath; }
    Session& session() { return *m_session; }

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
    QuietDialogs m_dialogs;
    StillClock m_clock;
    FolderPaths m_paths;
    NoDesktop m_desktop;
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
