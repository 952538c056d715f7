#include "import/ImportDataFiles.h"
#include "core/DateText.h"
#include "core/Values.h"
#include "history/ImportHistory.h"
#include "import/ImportFiles.h"
#include "import/ImportHost.h"
#include "import/SlugAppend.h"
#include "import/StagedRows.h"
#include "import/frmSlugData.h"
#include "store/Session.h"
#include <QFileInfo>
#include <QScopeGuard>

namespace rv {

namespace {
const QString kLabel = QStringLiteral(" imgAddSlugData_Click");

// Whether to go on with a file whose SHA-256 an earlier import of the current sensor
// recorded: the user is asked, No being the default. A history that cannot be read asks
// nothing (the append's own duplicate test still stands).
bool alreadyImportedGoOn(Session& s, const QString& sha256) {
    const auto found = findBatchBySha(s.gConnection, s.gSensorID, sha256);
    if (!found.ok() || !found.value()) return true;
    const ImportBatch& earlier = *found.value();
    const QString text = QStringLiteral("This file was already imported on ") +
                         generalDateText(earlier.when) + QStringLiteral(": ") +
                         QString::number(earlier.rows) +
                         (earlier.rows == 1 ? QStringLiteral(" row") : QStringLiteral(" rows")) +
                         QStringLiteral(" appended to sensor ") + s.gSensorID + u'.' + kCrLf +
                         kCrLf + QStringLiteral("Do you want to import it anyway?");
    return s.dialogs.show(Message{text, kAppTitle, Icon::Exclamation, Buttons::YesNo,
                                  Answer::No}) == Answer::Yes;
}

} // namespace

void imgAddSlugData_Click(Session& s, const ImportHost& host) {
    // The progress of a large file lets events through: a second click on the picture
    // meanwhile starts no second import.
    static bool importing = false;
    if (importing) return;
    importing = true;
    const auto done = qScopeGuard([] { importing = false; });
    logged(s, kLabel, [&] {
        if (host.SaveReadings && !host.SaveReadings()) return;
        s.gSensorID = displayText(need(s.currentSensor.value(QStringLiteral("InstrumentID"))));

        // The dialog opens where the last datalogger file came from.
        const QString path =
            s.dialogs.openFileName(QStringLiteral("Open"), s.gDownloadFolder, kSlugFileFilter);
        if (path.isEmpty()) return;
        const QFileInfo chosen(path);
        const QString fileName = chosen.fileName();
        // The datalogger's download folder is the folder the file came from: the archive
        // step works there, never at the root of a drive.
        s.gDownloadFolder = chosen.absolutePath();

        if (fileName != s.gSensorID + QStringLiteral(".txt")) {
            const QString warning =
                QStringLiteral("WARNING:") + kCrLf + fileName +
                QStringLiteral(" is not a match for the current sensor of ") + s.gSensorID + kCrLf +
                QStringLiteral("Are you sure you want to append this data to the database?") +
                kCrLf + kCrLf +
                QStringLiteral(
                    "This may cause undesirable results including corruption and loss of database");
            const Answer answer = s.dialogs.show(
                Message{warning, kTitleCaps, Icon::Exclamation, Buttons::YesNo, Answer::No});
            if (answer != Answer::Yes) return;
        }

        // Nothing is written where it cannot all be written: the user is told what stops
        // the import before the first file or reading.
        if (const QString why = whyImportCannotWrite(s, path); !why.isEmpty()) {
            s.dialogs.inform(QStringLiteral("The readings of ") + fileName +
                                 QStringLiteral(" cannot be imported:") + kCrLf + why,
                             kAppTitle, Icon::Exclamation);
            return;
        }

        // A file imported into this sensor before is named before anything is staged, so
        // the user is not walked through one duplicate message per reading.
        ImportSource source{fileName, QString()};
        if (s.gConnection.isOpen() && hasHistoryTables(s.gConnection)) {
            if (const Result<QString> digest = fileSha256(path); digest.ok())
                source.sha256 = digest.value();
            if (!source.sha256.isEmpty() && !alreadyImportedGoOn(s, source.sha256)) return;
        }

        NoProgress none;
        Progress& progress = host.progress ? *host.progress : none;
        StagedRows rsImport;
        StagingOutcome staged;
        try {
            staged = OpenSlugData(s, fileName, path, rsImport, progress);
        } catch (const Abort& a) {
            // A write that fails all the same (a disk filling up meanwhile) is said, then
            // logged; the schema file and any part of the copy are gone again.
            s.dialogs.inform(QStringLiteral("The readings of ") + fileName +
                                 QStringLiteral(" could not be staged in the data folder:") +
                                 kCrLf + a.error.description + kCrLf +
                                 QStringLiteral("Nothing was imported."),
                             kAppTitle, Icon::Critical);
            throw;
        }
        switch (staged.kind) {
        case StagingOutcome::Kind::Staged:
            break;
        case StagingOutcome::Kind::NoFile:
            s.dialogs.inform(QStringLiteral("There was no data found for this sensor."), kAppTitle,
                             Icon::Information);
            return;
        case StagingOutcome::Kind::TooLarge:
        case StagingOutcome::Kind::Refused:
            s.dialogs.inform(refusedFileMessage(fileName, staged), kAppTitle, Icon::Exclamation);
            return;
        case StagingOutcome::Kind::Cancelled:
            return;
        }

        frmSlugData window(s, rsImport, host, host.parent);
        window.setSource(source);
        window.Form_Load();
        if (host.runWindow)
            host.runWindow(window);
        else
            window.exec();
        // However the window was shown, the import ends with the window unloaded.
        if (!window.unloaded()) window.reject();
    });
}

} // namespace rv
