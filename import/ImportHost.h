#pragma once
// What the datalogger import needs from the main window, which wires it: the Readings
// tab's steps before and after an import, the proposal interval, and how the import
// window is shown.
#include <QString>
#include <functional>

class QWidget;

namespace rv {

class frmSlugData;
class frmFolderImport;
class Progress;

// What the import windows say, once, on a site server: no safety backup is made there.
inline const QString kServerImportNotice =
    QStringLiteral("On the site server the import's undo record replaces the safety backup.");

struct ImportHost {
    // Writes back the reading shown on the Readings tab, a date or time still being typed
    // included (SaveReadings). False when it was refused for another engineer's change:
    // the values typed stay in the boxes and the import does not start.
    std::function<bool()> SaveReadings;
    // The text of the Readings tab's "Time Period (hr)" box (cboSlugInt).
    std::function<QString()> slugIntervalText;
    // Shows the current reading of rsReadings and its counter on the Readings tab
    // (fillreadings and txtRcount).
    std::function<void()> showReading;
    // Shows the import window modally and returns once it is closed; when empty, the
    // window's own exec() does.
    std::function<void(frmSlugData&)> runWindow;
    // Shows the folder import window modally in the same way.
    std::function<void(frmFolderImport&)> runFolderWindow;
    // Makes the safety backup of the database before readings are appended; false when
    // the import must not go on (the user was told why). On a site server it makes none
    // and answers true: the import's undo record takes its place (kServerImportNotice).
    std::function<bool()> safetyBackup;
    // Progress of staging and appending a file; none shown when null.
    Progress* progress = nullptr;
    // The window the import's windows belong to.
    QWidget* parent = nullptr;
};

} // namespace rv
