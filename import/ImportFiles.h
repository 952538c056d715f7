#pragma once
// The files an import works on: staging a datalogger file (OpenSlugData: the schema
// file, the working copy "datafile.txt" in the data folder, and the staged rows read from
// it), the archive of the datalogger's download file after an append, and whether all of
// them, and the database, can be written before anything is.
#include "import/SlugReader.h"
#include "import/StagedRows.h"
#include "platform/Progress.h"
#include "platform/Status.h"
#include <QDate>
#include <QString>

namespace rv {

struct Session;

inline const QString kSchemaIniName = QStringLiteral("Schema.ini");
inline const QString kWorkCopyName = QStringLiteral("datafile.txt");
// No datalogger file of one sensor comes near this size (100,000 readings take about
// 5 MB): a larger file is refused before it is copied or read.
inline constexpr qint64 kMaxSlugFileBytes = qint64(64) * 1024 * 1024;
// Nor does any hold this many lines (a reading every minute for almost four years): a
// file of more is refused, which bounds the memory and the work of one import.
inline constexpr qint64 kMaxSlugRows = 2'000'000;

struct StagingOutcome {
    enum class Kind {
        Staged,    // rsImport holds the file's rows (perhaps none)
        NoFile,    // the chosen file does not exist: gNoImportData is True
        TooLarge,  // refused for its size, nothing read
        Refused,   // refused for its content (read says why), nothing staged
        Cancelled, // the user cancelled the reading, nothing staged
    };
    Kind kind = Kind::Staged;
    qint64 fileBytes = 0;
    SlugReadOutcome read;
};

// Writes "Schema.ini" into the data folder, copies the chosen file to "datafile.txt" there
// (replacing an older working copy) and stages its rows into rsImport, then deletes
// "Schema.ini" again, whatever happened. Sets gNoImportData. A failure of the file system
// (a read-only data folder, a file that cannot be copied or read) ends it through need(),
// for the caller's log entry; rsImport is then empty.
StagingOutcome OpenSlugData(Session& s, const QString& fileName, const QString& fullPath,
                            StagedRows& rsImport, Progress& progress);

// The message for a file refused by OpenSlugData (TooLarge or Refused), naming the file.
QString refusedFileMessage(const QString& fileName, const StagingOutcome& outcome);

// Copies a file over another in one step: the copy is written beside the target and
// renamed over it only when complete, so the target is either the old file or the whole
// new one.
Status copyReplacing(const QString& from, const QString& to);

// After an append: makes the "backup" subfolder of the download folder when it is
// missing, and moves the datalogger's download file "MS" + id + ".txt" there as
// "MS" + id + "_" + yyyy-mm-dd + ".txt" (replacing a file of that name). The download file
// is deleted only once its copy is complete. Fails, saying why, only when a download
// there could not be archived (it is then kept where it was).
Status archiveDownload(const QString& downloadFolder, const QString& sensorId, const QDate& today);

// The bytes an import of a datalogger file of `fileBytes` bytes needs on the disk of the
// data folder: the working copy, the schema file, and the readings the database gains.
qint64 importNeedBytes(qint64 fileBytes);

// Why the import of the chosen file (gDownloadFolder its folder) cannot write what it
// writes, in one sentence naming the place; empty when it can. Checked before anything is
// written: the database (read-only), the data folder (read-only, or its disk too full for
// the working copy and the readings), and, when the datalogger's download lies there, the
// download folder and its "backup" subfolder that take its archive.
QString whyImportCannotWrite(const Session& s, const QString& fullPath);
// Why the open database cannot take readings, in one sentence; empty when it can: a file
// that is read-only, or a site server that lets the user only read.
QString whyDatabaseCannotTakeReadings(const Session& s);

} // namespace rv
