#pragma once
// The start of a datalogger import from the Readings tab: the procedure behind the
// picture button imgAddSlugData of the main window.
#include <QString>

namespace rv {

struct Session;
struct ImportHost;

// "Text (*.txt) | *.txt": the open-file dialog's filter, shown as a filter of *.txt files.
inline const QString kSlugFileFilter = QStringLiteral("Text (*.txt) | *.txt");

// Writes back the reading shown, asks for a datalogger file, warns when its name is not
// the current sensor's identifier + ".txt", stages it (OpenSlugData) and opens the import
// window on it. An import that could not write everything it writes (a read-only
// database or folder, a disk too full) is refused before anything is written, with one
// message naming the place. Failures of the file system or the store end it with one log
// entry " imgAddSlugData_Click", a failed staging after a message that says so; a file
// that cannot be a datalogger file is refused with a message naming it.
void imgAddSlugData_Click(Session& s, const ImportHost& host);

} // namespace rv
