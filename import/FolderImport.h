#pragma once
// Importing a whole datalogger download at once: every file of a folder is matched to its
// sensor (by the identifier in its name, or the type and number its rows name), staged
// with the proposal marks, judged against what its sensor holds, and the checked files
// are appended each in its own transaction with its own import-history record, exactly
// as the single import appends one file.
#include "alarms/AlarmLevels.h"
#include "import/SlugAppend.h"
#include "import/SlugRules.h"
#include "import/StagedChecks.h"
#include "import/StagedRows.h"
#include "platform/Progress.h"
#include <QDate>
#include <QSet>
#include <QString>
#include <QStringList>
#include <map>
#include <vector>

namespace rv {

struct Session;
struct ImportHost;

// A sensor of the database as the match sees it: its identifier and its stored
// installation offset.
struct FolderSensor {
    QString id;
    double offset = 0;
};

// The sensor a file belongs to; an empty sensorId with the reason it has none.
struct FileMatch {
    QString sensorId;
    QString reason;
};

// The nine-digit identifier a file's name gives ("200625001.txt" or "MS200625001.txt",
// letter case of "MS" and ".txt" aside); empty when the name gives none.
QString sensorIdFromName(const QString& fileName);
// The sensor type and number the rows name (columns C2 and C3), each written "25/001"
// (numbers as two and three digits, other texts as they stand), distinct, in file order.
QStringList rowSensorNumbers(const StagedRows& rows);

// Which of the sensors a file belongs to. A name that gives an identifier names that
// sensor; rows that name one type and number name every sensor whose identifier holds
// them (characters 5-6 and 7-9). A file belongs to a sensor only when what names one
// names exactly one, and the name and the rows, when both name one, agree: never a guess.
FileMatch matchFileToSensor(const QString& fileName, const QStringList& rowNumbers,
                            const std::vector<FolderSensor>& sensors);

// One file of the folder.
struct FolderFile {
    QString fileName; // without its folder
    QString path;
    QString sensorId; // the sensor matched; empty when the file is left alone
    QString refusal;  // why it is left alone (no sensor, no readings, not a datalogger file)
    QString sha256;
    StagedRows rows;
    std::vector<char> marks; // ticked: to be appended
    StagedChecks checks;     // stored: in the database or ticked in an earlier checked file
    bool checked = false;    // to be appended

    bool staged() const { return refusal.isEmpty(); }
    qint64 ticked() const;
    // Ticked rows that are not stored already.
    qint64 toAppend() const;
};

// What is judged per sensor: the keys its readings hold (folded), its levels and offset.
struct FolderSensorState {
    QSet<QString> keys;
    AlarmLevels levels;
    double offset = 0;
};

struct FolderStaging {
    QString folder;
    std::vector<FolderFile> files; // by file name
    std::map<QString, FolderSensorState> sensors;
    bool cancelled = false;
};

// Lists the folder's files (not its subfolders) by name, matches each to a sensor, stages
// each matched one (OpenSlugData) with the proposal marks of the interval, reads the keys,
// levels and offset of every sensor matched, and judges the files (checkFolder, year
// first). A file that matches no sensor, or more than one, holds no readings or is no
// datalogger file is listed with the reason and not staged. Progress counts the files; a
// cancel ends it with `cancelled` set. Failures of the store end it through need().
FolderStaging stageFolder(Session& s, const QString& folder, double interval, DayOrder order,
                          Progress& progress);

// Judges every staged file in the date layout: a row is stored when its sensor holds its
// key or an earlier checked file of the same sensor has it ticked.
void checkFolder(FolderStaging& staging, SlugDateFormat format, DayOrder order,
                 const QDate& lastDay);
// The keys an earlier checked file of the same sensor has ticked, with the sensor's own.
QSet<QString> keysBefore(const FolderStaging& staging, std::size_t file, SlugDateFormat format,
                         DayOrder order);

// What became of one file.
struct FolderFileOutcome {
    enum class Kind {
        Appended,   // `appended` readings written (perhaps with rows left out)
        NothingNew, // checked, but every ticked row was stored or had no date
        Refused,    // not staged: FolderFile::refusal says why
        NotChecked, // left unchecked by the user
        Failed,     // its append failed and was rolled back whole (error says why)
        Cancelled,  // not appended: the user cancelled before or during it
        Stopped,    // not appended: an earlier file found the database cannot be written
    };
    Kind kind = Kind::NotChecked;
    qint64 appended = 0;
    qint64 stored = 0;  // ticked rows left out as already stored
    qint64 undated = 0; // ticked rows left out for a date that cannot be read
    Error error;
    QString archiveFailure; // why the download could not be archived, when it could not
};

// Whether a failure says the database cannot take any more writes (read-only, full, not
// readable, locked by another program): the files after it are then not tried.
bool databaseCannotBeWritten(const Error& error);

// Appends every checked file in order, each in its own transaction with its own history
// record (writeReadings), leaving out ticked rows stored already (in the database or in a
// file appended before it) and rows whose date cannot be read. A file named as the
// datalogger's download of its sensor ("MS" + id + ".txt") is archived after its append.
// Progress runs once over the whole; a cancel leaves the file being written and every
// later one untouched.
std::vector<FolderFileOutcome> appendFolder(Session& s, FolderStaging& staging,
                                            SlugDateFormat format, DayOrder order,
                                            Progress& progress);

// The one message after an append: a line per file, then the total.
QString folderSummary(const FolderStaging& staging, const std::vector<FolderFileOutcome>& outcomes);

// "Import a folder..." on the Readings tab: asks for a folder, stages its files and shows
// them in the folder window, which appends the checked ones. Failures end it with one log
// entry " cmdImportFolder_Click".
void cmdImportFolder_Click(Session& s, const ImportHost& host);

} // namespace rv
