#pragma once
// What the maintenance tests share: file operations that fail or stop dead at a chosen
// step, a database with known sensors and readings, and the ways the disk can refuse.
#include "maintenance/Maintenance.h"
#include "store/ChangeHistory.h"
#include "tests/support/MainWindow.h"
#include <QByteArray>
#include <QString>
#include <functional>

namespace rv::test {

// The file operations of the program, except at one chosen step, which either fails
// (reporting a file error) or kills the process as a power cut would: at once, without
// any clean-up. A kill in the middle of a copy leaves the first half of the file written.
class FaultyFiles : public MaintenanceFiles {
public:
    enum class Fault { None, Fail, Kill, KillMidway, KillAfter };
    QString step; // "makeFolder", "lockDatabase", "copyFile", "replaceFile", ...
    Fault fault = Fault::None;
    // When set, only the step on a path containing this text (either path of a copy or a
    // rename) is affected: a restore's own rename, not that of its safety backup.
    QString onlyOn;
    // Called once the chosen step has run (for Fault::None): the moment another program
    // acts between two steps.
    std::function<void()> afterStep;

    Status makeFolder(const QString& path) override;
    Result<QStringList> listFiles(const QString& folder) const override;
    Status copyFile(const QString& from, const QString& to) override;
    Status replaceFile(const QString& from, const QString& to) override;
    Status removeFile(const QString& path) override;
    Status copyPermissions(const QString& from, const QString& to) override;
    Status compactInto(const QString& source, const QString& target) override;
    Status backupInto(const Connection& source, const QString& target) override;
    Status checkDatabase(const QString& path, Check check) override;
    Result<std::unique_ptr<DatabaseLock>> lockDatabase(const QString& path) override;

private:
    // Before a step: true when the step must fail; never returns when it must die.
    bool before(const char* name, const QString& path, const QString& other = QString()) const;
    template <class R>
    R after(const char* name, R result, const QString& path,
            const QString& other = QString()) const;
    bool affects(const char* name, const QString& path, const QString& other) const;
};

// The failure FaultyFiles reports.
inline const QString kInjected = QStringLiteral("Injected failure of the step");

// Runs work in a child process and answers whether that child died where it was made to
// (exit code 0 from a kill); the parent's state is untouched by anything the child did.
bool diesInChild(const std::function<void()>& work);

// Keeps a file or folder immutable (even for root) while it lives.
class Immutable {
public:
    explicit Immutable(QString path);
    ~Immutable();
    bool ok() const { return m_ok; }

private:
    QString m_path;
    bool m_ok = false;
};

// Limits the size of any file this process writes while it lives (a full disk).
class FileSizeLimit {
public:
    explicit FileSizeLimit(long long bytes);
    ~FileSizeLimit();

private:
    long long m_soft = 0;
    long long m_hard = 0;
    bool m_set = false;
};

// One action of the history of changes on sensor id, made at `when` (by the clock the
// connection dates its entries by) in one transaction; `record` writes its entries.
void recordAction(Connection& c, FixedClock& clock, const QDateTime& when, const QString& id,
                  const QString& how, const std::function<Status(ChangeAction&)>& record);

class MaintenanceTest : public MainWindowTest {
protected:
    // The faults end with the test: the window goes (and compacts) without them.
    void TearDown() override;
    // Two sensors with readings: 200525001 (n readings) and 200525002 (3 readings).
    void addSensorsWithReadings(int n = 50);
    void addReadings(const QString& id, int count, int firstDay = 0);
    // Every table's row count, "Sensors=2 200525001=50 ...", from the file itself.
    QString contents(const QString& path);
    QString backupFolder() const { return dataFolder + QStringLiteral("/LODIXbackup"); }
    QString backupPath(const QString& name) const {
        return backupFolder() + QStringLiteral("/") + name;
    }
    QString todaysBackup() const { return backupPath(backupFileName(clock.today())); }
    QStringList listed() const;
    void enterUtilities();
    // Selects a row of lstFiles as a click would.
    void choose(int row);
    // Starts the program again on the data folder as it is: every sensor and reading saved
    // must be there.
    void restart();
    void recordAction(const QDateTime& when, const QString& id, const QString& how,
                      const std::function<Status(ChangeAction&)>& record) {
        rv::test::recordAction(s().gConnection, clock, when, id, how, record);
    }

    FaultyFiles faulty;
};

} // namespace rv::test
