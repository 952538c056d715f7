#pragma once
// The run-wide state of the program under the system's own names: the paths, the one
// connection, the recordsets that live for the run, the sensor shown, and what the
// Readings tab and the import keep between their steps. What a window decides is that
// window's own result, not kept here. One object, owned by the main window and passed by reference.
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Log.h"
#include "platform/Status.h"
#include "store/ChangeHistory.h"
#include "store/Connection.h"
#include "store/CurrentSensor.h"
#include "store/Recordset.h"
#include <QCoreApplication>
#include <QDate>
#include <QString>
#include <QTimer>
#include <memory>

namespace rv {

class Desktop;
class Paths;

struct Session {
    Session(Dialogs& dialogs, const Clock& clock, const Paths& paths, Desktop& desktop)
        : dialogs(dialogs), clock(clock), paths(paths), desktop(desktop) {
        // What the engineer changes through the tabs is kept in the history of changes,
        // dated by the program's clock.
        gConnection.setClock(&clock);
        rsReadings.setChangeHow(how::ReadingsTab);
        rsSensors.setChangeHow(how::SensorRecord);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Dialogs& dialogs;
    const Clock& clock;
    const Paths& paths;
    Desktop& desktop;

    QString gMakerFolder;
    QString gDataFolder;
    QString gDatabasePath;
    QString gConnectString; // the engine and the database open: Connection::describe()
    Connection gConnection;

    Recordset rsConfig;
    Recordset rsPrefs;
    Recordset rsSensors;
    // The sensor shown (the current row of rsSensors), observed by every tab and window.
    CurrentSensor currentSensor{rsSensors};
    Recordset rsReadings;
    Recordset rsGraph; // the plottable readings, only while a plot is prepared
    QString gPrefMaxY;

    bool Firstload = false;
    qint64 gReadingBookmark = 0;
    qint64 gReadingPosition = 0;
    QString gSensorID;
    // The datalogger import: whether the chosen file was missing, and the folder the
    // chosen file came from (where a datalogger download is archived).
    bool gNoImportData = false;
    QString gDownloadFolder;

    // One log entry with a free message.
    void LogError(const QString& message) const { rv::LogError(gDataFolder, clock, message); }
    // Whether the engineer has been told that the site server refuses their changes: told
    // once for the database open, every later refusal only logged.
    mutable bool writeRefusalTold = false;

    // Whether the engineer has been told, in the action under way, that the connection to
    // the site server was lost or that another engineer's change held the action up: what
    // that action does afterwards (the windows reading again what they show) fails the same
    // way and is only logged. Once the program is back waiting for the engineer, the next
    // such failure is told again.
    std::shared_ptr<bool> actionFailureTold = std::make_shared<bool>(false);

    // One log entry for a failure: "Err #" + number + ": " + description + label.
    // A site server that went away, refused a change, or kept the action waiting on another
    // engineer's change for longer than the program waits is also told to the engineer at
    // once, since the action did not happen.
    void logFailure(const Error& error, const QString& label) const {
        LogError(errorText(error, label));
        if (error.number == err::WriteRefused && writeRefusalTold) return;
        if (error.number == err::WriteRefused) writeRefusalTold = true;
        if (error.number == err::ConnectionLost)
            tellOncePerAction(QStringLiteral("The connection to the site server was lost. Nothing "
                                             "of this action was stored. Rockvane connects again "
                                             "on your next action."));
        else if (error.number == err::DatabaseBusy && gConnection.onServer())
            tellOncePerAction(QStringLiteral("Another engineer is changing the same data on the "
                                             "site server. Rockvane waited %1 seconds for the "
                                             "change to end. Nothing of this action was stored: "
                                             "try again in a moment.")
                                  .arg(kServerLockWaitSeconds));
        else if (byAnotherEngineer(error.number))
            dialogs.inform(error.description, QStringLiteral("Site server"), Icon::Exclamation);
        else if (error.number == err::WriteRefused)
            dialogs.inform(QStringLiteral("The site server did not allow this change: your "
                                          "database user may read but not write. Nothing was "
                                          "changed."),
                           QStringLiteral("Site server"), Icon::Exclamation);
    }

private:
    void tellOncePerAction(const QString& text) const {
        if (*actionFailureTold) return;
        *actionFailureTold = true;
        dialogs.inform(text, QStringLiteral("Site server"), Icon::Exclamation);
        // The flag is shared, not this session: the session may be gone by then.
        if (QCoreApplication* app = QCoreApplication::instance())
            QTimer::singleShot(0, app, [told = actionFailureTold] { *told = false; });
    }
};

// Runs a procedure of the "log and end" kind: the first failing step (need() on a
// failed Status, or any exception) ends it with one log entry under its label.
// Answers true when the procedure ran to its end.
template <class F> bool logged(const Session& session, const QString& label, F&& body) {
    try {
        body();
        return true;
    } catch (const Abort& a) {
        session.logFailure(a.error, label);
    } catch (const std::exception& e) {
        session.logFailure(Error{err::InvalidArgument, QString::fromLocal8Bit(e.what())}, label);
    }
    return false;
}

// Runs one step of a procedure of the "skip and continue" kind: a failure is ignored.
template <class F> void skip(F&& step) {
    try {
        step();
    } catch (const Abort&) {
    } catch (const std::exception&) {
    }
}

} // namespace rv
