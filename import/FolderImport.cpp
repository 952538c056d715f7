#include "import/FolderImport.h"
#include "alarms/AlarmStore.h"
#include "core/Loads.h"
#include "core/Values.h"
#include "history/ImportHistory.h"
#include "import/ImportFiles.h"
#include "import/ImportHost.h"
#include "import/frmFolderImport.h"
#include "platform/UserChoices.h"
#include "platform/WriteCheck.h"
#include "store/Engine.h"
#include "store/Session.h"
#include "store/Statements.h"
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>

namespace rv {

namespace {

const QString kLabel = QStringLiteral(" cmdImportFolder_Click");
const QString kFolderChoice = QStringLiteral("ImportFolder");
// How many different sensor numbers the rows of a file are read for: more than one
// already refuses the file, the rest only lengthens its reason.
constexpr qsizetype kNumbersKept = 3;

bool allDigits(const QString& text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A number cell as the match compares it: digits without their leading zeros, then
// written with at least `width` digits; any other text as it stands.
QString numberCell(const QString& cell, int width) {
    const QString text = cell.trimmed();
    if (!allDigits(text)) return text;
    QString digits = text;
    while (digits.size() > 1 && digits.front() == u'0')
        digits.remove(0, 1);
    return digits.rightJustified(width, u'0');
}

// The type and number an identifier holds, as rowSensorNumbers writes them.
QString idNumber(const QString& id) {
    return id.mid(4, 2) + u'/' + id.mid(6, 3);
}

QString counted(qint64 n, const QString& one, const QString& many) {
    return QString::number(n) + u' ' + (n == 1 ? one : many);
}

// Reads the progress of a file's append as steps of the whole folder's, from `base` on.
// The whole has begun once: a file's own beginning and end are no more than steps.
class StepsFrom : public Progress {
public:
    StepsFrom(Progress& whole, qint64 base) : m_whole(whole), m_base(base) {}
    void begin(const QString&, qint64) override {}
    bool step(qint64 done) override { return m_whole.step(m_base + done); }
    void end() override {}

private:
    Progress& m_whole;
    qint64 m_base;
};

// Reads every sensor of the database (not only those a filter shows).
std::vector<FolderSensor> readSensors(Session& s) {
    std::vector<FolderSensor> sensors;
    Recordset rs;
    need(rs.open(s.gConnection, sql::SensorsByNumber));
    const auto closed = qScopeGuard([&] { rs.close(); });
    if (rs.recordCount() == 0) return sensors;
    sensors.reserve(std::size_t(rs.recordCount()));
    for (need(rs.moveFirst()); !rs.eof(); need(rs.moveNext())) {
        FolderSensor sensor;
        sensor.id = displayText(need(rs.value(QStringLiteral("InstrumentID")))).trimmed();
        // The offset as the Installation tab shows it, from which the plots compute loads.
        sensor.offset =
            installationOffset(formatNumberValue(need(rs.value(QStringLiteral("Recess"))), 2));
        sensors.push_back(sensor);
    }
    return sensors;
}

// The reason a refused datalogger file gives, as a clause after the file's name.
QString refusalOf(const QString& fileName, const StagingOutcome& outcome) {
    QString text = refusedFileMessage(fileName, outcome).section(kCrLf, 0, 0);
    const QString head = QStringLiteral("The file ") + fileName + u' ';
    if (text.startsWith(head)) text = QStringLiteral("it ") + text.mid(head.size());
    if (text.endsWith(u'.')) text.chop(1);
    return text;
}

// Reads what the files of one sensor are judged against, once per sensor.
QString readSensorState(Session& s, const FolderSensor& sensor, FolderSensorState& state) {
    const auto keys = storedReadingKeys(s.gConnection, sensor.id);
    if (!keys.ok())
        return QStringLiteral("the readings of sensor ") + sensor.id +
               QStringLiteral(" cannot be read: ") + keys.error().description;
    state.keys = keys.value();
    state.offset = sensor.offset;
    // Without the table of levels (a database that could not gain it) nothing is judged.
    if (hasAlarmTable(s.gConnection)) {
        const auto levels = loadAlarmLevels(s.gConnection, sensor.id);
        if (levels.ok()) state.levels = levels.value();
    }
    return {};
}

void checkFile(FolderStaging& staging, std::size_t i, SlugDateFormat format, DayOrder order,
               const QDate& lastDay) {
    FolderFile& f = staging.files[i];
    if (!f.staged()) return;
    const FolderSensorState& state = staging.sensors[f.sensorId];
    f.checks =
        checkStagedRows(f.rows, format, order, f.sensorId, keysBefore(staging, i, format, order),
                        state.levels, state.offset, lastDay);
}

} // namespace

qint64 FolderFile::ticked() const {
    return std::count_if(marks.begin(), marks.end(), [](char m) { return m != 0; });
}

qint64 FolderFile::toAppend() const {
    qint64 n = 0;
    for (std::size_t r = 0; r < marks.size(); ++r)
        if (marks[r] && !checks.isStored(qint64(r))) ++n;
    return n;
}

QString sensorIdFromName(const QString& fileName) {
    QString base = fileName;
    if (!base.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive)) return {};
    base.chop(4);
    if (base.startsWith(QStringLiteral("MS"), Qt::CaseInsensitive)) base.remove(0, 2);
    return base.size() == 9 && allDigits(base) ? base : QString();
}

QStringList rowSensorNumbers(const StagedRows& rows) {
    QStringList numbers;
    for (qint64 r = 0; r < rows.rowCount(); ++r) {
        if (rows.isNull(r, 2) && rows.isNull(r, 3)) continue;
        const QString number =
            numberCell(rows.text(r, 2), 2) + u'/' + numberCell(rows.text(r, 3), 3);
        if (numbers.contains(number)) continue;
        numbers << number;
        if (numbers.size() >= kNumbersKept) break;
    }
    return numbers;
}

FileMatch matchFileToSensor(const QString& fileName, const QStringList& rowNumbers,
                            const std::vector<FolderSensor>& sensors) {
    const QString many = QStringLiteral("its rows name more than one sensor: ") +
                         rowNumbers.join(QStringLiteral(", "));
    const QString nameId = sensorIdFromName(fileName);
    if (!nameId.isEmpty()) {
        const bool known = std::any_of(sensors.begin(), sensors.end(),
                                       [&](const FolderSensor& s) { return s.id == nameId; });
        if (!known)
            return {{},
                    QStringLiteral("its name gives sensor ") + nameId +
                        QStringLiteral(", which is not in the database")};
        if (rowNumbers.size() > 1) return {{}, many};
        if (rowNumbers.size() == 1 && rowNumbers.front() != idNumber(nameId))
            return {{},
                    QStringLiteral("its name gives sensor ") + nameId +
                        QStringLiteral(" but its rows name sensor number ") + rowNumbers.front()};
        return {nameId, {}};
    }
    if (rowNumbers.isEmpty())
        return {{}, QStringLiteral("neither its name nor its rows name a sensor")};
    if (rowNumbers.size() > 1) return {{}, many};
    QStringList found;
    for (const FolderSensor& sensor : sensors)
        if (idNumber(sensor.id) == rowNumbers.front()) found << sensor.id;
    if (found.isEmpty())
        return {{},
                QStringLiteral("no sensor in the database has the number ") + rowNumbers.front() +
                    QStringLiteral(" its rows name")};
    if (found.size() > 1)
        return {{},
                QStringLiteral("its rows name sensor number ") + rowNumbers.front() +
                    QStringLiteral(", which more than one sensor has: ") +
                    found.join(QStringLiteral(", "))};
    return {found.front(), {}};
}

QSet<QString> keysBefore(const FolderStaging& staging, std::size_t file, SlugDateFormat format,
                         DayOrder order) {
    const FolderFile& f = staging.files[file];
    const auto state = staging.sensors.find(f.sensorId);
    QSet<QString> keys = state == staging.sensors.end() ? QSet<QString>() : state->second.keys;
    for (std::size_t j = 0; j < file; ++j) {
        const FolderFile& earlier = staging.files[j];
        if (!earlier.staged() || !earlier.checked || earlier.sensorId != f.sensorId) continue;
        for (std::size_t r = 0; r < earlier.marks.size(); ++r) {
            if (!earlier.marks[r]) continue;
            const auto moment =
                slugMoment(earlier.rows.text(qint64(r), 0), format, f.sensorId, order);
            if (moment) keys.insert(foldedKey(moment->key));
        }
    }
    return keys;
}

void checkFolder(FolderStaging& staging, SlugDateFormat format, DayOrder order,
                 const QDate& lastDay) {
    for (std::size_t i = 0; i < staging.files.size(); ++i)
        checkFile(staging, i, format, order, lastDay);
}

FolderStaging stageFolder(Session& s, const QString& folder, double interval, DayOrder order,
                          Progress& progress) {
    FolderStaging staging;
    staging.folder = folder;
    const std::vector<FolderSensor> sensors = readSensors(s);
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    const QDate lastDay = s.clock.today().addDays(1);
    staging.files.reserve(std::size_t(entries.size()));

    progress.begin(QStringLiteral("Reading the files of ") + QDir::toNativeSeparators(folder),
                   entries.size());
    const auto ended = qScopeGuard([&] { progress.end(); });
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (!progress.step(i)) {
            staging.cancelled = true;
            return staging;
        }
        const QFileInfo& entry = entries[i];
        FolderFile& f = staging.files.emplace_back();
        f.fileName = entry.fileName();
        f.path = entry.absoluteFilePath();
        if (entry.suffix().compare(QStringLiteral("txt"), Qt::CaseInsensitive) != 0) {
            f.refusal = QStringLiteral("it is not a datalogger file (only .txt files are read)");
            continue;
        }
        NoProgress none;
        StagingOutcome staged;
        try {
            staged = OpenSlugData(s, f.fileName, f.path, f.rows, none);
        } catch (const Abort& a) {
            f.refusal = QStringLiteral("it cannot be read: ") + a.error.description;
            continue;
        }
        if (staged.kind == StagingOutcome::Kind::NoFile) {
            f.refusal = QStringLiteral("it is no longer in the folder");
            continue;
        }
        if (staged.kind != StagingOutcome::Kind::Staged) {
            f.refusal = refusalOf(f.fileName, staged);
            continue;
        }
        if (f.rows.isEmpty()) {
            f.refusal = QStringLiteral("it holds no readings");
            continue;
        }
        const FileMatch match = matchFileToSensor(f.fileName, rowSensorNumbers(f.rows), sensors);
        if (match.sensorId.isEmpty()) {
            f.refusal = match.reason;
            f.rows.clear();
            continue;
        }
        if (!staging.sensors.contains(match.sensorId)) {
            const auto sensor =
                std::find_if(sensors.begin(), sensors.end(),
                             [&](const FolderSensor& x) { return x.id == match.sensorId; });
            FolderSensorState state;
            if (QString why = readSensorState(s, *sensor, state); !why.isEmpty()) {
                f.refusal = why;
                f.rows.clear();
                continue;
            }
            staging.sensors.emplace(match.sensorId, std::move(state));
        }
        f.sensorId = match.sensorId;
        if (const auto digest = fileSha256(f.path); digest.ok()) f.sha256 = digest.value();
        f.marks = proposeMarks(
            f.rows.rowCount(), [&f](qint64 row) { return f.rows.text(row, 0); }, interval, order,
            lastDay);
    }
    // A file is checked when it has rows to append once the files of its sensor before it
    // are taken into account.
    for (std::size_t i = 0; i < staging.files.size(); ++i) {
        FolderFile& f = staging.files[i];
        if (!f.staged()) continue;
        f.checked = true;
        checkFile(staging, i, SlugDateFormat::YearMonthDay, order, lastDay);
        f.checked = f.toAppend() > 0;
    }
    return staging;
}

bool databaseCannotBeWritten(const Error& error) {
    // The engine's numbers for a database that is locked by another program, read-only,
    // failing to read or write its disk, damaged, full, not to be opened, or no database.
    static const QSet<long long> whole{
        err::DatabaseBusy, 8, 10, err::DatabaseCorrupt, 13, 14, err::NotADatabase, err::DiskFull};
    return whole.contains(error.number);
}

std::vector<FolderFileOutcome> appendFolder(Session& s, FolderStaging& staging,
                                            SlugDateFormat format, DayOrder order,
                                            Progress& progress) {
    using Kind = FolderFileOutcome::Kind;
    std::vector<FolderFileOutcome> outcomes(staging.files.size());
    // Each checked file counts its ticked rows and one step before it, where a cancel
    // leaves it and every later file untouched.
    qint64 total = 0;
    for (const FolderFile& f : staging.files)
        if (f.staged() && f.checked) total += f.ticked() + 1;
    progress.begin(QStringLiteral("Appending the readings of ") +
                       QDir::toNativeSeparators(staging.folder),
                   total);
    const auto ended = qScopeGuard([&] { progress.end(); });
    const bool history = hasHistoryTables(s.gConnection);
    bool cancelled = false, stopped = false;
    qint64 base = 0;
    for (std::size_t i = 0; i < staging.files.size(); ++i) {
        FolderFile& f = staging.files[i];
        FolderFileOutcome& o = outcomes[i];
        if (!f.staged()) {
            o.kind = Kind::Refused;
            continue;
        }
        if (!f.checked) {
            o.kind = Kind::NotChecked;
            continue;
        }
        if (stopped || cancelled) {
            o.kind = stopped ? Kind::Stopped : Kind::Cancelled;
            continue;
        }
        const qint64 from = base + 1;
        base += f.ticked() + 1;
        if (!progress.step(from)) {
            cancelled = true;
            o.kind = Kind::Cancelled;
            continue;
        }
        FolderSensorState& state = staging.sensors[f.sensorId];
        QSet<qint64> inFile;
        std::vector<PlannedReading> planned;
        std::vector<QString> keys;
        for (std::size_t r = 0; r < f.marks.size(); ++r) {
            if (!f.marks[r]) continue;
            const auto moment = slugMoment(f.rows.text(qint64(r), 0), format, f.sensorId, order);
            if (!moment) {
                ++o.undated;
                continue;
            }
            const qint64 second = moment->fullDate.toSecsSinceEpoch();
            QString key = foldedKey(moment->key);
            if (inFile.contains(second) || state.keys.contains(key)) {
                ++o.stored;
                continue;
            }
            inFile.insert(second);
            keys.push_back(std::move(key));
            planned.push_back(plannedReading(f.rows, qint64(r), moment->fullDate));
        }
        if (planned.empty()) {
            o.kind = Kind::NothingNew;
            continue;
        }
        std::optional<ImportBatch> batch;
        if (history)
            batch = ImportBatch{
                0, f.sensorId, f.fileName, f.sha256, s.clock.now(), qint64(planned.size()), {}};
        StepsFrom steps(progress, from);
        const WriteOutcome written =
            writeReadings(s.gConnection, f.sensorId, planned, steps, batch ? &*batch : nullptr);
        if (written.kind == WriteOutcome::Kind::Cancelled) {
            cancelled = true;
            o.kind = Kind::Cancelled;
            continue;
        }
        if (written.kind == WriteOutcome::Kind::Failed) {
            o.kind = Kind::Failed;
            o.error = written.error;
            s.logFailure(written.error, kLabel);
            stopped = databaseCannotBeWritten(written.error);
            continue;
        }
        o.kind = Kind::Appended;
        // What another engineer stored meanwhile counts as stored already.
        o.appended = qint64(planned.size() - written.storedMeanwhile.size());
        o.stored += qint64(written.storedMeanwhile.size());
        for (QString& key : keys)
            state.keys.insert(std::move(key));
        // The datalogger's download of the sensor is archived as the single import
        // archives it; a file of another name stays where it is.
        if (f.fileName == downloadFileName(f.sensorId)) {
            const Status archived = archiveDownload(staging.folder, f.sensorId, s.clock.today());
            if (!archived.ok()) {
                s.logFailure(archived.error(), kLabel);
                o.archiveFailure = archived.error().description;
            }
        }
    }
    return outcomes;
}

QString folderSummary(const FolderStaging& staging,
                      const std::vector<FolderFileOutcome>& outcomes) {
    using Kind = FolderFileOutcome::Kind;
    QStringList lines{QStringLiteral("Import of the folder ") +
                      QDir::toNativeSeparators(staging.folder) + u':'};
    qint64 readings = 0, files = 0;
    for (std::size_t i = 0; i < staging.files.size() && i < outcomes.size(); ++i) {
        const FolderFile& f = staging.files[i];
        const FolderFileOutcome& o = outcomes[i];
        QStringList leftOut;
        if (o.stored > 0)
            leftOut << counted(o.stored, QStringLiteral("row"), QStringLiteral("rows")) +
                           QStringLiteral(" already stored");
        if (o.undated > 0)
            leftOut << counted(o.undated, QStringLiteral("row"), QStringLiteral("rows")) +
                           QStringLiteral(" without a valid date and time");
        QString line = f.fileName + QStringLiteral(": ");
        switch (o.kind) {
        case Kind::Appended:
            readings += o.appended;
            ++files;
            line += counted(o.appended, QStringLiteral("reading"), QStringLiteral("readings")) +
                    QStringLiteral(" appended to sensor ") + f.sensorId;
            if (!leftOut.isEmpty())
                line += QStringLiteral(" (left out: ") + leftOut.join(QStringLiteral(", ")) + u')';
            line += u'.';
            if (!o.archiveFailure.isEmpty())
                line += QStringLiteral(" The download could not be archived: ") + o.archiveFailure;
            break;
        case Kind::NothingNew:
            line +=
                QStringLiteral("nothing appended to sensor ") + f.sensorId +
                (leftOut.isEmpty() ? QStringLiteral(": no row ticked")
                                   : QStringLiteral(": ") + leftOut.join(QStringLiteral(", "))) +
                u'.';
            break;
        case Kind::NotChecked:
            line += f.toAppend() == 0 && f.checks.stored > 0
                        ? QStringLiteral("already stored in sensor ") + f.sensorId +
                              QStringLiteral(", nothing appended.")
                        : QStringLiteral("not checked, nothing appended.");
            break;
        case Kind::Refused:
            line += QStringLiteral("left alone: ") + f.refusal + u'.';
            break;
        case Kind::Failed:
            line += QStringLiteral("not appended, the database refused it (nothing of it was "
                                   "stored): ") +
                    o.error.description;
            break;
        case Kind::Cancelled:
            line += QStringLiteral("not appended, the import was cancelled.");
            break;
        case Kind::Stopped:
            line += QStringLiteral("not appended, the database could not be written.");
            break;
        }
        lines << line;
    }
    lines << QString()
          << counted(readings, QStringLiteral("reading"), QStringLiteral("readings")) +
                 QStringLiteral(" appended from ") +
                 counted(files, QStringLiteral("file"), QStringLiteral("files")) + u'.';
    return lines.join(kCrLf);
}

void cmdImportFolder_Click(Session& s, const ImportHost& host) {
    // The progress lets events through: a second click meanwhile starts no second import.
    static bool importing = false;
    if (importing) return;
    importing = true;
    const auto done = qScopeGuard([] { importing = false; });
    logged(s, kLabel, [&] {
        if (host.SaveReadings && !host.SaveReadings()) return;
        // The dialog opens on the folder of the user's last download, kept from run to run.
        UserChoices choices(s.paths);
        const QString folder = s.dialogs.folderName(QStringLiteral("Import a folder"),
                                                    choices.text(kFolderChoice, s.gDownloadFolder));
        if (folder.isEmpty()) return;
        s.gDownloadFolder = folder;
        choices.setText(kFolderChoice, folder);
        const QString shown = QDir::toNativeSeparators(folder);

        // Nothing is written where it cannot all be written: the database takes the
        // readings, the data folder the working copy and its disk the readings.
        QString why = whyDatabaseCannotTakeReadings(s);
        if (why.isEmpty()) {
            qint64 bytes = 0;
            for (const QFileInfo& entry : QDir(folder).entryInfoList(QDir::Files))
                bytes += entry.size();
            why = whyCannotWrite(s.paths, s.gDataFolder, importNeedBytes(bytes));
        }
        if (!why.isEmpty()) {
            s.dialogs.inform(QStringLiteral("The readings of the folder ") + shown +
                                 QStringLiteral(" cannot be imported:") + kCrLf + why,
                             kAppTitle, Icon::Exclamation);
            return;
        }

        NoProgress none;
        Progress& progress = host.progress ? *host.progress : none;
        const double interval =
            slugInterval(host.slugIntervalText ? host.slugIntervalText() : QString());
        FolderStaging staging = stageFolder(s, folder, interval, regionalDayOrder(), progress);
        if (staging.cancelled) return;
        if (staging.files.empty()) {
            s.dialogs.inform(QStringLiteral("The folder ") + shown +
                                 QStringLiteral(" holds no files to import."),
                             kAppTitle, Icon::Information);
            return;
        }
        frmFolderImport window(s, staging, host, host.parent);
        window.Form_Load();
        if (host.runFolderWindow)
            host.runFolderWindow(window);
        else
            window.exec();
        if (!window.unloaded()) window.reject();
    });
}

} // namespace rv
