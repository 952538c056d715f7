#include "import/ImportDataFiles.h"
#include "core/Values.h"
#include "import/ImportHost.h"
#include "import/SlugStaging.h"
#include "import/StagedRows.h"
#include "import/frmSlugData.h"
#include "store/Session.h"
#include <QFileInfo>
#include <QScopeGuard>

namespace rv {

namespace {
const QString kLabel = QStringLiteral(" imgAddSlugData_Click");
} // namespace

void imgAddSlugData_Click(Session& s, const ImportHost& host) {
    // The progress of a large file lets events through: a second click on the picture
    // meanwhile starts no second import.
    static bool importing = false;
    if (importing) return;
    importing = true;
    const auto done = qScopeGuard([] { importing = false; });
    logged(s, kLabel, [&] {
        if (host.SaveReadings) host.SaveReadings();
        s.gSensorID = displayText(need(s.rsSensors.value(QStringLiteral("InstrumentID"))));

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

        NoProgress none;
        Progress& progress = host.progress ? *host.progress : none;
        StagedRows rsImport;
        const StagingOutcome staged = OpenSlugData(s, fileName, path, rsImport, progress);
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
